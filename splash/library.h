// The Java runtime's splash screen library, loaded on first use and driven through its entry
// points by name.
#pragma once

#include "platform/platform.h"

namespace splash {

// The loaded library and each wrapper's cached entry point; null until a load or lookup has
// succeeded. Failures are not remembered, so a later call tries again. Nothing unloads the
// library: the runtime's own splash support takes the window over once the VM runs.
struct library {
    platform::library handle = nullptr;
    void* init_entry = nullptr;
    void* load_file_entry = nullptr;
    void* set_file_jar_name_entry = nullptr;
};

} // namespace splash

// An entry point of the library by its export name, or null; loads the library when it is not
// loaded yet.
void* SplashProcAddress(splash::library& lib, const char* name);
void DoSplashInit(splash::library& lib);
// What the library's SplashLoadFile returns, or 0 without that entry.
int DoSplashLoadFile(splash::library& lib, const char* file);
void DoSplashSetFileJarName(splash::library& lib, const char* file, const char* jar);

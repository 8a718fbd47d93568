// Drives the Java runtime's splash screen library from the launcher's first moments.
#pragma once

#include "platform/platform.h"

// The loaded splash library and each wrapper's cached entry point; null until a load or lookup
// has succeeded. Failures are not remembered, so a later call tries again.
struct splash_library {
    platform::library hSplashLib = nullptr;
    void* procSplashInit = nullptr;
    void* procSplashLoadFile = nullptr;
    void* procSplashSetFileJarName = nullptr;
};
// The process's one splash library (a test resets it between cases).
splash_library& splash_state();

void* SplashProcAddress(const char* name);
void DoSplashInit();
int DoSplashLoadFile(const char* file);
void DoSplashSetFileJarName(const char* file, const char* jar);
void ShowSplashScreen();

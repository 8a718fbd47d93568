// Each wrapper looks its entry point up on first use and skips the call when there is none: a
// missing library or entry leaves start-up without a splash image, silently.
#include "splash/library.h"

namespace {

using splash_init_fn = void (*)();
using splash_load_file_fn = int (*)(const char*);
using splash_set_file_jar_name_fn = void (*)(const char*, const char*);

constexpr const char* SPLASHSCREEN_SO = platform::splash_library;

} // namespace

void* SplashProcAddress(splash::library& lib, const char* name) {
    if (!lib.handle)
        lib.handle = platform::load_install_library(SPLASHSCREEN_SO);
    return lib.handle ? platform::proc_address(lib.handle, name) : nullptr;
}

void DoSplashInit(splash::library& lib) {
    if (!lib.init_entry)
        lib.init_entry = SplashProcAddress(lib, "SplashInit");
    if (lib.init_entry)
        reinterpret_cast<splash_init_fn>(lib.init_entry)();
}

int DoSplashLoadFile(splash::library& lib, const char* file) {
    if (!lib.load_file_entry)
        lib.load_file_entry = SplashProcAddress(lib, "SplashLoadFile");
    return lib.load_file_entry ? reinterpret_cast<splash_load_file_fn>(lib.load_file_entry)(file)
                               : 0;
}

void DoSplashSetFileJarName(splash::library& lib, const char* file, const char* jar) {
    if (!lib.set_file_jar_name_entry)
        lib.set_file_jar_name_entry = SplashProcAddress(lib, "SplashSetFileJarName");
    if (lib.set_file_jar_name_entry)
        reinterpret_cast<splash_set_file_jar_name_fn>(lib.set_file_jar_name_entry)(file, jar);
}

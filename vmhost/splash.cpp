// The splash image shows before anything else happens: the runtime's splash library is loaded
// on first use and driven through three of its entry points. The Java side closes the window.
// Library and image are the install's, by absolute path.
#include "vmhost/splash.h"

#include "vmhost/splash_progress.h"

namespace {

using splash_init_fn = void (*)();
using splash_load_file_fn = int (*)(const char*);
using splash_set_file_jar_name_fn = void (*)(const char*, const char*);

constexpr const char* SPLASHSCREEN_SO = platform::splash_library;
constexpr const char* splash_image = "img/splash.png";

} // namespace

platform::library hSplashLib;
void* procSplashInit;
void* procSplashLoadFile;
void* procSplashSetFileJarName;

void* SplashProcAddress(const char* name) {
    if (!hSplashLib)
        hSplashLib = platform::load_install_library(SPLASHSCREEN_SO);
    return hSplashLib ? platform::proc_address(hSplashLib, name) : nullptr;
}

void DoSplashInit() {
    if (!procSplashInit)
        procSplashInit = SplashProcAddress("SplashInit");
    if (procSplashInit)
        reinterpret_cast<splash_init_fn>(procSplashInit)();
}

int DoSplashLoadFile(const char* file) {
    if (!procSplashLoadFile)
        procSplashLoadFile = SplashProcAddress("SplashLoadFile");
    return procSplashLoadFile ? reinterpret_cast<splash_load_file_fn>(procSplashLoadFile)(file) : 0;
}

void DoSplashSetFileJarName(const char* file, const char* jar) {
    if (!procSplashSetFileJarName)
        procSplashSetFileJarName = SplashProcAddress("SplashSetFileJarName");
    if (procSplashSetFileJarName)
        reinterpret_cast<splash_set_file_jar_name_fn>(procSplashSetFileJarName)(file, jar);
}

void ShowSplashScreen() {
    const char* jar = nullptr; // the image is a plain file, not a jar entry
    char image[platform::max_path];
    // Without the install directory's path the library does not load either.
    if (!platform::install_path(image, splash_image))
        return;
    DoSplashInit();
    // Only an image that shows can carry a progress strip later.
    if (DoSplashLoadFile(image))
        SplashProgressShown(image);
    DoSplashSetFileJarName(image, jar);
}

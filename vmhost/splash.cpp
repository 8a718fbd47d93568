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

namespace {
splash_library state;
} // namespace

splash_library& splash_state() {
    return state;
}

void* SplashProcAddress(const char* name) {
    if (!state.hSplashLib)
        state.hSplashLib = platform::load_install_library(SPLASHSCREEN_SO);
    return state.hSplashLib ? platform::proc_address(state.hSplashLib, name) : nullptr;
}

void DoSplashInit() {
    if (!state.procSplashInit)
        state.procSplashInit = SplashProcAddress("SplashInit");
    if (state.procSplashInit)
        reinterpret_cast<splash_init_fn>(state.procSplashInit)();
}

int DoSplashLoadFile(const char* file) {
    if (!state.procSplashLoadFile)
        state.procSplashLoadFile = SplashProcAddress("SplashLoadFile");
    return state.procSplashLoadFile
               ? reinterpret_cast<splash_load_file_fn>(state.procSplashLoadFile)(file)
               : 0;
}

void DoSplashSetFileJarName(const char* file, const char* jar) {
    if (!state.procSplashSetFileJarName)
        state.procSplashSetFileJarName = SplashProcAddress("SplashSetFileJarName");
    if (state.procSplashSetFileJarName)
        reinterpret_cast<splash_set_file_jar_name_fn>(state.procSplashSetFileJarName)(file, jar);
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

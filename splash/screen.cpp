// The splash image shows before anything else happens: the runtime's splash library is loaded
// on first use and driven through three of its entry points. Library and image are the
// install's, by absolute path.
#include "splash/screen.h"

namespace {

constexpr const char* splash_image = "img/splash.png";

} // namespace

void ShowSplashScreen(splash::screen& screen) {
    const char* jar = nullptr; // the image is a plain file, not a jar entry
    char image[platform::max_path];
    // Without the install directory's path the library does not load either.
    if (!platform::install_path(image, splash_image))
        return;
    DoSplashInit(screen.library);
    // Only an image that shows can carry a progress strip later.
    if (DoSplashLoadFile(screen.library, image))
        screen.progress.shown(image);
    DoSplashSetFileJarName(screen.library, image, jar);
}

// The splash image from the launcher's first moments: the runtime's splash library, and the
// download strip drawn on its image. The launcher owns one for the life of the process.
#pragma once

#include "splash/library.h"
#include "splash/progress.h"

namespace splash {

struct screen {
    splash::library library;
    splash::progress progress{library};
};

} // namespace splash

// Loads the library and has it show the install's splash image; the Java side closes the window.
void ShowSplashScreen(splash::screen& screen);

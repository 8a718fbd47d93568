// Windows program entry: the launcher's start-up sequence over the process's one state. The
// command line and the other arguments change nothing.
#include "launcher/startup.h"

extern "C" int WinMain(void*, void*, char*, int) {
    static launcher::launch_state state;
    launcher::run(state);
}

// Linux program entry: the same start-up sequence as on Windows. Like there, nothing looks at the
// command line.
#include "launcher/startup.h"

int main() {
    static launcher::launch_state state;
    launcher::run(state);
}

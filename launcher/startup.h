// The start-up sequence, from the first moment to the process exit. The program entry owns the
// state and hands it in; tests run the sequence over states of their own.
#pragma once

#include "launcher/launch_state.h"

namespace launcher {

// Runs the whole start over `state`. It never returns: every road ends in a process exit.
[[noreturn]] void run(launch_state& state);

} // namespace launcher

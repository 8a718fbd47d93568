// What the start-up sequence finds out and keeps for the life of the process: the data
// directory, the jar list and the server that answered. One instance, owned by whoever runs the
// sequence (the program entry, or a test).
#pragma once

#include "launcher/data_dir.h"

namespace launcher {

struct launch_state {
    // The data directory, without a trailing separator; see init.
    char appDataPath[app_path_size] = {};
    // The jar list; see initjars.
    jar_list jars;
    // Index into the server list of the server that answered; -1 offline.
    int server = -1;
};

} // namespace launcher

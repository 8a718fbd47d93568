// What the start-up sequence finds out and keeps for the life of the process: the data
// directory, the jar list and the server that answered. One instance, owned by whoever runs the
// sequence (the program entry, or a test).
#pragma once

#include "launcher/data_dir.h"

struct launch_state {
    // The data directory, without a trailing separator; see init.
    char appDataPath[app_path_size] = {};
    // The jar list (see initjars) and its length.
    char* paths[jar_slots] = {};
    int jar_count = 0;
    // Index into the server list of the server that answered; -1 offline.
    int server = -1;
};

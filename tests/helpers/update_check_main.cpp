// Runs the launcher's update check, and nothing else, over a data directory given as the only
// argument, and prints the index of the server that answered. Tests start several of these at
// once, or kill one half-way, to see what a launcher process leaves behind.
#include "base/bounds.h"
#include "config/deployment.h"
#include "update/version_check.h"

#include <cstdio>
#include <cstring>

using update::locate_server;

int main(int argc, char** argv) {
    char appDataPath[base::app_path_size];
    if (argc != 2 || std::strlen(argv[1]) >= sizeof appDataPath) {
        std::fprintf(stderr, "usage: vistal_update_check DATA_DIR\n");
        return 2;
    }
    std::strcpy(appDataPath, argv[1]);
    std::printf("%d\n", locate_server(appDataPath, config::server_list));
    return 0;
}

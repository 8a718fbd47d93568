// The install directory is the executable's own directory, whatever the current directory is:
// a start from a shortcut, a relative path or a symbolic link finds the same files.
#include "platform/platform.h"

#include <cstring>

namespace platform {

bool install_path(char* out, const char* relative) {
    char path[max_path];
    out[0] = '\0';
    if (!executable_path(path))
        return false;
    char* last = std::strrchr(path, path_separator);
    if (!last)
        return false;
    // A root keeps its separator ("/", "C:\"): the directory is the root itself.
    if (last == path || (last == path + 2 && path[1] == ':'))
        ++last;
    *last = '\0';
    if (*relative && !path_append(path, relative))
        return false;
    std::memcpy(out, path, std::strlen(path) + 1);
    return true;
}

library load_install_library(const char* relative) {
    char path[max_path];
    return install_path(path, relative) ? load_library(path) : nullptr;
}

} // namespace platform

#include "base/path_append.h"

#include <cstring>

namespace base {

bool append_path_rules(char* path, const char* more, char separator) {
    if (!path || !more)
        return false;
    std::size_t have = std::strlen(path);
    // Onto an empty path the text is taken whole, so that an absolute path stays absolute.
    while (have > 0 && *more == separator)
        ++more;
    std::size_t add = std::strlen(more);
    if (add == 0)
        return true;
    bool needs_separator = have > 0 && path[have - 1] != separator;
    std::size_t total = have + (needs_separator ? 1 : 0) + add;
    if (total >= max_path)
        return false;
    if (needs_separator)
        path[have++] = separator;
    std::memcpy(path + have, more, add + 1);
    return true;
}

} // namespace base

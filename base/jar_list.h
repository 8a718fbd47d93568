// The jar list: absolute paths of the jars the loaders take, heap strings that live until the
// process ends (application threads read them through gSVCL). The launcher fills it (initjars);
// the natives read it.
#pragma once

#include "base/bounds.h"

namespace base {

struct jar_list {
    // The entries, in the order the loaders take them.
    static constexpr int app_npx = 0;     // the data directory's app.npx
    static constexpr int app_jar = 1;     // its app.jar; the install's fallback jar offline
    static constexpr int include_jar = 2; // the install's include jar

    char* paths[jar_slots] = {};
    int count = 0;

    // The main loader's jars: app.jar and those after it.
    char** main_jars() { return paths + app_jar; }
    int main_count() const { return count - app_jar; }
};

} // namespace base

// Sizes of the launcher's fixed buffers.
#pragma once

namespace base {

constexpr int jar_slots = 128;      // entries of the jar list
constexpr int app_path_size = 1024; // bytes of a data-directory path, terminator included

} // namespace base

// The file under the support log, per OS (posix/, win32/): opened for appending without following
// a link, written one line per call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace base::support_log_file {

using handle = std::intptr_t;
constexpr handle none = -1;

// Opens (creating it when absent, readable by its owner only on POSIX) the file that the
// environment variable `variable` names, for appending. None when the variable is unset or empty,
// or the name is a link (a reparse point), not a regular file, or a file with a second name; the
// link and its target are left as they were. `size` gets the file's size when opened.
handle open_named_by(const char* variable, std::uint64_t* size);
// Appends `length` bytes with one write at the file's end; false when not all of them went.
bool append(handle file, const char* bytes, std::size_t length);
void close(handle file);
unsigned long process_id();

} // namespace base::support_log_file

// The path-append rules, shared by the POSIX implementation and the test fake.
#pragma once

namespace platform {
// Joins `more` onto `path` with exactly one `separator`; see platform::path_append.
bool append_path_rules(char* path, const char* more, char separator);
} // namespace platform

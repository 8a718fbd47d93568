// Path joining by the rules of PathAppendA, the same on every OS but for the separator.
#pragma once

#include <cstddef>

namespace base {

constexpr std::size_t max_path = 260; // MAX_PATH

// Joins `more` onto `path` in place with exactly one `separator`. Separators at the start of
// `more` are skipped; an empty remainder leaves a non-empty `path` unchanged. False when the
// result would not fit in max_path characters (then `path` is unchanged).
bool append_path_rules(char* path, const char* more, char separator);

} // namespace base

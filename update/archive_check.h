// Whether a downloaded file is a whole zip archive, as every jar is. A server can answer 200
// with something else (an error page), and a body that ends early is only noticed by the
// transfer when a length was announced; a jar that does not end in its own directory is cut.
#pragma once

#include <cstdio>

namespace update {

// True when `file` (open for binary reading) begins with a local file header and ends with an
// end-of-central-directory record (and its comment) that points at a central directory lying
// right before it.
bool is_whole_archive(std::FILE* file);

} // namespace update

#include "base/diagnostics.h"

namespace base {

namespace {
// The diagnostics stream; null until bound, which reads as standard error.
std::FILE* err;
} // namespace

std::FILE* diagnostics() {
    return err ? err : stderr;
}

void bind_diagnostics(std::FILE* stream) {
    err = stream;
}

} // namespace base

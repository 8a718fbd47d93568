// The diagnostics sink: where the launcher's assertion lines and fall-back dialog texts go.
// Standard error unless the start-up sequence (or a test) binds another stream.
#pragma once

#include <cstdio>

namespace base {

std::FILE* diagnostics();
void bind_diagnostics(std::FILE* stream);

} // namespace base

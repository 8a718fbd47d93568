// Opening documents and addresses on Linux (filled in with the natives).
#include "platform/platform.h"

namespace platform {
std::intptr_t shell_open(const char*) { return 31; } // SE_ERR_NOASSOC until xdg-open is wired
} // namespace platform

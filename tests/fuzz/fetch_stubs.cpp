// What the fetch needs from the platform and the deployment in a fuzz target that compiles it:
// the clock stands still, the size bound is beyond any body played, and the disk needs no
// write-behind nor truncation.
#include "config/deployment.h"
#include "platform/platform.h"

namespace platform {
std::uint64_t monotonic_ms() {
    return 0;
}
void start_writeback(std::FILE*, std::uint64_t, std::uint64_t) {}
void await_writeback(std::FILE*, std::uint64_t, std::uint64_t) {}
// Only a resumed download that is answered 200 truncates its stream; none is played here.
bool truncate_file(std::FILE*) {
    return false;
}
} // namespace platform

namespace config {
const unsigned long long deployment_max_download = 0xFFFFFFFFull;
const unsigned long long deployment_download_deadline_ms = 900000;
const unsigned deployment_receive_timeout_ms = 3000;
const char* const deployment_ca_bundle = "";
} // namespace config

// A downloaded body is checked for being a whole jar before it replaces app.jar: whatever a
// server sends, the check reads only inside the file, and what it accepts starts like an
// archive and ends in an end record whose comment reaches exactly to the end.
#include "update/archive_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using update::is_whole_archive;

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fault: %s\n", what);
    std::abort();
}

bool ends_in_end_record(const std::uint8_t* data, std::size_t size) {
    for (std::size_t comment = 0; comment <= 0xFFFF && comment + 22 <= size; ++comment) {
        const std::uint8_t* r = data + size - comment - 22;
        if (std::memcmp(r, "PK\x05\x06", 4) == 0 &&
            (static_cast<std::size_t>(r[20]) | static_cast<std::size_t>(r[21]) << 8) == comment)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!file)
        return 0;
    bool whole = is_whole_archive(file);
    std::fclose(file);
    if (whole && (size < 4 || std::memcmp(data, "PK\x03\x04", 4) != 0))
        fault("accepted without a local header first");
    if (whole && !ends_in_end_record(data, size))
        fault("accepted without an end record at the end");
    return 0;
}

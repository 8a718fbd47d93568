#include "update/archive_check.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr long end_record_size = 22;
constexpr long longest_comment = 0xFFFF;
constexpr long local_header_size = 30;

std::uint32_t le16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t le32(const unsigned char* p) {
    return le16(p) | le16(p + 2) << 16;
}

bool read_at(std::FILE* file, long offset, unsigned char* out, std::size_t n) {
    return std::fseek(file, offset, SEEK_SET) == 0 && std::fread(out, 1, n, file) == n;
}

bool signature_at(std::FILE* file, long offset, const char* signature) {
    unsigned char bytes[4];
    return offset >= 0 && read_at(file, offset, bytes, 4) && std::memcmp(bytes, signature, 4) == 0;
}

// The end record at `record` (file offset) with its fields in `r`.
bool directory_fits(std::FILE* file, long record, const unsigned char* r) {
    std::uint32_t entries = le16(r + 10);
    std::uint32_t size = le32(r + 12);
    std::uint32_t offset = le32(r + 16);
    if (entries == 0xFFFF || size == 0xFFFFFFFF || offset == 0xFFFFFFFF)
        // A ZIP64 archive: its own locator comes right before the end record.
        return signature_at(file, record - 20, "PK\x06\x07");
    return entries > 0 &&
           static_cast<std::uint64_t>(offset) + size == static_cast<std::uint64_t>(record) &&
           signature_at(file, static_cast<long>(offset), "PK\x01\x02");
}

} // namespace

bool is_whole_archive(std::FILE* file) {
    if (!file || std::fseek(file, 0, SEEK_END) != 0)
        return false;
    long size = std::ftell(file);
    if (size < local_header_size + end_record_size || !signature_at(file, 0, "PK\x03\x04"))
        return false;

    // The end record is followed by its comment and nothing else; look for it from the end.
    long tail_size =
        size < end_record_size + longest_comment ? size : end_record_size + longest_comment;
    long tail_start = size - tail_size;
    std::vector<unsigned char> tail(static_cast<std::size_t>(tail_size));
    if (!read_at(file, tail_start, tail.data(), tail.size()))
        return false;
    for (long at = tail_size - end_record_size; at >= 0; --at) {
        const unsigned char* r = tail.data() + at;
        if (std::memcmp(r, "PK\x05\x06", 4) != 0 ||
            static_cast<long>(le16(r + 20)) != tail_size - at - end_record_size)
            continue;
        if (directory_fits(file, tail_start + at, r))
            return true;
    }
    return false;
}

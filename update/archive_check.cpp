#include "update/archive_check.h"

#include "update/zip_reader.h"

#include <cstdint>

namespace update {

namespace {

// The end record's directory lies right before it.
bool directory_fits(std::FILE* file, const zip::end_record& end) {
    const unsigned char* r = end.bytes;
    std::uint32_t entries = zip::le16(r + 10);
    std::uint32_t size = zip::le32(r + 12);
    std::uint32_t offset = zip::le32(r + 16);
    if (entries == 0xFFFF || size == 0xFFFFFFFF || offset == 0xFFFFFFFF)
        // A ZIP64 archive: its own locator comes right before the end record.
        return zip::signature_at(file, end.at - 20, "PK\x06\x07");
    return entries > 0 &&
           static_cast<std::uint64_t>(offset) + size == static_cast<std::uint64_t>(end.at) &&
           zip::signature_at(file, static_cast<long>(offset), "PK\x01\x02");
}

} // namespace

bool is_whole_archive(std::FILE* file) {
    if (!file || std::fseek(file, 0, SEEK_END) != 0)
        return false;
    long size = std::ftell(file);
    if (size < zip::local_header_size + zip::end_record_size ||
        !zip::signature_at(file, 0, "PK\x03\x04"))
        return false;
    zip::end_record end;
    return zip::find_end_record(file, size, directory_fits, &end);
}

} // namespace update

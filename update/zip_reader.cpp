#include "update/zip_reader.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace update::zip {

namespace {

constexpr long longest_comment = 0xFFFF;
constexpr std::size_t central_header_size = 46;
constexpr long zip64_locator_size = 20;

// Well-formed UTF-8 as the JDK decodes entry names: no overlong forms, no surrogates, nothing
// beyond U+10FFFF. The JDK refuses a whole archive with one name that is not.
bool valid_utf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        unsigned c = *p++;
        if (c < 0x80)
            continue;
        int more = c >= 0xC2 && c <= 0xDF   ? 1
                   : c >= 0xE0 && c <= 0xEF ? 2
                   : c >= 0xF0 && c <= 0xF4 ? 3
                                            : -1;
        if (more < 0 || end - p < more)
            return false;
        unsigned lowest = 0x80, highest = 0xBF; // the second byte's range
        if (c == 0xE0)
            lowest = 0xA0;
        else if (c == 0xED)
            highest = 0x9F;
        else if (c == 0xF0)
            lowest = 0x90;
        else if (c == 0xF4)
            highest = 0x8F;
        if (*p < lowest || *p > highest)
            return false;
        for (int i = 1; i < more; ++i)
            if ((p[i] & 0xC0) != 0x80)
                return false;
        p += more;
    }
    return true;
}

// Whether the end record's comment holds another end record's signature. The JDK takes the last
// signature in the file that it can make sense of, which need not be the one found here.
bool comment_hides_record(std::FILE* file, const end_record& end) {
    std::size_t length = le16(end.bytes + 20);
    std::vector<unsigned char> comment(length);
    if (length == 0)
        return false;
    if (!read_at(file, end.at + end_record_size, comment.data(), length))
        return true;
    for (std::size_t i = 0; i + 4 <= length; ++i)
        if (std::memcmp(comment.data() + i, "PK\x05\x06", 4) == 0)
            return true;
    return false;
}

} // namespace

std::uint32_t le16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t le32(const unsigned char* p) {
    return le16(p) | le16(p + 2) << 16;
}

bool read_at(std::FILE* file, long offset, unsigned char* out, std::size_t n) {
    return offset >= 0 && std::fseek(file, offset, SEEK_SET) == 0 &&
           std::fread(out, 1, n, file) == n;
}

bool signature_at(std::FILE* file, long offset, const char* signature) {
    unsigned char bytes[4];
    return read_at(file, offset, bytes, 4) && std::memcmp(bytes, signature, 4) == 0;
}

bool find_end_record(std::FILE* file, long size, record_test fits, end_record* out) {
    if (size < end_record_size)
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
        out->at = tail_start + at;
        std::memcpy(out->bytes, r, end_record_size);
        if (fits(file, *out))
            return true;
    }
    return false;
}

status read_directory(std::FILE* file, std::uint32_t limit, archive* zip) {
    if (std::fseek(file, 0, SEEK_END) != 0)
        return status::not_archive;
    long size = std::ftell(file);
    end_record end;
    // The end record closest to the end whose comment reaches exactly to the end of the file.
    if (size < local_header_size + end_record_size ||
        !find_end_record(
            file, size, [](std::FILE*, const end_record&) { return true; }, &end))
        return status::not_archive;
    const unsigned char* record = end.bytes;

    std::uint32_t count = le16(record + 10);
    std::uint32_t directory_size = le32(record + 12);
    std::uint32_t directory_offset = le32(record + 16);
    if (le16(record + 4) != 0 || le16(record + 6) != 0 || le16(record + 8) != count ||
        count == 0xFFFF || directory_size == 0xFFFFFFFF || directory_offset == 0xFFFFFFFF)
        return status::not_archive;
    if (directory_size > limit)
        return status::too_large;
    // Another reader finds the directory from the end record back, or through a ZIP64 locator
    // right before it; it must be the same bytes here, all of them, with nothing in between.
    if (static_cast<std::uint64_t>(directory_offset) + directory_size !=
            static_cast<std::uint64_t>(end.at) ||
        comment_hides_record(file, end) ||
        (end.at >= zip64_locator_size &&
         signature_at(file, end.at - zip64_locator_size, "PK\x06\x07")))
        return status::not_archive;

    std::vector<unsigned char> directory(directory_size);
    if (!read_at(file, static_cast<long>(directory_offset), directory.data(), directory.size()))
        return status::not_archive;
    zip->directory_start = static_cast<long>(directory_offset);
    zip->entries.reserve(count);
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (directory.size() - at < central_header_size)
            return status::not_archive;
        const unsigned char* h = directory.data() + at;
        if (std::memcmp(h, "PK\x01\x02", 4) != 0)
            return status::not_archive;
        std::size_t name_size = le16(h + 28), extra_size = le16(h + 30),
                    comment_size = le16(h + 32);
        std::size_t record_size = central_header_size + name_size + extra_size + comment_size;
        if (directory.size() - at < record_size)
            return status::not_archive;
        entry e;
        e.flags = le16(h + 8);
        e.method = le16(h + 10);
        e.crc = le32(h + 16);
        e.compressed = le32(h + 20);
        e.size = le32(h + 24);
        e.offset = le32(h + 42);
        e.name.assign(reinterpret_cast<const char*>(h + central_header_size), name_size);
        if (!valid_utf8(e.name))
            return status::not_archive;
        zip->entries.push_back(std::move(e));
        at += record_size;
    }
    // More records than the 16-bit count says (it wraps above 65,535) would be read by a reader
    // that walks the whole directory.
    if (at != directory.size())
        return status::not_archive;
    // One entry per name: which of two a reader takes is its own choice.
    std::vector<const std::string*> names;
    names.reserve(zip->entries.size());
    for (const entry& e : zip->entries)
        names.push_back(&e.name);
    std::sort(names.begin(), names.end(),
              [](const std::string* a, const std::string* b) { return *a < *b; });
    for (std::size_t i = 1; i < names.size(); ++i)
        if (*names[i] == *names[i - 1])
            return status::not_archive;
    return status::ok;
}

status read_entry(std::FILE* file, const archive& zip, const entry& e, std::uint32_t limit,
                  std::uint32_t compressed_limit, std::vector<unsigned char>* out) {
    if (e.size > limit || e.compressed > compressed_limit)
        return status::too_large;
    if ((e.flags & 1) != 0 || (e.method != 0 && e.method != 8))
        return status::not_archive; // encrypted, or a method the VM cannot read either
    unsigned char h[local_header_size];
    if (static_cast<std::uint64_t>(e.offset) + local_header_size >
            static_cast<std::uint64_t>(zip.directory_start) ||
        !read_at(file, static_cast<long>(e.offset), h, sizeof h) ||
        std::memcmp(h, "PK\x03\x04", 4) != 0)
        return status::not_archive;
    std::uint64_t data_start =
        static_cast<std::uint64_t>(e.offset) + local_header_size + le16(h + 26) + le16(h + 28);
    if (data_start + e.compressed > static_cast<std::uint64_t>(zip.directory_start))
        return status::not_archive;
    if (e.method == 0 && e.compressed != e.size)
        return status::not_archive;

    std::vector<unsigned char> packed(e.compressed);
    if (!packed.empty() &&
        !read_at(file, static_cast<long>(data_start), packed.data(), packed.size()))
        return status::not_archive;
    if (e.method == 0) {
        *out = std::move(packed);
    } else {
        // One byte more than announced, so that a stream that inflates to more is noticed.
        out->assign(static_cast<std::size_t>(e.size) + 1, 0);
        z_stream z = {};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
            return status::not_archive;
        z.next_in = packed.data();
        z.avail_in = static_cast<uInt>(packed.size());
        z.next_out = out->data();
        z.avail_out = static_cast<uInt>(out->size());
        int result = inflate(&z, Z_FINISH);
        uLong produced = z.total_out;
        inflateEnd(&z);
        if (result != Z_STREAM_END || produced != e.size)
            return status::not_archive;
        out->resize(e.size);
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, out->data(), static_cast<uInt>(out->size()));
    return crc == e.crc ? status::ok : status::not_archive;
}

} // namespace update::zip

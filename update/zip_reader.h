// The one reader of zip archives that update/ trusts with a downloaded file: the end record, the
// central directory and whole entries. Every length and offset in the file comes from a server,
// so each is checked against the file before it is used, and what is read or inflated is bounded.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace update::zip {

constexpr long end_record_size = 22;
constexpr long local_header_size = 30;

std::uint32_t le16(const unsigned char* p);
std::uint32_t le32(const unsigned char* p);
// Reads exactly `n` bytes at `offset`; false for a negative offset or a short read.
bool read_at(std::FILE* file, long offset, unsigned char* out, std::size_t n);
bool signature_at(std::FILE* file, long offset, const char* signature);

// The end-of-central-directory record: where it lies and its 22 bytes.
struct end_record {
    long at = 0;
    unsigned char bytes[end_record_size] = {};
};

// Tries each end record whose comment reaches exactly to the end of the file, from the end
// backwards, until `fits` takes one; that one goes to `out`. `size` is the file's.
using record_test = bool (*)(std::FILE* file, const end_record& record);
bool find_end_record(std::FILE* file, long size, record_test fits, end_record* out);

struct entry {
    std::string name;
    std::uint32_t flags = 0, method = 0, crc = 0, compressed = 0, size = 0, offset = 0;
};

struct archive {
    std::vector<entry> entries;
    long directory_start = 0; // entries' data lies before it
};

enum class status { ok, not_archive, too_large };

// Reads the central directory of `file` into `out`; directories larger than `limit` bytes are
// too large. Split and ZIP64 archives are refused: jar tools do not write them for an application.
status read_directory(std::FILE* file, std::uint32_t limit, archive* out);

// Reads and inflates `e` whole into `out`; entries larger than `limit` are too large, and so are
// compressed forms larger than `compressed_limit`.
status read_entry(std::FILE* file, const archive& zip, const entry& e, std::uint32_t limit,
                  std::uint32_t compressed_limit, std::vector<unsigned char>* out);

} // namespace update::zip

// What one fetch tells its caller beyond the body: the words of the support log and the
// version check read it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace update {

// Room for a validator (ETag or Last-Modified) and its terminator; a longer one is not kept.
constexpr std::size_t validator_size = 256;

struct fetch_report {
    int status = 0;                   // HTTP status of the response; 0 when none was had
    bool has_content_length = false;  // a usable Content-Length was sent
    std::uint32_t content_length = 0; // the expected length; 0 means read to the end
    std::uint32_t received = 0;       // bytes the reads delivered
    bool read_failed = false;         // a read failed, or the body ended before content_length
    bool too_large = false;    // into a file: the body is, or was announced, beyond the maximum
    bool write_failed = false; // into a file: a write failed (a full disk)
    bool timed_out = false;    // the transfer outlasted its deadline or fell below the least speed
    // Into memory: the text grew beyond the sink's bound.
    bool too_long = false;
    // Into a file, asked to resume: a 206 took up the body right where the file's bytes end;
    // or a 206 did not, and nothing was written.
    bool resumed = false;
    bool range_refused = false;
    std::uint64_t total = 0; // the whole body's length (a 200's Content-Length, the total of a
                             // 206's Content-Range); 0 when not known
    // The response's validator for If-Range: its strong ETag, else its Last-Modified; empty when
    // it has neither or one that is not short printable text.
    char validator[validator_size] = {};
};

} // namespace update

// One synchronous HTTPS GET, into memory (the version answer) or into a stream (a download).
#pragma once

#include "callback.h"

#include <cstdint>
#include <cstdio>

// What the caller may want to know beyond the body.
struct fetch_report {
    int status = 0;                   // HTTP status of the response; 0 when none was had
    bool has_content_length = false;  // a usable Content-Length was sent
    std::uint32_t content_length = 0; // the expected length; 0 means read to the end
    std::uint32_t received = 0;       // bytes the reads delivered
    bool read_failed = false;         // a read failed, or the body ended before content_length
    bool too_large = false;    // stream mode: the body is, or was announced, beyond the maximum
    bool write_failed = false; // stream mode: a write to the stream failed (a full disk)
    bool timed_out = false;    // the transfer outlasted its deadline or fell below the least speed
};

// How a stream-mode body is coming along, for whoever shows it. `report` is called after every
// block written with the bytes so far and the announced length (0: none announced), and once
// more at the end with `complete` or `failed`. Only a 200 response reports; memory mode never
// does.
enum class fetch_stage { running, complete, failed };
struct fetch_progress {
    void (*report)(void* context, fetch_stage stage, std::uint64_t received,
                   std::uint64_t length) = nullptr;
    void* context = nullptr;
};

// Memory mode (null stream): returns the body as zero-terminated text the caller frees with
// free(); the empty text when no response could be had; null only when the answer buffer could
// not be had. Stream mode: writes the body into `stream` and returns null; it writes no more
// than the announced length nor than the deployment's maximum download size, and stops at the
// first failed write. Either mode stops at the deployment's download deadline, and when the
// body slows to a trickle. `progress`, when given, hears how a stream-mode body comes along.
char* https_data(const wchar_t* host, const wchar_t* path, std::FILE* stream,
                 fetch_report* report = nullptr, const fetch_progress* progress = nullptr);

// The value of a response header by name, newly allocated (free()), or null.
char* get_header(void* request, unsigned long level, const char* name);

// The session's status callback: takes no action on any notice.
void VISTAL_CALLBACK InternetStatusCallback(void* internet, std::uintptr_t context,
                                            unsigned long status, void* information,
                                            unsigned long length);

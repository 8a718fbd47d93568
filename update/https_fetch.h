// One synchronous HTTPS GET, into memory (the version answer) or into a stream (a download).
#pragma once

#include "platform/callback.h"

#include <cstdint>
#include <cstdio>

// What the caller may want to know beyond the body.
struct fetch_report {
    int status = 0;                   // HTTP status of the response; 0 when none was had
    bool has_content_length = false;  // a usable Content-Length was sent
    std::uint32_t content_length = 0; // the expected length; 0 means read to the end
    std::uint32_t received = 0;       // bytes the reads delivered
    bool read_failed = false;         // a read failed, or the body ended before content_length
};

// Memory mode (null stream): returns the body as zero-terminated text the caller frees with
// free(); the empty text when no response could be had; null only when the answer buffer could
// not be had. Stream mode: writes the body into `stream` and returns null.
char* https_data(const wchar_t* host, const wchar_t* path, std::FILE* stream,
                 fetch_report* report = nullptr);

// The value of a response header by name, newly allocated (free()), or null.
char* get_header(void* request, unsigned long level, const char* name);

// The session's status callback: takes no action on any notice.
void VISTAL_CALLBACK InternetStatusCallback(void* internet, std::uintptr_t context,
                                            unsigned long status, void* information,
                                            unsigned long length);

// One synchronous HTTPS GET, into memory (the version answer) or into a stream (a download).
#pragma once

#include "callback.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Room for a validator (ETag or Last-Modified) and its terminator; a longer one is not kept.
constexpr std::size_t validator_size = 256;

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
    // Memory mode: the text grew beyond the caller's bound (fetch_options::max_text).
    bool too_long = false;
    // Stream mode, asked to resume: a 206 took up the body right where the stream's bytes end;
    // or a 206 did not, and nothing was written.
    bool resumed = false;
    bool range_refused = false;
    std::uint64_t total = 0; // the whole body's length (a 200's Content-Length, the total of a
                             // 206's Content-Range); 0 when not known
    // The response's validator for If-Range: its strong ETag, else its Last-Modified; empty when
    // it has neither or one that is not short printable text.
    char validator[validator_size] = {};
};

// A stream that holds the start of a body, and asks for the rest of it (Range, If-Range). A 206
// whose Content-Range continues exactly these bytes is appended; a 200 (the validator no longer
// holds) is written from the stream's start instead; anything else writes nothing.
struct fetch_resume {
    std::uint64_t offset = 0;        // body bytes the stream holds; it is positioned after them
    std::uint64_t total = 0;         // length of the whole body they belong to
    const char* validator = nullptr; // what they were sent with
};

// What a call asks beyond a plain GET within the deployment's bounds.
struct fetch_options {
    std::uint64_t max_text = 0;    // memory mode: the longest text taken (0: the answer buffer)
    std::uint64_t deadline_ms = 0; // a deadline shorter than the deployment's (0: that one)
    const fetch_resume* resume = nullptr;
    // Stream mode: called once, before the first byte of a body that will be written (a 200, or a
    // 206 that continues the stream), with the report as far as the head tells.
    void (*head)(void* context, const fetch_report& report) = nullptr;
    void* head_context = nullptr;
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
// body slows to a trickle. `progress`, when given, hears how a stream-mode body comes along;
// `options` asks for tighter bounds or a resumed download.
char* https_data(const wchar_t* host, const wchar_t* path, std::FILE* stream,
                 fetch_report* report = nullptr, const fetch_progress* progress = nullptr,
                 const fetch_options* options = nullptr);

// The value of a response header by name, newly allocated (free()), or null.
char* get_header(void* request, unsigned long level, const char* name);

// The session's status callback: takes no action on any notice.
void VISTAL_CALLBACK InternetStatusCallback(void* internet, std::uintptr_t context,
                                            unsigned long status, void* information,
                                            unsigned long length);

// Where a fetched body goes: into memory as text (the version answer) or into a file (a
// download). Each sink keeps the bounds of its kind and fills the fetch's report as the response
// comes in; https_data hands one to the transport.
#pragma once

#include "net/transport.h"
#include "update/download_progress.h"
#include "update/fetch_report.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace update {

// A file that holds the start of a body, and asks for the rest of it (Range, If-Range). A 206
// whose Content-Range continues exactly these bytes is appended; a 200 (the validator no longer
// holds) is written from the file's start instead; anything else writes nothing.
struct fetch_resume {
    std::uint64_t offset = 0;        // body bytes the file holds; it is positioned after them
    std::uint64_t total = 0;         // length of the whole body they belong to
    const char* validator = nullptr; // what they were sent with
};

// What both sinks do: take the status and Content-Length from the head, stop once the announced
// length has arrived, at the deadline, and when the body slows to a trickle.
class fetch_sink : public transport::sink {
  public:
    // Before the request: the report to fill, from the start, and the deadline it keeps to.
    void begin(fetch_report& report, std::uint64_t deadline_ms);
    // After the transfer, however it ended.
    void end(transport::ending how);

    // False when the sink cannot take a body at all: no request is made.
    virtual bool ready() const { return true; }
    // The most body bytes the transport may take in for this sink.
    virtual std::uint64_t max_bytes() const = 0;
    // Request header lines beyond a plain GET; empty for none.
    virtual std::string request_headers() const { return {}; }

    bool head(const transport::response& head) final;
    bool body(const char* data, std::size_t size) final;

  protected:
    ~fetch_sink() = default;
    // Whether the body of an answer with this head is wanted; the report holds status and length.
    virtual bool accept(const transport::response&) { return true; }
    // `size` bytes of the body; false ends the transfer.
    virtual bool take(const char* data, std::size_t size) = 0;
    virtual void ended() {}

    fetch_report& report() { return *report_; }
    std::uint64_t received_ = 0; // wide enough that a count near 4 GiB cannot wrap below it

  private:
    bool in_time(std::size_t size);

    fetch_report* report_ = nullptr;
    std::uint64_t deadline_ms_ = 0;
    std::uint64_t started_ = 0;
    std::uint64_t window_start_ = 0;
    std::uint64_t window_bytes_ = 0;
};

// The body as zero-terminated text in a 1 MiB buffer: each block is appended as text (bytes after
// a zero byte in it are dropped); the block that would cross the bound is dropped and ends the
// transfer. Without a response the text is empty.
class text_sink final : public fetch_sink {
  public:
    // `max_text`: the longest text taken, when shorter than the buffer allows (0: the buffer).
    explicit text_sink(std::uint64_t max_text = 0);
    const char* text() const { return answer_ ? answer_.get() : ""; }

    bool ready() const override { return answer_ != nullptr; }
    std::uint64_t max_bytes() const override;

  private:
    bool take(const char* data, std::size_t size) override;

    struct free_deleter {
        void operator()(char* p) const;
    };
    std::unique_ptr<char, free_deleter> answer_; // from the C allocator
    std::size_t length_ = 0;
    std::size_t limit_;
    bool bounded_;
};

// The body written into a caller's file, opened for binary writing: no more than the announced
// length nor than the deployment's maximum download size; the first failed write ends it. A
// resumed download goes on after the bytes the file holds (fetch_resume).
class file_sink final : public fetch_sink {
  public:
    // `progress`, when given, hears how a body that may be kept comes along.
    explicit file_sink(std::FILE* file, const fetch_progress* progress = nullptr,
                       const fetch_resume* resume = nullptr);
    // Called once, before the first byte of a body that will be written (a 200, or a 206 that
    // continues the file), with the report as far as the head tells.
    void on_head(void (*hook)(void* context, const fetch_report& head), void* context);

    std::uint64_t max_bytes() const override;
    std::string request_headers() const override;

  private:
    bool accept(const transport::response& head) override;
    bool take(const char* data, std::size_t size) override;
    void ended() override;
    bool continue_or_restart(const transport::response& head);
    void write_behind();

    std::FILE* file_;
    const fetch_progress* progress_;
    const fetch_resume* resume_;
    void (*hook_)(void*, const fetch_report&) = nullptr;
    void* hook_context_ = nullptr;

    const fetch_progress* shown_ = nullptr; // the progress told, once the body counts
    std::uint64_t offset_ = 0;              // body bytes the file held before this body
    std::uint64_t limit_ = 0;               // body bytes the file may take
    std::uint64_t shown_length_ = 0;
    long body_start_ = -1;     // where the body starts in the file; -1 for a stream without one
    std::uint64_t behind_ = 0; // body bytes handed to the write-behind
};

} // namespace update

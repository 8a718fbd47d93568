// The bounds of a fetched body, in memory and in a file.
#include "update/fetch_sink.h"

#include "config/deployment.h"
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>

namespace update {

namespace {

constexpr std::size_t answer_size = 0x100000; // 1 MiB
constexpr std::size_t answer_limit = 0xFFFFF; // longest text that fits with its terminator
// A download goes to the disk in ranges of this size while the rest arrives; before a range is
// started, the one this many ranges back is waited for, which bounds what is unwritten at the end.
constexpr std::uint64_t write_behind_range = 8 * 1024 * 1024;
constexpr std::uint64_t write_behind_lag = 4;
// The least speed: a body that brings fewer than this many bytes in a whole window ends as timed
// out. The transport's receive time-out catches a server that sends nothing; this catches one
// that keeps the connection alive with a few bytes now and then. 16 KiB a minute is far below
// any link a download could finish on.
constexpr std::uint64_t low_speed_window_ms = 60000;
constexpr std::uint64_t low_speed_bytes = 16 * 1024;

// The expected length from a Content-Length value: the decimal number at its start. A value
// that is not a number, negative, or beyond 32 bits counts as absent (read to the end).
bool parse_content_length(const char* value, std::uint32_t* length) {
    if (!value || *value < '0' || *value > '9')
        return false;
    std::uint64_t n = 0;
    for (const char* p = value; *p >= '0' && *p <= '9'; ++p) {
        n = n * 10 + static_cast<std::uint64_t>(*p - '0');
        if (n > 0xFFFFFFFFull)
            return false;
    }
    *length = static_cast<std::uint32_t>(n);
    return true;
}

// Printable 7-bit text only: a validator goes back to the server in a request header.
bool header_safe(const char* value) {
    for (const char* p = value; *p; ++p)
        if (*p < 0x20 || *p > 0x7E)
            return false;
    return *value != '\0';
}

// The validator If-Range can carry: a strong ETag (a weak one never matches there), else
// Last-Modified.
void read_validator(const transport::response& head, char* out) {
    out[0] = '\0';
    std::string value;
    for (const char* name : {"ETag", "Last-Modified"}) {
        if (!head.header(name, value) || value.compare(0, 2, "W/") == 0 ||
            !header_safe(value.c_str()) || value.size() >= validator_size)
            continue;
        std::memcpy(out, value.c_str(), value.size() + 1);
        return;
    }
}

// A decimal number of up to 18 digits at `*p`, which moves past it.
bool read_number(const char** p, std::uint64_t* n) {
    const char* start = *p;
    *n = 0;
    for (; **p >= '0' && **p <= '9' && *p - start < 18; ++*p)
        *n = *n * 10 + static_cast<std::uint64_t>(**p - '0');
    return *p > start && !(**p >= '0' && **p <= '9');
}

// Whether a 206's Content-Range ("bytes FIRST-LAST/TOTAL") is exactly the rest of the body that
// `resume` holds the start of: from its offset to the end of a body of its length.
bool continues(const transport::response& head, const fetch_resume& resume) {
    std::string value;
    if (!head.header("Content-Range", value) || value.compare(0, 6, "bytes ") != 0)
        return false;
    const char* p = value.c_str() + 6;
    std::uint64_t first = 0, last = 0, total = 0;
    if (!read_number(&p, &first) || *p++ != '-' || !read_number(&p, &last) || *p++ != '/' ||
        !read_number(&p, &total) || *p != '\0')
        return false;
    return first == resume.offset && total == resume.total && last + 1 == total && first < total;
}

// A resume is only asked for with bytes to continue and a validator to send.
const fetch_resume* usable(const fetch_resume* resume) {
    return resume && resume->offset > 0 && resume->offset < resume->total && resume->validator &&
                   header_safe(resume->validator)
               ? resume
               : nullptr;
}

} // namespace

// --- both sinks -----------------------------------------------------------------------------

void fetch_sink::begin(fetch_report& report, std::uint64_t deadline_ms) {
    report = fetch_report{};
    report_ = &report;
    received_ = 0;
    deadline_ms_ = deadline_ms;
    started_ = window_start_ = platform::monotonic_ms();
    window_bytes_ = 0;
}

bool fetch_sink::head(const transport::response& head) {
    fetch_report& r = report();
    r.status = head.status();
    std::string value;
    if (head.header("Content-Length", value)) {
        r.has_content_length = parse_content_length(value.c_str(), &r.content_length);
        if (!r.has_content_length)
            r.content_length = 0;
    }
    return accept(head);
}

bool fetch_sink::body(const char* data, std::size_t size) {
    if (!take(data, size))
        return false;
    const std::uint32_t expected = report().content_length;
    if (expected > 0 && received_ >= expected)
        return false;
    return in_time(size);
}

bool fetch_sink::in_time(std::size_t size) {
    const std::uint64_t now = platform::monotonic_ms();
    window_bytes_ += size;
    if (now - started_ >= deadline_ms_) {
        report().timed_out = true;
        return false;
    }
    if (now - window_start_ >= low_speed_window_ms) {
        if (window_bytes_ < low_speed_bytes) {
            report().timed_out = true;
            return false;
        }
        window_start_ = now;
        window_bytes_ = 0;
    }
    return true;
}

void fetch_sink::end(transport::ending how) {
    using transport::ending;
    // Only a body that was read can fall short of its length.
    if (how != ending::stopped && how != ending::body_end && how != ending::broken)
        return;
    fetch_report& r = report();
    r.received = static_cast<std::uint32_t>(received_);
    if (how == ending::broken || (r.content_length > 0 && received_ < r.content_length))
        r.read_failed = true;
    ended();
}

// --- into memory ----------------------------------------------------------------------------

void text_sink::free_deleter::operator()(char* p) const {
    std::free(p);
}

text_sink::text_sink(std::uint64_t max_text)
    : answer_(static_cast<char*>(std::malloc(answer_size))),
      limit_(max_text > 0 && max_text < answer_limit ? static_cast<std::size_t>(max_text)
                                                     : answer_limit),
      bounded_(max_text > 0) {
    if (answer_)
        answer_.get()[0] = '\0';
}

std::uint64_t text_sink::max_bytes() const {
    return bounded_ ? limit_ + 1 : config::deployment_max_download;
}

bool text_sink::take(const char* data, std::size_t size) {
    received_ += size;
    if (length_ + size > limit_) {
        report().too_long = limit_ < answer_limit;
        return false;
    }
    // Appended as text: bytes after a zero byte in the block are dropped.
    const std::size_t text = strnlen(data, size);
    std::memcpy(answer_.get() + length_, data, text);
    length_ += text;
    answer_.get()[length_] = '\0';
    return true;
}

// --- into a file ----------------------------------------------------------------------------

file_sink::file_sink(std::FILE* file, const fetch_progress* progress, const fetch_resume* resume)
    : file_(file), progress_(progress && progress->report ? progress : nullptr),
      resume_(usable(resume)) {}

void file_sink::on_head(void (*hook)(void*, const fetch_report&), void* context) {
    hook_ = hook;
    hook_context_ = context;
}

std::uint64_t file_sink::max_bytes() const {
    return config::deployment_max_download;
}

std::string file_sink::request_headers() const {
    if (!resume_)
        return {};
    return "Range: bytes=" + std::to_string(resume_->offset) +
           "-\r\nIf-Range: " + resume_->validator + "\r\n";
}

// Asked to resume: an accepted 206 goes on after the held bytes, a 200 is written from the
// file's start; anything else is never written over them.
bool file_sink::continue_or_restart(const transport::response& head) {
    fetch_report& r = report();
    if (r.status == 206) {
        r.range_refused =
            !continues(head, *resume_) ||
            (r.content_length > 0 && r.content_length != resume_->total - resume_->offset);
        if (r.range_refused)
            return false;
        r.resumed = true;
        r.total = resume_->total;
        offset_ = resume_->offset;
        return true;
    }
    if (r.status != 200)
        return false;
    if (std::fflush(file_) != 0 || !platform::truncate_file(file_) ||
        std::fseek(file_, 0, SEEK_SET) != 0) {
        r.write_failed = true;
        return false;
    }
    return true;
}

bool file_sink::accept(const transport::response& head) {
    fetch_report& r = report();
    read_validator(head, r.validator);
    r.total = r.content_length;
    if (resume_ && !continue_or_restart(head))
        return false;
    // A download announced beyond the maximum is not begun.
    if (offset_ + r.content_length > config::deployment_max_download) {
        r.too_large = true;
        return false;
    }
    const bool kept = r.status == 200 || r.resumed;
    if (hook_ && kept)
        hook_(hook_context_, r);
    // Only a download that may become the body anyone keeps is shown.
    shown_ = kept ? progress_ : nullptr;
    // What the file may take: the announced length, else the rest of a resumed body, else what
    // the maximum leaves.
    limit_ = r.content_length > 0 ? r.content_length
             : r.resumed          ? r.total - offset_
                                  : config::deployment_max_download - offset_;
    shown_length_ = r.resumed ? r.total : r.content_length;
    // A stream without a position (a pipe) is left to its owner.
    body_start_ = std::ftell(file_);
    return true;
}

bool file_sink::take(const char* data, std::size_t size) {
    fetch_report& r = report();
    // Bytes beyond the announced length are not part of the body; beyond the maximum, the
    // download is refused.
    std::uint64_t take = size;
    if (received_ + take > limit_) {
        take = limit_ - received_;
        r.too_large = r.content_length == 0;
    }
    if (take > 0 && std::fwrite(data, 1, take, file_) != take)
        r.write_failed = true;
    received_ += take;
    if (r.too_large || r.write_failed)
        return false;
    write_behind();
    if (shown_)
        shown_->report(shown_->context, fetch_stage::running, offset_ + received_, shown_length_);
    return true;
}

// Hands each whole range of the body to the disk while the rest arrives.
void file_sink::write_behind() {
    if (body_start_ < 0 || received_ - behind_ < write_behind_range)
        return;
    const std::uint64_t at = static_cast<std::uint64_t>(body_start_) + behind_;
    platform::start_writeback(file_, at, write_behind_range);
    if (behind_ >= write_behind_lag * write_behind_range)
        platform::await_writeback(file_, at - write_behind_lag * write_behind_range,
                                  write_behind_range);
    behind_ += write_behind_range;
}

void file_sink::ended() {
    if (!shown_)
        return;
    const fetch_report& r = report();
    const bool whole =
        received_ > 0 && !r.read_failed && !r.too_large && !r.write_failed && !r.timed_out;
    shown_->report(shown_->context, whole ? fetch_stage::complete : fetch_stage::failed,
                   offset_ + received_, shown_length_);
}

} // namespace update

// One HTTPS GET over the transport: the body goes into a caller's stream or into a 1 MiB text.
#include "update/https_fetch.h"

#include "base/support_log.h"
#include "config/deployment.h"
#include "config/product.h"
#include "net/transport.h"
#include "platform/platform.h"
#include "update/support_names.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

constexpr std::size_t url_size = 256; // wide characters, terminator included

// The deployment's bounds, handed to the transport with the session; a call's own tighter ones
// replace them, and no single read may outlast the call's deadline.
transport::session_options session_options_for(std::uint64_t max_bytes, std::uint64_t deadline_ms) {
    transport::session_options options;
    options.receive_timeout_ms = deployment_receive_timeout_ms;
    if (deadline_ms < options.receive_timeout_ms)
        options.receive_timeout_ms = static_cast<unsigned>(deadline_ms);
    options.ca_bundle = deployment_ca_bundle;
    options.max_download = max_bytes;
    options.deadline_ms = deadline_ms;
    return options;
}
constexpr std::size_t url_limit = 254;        // longer URLs are cut here
constexpr std::size_t answer_size = 0x100000; // 1 MiB
constexpr std::size_t answer_limit = 0xFFFFF; // longest text that fits with its terminator
constexpr unsigned long chunk_size = 8192;
// A download goes to the disk in ranges of this size while the rest arrives; before a range is
// started, the one this many ranges back is waited for, which bounds what is unwritten at the end.
constexpr std::uint64_t write_behind_range = 8 * 1024 * 1024;
constexpr std::uint64_t write_behind_lag = 4;
constexpr unsigned long connect_timeout_ms = 5000;
constexpr unsigned long header_start_size = 20;
// The least speed: a body that brings fewer than this many bytes in a whole window ends as timed
// out. The transport's receive time-out catches a server that sends nothing; this catches one
// that keeps the connection alive with a few bytes now and then. 16 KiB a minute is far below
// any link a download could finish on.
constexpr std::uint64_t low_speed_window_ms = 60000;
constexpr std::uint64_t low_speed_bytes = 16 * 1024;

// Held as the request's context so that the status callback is called for the request.
struct request_context {
    transport::handle session;
};

struct free_deleter {
    void operator()(void* p) const { std::free(p); }
};
using c_buffer = std::unique_ptr<char, free_deleter>;

struct internet_closer {
    void operator()(void* h) const { transport::close(h); }
};
using internet_handle = std::unique_ptr<void, internet_closer>;

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

// The URL "https://host+path" in a buffer of url_size wide characters, cut at url_limit.
void format_url(wchar_t* url, const wchar_t* host, const wchar_t* path) {
    std::size_t n = 0;
    auto put = [&](const wchar_t* text) {
        for (; *text && n < url_limit; ++text)
            url[n++] = *text;
    };
    put(L"https://");
    put(host);
    put(path);
    url[n] = L'\0';
}

// Writes the support log's line for one fetch when the fetch ends, whichever way it ends.
struct fetch_line {
    const wchar_t* host;
    const wchar_t* path;
    const fetch_report& report;
    ~fetch_line() {
        base::support_line("fetch")
            .text("host", host)
            .text("path", path)
            .number("status", report.status)
            .number("length", report.content_length)
            .number("received", report.received)
            .text("outcome", fetch_outcome(report));
    }
};

// Printable 7-bit text only: a validator goes back to the server in a request header.
bool header_safe(const char* value) {
    for (const char* p = value; *p; ++p)
        if (*p < 0x20 || *p > 0x7E)
            return false;
    return *value != '\0';
}

// The validator If-Range can carry: a strong ETag (a weak one never matches there), else
// Last-Modified.
void read_validator(void* request, char* out) {
    out[0] = '\0';
    for (const char* name : {"ETag", "Last-Modified"}) {
        c_buffer value{get_header(request, transport::query_custom, name)};
        if (!value || std::strncmp(value.get(), "W/", 2) == 0 || !header_safe(value.get()) ||
            std::strlen(value.get()) >= validator_size)
            continue;
        std::memcpy(out, value.get(), std::strlen(value.get()) + 1);
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
bool continues(const char* range, const fetch_resume& resume) {
    if (!range || std::strncmp(range, "bytes ", 6) != 0)
        return false;
    const char* p = range + 6;
    std::uint64_t first = 0, last = 0, total = 0;
    if (!read_number(&p, &first) || *p++ != '-' || !read_number(&p, &last) || *p++ != '/' ||
        !read_number(&p, &total) || *p != '\0')
        return false;
    return first == resume.offset && total == resume.total && last + 1 == total && first < total;
}

// The request header lines that ask for the rest of a body.
std::string range_headers(const fetch_resume& resume) {
    return "Range: bytes=" + std::to_string(resume.offset) + "-\r\nIf-Range: " + resume.validator +
           "\r\n";
}

// A bounded copy into `size` bytes that always terminates: at most size - 1 characters.
void copy_name(char* buffer, const char* name, unsigned long size) {
    if (size == 0)
        return;
    std::size_t n = strnlen(name, size - 1);
    std::memcpy(buffer, name, n);
    buffer[n] = '\0';
}

} // namespace

void VISTAL_CALLBACK InternetStatusCallback(void*, std::uintptr_t, unsigned long, void*,
                                            unsigned long) {}

char* get_header(void* request, unsigned long level, const char* name) {
    unsigned long size = header_start_size;
    for (;;) {
        c_buffer buffer(static_cast<char*>(std::malloc(size + 1)));
        if (!buffer)
            return nullptr;
        copy_name(buffer.get(), name, size);
        unsigned long error = 0;
        if (transport::query_info(request, level, buffer.get(), &size, &error))
            return buffer.release();
        // Grows to exactly what the platform reports as needed, as often as it asks for more.
        if (error != transport::error_insufficient_buffer)
            return nullptr;
    }
}

char* https_data(const wchar_t* host, const wchar_t* path, std::FILE* stream, fetch_report* report,
                 const fetch_progress* progress, const fetch_options* options) {
    fetch_report local;
    fetch_report& r = report ? *report : local;
    r = fetch_report{};
    const fetch_line logged{host, path, r};
    const fetch_options none;
    const fetch_options& o = options ? *options : none;
    // A resume is only asked for with bytes to continue and a validator to send.
    const fetch_resume* resume = stream && o.resume && o.resume->offset > 0 &&
                                         o.resume->offset < o.resume->total &&
                                         o.resume->validator && header_safe(o.resume->validator)
                                     ? o.resume
                                     : nullptr;
    const std::uint64_t deadline_ms =
        o.deadline_ms > 0 && o.deadline_ms < deployment_download_deadline_ms
            ? o.deadline_ms
            : deployment_download_deadline_ms;
    const std::size_t text_limit = o.max_text > 0 && o.max_text < answer_limit
                                       ? static_cast<std::size_t>(o.max_text)
                                       : answer_limit;

    const std::uint64_t started = platform::monotonic_ms();
    c_buffer answer;
    std::size_t answer_length = 0;
    if (!stream) {
        answer.reset(static_cast<char*>(std::malloc(answer_size)));
        if (!answer)
            return nullptr;
        answer.get()[0] = '\0';
    }

    wchar_t url[url_size];
    format_url(url, host, path);

    // Declared in the reverse of their release: the request goes first, then the session,
    // then the context.
    std::unique_ptr<request_context> context(new (std::nothrow) request_context{nullptr});
    internet_handle session;
    internet_handle request;
    if (context)
        session.reset(transport::open_session(
            user_agent, session_options_for(stream || o.max_text == 0 ? deployment_max_download
                                                                      : text_limit + 1,
                                            deadline_ms)));
    if (session) {
        context->session = session.get();
        transport::set_connect_timeout(session.get(), connect_timeout_ms);
        transport::set_status_callback(session.get(), &InternetStatusCallback);
        const std::string headers = resume ? range_headers(*resume) : std::string();
        request.reset(transport::open_url(session.get(), url,
                                          reinterpret_cast<std::uintptr_t>(context.get()),
                                          resume ? headers.c_str() : nullptr));
    }
    if (!request)
        return answer.release();

    r.status = transport::status_code(request.get());
    if (c_buffer value{get_header(request.get(), transport::query_custom, "Content-Length")}) {
        r.has_content_length = parse_content_length(value.get(), &r.content_length);
        if (!r.has_content_length)
            r.content_length = 0;
    }
    // What the stream already holds of the body: the resumed bytes after an accepted 206,
    // nothing after a 200 (the server sends the whole body again).
    std::uint64_t offset = 0;
    if (stream) {
        read_validator(request.get(), r.validator);
        r.total = r.content_length;
        if (resume && r.status == 206) {
            c_buffer range{get_header(request.get(), transport::query_custom, "Content-Range")};
            r.range_refused =
                !continues(range.get(), *resume) ||
                (r.content_length > 0 && r.content_length != resume->total - resume->offset);
            if (r.range_refused)
                return answer.release();
            r.resumed = true;
            r.total = resume->total;
            offset = resume->offset;
        } else if (resume && r.status == 200) {
            if (std::fflush(stream) != 0 || !platform::truncate_file(stream) ||
                std::fseek(stream, 0, SEEK_SET) != 0) {
                r.write_failed = true;
                return answer.release();
            }
        } else if (resume) {
            return answer.release(); // an error page is never written over the bytes held
        }
    }
    // A download announced beyond the maximum is not begun.
    if (stream && offset + r.content_length > deployment_max_download) {
        r.too_large = true;
        return answer.release();
    }
    if (stream && o.head && (r.status == 200 || r.resumed))
        o.head(o.head_context, r);

    // The chunk and its terminator, cleared before every read so that the chunk is always
    // zero-terminated text for the memory-mode append.
    c_buffer chunk(static_cast<char*>(std::malloc(chunk_size + 1)));
    if (!chunk)
        return answer.release();
    const std::uint32_t expected = r.content_length;
    // Only a download that may become the body anyone keeps is shown.
    if (!stream || (r.status != 200 && !r.resumed) || (progress && !progress->report))
        progress = nullptr;
    // What the stream may take: the announced length, else the rest of a resumed body, else what
    // the maximum leaves.
    const std::uint64_t stream_limit = expected > 0 ? expected
                                       : r.resumed  ? r.total - offset
                                                    : deployment_max_download - offset;
    const std::uint64_t shown_length = r.resumed ? r.total : expected;
    std::uint64_t received = 0; // wide enough that a count near 4 GiB cannot wrap below it
    // Where the body starts in the stream's file, and how much of it was handed to start_writeback;
    // a stream without a position (a pipe) is left to its owner.
    const long body_start = stream ? std::ftell(stream) : -1;
    std::uint64_t behind = 0;
    std::uint64_t window_start = started, window_bytes = 0;
    for (;;) {
        std::memset(chunk.get(), 0, chunk_size + 1);
        unsigned long n = 0;
        if (!transport::read(request.get(), chunk.get(), chunk_size, &n)) {
            n = 0;
            r.read_failed = true;
        }
        if (n > 0) {
            if (stream) {
                // Bytes beyond the announced length are not part of the body; beyond the
                // maximum, the download is refused.
                std::uint64_t take = n;
                if (received + take > stream_limit) {
                    take = stream_limit - received;
                    r.too_large = expected == 0;
                }
                if (take > 0 && std::fwrite(chunk.get(), 1, take, stream) != take)
                    r.write_failed = true;
                received += take;
                if (r.too_large || r.write_failed)
                    break;
                if (body_start >= 0 && received - behind >= write_behind_range) {
                    const std::uint64_t at = static_cast<std::uint64_t>(body_start) + behind;
                    platform::start_writeback(stream, at, write_behind_range);
                    if (behind >= write_behind_lag * write_behind_range)
                        platform::await_writeback(
                            stream, at - write_behind_lag * write_behind_range, write_behind_range);
                    behind += write_behind_range;
                }
                if (progress)
                    progress->report(progress->context, fetch_stage::running, offset + received,
                                     shown_length);
            } else {
                received += n;
                if (answer_length + n > text_limit) {
                    r.too_long = text_limit < answer_limit;
                    break;
                }
                // Appended as text: bytes after a zero byte in the chunk are dropped.
                std::size_t text = std::strlen(chunk.get());
                std::memcpy(answer.get() + answer_length, chunk.get(), text + 1);
                answer_length += text;
            }
        }
        // A read that delivers nothing ends the transfer, also before the expected length has
        // arrived: the server closed early or the connection broke.
        if (n == 0)
            break;
        if (expected > 0 && received >= expected)
            break;
        std::uint64_t now = platform::monotonic_ms();
        window_bytes += n;
        if (now - started >= deadline_ms) {
            r.timed_out = true;
            break;
        }
        if (now - window_start >= low_speed_window_ms) {
            if (window_bytes < low_speed_bytes) {
                r.timed_out = true;
                break;
            }
            window_start = now;
            window_bytes = 0;
        }
    }
    r.received = static_cast<std::uint32_t>(received);
    if (expected > 0 && received < expected)
        r.read_failed = true;
    if (progress) {
        bool whole =
            received > 0 && !r.read_failed && !r.too_large && !r.write_failed && !r.timed_out;
        progress->report(progress->context, whole ? fetch_stage::complete : fetch_stage::failed,
                         offset + received, shown_length);
    }
    return answer.release();
}

// One HTTPS GET over the transport: the body goes into a caller's stream or into a 1 MiB text.
#include "update/https_fetch.h"

#include "update/transport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

constexpr const wchar_t* user_agent = L"Quarlen Vistal/1.0";
constexpr std::size_t url_size = 256;         // wide characters, terminator included
constexpr std::size_t url_limit = 254;        // longer URLs are cut here
constexpr std::size_t answer_size = 0x100000; // 1 MiB
constexpr std::size_t answer_limit = 0xFFFFF; // longest text that fits with its terminator
constexpr unsigned long chunk_size = 8192;
constexpr unsigned long connect_timeout_ms = 5000;

// Held as the request's context so that the status callback is called for the request.
struct request_context {
    transport::handle session;
};

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

} // namespace

void InternetStatusCallback(void*, std::uintptr_t, unsigned long, void*, unsigned long) {}

char* get_header(void* request, unsigned long level, const char* name) {
    unsigned long size = 20;
    for (;;) {
        char* buffer = static_cast<char*>(std::malloc(size + 1));
        if (!buffer)
            return nullptr;
        std::strncpy(buffer, name, size);
        buffer[size] = '\0';
        unsigned long error = 0;
        if (transport::query_info(request, level, buffer, &size, &error))
            return buffer;
        std::free(buffer);
        // Grows to what the platform reports as needed, as often as it asks for more.
        if (error != transport::error_insufficient_buffer)
            return nullptr;
    }
}

char* https_data(const wchar_t* host, const wchar_t* path, std::FILE* stream, fetch_report* report) {
    fetch_report local;
    fetch_report& r = report ? *report : local;
    r = fetch_report{};

    char* answer = nullptr;
    std::size_t answer_length = 0;
    if (!stream) {
        answer = static_cast<char*>(std::malloc(answer_size));
        if (!answer)
            return nullptr;
        answer[0] = '\0';
    }

    wchar_t url[url_size];
    format_url(url, host, path);

    auto* context = new request_context{nullptr};
    transport::handle request = nullptr;
    transport::handle session = transport::open_session(user_agent);
    context->session = session;
    if (session) {
        transport::set_connect_timeout(session, connect_timeout_ms);
        transport::set_status_callback(session, &InternetStatusCallback);
        request = transport::open_url(session, url, reinterpret_cast<std::uintptr_t>(context));
    }
    if (request) {
        r.status = transport::status_code(request);
        if (char* value = get_header(request, transport::query_custom, "Content-Length")) {
            r.has_content_length = parse_content_length(value, &r.content_length);
            if (!r.has_content_length)
                r.content_length = 0;
            std::free(value);
        }
        // The chunk and its terminator; cleared before every read so that a chunk is always
        // zero-terminated text for the memory-mode append.
        char* chunk = static_cast<char*>(std::malloc(chunk_size + 1));
        if (chunk) {
            const std::uint32_t expected = r.content_length;
            for (;;) {
                std::memset(chunk, 0, chunk_size + 1);
                unsigned long n = 0;
                if (!transport::read(request, chunk, chunk_size, &n)) {
                    n = 0;
                    r.read_failed = true;
                }
                if (n > 0) {
                    r.received += static_cast<std::uint32_t>(n);
                    if (stream) {
                        std::fwrite(chunk, 1, n, stream);
                    } else {
                        if (answer_length + n > answer_limit)
                            break;
                        // Appended as text: bytes after a zero byte in the chunk are dropped.
                        std::size_t text = std::strlen(chunk);
                        std::memcpy(answer + answer_length, chunk, text + 1);
                        answer_length += text;
                    }
                }
                // A read that delivers nothing ends the transfer, also before the expected
                // length has arrived: the server closed early or the connection broke.
                if (n == 0)
                    break;
                if (expected > 0 && r.received >= expected)
                    break;
            }
            if (expected > 0 && r.received < expected)
                r.read_failed = true;
            std::free(chunk);
        }
    }
    if (request)
        transport::close(request);
    if (session)
        transport::close(session);
    delete context;
    return answer;
}

// A GET over WinINet, in the order the Windows service expects: a session of its own with the
// connect time-out and the status callback set, one secure request whose context holds the
// session, the head's headers queried as the sink asks, the body read in 8 KiB chunks into a
// buffer cleared before every read; then the request, the session and the context let go, in
// that order. Portable: the calls themselves are wininet.h's.
#include "net/transport.h"
#include "net/wininet.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr unsigned long chunk_size = 8192;
constexpr unsigned long header_start_size = 20;

// Held as the request's context so that the status callback is called for the request.
struct request_context {
    wininet::handle session;
};

struct free_deleter {
    void operator()(void* p) const { std::free(p); }
};
using c_buffer = std::unique_ptr<char, free_deleter>;

struct internet_closer {
    void operator()(void* h) const { wininet::close(h); }
};
using internet_handle = std::unique_ptr<void, internet_closer>;

// A bounded copy into `size` bytes that always terminates: at most size - 1 characters.
void copy_name(char* buffer, const char* name, unsigned long size) {
    if (size == 0)
        return;
    std::size_t n = strnlen(name, size - 1);
    std::memcpy(buffer, name, n);
    buffer[n] = '\0';
}

class request_head : public transport::response {
  public:
    explicit request_head(wininet::handle request) : request_(request) {}
    int status() const override { return wininet::status_code(request_); }
    bool header(const char* name, std::string& value) const override {
        c_buffer text{get_header(request_, wininet::query_custom, name)};
        if (text)
            value = text.get();
        return text != nullptr;
    }

  private:
    wininet::handle request_;
};

// The body, chunk by chunk, until it ends, a read fails or the sink has enough.
transport::ending read_body(wininet::handle request, transport::sink& into) {
    // The chunk and its terminator, cleared before every read.
    c_buffer chunk(static_cast<char*>(std::malloc(chunk_size + 1)));
    if (!chunk)
        return transport::ending::stopped;
    for (;;) {
        std::memset(chunk.get(), 0, chunk_size + 1);
        unsigned long n = 0;
        if (!wininet::read(request, chunk.get(), chunk_size, &n))
            return transport::ending::broken;
        if (n == 0)
            return transport::ending::body_end;
        if (!into.body(chunk.get(), n))
            return transport::ending::stopped;
    }
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
        if (wininet::query_info(request, level, buffer.get(), &size, &error))
            return buffer.release();
        // Grows to exactly what the platform reports as needed, as often as it asks for more.
        if (error != wininet::error_insufficient_buffer)
            return nullptr;
    }
}

namespace transport {

ending get(const wchar_t* url, const options& o, sink& into) {
    // Declared in the reverse of their release: the request goes first, then the session,
    // then the context.
    std::unique_ptr<request_context> context(new (std::nothrow) request_context{nullptr});
    if (!context)
        return ending::no_response;
    internet_handle session(wininet::open_session(o.user_agent, o));
    if (!session)
        return ending::no_response;
    context->session = session.get();
    wininet::set_connect_timeout(session.get(), o.connect_timeout_ms);
    wininet::set_status_callback(session.get(), &InternetStatusCallback);
    internet_handle request(wininet::open_url(
        session.get(), url, reinterpret_cast<std::uintptr_t>(context.get()), o.headers));
    if (!request)
        return ending::no_response;
    if (!into.head(request_head(request.get())))
        return ending::declined;
    return read_body(request.get(), into);
}

} // namespace transport

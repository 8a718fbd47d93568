// One HTTPS GET, named by what the update client wants of it: the response head and the body of
// one URL, handed to a sink as they arrive. The Windows build does it over WinINet
// (wininet_get.cpp over win32/), the Linux build over libcurl (posix/); linking decides. The
// deployment's bounds come in with the options, so this room knows nothing of how the program
// is deployed.
#pragma once

#include <cstddef>
#include <string>

namespace transport {

// What one request keeps to.
struct options {
    const wchar_t* user_agent = L"";
    unsigned long connect_timeout_ms = 0; // 0: the service's own
    unsigned receive_timeout_ms = 30000;  // a request that receives nothing this long fails
    const char* ca_bundle = nullptr;      // CA file, or hashed directory, trusted instead of
                                          // the system store
    unsigned long long max_download = 0;  // no body beyond this many bytes is taken in
    unsigned long long deadline_ms = 0;   // no request outlasts this
    // Request header lines each ended by CRLF (a resumed download's Range and If-Range), 7-bit
    // text; null for none.
    const char* headers = nullptr;
};

// The response head, as far as the sink asks for it.
class response {
  public:
    // The status code; 0 when there is none.
    virtual int status() const = 0;
    // The value of the header `name` (any case) into `value`; false when the response has none.
    virtual bool header(const char* name, std::string& value) const = 0;

  protected:
    ~response() = default;
};

// Where a response goes.
class sink {
  public:
    // The head has arrived; false when its body is not wanted.
    virtual bool head(const response& head) = 0;
    // The next `size` bytes of the body (never 0); false when no more are wanted.
    virtual bool body(const char* data, std::size_t size) = 0;

  protected:
    ~sink() = default;
};

// How a GET ended.
enum class ending {
    no_response, // no response head: no session, no connection, TLS refused, nothing answered
    declined,    // the sink wanted no body
    stopped,     // the sink wanted no more of it
    body_end,    // the body ended
    broken,      // a read failed: the connection broke or a bound ran out
};

// GETs `url` (https only, redirects included) and hands its head and body to `into`.
ending get(const wchar_t* url, const options& options, sink& into);

} // namespace transport

// How the fetch table reaches the fetch it tests: in this process over the Linux transport, or
// through an agent program running under Wine over WinINet, which makes the same calls and
// reports what they gave. Linking decides which one a table program gets.
#pragma once

#include "update/https_fetch.h"

#include <cstdint>
#include <string>

namespace testsupport {

struct fetched {
    bool null = false; // no text came back: into a file, or a text sink without its buffer
    std::string body;  // the text (memory mode) or what was written to the stream
    update::fetch_report report;
};

// One header query on a fresh request: what a query with a buffer of `size` bytes gave for
// `name` (WinINet's HttpQueryInfoA; the Linux transport answers from its header lookup by the
// same rules), then what the transport's header lookup gave for the same name.
struct header_probe {
    int status = 0;
    bool ok = false;
    unsigned long error = 0;
    unsigned long size = 0;
    std::string value; // the buffer's text after a successful query
    bool get_header_null = true;
    std::string get_header_value;
};

class fetch_client {
  public:
    virtual ~fetch_client() = default;
    // Which transport answers, for documented differences: "wininet" through the agent under
    // Wine, "in-process" for the transport linked into the table's program.
    virtual const char* transport() const = 0;
    virtual fetched text(const std::string& host, const std::string& path) = 0;
    virtual fetched stream(const std::string& host, const std::string& path) = 0;
    // Stream mode into a stream that holds `held`, the start of a body of `total` bytes sent
    // with `validator`, asking for the rest. `held` and `validator` are words without spaces.
    virtual fetched resume(const std::string& host, const std::string& path,
                           const std::string& held, std::uint64_t total,
                           const std::string& validator) = 0;
    virtual header_probe header(const std::string& url, const std::string& name,
                                unsigned long size) = 0;
};

// The client of this program, made on first use.
fetch_client& the_fetch_client();

// The header probe over the transport linked into this program: fetch_header_wininet.cpp or
// fetch_header_curl.cpp.
header_probe probe_header(const std::string& url, const std::string& name, unsigned long size);
std::wstring wide(const std::string& s);

} // namespace testsupport

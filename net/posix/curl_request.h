// The pieces of the libcurl transport that its files share: the request's state and the parsers
// of what curl hands over. Library loading is curl_loader.cpp, the request pump and the GET
// transport_curl.cpp, the response head curl_head.cpp, the URL curl_url.cpp.
#pragma once

#include "net/transport.h"

#include <cstddef>
#include <cstdint>
#include <curl/curl.h>
#include <string>
#include <utility>
#include <vector>

namespace curl_transport {

constexpr long max_redirects = 10;
// curl's receive buffer; larger than its default so that bulk downloads take fewer rounds.
constexpr long receive_buffer_size = 256 * 1024;
// Body bytes held for the reader before curl is paused; bounds memory for any body size.
constexpr std::size_t held_limit = 1024 * 1024;

struct request {
    request() = default;
    request(const request&) = delete;
    request& operator=(const request&) = delete;
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    std::string url;
    std::string user_agent;
    // The caller's request header lines, and the list curl reads them from (it only reads it).
    std::vector<std::string> header_lines;
    std::vector<curl_slist> header_nodes;
    unsigned receive_timeout_ms = 0;

    long status = 0;   // status of the head being received
    bool head = false; // the final response head has arrived
    std::vector<std::pair<std::string, std::string>> headers;
    bool has_location = false;

    std::string held; // body bytes received and not yet read
    std::size_t held_offset = 0;
    bool paused = false;
    std::uint64_t activity = 0; // bytes received, head and body

    bool done = false;
    bool failed = false;
    char error[CURL_ERROR_SIZE] = {};

    ~request() {
        if (multi && easy)
            curl_multi_remove_handle(multi, easy);
        if (easy)
            curl_easy_cleanup(easy);
        if (multi)
            curl_multi_cleanup(multi);
    }
};

// --- the response head (curl_head.cpp) ---------------------------------------------------------
std::string trim(std::string s);
// Header names compare without regard to case.
bool same_name(const std::string& a, const char* b);
// A status that curl follows when the response names a Location.
bool followed(long status);
// curl's header callback: one line of a response head into the request `user`.
std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user);

// --- the URL (curl_url.cpp) --------------------------------------------------------------------
// The URL as curl takes it: UTF-8, with spaces, controls and non-ASCII bytes escaped.
std::string url_bytes(const wchar_t* url);
// 7-bit text of a wide text; anything else becomes '?'.
std::string narrow(const wchar_t* text);

} // namespace curl_transport

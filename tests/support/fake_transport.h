// A scripted stand-in for WinINet's calls (net/wininet.h), under the real GET over them: unit
// tests say what each URL answers and read back the calls the fetch made, in order.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fake {

struct response {
    bool connect_fails = false; // open_url gives null
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::size_t max_chunk = 0;      // a read delivers at most this many bytes (0: what is asked)
    bool read_fails_at_end = false; // after the body, reads fail instead of delivering 0
};

struct transport_state {
    std::map<std::wstring, response> responses;        // by full URL; others fail to connect
    std::map<std::wstring, response> ranged_responses; // by full URL, to a request with Range
    bool session_fails = false;
    std::vector<std::string> calls; // "open_session", "open_url:<url>", "read:<n>", ...
    std::vector<std::wstring> urls;
    std::vector<std::string> request_headers; // of each open_url, "" for none
    std::wstring user_agent;
    unsigned long connect_timeout = 0;
    bool callback_registered = false;
    std::size_t open_handles = 0;
};

transport_state& transport();
void reset_transport();
// Answers `url` (the whole https URL) with `r`.
void respond(const std::wstring& url, response r);
// Answers a request for `url` that asks for a range with `r` (others get what respond gave).
void respond_to_range(const std::wstring& url, response r);

} // namespace fake

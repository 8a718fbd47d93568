#include "tests/support/fake_transport.h"

#include "net/wininet.h"
#include "tests/support/text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

namespace fake {

transport_state& transport() {
    static transport_state s;
    return s;
}

void reset_transport() {
    transport() = transport_state{};
}

void respond(const std::wstring& url, response r) {
    transport().responses[url] = std::move(r);
}

void respond_to_range(const std::wstring& url, response r) {
    transport().ranged_responses[url] = std::move(r);
}

namespace {

struct session {
    int kind = 0;
};
struct request {
    int kind = 1;
    response r;
    std::size_t offset = 0;
};

std::string narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w)
        s += static_cast<char>(c);
    return s;
}

} // namespace
} // namespace fake

namespace wininet {

handle open_session(const wchar_t* user_agent, const transport::options&) {
    auto& t = fake::transport();
    t.calls.push_back("open_session");
    t.user_agent = user_agent;
    if (t.session_fails)
        return nullptr;
    ++t.open_handles;
    return new fake::session;
}

bool set_connect_timeout(handle, unsigned long ms) {
    fake::transport().calls.push_back("set_connect_timeout:" + std::to_string(ms));
    fake::transport().connect_timeout = ms;
    return true;
}

bool set_status_callback(handle, status_callback callback) {
    fake::transport().calls.push_back("set_status_callback");
    fake::transport().callback_registered = callback != nullptr;
    return true;
}

handle open_url(handle, const wchar_t* url, std::uintptr_t context, const char* headers) {
    auto& t = fake::transport();
    t.calls.push_back("open_url:" + fake::narrow(url) + (context ? "" : " (no context)"));
    t.urls.push_back(url);
    t.request_headers.push_back(headers ? headers : "");
    const bool ranged = headers && std::string(headers).find("Range:") != std::string::npos;
    const fake::response* answer = nullptr;
    if (auto it = t.ranged_responses.find(url); ranged && it != t.ranged_responses.end())
        answer = &it->second;
    else if (auto plain = t.responses.find(url); plain != t.responses.end())
        answer = &plain->second;
    if (!answer || answer->connect_fails)
        return nullptr;
    ++t.open_handles;
    auto* r = new fake::request;
    r->r = *answer;
    return r;
}

bool query_info(handle request, unsigned long level, char* buffer, unsigned long* size,
                unsigned long* error) {
    auto* r = static_cast<fake::request*>(request);
    std::string name = buffer;
    fake::transport().calls.push_back("query_info:" + name + ":" + std::to_string(*size));
    if (level != query_custom) {
        *error = 87; // ERROR_INVALID_PARAMETER
        return false;
    }
    for (auto& [key, value] : r->r.headers) {
        if (!testsupport::same_name(key, name))
            continue;
        if (value.size() + 1 > *size) {
            *size = static_cast<unsigned long>(value.size() + 1);
            *error = error_insufficient_buffer;
            return false;
        }
        std::memcpy(buffer, value.c_str(), value.size() + 1);
        *size = static_cast<unsigned long>(value.size());
        return true;
    }
    *error = error_header_not_found;
    return false;
}

int status_code(handle request) {
    return request ? static_cast<fake::request*>(request)->r.status : 0;
}

bool read(handle request, void* buffer, unsigned long size, unsigned long* read) {
    auto* r = static_cast<fake::request*>(request);
    fake::transport().calls.push_back("read:" + std::to_string(size));
    std::size_t left = r->r.body.size() - r->offset;
    std::size_t n = std::min<std::size_t>(left, size);
    if (r->r.max_chunk)
        n = std::min(n, r->r.max_chunk);
    if (n == 0 && r->r.read_fails_at_end) {
        *read = 0;
        return false;
    }
    std::memcpy(buffer, r->r.body.data() + r->offset, n);
    r->offset += n;
    *read = static_cast<unsigned long>(n);
    return true;
}

bool close(handle internet) {
    auto& t = fake::transport();
    if (!internet)
        return false;
    if (static_cast<fake::session*>(internet)->kind == 1) {
        t.calls.push_back("close:request");
        delete static_cast<fake::request*>(internet);
    } else {
        t.calls.push_back("close:session");
        delete static_cast<fake::session*>(internet);
    }
    --t.open_handles;
    return true;
}

} // namespace wininet

// The response head as curl hands it over, line by line: status lines, interim and redirect heads,
// folded lines, name and value pairs.
#include "net/posix/curl_request.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace curl_transport {

std::string trim(std::string s) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.back()))
        s.pop_back();
    std::size_t start = 0;
    while (start < s.size() && space(s[start]))
        ++start;
    return s.substr(start);
}

bool same_name(const std::string& a, const char* b) {
    std::size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool followed(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto* r = static_cast<request*>(user);
    std::size_t n = size * count;
    r->activity += n;
    std::string line(data, n);
    if (line.compare(0, 5, "HTTP/") == 0) {
        // A new head: an interim answer or a redirect came before it.
        r->headers.clear();
        r->has_location = false;
        r->status = 0;
        std::size_t sp = line.find(' ');
        if (sp != std::string::npos)
            r->status = std::strtol(line.c_str() + sp + 1, nullptr, 10);
    } else if (line == "\r\n" || line == "\n") {
        bool interim = r->status >= 100 && r->status < 200;
        bool redirect = followed(r->status) && r->has_location;
        if (!interim && !redirect)
            r->head = true;
    } else if ((line[0] == ' ' || line[0] == '\t') && !r->headers.empty()) {
        r->headers.back().second += " " + trim(line); // a folded continuation line
    } else {
        std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = trim(line.substr(0, colon));
            r->has_location = r->has_location || same_name(name, "Location");
            r->headers.emplace_back(std::move(name), trim(line.substr(colon + 1)));
        }
    }
    return n;
}

} // namespace curl_transport

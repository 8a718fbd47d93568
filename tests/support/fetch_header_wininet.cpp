// The header probe over WinINet's own calls: a session and a request of its own, the query with
// the table's buffer size, then get_header's regrowing query for the same name.
#include "tests/support/fetch_client.h"

#include "config/deployment.h"
#include "net/wininet.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace testsupport {

header_probe probe_header(const std::string& url, const std::string& name, unsigned long size) {
    header_probe p;
    transport::options options;
    options.receive_timeout_ms = config::deployment_receive_timeout_ms;
    wininet::handle session = wininet::open_session(L"Quarlen Vistal/1.0", options);
    if (!session)
        return p;
    wininet::handle request = wininet::open_url(session, wide(url).c_str(), 1);
    if (request) {
        p.status = wininet::status_code(request);
        std::string buffer(name);
        buffer.resize(std::max<std::size_t>(size, name.size() + 1) + 1, '\0');
        p.size = size;
        p.ok = wininet::query_info(request, wininet::query_custom, &buffer[0], &p.size, &p.error);
        if (p.ok)
            p.value = buffer.c_str();
        std::unique_ptr<char, decltype(&std::free)> value(
            get_header(request, wininet::query_custom, name.c_str()), &std::free);
        p.get_header_null = value == nullptr;
        if (value)
            p.get_header_value = value.get();
        wininet::close(request);
    }
    wininet::close(session);
    return p;
}

} // namespace testsupport

// The header probe over the Linux transport: one GET whose sink looks the header up in the head
// and wants no body. The query with a buffer is answered from that lookup by WinINet's rules (the
// value with its terminator must fit; else the size it needs), so that the table holds both
// transports to the same answers.
#include "tests/support/fetch_client.h"

#include "config/deployment.h"
#include "net/transport.h"
#include "net/wininet.h"

namespace testsupport {
namespace {

struct header_lookup : transport::sink {
    const char* name;
    int status = 0;
    bool found = false;
    std::string value;

    explicit header_lookup(const char* n) : name(n) {}
    bool head(const transport::response& head) override {
        status = head.status();
        found = head.header(name, value);
        return false;
    }
    bool body(const char*, std::size_t) override { return false; }
};

} // namespace

header_probe probe_header(const std::string& url, const std::string& name, unsigned long size) {
    header_probe p;
    transport::options options;
    options.user_agent = L"Quarlen Vistal/1.0";
    options.ca_bundle = config::deployment_ca_bundle;
    options.receive_timeout_ms = config::deployment_receive_timeout_ms;
    options.max_download = config::deployment_max_download;
    options.deadline_ms = config::deployment_download_deadline_ms;
    header_lookup lookup(name.c_str());
    if (transport::get(wide(url).c_str(), options, lookup) == transport::ending::no_response)
        return p;
    p.status = lookup.status;
    p.size = size;
    if (!lookup.found) {
        p.error = wininet::error_header_not_found;
    } else if (lookup.value.size() + 1 > size) {
        p.error = wininet::error_insufficient_buffer;
        p.size = static_cast<unsigned long>(lookup.value.size() + 1);
    } else {
        p.ok = true;
        p.value = lookup.value;
        p.size = static_cast<unsigned long>(lookup.value.size());
    }
    p.get_header_null = !lookup.found;
    if (lookup.found)
        p.get_header_value = lookup.value;
    return p;
}

} // namespace testsupport

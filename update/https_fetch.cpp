// One HTTPS GET over the transport, within the deployment's bounds.
#include "update/https_fetch.h"

#include "base/support_log.h"
#include "config/deployment.h"
#include "config/product.h"
#include "net/transport.h"
#include "update/support_names.h"

#include <string>

namespace update {

namespace {

constexpr std::size_t url_size = 256;  // wide characters, terminator included
constexpr std::size_t url_limit = 254; // longer URLs are cut here
constexpr unsigned long connect_timeout_ms = 5000;

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

// A call's own deadline where it is shorter than the deployment's.
std::uint64_t deadline_for(std::uint64_t asked_ms) {
    return asked_ms > 0 && asked_ms < config::deployment_download_deadline_ms
               ? asked_ms
               : config::deployment_download_deadline_ms;
}

// The deployment's bounds and the sink's, for the transport: no single read may outlast the
// call's deadline.
transport::options options_for(const fetch_sink& into, std::uint64_t deadline_ms) {
    transport::options options;
    options.user_agent = config::user_agent;
    options.connect_timeout_ms = connect_timeout_ms;
    options.receive_timeout_ms = config::deployment_receive_timeout_ms;
    if (deadline_ms < options.receive_timeout_ms)
        options.receive_timeout_ms = static_cast<unsigned>(deadline_ms);
    options.ca_bundle = config::deployment_ca_bundle;
    options.max_download = into.max_bytes();
    options.deadline_ms = deadline_ms;
    return options;
}

// Writes the support log's line for one fetch when the fetch ends, whichever way it ends.
struct fetch_line {
    const wchar_t* host;
    const wchar_t* path;
    const fetch_report& report;
    ~fetch_line() {
        base::support_line("fetch")
            .text("host", host)
            .text("path", path)
            .number("status", report.status)
            .number("length", report.content_length)
            .number("received", report.received)
            .text("outcome", fetch_outcome(report));
    }
};

} // namespace

fetch_report https_data(const wchar_t* host, const wchar_t* path, fetch_sink& into,
                        std::uint64_t deadline_ms) {
    fetch_report report;
    const fetch_line logged{host, path, report};
    const std::uint64_t deadline = deadline_for(deadline_ms);
    into.begin(report, deadline);
    if (!into.ready())
        return report;

    wchar_t url[url_size];
    format_url(url, host, path);
    const std::string headers = into.request_headers();
    transport::options options = options_for(into, deadline);
    options.headers = headers.empty() ? nullptr : headers.c_str();
    into.end(transport::get(url, options, into));
    return report;
}

} // namespace update

// The fetch table's client for the transport linked into this program.
#include "tests/support/fetch_client.h"

#include "config/deployment.h"
#include "net/transport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace testsupport {
namespace {

std::wstring wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

class local_client : public fetch_client {
  public:
    // The agent under Wine uses this client too; only the table's side names the transport.
    const char* transport() const override { return "in-process"; }

    fetched text(const std::string& host, const std::string& path) override {
        fetched f;
        char* text = https_data(wide(host).c_str(), wide(path).c_str(), nullptr, &f.report);
        f.null = text == nullptr;
        if (text)
            f.body = text;
        std::free(text);
        return f;
    }

    fetched stream(const std::string& host, const std::string& path) override {
        return into_stream(host, path, "", nullptr);
    }

    fetched resume(const std::string& host, const std::string& path, const std::string& held,
                   std::uint64_t total, const std::string& validator) override {
        fetch_resume r;
        r.offset = held.size();
        r.total = total;
        r.validator = validator.c_str();
        fetch_options options;
        options.resume = &r;
        return into_stream(host, path, held, &options);
    }

  private:
    fetched into_stream(const std::string& host, const std::string& path, const std::string& held,
                        const fetch_options* options) {
        fetched f;
        std::FILE* out = std::tmpfile();
        if (!out)
            return f;
        std::fwrite(held.data(), 1, held.size(), out);
        f.null = https_data(wide(host).c_str(), wide(path).c_str(), out, &f.report, nullptr,
                            options) == nullptr;
        std::rewind(out);
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0)
            f.body.append(buffer, n);
        std::fclose(out);
        return f;
    }

  public:
    header_probe header(const std::string& url, const std::string& name,
                        unsigned long size) override {
        header_probe p;
        transport::session_options options;
        options.ca_bundle = deployment_ca_bundle;
        options.receive_timeout_ms = deployment_receive_timeout_ms;
        options.max_download = deployment_max_download;
        options.deadline_ms = deployment_download_deadline_ms;
        transport::handle session = transport::open_session(L"Quarlen Vistal/1.0", options);
        if (!session)
            return p;
        transport::handle request = transport::open_url(session, wide(url).c_str(), 1);
        if (request) {
            p.status = transport::status_code(request);
            std::string buffer(name);
            buffer.resize(std::max<std::size_t>(size, name.size() + 1) + 1, '\0');
            p.size = size;
            p.ok = transport::query_info(request, transport::query_custom, &buffer[0], &p.size,
                                         &p.error);
            if (p.ok)
                p.value = buffer.c_str();
            std::unique_ptr<char, decltype(&std::free)> value(
                get_header(request, transport::query_custom, name.c_str()), &std::free);
            p.get_header_null = value == nullptr;
            if (value)
                p.get_header_value = value.get();
            transport::close(request);
        }
        transport::close(session);
        return p;
    }
};

} // namespace

fetch_client& the_fetch_client() {
    static local_client client;
    return client;
}

} // namespace testsupport

// The fetch table's client for the transport linked into this program.
#include "tests/support/fetch_client.h"

#include <cstdio>

using update::fetch_resume;
using update::file_sink;
using update::https_data;
using update::text_sink;

namespace testsupport {

std::wstring wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

namespace {

class local_client : public fetch_client {
  public:
    // The agent under Wine uses this client too; only the table's side names the transport.
    const char* transport() const override { return "in-process"; }

    fetched text(const std::string& host, const std::string& path) override {
        fetched f;
        text_sink into;
        f.report = https_data(wide(host).c_str(), wide(path).c_str(), into);
        f.null = !into.ready();
        f.body = into.text();
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
        return into_stream(host, path, held, &r);
    }

    header_probe header(const std::string& url, const std::string& name,
                        unsigned long size) override {
        return probe_header(url, name, size);
    }

  private:
    // A file sink gives no text back: the null a stream-mode fetch always returned.
    fetched into_stream(const std::string& host, const std::string& path, const std::string& held,
                        const fetch_resume* resume) {
        fetched f;
        std::FILE* out = std::tmpfile();
        if (!out)
            return f;
        std::fwrite(held.data(), 1, held.size(), out);
        file_sink into(out, nullptr, resume);
        f.report = https_data(wide(host).c_str(), wide(path).c_str(), into);
        f.null = true;
        std::rewind(out);
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0)
            f.body.append(buffer, n);
        std::fclose(out);
        return f;
    }
};

} // namespace

fetch_client& the_fetch_client() {
    static local_client client;
    return client;
}

} // namespace testsupport

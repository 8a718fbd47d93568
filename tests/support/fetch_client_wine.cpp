// The fetch table's client for WinINet: starts the cross-built agent (fetch_agent.cpp) under
// Wine once, hands it each fetch over a pipe and reads back what the fetch gave. While it runs it
// serves the test CA's revocation list on the port the test certificates name, which WinINet
// fetches before it accepts a server certificate.
#include "tests/support/fetch_client.h"
#include "tests/support/tls_server.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

using update::fetch_report;

namespace testsupport {
namespace {

constexpr int crl_port = 18460; // named by every certificate of make-test-pki.sh

std::string unhex(const std::string& s) {
    if (s == "-")
        return {};
    std::string out;
    out.reserve(s.size() / 2);
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
        out += static_cast<char>(std::stoi(s.substr(i, 2), nullptr, 16));
    return out;
}

class wine_client : public fetch_client {
  public:
    wine_client() : crl_(crl_options()) {
        if (!crl_.port())
            throw std::runtime_error("revocation list server: " + crl_.error());
        std::ifstream file(std::string(VISTAL_TEST_PKI_DIR) + "/ca.crl", std::ios::binary);
        std::string list{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        crl_.on("/ca.crl",
                answer(http_response(200, list, {{"Content-Type", "application/pkix-crl"}})));

        int to_agent[2], from_agent[2];
        if (::pipe(to_agent) != 0 || ::pipe(from_agent) != 0)
            throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(to_agent[0], 0);
            ::dup2(from_agent[1], 1);
            ::close(to_agent[0]);
            ::close(to_agent[1]);
            ::close(from_agent[0]);
            ::close(from_agent[1]);
            ::execl("/bin/bash", "bash", VISTAL_WINE_RUN, VISTAL_FETCH_AGENT,
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(to_agent[0]);
        ::close(from_agent[1]);
        out_ = ::fdopen(to_agent[1], "w");
        in_ = ::fdopen(from_agent[0], "r");
    }

    ~wine_client() override {
        std::fclose(out_); // the agent ends at the end of its input
        int status = 0;
        ::waitpid(pid_, &status, 0);
        std::fclose(in_);
    }

    const char* transport() const override { return "wininet"; }

    fetched text(const std::string& host, const std::string& path) override {
        return fetch("text", host, path);
    }
    fetched stream(const std::string& host, const std::string& path) override {
        return fetch("stream", host, path);
    }
    fetched resume(const std::string& host, const std::string& path, const std::string& held,
                   std::uint64_t total, const std::string& validator) override {
        std::istringstream in(ask("resume " + host + " " + path + " " + held + " " +
                                  std::to_string(total) + " " + validator));
        fetched f;
        fetch_report& r = f.report;
        std::string body;
        in >> f.null >> r.status >> r.has_content_length >> r.content_length >> r.received >>
            r.read_failed >> body >> r.resumed >> r.range_refused;
        f.body = unhex(body);
        return f;
    }

    header_probe header(const std::string& url, const std::string& name,
                        unsigned long size) override {
        std::istringstream in(ask("header " + url + " " + name + " " + std::to_string(size)));
        header_probe p;
        std::string value, got;
        in >> p.status >> p.ok >> p.error >> p.size >> value >> p.get_header_null >> got;
        p.value = unhex(value);
        p.get_header_value = unhex(got);
        return p;
    }

  private:
    static tls_server_options crl_options() {
        tls_server_options o;
        o.plain = true;
        o.port = crl_port;
        return o;
    }

    fetched fetch(const char* mode, const std::string& host, const std::string& path) {
        std::istringstream in(ask(std::string(mode) + " " + host + " " + path));
        fetched f;
        fetch_report& r = f.report;
        std::string body;
        in >> f.null >> r.status >> r.has_content_length >> r.content_length >> r.received >>
            r.read_failed >> body;
        f.body = unhex(body);
        return f;
    }

    std::string ask(const std::string& request) {
        std::fprintf(out_, "%s\n", request.c_str());
        std::fflush(out_);
        std::string line;
        int c;
        while ((c = std::fgetc(in_)) != EOF && c != '\n')
            line += static_cast<char>(c);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            throw std::runtime_error("the fetch agent under Wine gave no answer to: " + request);
        return line;
    }

    tls_server crl_;
    pid_t pid_ = -1;
    std::FILE* out_ = nullptr;
    std::FILE* in_ = nullptr;
};

} // namespace

fetch_client& the_fetch_client() {
    static wine_client client;
    return client;
}

} // namespace testsupport

// vistal-tls-server: the scripted loopback server as a program, for end-to-end scripts and
// benchmarks. Serves files from a directory and a fixed answer to the version request; runs
// until SIGINT or SIGTERM.
#include "tests/support/tls_server.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pthread.h>
#include <string>
#include <sys/stat.h>

namespace {

const char* usage =
    "usage: vistal-tls-server [options]\n"
    "  --cert FILE --key FILE  certificate (chain) and key, PEM\n"
    "  --port N                port on 127.0.0.1 (default 0: any free port)\n"
    "  --port-file FILE        write the port there once listening\n"
    "  --root DIR              serve GET /name from DIR/name\n"
    "  --version TEXT          answer every /VistalServlet? request with TEXT\n"
    "  --status N              status of every answer (default 200, 404 for missing files)\n"
    "  --no-content-length     send bodies without Content-Length (end by closing)\n"
    "  --stall-ms N            pause N ms between head and body\n"
    "  --plain                 plain HTTP instead of TLS\n"
    "  --silent                accept connections and send nothing\n";

struct settings {
    std::string root, version, port_file;
    int status = 0;
    bool content_length = true;
    unsigned stall_ms = 0;
};

bool file_size(const std::string& path, unsigned long long* size) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    *size = static_cast<unsigned long long>(st.st_size);
    return true;
}

testsupport::script body_answer(const settings& s, int status, const std::string& body,
                                const std::string* file, unsigned long long size) {
    testsupport::header_list headers{
        {"Content-Type", file ? "application/octet-stream" : "text/plain"}};
    if (s.content_length)
        headers.emplace_back("Content-Length", std::to_string(size));
    headers.emplace_back("Connection", "close");
    testsupport::script out;
    out.send(testsupport::response_head(s.status ? s.status : status, headers));
    if (s.stall_ms)
        out.pause(s.stall_ms);
    if (file)
        out.send_file(*file);
    else
        out.send(body);
    return out;
}

testsupport::script handle(const settings& s, const testsupport::request& r) {
    if (!s.version.empty() && r.target.rfind("/VistalServlet?", 0) == 0)
        return body_answer(s, 200, s.version, nullptr, s.version.size());
    std::string path = r.target.substr(0, r.target.find('?'));
    unsigned long long size = 0;
    if (!s.root.empty() && path.size() > 1 && path[0] == '/' &&
        path.find("..") == std::string::npos) {
        std::string file = s.root + path;
        if (file_size(file, &size))
            return body_answer(s, 200, {}, &file, size);
    }
    std::string page = "<html><body><h1>404 Not Found</h1></body></html>\n";
    return body_answer(s, 404, page, nullptr, page.size());
}

} // namespace

int main(int argc, char** argv) {
    testsupport::tls_server_options options;
    settings s;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n%s", a.c_str(), usage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--cert")
            options.cert = value();
        else if (a == "--key")
            options.key = value();
        else if (a == "--port")
            options.port = std::atoi(value().c_str());
        else if (a == "--port-file")
            s.port_file = value();
        else if (a == "--root")
            s.root = value();
        else if (a == "--version")
            s.version = value();
        else if (a == "--status")
            s.status = std::atoi(value().c_str());
        else if (a == "--no-content-length")
            s.content_length = false;
        else if (a == "--stall-ms")
            s.stall_ms = static_cast<unsigned>(std::atoi(value().c_str()));
        else if (a == "--plain")
            options.plain = true;
        else if (a == "--silent")
            options.silent = true;
        else {
            std::fprintf(stderr, "unknown option %s\n%s", a.c_str(), usage);
            return 2;
        }
    }

    // The server's threads inherit the blocked signals, so only sigwait below sees them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    testsupport::tls_server server(options);
    if (!server.port()) {
        std::fprintf(stderr, "vistal-tls-server: %s\n", server.error().c_str());
        return 1;
    }
    server.otherwise([s](const testsupport::request& r) { return handle(s, r); });
    if (!s.port_file.empty()) {
        std::string tmp = s.port_file + ".tmp";
        std::ofstream(tmp) << server.port() << "\n";
        std::rename(tmp.c_str(), s.port_file.c_str());
    }
    std::printf("listening on %s\n", server.host().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stop_signals, &signal);
    server.stop();
    return 0;
}

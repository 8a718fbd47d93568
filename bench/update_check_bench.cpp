// What the version check adds to a start: the online launcher with a current app.ver (one
// version request to a loopback TLS server, nothing to download) against the launcher built
// without update hosts, both up to the main class's constructor. The two take turns (the order
// swaps every round); the server runs in this process.
//
//   vistal-update-check-bench [--runs N]
#include "bench/startup_support.h"
#include "tests/support/tls_server.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string version_target = "/VistalServlet?getVersion=bootstrap&clientVersion=2.0";

} // namespace

int main(int argc, char** argv) {
    auto o = bench::parse(argc, argv, {}, "vistal-update-check-bench [--runs N]\n");
    std::string jars = bench::app_jars();
    if (jars.empty() || !bench::ensure_pki())
        return 1;

    testsupport::tls_server_options options;
    options.cert = bench::pki_dir() + "/server.pem";
    options.key = bench::pki_dir() + "/server.key";
    options.port = bench::online_port;
    testsupport::tls_server server(options);
    if (!server.port()) {
        std::fprintf(stderr, "server on port %d: %s\n", bench::online_port, server.error().c_str());
        return 1;
    }
    // The version app.ver holds: the server has answered, nothing is newer.
    server.on(version_target, testsupport::answer(testsupport::http_response(
                                  200, "2.0.0;/app.jar", {{"Connection", "close"}})));

    bench::install online(jars), offline(jars);
    bench::copy_file(jars + "/bl.jar", online.data("app.jar"));
    bench::write_file(online.data("app.ver"), "2.0.0-rc2147483647.b1");

    const std::vector<std::string> online_launcher = {bench::online_launcher()};
    const std::vector<std::string> offline_launcher = {bench::offline_launcher()};
    if (!bench::started(bench::run(online_launcher, online.root()), "online start") ||
        !bench::started(bench::run(offline_launcher, offline.root()), "offline start"))
        return 1;

    std::vector<double> a, b;
    std::printf("run  first     online ms  offline ms  (to the constructor)\n");
    for (int r = 0; r < o.runs; ++r) {
        bench::sample x, y;
        if (r % 2 == 0) {
            x = bench::run(online_launcher, online.root());
            y = bench::run(offline_launcher, offline.root());
        } else {
            y = bench::run(offline_launcher, offline.root());
            x = bench::run(online_launcher, online.root());
        }
        if (!bench::started(x, "online start") || !bench::started(y, "offline start"))
            return 1;
        a.push_back(x.constructed_ms);
        b.push_back(y.constructed_ms);
        std::printf("%3d  %-8s  %9.1f  %10.1f\n", r + 1, r % 2 ? "offline" : "online",
                    x.constructed_ms, y.constructed_ms);
    }

    // Every online start asked once and downloaded nothing; the app.ver it found is untouched.
    std::size_t asked = 0, other = 0;
    for (auto& request : server.requests())
        ++(request.target == version_target ? asked : other);
    if (asked != static_cast<std::size_t>(o.runs) + 1 || other != 0) {
        std::fprintf(stderr, "expected %d version requests and nothing else, got %zu and %zu\n",
                     o.runs + 1, asked, other);
        return 1;
    }
    bench::report(o, "online start, current app.ver", "online", a, "offline", b, "difference", "ms",
                  "<= +25 ms");
    return 0;
}

// A first start: the online launcher with an emptied app.ver downloads app.jar from a loopback
// TLS server and starts the application from it, up to the main class's constructor. Against
// it, in the same rounds: an offline start from the same jar already in place plus curl(1)
// fetching the same file from the same server. The two take turns (the order swaps every
// round); the server runs in this process.
//
//   vistal-download-bench [--mib N[,N...]] [--runs N] [--curl PATH]
#include "bench/startup_support.h"
#include "tests/support/tls_server.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string current_version = "2.0.0-rc2147483647.b1";

// One size: prints the rounds and the record line; false when a run went wrong.
bool measure(const bench::options& o, const std::string& jars, long mib, const std::string& curl) {
    const std::string jar = jars + "/app-" + std::to_string(mib) + ".jar";
    const long long jar_size = testsupport::file_size(jar);

    auto server = bench::online_server();
    if (!server)
        return false;
    server->on(bench::version_target, testsupport::answer(testsupport::http_response(
                                          200, "2.0.0;/app.jar", {{"Connection", "close"}})));
    server->on("/app.jar", testsupport::script{}
                               .send(testsupport::response_head(
                                   200, {{"Content-Length", std::to_string(jar_size)},
                                         {"Content-Type", "application/java-archive"},
                                         {"Connection", "close"}}))
                               .send_file(jar));

    bench::install first(jars), current(jars);
    testsupport::copy_file(jar, current.data("app.jar"));
    testsupport::write_file(current.data("app.ver"), current_version);
    const std::string curl_out = current.root() + "/curl.jar";

    const std::vector<std::string> launcher = {bench::online_launcher};
    const std::vector<std::string> offline = {bench::offline_launcher};
    const std::vector<std::string> fetch = {curl,
                                            "-sS",
                                            "--cacert",
                                            bench::pki_dir() + "/ca.pem",
                                            "-o",
                                            curl_out,
                                            server->url("/app.jar")};

    // Each first start begins from a purged app.ver and no jar.
    auto first_start = [&]() -> bench::sample {
        std::remove(first.data("app.jar").c_str());
        testsupport::write_file(first.data("app.ver"), "");
        bench::sample s = bench::run(launcher, first.root());
        if (testsupport::file_size(first.data("app.jar")) != jar_size) {
            std::fprintf(stderr, "the first start left no whole app.jar\n");
            s.constructed_ms = -1;
        }
        return s;
    };
    // The offline start, then curl; the baseline is their sum.
    auto baseline = [&](double* offline_ms, double* curl_ms) -> bool {
        bench::sample s = bench::run(offline, current.root());
        std::remove(curl_out.c_str());
        bench::sample c = bench::run(fetch, current.root());
        if (!bench::started(s, "offline start"))
            return false;
        if (c.exit_code != 0 || testsupport::file_size(curl_out) != jar_size) {
            std::fprintf(stderr, "curl: exit code %d\n%s", c.exit_code, c.err.c_str());
            return false;
        }
        *offline_ms = s.constructed_ms;
        *curl_ms = c.wall_ms;
        return true;
    };

    double offline_ms = 0, curl_ms = 0;
    if (!bench::started(first_start(), "first start") || !baseline(&offline_ms, &curl_ms))
        return false;

    std::vector<double> a, b, offline_runs, fetched;
    std::printf("%ld MiB app.jar (%lld bytes)\n", mib, jar_size);
    std::printf("run  first     first start ms  offline ms + curl ms = ms\n");
    for (int r = 0; r < o.runs; ++r) {
        bench::sample x;
        bool ok = true;
        if (r % 2 == 0) {
            x = first_start();
            ok = baseline(&offline_ms, &curl_ms);
        } else {
            ok = baseline(&offline_ms, &curl_ms);
            x = first_start();
        }
        if (!ok || !bench::started(x, "first start"))
            return false;
        a.push_back(x.constructed_ms);
        b.push_back(offline_ms + curl_ms);
        offline_runs.push_back(offline_ms);
        fetched.push_back(curl_ms);
        std::printf("%3d  %-8s  %14.1f  %10.1f + %7.1f = %.1f\n", r + 1,
                    r % 2 ? "offline" : "first", x.constructed_ms, offline_ms, curl_ms,
                    offline_ms + curl_ms);
    }
    std::printf("median: offline start %.1f ms, curl %.1f ms\n", bench::median(offline_runs),
                bench::median(fetched));
    bench::report(o, "first start, " + std::to_string(mib) + " MiB app.jar", "first start", a,
                  "offline start + curl -o", b, "ratio", "ms", "<= 1.05");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    auto o = bench::parse(argc, argv, {"--mib", "--curl"},
                          "vistal-download-bench [--mib N[,N...]] [--runs N] [--curl PATH]\n");
    std::vector<long> mib = bench::mib_list(o.get("mib", "16"));
    std::string jars = bench::app_jars(mib);
    if (mib.empty() || jars.empty() || !bench::ensure_pki())
        return 1;
    for (long m : mib)
        if (!measure(o, jars, m, o.get("curl", "curl")))
            return 1;
    return 0;
}

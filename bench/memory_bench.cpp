// The memory the launcher holds before the VM exists: the peak resident set of starts whose VM
// creation fails (a `jre` whose VM library refuses), offline, and online with a download of
// app.jar of each size asked for. A download is written through as it arrives, so its size
// should not show in the figure.
//
//   vistal-memory-bench [--mib N[,N...]] [--runs N]
#include "bench/startup_support.h"
#include "tests/support/tls_server.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Peak resident sets (KiB) of `runs` starts; `before` runs ahead of each.
template <class Before>
bool measure(const std::vector<std::string>& launcher, const bench::install& dir, int runs,
             Before before, const char* what, std::vector<double>* kib) {
    for (int r = 0; r < runs; ++r) {
        before();
        bench::sample s = bench::run(launcher, dir.root());
        if (!bench::vm_refused(s, what))
            return false;
        kib->push_back(static_cast<double>(s.max_rss_kib));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    auto o =
        bench::parse(argc, argv, {"--mib"}, "vistal-memory-bench [--mib N[,N...]] [--runs N]\n");
    std::vector<long> mib = bench::mib_list(o.get("mib", "1,16"));
    std::string jars = bench::app_jars(mib);
    if (jars.empty() || !bench::ensure_pki())
        return 1;

    std::vector<double> offline;
    {
        bench::install dir(jars, bench::refusing_vm);
        if (!measure(
                {bench::offline_launcher}, dir, o.runs, [] {}, "offline start", &offline))
            return 1;
    }
    bench::report(o, "peak RSS before the VM, offline", "offline", offline, "KiB");

    for (long m : mib) {
        const std::string jar = jars + "/app-" + std::to_string(m) + ".jar";
        const long long jar_size = testsupport::file_size(jar);
        auto server = bench::online_server();
        if (!server)
            return 1;
        server->on(bench::version_target, testsupport::answer(testsupport::http_response(
                                              200, "2.0.0;/app.jar", {{"Connection", "close"}})));
        server->on("/app.jar", testsupport::script{}
                                   .send(testsupport::response_head(
                                       200, {{"Content-Length", std::to_string(jar_size)},
                                             {"Connection", "close"}}))
                                   .send_file(jar));

        bench::install dir(jars, bench::refusing_vm);
        std::vector<double> online;
        auto purge = [&] {
            std::remove(dir.data("app.jar").c_str());
            testsupport::write_file(dir.data("app.ver"), "");
        };
        if (!measure({bench::online_launcher}, dir, o.runs, purge, "online start", &online))
            return 1;
        if (testsupport::file_size(dir.data("app.jar")) != jar_size) {
            std::fprintf(stderr, "the download left no whole app.jar\n");
            return 1;
        }
        bench::report(o, "peak RSS before the VM, " + std::to_string(m) + " MiB download", "online",
                      online, "KiB");
    }
    return 0;
}

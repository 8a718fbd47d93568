// What the version check adds to a start: the online launcher with a current app.ver (one
// version request to a loopback TLS server, nothing to download) against the launcher built
// without update hosts, both up to the main class's constructor. The two take turns (the order
// swaps every round); the server runs in this process. The online launcher verifies the server
// once against a one-certificate CA file and once against the system's CA store (its hashed
// directory, with the test CA added). The first pair then runs up to a VM creation that fails,
// which times the check without the VM's scatter (and without the VM's creation to overlap it).
//
//   vistal-update-check-bench [--runs N]
#include "bench/startup_support.h"
#include "tests/support/tls_server.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {} // namespace

int main(int argc, char** argv) {
    auto o = bench::parse(argc, argv, {}, "vistal-update-check-bench [--runs N]\n");
    std::string jars = bench::app_jars();
    if (jars.empty() || !bench::ensure_pki() || !bench::make_system_ca_store())
        return 1;

    auto server = bench::online_server();
    if (!server)
        return 1;
    // The version app.ver holds: the server has answered, nothing is newer.
    server->on(bench::version_target, testsupport::answer(testsupport::http_response(
                                          200, "2.0.0;/app.jar", {{"Connection", "close"}})));

    bench::install online(jars), offline(jars), online_system(jars);
    bench::install online_vm_refused(jars, bench::refusing_vm);
    bench::install offline_vm_refused(jars, bench::refusing_vm);
    bench::install online_system_vm_refused(jars, bench::refusing_vm);
    for (const bench::install* dir :
         {&online, &online_system, &online_vm_refused, &online_system_vm_refused}) {
        testsupport::copy_file(jars + "/bl.jar", dir->data("app.jar"));
        testsupport::write_file(dir->data("app.ver"), "2.0.0-rc2147483647.b1");
    }
    const std::vector<std::string> online_launcher = {bench::online_launcher};
    const std::vector<std::string> offline_launcher = {bench::offline_launcher};
    const std::vector<std::string> online_system_launcher = {bench::online_system_launcher};

    std::vector<double> a, b, a_vm_refused, b_vm_refused, a_system, b_system, a_system_refused,
        b_system_refused;
    if (!bench::alternate(o.runs, bench::started, "online", online_launcher, online.root(),
                          "offline", offline_launcher, offline.root(), &a, &b))
        return 1;
    std::printf("the system's CA store:\n");
    if (!bench::alternate(o.runs, bench::started, "online", online_system_launcher,
                          online_system.root(), "offline", offline_launcher, offline.root(),
                          &a_system, &b_system))
        return 1;
    // The check alone, without the VM's own scatter: the same starts up to the failed VM
    // creation, in more rounds since they are short.
    std::printf("before the VM only:\n");
    if (!bench::alternate(o.runs * 4, bench::vm_refused, "online", online_launcher,
                          online_vm_refused.root(), "offline", offline_launcher,
                          offline_vm_refused.root(), &a_vm_refused, &b_vm_refused))
        return 1;
    std::printf("before the VM only, the system's CA store:\n");
    if (!bench::alternate(o.runs * 4, bench::vm_refused, "online", online_system_launcher,
                          online_system_vm_refused.root(), "offline", offline_launcher,
                          offline_vm_refused.root(), &a_system_refused, &b_system_refused))
        return 1;
    const int requests = 4 + 2 * o.runs + 2 * o.runs * 4; // one unrecorded run of each pair

    // Every online start asked once and downloaded nothing.
    std::size_t asked = 0, other = 0;
    for (auto& request : server->requests())
        ++(request.target == bench::version_target ? asked : other);
    if (asked != static_cast<std::size_t>(requests) || other != 0) {
        std::fprintf(stderr, "expected %d version requests and nothing else, got %zu and %zu\n",
                     requests, asked, other);
        return 1;
    }
    bench::report(o, "online start, current app.ver", "online", a, "offline", b, "difference", "ms",
                  "<= +10 ms");
    bench::report(o, "the same, system CA store", "online", a_system, "offline", b_system,
                  "difference", "ms", "<= +10 ms");
    bench::report(o, "the same, up to a refused VM creation", "online", a_vm_refused, "offline",
                  b_vm_refused, "difference", "ms", "(context)");
    bench::report(o, "the same, system CA store, up to a refused VM creation", "online",
                  a_system_refused, "offline", b_system_refused, "difference", "ms", "(context)");
    return 0;
}

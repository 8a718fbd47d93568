// What a start costs when every update host refuses the connection: the online launcher with
// nothing listening on any of its eleven loopback ports, against the launcher built without
// update hosts, both up to the main class's constructor from lib/bl.jar. The two take turns
// (the order swaps every round). The same pair then runs up to a VM creation that fails, which
// times the failover without the VM's scatter.
//
//   vistal-update-refused-bench [--runs N]
#include "bench/startup_support.h"

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// True when a connection to 127.0.0.1:port is refused, as the benchmark needs it to be.
bool refused(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return !connected;
}

} // namespace

int main(int argc, char** argv) {
    auto o = bench::parse(argc, argv, {}, "vistal-update-refused-bench [--runs N]\n");
    std::string jars = bench::app_jars();
    if (jars.empty())
        return 1;
    for (int port = bench::online_port; port < bench::online_port + 11; ++port)
        if (!refused(port)) {
            std::fprintf(stderr, "something listens on 127.0.0.1:%d\n", port);
            return 1;
        }

    bench::install online(jars), offline(jars);
    bench::install online_vm_refused(jars, bench::refusing_vm);
    bench::install offline_vm_refused(jars, bench::refusing_vm);
    const std::vector<std::string> online_launcher = {bench::online_launcher};
    const std::vector<std::string> offline_launcher = {bench::offline_launcher};

    std::vector<double> a, b, a_vm_refused, b_vm_refused;
    if (!bench::alternate(o.runs, bench::started, "refused", online_launcher, online.root(),
                          "offline", offline_launcher, offline.root(), &a, &b))
        return 1;
    std::printf("before the VM only:\n");
    if (!bench::alternate(o.runs * 4, bench::vm_refused, "refused", online_launcher,
                          online_vm_refused.root(), "offline", offline_launcher,
                          offline_vm_refused.root(), &a_vm_refused, &b_vm_refused))
        return 1;
    bench::report(o, "eleven servers refusing", "refused", a, "offline", b, "difference", "ms",
                  "<= +50 ms");
    bench::report(o, "the same, up to a refused VM creation", "refused", a_vm_refused, "offline",
                  b_vm_refused, "difference", "ms", "(context)");
    return 0;
}

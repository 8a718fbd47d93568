// What a start costs when every update host refuses the connection: the online launcher with
// nothing listening on any of its eleven loopback ports, against the launcher built without
// update hosts, both up to the main class's constructor from lib/bl.jar. The two take turns
// (the order swaps every round).
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
    const std::vector<std::string> online_launcher = {bench::online_launcher()};
    const std::vector<std::string> offline_launcher = {bench::offline_launcher()};
    if (!bench::started(bench::run(online_launcher, online.root()), "refused start") ||
        !bench::started(bench::run(offline_launcher, offline.root()), "offline start"))
        return 1;

    std::vector<double> a, b;
    std::printf("run  first     refused ms  offline ms  (to the constructor)\n");
    for (int r = 0; r < o.runs; ++r) {
        bench::sample x, y;
        if (r % 2 == 0) {
            x = bench::run(online_launcher, online.root());
            y = bench::run(offline_launcher, offline.root());
        } else {
            y = bench::run(offline_launcher, offline.root());
            x = bench::run(online_launcher, online.root());
        }
        if (!bench::started(x, "refused start") || !bench::started(y, "offline start"))
            return 1;
        a.push_back(x.constructed_ms);
        b.push_back(y.constructed_ms);
        std::printf("%3d  %-8s  %10.1f  %10.1f\n", r + 1, r % 2 ? "offline" : "refused",
                    x.constructed_ms, y.constructed_ms);
    }
    bench::report(o, "eleven servers refusing", "refused", a, "offline", b, "difference", "ms",
                  "<= +50 ms");
    return 0;
}

// Offline start up to the main class's constructor: the launcher built without update hosts,
// starting a.b.a.a.a from the signed lib/bl.jar and lib/include.jar through its loader, against
// the JDK's own launcher over the same jars and main class with the same initial heap. The two
// take turns (the order swaps every round); each is run once first to warm the page cache.
//
//   vistal-startup-bench [--runs N]
#include "bench/startup_support.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    auto o = bench::parse(argc, argv, {}, "vistal-startup-bench [--runs N]\n");
    std::string jars = bench::app_jars();
    if (jars.empty())
        return 1;
    bench::install dir(jars);

    const std::vector<std::string> launcher = {bench::offline_launcher()};
    const std::vector<std::string> java = {bench::jdk_home() + "/bin/java", "-Xms768m", "-cp",
                                           "lib/bl.jar:lib/include.jar", "a.b.a.a.a"};
    if (!bench::started(bench::run(launcher, dir.root()), "launcher") ||
        !bench::started(bench::run(java, dir.root()), "java"))
        return 1;

    std::vector<double> ours, theirs, ours_exit, theirs_exit, ours_cpu, theirs_cpu;
    std::printf("run  first     launcher ms  java ms   (to the constructor; exit; CPU)\n");
    for (int r = 0; r < o.runs; ++r) {
        bench::sample a, b;
        if (r % 2 == 0) {
            a = bench::run(launcher, dir.root());
            b = bench::run(java, dir.root());
        } else {
            b = bench::run(java, dir.root());
            a = bench::run(launcher, dir.root());
        }
        if (!bench::started(a, "launcher") || !bench::started(b, "java"))
            return 1;
        ours.push_back(a.constructed_ms);
        theirs.push_back(b.constructed_ms);
        ours_exit.push_back(a.exit_ms);
        theirs_exit.push_back(b.exit_ms);
        ours_cpu.push_back(a.cpu_ms);
        theirs_cpu.push_back(b.cpu_ms);
        std::printf("%3d  %-8s  %6.1f %6.1f %6.0f  %6.1f %6.1f %6.0f\n", r + 1,
                    r % 2 ? "java" : "launcher", a.constructed_ms, a.exit_ms, a.cpu_ms,
                    b.constructed_ms, b.exit_ms, b.cpu_ms);
    }
    std::printf("median to exit: launcher %.1f ms, java %.1f ms; CPU: launcher %.0f ms, java "
                "%.0f ms\n",
                bench::median(ours_exit), bench::median(theirs_exit), bench::median(ours_cpu),
                bench::median(theirs_cpu));
    bench::report(o, "offline start to the constructor", "launcher", ours, "java -Xms768m -cp",
                  theirs, "ratio", "ms", "<= 1.00");
    return 0;
}

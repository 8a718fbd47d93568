// Offline start up to the main class's constructor: the launcher built without update hosts,
// starting a.b.a.a.a from the signed lib/bl.jar and lib/include.jar through its loader, against
// the JDK's own launcher over the same jars and main class with the same initial heap, and over
// the same jars as they were before signing (what a start costs that checks no signature). They
// take turns (the order rotates every round); each is run once first to warm the page cache. The
// JDK's launcher told to show the same (absent) splash image runs in the same rounds too: it
// does the splash library's work that the launcher always does.
//
// --against LAUNCHER times the offline launcher against another build of it instead (say, one
// made from an earlier commit with the same deployment), each copied into an install directory
// of its own: up to the constructor, and up to a refused VM creation in four times as many rounds.
//
//   vistal-startup-bench [--runs N] [--against LAUNCHER]
#include "bench/startup_support.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// A copy of `launcher` in `dir`: its install directory is its own.
std::vector<std::string> staged(const std::string& launcher, const std::string& dir) {
    std::string copy = dir + "/vistal-against";
    if (!testsupport::copy_file(launcher, copy) || ::chmod(copy.c_str(), 0755) != 0)
        std::perror(copy.c_str());
    return {copy};
}

int against(const bench::options& o, const std::string& jars, const std::string& other) {
    const std::vector<std::string> launcher = {bench::offline_launcher};
    bench::install mine(jars), theirs(jars);
    bench::install mine_refused(jars, bench::refusing_vm), theirs_refused(jars, bench::refusing_vm);
    std::vector<double> a, b, a_refused, b_refused;
    if (!bench::alternate(o.runs, bench::started, "this", launcher, mine.root(), "against",
                          staged(other, theirs.root()), theirs.root(), &a, &b))
        return 1;
    std::printf("before the VM only:\n");
    if (!bench::alternate(o.runs * 4, bench::vm_refused, "this", launcher, mine_refused.root(),
                          "against", staged(other, theirs_refused.root()), theirs_refused.root(),
                          &a_refused, &b_refused))
        return 1;
    bench::report(o, "offline start to the constructor", "this build", a, other, b, "difference",
                  "ms", "(context)");
    bench::report(o, "the same, up to a refused VM creation", "this build", a_refused, other,
                  b_refused, "difference", "ms", "(context)");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    auto o = bench::parse(argc, argv, {"--against"},
                          "vistal-startup-bench [--runs N] [--against LAUNCHER]\n");
    std::string jars = bench::app_jars();
    if (jars.empty())
        return 1;
    if (!o.get("against", "").empty())
        return against(o, jars, o.get("against", ""));
    bench::install dir(jars);

    const std::vector<std::string> launcher = {bench::offline_launcher};
    const std::vector<std::string> java = {bench::jdk_home() + "/bin/java", "-Xms768m", "-cp",
                                           "lib/bl.jar:lib/include.jar", "a.b.a.a.a"};
    std::vector<std::string> java_splash = java;
    java_splash.insert(java_splash.begin() + 1, "-splash:img/splash.png");
    std::vector<std::string> java_unsigned = java;
    java_unsigned[3] = jars + "/unsigned/bl.jar:" + jars + "/unsigned/include.jar";
    if (!bench::started(bench::run(launcher, dir.root()), "launcher") ||
        !bench::started(bench::run(java, dir.root()), "java") ||
        !bench::started(bench::run(java_unsigned, dir.root()), "java unsigned") ||
        !bench::started(bench::run(java_splash, dir.root()), "java -splash"))
        return 1;

    // Columns: the launcher, java, java over the unsigned jars, java -splash; each to the
    // constructor, to the exit, CPU.
    constexpr int n = 4;
    const std::vector<std::string>* contenders[n] = {&launcher, &java, &java_unsigned,
                                                     &java_splash};
    std::vector<double> constructed[n], ended[n], cpu[n], rss[n];
    std::printf("run  launcher ms           java ms               java unsigned ms      "
                "java -splash ms\n"
                "     (to the constructor, to the exit, CPU)\n");
    for (int r = 0; r < o.runs; ++r) {
        bench::sample s[n];
        for (int k = 0; k < n; ++k) {
            int c = (r + k) % n; // the order rotates from round to round
            s[c] = bench::run(*contenders[c], dir.root());
            if (!bench::started(s[c], (*contenders[c])[0].c_str()))
                return 1;
        }
        std::printf("%3d ", r + 1);
        for (int c = 0; c < n; ++c) {
            constructed[c].push_back(s[c].constructed_ms);
            ended[c].push_back(s[c].wall_ms);
            cpu[c].push_back(s[c].cpu_ms);
            rss[c].push_back(static_cast<double>(s[c].max_rss_kib));
            std::printf("  %6.1f %6.1f %5.0f ", s[c].constructed_ms, s[c].wall_ms, s[c].cpu_ms);
        }
        std::printf("\n");
    }
    std::printf("median ");
    for (int c = 0; c < n; ++c)
        std::printf("  %6.1f %6.1f %5.0f ", bench::median(constructed[c]), bench::median(ended[c]),
                    bench::median(cpu[c]));
    std::printf("\n");
    bench::report(o, "offline start to the constructor", "launcher", constructed[0],
                  "java -Xms768m -cp", constructed[1], "ratio", "ms", "<= 0.60");
    bench::report(o, "the same, java over the jars before signing", "launcher", constructed[0],
                  "java -Xms768m -cp unsigned", constructed[2], "ratio", "ms", "(context)");
    bench::report(o, "the same, java showing the splash too", "launcher", constructed[0],
                  "java -splash -Xms768m -cp", constructed[3], "ratio", "ms", "(context)");
    // The application halts in its constructor: a start's peak is its peak at the main class.
    bench::report(o, "peak resident set, up to the main class", "launcher", rss[0],
                  "java -Xms768m -cp", rss[1], "ratio", "KiB", "<= 1.10");
    return 0;
}

// Start time against the application's size: for each directory of jars given (bl.jar and
// include.jar, signed, as bench/startup_app.sh makes them), the offline launcher and
// `java -Xms768m -cp` over the same jars, up to the main class's constructor, in alternating
// rounds. Prints the rounds, one record line per directory, and one line per directory that
// bench/growth.sh collects for its plot:
//
//   growth <directory name> <launcher median ms> <java median ms>
//
//   vistal-growth-bench --jars DIR[,DIR...] [--runs N]
#include "bench/startup_support.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    auto o = bench::parse(argc, argv, {"--jars"},
                          "vistal-growth-bench --jars DIR[,DIR...] [--runs N]\n");
    std::vector<std::string> dirs;
    std::stringstream list(o.get("jars", ""));
    for (std::string dir; std::getline(list, dir, ',');)
        if (!dir.empty())
            dirs.push_back(dir);
    if (dirs.empty()) {
        std::fprintf(stderr, "no directory of jars given\n");
        return 2;
    }

    const std::vector<std::string> launcher = {bench::offline_launcher};
    const std::vector<std::string> java = {bench::jdk_home() + "/bin/java", "-Xms768m", "-cp",
                                           "lib/bl.jar:lib/include.jar", "a.b.a.a.a"};
    std::vector<std::string> lines;
    for (const std::string& dir : dirs) {
        const std::string name = dir.substr(dir.find_last_of('/') + 1);
        std::printf("%s\n", name.c_str());
        bench::install mine(dir), theirs(dir);
        std::vector<double> a, b;
        if (!bench::alternate(o.runs, bench::started, "launcher", launcher, mine.root(), "java",
                              java, theirs.root(), &a, &b))
            return 1;
        bench::report(o, "offline start to the constructor, " + name, "launcher", a, "java -cp", b,
                      "ratio", "ms", "(growth)");
        char line[256];
        std::snprintf(line, sizeof line, "growth %s %.1f %.1f", name.c_str(), bench::median(a),
                      bench::median(b));
        lines.push_back(line);
    }
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    return 0;
}

// What the user's environment holds is no way in: variables the Java runtime would take options
// from, and a PATH whose relative elements lead into the start directory.
#include "platform/platform.h"
#include "tests/support/process.h"
#include "tests/support/test_app.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace testsupport;

namespace {

// Compiles `source` (a class in the default package or in `p`) into `classes`.
void compile(const std::string& classes, const std::string& file, const std::string& source) {
    std::string path = classes + "/src/" + file;
    make_dirs(path.substr(0, path.rfind('/')));
    write_file(path, source);
    auto r = run({jdk_home() + "/bin/javac", "-d", classes, path}, classes, 120000);
    ASSERT_EQ(r.exit_code, 0) << r.err;
}

// An unsigned agent and an unsigned class on an appended boot class path, each of which would
// write a marker into the start directory, offered through every options variable of the runtime.
TEST(HostileEnvironment, TheRuntimeTakesNoOptionsFromTheEnvironment) {
    install_dir install;
    write_file(install.path("lib/bl.jar"), test_app_jar("app.jar"));
    write_file(install.path("lib/include.jar"), test_app_jar("include.jar"));
    const std::string work = install.path("work");
    const std::string marker = "static { try { new java.io.FileWriter(\"planted\", true)"
                               ".append(\"ran\\n\").close(); } catch (Exception e) { } }";
    compile(work + "/agent", "Agent.java",
            "public class Agent { " + marker + " public static void premain(String a) { } }");
    write_file(work + "/agent/manifest.txt", "Premain-Class: Agent\n");
    auto jar =
        run({jdk_home() + "/bin/jar", "--create", "--file", work + "/agent.jar", "--manifest",
             work + "/agent/manifest.txt", "-C", work + "/agent", "Agent.class"},
            work, 60000);
    ASSERT_EQ(jar.exit_code, 0) << jar.err;
    compile(work + "/boot", "p/Planted.java", "package p; public class Planted { " + marker + " }");

    const std::vector<std::pair<std::string, std::string>> variables = {
        {"JAVA_TOOL_OPTIONS", "-javaagent:" + work + "/agent.jar"},
        {"_JAVA_OPTIONS", "-Xbootclasspath/a:" + work + "/boot"},
        {"JDK_JAVA_OPTIONS", "-javaagent:" + work + "/agent.jar"},
    };
    std::vector<std::string> env = {"VISTAL_LOG=" + install.path("support.log")};
    for (auto& [name, value] : variables)
        env.push_back(name + "=" + value);
    // The application asks its loader for the planted class, which only the boot path holds.
    write_file(install.path("behaviour"), "p.Planted\n");

    auto r = install.run_launcher(60000, env);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_FALSE(exists(install.path("planted"))) << read_file(install.path("planted"));
    EXPECT_EQ(r.err.find("Picked up"), std::string::npos) << r.err;
    const std::string log = read_file(install.path("support.log"));
    for (auto& variable : variables)
        EXPECT_NE(log.find(" environment removed=" + variable.first + "\n"), std::string::npos)
            << log;
}

// Only absolute PATH elements are searched for the opener: an empty one, "." or a relative
// directory would find one planted in the start directory.
TEST(HostileEnvironment, TheOpenerIsFoundOnlyInAbsolutePathElements) {
    const std::string start = make_temp_dir("vistal-path");
    const std::string good = start + "/good", marks = start + "/marks";
    make_dirs(good);
    make_dirs(start + "/bin");
    for (const auto& [dir, word] : {std::pair<std::string, std::string>{good, "good"},
                                    {start, "planted"},
                                    {start + "/bin", "planted"}}) {
        write_file(dir + "/xdg-open", "#!/bin/sh\necho " + word + " >>\"$MARKS\"\n");
        ASSERT_EQ(chmod((dir + "/xdg-open").c_str(), 0755), 0);
    }
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(start.c_str()), 0);
    const std::string saved_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("MARKS", marks.c_str(), 1);

    const struct {
        std::string path;
        std::intptr_t code;
    } cases[] = {
        {":" + good, 42}, {".:" + good, 42}, {"bin:" + good, 42}, {"bin:.:", 31}, {":", 31},
    };
    for (const auto& c : cases) {
        std::remove(marks.c_str());
        setenv("PATH", c.path.c_str(), 1);
        EXPECT_EQ(platform::shell_open("https://example.test/"), c.code) << c.path;
        // The opener runs detached: wait for its mark.
        for (int i = 0; c.code == 42 && i < 400 && !exists(marks); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        EXPECT_EQ(exists(marks) ? read_file(marks) : "", c.code == 42 ? "good\n" : "") << c.path;
    }
    setenv("PATH", saved_path.c_str(), 1);
    ASSERT_EQ(chdir(previous), 0);
    remove_tree(start);
}

} // namespace

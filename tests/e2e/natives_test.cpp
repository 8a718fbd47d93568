// The natives as the application sees them: the real test launcher starts the signed test
// application, whose behaviour test.Natives calls every native and writes what it got.
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "tests/support/test_host.h"
#include "tests/support/tls_server.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using namespace testsupport;

namespace {

const std::string not_found_warning = "Warning\nThe specified file was not found.\n";
const std::string no_opener_warning =
    "Warning\nThere is no application associated with the given file name extension.\n";

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Records each start of the opener as one line: its argument count and arguments.
const char* const fake_opener = "#!/bin/sh\n"
                                "line=\"$#\"\n"
                                "for a in \"$@\"; do line=\"$line [$a]\"; done\n"
                                "echo \"$line\" >>\"$OPENED\"\n";

class Natives : public ::testing::Test {
  protected:
    install_dir install;

    void SetUp() override {
        write_file(install.path("lib/include.jar"), test_app_jar("include.jar"));
        install.create_data_dir();
        // app.npx is only ever handed to gSVCL's loaders; a signed jar there shows its place.
        write_file(data("app.npx"), test_app_jar("include.jar"));
    }

    std::string data(const char* name) const { return install.data_dir() + "/" + name; }

    // Starts the application with test.Natives and these arguments; returns its lines.
    std::map<std::string, std::string> run_natives(const std::vector<std::string>& arguments,
                                                   const std::vector<std::string>& env,
                                                   run_result* result) {
        std::string behaviour = "test.Natives\nnatives.txt\n";
        for (auto& a : arguments)
            behaviour += a + "\n";
        write_file(install.path("behaviour"), behaviour);
        *result = install.run_launcher(60000, env);
        std::map<std::string, std::string> lines;
        std::istringstream in(exists(install.path("natives.txt"))
                                  ? read_file(install.path("natives.txt"))
                                  : std::string());
        for (std::string line; std::getline(in, line);) {
            auto eq = line.rfind('=');
            if (eq != std::string::npos)
                lines[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return lines;
    }

    // The opener runs detached from the launcher: wait until it has written `n` lines.
    std::vector<std::string> opener_lines(std::size_t n) const {
        std::vector<std::string> lines;
        for (int i = 0; i < 200; ++i) {
            lines.clear();
            std::istringstream in(exists(install.path("opened.txt"))
                                      ? read_file(install.path("opened.txt"))
                                      : std::string());
            for (std::string line; std::getline(in, line);)
                lines.push_back(line);
            if (lines.size() >= n)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }
};

TEST_F(Natives, OfflineEveryNativeAnswersAndTheShellOpensWithoutAShell) {
    write_file(install.path("lib/bl.jar"), test_app_jar("app.jar"));
    make_dirs(install.path("bin"));
    write_file(install.path("bin/xdg-open"), fake_opener);
    ASSERT_EQ(chmod(install.path("bin/xdg-open").c_str(), 0755), 0);
    const std::string document = "doc 1;$(touch pwned) 'x'.txt";
    write_file(install.path(document), "text");
    write_file(install.path("-n.txt"), "text");
    const std::string address = "https://example.test/a b?x=1&y=`touch pwned`";

    run_result r;
    auto got = run_natives(
        {document, address, "missing.pdf", "-n.txt"},
        {"PATH=" + install.path("bin") + ":/usr/bin:/bin", "OPENED=" + install.path("opened.txt")},
        &r);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    ASSERT_EQ(got.count("error"), 0u) << got["error"] << "\n" << r.err;

    // The test launcher's relative data root lies in its install directory: absolute paths.
    const std::string data = install.data_dir();
    EXPECT_EQ(got["gC"], data + "/");
    EXPECT_EQ(got["gK"], hex(read_file(build_dir() + "/dev-signing/key-block.bin")));
    EXPECT_EQ(got["gK"].size(), 1200u);
    EXPECT_EQ(got["gK.distinct"], "true");
    EXPECT_EQ(got["gK.unchanged"], "true");
    EXPECT_EQ(got["gPC"], "a.b.a.a.p");
    EXPECT_EQ(got["gS"], "https://127.0.0.1:18441");
    EXPECT_EQ(got["gSVCL"], "com.tolvane.classloader.SignatureValidatingClassLoader");
    EXPECT_EQ(got["gSVCL.fresh"], "true");
    EXPECT_EQ(got["gSVCL.jars"], data + "/app.npx|" + install.path("lib/bl.jar") + "|" +
                                     install.path("lib/include.jar"));
    EXPECT_EQ(got["gSVCL.loads"], "true");
    EXPECT_EQ(got["rN.shexec"], "2");
    EXPECT_EQ(got["rN.undeclared"], "NoSuchMethodError");
    EXPECT_EQ(got["shexec.null"], "2");
    EXPECT_EQ(got["rW"], "0");
    EXPECT_EQ(got["rW.null"], "0");
    EXPECT_EQ(got["uW"], "returned");

    EXPECT_EQ(got["shexec:" + document], "42");
    EXPECT_EQ(got["shexec:" + address], "42");
    EXPECT_EQ(got["shexec:missing.pdf"], "2");
    EXPECT_EQ(got["shexec:-n.txt"], "42");
    // Two missing files, one warning each; nothing else was shown.
    EXPECT_EQ(count(r.err, not_found_warning), 2u) << r.err;
    EXPECT_EQ(count(r.err, "Warning\n"), 2u) << r.err;

    // Each text reached the opener whole, as its one argument, and no shell ever saw it.
    std::vector<std::string> expected = {"1 [" + document + "]", "1 [" + address + "]",
                                         "1 [./-n.txt]"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(opener_lines(3), expected);
    EXPECT_FALSE(exists(install.path("pwned")));
}

TEST_F(Natives, AfterTheSecondServerAnsweredItsHostIsTheServer) {
    write_file(install.path("lib/bl.jar"), test_app_jar("app-without-main.jar"));
    tls_server_options options = test_host_options(18442);
    tls_server second(options);
    ASSERT_NE(second.port(), 0) << second.error();
    second.on(version_target, answer(http_response(200, "2.0.0;/j/app.jar")));
    second.on("/j/app.jar", answer(http_response(200, test_app_jar("app.jar"))));
    make_dirs(install.path("empty"));

    run_result r;
    auto got = run_natives({"behaviour"}, {"PATH=" + install.path("empty")}, &r);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    ASSERT_EQ(got.count("error"), 0u) << got["error"] << "\n" << r.err;

    EXPECT_EQ(got["gS"], "https://127.0.0.1:18442");
    const std::string data = install.data_dir();
    EXPECT_EQ(got["gSVCL.jars"],
              data + "/app.npx|" + data + "/app.jar|" + install.path("lib/include.jar"));
    // An existing file with no opener installed: the shell's "no association".
    EXPECT_EQ(got["shexec:behaviour"], "31");
    EXPECT_EQ(count(r.err, no_opener_warning), 1u) << r.err;
}

} // namespace

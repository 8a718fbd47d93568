// Update servers that send too much, too slowly, or more than the disk takes. The download is
// bounded in size and time and ends at the first failed write; the old app.jar and app.ver stay,
// no temporary is left, and the application starts from what was there.
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "tests/support/test_host.h"
#include "tests/support/test_jars.h"
#include "tests/support/tls_server.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

// The bounds the security test launcher is built with.
constexpr std::size_t max_download = 4 * 1024 * 1024;
constexpr unsigned download_deadline_ms = 5000;

class HostileServer : public ::testing::Test {
  protected:
    install_dir install;
    std::unique_ptr<tls_server> server;
    std::string old_jar;

    void SetUp() override {
        write_file(install.path("lib/include.jar"), test_app_jar("include.jar"));
        write_file(install.path("lib/bl.jar"), test_app_jar("app-without-main.jar"));
        install.create_data_dir();
        old_jar = test_app_jar("app.jar");
        write_file(install.path("behaviour"), "test.UseInclude\n");

        tls_server_options options = test_host_options(18441);
        server = std::make_unique<tls_server>(options);
        ASSERT_NE(server->port(), 0) << server->error();
        server->on(version_target, answer(http_response(200, "2.0.0;/j/app.jar")));
    }

    std::string data(const std::string& name) const { return install.data_dir() + "/" + name; }

    // The installed version 1.0.0, and a start that is offered 2.0.0 as `download`.
    run_result start(script download, const std::vector<std::string>& argv) {
        write_file(data("app.jar"), old_jar);
        write_file(data("app.ver"), "1.0.0");
        std::remove(install.path("loaded.txt").c_str());
        server->on("/j/app.jar", std::move(download));
        // The launcher runs as a copy in its install directory, which is the executable's.
        std::vector<std::string> args = argv;
        for (auto& a : args)
            if (a == SECURITY_LAUNCHER || a == test_launcher())
                a = install.launcher(a);
        return run(args, install.root(), 120000);
    }

    // The start went on with the old files, and nothing of the download is left.
    void expect_old_files_kept(const run_result& r, const std::string& row) const {
        EXPECT_EQ(r.exit_code, 0) << row << "\n" << r.err;
        EXPECT_TRUE(exists(install.path("loaded.txt"))) << row << "\n" << r.err;
        EXPECT_TRUE(read_file(data("app.jar")) == old_jar) << row;
        EXPECT_EQ(read_file(data("app.ver")), "1.0.0") << row;
        DIR* d = opendir(install.data_dir().c_str());
        ASSERT_NE(d, nullptr);
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            EXPECT_TRUE(name == "." || name == ".." || name == "app.jar" || name == "app.ver" ||
                        name == "app.lock")
                << row << ": left " << name;
        }
        closedir(d);
    }
};

// Whole archives the check would take, were they not beyond a bound: larger than the maximum,
// announced or not, and one that trickles in over longer than the deadline.
TEST_F(HostileServer, DownloadsBeyondTheBoundsAreRefused) {
    const std::string large = tiny_jar(std::string(max_download + 1024 * 1024, 'x'));
    // A whole signed jar: only the deadline can keep it out.
    const std::string slow = test_app_jar("app.jar");
    script trickle;
    trickle.send(response_head(200, {{"Content-Length", std::to_string(slow.size())}}));
    const std::size_t pieces = 20;
    for (std::size_t i = 0; i < pieces; ++i) {
        trickle.pause(download_deadline_ms * 2 / pieces);
        trickle.send(slow.substr(i * slow.size() / pieces,
                                 (i + 1) * slow.size() / pieces - i * slow.size() / pieces));
    }
    const std::pair<const char*, script> rows[] = {
        {"beyond the maximum, length not announced",
         script().send(response_head(200)).send(large).close()},
        {"beyond the maximum, length announced", answer(http_response(200, large))},
        {"trickling past the deadline", trickle},
    };
    for (const auto& [row, download] : rows)
        expect_old_files_kept(start(download, {install.launcher(SECURITY_LAUNCHER)}), row);
}

// A disk that takes no more (the file size limit stands in for a full disk, unprivileged): the
// download stops at the first failed write instead of reading the rest of the body. The test
// launcher's maximum is far above the body here, so only the failed write can stop it.
TEST_F(HostileServer, AFailedWriteStopsTheDownload) {
    const std::size_t body = 48 * 1024 * 1024;
    const std::string shell = "trap '' XFSZ; ulimit -f 2048; exec \"$0\"";
    auto r = start(script().send(response_head(200)).send(std::string(body, 'x')).close(),
                   {"/bin/sh", "-c", shell, install.launcher()});
    expect_old_files_kept(r, "write refused beyond 1 MiB");
    // What the loopback socket buffers hold is a few megabytes: a reader that went on would
    // have taken the whole body.
    EXPECT_LT(server->bytes_sent(), body / 2);
}

// A version answer that begins well and then trickles (1 KiB a second, for a quarter of an hour)
// holds the start no longer than the version request's own deadline of seconds: the host counts
// as not answering, and nothing is downloaded. The test launcher's download deadline is the
// shipped one, so only the request's own bound can end it.
TEST_F(HostileServer, ATrickledVersionAnswerDoesNotHoldTheStart) {
    script trickle;
    trickle.send(response_head(200)).send("2.0.0;/j/app.jar\n");
    for (int second = 0; second < 900; ++second)
        trickle.pause(1000).send(std::string(1024, ' '));
    server->on(version_target, trickle);
    auto r = start(answer(http_response(200, old_jar)), {test_launcher()});
    EXPECT_FALSE(r.timed_out) << r.err;
    EXPECT_LT(server->bytes_sent(), 32u * 1024u);
    EXPECT_EQ(server->request_lines(),
              std::vector<std::string>{"GET " + version_target + " HTTP/1.1"});
    EXPECT_TRUE(read_file(data("app.jar")) == old_jar);
    EXPECT_EQ(read_file(data("app.ver")), "1.0.0");
}

} // namespace

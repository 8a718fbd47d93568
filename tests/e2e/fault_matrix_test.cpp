// The fault matrix: whole starts of the real test launcher, with the signed test application and
// the system JDK, against loopback servers that misbehave in one way each, and with a data
// directory that is full, read-only or busy. Every row checks the same four things: the exit
// code, the mode the application ran in (online from which server, or offline from the
// install's own jar), that app.jar is the old complete build or the new complete build and
// nothing else, and that app.ver names the version of the build app.jar holds.
//
// The builds are the same signed classes told apart by their archive comment, which the
// application reports back (behaviour test.WhereFrom).
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "tests/support/test_host.h"
#include "tests/support/test_jars.h"
#include "tests/support/text.h"
#include "tests/support/tls_server.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <stdexcept>
#include <sys/mount.h>
#include <thread>

using namespace testsupport;

namespace {

using clock_type = std::chrono::steady_clock;

const std::string jar_target = "/j/app.jar";
const std::string new_answer = "2.0.0;" + jar_target;
const std::string old_version = "1.0.0-rc2147483647.b1";
const std::string new_version = "2.0.0-rc2147483647.b1";
constexpr int first_port = 18441;
// Longer than the test launcher's receive time-out (3 s).
constexpr unsigned stall_ms = 3500;

struct builds {
    std::string old_jar, new_jar, fallback_jar, include_jar;
};

const builds& application() {
    static const builds b = [] {
        std::string jar = test_app_jar("app.jar");
        // The new build is padded so that its download takes several reads (and does not fit
        // the full disk); the application reports the comment without the padding.
        return builds{with_comment(jar, "old 1.0.0"),
                      with_comment(jar, "new 2.0.0" + std::string(50000, ' ')),
                      with_comment(jar, "fallback"), test_app_jar("include.jar")};
    }();
    return b;
}

// What a row expects.
enum class mode { online, offline };
enum class build { old_build, new_build };
struct outcome {
    mode how;
    int server; // online: the index of the server that answered
    build jar;
};

// What the application wrote about where it came from.
struct start_report {
    std::string jar, comment, server;
};

std::string server_url(int index) {
    return "https://127.0.0.1:" + std::to_string(first_port + index);
}

// The jar's body in the usual shape of a correct answer.
script whole_jar(const std::string& jar) {
    return answer(http_response(200, jar));
}

// A data directory with a file system of its own mounted over it; undone when it goes.
class mounted {
  public:
    explicit mounted(std::string dir) : dir_(std::move(dir)) {}
    ~mounted() {
        if (active_)
            ::umount2(dir_.c_str(), MNT_DETACH);
    }
    mounted(const mounted&) = delete;
    mounted& operator=(const mounted&) = delete;

    // A tmpfs of `bytes`; an error text when it cannot be had.
    std::string tmpfs(std::size_t bytes) {
        std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        return done(::mount("vistal-full", dir_.c_str(), "tmpfs", 0, options.c_str()));
    }
    // The directory bound onto itself and made read-only.
    std::string read_only() {
        std::string error = done(::mount(dir_.c_str(), dir_.c_str(), nullptr, MS_BIND, nullptr));
        if (!error.empty())
            return error;
        return done(
            ::mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr));
    }

  private:
    std::string done(int result) {
        if (result != 0)
            return std::string("mount: ") + std::strerror(errno);
        active_ = true;
        return {};
    }
    std::string dir_;
    bool active_ = false;
};

class FaultMatrix : public ::testing::Test {
  protected:
    install_dir install;
    std::map<int, std::unique_ptr<tls_server>> servers;

    void SetUp() override {
        const builds& b = application();
        write_file(install.path("lib/include.jar"), b.include_jar);
        write_file(install.path("lib/bl.jar"), b.fallback_jar);
        write_file(install.path("behaviour"), "test.WhereFrom\nwherefrom\n");
        make_dirs(install.path("wherefrom"));
        install.create_data_dir();
    }

    // The state before every row: the old build installed and recorded.
    void install_old_build() const {
        write_file(data("app.jar"), application().old_jar);
        write_file(data("app.ver"), old_version);
    }

    std::string data(const char* name) const { return install.data_dir() + "/" + name; }

    tls_server& serve(int index, const std::string& certificate = "server") {
        tls_server_options options;
        options.cert = build_dir() + "/tests/pki/" + certificate + ".pem";
        options.key = build_dir() + "/tests/pki/" + certificate + ".key";
        options.port = first_port + index;
        // Another build tree's tests may hold the port for a moment; wait for it, bounded.
        auto& s = servers[index] = std::make_unique<tls_server>(options);
        for (auto until = clock_type::now() + std::chrono::seconds(60);
             s->port() == 0 && clock_type::now() < until;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            s = std::make_unique<tls_server>(options);
        }
        if (s->port() == 0)
            throw std::runtime_error(s->error());
        return *s;
    }

    // Server `index` offers the new build as version 2.0.0, in one piece or as `download`.
    tls_server& publish(int index) { return publish(index, whole_jar(application().new_jar)); }
    tls_server& publish(int index, script download) {
        tls_server& s = serve(index);
        s.on(version_target, answer(http_response(200, new_answer)));
        s.on(jar_target, std::move(download));
        return s;
    }

    std::size_t requests_for(int index, const std::string& target) const {
        return servers.at(index)->requests_for(target);
    }

    // Every report the application wrote since the last call, which removes them.
    std::vector<start_report> take_reports() const {
        std::vector<start_report> out;
        std::string dir = install.path("wherefrom");
        std::vector<std::string> names;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (dirent* e = ::readdir(d))
                if (e->d_name[0] != '.')
                    names.push_back(e->d_name);
            ::closedir(d);
        }
        for (auto& name : names) {
            std::string text = read_file(dir + "/" + name);
            out.push_back(
                {value_of(text, "jar"), value_of(text, "comment"), value_of(text, "server")});
            std::remove((dir + "/" + name).c_str());
        }
        return out;
    }

    // The files of the data directory, whatever happened to the start.
    void expect_files(build jar, const std::string& row) const {
        const builds& b = application();
        std::string now = exists(data("app.jar")) ? read_file(data("app.jar")) : "<absent>";
        bool is_old = now == b.old_jar, is_new = now == b.new_jar;
        EXPECT_TRUE(is_old || is_new)
            << row << ": app.jar is neither complete build (" << now.size() << " bytes)";
        EXPECT_EQ(is_new, jar == build::new_build) << row << ": wrong build in app.jar";
        std::string ver = exists(data("app.ver")) ? read_file(data("app.ver")) : "<absent>";
        EXPECT_EQ(ver, is_new ? new_version : old_version)
            << row << ": app.ver does not name the build in app.jar";
    }

    // One start's exit code, mode and files.
    void expect_start(const run_result& r, const outcome& o, const std::string& row) const {
        EXPECT_EQ(r.exit_code, 0) << row << "\n" << r.err;
        EXPECT_FALSE(r.timed_out) << row;
        auto reports = take_reports();
        ASSERT_EQ(reports.size(), 1u) << row << ": the application did not run\n" << r.err;
        expect_report(reports[0], o, row);
        expect_files(o.jar, row);
        EXPECT_TRUE(files_starting(install.data_dir(), "app.jar.part").empty()) << row;
        EXPECT_TRUE(files_starting(install.data_dir(), "app.ver.part").empty()) << row;
    }

    void expect_report(const start_report& s, const outcome& o, const std::string& row) const {
        if (o.how == mode::offline) {
            EXPECT_EQ(s.jar, install.path("lib/bl.jar")) << row << ": not offline";
            EXPECT_EQ(s.comment, "fallback") << row;
            return;
        }
        EXPECT_EQ(s.jar, install.data_dir() + "/app.jar") << row << ": not online";
        EXPECT_EQ(s.server, server_url(o.server)) << row << ": another server answered";
        EXPECT_EQ(s.comment, o.jar == build::new_build ? "new 2.0.0" : "old 1.0.0")
            << row << ": the application ran from another build";
    }

    run_result start() const { return install.run_launcher(120000); }
};

// --- faults in the version answer: server 0 misbehaves, server 1 offers the new build ---------

struct answer_fault {
    const char* name;
    std::string certificate;
    script reply;
};

void PrintTo(const answer_fault& f, std::ostream* os) {
    *os << f.name;
}

class AnswerFault : public FaultMatrix, public ::testing::WithParamInterface<answer_fault> {};

TEST_P(AnswerFault, TheNextServerIsAskedAndNothingIsTakenFromTheFaultyOne) {
    const answer_fault& f = GetParam();
    install_old_build();
    serve(0, f.certificate).on(version_target, f.reply);
    publish(1);

    expect_start(start(), {mode::online, 1, build::new_build}, f.name);
    EXPECT_EQ(requests_for(1, jar_target), 1u);
}

std::string page(int status, const std::string& body) {
    return http_response(status, body, {{"Content-Type", "text/plain"}});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AnswerFault,
    ::testing::Values(
        answer_fault{"html_page", "server",
                     answer(http_response(200, "<html><body>2.0.0;/j/app.jar</body></html>",
                                          {{"Content-Type", "text/html"}}))},
        answer_fault{"status_301", "server", answer(page(301, "301 Moved Permanently\n"))},
        answer_fault{"status_302", "server", answer(page(302, "302 Found;/j/app.jar\n"))},
        answer_fault{"status_404", "server", answer(page(404, "404 Not Found\n"))},
        answer_fault{"status_500", "server", answer(page(500, "500 Internal Server Error\n"))},
        answer_fault{"status_503", "server", answer(page(503, "503 Service Unavailable\n"))},
        answer_fault{"stall_in_headers", "server",
                     script().pause(stall_ms).send(http_response(200, "9.0.0;/j/app.jar"))},
        answer_fault{"reset_in_answer", "server",
                     script().send(response_head(200, {{"Content-Length", "16"}})).reset()},
        answer_fault{"untrusted_certificate", "untrusted",
                     answer(http_response(200, "9.0.0;/j/app.jar"))},
        answer_fault{"wrong_host_name", "wronghost",
                     answer(http_response(200, "9.0.0;/j/app.jar"))}),
    [](const auto& info) { return std::string(info.param.name); });

// --- faults in the download: server 0 answers 2.0.0 and then serves the jar badly --------------

struct download_fault {
    const char* name;
    script (*reply)(const std::string& jar);
    build expected;
};

void PrintTo(const download_fault& f, std::ostream* os) {
    *os << f.name;
}

class DownloadFault : public FaultMatrix, public ::testing::WithParamInterface<download_fault> {};

TEST_P(DownloadFault, OnlyACompleteJarReplacesTheOldOne) {
    const download_fault& f = GetParam();
    install_old_build();
    publish(0, f.reply(application().new_jar));

    expect_start(start(), {mode::online, 0, f.expected}, f.name);
    EXPECT_EQ(requests_for(0, jar_target), 1u) << f.name;
}

std::string head_with_length(std::size_t length) {
    return response_head(200, {{"Content-Length", std::to_string(length)},
                               {"Content-Type", "application/java-archive"}});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DownloadFault,
    ::testing::Values(
        download_fault{"complete", [](const std::string& jar) { return whole_jar(jar); },
                       build::new_build},
        download_fault{"brief_stall_in_body",
                       [](const std::string& jar) {
                           return script()
                               .send(head_with_length(jar.size()))
                               .send(jar.substr(0, jar.size() / 2))
                               .pause(1000)
                               .send(jar.substr(jar.size() / 2));
                       },
                       build::new_build},
        download_fault{"truncated_body",
                       [](const std::string& jar) {
                           return script()
                               .send(head_with_length(jar.size()))
                               .send(jar.substr(0, jar.size() / 2))
                               .close();
                       },
                       build::old_build},
        download_fault{"truncated_body_without_length",
                       [](const std::string& jar) {
                           return script()
                               .send(response_head(200))
                               .send(jar.substr(0, jar.size() / 2))
                               .close();
                       },
                       build::old_build},
        download_fault{"length_larger_than_body",
                       [](const std::string& jar) {
                           return script().send(head_with_length(jar.size() + 100)).send(jar);
                       },
                       build::old_build},
        download_fault{"length_smaller_than_body",
                       [](const std::string& jar) {
                           return script().send(head_with_length(jar.size() - 100)).send(jar);
                       },
                       build::old_build},
        download_fault{"html_page",
                       [](const std::string&) {
                           return answer(http_response(200,
                                                       "<html><body>Download moved</body></html>\n",
                                                       {{"Content-Type", "text/html"}}));
                       },
                       build::old_build},
        download_fault{
            "status_404",
            [](const std::string&) { return answer(http_response(404, "404 Not Found\n")); },
            build::old_build},
        download_fault{"stall_in_headers",
                       [](const std::string& jar) {
                           return script().pause(stall_ms).send(http_response(200, jar));
                       },
                       build::old_build},
        download_fault{"stall_in_body",
                       [](const std::string& jar) {
                           return script()
                               .send(head_with_length(jar.size()))
                               .send(jar.substr(0, jar.size() / 2))
                               .pause(stall_ms)
                               .send(jar.substr(jar.size() / 2));
                       },
                       build::old_build},
        download_fault{"reset_in_body",
                       [](const std::string& jar) {
                           return script()
                               .send(head_with_length(jar.size()))
                               .send(jar.substr(0, jar.size() / 2))
                               .reset();
                       },
                       build::old_build}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the data directory --------------------------------------------------------------------

TEST_F(FaultMatrix, FullDisk) {
    mounted disk(install.data_dir());
    // Room for the old build and a page or two, not for the new one.
    std::size_t room = (application().old_jar.size() / 4096 + 3) * 4096;
    if (std::string error = disk.tmpfs(room); !error.empty())
        GTEST_SKIP() << "full disk row skipped: no tmpfs can be mounted here (" << error << ")";
    install_old_build();
    publish(0);

    expect_start(start(), {mode::online, 0, build::old_build}, "full disk");
    EXPECT_EQ(requests_for(0, jar_target), 1u);
}

TEST_F(FaultMatrix, ReadOnlyDataDirectory) {
    install_old_build();
    mounted disk(install.data_dir());
    if (std::string error = disk.read_only(); !error.empty())
        GTEST_SKIP() << "read-only row skipped: no read-only bind mount can be made here (" << error
                     << ")";
    publish(0);

    // app.ver cannot be opened for writing: no server is asked, the install's jar runs.
    expect_start(start(), {mode::offline, 0, build::old_build}, "read-only data directory");
    EXPECT_EQ(servers[0]->connections(), 0u);
}

TEST_F(FaultMatrix, AppJarHeldOpenByAnotherProcess) {
    install_old_build();
    background holder({"/bin/sh", "-c", "exec 3<app.jar; exec sleep 120"}, install.data_dir());
    std::string held = "/proc/" + std::to_string(holder.pid()) + "/fd/3";
    for (auto until = clock_type::now() + std::chrono::seconds(10);
         !exists(held) && clock_type::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(exists(held));
    publish(0);

    expect_start(start(), {mode::online, 0, build::new_build}, "app.jar held open");
    // The holder still reads the whole old build through its descriptor.
    EXPECT_TRUE(read_file(held) == application().old_jar);
}

// --- interrupted and concurrent launchers ---------------------------------------------------

TEST_F(FaultMatrix, KilledAtTenPointsOfADownload) {
    install_old_build();
    const std::string& jar = application().new_jar;
    // The body in ten slices, each after a pause: killing half-way into pause i leaves the
    // launcher with i tenths of the body.
    constexpr unsigned slice_ms = 250;
    script slow = script().send(head_with_length(jar.size()));
    std::size_t slice = jar.size() / 10 + 1;
    // The last slice comes late (still within the receive time-out), so that a kill meant for
    // 90 % that a busy machine delays cannot miss the download.
    for (std::size_t at = 0; at < jar.size(); at += slice)
        slow.pause(at + slice < jar.size() ? slice_ms : 2000).send(jar.substr(at, slice));
    tls_server& s = publish(0, slow);

    std::vector<long> part_sizes;
    for (int point = 0; point < 10; ++point) {
        std::size_t before = requests_for(0, jar_target);
        background launcher({install.launcher()}, install.root());
        auto until = clock_type::now() + std::chrono::seconds(60);
        while (requests_for(0, jar_target) == before && clock_type::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_GT(requests_for(0, jar_target), before) << "point " << point;
        std::this_thread::sleep_for(std::chrono::milliseconds(slice_ms * point + slice_ms / 2));
        launcher.kill_now();
        launcher.wait(10000);

        std::string row = "killed at " + std::to_string(point * 10) + "%";
        expect_files(build::old_build, row);
        auto parts = files_starting(install.data_dir(), "app.jar.part");
        part_sizes.push_back(parts.empty() ? -1 : static_cast<long>(read_file(parts[0]).size()));
        EXPECT_TRUE(take_reports().empty()) << row;
    }
    std::string sizes;
    for (long n : part_sizes)
        sizes += std::to_string(n) + " ";
    std::printf("download on disk at the ten kills (of %zu bytes): %s\n", jar.size(),
                sizes.c_str());

    // The next start after all that completes the update.
    s.on(jar_target, whole_jar(jar));
    expect_start(start(), {mode::online, 0, build::new_build}, "start after the kills");
}

// A first install whose download takes several seconds (each pause within the receive time-out):
// the launchers that wait for the lock find the new build once they have it, and download nothing.
class Concurrent : public FaultMatrix, public ::testing::WithParamInterface<int> {};

TEST_P(Concurrent, LaunchersStartedAtOnceOnAFirstInstallDownloadOnceAndAllRunTheNewBuild) {
    const int n = GetParam();
    const std::string& jar = application().new_jar;
    script slow = script().send(head_with_length(jar.size()));
    std::size_t third = jar.size() / 3 + 1;
    for (std::size_t at = 0; at < jar.size(); at += third)
        slow.pause(1500).send(jar.substr(at, third));
    publish(0, slow);

    std::vector<std::unique_ptr<background>> launchers;
    for (int i = 0; i < n; ++i)
        launchers.push_back(std::make_unique<background>(
            std::vector<std::string>{install.launcher()}, install.root()));
    std::string row = std::to_string(n) + " launchers at once";
    for (auto& l : launchers)
        EXPECT_EQ(l->wait(180000), 0) << row;

    auto reports = take_reports();
    EXPECT_EQ(reports.size(), static_cast<std::size_t>(n)) << row;
    for (auto& r : reports)
        expect_report(r, {mode::online, 0, build::new_build}, row);
    expect_files(build::new_build, row);
    EXPECT_EQ(requests_for(0, jar_target), 1u) << row;
    EXPECT_EQ(requests_for(0, version_target), static_cast<std::size_t>(n)) << row;
}

INSTANTIATE_TEST_SUITE_P(Rows, Concurrent, ::testing::Values(2, 8),
                         [](const auto& info) { return std::to_string(info.param); });

// A launcher frozen while it holds the lock, half-way into its download, and every host then
// gone (refused): the next launcher waits once, for the lock's bounded wait, writes nothing and
// starts offline, whether or not it has an app.jar of its own. The time it took is printed.
class HungHolder : public FaultMatrix, public ::testing::WithParamInterface<bool> {};

TEST_P(HungHolder, TheNextLauncherStartsOfflineAfterOneWait) {
    const bool has_jar = GetParam();
    if (has_jar)
        install_old_build();
    const std::string& jar = application().new_jar;
    tls_server& s = publish(0, script()
                                   .send(head_with_length(jar.size()))
                                   .send(jar.substr(0, jar.size() / 2))
                                   .pause(2500)
                                   .send(jar.substr(jar.size() / 2)));
    background holder({install.launcher()}, install.root());
    for (auto until = clock_type::now() + std::chrono::seconds(60);
         requests_for(0, jar_target) == 0 && clock_type::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(requests_for(0, jar_target), 1u);
    ASSERT_EQ(::kill(holder.pid(), SIGSTOP), 0);
    s.stop();

    std::string row = has_jar ? "hung holder, app.jar present" : "hung holder, first install";
    run_result r = start();
    std::printf("%s: the next start took %.1f s\n", row.c_str(), r.wall_ms / 1000);
    EXPECT_EQ(r.exit_code, 0) << row << "\n" << r.err;
    auto reports = take_reports();
    ASSERT_EQ(reports.size(), 1u) << row << ": the application did not run\n" << r.err;
    expect_report(reports[0], {mode::offline, 0, build::old_build}, row);
    if (has_jar) {
        expect_files(build::old_build, row);
    } else {
        EXPECT_FALSE(exists(data("app.jar"))) << row;
    }
    holder.kill_now();
    ::kill(holder.pid(), SIGCONT);
    holder.wait(10000);
}

INSTANTIATE_TEST_SUITE_P(Rows, HungHolder, ::testing::Values(true, false), [](const auto& info) {
    return info.param ? "with_app_jar" : "first_install";
});

// Killed at each step of the commit: the launcher runs under strace, which kills it on entry to
// its k-th fsync (the download, the version, the emptied app.ver, then the directory after each
// rename). Whatever the point, app.ver names the build app.jar holds or is empty, and the next
// start completes the update.
TEST_F(FaultMatrix, KilledAtEachStepOfTheCommit) {
    if (run({"strace", "-qq", "-o", "/dev/null", "true"}, install.root()).exit_code != 0)
        GTEST_SKIP() << "strace cannot trace here";
    publish(0);
    const builds& b = application();
    int points = 0;
    for (int k = 1; k <= 20; ++k) {
        install_old_build();
        std::string when = "fsync:signal=SIGKILL:when=" + std::to_string(k);
        run({"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=fsync", "-e", "inject=" + when,
             install.launcher()},
            install.root(), 120000);
        if (!take_reports().empty())
            break; // the launcher got past every fsync of its update
        ++points;
        std::string row = "killed at fsync " + std::to_string(k);
        std::string jar = read_file(data("app.jar")), ver = read_file(data("app.ver"));
        EXPECT_TRUE(jar == b.old_jar || jar == b.new_jar) << row;
        EXPECT_TRUE(ver.empty() || ver == (jar == b.new_jar ? new_version : old_version))
            << row << ": app.ver \"" << ver << "\" beside the "
            << (jar == b.new_jar ? "new" : "old") << " build";

        expect_start(start(), {mode::online, 0, build::new_build}, row + ", next start");
    }
    std::printf("killed at %d points of the update\n", points);
    EXPECT_GE(points, 4) << "fewer kill points than the commit has steps";
    EXPECT_GE(requests_for(0, jar_target), static_cast<std::size_t>(points));
}

} // namespace

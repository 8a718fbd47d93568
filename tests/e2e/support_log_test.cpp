// The support log (VISTAL_LOG) of the real test launcher: the decisions of an online start with a
// download, an offline start and a start whose app.jar the loader refuses, in their order and
// appended to one file; and that the log changes nothing else about a start, nor writes through a
// link in its place.
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "tests/support/test_host.h"
#include "tests/support/tls_server.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sstream>
#include <unistd.h>

using namespace testsupport;

namespace {

// The log's lines, start by start (told apart by the process id, the second word), in the order
// of the file.
std::vector<std::vector<std::string>> starts_in(const std::string& log) {
    std::vector<std::vector<std::string>> starts;
    std::map<std::string, std::size_t> index;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string time, pid;
        words >> time >> pid;
        auto [at, added] = index.emplace(pid, starts.size());
        if (added)
            starts.emplace_back();
        starts[at->second].push_back(line);
    }
    return starts;
}

// A text as the log writes it: bytes outside printable ASCII, spaces and '%' as %XX.
std::string logged(const std::string& text) {
    std::string out;
    char code[4];
    for (unsigned char c : text) {
        if (c > ' ' && c < 0x7F && c != '%') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(code, sizeof code, "%%%02X", c);
            out += code;
        }
    }
    return out;
}

// Whether `line` holds each of the parts of `wanted` ("a ... b": a, then b), in order.
bool holds(const std::string& line, const std::string& wanted) {
    std::size_t at = 0, from = 0;
    for (;;) {
        std::size_t gap = wanted.find(" ... ", from);
        std::string part = wanted.substr(from, gap == std::string::npos ? gap : gap - from);
        at = line.find(part, at);
        if (at == std::string::npos)
            return false;
        at += part.size();
        if (gap == std::string::npos)
            return true;
        from = gap + 5;
    }
}

// Each of `wanted` is held by a line, each after the line that held the one before.
void expect_in_order(const std::vector<std::string>& lines,
                     const std::vector<std::string>& wanted) {
    std::size_t at = 0;
    for (const std::string& part : wanted) {
        while (at < lines.size() && !holds(lines[at], part))
            ++at;
        if (at == lines.size()) {
            std::string all;
            for (auto& l : lines)
                all += l + "\n";
            ADD_FAILURE() << "no line with \"" << part << "\" in its place:\n" << all;
            return;
        }
        ++at;
    }
}

class SupportLog : public ::testing::Test {
  protected:
    install_dir install;
    std::string log = install.path("support.log");
    std::unique_ptr<tls_server> server;

    void SetUp() override {
        unsetenv("DISPLAY");
        write_file(install.path("lib/include.jar"), test_app_jar("include.jar"));
        write_file(install.path("behaviour"), "test.UseInclude\n");
        install.create_data_dir();
    }

    // Server 0 of the test launcher's list offers the signed application as 2.0.0.
    void serve_application() {
        server = std::make_unique<tls_server>(test_host_options(18441));
        ASSERT_NE(server->port(), 0) << server->error();
        server->on(version_target, answer(http_response(200, "2.0.0;/j/app.jar")));
        server->on("/j/app.jar", answer(http_response(200, test_app_jar("app.jar"))));
    }

    std::string data(const char* name) const { return install.data_dir() + "/" + name; }
    run_result start(bool logged = true) {
        return install.run_launcher(60000, logged ? std::vector<std::string>{"VISTAL_LOG=" + log}
                                                  : std::vector<std::string>{});
    }
};

TEST_F(SupportLog, OnlineOfflineAndRefusedJarStartsAreRecordedInOrder) {
    // Online: the install's jar has no main class, so only the download can start.
    write_file(install.path("lib/bl.jar"), test_app_jar("app-without-main.jar"));
    serve_application();
    auto online = start();
    EXPECT_EQ(online.exit_code, 0) << online.err;

    // Offline: nothing answers; the install's own jar starts.
    server.reset();
    write_file(install.path("lib/bl.jar"), test_app_jar("app.jar"));
    auto offline = start();
    EXPECT_EQ(offline.exit_code, 0) << offline.err;

    // Online again, with an app.jar that another key signed and that is not older than the
    // answer: the loader refuses its main class and the install's jar stands in, also when the
    // launcher is started from another directory (as a shortcut may).
    write_file(data("app.jar"), test_app_jar("app-other-key.jar"));
    serve_application();
    const std::string elsewhere = install.path("elsewhere");
    make_dirs(elsewhere);
    write_file(elsewhere + "/behaviour", "test.UseInclude\n");
    auto refused = run({install.launcher()}, elsewhere, 60000, {"VISTAL_LOG=" + log});
    EXPECT_EQ(refused.exit_code, 0) << refused.err;

    auto starts = starts_in(read_file(log));
    ASSERT_EQ(starts.size(), 3u) << read_file(log);
    const std::string app_jar = logged(data("app.jar")),
                      bl_jar = logged(install.path("lib/bl.jar"));
    const std::string asked = " fetch host=127.0.0.1:18441 path=" + version_target;
    expect_in_order(starts[0], {
                                   " start version=",
                                   " vmoptions made=yes 1=-Djava.class.path=",
                                   " datadir path=" + logged(install.data_dir()),
                                   " lock held=yes",
                                   " appver file=absent version=0.0.0-rc2147483647.b1 usable=yes",
                                   asked + " status=200",
                                   " answer host=127.0.0.1:18441 status=200 answered=yes "
                                   "version=2.0.0-rc2147483647.b1 path=/j/app.jar",
                                   " compare local=0.0.0-rc2147483647.b1 "
                                   "answer=2.0.0-rc2147483647.b1 newer=yes lock=yes",
                                   " fetch host=127.0.0.1:18441 path=/j/app.jar status=200",
                                   " download path=/j/app.jar status=200 ... verdict=accepted",
                                   " install outcome=installed",
                                   " road mode=online reason=- server=0 jar=" + app_jar,
                                   " cruntime loaded=yes",
                                   " vmlibrary file=",
                                   " vm entry=yes result=0",
                                   " loader ready=yes jar=" + app_jar,
                                   " mainclass name=a.b.a.a.a outcome=loaded",
                                   " natives registered=yes",
                                   " application constructed=yes exception=no",
                                   " exit code=0 exception=no",
                               });
    expect_in_order(starts[1], {
                                   " start version=",
                                   " lock held=yes",
                                   " appver file=opened version=2.0.0-rc2147483647.b1",
                                   asked + " status=0 ... outcome=no-response",
                                   " answer host=127.0.0.1:18441 status=0 answered=no",
                                   " road mode=offline reason=- server=-1 jar=" + bl_jar,
                                   " loader ready=yes jar=" + bl_jar,
                                   " mainclass name=a.b.a.a.a outcome=loaded",
                                   " exit code=0",
                               });
    expect_in_order(starts[2], {
                                   " answer host=127.0.0.1:18441 status=200 answered=yes",
                                   " compare ... newer=no",
                                   " road mode=online",
                                   " loader ready=yes jar=" + app_jar,
                                   " mainclass name=a.b.a.a.a outcome=threw",
                                   " purge file=" + logged(data("app.ver")) + " emptied=yes",
                                   " road mode=fallback reason=bad-app-jar server=0 jar=" + bl_jar,
                                   " loader ready=yes jar=" + bl_jar,
                                   " mainclass name=a.b.a.a.a outcome=loaded",
                                   " exit code=0",
                               });
    for (auto& start : starts)
        for (auto& line : start)
            EXPECT_EQ(line.find_first_of("\r\t"), std::string::npos) << line;
}

// The same start with and without the log: the same exit code, the same bytes on standard error
// (here an assertion line), the same files left in the data directory; without the variable no
// file is made, and a link in the log's place is neither written through nor replaced.
TEST_F(SupportLog, TheLogChangesNothingElseAndFollowsNoLink) {
    write_file(install.path("lib/bl.jar"), test_app_jar("app.jar"));
    serve_application();
    auto start_road = [&](bool logged) {
        write_file(data("app.jar"), test_app_jar("app-no-default-constructor.jar"));
        write_file(data("app.ver"), "2.0.0-rc2147483647.b1");
        auto r = start(logged);
        return std::make_pair(r, read_file(data("app.ver")));
    };
    auto [plain, plain_ver] = start_road(false);
    EXPECT_FALSE(exists(log));
    auto [logged, logged_ver] = start_road(true);
    EXPECT_EQ(plain.exit_code, logged.exit_code);
    EXPECT_NE(plain.err.find("mid == NULL"), std::string::npos) << plain.err;
    EXPECT_EQ(plain.err, logged.err);
    EXPECT_EQ(plain_ver, logged_ver);
    EXPECT_NE(read_file(log).find(" mainclass name=a.b.a.a.a outcome=no-constructor"),
              std::string::npos)
        << read_file(log);

    // A link to a file of the victim's, and a dangling one that names where a file would be
    // made: neither is written through, and the start is the same.
    const std::string target = install.path("victim.txt"), absent = install.path("absent.txt");
    write_file(target, "kept\n");
    for (const std::string& to : {target, absent}) {
        std::remove(log.c_str());
        ASSERT_EQ(symlink(to.c_str(), log.c_str()), 0);
        auto [linked, linked_ver] = start_road(true);
        EXPECT_EQ(linked.exit_code, plain.exit_code);
        EXPECT_EQ(linked.err, plain.err);
    }
    EXPECT_EQ(read_file(target), "kept\n");
    EXPECT_FALSE(exists(absent));
}

} // namespace

// The update check over the real HTTPS transport against loopback servers on the test
// deployment's ports (127.0.0.1:18441 is server 0, ... 18451 is server 10).
#include "base/bounds.h"
#include "config/deployment.h"
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "tests/support/test_host.h"
#include "tests/support/test_jars.h"
#include "tests/support/tls_server.h"
#include "update/version_check.h"

#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

const char* const absent = "<absent>";

std::string pki(const char* file) {
    return build_dir() + "/tests/pki/" + file;
}

// A jar-sized body, larger than one read of the fetch: the signed test application, as the check
// demands, told apart by an archive comment of `size` bytes.
std::string jar_bytes(char seed, std::size_t size = 60000) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(seed)) % 251);
    return with_comment(test_app_jar("app.jar"), out);
}

script version_answer(const std::string& text, int status = 200) {
    return answer(http_response(status, text));
}

// Sends the first half, waits, then the rest: a download that takes a while.
script slow_body(const std::string& body, unsigned pause_ms) {
    std::size_t half = body.size() / 2;
    return script()
        .send(response_head(200, {{"Content-Length", std::to_string(body.size())}}))
        .send(body.substr(0, half))
        .pause(pause_ms)
        .send(body.substr(half));
}

class UpdateCheck : public ::testing::Test {
  protected:
    // The launcher's state the check works on: its data directory and the answering server.
    char appDataPath[base::app_path_size] = {};
    int server = -1;

    int locate_server() { return server = update::locate_server(appDataPath, config::server_list); }
    int get_bs_version(const wchar_t* host) { return update::get_bs_version(appDataPath, host); }
    std::string dir;
    std::map<int, std::unique_ptr<tls_server>> servers;

    void SetUp() override {
        dir = make_temp_dir("vistal-update");
        std::strcpy(appDataPath, dir.c_str());
        server = -1;
    }

    void TearDown() override {
        servers.clear();
        remove_tree(dir);
    }

    // Server `index` of the list, listening.
    tls_server& serve(int index) {
        tls_server_options options;
        options.cert = pki("server.pem");
        options.key = pki("server.key");
        options.port = 18441 + index;
        auto& s = servers[index] = std::make_unique<tls_server>(options);
        EXPECT_NE(s->port(), 0) << s->error();
        return *s;
    }

    static std::wstring host(int index) { return L"127.0.0.1:" + std::to_wstring(18441 + index); }

    std::string file(const char* name) const {
        std::string path = dir + "/" + name;
        return exists(path) ? read_file(path) : absent;
    }
    // The temporary named `prefix` plus its random ending; absent when there is none.
    std::string part(const char* prefix) const {
        auto found = files_starting(dir, prefix);
        return found.empty() ? absent : read_file(found.front());
    }
    void put(const char* name, const std::string& content) const {
        write_file(dir + "/" + name, content);
    }

    // The check in a process of its own, as a launcher runs it.
    std::vector<std::string> check_process() const { return {UPDATE_CHECK, dir}; }
};

TEST_F(UpdateCheck, FirstInstallDownloadsAndRecordsTheVersion) {
    std::string jar = jar_bytes('a');
    auto& s = serve(0);
    s.on(version_target, version_answer("2.0.0;/j/app.jar"));
    s.on("/j/app.jar", answer(http_response(200, jar)));

    EXPECT_EQ(locate_server(), 0);
    EXPECT_EQ(server, 0);
    EXPECT_TRUE(file("app.jar") == jar);
    EXPECT_EQ(file("app.ver"), "2.0.0-rc2147483647.b1");
    EXPECT_EQ(s.request_lines(), (std::vector<std::string>{"GET " + version_target + " HTTP/1.1",
                                                           "GET /j/app.jar HTTP/1.1"}));
    EXPECT_EQ(part("app.jar.part"), absent);
    EXPECT_EQ(part("app.ver.part"), absent);
}

TEST_F(UpdateCheck, EqualVersionAnswersWithoutDownload) {
    put("app.ver", "2.0.0-rc2147483647.b1");
    put("app.jar", "CURRENT");
    auto& s = serve(0);
    s.on(version_target, version_answer("2.0.0;/j/app.jar\r\n"));

    EXPECT_EQ(get_bs_version(host(0).c_str()), 1);
    EXPECT_EQ(s.requests().size(), 1u);
    EXPECT_EQ(file("app.ver"), "2.0.0-rc2147483647.b1");
    EXPECT_EQ(file("app.jar"), "CURRENT");
}

TEST_F(UpdateCheck, ServersThatDoNotAnswerHandOnToTheNext) {
    // Server 0 refuses the connection: nothing listens there.
    serve(1).on(version_target, version_answer("503 Service Unavailable", 503));
    serve(2).on(version_target, version_answer("<html><body>Maintenance</body></html>"));
    serve(3).on(version_target, version_answer(""));
    auto& answering = serve(4);
    // The version the test application is stamped with.
    answering.on(version_target, version_answer("2.0.0;/j/app.jar"));
    answering.on("/j/app.jar", answer(http_response(200, jar_bytes('e'))));
    auto& after = serve(5);

    EXPECT_EQ(locate_server(), 4);
    EXPECT_EQ(file("app.jar"), jar_bytes('e'));
    EXPECT_EQ(file("app.ver"), "2.0.0-rc2147483647.b1");
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(servers[i]->request_lines().size(), 1u) << "server " << i;
    EXPECT_EQ(after.connections(), 0u);
}

TEST_F(UpdateCheck, NoServerAnsweringMeansOfflineWithAnEmptyAppVer) {
    EXPECT_EQ(locate_server(), -1);
    EXPECT_EQ(server, -1);
    EXPECT_EQ(file("app.ver"), "");
    EXPECT_EQ(file("app.jar"), absent);
}

TEST_F(UpdateCheck, AnUnwritableDataDirectorySendsNoRequest) {
    auto& s = serve(0);
    s.on(version_target, version_answer("2.0.0;/j/app.jar"));

    std::strcpy(appDataPath, (dir + "/missing").c_str());
    EXPECT_EQ(locate_server(), -1);
    EXPECT_FALSE(exists(dir + "/missing"));
    EXPECT_EQ(s.connections(), 0u);

    // An app.ver that can be neither opened nor created: read-only, or, for a user whom that
    // does not stop, a directory in its place.
    std::strcpy(appDataPath, dir.c_str());
    if (geteuid() != 0) {
        put("app.ver", "1.0.0");
        chmod((dir + "/app.ver").c_str(), 0444);
    } else {
        make_dirs(dir + "/app.ver");
    }
    EXPECT_EQ(locate_server(), -1);
    EXPECT_EQ(s.connections(), 0u);
}

TEST_F(UpdateCheck, FailedDownloadsKeepTheOldJarAndVersion) {
    std::string jar = jar_bytes('b');
    const std::pair<const char*, script> failures[] = {
        {"404 page", answer(http_response(404, "<html>404 Not Found</html>"))},
        {"empty body", answer(http_response(200, ""))},
        {"closed before Content-Length",
         script()
             .send(response_head(200, {{"Content-Length", std::to_string(jar.size())}}))
             .send(jar.substr(0, 30000))
             .abort()},
        {"wrong Content-Length",
         answer(http_response(200, jar.substr(0, 50000),
                              {{"Content-Length", std::to_string(jar.size())}}))},
        {"reset without Content-Length",
         script().send(response_head(200)).send(jar.substr(0, 30000)).reset()},
    };
    auto& s = serve(0);
    s.on(version_target, version_answer("2.0.0;/j/app.jar"));
    for (const auto& [what, download] : failures) {
        put("app.ver", "1.0.0");
        put("app.jar", "OLD JAR");
        s.on("/j/app.jar", download);
        std::size_t before = s.requests_for("/j/app.jar");

        EXPECT_EQ(get_bs_version(host(0).c_str()), 1) << what;
        EXPECT_EQ(s.requests_for("/j/app.jar"), before + 1) << what;
        EXPECT_EQ(file("app.jar"), "OLD JAR") << what;
        EXPECT_EQ(file("app.ver"), "1.0.0") << what;
        EXPECT_EQ(part("app.jar.part"), absent) << what;
    }
}

TEST_F(UpdateCheck, APathWithoutSlashDownloadsNothing) {
    put("app.ver", "1.0.0");
    put("app.jar", "OLD JAR");
    auto& s = serve(0);
    s.on(version_target, version_answer("2.0.0;j/app.jar"));
    EXPECT_EQ(locate_server(), 0);
    EXPECT_EQ(s.requests().size(), 1u);
    EXPECT_EQ(file("app.jar"), "OLD JAR");
    EXPECT_EQ(file("app.ver"), "1.0.0");
}

TEST_F(UpdateCheck, TwoLaunchersAtOnceDownloadOnce) {
    std::string jar = jar_bytes('c', 65000);
    auto& s = serve(0);
    s.on(version_target, version_answer("2.0.0;/j/app.jar"));
    s.on("/j/app.jar", slow_body(jar, 1500));

    background one(check_process(), dir);
    background two(check_process(), dir);
    EXPECT_EQ(one.wait(30000), 0);
    EXPECT_EQ(two.wait(30000), 0);

    // The second waited for the first and then found its version current.
    EXPECT_EQ(s.requests_for(version_target), 2u);
    EXPECT_EQ(s.requests_for("/j/app.jar"), 1u);
    EXPECT_TRUE(file("app.jar") == jar);
    EXPECT_EQ(file("app.ver"), "2.0.0-rc2147483647.b1");
}

TEST_F(UpdateCheck, ALauncherKilledDuringTheDownloadLeavesTheOldJar) {
    put("app.ver", "1.0.0");
    put("app.jar", "OLD JAR");
    std::string jar = jar_bytes('d');
    auto& s = serve(0);
    s.on(version_target, version_answer("2.0.0;/j/app.jar"));
    s.on("/j/app.jar", slow_body(jar, 20000));

    {
        background killed(check_process(), dir);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (s.requests_for("/j/app.jar") == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_EQ(s.requests_for("/j/app.jar"), 1u);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        killed.kill_now();
        killed.wait(5000);
    }
    EXPECT_EQ(file("app.jar"), "OLD JAR");
    EXPECT_EQ(file("app.ver"), "1.0.0");
    EXPECT_NE(part("app.jar.part"), absent);

    s.on("/j/app.jar", answer(http_response(200, jar)));
    auto next = run(check_process(), dir, 30000);
    EXPECT_EQ(next.out, "0\n") << next.err;
    EXPECT_TRUE(file("app.jar") == jar);
    EXPECT_EQ(file("app.ver"), "2.0.0-rc2147483647.b1");
    EXPECT_EQ(part("app.jar.part"), absent);
}

// A download cut at half keeps its bytes, and the next check asks only for the rest of them.
TEST_F(UpdateCheck, ACutDownloadIsTakenUpWhereItStopped) {
    put("app.ver", "1.0.0");
    put("app.jar", "OLD JAR");
    const std::string jar = jar_bytes('r');
    const std::size_t half = jar.size() / 2;
    auto& s = serve(0);
    s.on(version_target, version_answer("2.0.0;/j/app.jar"));
    s.otherwise([&jar, half](const request& r) {
        header_list head = {{"ETag", "\"r1\""}};
        if (r.header("Range").empty()) {
            head.push_back({"Content-Length", std::to_string(jar.size())});
            return script().send(response_head(200, head)).send(jar.substr(0, half)).abort();
        }
        head.push_back({"Content-Range", "bytes " + std::to_string(half) + "-" +
                                             std::to_string(jar.size() - 1) + "/" +
                                             std::to_string(jar.size())});
        return answer(http_response(206, jar.substr(half), head));
    });

    EXPECT_EQ(locate_server(), 0);
    EXPECT_EQ(file("app.jar"), "OLD JAR");
    EXPECT_EQ(file("app.ver"), "1.0.0");
    EXPECT_EQ(part("app.jar.partial").size(), half);

    EXPECT_EQ(locate_server(), 0);
    EXPECT_TRUE(file("app.jar") == jar);
    EXPECT_EQ(file("app.ver"), "2.0.0-rc2147483647.b1");
    std::vector<std::string> ranges;
    for (auto& r : s.requests())
        if (r.target == "/j/app.jar")
            ranges.push_back(r.header("Range") + " " + r.header("If-Range"));
    EXPECT_EQ(ranges,
              (std::vector<std::string>{" ", "bytes=" + std::to_string(half) + "- \"r1\""}));
    EXPECT_EQ(part("app.jar.part"), absent);
    EXPECT_EQ(file("app.resume"), absent);
}

} // namespace

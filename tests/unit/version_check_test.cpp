// The version check over the scripted transport, with a real data directory in a temp folder.
#include "base/bounds.h"
#include "config/deployment.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_transport.h"
#include "tests/support/test_jars.h"
#include "update/version_check.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

using update::fetch_progress;
using update::fetch_stage;

namespace fs = std::filesystem;

namespace {

const std::wstring request = L"/VistalServlet?getVersion=bootstrap&clientVersion=2.0";
const wchar_t* const first = L"first.test.example";
const wchar_t* const second = L"second.test.example";
const wchar_t* const third = L"third.test.example";
const char* const absent = "<absent>";

std::wstring url(const wchar_t* host, const std::wstring& path) {
    return L"https://" + std::wstring(host) + path;
}

fake::response body(std::string text, int status = 200) {
    fake::response r;
    r.status = status;
    r.headers = {{"Content-Length", std::to_string(text.size())}};
    r.body = std::move(text);
    return r;
}

// A download the check takes for a jar: a whole archive holding `text`.
fake::response jar(const std::string& text) {
    return body(testsupport::tiny_jar(text));
}

using testsupport::tiny_jar;

class VersionCheck : public ::testing::Test {
  protected:
    fs::path dir;
    // The launcher's state the check works on: its data directory and the answering server.
    char appDataPath[base::app_path_size] = {};
    int server = -1;

    int locate_server() { return server = update::locate_server(appDataPath, config::server_list); }
    int get_bs_version(const wchar_t* host) { return update::get_bs_version(appDataPath, host); }
    void purge_downloaded_app_files() { update::purge_downloaded_app_files(appDataPath); }

    void SetUp() override {
        fake::reset();
        fake::reset_transport();
        server = -1;
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir = fs::temp_directory_path() / ("vistal-check-" + std::to_string(stamp));
        fs::create_directories(dir);
        std::strcpy(appDataPath, dir.string().c_str());
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        appDataPath[0] = '\0';
    }

    std::string read(const char* name) const {
        std::ifstream in(dir / name, std::ios::binary);
        if (!in)
            return absent;
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    void write(const char* name, const std::string& content) const {
        std::ofstream(dir / name, std::ios::binary) << content;
    }

    // The version request of `host` answers `text`.
    static void answers(const wchar_t* host, std::string text, int status = 200) {
        fake::respond(url(host, request), body(std::move(text), status));
    }

    static std::size_t requests_to(const std::wstring& u) {
        std::size_t n = 0;
        for (auto& seen : fake::transport().urls)
            n += seen == u;
        return n;
    }

    // Nothing the check writes on the side is left over: only app.jar, app.ver and app.lock.
    void expect_no_leftovers() const {
        for (auto& entry : fs::directory_iterator(dir)) {
            std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "app.jar" || name == "app.ver" || name == "app.lock") << name;
        }
    }
};

TEST_F(VersionCheck, FirstInstallDownloadsTheJarAndRecordsItsVersion) {
    answers(first, "2.0.0;/j/app.jar");
    fake::respond(url(first, L"/j/app.jar"), jar("JAR 2.0.0"));

    EXPECT_EQ(locate_server(), 0);
    EXPECT_EQ(server, 0);
    EXPECT_EQ(read("app.jar"), tiny_jar("JAR 2.0.0"));
    EXPECT_EQ(read("app.ver"), "2.0.0-rc2147483647.b1");
    expect_no_leftovers();
    ASSERT_FALSE(fake::platform().locked.empty());
    EXPECT_EQ(fs::path(fake::platform().locked[0]).filename(), "app.lock");
}

// The progress sink the caller hands down hears the download of app.jar, and nothing else.
TEST_F(VersionCheck, TheCallersProgressSinkHearsTheDownloadOnly) {
    std::vector<std::string> heard;
    fetch_progress progress;
    progress.context = &heard;
    progress.report = [](void* context, fetch_stage stage, std::uint64_t received,
                         std::uint64_t length) {
        static_cast<std::vector<std::string>*>(context)->push_back(
            (stage == fetch_stage::running    ? "running:"
             : stage == fetch_stage::complete ? "complete:"
                                              : "failed:") +
            std::to_string(received) + "/" + std::to_string(length));
    };
    answers(first, "2.0.0;/j/app.jar");
    fake::respond(url(first, L"/j/app.jar"), jar("JAR 2.0.0"));
    EXPECT_EQ(update::locate_server(appDataPath, config::server_list, &progress), 0);
    const std::string n = std::to_string(tiny_jar("JAR 2.0.0").size());
    EXPECT_EQ(heard,
              (std::vector<std::string>{"running:" + n + "/" + n, "complete:" + n + "/" + n}));

    // Answered the version it has: nothing downloads, nothing is heard.
    heard.clear();
    EXPECT_EQ(update::get_bs_version(appDataPath, first, &progress), 1);
    EXPECT_TRUE(heard.empty());
}

TEST_F(VersionCheck, NotNewerAnswersWithoutDownloadingOrWriting) {
    for (const char* answer : {"1.2.3-rc4.b12;/p", "1.2.3.b9;/p", "1.0.0;/p"}) {
        fake::reset_transport();
        write("app.ver", "1.2.3-rc2147483647.b9");
        write("app.jar", "OLD");
        answers(first, answer);
        EXPECT_EQ(get_bs_version(first), 1) << answer;
        EXPECT_EQ(fake::transport().urls.size(), 1u) << answer;
        EXPECT_EQ(read("app.ver"), "1.2.3-rc2147483647.b9");
        EXPECT_EQ(read("app.jar"), "OLD");
    }
}

TEST_F(VersionCheck, ServersThatDoNotAnswerHandOnToTheNext) {
    fake::response refused;
    refused.connect_fails = true;
    const std::pair<const char*, fake::response> not_answers[] = {
        {"connection refused", refused},
        {"503 with a number first", body("503 Service Unavailable", 503)},
        {"404 with a number first", body("404 Not Found", 404)},
        {"500 with a version", body("9.9.9;/evil.jar", 500)},
        {"HTML page", body("<html><body>Maintenance</body></html>")},
        {"empty body", body("")},
        {"negative number", body("-1.0.0;/p")},
    };
    for (const auto& [what, response] : not_answers) {
        fake::reset_transport();
        server = -1;
        fs::remove(dir / "app.ver");
        fs::remove(dir / "app.jar");
        fake::respond(url(first, request), response);
        fake::respond(url(first, L"/evil.jar"), jar("EVIL"));
        answers(second, "1.0.0;/j/app.jar");
        fake::respond(url(second, L"/j/app.jar"), jar("JAR 1.0.0"));

        EXPECT_EQ(locate_server(), 1) << what;
        EXPECT_EQ(read("app.jar"), tiny_jar("JAR 1.0.0")) << what;
        EXPECT_EQ(read("app.ver"), "1.0.0-rc2147483647.b1") << what;
        EXPECT_EQ(requests_to(url(third, request)), 0u) << what;
    }
}

TEST_F(VersionCheck, NoServerAnsweringLeavesAnEmptyAppVerAndOfflineMode) {
    answers(first, "<html></html>");
    answers(second, "Service Unavailable", 503);
    EXPECT_EQ(locate_server(), -1);
    EXPECT_EQ(server, -1);
    EXPECT_EQ(read("app.ver"), "");
    EXPECT_EQ(read("app.jar"), absent);
    ASSERT_EQ(fake::transport().urls.size(), 3u);
    EXPECT_EQ(fake::transport().urls[2], url(third, request));
    // One lock, so one wait, for the whole check.
    EXPECT_EQ(fake::platform().locked.size(), 1u);

    // An existing app.ver keeps its content.
    fake::reset_transport();
    write("app.ver", "1.2.3.b4");
    EXPECT_EQ(locate_server(), -1);
    EXPECT_EQ(read("app.ver"), "1.2.3.b4");
}

TEST_F(VersionCheck, FailedDownloadsKeepTheOldJarAndVersion) {
    fake::response refused;
    refused.connect_fails = true;
    fake::response truncated = jar(std::string(10, 'J'));
    truncated.headers = {{"Content-Length", std::to_string(truncated.body.size() + 50)}};
    fake::response broken = jar(std::string(10, 'J'));
    broken.headers.clear();
    broken.read_fails_at_end = true;
    // What the transfer cannot tell from a jar: only the archive's own end shows them.
    fake::response cut = jar(std::string(100, 'J'));
    cut.body.resize(cut.body.size() - 10);
    cut.headers.clear();
    const std::pair<const char*, fake::response> failures[] = {
        {"404 page", body("404 Not Found", 404)},
        {"500 page", body("<html>error</html>", 500)},
        {"empty body", body("")},
        {"fewer bytes than Content-Length", truncated},
        {"read failure without Content-Length", broken},
        {"no connection", refused},
        {"a page sent with status 200", body("<html><body>Moved</body></html>")},
        {"a jar cut short without Content-Length", cut},
    };
    for (const auto& [what, response] : failures) {
        fake::reset_transport();
        write("app.ver", "1.0.0-rc2147483647.b1");
        write("app.jar", "OLD");
        answers(first, "2.0.0;/j/app.jar");
        fake::respond(url(first, L"/j/app.jar"), response);

        EXPECT_EQ(get_bs_version(first), 1) << what;
        EXPECT_EQ(requests_to(url(first, L"/j/app.jar")), 1u) << what;
        EXPECT_EQ(read("app.jar"), "OLD") << what;
        EXPECT_EQ(read("app.ver"), "1.0.0-rc2147483647.b1") << what;
        expect_no_leftovers();
    }
}

TEST_F(VersionCheck, UnusableDownloadPathsAreNotRequested) {
    const std::string too_long = "/" + std::string(1023, 'p');
    for (std::string answer : {std::string("2.0.0"), std::string("2.0.0;j/app.jar"),
                               std::string("2.0.0;//other.example/app.jar"), std::string("2.0.0; "),
                               "2.0.0;" + too_long}) {
        fake::reset_transport();
        write("app.ver", "1.0.0");
        write("app.jar", "OLD");
        answers(first, answer);
        EXPECT_EQ(get_bs_version(first), 1) << answer.substr(0, 40);
        EXPECT_EQ(fake::transport().urls.size(), 1u) << answer.substr(0, 40);
        EXPECT_EQ(read("app.jar"), "OLD");
        EXPECT_EQ(read("app.ver"), "1.0.0");
    }

    // 1023 characters are taken; the URL is cut at 254 like any other.
    fake::reset_transport();
    std::string longest = too_long.substr(0, 1023);
    answers(first, "2.0.0;" + longest);
    std::wstring cut = url(first, std::wstring(longest.begin(), longest.end())).substr(0, 254);
    fake::respond(cut, jar("JAR"));
    EXPECT_EQ(get_bs_version(first), 1);
    EXPECT_EQ(read("app.jar"), tiny_jar("JAR"));
    EXPECT_EQ(read("app.ver"), "2.0.0-rc2147483647.b1");
}

// A held app.jar refuses the rename: the old jar goes on with its own version, the download waits
// as the pending jar, is not fetched again while it waits, gives way to a newer one, and is put in
// place by the first check that can replace app.jar.
TEST_F(VersionCheck, AHeldAppJarKeepsTheDownloadPendingUntilItCanBeReplaced) {
    const std::string old_version = "1.0.0-rc2147483647.b1";
    write("app.ver", old_version);
    write("app.jar", "OLD");
    answers(first, "2.0.0;/j/app.jar");
    fake::respond(url(first, L"/j/app.jar"), jar("NEW"));
    fake::platform().refuse_replace_onto = "app.jar";
    for (int start = 0; start < 2; ++start) {
        EXPECT_EQ(get_bs_version(first), 1);
        EXPECT_EQ(requests_to(url(first, L"/j/app.jar")), 1u) << start;
        EXPECT_EQ(read("app.jar"), "OLD");
        EXPECT_EQ(read("app.ver"), old_version);
        EXPECT_EQ(read("app.jar.new"), tiny_jar("NEW"));
        EXPECT_EQ(read("app.ver.new"), "2.0.0-rc2147483647.b1");
    }

    answers(first, "3.0.0;/j/app3.jar");
    fake::respond(url(first, L"/j/app3.jar"), jar("NEWER"));
    EXPECT_EQ(get_bs_version(first), 1);
    EXPECT_EQ(read("app.jar"), "OLD");
    EXPECT_EQ(read("app.ver"), old_version);
    EXPECT_EQ(read("app.jar.new"), tiny_jar("NEWER"));
    EXPECT_EQ(read("app.ver.new"), "3.0.0-rc2147483647.b1");

    fake::platform().refuse_replace_onto.clear();
    fake::reset_transport();
    answers(first, "3.0.0;/j/app3.jar");
    EXPECT_EQ(get_bs_version(first), 1);
    EXPECT_EQ(fake::transport().urls.size(), 1u);
    EXPECT_EQ(read("app.jar"), tiny_jar("NEWER"));
    EXPECT_EQ(read("app.ver"), "3.0.0-rc2147483647.b1");
    expect_no_leftovers();

    // Installed while no server answers too, and from an emptied app.ver.
    write("app.jar.new", tiny_jar("NEWEST"));
    write("app.ver.new", "4.0.0-rc2147483647.b1");
    write("app.ver", "");
    fake::reset_transport();
    EXPECT_EQ(locate_server(), -1);
    EXPECT_EQ(read("app.jar"), tiny_jar("NEWEST"));
    EXPECT_EQ(read("app.ver"), "4.0.0-rc2147483647.b1");
    expect_no_leftovers();
}

// Whatever lies under the pending names is checked as a download is before it replaces app.jar;
// what fails is removed (a directory is left alone) and app.jar and app.ver stay as they were.
TEST_F(VersionCheck, APendingJarThatFailsItsChecksIsRemovedNotInstalled) {
    const std::string current = "2.0.0-rc2147483647.b1";
    const std::string good_version = "3.0.0-rc2147483647.b1";
    const fs::path outside = dir.string() + "-outside";
    struct planted {
        const char* what;
        std::string jar, version; // "<absent>" for none
    };
    const planted cases[] = {
        {"a jar that is no archive", "<html>not a jar</html>", good_version},
        {"a cut jar", tiny_jar("CUT").substr(0, 20), good_version},
        {"no version file", tiny_jar("NEW"), absent},
        {"no jar", absent, good_version},
        {"an empty version file", tiny_jar("NEW"), ""},
        {"a version file with more in it", tiny_jar("NEW"), good_version + "\n;/evil"},
        {"the version app.ver names", tiny_jar("NEW"), current},
        {"an older version", tiny_jar("NEW"), "1.0.0-rc2147483647.b1"},
    };
    for (const planted& p : cases) {
        write("app.ver", current);
        write("app.jar", "CURRENT");
        if (p.jar != absent)
            write("app.jar.new", p.jar);
        if (p.version != absent)
            write("app.ver.new", p.version);
        fake::reset_transport();
        answers(first, "2.0.0;/j/app.jar");
        EXPECT_EQ(get_bs_version(first), 1) << p.what;
        EXPECT_EQ(read("app.jar"), "CURRENT") << p.what;
        EXPECT_EQ(read("app.ver"), current) << p.what;
        EXPECT_EQ(fake::transport().urls.size(), 1u) << p.what;
        expect_no_leftovers();
    }

    // A link is removed itself, never followed (where links can be made: not under Wine); a
    // directory is left and no download is kept pending through it.
    fs::create_directories(outside);
    std::ofstream(outside / "jar", std::ios::binary) << tiny_jar("PLANTED");
    std::ofstream(outside / "ver", std::ios::binary) << good_version;
    std::error_code no_links;
    fs::create_symlink(outside / "jar", dir / "app.jar.new", no_links);
    if (!no_links) {
        fs::create_symlink(outside / "ver", dir / "app.ver.new");
        answers(first, "2.0.0;/j/app.jar");
        EXPECT_EQ(get_bs_version(first), 1);
        EXPECT_EQ(read("app.jar"), "CURRENT");
        EXPECT_EQ(read("app.ver"), current);
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "app.jar.new")));
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "app.ver.new")));
        EXPECT_TRUE(fs::exists(outside / "jar"));
    }

    fs::create_directory(dir / "app.jar.new");
    answers(first, "3.0.0;/j/app.jar");
    fake::respond(url(first, L"/j/app.jar"), jar("NEW"));
    fake::platform().refuse_replace_onto = "app.jar";
    EXPECT_EQ(get_bs_version(first), 1);
    EXPECT_EQ(read("app.jar"), "CURRENT");
    EXPECT_EQ(read("app.ver"), current);
    EXPECT_TRUE(fs::is_directory(dir / "app.jar.new"));
    EXPECT_FALSE(fs::exists(dir / "app.ver.new"));
    fs::remove(dir / "app.jar.new");
    expect_no_leftovers();
    fs::remove_all(outside);
}

TEST_F(VersionCheck, AnUnrecordedNewJarIsFetchedAgainNextTime) {
    write("app.ver", "1.0.0");
    write("app.jar", "OLD");
    answers(first, "2.0.0;/j/app.jar");
    fake::respond(url(first, L"/j/app.jar"), jar("NEW"));
    fake::platform().refuse_replace_onto = "app.ver";
    EXPECT_EQ(get_bs_version(first), 1);
    EXPECT_EQ(read("app.jar"), tiny_jar("NEW"));
    EXPECT_EQ(read("app.ver"), "");
    expect_no_leftovers();

    fake::platform().refuse_replace_onto.clear();
    EXPECT_EQ(get_bs_version(first), 1);
    EXPECT_EQ(requests_to(url(first, L"/j/app.jar")), 2u);
    EXPECT_EQ(read("app.ver"), "2.0.0-rc2147483647.b1");
}

TEST_F(VersionCheck, WithoutTheLockNothingIsWritten) {
    write("app.ver", "1.0.0");
    write("app.jar", "OLD");
    answers(first, "2.0.0;/j/app.jar");
    fake::respond(url(first, L"/j/app.jar"), jar("NEW"));
    fake::platform().refuse_lock = true;
    EXPECT_EQ(get_bs_version(first), 1);
    EXPECT_EQ(fake::transport().urls.size(), 1u);
    EXPECT_EQ(read("app.jar"), "OLD");
    EXPECT_EQ(read("app.ver"), "1.0.0");

    // Without a complete app.jar of its own (this one is no archive) it asks nobody: offline.
    fake::reset_transport();
    EXPECT_EQ(locate_server(), -1);
    EXPECT_TRUE(fake::transport().urls.empty());
}

TEST_F(VersionCheck, LeftoversOfAKilledLauncherAreRemoved) {
    write("app.ver", "2.0.0");
    write("app.jar", "JAR");
    write("app.jar.part", "HALF A JAR");
    write("app.ver.part", "3.0.0");
    write("app.jar.part.Xy12Ab", "HALF A JAR");
    write("app.ver.part.Cd34Ef", "3.0.0");
    answers(first, "2.0.0;/j/app.jar");
    EXPECT_EQ(get_bs_version(first), 1);
    expect_no_leftovers();
    EXPECT_EQ(read("app.jar"), "JAR");
}

TEST_F(VersionCheck, PurgeEmptiesAppVerSoTheNextCheckDownloadsAgain) {
    purge_downloaded_app_files();
    EXPECT_EQ(read("app.ver"), "");

    write("app.ver", "2.0.0-rc2147483647.b1");
    write("app.jar", "BAD");
    purge_downloaded_app_files();
    EXPECT_EQ(read("app.ver"), "");
    EXPECT_EQ(read("app.jar"), "BAD");

    answers(first, "2.0.0;/j/app.jar");
    fake::respond(url(first, L"/j/app.jar"), jar("GOOD"));
    EXPECT_EQ(get_bs_version(first), 1);
    EXPECT_EQ(read("app.jar"), tiny_jar("GOOD"));
    EXPECT_EQ(read("app.ver"), "2.0.0-rc2147483647.b1");
}

TEST_F(VersionCheck, AnUnwritableDataDirectorySendsNoRequest) {
    answers(first, "2.0.0;/j/app.jar");

    // app.ver that can be neither opened nor created.
    fs::create_directory(dir / "app.ver");
    EXPECT_EQ(locate_server(), -1);
    EXPECT_TRUE(fake::transport().urls.empty());
    fs::remove(dir / "app.ver");

    // A missing data directory.
    std::strcpy(appDataPath, (dir / "missing").string().c_str());
    EXPECT_EQ(get_bs_version(first), 0);
    EXPECT_TRUE(fake::transport().urls.empty());
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

// A download cut at half keeps its bytes; the next start answered the same version asks for the
// rest. Whatever does not continue them exactly (another validator, a wrong range, kept bytes
// that are a link or longer than the body, another version) starts over, and only the whole jar
// is ever installed.
TEST_F(VersionCheck, ACutDownloadResumesOrStartsOver) {
    const std::string whole = tiny_jar(std::string(30000, 'r'));
    const std::size_t half = whole.size() / 2;
    const std::wstring jar_url = url(first, L"/j/app.jar");
    const std::string tail = std::to_string(half) + "-" + std::to_string(whole.size() - 1) + "/" +
                             std::to_string(whole.size());
    auto partial = [&] {
        for (auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename().string().rfind("app.jar.partial.", 0) == 0)
                return entry.path();
        return fs::path();
    };
    auto ranged = [](int status, std::string range, std::string text) {
        fake::response r = body(std::move(text), status);
        r.headers.push_back({"ETag", "\"v1\""});
        if (!range.empty())
            r.headers.push_back({"Content-Range", "bytes " + range});
        return r;
    };
    const fs::path outside = dir.parent_path() / (dir.filename().string() + "-outside");
    bool links = true;
    struct row {
        const char* name;
        std::function<void()> before;   // between the two starts
        std::vector<std::string> asked; // the Range asked for by each jar request of the second
    };
    const std::string rest = "Range: bytes=" + std::to_string(half) + "-\r\nIf-Range: \"v1\"\r\n";
    const row rows[] = {
        {"the rest",
         [&] { fake::respond_to_range(jar_url, ranged(206, tail, whole.substr(half))); },
         {rest}},
        {"a stale validator",
         [&] { fake::respond_to_range(jar_url, ranged(200, "", whole)); },
         {rest}},
        {"a wrong Content-Range",
         [&] { fake::respond_to_range(jar_url, ranged(206, "0-" + tail, whole.substr(half))); },
         {rest, ""}},
        {"kept bytes that are a link",
         [&] {
             fs::path kept = partial();
             fs::rename(kept, outside);
             std::error_code no_symlinks;
             fs::create_symlink(outside, kept, no_symlinks);
             if (no_symlinks) { // under Wine: checked on Linux only
                 fs::rename(outside, kept);
                 links = false;
             }
         },
         {""}},
        {"kept bytes longer than the body",
         [&] { std::ofstream(partial(), std::ios::app | std::ios::binary) << whole; },
         {""}},
        {"another version answered", [&] { answers(first, "3.0.0;/j/app.jar"); }, {""}},
    };
    for (const row& r : rows) {
        fake::reset_transport();
        fs::remove_all(dir);
        fs::remove(outside);
        fs::create_directories(dir);
        write("app.ver", "1.0.0");
        write("app.jar", "OLD");
        answers(first, "2.0.0;/j/app.jar");
        fake::response cut = ranged(200, "", whole.substr(0, half));
        cut.headers[0].second = std::to_string(whole.size());
        fake::respond(jar_url, cut);
        EXPECT_EQ(get_bs_version(first), 1) << r.name;
        EXPECT_EQ(read("app.jar"), "OLD") << r.name;
        ASSERT_FALSE(partial().empty()) << r.name;

        fake::reset_transport();
        answers(first, "2.0.0;/j/app.jar");
        fake::respond(jar_url, body(whole));
        r.before();
        if (!links) {
            links = true;
            continue;
        }
        EXPECT_EQ(get_bs_version(first), 1) << r.name;
        EXPECT_TRUE(read("app.jar") == whole) << r.name;
        std::vector<std::string> asked;
        for (std::size_t i = 0; i < fake::transport().urls.size(); ++i)
            if (fake::transport().urls[i] == jar_url)
                asked.push_back(fake::transport().request_headers[i]);
        EXPECT_EQ(asked, r.asked) << r.name;
        expect_no_leftovers();
        if (fs::exists(outside)) {
            EXPECT_EQ(fs::file_size(outside), half) << r.name;
        }
    }
    fs::remove(outside);
}

} // namespace

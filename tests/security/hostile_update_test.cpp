// The real test launcher against an update host that offers a jar which cannot start the
// application (a compromised mirror, or a publishing mistake), and starts whose app.jar is
// already bad. The application tells which jar it runs from (test.WhereFrom): builds of the same
// signed classes differ in their archive comment.
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

const std::string dialog_text = "One or more application files";
const std::string old_version = "1.0.0-rc2147483647.b1";
const std::string new_version = "2.0.0-rc2147483647.b1";

class HostileUpdate : public ::testing::Test {
  protected:
    install_dir install;
    std::unique_ptr<tls_server> server;
    const std::string signed_jar = test_app_jar("app.jar");

    void SetUp() override {
        write_file(install.path("lib/include.jar"), test_app_jar("include.jar"));
        write_file(install.path("lib/bl.jar"), with_comment(signed_jar, "fallback"));
        write_file(install.path("behaviour"), "test.WhereFrom\nwherefrom\n");
        install.create_data_dir();
    }

    std::string data(const char* name) const { return install.data_dir() + "/" + name; }

    // Server 0 answers `version` and serves `jar` (or a 404 page when it is empty).
    void serve(const std::string& version, const std::string& jar) {
        tls_server_options options = test_host_options(18441);
        server.reset();
        server = std::make_unique<tls_server>(options);
        ASSERT_NE(server->port(), 0) << server->error();
        server->on(version_target, answer(http_response(200, version + ";/j/app.jar")));
        server->on("/j/app.jar", answer(jar.empty() ? http_response(404, "<html>gone</html>")
                                                    : http_response(200, jar)));
    }

    // Starts the launcher; the archive comment of the jar the application ran from, or
    // "<did not run>".
    std::string start(run_result* out = nullptr, const std::vector<std::string>& env = {}) {
        remove_tree(install.path("wherefrom"));
        make_dirs(install.path("wherefrom"));
        run_result r = install.run_launcher(120000, env);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err.find(dialog_text), std::string::npos) << r.err;
        if (out)
            *out = r;
        std::string dir = install.path("wherefrom");
        std::vector<std::string> reports;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (dirent* e = ::readdir(d))
                if (e->d_name[0] != '.')
                    reports.push_back(dir + "/" + e->d_name);
            ::closedir(d);
        }
        if (reports.size() != 1)
            return "<did not run>";
        std::string text = read_file(reports[0]);
        std::size_t at = text.find("comment=");
        return at == std::string::npos ? text : text.substr(at + 8, text.find('\n', at) - at - 8);
    }

    // The signed jar with its main class swapped for another class after signing.
    std::string tampered_jar() {
        std::string work = make_temp_dir("vistal-tamper");
        std::string jar = work + "/app.jar";
        write_file(jar, with_comment(signed_jar, "tampered"));
        make_dirs(work + "/swap/a/b/a/a");
        write_file(work + "/swap/a/b/a/a/a.class", test_app_jar("include.jar"));
        auto r = run({jdk_home() + "/bin/jar", "--update", "--file", jar, "-C", work + "/swap",
                      "a/b/a/a/a.class"},
                     work);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        std::string bytes = read_file(jar);
        remove_tree(work);
        return bytes;
    }
};

TEST_F(HostileUpdate, ANewerJarThatCannotStartNeverReplacesTheGoodOne) {
    const std::string good = with_comment(signed_jar, "good 1.0.0");
    struct {
        const char* what;
        std::string jar;
    } offers[] = {
        {"unsigned", test_app_jar("app-unsigned.jar")},
        {"signed by another key", test_app_jar("app-other-key.jar")},
        {"main class replaced after signing", tampered_jar()},
        {"no main class", test_app_jar("app-without-main.jar")},
    };
    for (const auto& offer : offers) {
        write_file(data("app.jar"), good);
        write_file(data("app.ver"), old_version);
        serve("2.0.0", offer.jar);

        EXPECT_EQ(start(), "good 1.0.0") << offer.what;
        EXPECT_EQ(read_file(data("app.jar")), good) << offer.what;
        EXPECT_EQ(read_file(data("app.ver")), old_version) << offer.what;
        EXPECT_FALSE(exists(data("app.jar.part"))) << offer.what;
    }
}

TEST_F(HostileUpdate, ABadAppJarOnDiskStartsTheFallbackAndIsHealedByTheNextAnswer) {
    const std::string planted[] = {test_app_jar("app-unsigned.jar"),
                                   test_app_jar("app-other-key.jar"), tampered_jar(),
                                   test_app_jar("app-without-main.jar")};
    for (const auto& bad : planted) {
        write_file(data("app.jar"), bad);
        write_file(data("app.ver"), new_version);
        // The host offers what app.ver already claims: nothing is downloaded on this start.
        serve("2.0.0", with_comment(signed_jar, "healed 2.0.0"));

        EXPECT_EQ(start(), "fallback");
        EXPECT_EQ(read_file(data("app.ver")), "");

        EXPECT_EQ(start(), "healed 2.0.0");
        EXPECT_EQ(read_file(data("app.ver")), new_version);
        EXPECT_EQ(read_file(data("app.jar")), with_comment(signed_jar, "healed 2.0.0"));
    }
}

// A host that offers an old signed jar under a version it was not published as: installed, it
// would be recorded as that version, and no later release would count as newer.
TEST_F(HostileUpdate, AJarOfferedUnderAnotherVersionThanItsStampIsNeverInstalled) {
    const std::string good = with_comment(signed_jar, "good 1.0.0");
    const std::string log = install.path("support.log");
    struct {
        const char* what;
        std::string version, jar;
    } offers[] = {
        {"stamped 2.0.0, offered as the highest version", "2147483647.2147483647.2147483647",
         signed_jar},
        {"stamped 2.0.0, offered as 2.0.0.b7", "2.0.0.b7", signed_jar},
        {"no stamp", "2.0.0", signed_app_jar("")},
    };
    for (const auto& offer : offers) {
        write_file(data("app.jar"), good);
        write_file(data("app.ver"), old_version);
        std::remove(log.c_str());
        serve(offer.version, offer.jar);

        EXPECT_EQ(start(nullptr, {"VISTAL_LOG=" + log}), "good 1.0.0") << offer.what;
        EXPECT_EQ(read_file(data("app.jar")), good) << offer.what;
        EXPECT_EQ(read_file(data("app.ver")), old_version) << offer.what;
        EXPECT_NE(read_file(log).find("verdict=version-mismatch"), std::string::npos)
            << offer.what << "\n"
            << read_file(log);
    }
}

TEST_F(HostileUpdate, AFirstInstallWhoseDownloadFailsStartsTheFallback) {
    const std::string failed_offers[] = {"", test_app_jar("app-unsigned.jar")};
    for (const auto& offer : failed_offers) {
        std::remove(data("app.jar").c_str());
        std::remove(data("app.ver").c_str());
        serve("2.0.0", offer);
        EXPECT_EQ(start(), "fallback");
        EXPECT_FALSE(exists(data("app.jar")));
    }
}

} // namespace

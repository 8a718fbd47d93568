// Whole starts of the test launcher with signed jars and the system JDK: where app.jar comes
// from, which jar the application runs from, and how a failing application forces a new
// download.
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "tests/support/test_host.h"
#include "tests/support/tls_server.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

using namespace testsupport;

namespace {

class UpdateStart : public ::testing::Test {
  protected:
    install_dir install;
    std::unique_ptr<tls_server> server;

    void SetUp() override {
        write_file(install.path("lib/include.jar"), test_app_jar("include.jar"));
        install.create_data_dir();
    }

    // Server 0 of the test launcher's list offers the signed application as version 2.0.0.
    tls_server& serve_application() {
        tls_server_options options = test_host_options(18441);
        server = std::make_unique<tls_server>(options);
        EXPECT_NE(server->port(), 0) << server->error();
        server->on(version_target, answer(http_response(200, "2.0.0;/j/app.jar")));
        server->on("/j/app.jar", answer(http_response(200, test_app_jar("app.jar"))));
        return *server;
    }

    std::size_t jar_requests() const { return server->requests_for("/j/app.jar"); }

    std::string data(const char* name) const { return install.data_dir() + "/" + name; }

    // The application proves it ran by writing loaded.txt.
    void behave(const char* behaviour) const {
        write_file(install.path("behaviour"), behaviour);
        if (exists(install.path("loaded.txt")))
            std::remove(install.path("loaded.txt").c_str());
    }
    bool application_ran() const { return exists(install.path("loaded.txt")); }
};

TEST_F(UpdateStart, FirstStartRunsTheDownloadedJar) {
    // The install's own jar has no main class: only the downloaded one can start.
    write_file(install.path("lib/bl.jar"), test_app_jar("app-without-main.jar"));
    serve_application();
    behave("test.UseInclude\n");

    auto r = install.run_launcher(60000);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(application_ran()) << r.err;
    EXPECT_TRUE(read_file(data("app.jar")) == test_app_jar("app.jar"));
    EXPECT_EQ(read_file(data("app.ver")), "2.0.0-rc2147483647.b1");
}

TEST_F(UpdateStart, WithoutServersTheInstallsJarRuns) {
    write_file(install.path("lib/bl.jar"), test_app_jar("app.jar"));
    write_file(data("app.jar"), test_app_jar("app-without-main.jar"));
    write_file(data("app.ver"), "2.0.0-rc2147483647.b1");
    behave("test.UseInclude\n");

    auto r = install.run_launcher(60000);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(application_ran()) << r.err;
    EXPECT_EQ(read_file(data("app.ver")), "2.0.0-rc2147483647.b1");
}

TEST_F(UpdateStart, AFailingApplicationIsDownloadedAgainAtTheNextStart) {
    write_file(install.path("lib/bl.jar"), test_app_jar("app-without-main.jar"));
    serve_application();

    behave("test.Throw\n");
    auto failed = install.run_launcher(60000);
    EXPECT_EQ(failed.exit_code, 1);
    EXPECT_NE(failed.err.find("boom"), std::string::npos) << failed.err;
    EXPECT_EQ(read_file(data("app.ver")), "");
    EXPECT_EQ(jar_requests(), 1u);

    behave("test.UseInclude\n");
    auto next = install.run_launcher(60000);
    EXPECT_EQ(next.exit_code, 0) << next.err;
    EXPECT_TRUE(application_ran()) << next.err;
    EXPECT_EQ(jar_requests(), 2u);
    EXPECT_EQ(read_file(data("app.ver")), "2.0.0-rc2147483647.b1");
}

// An installed app.jar whose main class the start cannot use ends the start without constructing
// it: app.ver is emptied so that the next online start downloads the jar again, and the exit code
// is that of a failed start (the exception left pending cannot be shown without a display).
class UnusableMainClass : public UpdateStart {
  protected:
    run_result start_with(const char* jar) {
        unsetenv("DISPLAY");
        write_file(install.path("lib/bl.jar"), test_app_jar("app.jar"));
        write_file(data("app.jar"), test_app_jar(jar));
        write_file(data("app.ver"), "2.0.0-rc2147483647.b1");
        serve_application();
        behave("test.UseInclude\n");
        return install.run_launcher(60000);
    }
    void expect_purged_without_construction(const run_result& r) {
        EXPECT_EQ(r.exit_code, 1) << r.err;
        EXPECT_FALSE(r.timed_out);
        EXPECT_FALSE(application_ran()) << "the main object was constructed\n" << r.err;
        EXPECT_EQ(read_file(data("app.ver")), "");
        EXPECT_EQ(jar_requests(), 0u);
    }
};

TEST_F(UnusableMainClass, WithoutANoArgumentConstructorTheLookupYieldsNothing) {
    auto r = start_with("app-no-default-constructor.jar");
    expect_purged_without_construction(r);
    EXPECT_NE(r.err.find("mid == NULL"), std::string::npos) << r.err;
}

TEST_F(UnusableMainClass, ANativeTheClassDoesNotDeclareStopsTheStartAtRegistration) {
    expect_purged_without_construction(start_with("app-missing-native.jar"));
}

} // namespace

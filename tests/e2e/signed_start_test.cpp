// The real test launcher starting the signed test application offline (no update server
// answers): from lib/bl.jar and lib/include.jar through the embedded loader to the main object,
// and the fatal-error dialog's text on standard error where no dialog can be shown.
#include "tests/support/process.h"
#include "tests/support/test_app.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

using testsupport::install_dir;

namespace {

const std::string dialog =
    "Error\n\nOne or more application files\nmay have been corrupted.\n\nPlease restart the "
    "application and if the\nproblem persists, reinstall.\n\n";

// An offline install whose fallback jar is `fallback`, with an app.ver the purge would empty.
struct signed_install {
    install_dir dir;
    explicit signed_install(const std::string& fallback, const std::string& behaviour = "test.Ok") {
        testsupport::write_file(dir.path("lib/bl.jar"), testsupport::test_app_jar(fallback));
        testsupport::write_file(dir.path("lib/include.jar"),
                                testsupport::test_app_jar("include.jar"));
        testsupport::write_file(dir.path("behaviour"), behaviour + "\n");
        dir.create_data_dir();
        testsupport::write_file(version_file(), "1.0.0\n");
    }
    std::string version_file() const { return dir.data_dir() + "/app.ver"; }
    testsupport::run_result start(const std::vector<std::string>& env = {}) {
        return dir.run_launcher(120000, env);
    }
};

class SignedStart : public ::testing::Test {
  protected:
    // Without DISPLAY the VM is headless, so the dialog cannot be shown.
    void SetUp() override { unsetenv("DISPLAY"); }
};

TEST_F(SignedStart, MainObjectIsConstructedAndTheProcessEndsWithZero) {
    signed_install app("app.jar", "test.UseInclude\nloaded.txt");
    auto r = app.start();
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    // The behaviour ran inside the constructor and reached the include jar through the same
    // signature-validating main loader.
    EXPECT_EQ(testsupport::read_file(app.dir.path("loaded.txt")),
              "included\ncom.tolvane.classloader.SignatureValidatingClassLoader\ntrue\n");
    EXPECT_EQ(testsupport::read_file(app.version_file()), "1.0.0\n");
}

TEST_F(SignedStart, ThrowingConstructorEmptiesTheVersionFileAndShowsTheException) {
    struct {
        const char* behaviour;
        const char* shown;
    } cases[] = {
        {"test.Throw", "boom"},
        // Without a message the dialog names the exception.
        {"test.ThrowWithoutMessage", "java.lang.IllegalStateException"},
    };
    for (const auto& c : cases) {
        signed_install app("app.jar", c.behaviour);
        auto r = app.start();
        EXPECT_EQ(r.exit_code, 1) << c.behaviour;
        EXPECT_EQ(r.err, dialog + c.shown + "\n") << c.behaviour;
        EXPECT_EQ(testsupport::read_file(app.version_file()), "") << c.behaviour;
    }
}

TEST_F(SignedStart, MainClassThatFailsToLoadKeepsTheVersionFile) {
    struct {
        const char* jar;
        const char* shown;
    } cases[] = {
        {"app-unsigned.jar", "a.b.a.a.a not signed"},
        {"app-other-key.jar", "a.b.a.a.a signature invalid"},
        {"app-without-main.jar", "a.b.a.a.a"}, // the ClassNotFoundException's message
    };
    for (const auto& c : cases) {
        signed_install app(c.jar);
        auto r = app.start();
        EXPECT_EQ(r.exit_code, 1) << c.jar;
        EXPECT_EQ(r.err, dialog + c.shown + "\n") << c.jar;
        EXPECT_EQ(testsupport::read_file(app.version_file()), "1.0.0\n") << c.jar;
    }
}

TEST_F(SignedStart, UnreachableDisplayAlsoPrintsTheDialog) {
    signed_install app("app.jar", "test.Throw");
    auto r = app.start({"DISPLAY=:59999"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, dialog + "boom\n");
}

} // namespace

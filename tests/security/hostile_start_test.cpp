// The real test launcher started from a current directory that someone else can write. That
// directory holds everything a careless launcher would take from it: a VM library, a splash
// library and a C runtime, jars signed with the right key but of another build, a splash image
// that blocks whoever opens it, unsigned classes for the VM's class path and a native library
// for the application's library path. The install's own files are used and nothing planted is
// loaded or opened, however the launcher is started: by its absolute path, by a relative one,
// or through a symbolic link in the hostile directory.
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "tests/support/test_jars.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace testsupport;

namespace {

// Java sources planted as compiled classes: each records its initialisation in the current
// directory.
const char* const planted_sources[][2] = {
    {"a/b/a/a/a.java",
     "package a.b.a.a;\npublic class a { static { p.Planted.record(\"a.b.a.a.a\"); } }\n"},
    {"p/Planted.java",
     "package p;\npublic class Planted {\n"
     "  static { record(\"p.Planted\"); }\n"
     "  public static void record(String what) {\n"
     "    try { java.io.FileWriter w = new java.io.FileWriter(\"planted-class\", true);\n"
     "          w.write(what + \"\\n\"); w.close(); } catch (java.io.IOException e) { }\n"
     "  }\n}\n"},
};

class HostileStart : public ::testing::Test {
  protected:
    void SetUp() override {
        write_file(install.path("lib/bl.jar"), with_comment(test_app_jar("app.jar"), "install"));
        write_file(install.path("lib/include.jar"), test_app_jar("include.jar"));
        launcher = install.launcher();

        hostile = std::filesystem::canonical(make_temp_dir("vistal-hostile")).string();
        for (const char* dir : {"jre/lib/server", "lib", "img", "report", "classes"})
            make_dirs(hostile + "/" + dir);
        const std::string planted = read_file(PLANTED_LIBRARY);
        ASSERT_FALSE(planted.empty()) << PLANTED_LIBRARY;
        for (const char* lib : {"jre/lib/server/libjvm.so", "jre/lib/libsplashscreen.so",
                                "jre/lib/libc.so.6", "lib/libplanted.so"})
            write_file(hostile + "/" + lib, planted);
        // The right signer, another build: a downgrade if it were taken.
        write_file(hostile + "/lib/bl.jar", with_comment(test_app_jar("app.jar"), "planted"));
        write_file(hostile + "/lib/include.jar", test_app_jar("include.jar"));
        // Opening a FIFO without a writer blocks: a launcher that opens it never ends.
        ASSERT_EQ(mkfifo((hostile + "/img/splash.png").c_str(), 0644), 0);

        std::vector<std::string> javac = {jdk_home() + "/bin/javac", "-d", hostile};
        for (const auto& source : planted_sources) {
            std::string path = hostile + "/classes/" + source[0];
            make_dirs(path.substr(0, path.rfind('/')));
            write_file(path, source[1]);
            javac.push_back(path);
        }
        auto compiled = run(javac, hostile, 120000);
        ASSERT_EQ(compiled.exit_code, 0) << compiled.err;
        ASSERT_TRUE(exists(hostile + "/a/b/a/a/a.class") && exists(hostile + "/p/Planted.class"));
    }
    void TearDown() override { remove_tree(hostile); }

    // Starts `program` in the hostile directory with `behaviour` for the application.
    run_result start(const std::string& program, const std::string& behaviour) {
        write_file(hostile + "/behaviour", behaviour);
        auto r = run({program}, hostile, 120000);
        EXPECT_FALSE(r.timed_out) << program << ": the planted splash image was opened";
        return r;
    }

    // Nothing planted ran: no library constructor, no class initialiser.
    void expect_nothing_planted_ran(const std::string& when) {
        EXPECT_FALSE(exists(hostile + "/planted-loaded"))
            << when << ": " << read_file(hostile + "/planted-loaded");
        EXPECT_FALSE(exists(hostile + "/planted-class"))
            << when << ": " << read_file(hostile + "/planted-class");
    }

    // The one report of test.WhereFrom, removed once read.
    std::string where_from() {
        auto listing =
            run({"/bin/sh", "-c", "cat report/*.txt && rm -f report/*.txt"}, hostile, 10000);
        return listing.out;
    }

    install_dir install;
    std::string launcher, hostile;
};

TEST_F(HostileStart, OnlyTheInstallsFilesAreUsedHoweverTheLauncherIsStarted) {
    ASSERT_EQ(symlink(launcher.c_str(), (hostile + "/vistal").c_str()), 0);
    const std::string relative = "../" + install.root().substr(install.root().rfind('/') + 1) +
                                 "/" + launcher.substr(launcher.rfind('/') + 1);
    ASSERT_EQ(hostile.substr(0, hostile.rfind('/')),
              install.root().substr(0, install.root().rfind('/')));

    // A symbolic link's directory is not the install directory: the link is resolved.
    for (const std::string& program : {launcher, relative, std::string("./vistal")}) {
        auto r = start(program, "test.WhereFrom\nreport\n");
        EXPECT_EQ(r.exit_code, 0) << program << ": " << r.err;
        std::string report = where_from();
        EXPECT_EQ(report.rfind("jar=" + install.path("lib/bl.jar") + "\ncomment=install\n", 0), 0u)
            << program << ": " << report;
        expect_nothing_planted_ran(program);
    }
}

TEST_F(HostileStart, NothingComesFromTheCurrentDirectoryThroughTheVmsPaths) {
    // A name no jar holds goes to the VM's own loader: its class path names nothing.
    auto r = start(launcher, "p.Planted\n");
    EXPECT_EQ(r.exit_code, 1) << r.err;
    expect_nothing_planted_ran("a class that no jar holds");

    // The application's library path is the install's lib, which has no such library.
    r = start(launcher, "test.LoadLibrary\nplanted\nloadlibrary.txt\n");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(read_file(hostile + "/loadlibrary.txt"), "refused\n");
    expect_nothing_planted_ran("the application's native library");

    // Without the install's jars the main class is not found anywhere, the planted one included.
    std::remove(install.path("lib/bl.jar").c_str());
    r = start(launcher, "");
    EXPECT_EQ(r.exit_code, 1) << r.err;
    expect_nothing_planted_ran("a missing application jar");
}

} // namespace

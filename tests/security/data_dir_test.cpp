// A data directory that another local user has prepared: links, fifos and second names in the
// places of the launcher's files, and a umask that would leave what it makes writable by all.
// Whatever is planted, no file outside the data directory changes or appears, and the start
// ends in a defined way.
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "tests/support/test_host.h"
#include "tests/support/tls_server.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

const std::string current_version = "2.0.0-rc2147483647.b1";

enum class plant { symlink, dangling_symlink, hard_link, fifo };

const char* describe(plant p) {
    switch (p) {
    case plant::symlink:
        return "link to a file";
    case plant::dangling_symlink:
        return "link to nothing";
    case plant::hard_link:
        return "second name of a file";
    case plant::fifo:
        return "fifo";
    }
    return "?";
}

class HostileDataDir : public ::testing::Test {
  protected:
    install_dir install;
    std::unique_ptr<tls_server> server;
    std::string outside; // another user's files, on the same file system

    void SetUp() override {
        write_file(install.path("lib/include.jar"), test_app_jar("include.jar"));
        write_file(install.path("lib/bl.jar"), test_app_jar("app.jar"));
        install.create_data_dir();
        outside = install.path("outside");
        make_dirs(outside);
    }

    std::string data(const std::string& name) const { return install.data_dir() + "/" + name; }

    // Server 0 offers the signed application as version 2.0.0; `version_delay_ms` holds the
    // version answer back.
    void serve(unsigned version_delay_ms = 0) {
        tls_server_options options = test_host_options(18441);
        server = std::make_unique<tls_server>(options);
        ASSERT_NE(server->port(), 0) << server->error();
        server->on(version_target,
                   script().pause(version_delay_ms).send(http_response(200, "2.0.0;/j/app.jar")));
        server->on("/j/app.jar", answer(http_response(200, test_app_jar("app.jar"))));
    }

    std::size_t jar_requests() const { return server->requests_for("/j/app.jar"); }

    // Puts `what` at the data directory's `name`; a victim, when there is one, lies outside and
    // holds `victim_text`.
    void put(plant what, const std::string& name, const std::string& victim) const {
        std::string at = data(name);
        std::remove(at.c_str());
        switch (what) {
        case plant::symlink:
            write_file(victim, "VICTIM");
            ASSERT_EQ(::symlink(victim.c_str(), at.c_str()), 0);
            break;
        case plant::dangling_symlink:
            ASSERT_EQ(::symlink(victim.c_str(), at.c_str()), 0);
            break;
        case plant::hard_link:
            write_file(victim, "VICTIM");
            ASSERT_EQ(::link(victim.c_str(), at.c_str()), 0);
            break;
        case plant::fifo:
            ASSERT_EQ(::mkfifo(at.c_str(), 0666), 0);
            break;
        }
    }

    // The victim as it was planted: unchanged, or still absent for a dangling link.
    void expect_untouched(plant what, const std::string& victim, const std::string& row) const {
        if (what == plant::dangling_symlink) {
            EXPECT_FALSE(exists(victim)) << row << ": a file was made through the link";
        } else if (what != plant::fifo) {
            EXPECT_EQ(read_file(victim), "VICTIM") << row;
        }
    }

    void behave(const char* behaviour) const {
        write_file(install.path("behaviour"), behaviour);
        std::remove(install.path("loaded.txt").c_str());
    }
    bool application_ran() const { return exists(install.path("loaded.txt")); }

    static bool regular_file(const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
};

// Offline, the application fails, and the purge that follows empties app.ver: through whatever
// was planted there, that would empty or make another user's file. Anything but a plain app.ver
// is replaced by an empty one instead (it reads as the oldest version), and the start goes on.
TEST_F(HostileDataDir, AnythingPlantedAsAppVerIsReplacedNeverFollowed) {
    behave("test.Throw\n");
    for (plant what : {plant::symlink, plant::dangling_symlink, plant::hard_link, plant::fifo}) {
        std::string row = std::string("app.ver as ") + describe(what);
        std::string victim = outside + "/victim-app.ver";
        std::remove(victim.c_str());
        put(what, "app.ver", victim);

        auto r = install.run_launcher(60000);
        EXPECT_FALSE(r.timed_out) << row;
        EXPECT_EQ(r.exit_code, 1) << row << "\n" << r.err;
        EXPECT_NE(r.err.find("boom"), std::string::npos) << row << "\n" << r.err;
        expect_untouched(what, victim, row);
        // Read only when it is a plain file: the test must not hang on a fifo either.
        ASSERT_TRUE(regular_file(data("app.ver"))) << row;
        EXPECT_EQ(read_file(data("app.ver")), "") << row;
    }
}

// A planted app.lock gives no lock: the launcher asks the server but downloads nothing, and the
// application starts from what is there.
TEST_F(HostileDataDir, APlantedLockFileGivesNoLockAndNoDownload) {
    write_file(data("app.jar"), test_app_jar("app.jar"));
    write_file(data("app.ver"), "1.0.0");
    serve();
    behave("test.UseInclude\n");
    for (plant what : {plant::symlink, plant::dangling_symlink, plant::hard_link, plant::fifo}) {
        std::string row = std::string("app.lock as ") + describe(what);
        std::string victim = outside + "/victim-app.lock";
        std::remove(victim.c_str());
        put(what, "app.lock", victim);
        std::size_t before = jar_requests();

        auto r = install.run_launcher(60000);
        EXPECT_EQ(r.exit_code, 0) << row << "\n" << r.err;
        EXPECT_TRUE(application_ran()) << row << "\n" << r.err;
        EXPECT_EQ(jar_requests(), before) << row;
        EXPECT_EQ(read_file(data("app.ver")), "1.0.0") << row;
        expect_untouched(what, victim, row);
    }
}

// Links planted at the temporaries' old fixed names after the launcher has cleared leftovers
// (while it waits for the version answer) catch nothing: the download goes to a new file of its
// own, the victims keep their content, and app.jar and app.ver are plain files afterwards.
TEST_F(HostileDataDir, LinksPlantedWhileTheCheckRunsCatchNothing) {
    serve(1500);
    behave("test.UseInclude\n");
    background launcher({install.launcher()}, install.root());
    for (int i = 0; i < 2000 && server->requests().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(server->requests().empty());
    put(plant::symlink, "app.jar.part", outside + "/victim-jar");
    put(plant::symlink, "app.ver.part", outside + "/victim-ver");
    put(plant::dangling_symlink, "app.jar.part.0", outside + "/made-jar");

    EXPECT_EQ(launcher.wait(60000), 0);
    EXPECT_TRUE(application_ran());
    EXPECT_TRUE(read_file(outside + "/victim-jar") == "VICTIM") << "written through the link";
    EXPECT_TRUE(read_file(outside + "/victim-ver") == "VICTIM") << "written through the link";
    EXPECT_FALSE(exists(outside + "/made-jar"));
    EXPECT_TRUE(regular_file(data("app.jar")));
    EXPECT_TRUE(regular_file(data("app.ver")));
    EXPECT_TRUE(read_file(data("app.jar")) == test_app_jar("app.jar"));
    EXPECT_EQ(read_file(data("app.ver")), current_version);

    // The next start that holds the lock removes the links themselves.
    auto r = install.run_launcher(60000);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(read_file(outside + "/victim-jar") == "VICTIM") << "written through the link";
    EXPECT_FALSE(exists(data("app.jar.part")));
    EXPECT_FALSE(exists(data("app.ver.part")));
    struct stat st {};
    EXPECT_NE(::lstat(data("app.jar.part.0").c_str(), &st), 0);
}

// Under umask 000, and over files left writable by all, what the launcher makes and commits is
// 0644 (the lock file 0600): no other user can change the jar the next start runs. The named
// semaphore, which nobody else needs to open, is narrowed to 0600 as well.
TEST_F(HostileDataDir, FilesTheLauncherMakesAre0644WhateverTheUmask) {
    write_file(data("app.jar"), "OLD");
    write_file(data("app.ver"), "1.0.0");
    const std::string semaphore = "/dev/shm/sem.QuarlenVistalMutex";
    for (const std::string& file : {data("app.jar"), data("app.ver"), semaphore})
        ::chmod(file.c_str(), 0666);
    serve();
    behave("test.UseInclude\n");

    mode_t saved = ::umask(0);
    auto r = install.run_launcher(60000);
    ::umask(saved);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(read_file(data("app.ver")), current_version);
    for (const char* name : {"app.jar", "app.ver"}) {
        struct stat st {};
        ASSERT_EQ(::lstat(data(name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 07777, 0644u) << name;
    }
    // Whoever can read the lock file can hold the lock: it is the owner's alone.
    for (const std::string& lock : {data("app.lock"), semaphore}) {
        struct stat st {};
        ASSERT_EQ(::lstat(lock.c_str(), &st), 0) << lock;
        EXPECT_EQ(st.st_mode & 07777, 0600u) << lock;
    }
}

// A fifo, or a link to one, as app.jar or app.npx would hold the runtime's open of it for good.
// Online, such an app.jar is taken as missing and the install's jar starts; such an app.npx is
// left out of gSVCL's loaders, as when there is none.
TEST_F(HostileDataDir, AFifoAsAppJarOrAppNpxNeverHoldsAStart) {
    write_file(data("app.ver"), current_version);
    serve();
    behave("test.Natives\nnatives.txt\n");
    const std::string fifo = outside + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const std::string include = install.path("lib/include.jar");
    for (const std::string name : {"app.jar", "app.npx"}) {
        for (plant what : {plant::fifo, plant::symlink}) {
            std::string row = name + " as " + (what == plant::fifo ? "a fifo" : "a link to one");
            for (const char* file : {"app.jar", "app.npx"})
                std::remove(data(file).c_str());
            write_file(data("app.jar"), test_app_jar("app.jar"));
            std::remove(data(name).c_str());
            ASSERT_EQ(what == plant::fifo ? ::mkfifo(data(name).c_str(), 0666)
                                          : ::symlink(fifo.c_str(), data(name).c_str()),
                      0);
            std::remove(install.path("natives.txt").c_str());

            auto r = install.run_launcher(30000);
            ASSERT_FALSE(r.timed_out) << row;
            EXPECT_EQ(r.exit_code, 0) << row << "\n" << r.err;
            std::string natives = read_file(install.path("natives.txt"));
            std::string jars = name == "app.jar" ? install.path("lib/bl.jar") : data("app.jar");
            EXPECT_NE(natives.find("\ngSVCL.jars=" + jars + "|" + include + "\n"),
                      std::string::npos)
                << row << "\n"
                << natives << r.err;
        }
    }
    EXPECT_EQ(jar_requests(), 0u);
}

} // namespace

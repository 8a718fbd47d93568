// The shipped sources as a Windows launcher with loopback update hosts (vistal-wine-test.exe),
// started under Wine in a staged install directory against the scripted TLS server of the
// Linux side. The stand-in jvm.dll lets VM creation succeed and records the jar list the
// launcher hands to the main loader. The data directory is the one Windows gives: the Wine
// prefix's common application-data folder. A host program, because the servers are Linux code.
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "tests/support/test_host.h"
#include "tests/support/tls_server.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

using namespace testsupport;

namespace {

const std::string jar_target = "/j/app.jar";
const std::string new_version = "2.0.0-rc2147483647.b1";
const std::string old_version = "1.0.0-rc2147483647.b1";
constexpr int first_port = 18441; // the eleven hosts of the test deployment
constexpr int crl_port = 18460;   // the revocation list the test certificates name
constexpr int exit_after_jar_list = 42;

// The prefix wine-run.sh uses.
std::string wine_prefix() {
    for (const char* name : {"WINEPREFIX", "VISTAL_WINEPREFIX"})
        if (const char* v = std::getenv(name); v && *v)
            return v;
    return "/tmp/vistal-wineprefix-" + std::to_string(::getuid());
}

// The prefix's registry names the common application-data folder; one that names a folder that
// does not exist makes the folder query fail (SHGetFolderPathA gives 0x80070002).
// Restored to what a new prefix holds when the test ends.
class common_folder_missing {
  public:
    common_folder_missing() { set("C:\\vistal-missing-common-folder"); }
    ~common_folder_missing() { set("%ProgramData%"); }
    common_folder_missing(const common_folder_missing&) = delete;
    common_folder_missing& operator=(const common_folder_missing&) = delete;

  private:
    static void set(const std::string& value) {
        run_result r = run({"bash", VISTAL_WINE_RUN, "reg", "add",
                            "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User "
                            "Shell Folders",
                            "/v", "Common AppData", "/t", "REG_EXPAND_SZ", "/d", value, "/f"},
                           "/", 60000);
        EXPECT_EQ(r.exit_code, 0) << r.err;
    }
};

const std::string data_suffix = "Quarlen Zuzidivoravev Vivurezuv\\Quarlen Vistal\\2.0.2";
const std::string data_windows = "C:\\ProgramData\\" + data_suffix;

std::string data_dir() {
    return wine_prefix() +
           "/drive_c/ProgramData/Quarlen Zuzidivoravev Vivurezuv/Quarlen Vistal/2.0.2";
}

class WineUpdate : public ::testing::Test {
  protected:
    std::string install = make_temp_dir("vistal-wine-update");
    std::unique_ptr<tls_server> crl;
    std::vector<std::unique_ptr<tls_server>> servers;

    void SetUp() override {
        // The installer makes the data directory; without it every start is offline.
        remove_tree(data_dir());
        make_dirs(data_dir());
        make_dirs(install + "/jre/bin/server");
        make_dirs(install + "/lib");
        ASSERT_TRUE(copy_file(VISTAL_WINE_TEST_EXE, install + "/vistal.exe"));
        ASSERT_TRUE(copy_file(STANDIN_JVM, install + "/jre/bin/server/jvm.dll"));
        write_file(install + "/lib/include.jar", test_app_jar("include.jar"));
        write_file(install + "/lib/bl.jar", test_app_jar("app.jar"));

        tls_server_options o;
        o.plain = true;
        o.port = crl_port;
        crl = std::make_unique<tls_server>(o);
        ASSERT_NE(crl->port(), 0) << crl->error();
        crl->on("/ca.crl", answer(http_response(200, read_file(pki("ca.crl")))));
    }
    void TearDown() override {
        remove_tree(install);
        remove_tree(data_dir());
    }

    static std::string pki(const char* name) { return build_dir() + "/tests/pki/" + name; }

    tls_server& serve(int index) {
        tls_server_options o;
        o.cert = pki("server.pem");
        o.key = pki("server.key");
        o.port = first_port + index;
        servers.push_back(std::make_unique<tls_server>(o));
        EXPECT_NE(servers.back()->port(), 0) << servers.back()->error();
        return *servers.back();
    }
    // Offers the signed test application as 2.0.0.
    tls_server& publish(int index) {
        tls_server& s = serve(index);
        s.on(version_target, answer(http_response(200, "2.0.0;" + jar_target)));
        s.on(jar_target, answer(http_response(200, test_app_jar("app.jar"))));
        return s;
    }
    void install_build(const std::string& jar, const std::string& version) {
        write_file(data_dir() + "/app.jar", jar);
        write_file(data_dir() + "/app.ver", version);
    }
    // One start; the exit code. The launcher ends through the stand-in once it has given the
    // main loader its jar list.
    int start() {
        ::unlink((install + "/jvm-standin.txt").c_str());
        run_result r = run({"bash", VISTAL_WINE_RUN, install + "/vistal.exe"}, install, 120000,
                           {"VISTAL_STANDIN_RESULT=0"});
        EXPECT_FALSE(r.timed_out);
        return r.exit_code;
    }
    // The jar list the stand-in VM received.
    std::string jar_list() const {
        std::string record = read_file(install + "/jvm-standin.txt"), jars;
        for (std::size_t at = record.find("jar="); at != std::string::npos;
             at = record.find("jar=", at + 1))
            jars += record.substr(at + 4, record.find('\n', at) - at - 4) + ";";
        return jars;
    }
    std::string data(const char* name) const {
        std::string path = data_dir() + "/" + name;
        return exists(path) ? read_file(path) : "<absent>";
    }
    void expect_no_part_files() const {
        EXPECT_TRUE(files_starting(data_dir(), "app.jar.part").empty());
        EXPECT_TRUE(files_starting(data_dir(), "app.ver.part").empty());
    }
    // The install directory as the launcher names it: the executable's, through Wine's Z: drive.
    std::string install_windows(const char* file) const {
        std::string path = "Z:" + install + "/" + file;
        for (char& c : path)
            if (c == '/')
                c = '\\';
        return path;
    }
    // Another Windows process holding `file` of the data directory open, as a running
    // application holds its jar; let go when the holder goes.
    class holder {
      public:
        holder(const WineUpdate& test, const char* file)
            : ready_(test.install + "/held"), release_(test.install + "/release"),
              process_({"bash", VISTAL_WINE_RUN, HOLD_FILE, data_windows + "\\" + file,
                        test.install_windows("held"), test.install_windows("release")},
                       test.install) {
            for (int waited = 0; !exists(ready_) && waited < 60000; waited += 50)
                ::usleep(50000);
            EXPECT_TRUE(exists(ready_)) << "the holder did not open " << file;
        }
        ~holder() {
            write_file(release_, "");
            EXPECT_EQ(process_.wait(30000), 0);
        }

      private:
        std::string ready_, release_;
        background process_;
    };
    std::string online_jars() const {
        return data_windows + "\\app.jar;" + install_windows("lib/include.jar") + ";";
    }
    std::string offline_jars() const {
        return install_windows("lib/bl.jar") + ";" + install_windows("lib/include.jar") + ";";
    }
};

TEST_F(WineUpdate, FirstInstallDownloadsIntoTheCommonDataFolder) {
    tls_server& s = publish(0);
    EXPECT_EQ(start(), exit_after_jar_list);
    EXPECT_TRUE(data("app.jar") == test_app_jar("app.jar"));
    EXPECT_EQ(data("app.ver"), new_version);
    EXPECT_EQ(jar_list(), online_jars());
    EXPECT_EQ(s.requests_for(jar_target), 1u);
    expect_no_part_files();
}

// Windows refuses to rename over a file another process holds open: the download waits beside
// app.jar until a start finds it free, and is not fetched again meanwhile.
TEST_F(WineUpdate, ANewBuildWaitsWhileAppJarIsHeldOpenAndIsInstalledAtTheNextStart) {
    const std::string old_jar = test_app_jar("app-other-key.jar");
    install_build(old_jar, old_version);
    tls_server& s = publish(0);
    {
        holder running_application(*this, "app.jar");
        for (int start_while_held = 0; start_while_held < 2; ++start_while_held) {
            EXPECT_EQ(start(), exit_after_jar_list);
            EXPECT_EQ(s.requests_for(jar_target), 1u);
            EXPECT_TRUE(data("app.jar") == old_jar);
            EXPECT_EQ(data("app.ver"), old_version);
            EXPECT_TRUE(data("app.jar.new") == test_app_jar("app.jar"));
            EXPECT_EQ(data("app.ver.new"), new_version);
            EXPECT_EQ(jar_list(), online_jars());
        }
    }
    EXPECT_EQ(start(), exit_after_jar_list);
    EXPECT_EQ(s.requests_for(version_target), 3u);
    EXPECT_EQ(s.requests_for(jar_target), 1u);
    EXPECT_TRUE(data("app.jar") == test_app_jar("app.jar"));
    EXPECT_EQ(data("app.ver"), new_version);
    EXPECT_EQ(data("app.jar.new"), "<absent>");
    EXPECT_EQ(data("app.ver.new"), "<absent>");
    expect_no_part_files();
}

// Without the common folder the data files lie in the install directory: never in the current
// directory's drive root, where a join onto an empty folder would put them.
TEST_F(WineUpdate, WithoutTheCommonFolderTheDataFilesLieInTheInstallDirectory) {
    common_folder_missing missing;
    tls_server& s = publish(0);
    EXPECT_EQ(start(), exit_after_jar_list);
    EXPECT_EQ(s.requests_for(jar_target), 1u);
    EXPECT_TRUE(read_file(install + "/app.jar") == test_app_jar("app.jar"));
    EXPECT_EQ(read_file(install + "/app.ver"), new_version);
    EXPECT_TRUE(exists(install + "/app.lock"));
    EXPECT_EQ(jar_list(),
              install_windows("app.jar") + ";" + install_windows("lib/include.jar") + ";");
    const std::string company = "Quarlen Zuzidivoravev Vivurezuv";
    for (const std::string& root : {std::string("/"), wine_prefix() + "/drive_c/"}) {
        EXPECT_FALSE(exists(root + company)) << root;
        for (const char* name : {"app.ver", "app.lock", "app.jar"})
            EXPECT_FALSE(exists(root + name)) << root << name;
    }
    EXPECT_FALSE(exists(wine_prefix() + "/drive_c/vistal-missing-common-folder"));
    EXPECT_EQ(data("app.ver"), "<absent>");
}

TEST_F(WineUpdate, AnEqualVersionIsNotDownloaded) {
    install_build(test_app_jar("app.jar"), new_version);
    tls_server& s = publish(0);
    EXPECT_EQ(start(), exit_after_jar_list);
    EXPECT_EQ(s.requests_for(version_target), 1u);
    EXPECT_EQ(s.requests_for(jar_target), 0u);
    EXPECT_EQ(jar_list(), online_jars());
}

TEST_F(WineUpdate, AServiceUnavailablePageSendsTheLauncherToTheNextHost) {
    install_build(test_app_jar("app-other-key.jar"), old_version);
    tls_server& unavailable = serve(0);
    unavailable.on(version_target, answer(http_response(503, "503 Service Unavailable\n",
                                                        {{"Content-Type", "text/plain"}})));
    tls_server& s = publish(1);
    EXPECT_EQ(start(), exit_after_jar_list);
    EXPECT_EQ(unavailable.requests_for(jar_target), 0u);
    EXPECT_EQ(s.requests_for(jar_target), 1u);
    EXPECT_TRUE(data("app.jar") == test_app_jar("app.jar"));
    EXPECT_EQ(data("app.ver"), new_version);
    EXPECT_EQ(jar_list(), online_jars());
}

TEST_F(WineUpdate, ATruncatedDownloadLeavesTheOldBuild) {
    const std::string old_jar = test_app_jar("app-other-key.jar");
    install_build(old_jar, old_version);
    const std::string jar = test_app_jar("app.jar");
    tls_server& s = serve(0);
    s.on(version_target, answer(http_response(200, "2.0.0;" + jar_target)));
    s.on(jar_target,
         script{}
             .send(response_head(200, {{"Content-Length", std::to_string(jar.size())}}) +
                   jar.substr(0, jar.size() / 2))
             .abort());
    EXPECT_EQ(start(), exit_after_jar_list);
    EXPECT_EQ(s.requests_for(jar_target), 1u);
    EXPECT_TRUE(data("app.jar") == old_jar);
    EXPECT_EQ(data("app.ver"), old_version);
    EXPECT_EQ(jar_list(), online_jars());
    expect_no_part_files();
}

TEST_F(WineUpdate, ElevenRefusingHostsLeadToTheOfflineRoad) {
    // Nothing listens on any of the eleven ports.
    const std::string old_jar = test_app_jar("app-other-key.jar");
    install_build(old_jar, old_version);
    EXPECT_EQ(start(), exit_after_jar_list);
    EXPECT_EQ(jar_list(), offline_jars());
    EXPECT_TRUE(data("app.jar") == old_jar);
    EXPECT_EQ(data("app.ver"), old_version);
}

TEST_F(WineUpdate, AFirstStartWithoutServersRunsTheInstallsJar) {
    EXPECT_EQ(start(), exit_after_jar_list);
    EXPECT_EQ(jar_list(), offline_jars());
    EXPECT_EQ(data("app.jar"), "<absent>");
    // Reading the version makes app.ver, empty, when there is none.
    EXPECT_EQ(data("app.ver"), "");
}

} // namespace

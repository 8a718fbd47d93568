// The data directory, the jar list and the path-append rules they are built with.
#include "base/path_append.h"
#include "launcher/data_dir.h"
#include "tests/support/fake_platform.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

using launcher::app_path_size;
using launcher::jar_slots;

std::string append(std::string path, const char* more, char sep = '\\') {
    char buffer[1024] = {};
    std::strcpy(buffer, path.c_str());
    base::append_path_rules(buffer, more, sep);
    return buffer;
}

TEST(PathAppend, PutsExactlyOneSeparatorBetween) {
    EXPECT_EQ(append("C:\\a", "b"), "C:\\a\\b");
    EXPECT_EQ(append("C:\\a\\", "b"), "C:\\a\\b");
    EXPECT_EQ(append("C:\\a", "\\\\b"), "C:\\a\\b");
    EXPECT_EQ(append("C:\\a", ""), "C:\\a");
    EXPECT_EQ(append("C:\\a", "\\"), "C:\\a");
    EXPECT_EQ(append("", "b"), "b");
    EXPECT_EQ(append("", "/var/lib", '/'), "/var/lib");
    EXPECT_EQ(append("/var/lib", "x/y", '/'), "/var/lib/x/y");
}

TEST(PathAppend, RefusesResultsBeyondMaxPathAndLeavesThePathAlone) {
    std::string base(249, 'a');
    EXPECT_EQ(append(base, "123456789"), base + "\\123456789"); // 259 characters and the terminator
    EXPECT_EQ(append(base, "1234567890"), base);                // 260 would not fit
    char buffer[1024] = {};
    std::strcpy(buffer, base.c_str());
    EXPECT_FALSE(base::append_path_rules(buffer, std::string(300, 'b').c_str(), '\\'));
    EXPECT_EQ(std::string(buffer), base);
}

class DataDir : public ::testing::Test {
  protected:
    void SetUp() override { fake::reset(); }

    char appDataPath[app_path_size] = {};
    void init() { launcher::init(appDataPath, "/unused"); }
    int initjars(char** list) { return launcher::initjars(appDataPath, list); }
    void data_file_path(char* out, const char* file) {
        launcher::data_file_path(appDataPath, out, file);
    }
};

TEST_F(DataDir, IsThreeLevelsBelowTheCommonFolderWithoutTrailingSeparator) {
    std::string sep(1, platform::path_separator);
    fake::platform().appdata = platform::path_separator == '\\' ? "C:\\ProgramData" : "/var/lib";
    init();
    std::string expected = fake::platform().appdata + sep + "Quarlen Zuzidivoravev Vivurezuv" +
                           sep + "Quarlen Vistal" + sep + "2.0.2";
    EXPECT_EQ(std::string(appDataPath), expected);
    if (platform::path_separator == '\\') {
        EXPECT_STREQ(appDataPath,
                     "C:\\ProgramData\\Quarlen Zuzidivoravev Vivurezuv\\Quarlen Vistal\\2.0.2");
    }

    char* list[jar_slots] = {};
    ASSERT_EQ(initjars(list), 3);
    EXPECT_EQ(std::string(list[0]), expected + sep + "app.npx");
    EXPECT_EQ(std::string(list[1]), expected + sep + "app.jar");
    EXPECT_EQ(list[2], fake::installed(platform::include_jar));
    EXPECT_EQ(list[3], nullptr);
}

TEST_F(DataDir, CommonFolderWithTrailingSeparatorGivesNoDoubleSeparator) {
    std::string sep(1, platform::path_separator);
    fake::platform().appdata = "root" + sep;
    init();
    char* list[jar_slots] = {};
    initjars(list);
    EXPECT_EQ(std::string(list[1]), "root" + sep + "Quarlen Zuzidivoravev Vivurezuv" + sep +
                                        "Quarlen Vistal" + sep + "2.0.2" + sep + "app.jar");
}

TEST_F(DataDir, FailedFolderQueryPutsTheFilesInTheInstallDirectoryNeverTheCurrentOne) {
    fake::platform().appdata_status = -2147467259; // E_FAIL
    init();
    EXPECT_EQ(appDataPath, fake::installed("").substr(0, fake::installed("").size() - 1));
    char* list[jar_slots] = {};
    EXPECT_EQ(initjars(list), 3);
    EXPECT_EQ(list[0], fake::installed("app.npx"));
    EXPECT_EQ(list[1], fake::installed("app.jar"));
    char ver[app_path_size];
    data_file_path(ver, "app.ver");
    EXPECT_EQ(ver, fake::installed("app.ver"));

    // A folder the three names do not fit behind counts as none.
    std::string sep(1, platform::path_separator);
    fake::platform().appdata_status = 0;
    fake::platform().appdata = sep + std::string(220, 'f');
    init();
    EXPECT_EQ(appDataPath, fake::installed("").substr(0, fake::installed("").size() - 1));

    // Without the executable's path either there is no data file at all, not a bare name.
    std::memset(appDataPath, 0, sizeof appDataPath);
    fake::platform().executable.clear();
    init();
    EXPECT_STREQ(appDataPath, "");
    data_file_path(ver, "app.ver");
    EXPECT_STREQ(ver, "");
    EXPECT_EQ(initjars(list), 3);
    EXPECT_STREQ(list[1], "");
    EXPECT_STREQ(list[2], "");
}

TEST_F(DataDir, InstallPathIsTheExecutablesDirectoryEvenAtARoot) {
    std::string sep(1, platform::path_separator);
    std::string root = platform::path_separator == '\\' ? "C:\\" : "/";
    char out[platform::max_path];
    fake::platform().executable = root + "vistal";
    ASSERT_TRUE(platform::install_path(out, "lib"));
    EXPECT_EQ(out, root + "lib");
    ASSERT_TRUE(platform::install_path(out, ""));
    EXPECT_EQ(out, root);
    // The joined path must fit the path buffers too.
    fake::platform().executable = root + std::string(249, 'd') + sep + "vistal";
    EXPECT_TRUE(platform::install_path(out, "lib"));
    EXPECT_FALSE(platform::install_path(out, platform::vm_library));
    EXPECT_STREQ(out, "");
}

} // namespace

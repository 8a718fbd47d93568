// Whether a download is a whole jar: a whole archive passes, with or without a comment; an
// archive cut at any length, one with bytes behind its end, and anything that is no archive
// at all do not.
#include "tests/support/test_jars.h"
#include "update/archive_check.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using update::is_whole_archive;

namespace fs = std::filesystem;
using testsupport::tiny_jar;
using testsupport::with_comment;

namespace {

class ArchiveCheck : public ::testing::Test {
  protected:
    fs::path file;

    void SetUp() override {
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        file = fs::temp_directory_path() / ("vistal-archive-" + std::to_string(stamp));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove(file, ignored);
    }

    bool whole(const std::string& bytes) const {
        std::FILE* f = std::fopen(file.string().c_str(), "wb+");
        if (!f)
            return false;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fflush(f);
        bool result = is_whole_archive(f);
        std::fclose(f);
        return result;
    }
};

TEST_F(ArchiveCheck, WholeArchivesPass) {
    EXPECT_TRUE(whole(tiny_jar("a class")));
    EXPECT_TRUE(whole(tiny_jar(std::string(70000, 'x'))));
    // A comment that holds an end record's signature does not mislead the search.
    EXPECT_TRUE(whole(with_comment(tiny_jar("a class"), "build PK\x05\x06 2.0.0")));
    EXPECT_TRUE(whole(with_comment(tiny_jar("a class"), std::string(0xFFFF, 'c'))));
}

TEST_F(ArchiveCheck, CutOrExtendedArchivesFail) {
    const std::string jar = with_comment(tiny_jar("a class of some length"), "note");
    for (std::size_t length = 0; length < jar.size(); ++length)
        EXPECT_FALSE(whole(jar.substr(0, length))) << "cut to " << length;
    EXPECT_FALSE(whole(jar + "\n"));
    EXPECT_FALSE(whole(jar + jar));
}

TEST_F(ArchiveCheck, WhatIsNoArchiveFails) {
    const std::string jar = tiny_jar("a class");
    const std::string end_record = jar.substr(jar.size() - 22);
    for (const std::string& body :
         {std::string("<html><body>404 Not Found</body></html>\n"), std::string("2.0.0;/j/app.jar"),
          std::string(4096, '\0'),
          // An empty archive: an end record alone, behind a local header's signature.
          "PK\x03\x04" + std::string(30, '\0') + end_record,
          // A central directory that is not where the end record says.
          jar.substr(0, jar.size() - 22 - 57) + std::string(57, 'x') + end_record}) {
        EXPECT_FALSE(whole(body)) << body.substr(0, 20);
    }
}

} // namespace

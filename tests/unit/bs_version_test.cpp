// Version arithmetic: the answer scans, the app.ver reader and writer, the comparison.
#include "update/bs_version.h"

#include <gtest/gtest.h>
#include <string>

using update::app_ver_default;
using update::app_ver_size;
using update::bs_version;
using update::format_app_ver;
using update::is_newer;
using update::no_rc;
using update::read_app_ver;
using update::scan_answer;
using update::version_answer;

namespace {

std::string text_of(const bs_version& v) {
    char out[app_ver_size];
    return std::string(out, format_app_ver(v, out));
}

bs_version app_ver(const std::string& text) {
    bs_version v = app_ver_default;
    read_app_ver(text, &v);
    return v;
}

::testing::AssertionResult same(const bs_version& a, const bs_version& b) {
    if (a.major == b.major && a.minor == b.minor && a.patch == b.patch && a.rc == b.rc &&
        a.build == b.build)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << text_of(a) << " (rc " << a.rc << ") is not " << text_of(b) << " (rc " << b.rc << ")";
}

struct answer_case {
    const char* answer;
    bs_version version;
    const char* path;
};

TEST(AnswerScan, ReadsVersionAndPathByFourIndependentScans) {
    const std::string long_path = "/" + std::string(5000, 'x');
    const answer_case cases[] = {
        {"2.0.0;/j/app.jar", {2, 0, 0, no_rc, 1}, "/j/app.jar"},
        {"3.1.4-rc2.b17;/some/path/app.jar", {3, 1, 4, 2, 17}, "/some/path/app.jar"},
        {"1.2.3-rc4.b12;/p", {1, 2, 3, 4, 12}, "/p"},
        {"1.2.4-rc0.b3;/p", {1, 2, 4, 0, 3}, "/p"},
        // rc and build may come from the path when the version part lacks them.
        {"1.2.3;/dl/b2/app.jar", {1, 2, 3, no_rc, 2}, "/dl/b2/app.jar"},
        {"1.2.3;/dl/app-rc7.jar", {1, 2, 3, 7, 1}, "/dl/app-rc7.jar"},
        // Only the first '-' and the first 'b' count.
        {"1.2.3;/a-b/x-rc5", {1, 2, 3, no_rc, 1}, "/a-b/x-rc5"},
        {"1.2.3;/bin/b9", {1, 2, 3, no_rc, 1}, "/bin/b9"},
        // White space: before the version and the path, and ending the path.
        {"1.2.3.b4;/p/app.jar\r\n", {1, 2, 3, no_rc, 4}, "/p/app.jar"},
        {"   1.2.3;/p", {1, 2, 3, no_rc, 1}, "/p"},
        {"1.2.3; \t/p more", {1, 2, 3, no_rc, 1}, "/p"},
        {"1.2", {1, 2, 0, no_rc, 1}, ""},
        {"1.2.3;", {1, 2, 3, no_rc, 1}, ""},
        {"-rc5;x", {-1, 0, 0, no_rc, 1}, "x"}, // nothing before the '-'
        {";/p", {-1, 0, 0, no_rc, 1}, ""},     // nothing before the ';'
        {"", {-1, 0, 0, no_rc, 1}, ""},
        {"<html><body>Not here</body></html>", {-1, 0, 0, no_rc, 1}, ""},
        {"503 Service Unavailable", {503, 0, 0, no_rc, 1}, ""},
        {"-7.1.1;/p", {-7, 1, 1, no_rc, 1}, "/p"},
        {"+2.0.0;/p", {2, 0, 0, no_rc, 1}, "/p"},
        // Numbers beyond 32 bits end their scan and leave the field as it was.
        {"2147483647.-2147483648.0;/p", {2147483647, -2147483647 - 1, 0, no_rc, 1}, "/p"},
        {"99999999999.1.1;/p", {-1, 0, 0, no_rc, 1}, "/p"},
        {"1.2.3-rc2147483648.b99999999999999999999;/p", {1, 2, 3, no_rc, 1}, "/p"},
        {"1.2.3;/", {1, 2, 3, no_rc, 1}, "/"},
    };
    for (const auto& c : cases) {
        version_answer a = scan_answer(c.answer);
        EXPECT_TRUE(same(a.version, c.version)) << '"' << c.answer << '"';
        EXPECT_EQ(a.path, c.path) << '"' << c.answer << '"';
    }
    std::string long_answer = "1.2.3;" + long_path + " tail";
    EXPECT_EQ(scan_answer(long_answer).path, long_path);
}

TEST(AnswerScan, NeverReadsBeyondTheGivenText) {
    // The view ends before the digits and the path that follow it in memory.
    const char text[] = "1.2.3-rc4.b5;/p";
    version_answer a = scan_answer(std::string_view(text, 6)); // "1.2.3-"
    EXPECT_TRUE(same(a.version, {1, 2, 3, no_rc, 1}));
    EXPECT_TRUE(a.path.empty());
}

TEST(AppVer, ReadsWithThreeScansThatGoOnWhereTheLastStopped) {
    const std::pair<const char*, bs_version> cases[] = {
        {"1.2.3-rc4.b5", {1, 2, 3, 4, 5}},
        {"1.2.3.b45", {1, 2, 3, no_rc, 45}},
        {"1.2", {1, 2, 0, no_rc, 1}},
        {"", {0, 0, 0, no_rc, 1}},
        {"2.0.0-rc2147483647.b1", {2, 0, 0, no_rc, 1}},
        {"1.2.3-rc.b5", {1, 2, 3, no_rc, 5}},            // "-rc" taken, no number: ".b5" is next
        {"1.2.3-rc99999999999.b5", {1, 2, 3, no_rc, 5}}, // digits used up, rc unchanged
        {"1.2.3-x.b5", {1, 2, 3, no_rc, 1}},             // the 'x' stops both later scans
        {"1.2.3.b7-rc4", {1, 2, 3, no_rc, 7}},           // out of order: "-rc4" is never reached
        {" 1. 2. 3-rc 4.b 5\n", {1, 2, 3, 4, 5}},        // numbers skip white space
    };
    for (const auto& [text, expected] : cases)
        EXPECT_TRUE(same(app_ver(text), expected)) << '"' << text << '"';
}

TEST(AppVer, ReadsTheSameFromAnOpenFile) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::fputs("1.2.3-rc4.b5", f);
    std::rewind(f);
    bs_version v = app_ver_default;
    read_app_ver(f, &v);
    std::fclose(f);
    EXPECT_TRUE(same(v, {1, 2, 3, 4, 5}));
}

TEST(AppVer, WritesEveryRcAndReadsBackTheSameVersion) {
    const std::pair<bs_version, const char*> cases[] = {
        {{2, 0, 0, no_rc, 1}, "2.0.0-rc2147483647.b1"},
        {{3, 1, 4, no_rc, 17}, "3.1.4-rc2147483647.b17"},
        {{1, 2, 3, 4, 12}, "1.2.3-rc4.b12"},
        {{1, 2, 4, 0, 3}, "1.2.4-rc0.b3"},
        {{1, 2, 4, -5, 3}, "1.2.4-rc-5.b3"},
        {{-2147483647 - 1, -1, -1, 1, -2147483647 - 1}, "-2147483648.-1.-1-rc1.b-2147483648"},
    };
    for (const auto& [v, text] : cases) {
        EXPECT_EQ(text_of(v), text);
        bs_version back = app_ver(text);
        EXPECT_TRUE(same(back, v)) << text;
    }
}

struct update_case {
    const char* app_ver;
    const char* answer;
    bool newer;
    const char* written; // app.ver after the download
};

TEST(Compare, NewerAtTheFirstFieldThatDiffers) {
    const update_case cases[] = {
        {"", "2.0.0;/j/app.jar", true, "2.0.0-rc2147483647.b1"},
        {"1.2.3-rc2147483647.b9", "1.2.3-rc4.b12;/p", false, nullptr},
        {"1.2.3-rc4.b5", "1.2.3.b1;/p", true, "1.2.3-rc2147483647.b1"},
        {"1.2.3", "1.2.4-rc0.b3;/p", true, "1.2.4-rc0.b3"},
        {"1.2.3-rc2147483647.b1", "1.2.3;/p", false, nullptr}, // equal
        {"1.10.0", "1.9.9;/p", false, nullptr},
        {"1.2.3.b9", "1.2.3.b10;/p", true, "1.2.3-rc2147483647.b10"},
        // After the purge.
        {"", "0.0.0;/p", false, nullptr},
        {"", "0.0.0.b1;/p", false, nullptr},
        {"", "0.0.0.b2;/p", true, "0.0.0-rc2147483647.b2"},
        {"", "0.0.1;/p", true, "0.0.1-rc2147483647.b1"},
        // A server that did not answer is below everything written.
        {"", "<html>", false, nullptr},
    };
    for (const auto& c : cases) {
        bs_version local = app_ver(c.app_ver);
        version_answer a = scan_answer(c.answer);
        EXPECT_EQ(is_newer(a.version, local), c.newer) << c.app_ver << " vs " << c.answer;
        if (c.newer) {
            EXPECT_EQ(text_of(a.version), c.written) << c.answer;
        }
    }
}

} // namespace

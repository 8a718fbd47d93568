// The support log's lines: one line per call whatever the values hold, cut rather than split,
// and no more than a start's budget. The file is opened through VISTAL_LOG as at start-up.
#include "base/support_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

void set_log_variable(const std::string& value) {
#ifdef _WIN32
    _putenv_s("VISTAL_LOG", value.c_str());
#else
    setenv("VISTAL_LOG", value.c_str(), 1);
#endif
}

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SupportLog, LinesStayWholeEscapedCutAndWithinTheBudget) {
    if (base::support_log_open())
        GTEST_SKIP() << "VISTAL_LOG was set for the tests";
    const fs::path path = fs::temp_directory_path() / "vistal-support-log-test.log";
    fs::remove(path);
    set_log_variable(path.string());
    base::support_log log;
    base::open_support_log(log);
    set_log_variable("");
    ASSERT_TRUE(base::support_log_open());

    // What a server or a directory name may hold cannot start a line or a field of its own.
    base::support_line("answer")
        .text("path", "/a b\n2026-01-01T00:00:00.000Z 1 road mode=online\x1b[0m%")
        .text("host", L"h\u00e9st")
        .number("status", -1)
        .number("received", 4294967295u)
        .flag("answered", false);
    std::string first = read(path);
    ASSERT_EQ(first.find('\n'), first.size() - 1) << first;
    EXPECT_NE(first.find(" answer path=/a%20b%0A2026-01-01T00:00:00.000Z%201%20road%20mode="
                         "online%1B[0m%25 host=h%C3%A9st status=-1 received=4294967295 "
                         "answered=no\n"),
              std::string::npos)
        << first;

    // A value longer than a line is cut and marked: never half an escape, nor anything after a
    // byte that did not fit.
    std::string spaced;
    for (int i = 0; i < 3000; ++i)
        spaced += "x ";
    for (std::size_t skip = 0; skip < 3; ++skip) {
        const std::size_t before = read(path).size();
        base::support_line("download").text(std::string(skip, 'k').c_str(), spaced);
        std::string line = read(path).substr(before);
        EXPECT_LE(line.size(), base::support_line::line_size);
        ASSERT_GT(line.size(), 9u);
        EXPECT_EQ(line.substr(line.size() - 9), " cut=yes\n");
        std::string value = line.substr(line.find('=') + 1);
        value.resize(value.size() - 9);
        EXPECT_EQ(value.find("xx"), std::string::npos) << value.substr(value.size() - 20);
        EXPECT_NE(value.back(), '%');
        EXPECT_NE(value[value.size() - 2], '%');
    }

    // A start writes at most 1 MiB; then nothing, and the start goes on.
    for (int i = 0; i < 400; ++i)
        base::support_line("fetch").text("path", std::string(3000, 'x'));
    EXPECT_LE(fs::file_size(path), 1024u * 1024u);
    EXPECT_GT(fs::file_size(path), 1000u * 1024u);
    EXPECT_FALSE(base::support_log_open());
    std::error_code ignored;
    fs::remove(path, ignored);
}

// The process writes to the log that was opened last, and to none once that log has gone: a
// test's (or a run's) log does not outlive its owner.
TEST(SupportLog, LinesGoToTheOpenLogAndNowhereOnceItHasGone) {
    if (base::support_log_open())
        GTEST_SKIP() << "VISTAL_LOG was set for the tests";
    const fs::path path = fs::temp_directory_path() / "vistal-support-log-owner-test.log";
    fs::remove(path);
    {
        set_log_variable(path.string());
        base::support_log log;
        base::open_support_log(log);
        base::support_log second;
        base::open_support_log(second); // one log is open already: nothing changes
        set_log_variable("");
        EXPECT_FALSE(second.writing());
        base::support_line("start").text("version", "1");
        EXPECT_TRUE(base::support_log_open());
    }
    EXPECT_FALSE(base::support_log_open());
    const std::string written = read(path);
    base::support_line("late").text("version", "2");
    EXPECT_EQ(read(path), written);
    EXPECT_NE(written.find(" start version=1\n"), std::string::npos) << written;
    std::error_code ignored;
    fs::remove(path, ignored);
}

} // namespace

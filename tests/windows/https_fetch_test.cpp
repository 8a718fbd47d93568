// The fetch over the real WinINet transport under Wine, on the road every offline start takes:
// nothing answers on the port.
#include "update/https_fetch.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Port 1 on loopback: nothing listens there, the connection is refused at once.
const wchar_t* const closed_host = L"127.0.0.1:1";
const wchar_t* const path = L"/VistalServlet?getVersion=bootstrap&clientVersion=2.0";

TEST(WinInetFetch, MemoryModeGivesTheEmptyTextWhenNothingAnswers) {
    fetch_report report;
    char* text = https_data(closed_host, path, nullptr, &report);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(report.status, 0);
    std::free(text);
}

TEST(WinInetFetch, StreamModeWritesNothingWhenNothingAnswers) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    fetch_report report;
    EXPECT_EQ(https_data(closed_host, L"/app.jar", out, &report), nullptr);
    EXPECT_EQ(std::ftell(out), 0L);
    EXPECT_EQ(report.status, 0);
    std::fclose(out);
}

} // namespace

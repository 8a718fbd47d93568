// The fetch algorithm over the scripted transport: what it asks of the service, how it reads,
// what it delivers in memory and stream mode.
#include "net/wininet.h"
#include "tests/support/fake_transport.h"
#include "update/https_fetch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using update::fetch_progress;
using update::fetch_report;
using update::fetch_stage;
using update::file_sink;
using update::https_data;
using update::text_sink;

namespace {

const std::wstring host = L"updates.test.example";
const std::wstring path = L"/VistalServlet?getVersion=bootstrap&clientVersion=2.0";
const std::wstring url = L"https://" + host + path;

struct free_text {
    void operator()(char* p) const { std::free(p); }
};
using text = std::unique_ptr<char, free_text>;

class HttpsFetch : public ::testing::Test {
  protected:
    void SetUp() override { fake::reset_transport(); }

    void respond(const std::string& body, decltype(fake::response::headers) headers = {},
                 int status = 200, std::size_t max_chunk = 0) {
        fake::response r;
        r.status = status;
        r.headers = std::move(headers);
        r.body = body;
        r.max_chunk = max_chunk;
        fake::respond(url, r);
    }

    std::string fetch_text(fetch_report* report = nullptr) {
        text_sink into;
        EXPECT_TRUE(into.ready());
        const fetch_report r = https_data(host.c_str(), path.c_str(), into);
        if (report)
            *report = r;
        return into.text();
    }

    std::string fetch_stream(fetch_report* report = nullptr) {
        std::FILE* f = std::tmpfile();
        EXPECT_NE(f, nullptr);
        file_sink into(f);
        const fetch_report r = https_data(host.c_str(), path.c_str(), into);
        if (report)
            *report = r;
        std::string out;
        std::rewind(f);
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            out.append(buffer, n);
        std::fclose(f);
        return out;
    }

    static std::size_t reads() {
        auto& calls = fake::transport().calls;
        return static_cast<std::size_t>(std::count_if(
            calls.begin(), calls.end(), [](auto& c) { return c.rfind("read:", 0) == 0; }));
    }
};

TEST_F(HttpsFetch, AsksTheServiceForOneSecureRequestAndReleasesRequestBeforeSession) {
    respond("3.1.4;/app.jar", {{"Content-Length", "14"}});
    EXPECT_EQ(fetch_text(), "3.1.4;/app.jar");
    auto& t = fake::transport();
    EXPECT_EQ(t.user_agent, L"Quarlen Vistal/1.0");
    EXPECT_EQ(t.connect_timeout, 5000u);
    EXPECT_TRUE(t.callback_registered);
    const std::vector<std::string> expected = {
        "open_session",
        "set_connect_timeout:5000",
        "set_status_callback",
        "open_url:https://updates.test.example/"
        "VistalServlet?getVersion=bootstrap&clientVersion=2.0",
        "query_info:Content-Length:20",
        "read:8192",
        "close:request",
        "close:session",
    };
    EXPECT_EQ(t.calls, expected);
    EXPECT_EQ(t.open_handles, 0u);
}

TEST_F(HttpsFetch, CutsALongUrlAt254Characters) {
    std::wstring long_path = L"/" + std::wstring(300, L'p');
    text_sink into;
    https_data(host.c_str(), long_path.c_str(), into);
    ASSERT_EQ(fake::transport().urls.size(), 1u);
    const std::wstring& asked = fake::transport().urls[0];
    EXPECT_EQ(asked.size(), 254u);
    EXPECT_EQ(asked, (L"https://" + host + long_path).substr(0, 254));
}

TEST_F(HttpsFetch, MemoryModeKeepsTheLimitAndDropsTheChunkThatCrossesIt) {
    const std::size_t limit = 1048575;
    respond(std::string(limit, 'x'));
    EXPECT_EQ(fetch_text().size(), limit);

    // One byte more: the last chunk (8192 bytes holding that byte) and all after it go.
    respond(std::string(limit + 1, 'x') + std::string(20000, 'y'));
    fetch_report report;
    std::string got = fetch_text(&report);
    EXPECT_EQ(got.size(), 127u * 8192u);
    EXPECT_EQ(got.find('y'), std::string::npos);
    EXPECT_EQ(report.received, 128u * 8192u);
}

TEST_F(HttpsFetch, MemoryModeAppendsEachChunkAsText) {
    // A zero byte cuts its chunk; the next chunk is appended behind the cut.
    respond(std::string("abc\0def", 7) + "ghi", {}, 200, 7);
    EXPECT_EQ(fetch_text(), "abcghi");

    // A short chunk after a full one: the buffer is cleared between reads, so nothing of the
    // earlier chunk trails the short one.
    respond(std::string(8192, 'a') + "bbbbb");
    EXPECT_EQ(fetch_text(), std::string(8192, 'a') + "bbbbb");
}

TEST_F(HttpsFetch, StreamModeWritesEveryByteAndReturnsNull) {
    std::string body;
    for (int i = 0; i < 70000; ++i)
        body += static_cast<char>(i % 251);
    respond(body, {{"Content-Length", std::to_string(body.size())}}, 200, 3000);
    fetch_report report;
    EXPECT_EQ(fetch_stream(&report), body);
    EXPECT_EQ(report.received, body.size());
    EXPECT_FALSE(report.read_failed);
}

// The unit deployment allows 1 MiB and 30 s; the fake clock moves 10 ms at each look.
TEST_F(HttpsFetch, StreamModeStaysWithinItsBounds) {
    const std::size_t max = 1024 * 1024;
    fetch_report report;

    // Announced beyond the maximum: not begun.
    respond(std::string(100, 'x'), {{"Content-Length", std::to_string(max + 1)}});
    EXPECT_EQ(fetch_stream(&report), "");
    EXPECT_TRUE(report.too_large);
    EXPECT_EQ(reads(), 0u);

    // Growing beyond it unannounced: no byte past the maximum is written.
    fake::reset_transport();
    respond(std::string(max + 1, 'x'));
    EXPECT_EQ(fetch_stream(&report).size(), max);
    EXPECT_TRUE(report.too_large);

    // More than announced: the announced length is the body.
    fake::reset_transport();
    respond("0123456789EXTRA", {{"Content-Length", "10"}});
    EXPECT_EQ(fetch_stream(&report), "0123456789");
    EXPECT_EQ(report.received, 10u);
    EXPECT_FALSE(report.too_large);

    // A trickle ends at the least speed, and a slow body at the deadline.
    fake::reset_transport();
    respond(std::string(50000, 'x'), {}, 200, 1);
    EXPECT_LT(fetch_stream(&report).size(), 50000u);
    EXPECT_TRUE(report.timed_out);
    fake::reset_transport();
    respond(std::string(max, 'x'), {{"Content-Length", std::to_string(max)}}, 200, 200);
    EXPECT_LT(fetch_stream(&report).size(), max);
    EXPECT_TRUE(report.timed_out);
}

TEST_F(HttpsFetch, AFailedWriteEndsTheTransfer) {
    // A stream open for reading only refuses every write: the first failed write is the last read.
    const std::string file = ::testing::TempDir() + "vistal-refusing-stream";
    std::FILE* made = std::fopen(file.c_str(), "wb");
    ASSERT_NE(made, nullptr);
    std::fclose(made);
    std::FILE* read_only = std::fopen(file.c_str(), "rb");
    ASSERT_NE(read_only, nullptr);
    respond(std::string(100000, 'x'), {}, 200, 8192);
    file_sink into(read_only);
    const fetch_report report = https_data(host.c_str(), path.c_str(), into);
    EXPECT_TRUE(report.write_failed);
    EXPECT_EQ(reads(), 1u);
    std::fclose(read_only);
    std::remove(file.c_str());
}

TEST_F(HttpsFetch, ContentLengthDecidesWhenReadingEnds) {
    // Announced and delivered: no further read after the tenth byte.
    respond("0123456789", {{"content-length", "10"}});
    fetch_report report;
    EXPECT_EQ(fetch_text(&report), "0123456789");
    EXPECT_EQ(reads(), 1u);
    EXPECT_TRUE(report.has_content_length);
    EXPECT_EQ(report.content_length, 10u);

    // Absent, 0, or not a usable number: read until a read delivers nothing.
    for (const char* value : {"", "0", "abc", "-5", "4294967296", "99999999999999999999"}) {
        fake::reset_transport();
        if (*value)
            respond("0123456789", {{"Content-Length", value}});
        else
            respond("0123456789");
        EXPECT_EQ(fetch_text(&report), "0123456789") << value;
        EXPECT_EQ(reads(), 2u) << value;
        EXPECT_EQ(report.content_length, 0u) << value;
    }

    // The number at the start of the value counts.
    fake::reset_transport();
    respond("0123456789", {{"Content-Length", "4 bytes"}});
    EXPECT_EQ(fetch_text(&report), "0123456789");
    EXPECT_EQ(report.content_length, 4u);
}

TEST_F(HttpsFetch, ABodyShorterThanAnnouncedEndsTheTransfer) {
    // The body ends early: what arrived is delivered and the shortfall is reported.
    respond("short", {{"Content-Length", "100"}});
    fetch_report report;
    EXPECT_EQ(fetch_text(&report), "short");
    EXPECT_TRUE(report.read_failed);
    EXPECT_EQ(report.received, 5u);

    // The connection breaks: a failed read ends it the same way.
    fake::response r;
    r.headers = {{"Content-Length", "100"}};
    r.body = "short";
    r.read_fails_at_end = true;
    fake::respond(url, r);
    EXPECT_EQ(fetch_stream(&report), "short");
    EXPECT_TRUE(report.read_failed);
    EXPECT_EQ(fake::transport().open_handles, 0u);
}

TEST_F(HttpsFetch, AnErrorPageIsDeliveredWithItsStatus) {
    const std::string page = "<html><body>Not Found</body></html>";
    respond(page, {{"Content-Type", "text/html"}}, 404);
    fetch_report report;
    EXPECT_EQ(fetch_text(&report), page);
    EXPECT_EQ(report.status, 404);
    EXPECT_EQ(fetch_stream(&report), page);
    EXPECT_EQ(report.status, 404);
}

TEST_F(HttpsFetch, WithoutAResponseMemoryModeGivesTheEmptyTextAndStreamModeWritesNothing) {
    fetch_report report;
    EXPECT_EQ(fetch_text(&report), ""); // no such URL: the request cannot be opened
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(fetch_stream(&report), "");
    EXPECT_EQ(fake::transport().open_handles, 0u);

    fake::reset_transport();
    fake::transport().session_fails = true;
    respond("unreachable");
    EXPECT_EQ(fetch_text(&report), "");
    const std::vector<std::string> expected = {"open_session"};
    EXPECT_EQ(fake::transport().calls, expected);
}

TEST_F(HttpsFetch, GetHeaderGrowsItsBufferToWhatTheServiceAsksFor) {
    respond("", {{"X-Short", std::string(19, 's')}, {"X-Long", std::string(45, 'l')}});
    void* session = wininet::open_session(L"test", {});
    void* request = wininet::open_url(session, url.c_str(), 1);
    ASSERT_NE(request, nullptr);

    text value(get_header(request, wininet::query_custom, "X-Short"));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(value.get()), std::string(19, 's'));

    // Twenty characters or more need a second query, sized by the service's answer plus one.
    value.reset(get_header(request, wininet::query_custom, "X-Long"));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(value.get()), std::string(45, 'l'));

    EXPECT_EQ(get_header(request, wininet::query_custom, "X-Missing"), nullptr);
    EXPECT_EQ(get_header(request, 22, "X-Short"), nullptr); // another level fails

    const std::vector<std::string> queries = {"query_info:X-Short:20", "query_info:X-Long:20",
                                              "query_info:X-Long:46", "query_info:X-Missing:20",
                                              "query_info:X-Short:20"};
    std::vector<std::string> seen;
    for (auto& c : fake::transport().calls)
        if (c.rfind("query_info:", 0) == 0)
            seen.push_back(c);
    EXPECT_EQ(seen, queries);
    wininet::close(request);
    wininet::close(session);
}

// The GET over the service ends as the sink and the service say, and lets go of every handle,
// the request before the session, however it ends.
TEST_F(HttpsFetch, TheGetEndsAsTheSinkAndTheServiceSay) {
    struct recorder : transport::sink {
        bool wants_body = true;
        std::size_t enough = 0; // blocks after which it wants no more (0: never)
        std::size_t blocks = 0;
        bool head(const transport::response&) override { return wants_body; }
        bool body(const char*, std::size_t) override { return ++blocks != enough; }
    };
    using transport::ending;
    const struct {
        const char* what;
        bool session_fails, connect_fails, wants_body, read_fails;
        std::size_t enough;
        ending expected;
        std::size_t reads;
    } rows[] = {
        {"no session", true, false, true, false, 0, ending::no_response, 0},
        {"no connection", false, true, true, false, 0, ending::no_response, 0},
        {"body not wanted", false, false, false, false, 0, ending::declined, 0},
        {"body to its end", false, false, true, false, 0, ending::body_end, 3},
        {"enough after a block", false, false, true, false, 1, ending::stopped, 1},
        {"a read fails", false, false, true, true, 0, ending::broken, 3},
    };
    for (const auto& row : rows) {
        fake::reset_transport();
        fake::transport().session_fails = row.session_fails;
        fake::response r;
        r.connect_fails = row.connect_fails;
        r.body = std::string(10000, 'x');
        r.read_fails_at_end = row.read_fails;
        fake::respond(url, r);
        recorder sink;
        sink.wants_body = row.wants_body;
        sink.enough = row.enough;
        EXPECT_EQ(transport::get(url.c_str(), transport::options(), sink), row.expected)
            << row.what;
        EXPECT_EQ(reads(), row.reads) << row.what;
        EXPECT_EQ(fake::transport().open_handles, 0u) << row.what;
        const auto& calls = fake::transport().calls;
        if (!row.session_fails && !row.connect_fails) {
            EXPECT_EQ(std::vector<std::string>(calls.end() - 2, calls.end()),
                      (std::vector<std::string>{"close:request", "close:session"}))
                << row.what;
        }
    }
}

// What a progress listener heard: "running:<received>/<length>", "complete:...", "failed:...".
std::vector<std::string> heard;
void listen(void*, fetch_stage stage, std::uint64_t received, std::uint64_t length) {
    const char* name = stage == fetch_stage::running    ? "running"
                       : stage == fetch_stage::complete ? "complete"
                                                        : "failed";
    heard.push_back(std::string(name) + ":" + std::to_string(received) + "/" +
                    std::to_string(length));
}

TEST_F(HttpsFetch, ProgressIsToldPerBlockAndEndsOnceOnlyForADownloadThatCounts) {
    fetch_progress progress;
    progress.report = &listen;
    auto stream = [&]() {
        heard.clear();
        std::FILE* f = std::tmpfile();
        file_sink into(f, &progress);
        https_data(host.c_str(), path.c_str(), into);
        std::fclose(f);
        return heard;
    };
    using list = std::vector<std::string>;

    respond(std::string(20000, 'x'), {{"Content-Length", "20000"}});
    EXPECT_EQ(stream(), (list{"running:8192/20000", "running:16384/20000", "running:20000/20000",
                              "complete:20000/20000"}));
    // Unknown length, and a body cut short: the end says so.
    respond(std::string(100, 'x'), {}, 200, 60);
    EXPECT_EQ(stream(), (list{"running:60/0", "running:100/0", "complete:100/0"}));
    respond(std::string(100, 'x'), {{"Content-Length", "300"}});
    EXPECT_EQ(stream(), (list{"running:100/300", "failed:100/300"}));
    // An error page, no response at all, and memory mode are never shown.
    respond("not here", {}, 404);
    EXPECT_TRUE(stream().empty());
    fake::reset_transport();
    EXPECT_TRUE(stream().empty());
    respond("2.0.0;/j/app.jar");
    heard.clear();
    text_sink answer;
    https_data(host.c_str(), path.c_str(), answer);
    EXPECT_TRUE(heard.empty());
}

} // namespace

// The fetch through the real Linux transport against the scripted TLS server on loopback. The
// test deployment trusts only the test CA and bounds a silent transfer at a few seconds.
#include "update/https_fetch.h"
#include "config/deployment.h"
#include "net/transport.h"
#include "tests/support/tls_server.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>

using testsupport::answer;
using testsupport::http_response;
using testsupport::response_head;
using testsupport::script;
using testsupport::tls_server;
using testsupport::tls_server_options;

namespace {

const std::string pki = VISTAL_TEST_PKI_DIR;

tls_server_options with_cert(const std::string& name) {
    tls_server_options o;
    o.cert = pki + "/" + name + ".pem";
    o.key = pki + "/" + name + ".key";
    return o;
}

struct fetched {
    bool null = false;
    std::string body;
    fetch_report report;
};

std::wstring wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

fetched fetch_text(const tls_server& server, const std::string& path) {
    fetched f;
    char* text = https_data(server.whost().c_str(), wide(path).c_str(), nullptr, &f.report);
    f.null = text == nullptr;
    if (text)
        f.body = text;
    std::free(text);
    return f;
}

fetched fetch_stream(const tls_server& server, const std::string& path) {
    fetched f;
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    f.null = https_data(server.whost().c_str(), wide(path).c_str(), out, &f.report) == nullptr;
    std::rewind(out);
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0)
        f.body.append(buffer, n);
    std::fclose(out);
    return f;
}

class Fetch : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(server.port(), 0) << server.error(); }
    tls_server server{with_cert("server")};
};

TEST_F(Fetch, SendsTheCutUrlWithTheUserAgent) {
    // "https://" and "127.0.0.1:<port>" leave the rest of the 254 characters to the path.
    std::string path = "/long?" + std::string(300, 'q');
    std::string cut = path.substr(0, 254 - 8 - server.host().size());
    server.on(cut, answer(http_response(200, "cut")));
    fetched f = fetch_text(server, path);
    EXPECT_EQ(f.body, "cut");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, cut);
    EXPECT_EQ(server.requests()[0].header("User-Agent"), "Quarlen Vistal/1.0");
}

TEST_F(Fetch, MemoryModeKeepsAnswersUpToTheLimit) {
    std::string limit(1048575, 'x');
    server.on("/fits", answer(http_response(200, limit)));
    EXPECT_EQ(fetch_text(server, "/fits").body, limit);

    // One byte more: the read that crosses the limit and everything after it are dropped.
    server.on("/over", answer(http_response(200, limit + "y")));
    fetched f = fetch_text(server, "/over");
    EXPECT_FALSE(f.null);
    EXPECT_LT(f.body.size(), limit.size());
    EXPECT_GE(f.body.size(), limit.size() - 8192);
    EXPECT_EQ(f.body.find('y'), std::string::npos);
}

TEST_F(Fetch, MemoryModeStopsEachChunkAtAZeroByte) {
    // The pause makes the two sends arrive as separate reads.
    server.on("/zero", script{}
                           .send(response_head(200, {{"Content-Length", "10"}}))
                           .send(std::string("abc\0def", 7))
                           .pause(300)
                           .send("ghi"));
    fetched f = fetch_text(server, "/zero");
    EXPECT_EQ(f.body, "abcghi");
    EXPECT_EQ(f.report.received, 10u);
}

TEST_F(Fetch, ContentLengthEndsTheBodyWithoutAFurtherRead) {
    // Ten bytes and then silence without a close: a further read would wait out the receive
    // time-out and fail.
    server.on(
        "/ten",
        script{}.send(response_head(200, {{"Content-Length", "10"}}) + "0123456789").pause(60000));
    fetched f = fetch_text(server, "/ten");
    EXPECT_EQ(f.body, "0123456789");
    EXPECT_FALSE(f.report.read_failed);

    // Without Content-Length the body runs to the close.
    server.on("/open", answer(response_head(200, {{"Connection", "close"}}) + "until the close"));
    f = fetch_text(server, "/open");
    EXPECT_EQ(f.body, "until the close");
    EXPECT_FALSE(f.report.has_content_length);
    EXPECT_FALSE(f.report.read_failed);

    server.on("/empty", answer(response_head(200, {{"Content-Length", "0"}})));
    f = fetch_text(server, "/empty");
    EXPECT_EQ(f.body, "");
    EXPECT_FALSE(f.null);
    EXPECT_EQ(f.report.status, 200);
}

TEST_F(Fetch, StreamModeDeliversALargeBinaryBodyExactly) {
    std::string body;
    body.reserve(3 << 20);
    unsigned v = 1;
    while (body.size() < (3u << 20)) {
        v = v * 1103515245u + 12345u;
        body += static_cast<char>(v >> 24);
    }
    body[100] = '\0';
    server.on("/app.jar", answer(http_response(200, body)));
    fetched f = fetch_stream(server, "/app.jar");
    EXPECT_TRUE(f.null);
    EXPECT_EQ(f.body.size(), body.size());
    EXPECT_TRUE(f.body == body);
    EXPECT_EQ(f.report.status, 200);
}

TEST_F(Fetch, AnErrorPageIsDeliveredWithItsStatus) {
    const std::string page = "<html><head><title>404</title></head><body>gone</body></html>";
    server.on("/missing", answer(http_response(404, page, {{"Content-Type", "text/html"}})));
    fetched f = fetch_text(server, "/missing");
    EXPECT_EQ(f.body, page);
    EXPECT_EQ(f.report.status, 404);
    f = fetch_stream(server, "/missing");
    EXPECT_EQ(f.body, page);
    EXPECT_EQ(f.report.status, 404);
}

TEST_F(Fetch, HeaderQueriesAnswerLikeTheWindowsService) {
    const std::string longer(45, 'v');
    server.on("/headers", answer(http_response(200, "", {{"X-Long", longer}, {"X-Short", "s"}})));
    transport::session_options options;
    options.ca_bundle = deployment_ca_bundle;
    options.receive_timeout_ms = deployment_receive_timeout_ms;
    options.max_download = deployment_max_download;
    options.deadline_ms = deployment_download_deadline_ms;
    transport::handle session = transport::open_session(L"Quarlen Vistal/1.0", options);
    ASSERT_NE(session, nullptr);
    transport::handle request =
        transport::open_url(session, wide(server.url("/headers")).c_str(), 1);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(transport::status_code(request), 200);

    // Too small: nothing written, the size needed (with the terminator) reported.
    char buffer[64] = "x-long";
    unsigned long size = 20, error = 0;
    EXPECT_FALSE(transport::query_info(request, transport::query_custom, buffer, &size, &error));
    EXPECT_EQ(error, transport::error_insufficient_buffer);
    EXPECT_EQ(size, longer.size() + 1);
    EXPECT_TRUE(transport::query_info(request, transport::query_custom, buffer, &size, &error));
    EXPECT_EQ(std::string(buffer), longer);
    EXPECT_EQ(size, longer.size());

    std::strcpy(buffer, "X-Nothing");
    size = 20;
    EXPECT_FALSE(transport::query_info(request, transport::query_custom, buffer, &size, &error));
    EXPECT_EQ(error, transport::error_header_not_found);

    // get_header runs its regrow loop against the real answers.
    std::unique_ptr<char, decltype(&std::free)> value(
        get_header(request, transport::query_custom, "X-LONG"), &std::free);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(value.get()), longer);
    transport::close(request);
    transport::close(session);
}

TEST_F(Fetch, ARedirectIsFollowedToHttpsOnly) {
    server.on("/old", answer(http_response(302, "", {{"Location", "/new?x=1"}})));
    server.on("/new?x=1", answer(http_response(200, "moved here")));
    fetched f = fetch_text(server, "/old");
    EXPECT_EQ(f.body, "moved here");
    EXPECT_EQ(f.report.status, 200);
    EXPECT_EQ(server.request_lines(),
              (std::vector<std::string>{"GET /old HTTP/1.1", "GET /new?x=1 HTTP/1.1"}));

    tls_server_options plain;
    plain.plain = true;
    tls_server http(plain);
    http.on("/", answer(http_response(200, "insecure")));
    server.on("/down", answer(http_response(301, "", {{"Location", http.url("/")}})));
    f = fetch_text(server, "/down");
    EXPECT_EQ(f.body, "");
    EXPECT_EQ(f.report.status, 0);
    EXPECT_TRUE(http.requests().empty());
}

TEST_F(Fetch, AnEarlyCloseDeliversWhatArrived) {
    const std::string head = response_head(200, {{"Content-Length", "1000"}});
    server.on("/abort", script{}.send(head + std::string(100, 'a')).abort());
    server.on("/reset", script{}.send(head + std::string(100, 'r')).pause(200).reset());
    for (const char* path : {"/abort", "/reset"}) {
        fetched f = fetch_stream(server, path);
        EXPECT_EQ(f.body, std::string(100, path[1])) << path;
        EXPECT_TRUE(f.report.read_failed) << path;
        EXPECT_EQ(f.report.received, 100u) << path;
    }
}

TEST_F(Fetch, ShortStallsAreWaitedOutAndLongOnesEndTheTransfer) {
    server.on("/slow", script{}
                           .send("HTTP/1.1 200 OK\r\nContent-")
                           .pause(400)
                           .send("Length: 6\r\n\r\nab")
                           .pause(400)
                           .send("cdef"));
    EXPECT_EQ(fetch_text(server, "/slow").body, "abcdef");

    // Silence longer than the receive bound: the transfer ends as failed with what arrived.
    server.on("/stall", script{}
                            .send(response_head(200, {{"Content-Length", "100"}}) + "0123456789")
                            .pause(600000));
    fetched f = fetch_text(server, "/stall");
    EXPECT_EQ(f.body, "0123456789");
    EXPECT_TRUE(f.report.read_failed);
}

TEST(FetchWithoutAnswer, NothingIsDeliveredWhenNoTrustedServerAnswers) {
    tls_server_options silent;
    silent.silent = true;
    tls_server_options plain;
    plain.plain = true;
    tls_server untrusted(with_cert("untrusted")), wronghost(with_cert("wronghost")), quiet(silent),
        http(plain), gone(with_cert("server"));
    gone.stop(); // its port now refuses connections
    for (tls_server* s : {&untrusted, &wronghost, &quiet, &http, &gone}) {
        s->on("/data", answer(http_response(200, "must not arrive")));
        fetched text = fetch_text(*s, "/data");
        EXPECT_FALSE(text.null) << s->host();
        EXPECT_EQ(text.body, "") << s->host();
        EXPECT_EQ(text.report.status, 0) << s->host();
        fetched stream = fetch_stream(*s, "/data");
        EXPECT_EQ(stream.body, "") << s->host();
        EXPECT_TRUE(s->requests().empty()) << s->host();
    }
}

} // namespace

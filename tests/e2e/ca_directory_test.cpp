// A deployment's CA store given as a hashed directory (c_rehash layout) instead of a file: the
// Linux transport trusts exactly the certificates found there, no more and no fewer.
#include "net/transport.h"
#include "tests/support/process.h"
#include "tests/support/tls_server.h"

#include <gtest/gtest.h>
#include <string>

namespace {

const std::string pki = VISTAL_TEST_PKI_DIR;

// The status a GET of `url` gets with `ca` as the request's store; 0 when no answer was trusted.
int status_with(const std::string& ca, const std::wstring& url) {
    struct status_only : transport::sink {
        int status = 0;
        bool head(const transport::response& head) override {
            status = head.status();
            return false;
        }
        bool body(const char*, std::size_t) override { return false; }
    } seen;
    transport::options options;
    options.user_agent = L"Quarlen Vistal/1.0";
    options.ca_bundle = ca.c_str();
    options.receive_timeout_ms = 5000;
    options.max_download = 1 << 20;
    options.deadline_ms = 10000;
    transport::get(url.c_str(), options, seen);
    return seen.status;
}

TEST(CaDirectory, OnlyTheDirectorysCertificatesAreTrusted) {
    testsupport::tls_server_options o;
    o.cert = pki + "/server.pem";
    o.key = pki + "/server.key";
    testsupport::tls_server server(o);
    ASSERT_NE(server.port(), 0) << server.error();
    server.on("/v", testsupport::answer(testsupport::http_response(200, "1")));
    std::wstring url = L"https://" + server.whost() + L"/v";

    std::string with = testsupport::make_temp_dir("vistal-ca"),
                without = testsupport::make_temp_dir("vistal-ca");
    auto hash =
        testsupport::run({"openssl", "x509", "-hash", "-noout", "-in", pki + "/ca.pem"}, "/");
    ASSERT_EQ(hash.exit_code, 0) << hash.err;
    std::string name = hash.out.substr(0, hash.out.find('\n')) + ".0";
    ASSERT_TRUE(testsupport::copy_file(pki + "/ca.pem", with + "/" + name));
    // The same certificate under a name the lookup never reads counts for nothing.
    ASSERT_TRUE(testsupport::copy_file(pki + "/ca.pem", without + "/ca.pem"));

    EXPECT_EQ(status_with(with, url), 200);
    EXPECT_EQ(status_with(without, url), 0);
    EXPECT_EQ(server.requests().size(), 1u);
    testsupport::remove_tree(with);
    testsupport::remove_tree(without);
}

} // namespace

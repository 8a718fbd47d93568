// The signer check over jars that tools change after signing: a main class swapped in, a signer
// issued by a CA whose certificate the block carries.
#include "config/deployment.h"
#include "tests/security/jar_checks.h"
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "update/jar_signature.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using update::jar_verdict;

using namespace testsupport;

namespace {

class JarSignature : public ::testing::Test {
  protected:
    std::string work = make_temp_dir("vistal-jar-signature");
    void TearDown() override { remove_tree(work); }

    std::string tool(const char* name) const { return jdk_home() + "/bin/" + name; }
    void must(const std::vector<std::string>& argv) {
        auto r = run(argv, work, 120000);
        ASSERT_EQ(r.exit_code, 0) << argv[0] << " " << argv[1] << "\n" << r.out << r.err;
    }
};

TEST_F(JarSignature, AMainClassReplacedAfterSigningIsRefused) {
    std::string jar = work + "/app.jar";
    write_file(jar, test_app_jar("app.jar"));
    // Another class under the main class's name; the signature files stay as they were.
    make_dirs(work + "/swap/a/b/a/a");
    write_file(work + "/swap/a/b/a/a/a.class", test_app_jar("include.jar"));
    must({tool("jar"), "--update", "--file", jar, "-C", work + "/swap", "a/b/a/a/a.class"});
    EXPECT_EQ(check_file(jar), jar_verdict::digest_mismatch);
}

TEST_F(JarSignature, AnIssuerBesideThePinnedSignerIsRefused) {
    // The pinned certificate signs, but it was issued by a CA whose certificate the block carries
    // too: the loader demands the pinned digest of every certificate in the path.
    const std::string pass = "vistal-dev";
    auto keytool = [&](std::vector<std::string> args) {
        std::vector<std::string> argv = {tool("keytool")};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.insert(argv.end(), {"-storepass", pass, "-storetype", "PKCS12"});
        must(argv);
    };
    keytool({"-genkeypair", "-alias", "ca", "-keyalg", "RSA", "-keysize", "2048", "-dname",
             "CN=Issuer", "-ext", "bc:c", "-keystore", "ca.p12"});
    keytool({"-genkeypair", "-alias", "vistal", "-keyalg", "RSA", "-keysize", "2048", "-dname",
             "CN=Issued Signer", "-keystore", "signer.p12"});
    keytool({"-certreq", "-alias", "vistal", "-keystore", "signer.p12", "-file", "signer.csr"});
    keytool({"-gencert", "-alias", "ca", "-keystore", "ca.p12", "-infile", "signer.csr", "-outfile",
             "signer.cer"});
    keytool({"-exportcert", "-alias", "ca", "-keystore", "ca.p12", "-file", "ca.cer"});
    keytool(
        {"-importcert", "-noprompt", "-alias", "ca", "-keystore", "signer.p12", "-file", "ca.cer"});
    keytool({"-importcert", "-alias", "vistal", "-keystore", "signer.p12", "-file", "signer.cer"});

    std::string jar = work + "/app.jar";
    write_file(jar, test_app_jar("app-unsigned.jar"));
    must({tool("jarsigner"), "-keystore", work + "/signer.p12", "-storepass", pass, jar, "vistal"});

    // The pinned digest is the signer's own.
    auto der = run({"/usr/bin/openssl", "x509", "-inform", "DER", "-in", "signer.cer", "-outform",
                    "DER", "-out", "signer.der"},
                   work);
    ASSERT_EQ(der.exit_code, 0) << der.err;
    auto sha1 =
        run({"/usr/bin/openssl", "dgst", "-sha1", "-binary", "-out", "signer.sha1", "signer.der"},
            work);
    ASSERT_EQ(sha1.exit_code, 0) << sha1.err;
    std::string digest = read_file(work + "/signer.sha1");
    ASSERT_EQ(digest.size(), 20u);
    auto pinned = reinterpret_cast<const unsigned char*>(digest.data());
    EXPECT_EQ(check_file(jar, pinned), jar_verdict::signature_invalid);
}

} // namespace

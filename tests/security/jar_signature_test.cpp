// The signer check of a download over real jars, signed at test time with keytool and jarsigner,
// and over jars damaged the way a hostile host would damage them.
#include "launcher/deployment.h"
#include "tests/support/process.h"
#include "tests/support/test_jars.h"
#include "update/jar_signature.h"

#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

std::string app_file(const std::string& name) {
    return std::string(TEST_APP_DIR) + "/" + name;
}

jar_verdict check_bytes(const std::string& jar, const unsigned char* signer = signature) {
    std::FILE* file = std::tmpfile();
    if (!file)
        return jar_verdict::not_archive;
    std::fwrite(jar.data(), 1, jar.size(), file);
    std::fflush(file);
    jar_verdict v = check_main_class_signature(file, signer);
    std::fclose(file);
    return v;
}

jar_verdict check_file(const std::string& path, const unsigned char* signer = signature) {
    return check_bytes(read_file(path), signer);
}

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

TEST_F(JarSignature, JarsAreJudgedAsTheLoaderJudgesTheirMainClass) {
    EXPECT_EQ(check_file(app_file("app.jar")), jar_verdict::signed_by_pinned);
    // The archive comment lies outside every entry and changes nothing.
    EXPECT_EQ(check_bytes(with_comment(read_file(app_file("app.jar")), "build 7")),
              jar_verdict::signed_by_pinned);
    EXPECT_EQ(check_file(app_file("app-unsigned.jar")), jar_verdict::not_signed);
    EXPECT_EQ(check_file(app_file("app-other-key.jar")), jar_verdict::signature_invalid);
    EXPECT_EQ(check_file(app_file("app-without-main.jar")), jar_verdict::no_main_class);
    // Signed by the right key, but not the one this launcher pins.
    const unsigned char other[20] = {1, 2, 3};
    EXPECT_EQ(check_file(app_file("app.jar"), other), jar_verdict::signature_invalid);
    EXPECT_EQ(check_bytes(tiny_jar("not an application")), jar_verdict::no_main_class);
    EXPECT_EQ(check_bytes("<html>404</html>"), jar_verdict::not_archive);
}

TEST_F(JarSignature, AMainClassReplacedAfterSigningIsRefused) {
    std::string jar = work + "/app.jar";
    write_file(jar, read_file(app_file("app.jar")));
    // Another class under the main class's name; the signature files stay as they were.
    make_dirs(work + "/swap/a/b/a/a");
    write_file(work + "/swap/a/b/a/a/a.class", read_file(app_file("include.jar")));
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
    keytool({"-gencert", "-alias", "ca", "-keystore", "ca.p12", "-infile", "signer.csr",
             "-outfile", "signer.cer"});
    keytool({"-exportcert", "-alias", "ca", "-keystore", "ca.p12", "-file", "ca.cer"});
    keytool({"-importcert", "-noprompt", "-alias", "ca", "-keystore", "signer.p12", "-file",
             "ca.cer"});
    keytool({"-importcert", "-alias", "vistal", "-keystore", "signer.p12", "-file", "signer.cer"});

    std::string jar = work + "/app.jar";
    write_file(jar, read_file(app_file("app-unsigned.jar")));
    must({tool("jarsigner"), "-keystore", work + "/signer.p12", "-storepass", pass, jar, "vistal"});

    // The pinned digest is the signer's own.
    auto der = run({"/usr/bin/openssl", "x509", "-inform", "DER", "-in", "signer.cer", "-outform", "DER",
                    "-out", "signer.der"},
                   work);
    ASSERT_EQ(der.exit_code, 0) << der.err;
    auto sha1 = run({"/usr/bin/openssl", "dgst", "-sha1", "-binary", "-out", "signer.sha1", "signer.der"},
                    work);
    ASSERT_EQ(sha1.exit_code, 0) << sha1.err;
    std::string digest = read_file(work + "/signer.sha1");
    ASSERT_EQ(digest.size(), 20u);
    auto pinned = reinterpret_cast<const unsigned char*>(digest.data());
    EXPECT_EQ(check_file(jar, pinned), jar_verdict::signature_invalid);
}

// Little-endian fields of the central directory entry named `name` in `jar`.
void patch_central(std::string& jar, const std::string& name, std::size_t field,
                   std::uint32_t value) {
    for (std::size_t at = jar.find("PK\x01\x02"); at != std::string::npos;
         at = jar.find("PK\x01\x02", at + 4)) {
        std::size_t name_size = static_cast<unsigned char>(jar[at + 28]) |
                                static_cast<unsigned char>(jar[at + 29]) << 8;
        if (jar.compare(at + 46, name_size, name) != 0)
            continue;
        for (int i = 0; i < 4; ++i)
            jar[at + field + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        return;
    }
    FAIL() << name << " not in the directory";
}

TEST_F(JarSignature, HostileSizesAndOffsetsAreRefusedWithoutReadingPastThem) {
    const std::string good = read_file(app_file("app.jar"));
    struct {
        const char* entry;
        std::size_t field; // 20 compressed size, 24 size, 42 local header offset
        std::uint32_t value;
        jar_verdict expected;
    } cases[] = {
        {"a/b/a/a/a.class", 24, 0x7FFFFFF0, jar_verdict::too_large},
        {"META-INF/MANIFEST.MF", 24, 0xFFFFFFF0, jar_verdict::too_large},
        {"META-INF/VISTAL.RSA", 20, 0x00FFFFFF, jar_verdict::not_archive},
        {"META-INF/VISTAL.SF", 42, 0xFFFFFF00, jar_verdict::not_archive},
        // Inflates to more, or to less, than announced.
        {"a/b/a/a/a.class", 24, 10, jar_verdict::not_archive},
        {"META-INF/MANIFEST.MF", 24, 100000, jar_verdict::not_archive},
    };
    for (const auto& c : cases) {
        std::string jar = good;
        patch_central(jar, c.entry, c.field, c.value);
        EXPECT_EQ(check_bytes(jar), c.expected) << c.entry << " field " << c.field;
    }
    // Cut anywhere, the archive no longer ends in its directory.
    EXPECT_EQ(check_bytes(good.substr(0, good.size() - 30)), jar_verdict::not_archive);
}

} // namespace

// The signer check of a download over the signed test application (signed at build time with
// keytool and jarsigner) and its unsigned and foreign-signed builds, and over jars whose
// directory a hostile host has bent. Portable: it also runs cross-built under Wine, where the
// cryptography is CryptoAPI's.
#include "config/deployment.h"
#include "tests/security/jar_checks.h"
#include "tests/support/test_app.h"
#include "tests/support/test_jars.h"
#include "update/jar_signature.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

using update::jar_verdict;

using testsupport::test_app_jar;
using testsupport::test_app_path;
using testsupport::tiny_jar;
using testsupport::with_comment;

namespace {

TEST(JarVerdicts, JarsAreJudgedAsTheLoaderJudgesTheirMainClass) {
    EXPECT_EQ(check_file(test_app_path("app.jar")), jar_verdict::signed_by_pinned);
    // The archive comment lies outside every entry and changes nothing.
    EXPECT_EQ(check_bytes(with_comment(test_app_jar("app.jar"), "build 7")),
              jar_verdict::signed_by_pinned);
    EXPECT_EQ(check_file(test_app_path("app-unsigned.jar")), jar_verdict::not_signed);
    EXPECT_EQ(check_file(test_app_path("app-other-key.jar")), jar_verdict::signature_invalid);
    EXPECT_EQ(check_file(test_app_path("app-without-main.jar")), jar_verdict::no_main_class);
    // Signed by the right key, but not the one this launcher pins.
    const unsigned char other[20] = {1, 2, 3};
    EXPECT_EQ(check_file(test_app_path("app.jar"), other), jar_verdict::signature_invalid);
    EXPECT_EQ(check_bytes(tiny_jar("not an application")), jar_verdict::no_main_class);
    EXPECT_EQ(check_bytes("<html>404</html>"), jar_verdict::not_archive);
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

TEST(JarVerdicts, HostileSizesAndOffsetsAreRefusedWithoutReadingPastThem) {
    const std::string good = test_app_jar("app.jar");
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

// What a downloaded jar must say about its own version, and what app.ver keeps of a version.
#include "config/version_stamp.h"
#include "tests/security/jar_checks.h"
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "tests/support/test_jars.h"
#include "update/bs_version.h"

#include <gtest/gtest.h>
#include <string>

using update::jar_verdict;
using update::release_stamp;

using update::app_ver_default;
using update::app_ver_size;
using update::bs_version;
using update::format_app_ver;
using update::is_newer;
using update::no_rc;
using update::read_app_ver;

using namespace testsupport;

namespace {

// The test application is stamped 2.0.0; each case is checked as a download offered as `published`
// and recorded as `version`, and as a pending jar, which knows only the version.
TEST(ReleaseVersions, ADownloadIsInstalledOnlyUnderTheVersionItIsStampedWith) {
    if (!config::version_stamp_checked)
        GTEST_SKIP() << "built with VISTAL_VERSION_STAMP=OFF";
    const std::string stamped = test_app_jar("app.jar");
    const std::string rc_stamped = signed_app_jar("2.1.0-rc1.b3");
    const std::string unstamped = signed_app_jar("");
    const bs_version v200 = {2, 0, 0, no_rc, 1};
    const struct {
        const char* what;
        const std::string& jar;
        release_stamp release;
        jar_verdict download, pending;
    } cases[] = {
        {"as stamped",
         stamped,
         {"2.0.0", v200},
         jar_verdict::signed_by_pinned,
         jar_verdict::signed_by_pinned},
        {"rc as stamped",
         rc_stamped,
         {"2.1.0-rc1.b3", {2, 1, 0, 1, 3}},
         jar_verdict::signed_by_pinned,
         jar_verdict::signed_by_pinned},
        {"highest version",
         stamped,
         {"2147483647.2147483647.2147483647", {2147483647, 2147483647, 2147483647, no_rc, 1}},
         jar_verdict::version_mismatch,
         jar_verdict::version_mismatch},
        {"same number, other text",
         stamped,
         {"2.0.0.b1", v200},
         jar_verdict::version_mismatch,
         jar_verdict::signed_by_pinned},
        {"build taken from the path",
         stamped,
         {"2.0.0", {2, 0, 0, no_rc, 9}},
         jar_verdict::version_mismatch,
         jar_verdict::version_mismatch},
        {"no stamp",
         unstamped,
         {"2.0.0", v200},
         jar_verdict::version_mismatch,
         jar_verdict::version_mismatch},
    };
    for (const auto& c : cases) {
        const release_stamp pending = {{}, c.release.version};
        EXPECT_EQ(check_bytes(c.jar, config::signature, &c.release), c.download) << c.what;
        EXPECT_EQ(check_bytes(c.jar, config::signature, &pending), c.pending) << c.what;
    }
}

// A release candidate 0 or below written without its "-rc" would read back as the final release,
// which would then never be installed.
TEST(ReleaseVersions, AppVerKeepsEveryReleaseCandidate) {
    for (int rc : {0, -5, -2147483647 - 1, 1, no_rc}) {
        const bs_version v = {2, 1, 0, rc, 3};
        char text[app_ver_size];
        bs_version back = app_ver_default;
        read_app_ver(std::string_view(text, format_app_ver(v, text)), &back);
        EXPECT_EQ(back.rc, rc) << text;
        EXPECT_FALSE(is_newer(back, v) || is_newer(v, back)) << text;
    }
}

} // namespace

#include "update/version_stamp.h"

#include "config/version_stamp.h"

namespace update {

bool stamp_matches(std::string_view stamp, const release_stamp& release) {
    if (!config::version_stamp_checked)
        return true;
    if (stamp.empty() || (!release.published.empty() && stamp != release.published))
        return false;
    // Read as the recorded version is: the answer's scans take a build or rc from the path too,
    // and a stamp that matches the text alone could still be recorded as a higher version.
    bs_version read = app_ver_default;
    read_app_ver(stamp, &read);
    const bs_version& v = release.version;
    return read.major == v.major && read.minor == v.minor && read.patch == v.patch &&
           read.rc == v.rc && read.build == v.build;
}

} // namespace update

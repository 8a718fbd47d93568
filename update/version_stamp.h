// The signed version stamp: the release's version, exactly as published, in the main section of
// the jar's signed manifest (Implementation-Version). A host that offers an old signed jar under
// a higher version would otherwise have it recorded as that version, and no later release would
// ever count as newer.
#pragma once

#include "update/bs_version.h"

#include <string_view>

namespace update {

// What a jar must be stamped with: the version as the answer published it (empty when it is not
// known, as for a pending jar, whose version file holds only the version it reads as) and that
// version.
struct release_stamp {
    std::string_view published;
    bs_version version;
};

// Whether `stamp` (the manifest's Implementation-Version, empty when there is none) is the
// release's: its text the published text, and read as app.ver is read, the release's version.
// Always true when the build does not check stamps.
bool stamp_matches(std::string_view stamp, const release_stamp& release);

} // namespace update

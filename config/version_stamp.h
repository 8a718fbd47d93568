// Whether the update check demands the signed version stamp: on unless the build turns it off
// (VISTAL_VERSION_STAMP=OFF), for a vendor whose published jars carry no stamp yet.
#pragma once

namespace config {

#ifndef VISTAL_VERSION_STAMP
#define VISTAL_VERSION_STAMP 1
#endif

constexpr bool version_stamp_checked = VISTAL_VERSION_STAMP != 0;

} // namespace config

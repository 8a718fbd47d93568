// The words the update client writes to the support log (base/support_log.h) for what it found:
// fixed, so that support staff can search for them (docs/SUPPORT.md).
#pragma once

#include "platform/platform.h"
#include "update/bs_version.h"
#include "update/fetch_report.h"
#include "update/jar_signature.h"

#include <string_view>

namespace update {

// opened, absent, refused, failed.
const char* open_outcome_name(platform::open_outcome outcome);
// The app.ver text of `version` in `out`, or "none" for an answer without a version.
std::string_view version_text(const bs_version& version, char (&out)[app_ver_size]);
// How a transfer ended, as far as the transport tells: ok, no-response (no HTTP response at all:
// name, connection, TLS or time-out), truncated, too-large, timed-out, write-failed.
const char* fetch_outcome(const fetch_report& report);
// The first reason a fetched body is not whole, or null for a whole one: no-response, status,
// one of fetch_outcome's, empty, or truncated (shorter than announced).
const char* body_problem(const fetch_report& report);
// Why a download is or is not taken: accepted, or the first reason to refuse it (status, empty,
// one of fetch_outcome's, not-archive, or the signature check's verdict).
const char* download_verdict(const fetch_report& report, bool written, bool archive,
                             jar_verdict verdict);

} // namespace update

// One synchronous HTTPS GET of a path on a host, its body handed to a sink: a text_sink (the
// version answer) or a file_sink (a download), see fetch_sink.h.
#pragma once

#include "update/fetch_report.h"
#include "update/fetch_sink.h"

#include <cstdint>

namespace update {

// GETs "https://" host path (cut at 254 characters) within the deployment's bounds, a
// `deadline_ms` shorter than its download deadline when given, and stops when the body slows to
// a trickle. What the body came to is in `into`; how the transfer went is the result, and the
// support log's "fetch" line. Without a response nothing reaches `into`.
fetch_report https_data(const wchar_t* host, const wchar_t* path, fetch_sink& into,
                        std::uint64_t deadline_ms = 0);

} // namespace update

#include "update/support_names.h"

namespace update {

const char* open_outcome_name(platform::open_outcome outcome) {
    switch (outcome) {
    case platform::open_outcome::opened:
        return "opened";
    case platform::open_outcome::absent:
        return "absent";
    case platform::open_outcome::refused:
        return "refused";
    case platform::open_outcome::failed:
        break;
    }
    return "failed";
}

std::string_view version_text(const bs_version& version, char (&out)[app_ver_size]) {
    if (version.major < 0)
        return "none";
    return std::string_view(out, format_app_ver(version, out));
}

const char* fetch_outcome(const fetch_report& report) {
    if (report.status == 0)
        return "no-response";
    if (report.range_refused)
        return "range-refused";
    if (report.too_large)
        return "too-large";
    if (report.timed_out)
        return "timed-out";
    if (report.too_long)
        return "too-long";
    if (report.write_failed)
        return "write-failed";
    if (report.read_failed)
        return "truncated";
    return "ok";
}

const char* body_problem(const fetch_report& report) {
    if (report.status != 200 && !report.resumed)
        return report.status == 0     ? "no-response"
               : report.range_refused ? "range-refused"
                                      : "status";
    if (const char* ended = fetch_outcome(report); std::string_view(ended) != "ok")
        return ended;
    if (report.received == 0)
        return "empty";
    if (report.has_content_length && report.received != report.content_length)
        return "truncated";
    return nullptr;
}

const char* download_verdict(const fetch_report& report, bool written, bool archive,
                             jar_verdict verdict) {
    if (const char* problem = body_problem(report))
        return problem;
    if (!written)
        return "write-failed";
    if (!archive)
        return "not-archive";
    switch (verdict) {
    case jar_verdict::signed_by_pinned:
        return "accepted";
    case jar_verdict::not_archive:
        return "not-archive";
    case jar_verdict::no_main_class:
        return "no-main-class";
    case jar_verdict::no_manifest:
        return "no-manifest";
    case jar_verdict::not_signed:
        return "not-signed";
    case jar_verdict::signature_invalid:
        return "signature-invalid";
    case jar_verdict::digest_mismatch:
        return "digest-mismatch";
    case jar_verdict::version_mismatch:
        return "version-mismatch";
    case jar_verdict::too_large:
        break;
    }
    return "too-large-to-check";
}

} // namespace update

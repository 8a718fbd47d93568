// The bootstrap version: what app.ver records about app.jar, and what a server's answer offers.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

namespace update {

struct bs_version {
    int major;
    int minor;
    int patch;
    int rc; // no_rc: a release, which ranks above every release candidate of the same number
    int build;
};

constexpr int no_rc = 2147483647;

// An absent or empty app.ver reads as this.
constexpr bs_version app_ver_default = {0, 0, 0, no_rc, 1};
// An answer starts as this; a major below 0 marks a server that did not answer.
constexpr bs_version answer_default = {-1, 0, 0, no_rc, 1};

// True when `remote` is greater at the first of major, minor, patch, rc, build that differs.
bool is_newer(const bs_version& remote, const bs_version& local);

// Reads app.ver with its three scans, each going on where the previous one stopped:
// "%d.%d.%d", "-rc%d", ".b%ld". Fields the scans do not reach keep what `version` held.
void read_app_ver(std::FILE* file, bs_version* version);
void read_app_ver(std::string_view text, bs_version* version);

// Room for the longest app.ver text (five 32-bit numbers) and its terminator.
constexpr std::size_t app_ver_size = 64;
// The app.ver text of `v` into `out` (app_ver_size bytes): "%d.%d.%d-rc%d.b%ld", which reads
// back as `v`. Returns its length.
std::size_t format_app_ver(const bs_version& v, char* out);

// What the four scans of a version answer yield.
struct version_answer {
    bs_version version = answer_default;
    // The first word after the first ';', as a view into the answer text; empty without one.
    std::string_view path;
    // The version as the host published it: the text before the first ';' without surrounding
    // white space, as a view into the answer text; empty without a ';'.
    std::string_view published;
};

// The four independent scans of the answer text, each from its start: "%d.%d.%d",
// "%*[^-]-rc%d", "%*[^b]b%ld" and "%*[^;];%s". Nothing beyond `text` is read.
version_answer scan_answer(std::string_view text);

} // namespace update

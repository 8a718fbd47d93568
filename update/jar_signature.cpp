// The signer check of a downloaded jar, the way the VM's verifying jar reader and the embedded
// loader decide whether the main class may be handed out:
//   - the zip's central directory names the main class entry once, the manifest, and exactly one
//     signature file (META-INF/X.SF) with its block (META-INF/X.RSA, .EC or .DSA);
//   - the block is PKCS#7 signed data over the .SF, with one signer, and the signer's
//     certificate and every other certificate the block carries is the pinned one;
//   - the .SF names the main class and its digest of the manifest holds: over the whole
//     manifest, or over the manifest's main attributes and the main class's section;
//   - the manifest's digest of the main class matches the entry's inflated bytes.
// Where the VM's reader is more lenient (several signers, an unnamed extra certificate, digests
// listed but mismatching beside matching ones) this check refuses. Every length and offset comes
// from a file a server chose, so each is checked against the file before it is used, and what is
// read or inflated is bounded.
#include "update/jar_signature.h"

#include "platform/signature_crypto.h"
#include "update/zip_reader.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace update {

namespace {

using platform::bytes;

constexpr const char* main_class_entry = "a/b/a/a/a.class";
constexpr std::size_t signer_digest_size = 20;

// Bounds of what is read: far above what a real application jar holds.
constexpr std::uint32_t directory_limit = 16u << 20;
constexpr std::uint32_t text_limit = 16u << 20;  // manifest and signature file
constexpr std::uint32_t block_limit = 1u << 20;  // signature block
constexpr std::uint32_t class_limit = 16u << 20; // the main class
// The VM's manifest reader refuses lines that do not fit 512 bytes with their line end.
constexpr std::size_t longest_line = 510;

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool same_text_any_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && upper(a) == upper(b);
}

// --- the zip directory -----------------------------------------------------------------------

using zip_entry = zip::entry;

jar_verdict verdict_of(zip::status status) {
    switch (status) {
    case zip::status::ok:
        return jar_verdict::signed_by_pinned;
    case zip::status::too_large:
        return jar_verdict::too_large;
    case zip::status::not_archive:
        break;
    }
    return jar_verdict::not_archive;
}

// Reads and inflates one entry whole; at most `limit` bytes.
jar_verdict read_entry(std::FILE* file, const zip::archive& archive, const zip_entry& e,
                       std::uint32_t limit, bytes* out) {
    return verdict_of(zip::read_entry(file, archive, e, limit, directory_limit + limit, out));
}

// --- manifests and signature files -----------------------------------------------------------

struct attribute {
    std::string name, value;
};

// A section with its raw bytes [begin, end), the blank line that ends it included: what the
// digests of the signature file cover.
struct section {
    std::size_t begin = 0, end = 0;
    std::vector<attribute> attributes;
};

bool header_name_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// Splits a manifest or signature file into sections; false when it is not well formed.
bool parse_sections(const bytes& text, std::vector<section>* out) {
    std::string_view all(reinterpret_cast<const char*>(text.data()), text.size());
    bool open = false;
    section current;
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t line_end = all.find_first_of("\r\n", pos);
        if (line_end == std::string_view::npos)
            return false; // every line, the last one too, ends in a line end
        std::size_t next = line_end + 1;
        if (all[line_end] == '\r' && next < all.size() && all[next] == '\n')
            ++next;
        std::string_view line = all.substr(pos, line_end - pos);
        if (line.size() > longest_line)
            return false;
        if (line.empty()) {
            if (open) {
                current.end = next;
                out->push_back(std::move(current));
                current = section();
                open = false;
            }
        } else if (line[0] == ' ') {
            if (!open || current.attributes.empty())
                return false;
            current.attributes.back().value.append(line.substr(1));
        } else {
            std::size_t colon = line.find(": ");
            if (colon == std::string_view::npos || colon == 0 || colon > 70)
                return false;
            for (char c : line.substr(0, colon))
                if (!header_name_char(c))
                    return false;
            if (!open) {
                open = true;
                current.begin = pos;
            }
            current.attributes.push_back(
                {std::string(line.substr(0, colon)), std::string(line.substr(colon + 2))});
        }
        pos = next;
    }
    if (open) {
        current.end = all.size();
        out->push_back(std::move(current));
    }
    // The main section comes first, and every later one names its entry first.
    if (out->empty() || (*out)[0].begin != 0 ||
        same_text_any_case((*out)[0].attributes[0].name, "Name"))
        return false;
    for (std::size_t i = 1; i < out->size(); ++i)
        if (!same_text_any_case((*out)[i].attributes[0].name, "Name"))
            return false;
    return true;
}

// The one section naming `entry`; null when none or more than one does.
const section* section_for(const std::vector<section>& sections, std::string_view entry) {
    const section* found = nullptr;
    for (std::size_t i = 1; i < sections.size(); ++i) {
        if (sections[i].attributes[0].value != entry)
            continue;
        if (found)
            return nullptr;
        found = &sections[i];
    }
    return found;
}

bool base64_decode(std::string_view text, bytes* out) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        return c == '+' ? 62 : c == '/' ? 63 : -1;
    };
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (text.empty() || text.size() % 4 != 0)
        return false;
    out->clear();
    for (std::size_t i = 0; i < text.size(); i += 4) {
        int v[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            char c = text[i + k];
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                v[k] = 0;
                ++padding;
            } else if (padding > 0 || (v[k] = value(c)) < 0) {
                return false;
            }
        }
        std::uint32_t n = static_cast<std::uint32_t>(v[0]) << 18 |
                          static_cast<std::uint32_t>(v[1]) << 12 |
                          static_cast<std::uint32_t>(v[2]) << 6 | static_cast<std::uint32_t>(v[3]);
        out->push_back(static_cast<unsigned char>(n >> 16));
        if (padding < 2)
            out->push_back(static_cast<unsigned char>(n >> 8));
        if (padding < 1)
            out->push_back(static_cast<unsigned char>(n));
    }
    return true;
}

enum class match { absent, matches, differs };

struct algorithm {
    const char* name;
    platform::digest_kind kind;
};
// What jarsigner writes and the VM accepts; SHA-1 digests no longer count as signed there.
constexpr algorithm algorithms[] = {
    {"SHA-256", platform::digest_kind::sha256},
    {"SHA-384", platform::digest_kind::sha384},
    {"SHA-512", platform::digest_kind::sha512},
};

// Every digest attribute "<algorithm><suffix>" of `s` against the digest of `data`: all of them
// must match, and at least one must be there.
match digests_match(const section& s, std::string_view suffix, const unsigned char* data,
                    std::size_t size) {
    match result = match::absent;
    for (const algorithm& a : algorithms) {
        std::string wanted = std::string(a.name) + std::string(suffix);
        bool seen = false;
        for (const attribute& attr : s.attributes) {
            if (!same_text_any_case(attr.name, wanted))
                continue;
            bytes expected;
            if (seen || !base64_decode(attr.value, &expected))
                return match::differs;
            seen = true;
            bytes actual = platform::digest(a.kind, data, size);
            if (actual.empty() || actual != expected)
                return match::differs;
            result = match::matches;
        }
    }
    return result;
}

// --- the check -------------------------------------------------------------------------------

bool in_meta_inf(const std::string& upper_name) {
    return upper_name.compare(0, 9, "META-INF/") == 0 &&
           upper_name.find('/', 9) == std::string::npos;
}

bool ends_with(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string base_name(const std::string& upper_name) {
    return upper_name.substr(0, upper_name.rfind('.'));
}

struct signing_entries {
    const zip_entry* main_class = nullptr;
    const zip_entry* manifest = nullptr;
    const zip_entry* signature_file = nullptr;
    const zip_entry* block = nullptr;
};

jar_verdict find_entries(const zip::archive& zip, signing_entries* found) {
    int main_classes = 0, manifests = 0, signature_files = 0, blocks = 0;
    for (const zip_entry& e : zip.entries) {
        if (e.name == main_class_entry) {
            found->main_class = &e;
            ++main_classes;
        }
        std::string name = upper(e.name);
        if (!in_meta_inf(name))
            continue;
        if (name == "META-INF/MANIFEST.MF") {
            found->manifest = &e;
            ++manifests;
        } else if (ends_with(name, ".SF")) {
            found->signature_file = &e;
            ++signature_files;
        } else if (ends_with(name, ".RSA") || ends_with(name, ".EC") || ends_with(name, ".DSA")) {
            found->block = &e;
            ++blocks;
        }
    }
    if (main_classes != 1)
        return jar_verdict::no_main_class;
    if (manifests != 1)
        return jar_verdict::no_manifest;
    if (signature_files != 1 || blocks != 1 ||
        base_name(upper(found->signature_file->name)) != base_name(upper(found->block->name)))
        return jar_verdict::not_signed;
    return jar_verdict::signed_by_pinned;
}

// The main section's Implementation-Version; empty when it has none, or more than one.
std::string_view version_stamp(const section& main) {
    const attribute* found = nullptr;
    for (const attribute& a : main.attributes) {
        if (!same_text_any_case(a.name, "Implementation-Version"))
            continue;
        if (found)
            return {};
        found = &a;
    }
    return found ? std::string_view(found->value) : std::string_view();
}

bool pinned(const bytes& certificate, const unsigned char* signer) {
    bytes d = platform::digest(platform::digest_kind::sha1, certificate.data(), certificate.size());
    return d.size() == signer_digest_size && std::memcmp(d.data(), signer, signer_digest_size) == 0;
}

// The block signs the signature file, and only the pinned certificate may appear in it. The
// block's certificates go to `certificates`, the signer's first.
bool signed_by_pinned(const bytes& block, const bytes& signature_file, const unsigned char* signer,
                      std::vector<bytes>* certificates) {
    platform::signature_check check = platform::verify_detached_signature(block, signature_file);
    if (!check.verified || !pinned(check.signer, signer))
        return false;
    for (const bytes& certificate : check.certificates)
        if (!pinned(certificate, signer))
            return false;
    certificates->push_back(check.signer);
    for (bytes& certificate : check.certificates)
        if (certificate != check.signer)
            certificates->push_back(std::move(certificate));
    return true;
}

// The manifest section's digests of its entry, one per algorithm; false when an algorithm is
// stated twice or a value is not base64, which leaves the entry unsigned.
bool entry_digests(const section& s, std::vector<signed_digest>* out) {
    std::size_t first = out->size();
    for (const algorithm& a : algorithms) {
        std::string wanted = std::string(a.name) + "-Digest";
        bool seen = false;
        for (const attribute& attr : s.attributes) {
            if (!same_text_any_case(attr.name, wanted))
                continue;
            signed_digest d{s.attributes[0].value, a.kind, {}};
            if (seen || !base64_decode(attr.value, &d.value)) {
                out->resize(first);
                return false;
            }
            seen = true;
            out->push_back(std::move(d));
        }
    }
    return true;
}

} // namespace

jar_verdict check_main_class_signature(std::FILE* file, const unsigned char* signer,
                                       const release_stamp* release) {
    if (!file || !signer)
        return jar_verdict::not_archive;
    zip::archive zip;
    signing_entries found;
    jar_verdict v = verdict_of(zip::read_directory(file, directory_limit, &zip));
    if (v == jar_verdict::signed_by_pinned)
        v = find_entries(zip, &found);
    if (v != jar_verdict::signed_by_pinned)
        return v;

    bytes manifest, signature_file, block, main_class;
    if ((v = read_entry(file, zip, *found.manifest, text_limit, &manifest)) !=
            jar_verdict::signed_by_pinned ||
        (v = read_entry(file, zip, *found.signature_file, text_limit, &signature_file)) !=
            jar_verdict::signed_by_pinned ||
        (v = read_entry(file, zip, *found.block, block_limit, &block)) !=
            jar_verdict::signed_by_pinned ||
        (v = read_entry(file, zip, *found.main_class, class_limit, &main_class)) !=
            jar_verdict::signed_by_pinned)
        return v;

    std::vector<bytes> certificates;
    if (!signed_by_pinned(block, signature_file, signer, &certificates))
        return jar_verdict::signature_invalid;

    std::vector<section> manifest_sections, signature_sections;
    if (!parse_sections(manifest, &manifest_sections))
        return jar_verdict::no_manifest;
    if (!parse_sections(signature_file, &signature_sections))
        return jar_verdict::not_signed;
    const section* entry = section_for(manifest_sections, main_class_entry);
    const section* signed_entry = section_for(signature_sections, main_class_entry);
    if (!entry)
        return jar_verdict::no_manifest;
    if (!signed_entry)
        return jar_verdict::not_signed;

    // The signature file covers the manifest whole, or its main attributes and the entry.
    const section& sf_main = signature_sections[0];
    const section& mf_main = manifest_sections[0];
    bool covered = digests_match(sf_main, "-Digest-Manifest", manifest.data(), manifest.size()) ==
                   match::matches;
    if (!covered)
        covered = digests_match(sf_main, "-Digest-Manifest-Main-Attributes",
                                manifest.data() + mf_main.begin,
                                mf_main.end - mf_main.begin) == match::matches &&
                  digests_match(*signed_entry, "-Digest", manifest.data() + entry->begin,
                                entry->end - entry->begin) == match::matches;
    if (!covered)
        return jar_verdict::digest_mismatch;

    match content = digests_match(*entry, "-Digest", main_class.data(), main_class.size());
    if (content == match::absent)
        return jar_verdict::no_manifest;
    if (content != match::matches)
        return jar_verdict::digest_mismatch;
    // The main section is signed either way the signature file covers the manifest.
    if (release && !stamp_matches(version_stamp(mf_main), *release))
        return jar_verdict::version_mismatch;
    return jar_verdict::signed_by_pinned;
}

signed_manifest read_signed_manifest(const bytes& manifest, const bytes& signature_file,
                                     const bytes& block, const unsigned char* signer) {
    signed_manifest out;
    std::vector<bytes> certificates;
    if (!signer || !signed_by_pinned(block, signature_file, signer, &certificates)) {
        out.verdict = jar_verdict::signature_invalid;
        return out;
    }
    std::vector<section> manifest_sections, signature_sections;
    if (!parse_sections(manifest, &manifest_sections)) {
        out.verdict = jar_verdict::no_manifest;
        return out;
    }
    if (!parse_sections(signature_file, &signature_sections)) {
        out.verdict = jar_verdict::not_signed;
        return out;
    }

    // Without a digest of the whole manifest, a stated digest of its main attributes must hold,
    // and each entry's section is covered by the .SF section that names it.
    const section& sf_main = signature_sections[0];
    const section& mf_main = manifest_sections[0];
    bool whole = digests_match(sf_main, "-Digest-Manifest", manifest.data(), manifest.size()) ==
                 match::matches;
    if (!whole &&
        digests_match(sf_main, "-Digest-Manifest-Main-Attributes", manifest.data() + mf_main.begin,
                      mf_main.end - mf_main.begin) == match::differs) {
        out.verdict = jar_verdict::digest_mismatch;
        return out;
    }
    // The manifest's sections by name, looked up once per .SF section: a jar may hold tens of
    // thousands. A name given twice maps to null.
    std::unordered_map<std::string_view, const section*> by_name;
    by_name.reserve(manifest_sections.size());
    for (std::size_t i = 1; i < manifest_sections.size(); ++i) {
        auto [at, added] =
            by_name.emplace(manifest_sections[i].attributes[0].value, &manifest_sections[i]);
        if (!added)
            at->second = nullptr;
    }
    for (std::size_t i = 1; i < signature_sections.size(); ++i) {
        const section& signed_entry = signature_sections[i];
        auto found = by_name.find(signed_entry.attributes[0].value);
        const section* entry = found == by_name.end() ? nullptr : found->second;
        if (!entry)
            continue; // named twice, or not at all: no digest to trust
        if (!whole) {
            match m = digests_match(signed_entry, "-Digest", manifest.data() + entry->begin,
                                    entry->end - entry->begin);
            if (m == match::differs) {
                out.digests.clear();
                out.verdict = jar_verdict::digest_mismatch;
                return out;
            }
            if (m == match::absent)
                continue;
        }
        entry_digests(*entry, &out.digests);
    }
    out.verdict = jar_verdict::signed_by_pinned;
    out.certificates = std::move(certificates);
    return out;
}

} // namespace update

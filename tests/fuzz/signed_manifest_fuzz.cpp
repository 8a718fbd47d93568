// The loader's signature check reads a manifest, a signature file and a block from a jar anyone
// may have written. Whatever the bytes, it reads only inside them, lists digests only for a block
// that verifies with the pinned certificate, and each digest it lists names an entry that both
// the manifest and the signature file name, with a value as long as its algorithm's. The input
// is split at the first two "\0\0" into the three parts; the cryptography is the stand-in of
// crypto_stubs.cpp.
#include "platform/signature_crypto.h"
#include "update/jar_signature.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using update::jar_verdict;
using update::read_signed_manifest;
using update::signed_digest;
using update::signed_manifest;

namespace {

platform::bytes part(std::string_view* rest) {
    std::size_t end = rest->find(std::string_view("\0\0", 2));
    std::string_view taken = rest->substr(0, end);
    rest->remove_prefix(end == std::string_view::npos ? rest->size() : end + 2);
    return platform::bytes(taken.begin(), taken.end());
}

bool names(const platform::bytes& text, const std::string& entry) {
    std::string_view all(reinterpret_cast<const char*>(text.data()), text.size());
    return all.find("Name: " + entry.substr(0, 20)) != std::string_view::npos;
}

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fault: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    platform::bytes manifest = part(&rest), signature_file = part(&rest), block = part(&rest);
    const unsigned char c = 'C';
    platform::bytes pinned = platform::digest(platform::digest_kind::sha1, &c, 1);
    signed_manifest checked = read_signed_manifest(manifest, signature_file, block, pinned.data());
    if (checked.verdict != jar_verdict::signed_by_pinned) {
        if (!checked.digests.empty() || !checked.certificates.empty())
            fault("a refused signature lists digests or certificates");
        return 0;
    }
    for (const platform::bytes& certificate : checked.certificates)
        if (platform::digest(platform::digest_kind::sha1, certificate.data(), certificate.size()) !=
            pinned)
            fault("accepted with a certificate that is not the pinned one");
    if (checked.certificates.empty())
        fault("accepted without the signer's certificate");
    for (const signed_digest& d : checked.digests) {
        if (d.value.size() != platform::digest(d.kind, nullptr, 0).size())
            fault("a digest of the wrong length");
        if (!names(manifest, d.entry) || !names(signature_file, d.entry))
            fault("a digest of an entry the manifest or the signature file does not name");
    }
    return 0;
}

// The signer check reads a jar a server chose: zip directory, local headers, inflation, manifest
// and signature file. Whatever the bytes, it reads only inside the file and inside its bounds,
// and it never accepts a jar without the main class entry. The cryptography is replaced by a
// cheap stand-in (a checksum for every digest, and a block that "verifies" when it begins with
// "SIGNED" and carries the certificate after it) so that the fuzzer can reach past it.
#include "platform/signature_crypto.h"
#include "update/jar_signature.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace platform {

bytes digest(digest_kind kind, const unsigned char* data, std::size_t size) {
    std::size_t length = kind == digest_kind::sha1 ? 20 : kind == digest_kind::sha256 ? 32 : 48;
    bytes out(length, 0);
    for (std::size_t i = 0; i < size; ++i)
        out[i % length] = static_cast<unsigned char>(out[i % length] * 31 + data[i]);
    return out;
}

signature_check verify_detached_signature(const bytes& block, const bytes& content) {
    signature_check result;
    if (block.size() > 6 && std::memcmp(block.data(), "SIGNED", 6) == 0) {
        result.verified = true;
        result.signer.assign(block.begin() + 6, block.end());
        result.certificates.push_back(result.signer);
    }
    return result;
}

} // namespace platform

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!file)
        return 0;
    // The stand-in digest of the certificate "C".
    const unsigned char c = 'C';
    platform::bytes pinned = platform::digest(platform::digest_kind::sha1, &c, 1);
    jar_verdict v = check_main_class_signature(file, pinned.data(), nullptr);
    std::fclose(file);
    std::string_view all(reinterpret_cast<const char*>(data), size);
    if (v == jar_verdict::signed_by_pinned &&
        all.find("a/b/a/a/a.class") == std::string_view::npos) {
        std::fprintf(stderr, "fault: accepted without the main class entry\n");
        std::abort();
    }
    return 0;
}

// The cryptography of the jar checks replaced by a cheap stand-in, so that the fuzzers reach past
// it: a checksum of the algorithm's length for every digest, and a block that "verifies" when it
// begins with "SIGNED" and carries the signer's certificate after it.
#include "platform/signature_crypto.h"

#include <cstring>

namespace platform {

bytes digest(digest_kind kind, const unsigned char* data, std::size_t size) {
    std::size_t length = kind == digest_kind::sha1     ? 20
                         : kind == digest_kind::sha256 ? 32
                         : kind == digest_kind::sha384 ? 48
                                                       : 64;
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

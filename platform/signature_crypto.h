// The cryptography behind the check of a downloaded jar's signature: message digests and the
// verification of a detached PKCS#7 signature block. OpenSSL's libcrypto (opened on first use) on
// POSIX, CryptoAPI on Windows.
#pragma once

#include <cstddef>
#include <vector>

namespace platform {

using bytes = std::vector<unsigned char>;

enum class digest_kind { sha1, sha256, sha384, sha512 };

// The digest of `size` bytes at `data`; empty when the algorithm cannot be had.
bytes digest(digest_kind kind, const unsigned char* data, std::size_t size);

struct signature_check {
    bool verified = false;           // one signer, whose signature over the content checks out
    bytes signer;                    // DER encoding of the signer's certificate
    std::vector<bytes> certificates; // DER encoding of every certificate the block carries
};

// Verifies the PKCS#7 signed-data block `block` (DER) as a detached signature over `content`
// with the certificate the block carries for its signer; no chain is built or trusted here, the
// caller decides about the certificates. Not verified when the block has other than one signer.
signature_check verify_detached_signature(const bytes& block, const bytes& content);

} // namespace platform

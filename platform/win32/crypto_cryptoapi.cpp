// Digests and PKCS#7 verification through CryptoAPI (advapi32 hashes, crypt32 messages).
#include "platform/signature_crypto.h"

#include <windows.h>

// Needs the types of windows.h.
#include <wincrypt.h>

#include <climits>
#include <memory>

namespace platform {

namespace {

constexpr DWORD encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

class provider {
  public:
    provider() {
        if (!CryptAcquireContextW(&handle_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
            handle_ = 0;
    }
    ~provider() {
        if (handle_)
            CryptReleaseContext(handle_, 0);
    }
    provider(const provider&) = delete;
    provider& operator=(const provider&) = delete;
    HCRYPTPROV get() const { return handle_; }

  private:
    HCRYPTPROV handle_ = 0;
};

class hash {
  public:
    hash(HCRYPTPROV prov, ALG_ID algorithm) {
        if (!prov || !CryptCreateHash(prov, algorithm, 0, 0, &handle_))
            handle_ = 0;
    }
    ~hash() {
        if (handle_)
            CryptDestroyHash(handle_);
    }
    hash(const hash&) = delete;
    hash& operator=(const hash&) = delete;
    HCRYPTHASH get() const { return handle_; }

  private:
    HCRYPTHASH handle_ = 0;
};

struct store_closer {
    void operator()(void* store) const { CertCloseStore(static_cast<HCERTSTORE>(store), 0); }
};
struct certificate_freer {
    void operator()(const CERT_CONTEXT* c) const { CertFreeCertificateContext(c); }
};

bytes encoded(const CERT_CONTEXT* c) {
    return c ? bytes(c->pbCertEncoded, c->pbCertEncoded + c->cbCertEncoded) : bytes();
}

} // namespace

bytes digest(digest_kind kind, const unsigned char* data, std::size_t size) {
    ALG_ID algorithm = kind == digest_kind::sha1     ? CALG_SHA1
                       : kind == digest_kind::sha256 ? CALG_SHA_256
                       : kind == digest_kind::sha384 ? CALG_SHA_384
                                                     : CALG_SHA_512;
    provider prov;
    hash h(prov.get(), algorithm);
    if (!h.get())
        return {};
    // CryptHashData takes a DWORD length: feed large inputs in pieces.
    while (size > 0) {
        DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        if (!CryptHashData(h.get(), data, piece, 0))
            return {};
        data += piece;
        size -= piece;
    }
    DWORD length = 0, length_size = sizeof length;
    if (!CryptGetHashParam(h.get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&length), &length_size,
                           0) ||
        length == 0 || length > 64)
        return {};
    bytes out(length);
    if (!CryptGetHashParam(h.get(), HP_HASHVAL, out.data(), &length, 0))
        return {};
    out.resize(length);
    return out;
}

signature_check verify_detached_signature(const bytes& block, const bytes& content) {
    signature_check result;
    if (block.empty() || block.size() > INT_MAX || content.size() > INT_MAX)
        return result;
    auto block_size = static_cast<DWORD>(block.size());
    if (CryptGetMessageSignerCount(encoding, block.data(), block_size) != 1)
        return result;

    CRYPT_VERIFY_MESSAGE_PARA para = {};
    para.cbSize = sizeof para;
    para.dwMsgAndCertEncodingType = encoding;
    // No callback: the signer's certificate comes from the block itself.
    const BYTE* contents[1] = {content.data()};
    DWORD sizes[1] = {static_cast<DWORD>(content.size())};
    PCCERT_CONTEXT signer_context = nullptr;
    if (!CryptVerifyDetachedMessageSignature(&para, 0, block.data(), block_size, 1, contents, sizes,
                                             &signer_context))
        return result;
    std::unique_ptr<const CERT_CONTEXT, certificate_freer> signer(signer_context);
    result.signer = encoded(signer.get());

    std::unique_ptr<void, store_closer> store(
        CryptGetMessageCertificates(encoding, 0, 0, block.data(), block_size));
    if (!store)
        return result;
    for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(store.get(), nullptr); c;
         c = CertEnumCertificatesInStore(store.get(), c))
        result.certificates.push_back(encoded(c));
    result.verified = !result.signer.empty();
    return result;
}

} // namespace platform

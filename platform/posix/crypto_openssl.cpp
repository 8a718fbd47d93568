// Digests and PKCS#7 verification through OpenSSL's libcrypto. The library is opened the first
// time a download has to be checked, as libcurl is at the first transfer: the starts that
// download nothing never pay for linking it.
#include "platform/signature_crypto.h"

#include <dlfcn.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <climits>
#include <memory>

namespace platform {

namespace {

// The entries used, looked up together; null members when the library or an entry is missing.
struct libcrypto {
    decltype(&EVP_sha1) sha1 = nullptr;
    decltype(&EVP_sha256) sha256 = nullptr;
    decltype(&EVP_sha384) sha384 = nullptr;
    decltype(&EVP_sha512) sha512 = nullptr;
    decltype(&EVP_Digest) evp_digest = nullptr;
    decltype(&BIO_new_mem_buf) bio_new_mem_buf = nullptr;
    decltype(&BIO_free) bio_free = nullptr;
    decltype(&d2i_PKCS7) d2i_pkcs7 = nullptr;
    decltype(&PKCS7_free) pkcs7_free = nullptr;
    decltype(&PKCS7_verify) pkcs7_verify = nullptr;
    decltype(&PKCS7_get0_signers) pkcs7_get0_signers = nullptr;
    decltype(&PKCS7_get_signer_info) pkcs7_get_signer_info = nullptr;
    decltype(&X509_STORE_new) store_new = nullptr;
    decltype(&X509_STORE_free) store_free = nullptr;
    decltype(&i2d_X509) i2d_x509 = nullptr;
    decltype(&OPENSSL_sk_num) stack_count = nullptr;
    decltype(&OPENSSL_sk_value) stack_value = nullptr;
    decltype(&OPENSSL_sk_free) stack_free = nullptr;
    decltype(&ERR_clear_error) clear_errors = nullptr;
    bool complete = false;
};

template <class F> void find(void* library, F* out, const char* name, bool* complete) {
    *out = reinterpret_cast<F>(dlsym(library, name));
    *complete = *complete && *out;
}

const libcrypto& crypto() {
    static const libcrypto loaded = [] {
        libcrypto c;
        void* library = dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return c;
        bool ok = true;
        find(library, &c.sha1, "EVP_sha1", &ok);
        find(library, &c.sha256, "EVP_sha256", &ok);
        find(library, &c.sha384, "EVP_sha384", &ok);
        find(library, &c.sha512, "EVP_sha512", &ok);
        find(library, &c.evp_digest, "EVP_Digest", &ok);
        find(library, &c.bio_new_mem_buf, "BIO_new_mem_buf", &ok);
        find(library, &c.bio_free, "BIO_free", &ok);
        find(library, &c.d2i_pkcs7, "d2i_PKCS7", &ok);
        find(library, &c.pkcs7_free, "PKCS7_free", &ok);
        find(library, &c.pkcs7_verify, "PKCS7_verify", &ok);
        find(library, &c.pkcs7_get0_signers, "PKCS7_get0_signers", &ok);
        find(library, &c.pkcs7_get_signer_info, "PKCS7_get_signer_info", &ok);
        find(library, &c.store_new, "X509_STORE_new", &ok);
        find(library, &c.store_free, "X509_STORE_free", &ok);
        find(library, &c.i2d_x509, "i2d_X509", &ok);
        find(library, &c.stack_count, "OPENSSL_sk_num", &ok);
        find(library, &c.stack_value, "OPENSSL_sk_value", &ok);
        find(library, &c.stack_free, "OPENSSL_sk_free", &ok);
        find(library, &c.clear_errors, "ERR_clear_error", &ok);
        c.complete = ok;
        return c;
    }();
    return loaded;
}

bytes der_of(const libcrypto& c, X509* certificate) {
    int size = certificate ? c.i2d_x509(certificate, nullptr) : -1;
    if (size <= 0)
        return {};
    bytes out(static_cast<std::size_t>(size));
    unsigned char* at = out.data();
    if (c.i2d_x509(certificate, &at) != size)
        return {};
    return out;
}

} // namespace

bytes digest(digest_kind kind, const unsigned char* data, std::size_t size) {
    const libcrypto& c = crypto();
    if (!c.complete)
        return {};
    const EVP_MD* md = kind == digest_kind::sha1     ? c.sha1()
                       : kind == digest_kind::sha256 ? c.sha256()
                       : kind == digest_kind::sha384 ? c.sha384()
                                                     : c.sha512();
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!md || c.evp_digest(data, size, out, &length, md, nullptr) != 1)
        return {};
    return bytes(out, out + length);
}

namespace {

signature_check verify(const libcrypto& c, const bytes& block, const bytes& content) {
    signature_check result;
    if (block.size() > INT_MAX || content.size() > INT_MAX)
        return result;

    const unsigned char* at = block.data();
    std::unique_ptr<PKCS7, decltype(c.pkcs7_free)> p7(
        c.d2i_pkcs7(nullptr, &at, static_cast<long>(block.size())), c.pkcs7_free);
    if (!p7 || at != block.data() + block.size())
        return result;
    STACK_OF(PKCS7_SIGNER_INFO)* infos = c.pkcs7_get_signer_info(p7.get());
    if (!infos || c.stack_count(reinterpret_cast<OPENSSL_STACK*>(infos)) != 1)
        return result;

    std::unique_ptr<BIO, decltype(c.bio_free)> data(
        c.bio_new_mem_buf(content.data(), static_cast<int>(content.size())), c.bio_free);
    std::unique_ptr<X509_STORE, decltype(c.store_free)> store(c.store_new(), c.store_free);
    if (!data || !store)
        return result;
    // The certificates are judged by the caller against the pinned one, so no chain is verified.
    if (c.pkcs7_verify(p7.get(), nullptr, store.get(), data.get(), nullptr,
                       PKCS7_NOVERIFY | PKCS7_BINARY) != 1)
        return result;

    STACK_OF(X509)* signers = c.pkcs7_get0_signers(p7.get(), nullptr, 0);
    if (!signers)
        return result;
    auto* signer_stack = reinterpret_cast<OPENSSL_STACK*>(signers);
    if (c.stack_count(signer_stack) == 1)
        result.signer = der_of(c, static_cast<X509*>(c.stack_value(signer_stack, 0)));
    c.stack_free(signer_stack);

    // PKCS7_verify accepted it, so it is signed data and carries its certificates here.
    auto* certificates = reinterpret_cast<OPENSSL_STACK*>(p7->d.sign->cert);
    int count = certificates ? c.stack_count(certificates) : 0;
    for (int i = 0; i < count; ++i) {
        bytes der = der_of(c, static_cast<X509*>(c.stack_value(certificates, i)));
        if (der.empty())
            return result;
        result.certificates.push_back(std::move(der));
    }
    result.verified = !result.signer.empty();
    return result;
}

} // namespace

signature_check verify_detached_signature(const bytes& block, const bytes& content) {
    const libcrypto& c = crypto();
    if (!c.complete)
        return {};
    signature_check result = verify(c, block, content);
    // A refused block leaves errors behind on this thread; the transport's TLS shares the queue.
    c.clear_errors();
    return result;
}

} // namespace platform

// The signer check reads a jar a server chose: zip directory, local headers, inflation, manifest
// and signature file. Whatever the bytes, it reads only inside the file and inside its bounds,
// and it never accepts a jar without the main class entry. The cryptography is the stand-in of
// crypto_stubs.cpp, so that the fuzzer can reach past it.
#include "platform/signature_crypto.h"
#include "update/jar_signature.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

using update::check_main_class_signature;
using update::jar_verdict;

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

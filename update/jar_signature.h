// Whether a jar can start the application: its main class entry signed by the pinned
// certificate, checked as the VM's verifying jar reader and the embedded loader would check it,
// before the jar may replace app.jar. A jar that fails here would only end every later start in
// the fatal-error dialog.
#pragma once

#include "platform/signature_crypto.h"
#include "update/version_stamp.h"

#include <cstdio>
#include <string>
#include <vector>

namespace update {

enum class jar_verdict {
    signed_by_pinned,  // the main class verifies and its signer is the pinned certificate
    not_archive,       // no readable zip directory, or an entry lies outside the file
    no_main_class,     // no entry a/b/a/a/a.class, or more than one
    no_manifest,       // no manifest, or no section for the main class with a digest
    not_signed,        // no signature file and block, more than one pair, or the pair is unnamed
    signature_invalid, // the block does not verify over its .SF, or a certificate is foreign
    digest_mismatch,   // .SF over the manifest, or manifest over the entry, does not match
    too_large,         // a file to read or inflate exceeds its bound
    version_mismatch,  // the signed manifest does not carry the release's version stamp
};

// Checks the jar in `file` (open for binary reading). `signer` is the SHA-1 digest (20 bytes) of
// the DER encoding of the certificate that must sign the main class. With a `release`, the signed
// manifest's main section must carry its version stamp too (see version_stamp.h).
jar_verdict check_main_class_signature(std::FILE* file, const unsigned char* signer,
                                       const release_stamp* release);

// One digest the signed manifest states for an entry.
struct signed_digest {
    std::string entry; // the entry's name as the manifest writes it (UTF-8)
    platform::digest_kind kind;
    platform::bytes value;
};

// What a jar's signature vouches for: the block verified over the signature file with the
// pinned certificate, and the signature file's digests over the manifest.
struct signed_manifest {
    jar_verdict verdict = jar_verdict::not_signed;
    // Every digest of every entry that the signature file names and whose manifest section it
    // covers; an entry may have several (one per algorithm), and all of them must hold.
    std::vector<signed_digest> digests;
    // DER encoding of every certificate the block carries, the signer's first.
    std::vector<platform::bytes> certificates;
};

// Checks a jar's manifest, signature file (.SF) and its block (.RSA, .EC or .DSA), as read from
// the jar. The verdict is signed_by_pinned when the block verifies over the .SF with the pinned
// certificate (`signer` as for check_main_class_signature) and no digest of the .SF over the
// manifest is stated and wrong; only then are digests listed. A wrong digest of one section
// refuses the whole jar, as the VM's verifying reader refuses to read it.
signed_manifest read_signed_manifest(const platform::bytes& manifest,
                                     const platform::bytes& signature_file,
                                     const platform::bytes& block, const unsigned char* signer);

} // namespace update

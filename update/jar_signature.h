// Whether a jar can start the application: its main class entry signed by the pinned
// certificate, checked as the VM's verifying jar reader and the embedded loader would check it,
// before the jar may replace app.jar. A jar that fails here would only end every later start in
// the fatal-error dialog.
#pragma once

#include "update/version_stamp.h"

#include <cstdio>

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

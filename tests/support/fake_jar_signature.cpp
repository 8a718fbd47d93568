// The signer check of the fake platform, which has no cryptography: the unit tests' downloads are
// small archives standing for signed application jars. The real check over real signed jars and
// real cryptography is tested in tests/security.
#include "update/jar_signature.h"

jar_verdict check_main_class_signature(std::FILE* file, const unsigned char* signer,
                                       const release_stamp*) {
    return file && signer ? jar_verdict::signed_by_pinned : jar_verdict::not_archive;
}

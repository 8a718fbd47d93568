// The loader's natives over the update client's jar checks. Every array comes from the loader's
// Java code; a missing one or one the VM cannot pin gives null, which the loader reads as a
// refusal.
#include "launcher/loader_natives.h"

#include "platform/signature_crypto.h"
#include "update/jar_signature.h"

#include <cstddef>
#include <vector>

namespace launcher {

namespace {

constexpr jsize pinned_digest_size = 20;

platform::bytes bytes_of(JNIEnv* env, jbyteArray array) {
    platform::bytes out;
    if (!array)
        return out;
    out.resize(static_cast<std::size_t>(env->GetArrayLength(array)));
    if (!out.empty())
        env->GetByteArrayRegion(array, 0, static_cast<jsize>(out.size()),
                                reinterpret_cast<jbyte*>(out.data()));
    return out;
}

jbyteArray array_of(JNIEnv* env, const void* data, std::size_t size) {
    jbyteArray out = env->NewByteArray(static_cast<jsize>(size));
    if (out && size > 0)
        env->SetByteArrayRegion(out, 0, static_cast<jsize>(size), static_cast<const jbyte*>(data));
    return out;
}

// byte[][] of `count` items, item i made by `make(i)`; null when the VM runs out of memory.
template <class Make> jobjectArray arrays_of(JNIEnv* env, std::size_t count, Make make) {
    jclass bytes_class = env->FindClass("[B");
    jobjectArray out = bytes_class
                           ? env->NewObjectArray(static_cast<jsize>(count), bytes_class, nullptr)
                           : nullptr;
    for (std::size_t i = 0; out && i < count; ++i) {
        jbyteArray item = make(i);
        if (!item)
            return nullptr;
        env->SetObjectArrayElement(out, static_cast<jsize>(i), item);
        env->DeleteLocalRef(item);
    }
    return out;
}

// The digest algorithm is told by the digest's length, as the loader stores it.
bool kind_of_length(jint length, platform::digest_kind* kind) {
    switch (length) {
    case 32:
        *kind = platform::digest_kind::sha256;
        return true;
    case 48:
        *kind = platform::digest_kind::sha384;
        return true;
    case 64:
        *kind = platform::digest_kind::sha512;
        return true;
    default:
        return false;
    }
}

// {names, digests, certificates}: for each covered digest its entry's name (UTF-8) and value,
// and the block's certificates (DER, the signer's first). Null when the signature does not hold.
jobjectArray JNICALL covered_digests(JNIEnv* env, jclass, jbyteArray manifest,
                                     jbyteArray signature_file, jbyteArray block,
                                     jbyteArray pinned) {
    if (!manifest || !signature_file || !block || !pinned ||
        env->GetArrayLength(pinned) != pinned_digest_size)
        return nullptr;
    platform::bytes signer = bytes_of(env, pinned);
    update::signed_manifest checked =
        update::read_signed_manifest(bytes_of(env, manifest), bytes_of(env, signature_file),
                                     bytes_of(env, block), signer.data());
    if (checked.verdict != update::jar_verdict::signed_by_pinned)
        return nullptr;
    const auto& digests = checked.digests;
    jobjectArray names = arrays_of(env, digests.size(), [&](std::size_t i) {
        return array_of(env, digests[i].entry.data(), digests[i].entry.size());
    });
    jobjectArray values = names ? arrays_of(env, digests.size(),
                                            [&](std::size_t i) {
                                                return array_of(env, digests[i].value.data(),
                                                                digests[i].value.size());
                                            })
                                : nullptr;
    const auto& certificates = checked.certificates;
    jobjectArray ders =
        values ? arrays_of(env, certificates.size(),
                           [&](std::size_t i) {
                               return array_of(env, certificates[i].data(), certificates[i].size());
                           })
               : nullptr;
    jclass object_class = ders ? env->FindClass("java/lang/Object") : nullptr;
    jobjectArray out = object_class ? env->NewObjectArray(3, object_class, nullptr) : nullptr;
    if (!out)
        return nullptr;
    env->SetObjectArrayElement(out, 0, names);
    env->SetObjectArrayElement(out, 1, values);
    env->SetObjectArrayElement(out, 2, ders);
    return out;
}

// The digest of `count` bytes of `data` from `offset`, of the algorithm whose digests are
// `length` bytes long; null for another length or a range outside the array.
jbyteArray JNICALL entry_digest(JNIEnv* env, jclass, jint length, jbyteArray data, jint offset,
                                jint count) {
    platform::digest_kind kind;
    if (!data || !kind_of_length(length, &kind) || offset < 0 || count < 0 ||
        count > env->GetArrayLength(data) - offset)
        return nullptr;
    void* pinned = env->GetPrimitiveArrayCritical(data, nullptr);
    if (!pinned)
        return nullptr;
    platform::bytes digest = platform::digest(
        kind, static_cast<const unsigned char*>(pinned) + offset, static_cast<std::size_t>(count));
    env->ReleasePrimitiveArrayCritical(data, pinned, JNI_ABORT);
    if (digest.size() != static_cast<std::size_t>(length))
        return nullptr;
    return array_of(env, digest.data(), digest.size());
}

// The loader's probe: registered, it answers; absent, the call throws UnsatisfiedLinkError.
jboolean JNICALL native_checks(JNIEnv*, jclass) {
    return JNI_TRUE;
}

const JNINativeMethod table[] = {
    {const_cast<char*>("nativeChecks"), const_cast<char*>("()Z"),
     reinterpret_cast<void*>(&native_checks)},
    {const_cast<char*>("signedManifest"), const_cast<char*>("([B[B[B[B)[Ljava/lang/Object;"),
     reinterpret_cast<void*>(&covered_digests)},
    {const_cast<char*>("entryDigest"), const_cast<char*>("(I[BII)[B"),
     reinterpret_cast<void*>(&entry_digest)},
};

} // namespace

const JNINativeMethod* loader_natives(int* count) {
    *count = static_cast<int>(sizeof table / sizeof table[0]);
    return table;
}

} // namespace launcher

// The launcher's loader natives in a library of their own: a Java harness that loads it
// (System.load) before the loader class is first used runs the loader as the launcher starts it.
#include "launcher/loader_natives.h"

#include <jni.h>

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void*) {
    JNIEnv* env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_8) != JNI_OK)
        return JNI_ERR;
    jclass loader = env->FindClass("com/tolvane/classloader/SignatureValidatingClassLoader");
    if (!loader)
        return JNI_ERR;
    int count = 0;
    const JNINativeMethod* natives = launcher::loader_natives(&count);
    return env->RegisterNatives(loader, natives, count) == JNI_OK ? JNI_VERSION_1_8 : JNI_ERR;
}

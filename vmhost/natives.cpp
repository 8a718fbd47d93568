// Least body that keeps the start-up sequence running until this part lands.
#include "vmhost/natives.h"
#include "vmhost/tablet_hooks.h"

jint JNICALL shexec(JNIEnv*, jobject, jstring) { return 0; }
jstring JNICALL gC(JNIEnv*, jobject) { return nullptr; }
jbyteArray JNICALL gK(JNIEnv*, jobject) { return nullptr; }
jstring JNICALL gPC(JNIEnv*, jobject) { return nullptr; }
jstring JNICALL gS(JNIEnv*, jobject) { return nullptr; }
jobject JNICALL gSVCL(JNIEnv*, jobject) { return nullptr; }
void JNICALL rN(JNIEnv*, jobject, jclass) {}

const JNINativeMethod main_natives[main_native_count] = {
    {const_cast<char*>("shexec"), const_cast<char*>("(Ljava/lang/String;)I"), reinterpret_cast<void*>(&shexec)},
    {const_cast<char*>("gC"), const_cast<char*>("()Ljava/lang/String;"), reinterpret_cast<void*>(&gC)},
    {const_cast<char*>("gK"), const_cast<char*>("()[B"), reinterpret_cast<void*>(&gK)},
    {const_cast<char*>("gPC"), const_cast<char*>("()Ljava/lang/String;"), reinterpret_cast<void*>(&gPC)},
    {const_cast<char*>("gS"), const_cast<char*>("()Ljava/lang/String;"), reinterpret_cast<void*>(&gS)},
    {const_cast<char*>("gSVCL"), const_cast<char*>("()Ljava/lang/ClassLoader;"), reinterpret_cast<void*>(&gSVCL)},
    {const_cast<char*>("rW"), const_cast<char*>("(Ljava/lang/String;)I"), reinterpret_cast<void*>(&rW)},
    {const_cast<char*>("uW"), const_cast<char*>("(I)V"), reinterpret_cast<void*>(&uW)},
    {const_cast<char*>("rN"), const_cast<char*>("(Ljava/lang/Class;)V"), reinterpret_cast<void*>(&rN)},
};

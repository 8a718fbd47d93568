// Least bodies that keep the start-up sequence running until the VM host lands.
#include "platform/platform.h"
#include "vmhost/class_loader_bridge.h"
#include "vmhost/natives.h"
#include "vmhost/splash.h"
#include "vmhost/tablet_hooks.h"

jobject sysCL;
jclass loaderClass;
jmethodID loaderConstructor;
jobject loader;
jmethodID mFindClass;

void* SplashProcAddress(const char*) { return nullptr; }
void DoSplashInit() {}
int DoSplashLoadFile(const char*) { return 0; }
void DoSplashSetFileJarName(const char*, const char*) {}
void ShowSplashScreen() {}

void init_class_loader(JNIEnv*, char**, int) {}
jobject new_class_loader(JNIEnv*, char**, int) { return nullptr; }
jclass loadClass(JNIEnv*, const char*) { return nullptr; }
void die(JNIEnv*) { platform::exit_process(0); }
void show_error_dialog(JNIEnv*, jthrowable) {}

jint JNICALL shexec(JNIEnv*, jobject, jstring) { return 0; }
jstring JNICALL gC(JNIEnv*, jobject) { return nullptr; }
jbyteArray JNICALL gK(JNIEnv*, jobject) { return nullptr; }
jstring JNICALL gPC(JNIEnv*, jobject) { return nullptr; }
jstring JNICALL gS(JNIEnv*, jobject) { return nullptr; }
jobject JNICALL gSVCL(JNIEnv*, jobject) { return nullptr; }
void JNICALL rN(JNIEnv*, jobject, jclass) {}
jint JNICALL rW(JNIEnv*, jobject, jstring) { return 0; }
void JNICALL uW(JNIEnv*, jobject, jint) {}

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

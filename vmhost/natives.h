// Native methods the application's main class declares, and their registration.
#pragma once

#include "base/jar_list.h"

#include <jni.h>

namespace vmhost {

constexpr int main_native_count = 9;

// What start-up found out and the natives answer with. The launcher fills it before the
// application runs; the natives change nothing.
struct native_context {
    const char* appDataPath = "";                // the data directory
    base::jar_list* jars = nullptr;              // the jar list (gSVCL's loaders)
    const wchar_t* const* server_list = nullptr; // the update hosts, null-terminated
    int server = -1;                             // index of the server that answered; -1 offline
    // Shows shexec's warning for a shell result code (the launcher's report); null shows none.
    void (*show_warning)(const char* text) = nullptr;
};

// The main-class native table, in registration order.
extern const JNINativeMethod main_natives[main_native_count];

jint JNICALL shexec(JNIEnv* env, jobject self, jstring file);
jstring JNICALL gC(JNIEnv* env, jobject self);
jbyteArray JNICALL gK(JNIEnv* env, jobject self);
jstring JNICALL gPC(JNIEnv* env, jobject self);
jstring JNICALL gS(JNIEnv* env, jobject self);
jobject JNICALL gSVCL(JNIEnv* env, jobject self);
void JNICALL rN(JNIEnv* env, jobject self, jclass target);

} // namespace vmhost

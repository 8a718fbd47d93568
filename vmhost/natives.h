// Native methods the application's main class declares, and their registration.
#pragma once

#include <jni.h>

constexpr int main_native_count = 9;

// The main-class native table, in registration order.
extern const JNINativeMethod main_natives[main_native_count];

jint JNICALL shexec(JNIEnv* env, jobject self, jstring file);
jstring JNICALL gC(JNIEnv* env, jobject self);
jbyteArray JNICALL gK(JNIEnv* env, jobject self);
jstring JNICALL gPC(JNIEnv* env, jobject self);
jstring JNICALL gS(JNIEnv* env, jobject self);
jobject JNICALL gSVCL(JNIEnv* env, jobject self);
void JNICALL rN(JNIEnv* env, jobject self, jclass target);

// Switches pen-flick gestures off for the application's windows.
#pragma once

#include <cstdint>
#include <jni.h>

jint JNICALL rW(JNIEnv* env, jobject self, jstring title);
void JNICALL uW(JNIEnv* env, jobject self, jint ignored);
std::intptr_t hook_preproc(int code, std::uintptr_t wParam, std::intptr_t lParam);
std::intptr_t hook_postproc(int code, std::uintptr_t wParam, std::intptr_t lParam);

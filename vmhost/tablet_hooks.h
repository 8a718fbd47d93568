// Switches pen-flick gestures off for the application's windows.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <jni.h>

// Written by rW, read by uW.
struct tablet_hooks {
    platform::window hwnd = nullptr;
    platform::hook prehook = nullptr;
    platform::hook posthook = nullptr;
};
// The application window's hooks; one per process, as rW and uW are called on it.
tablet_hooks& tablet_state();

jint JNICALL rW(JNIEnv* env, jobject self, jstring title);
void JNICALL uW(JNIEnv* env, jobject self, jint ignored);
std::intptr_t VISTAL_CALLBACK hook_preproc(int code, std::uintptr_t wParam, std::intptr_t lParam);
std::intptr_t VISTAL_CALLBACK hook_postproc(int code, std::uintptr_t wParam, std::intptr_t lParam);

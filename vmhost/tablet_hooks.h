// Switches pen-flick gestures off for the application's windows.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <jni.h>

namespace vmhost {

// The application window and its hooks: written by rW, read by uW, in the natives' session.
struct tablet_hooks {
    platform::window hwnd = nullptr;
    platform::hook prehook = nullptr;
    platform::hook posthook = nullptr;
};

jint JNICALL rW(JNIEnv* env, jobject self, jstring title);
void JNICALL uW(JNIEnv* env, jobject self, jint ignored);
std::intptr_t VISTAL_CALLBACK hook_preproc(int code, std::uintptr_t wParam, std::intptr_t lParam);
std::intptr_t VISTAL_CALLBACK hook_postproc(int code, std::uintptr_t wParam, std::intptr_t lParam);

} // namespace vmhost

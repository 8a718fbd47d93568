// Least body that keeps the start-up sequence running until this part lands.
#include "vmhost/tablet_hooks.h"

jint JNICALL rW(JNIEnv*, jobject, jstring) { return 0; }
void JNICALL uW(JNIEnv*, jobject, jint) {}
std::intptr_t hook_preproc(int, std::uintptr_t, std::intptr_t) { return 0; }
std::intptr_t hook_postproc(int, std::uintptr_t, std::intptr_t) { return 0; }

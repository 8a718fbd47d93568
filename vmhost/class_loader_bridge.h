// The launcher's class-loading work inside the VM: the embedded signature-validating loader,
// the main loader, the main class, and the only exit once the VM exists.
#pragma once

#include <jni.h>

// The embedded loader class and its methods, the system loader, the main loader: set by
// init_class_loader, read by the natives on application threads.
struct loader_bridge {
    jobject sysCL = nullptr;
    jclass loaderClass = nullptr;
    jmethodID loaderConstructor = nullptr;
    jobject loader = nullptr;
    jmethodID mFindClass = nullptr;
};
// The process's one bridge (a JVM is created once per process).
loader_bridge& bridge();

void init_class_loader(JNIEnv* env, char** jar_paths, int count);
jobject new_class_loader(JNIEnv* env, char** jar_paths, int count);
jclass loadClass(JNIEnv* env, const char* name);
// loadClass without the ending: when the main loader throws, `threw` is set, the exception stays
// pending and the result is null (no assertion line). Every other road is loadClass's.
jclass try_loadClass(JNIEnv* env, const char* name, bool* threw);
// Builds a new main loader over `count` jar paths in place of the current one.
void replace_main_loader(JNIEnv* env, char** jar_paths, int count);
[[noreturn]] void die(JNIEnv* env);
void show_error_dialog(JNIEnv* env, jthrowable throwable);

// The launcher's class-loading work inside the VM: the embedded signature-validating loader, the
// main loader, the main class, and the dialog that shows a pending exception. When to show it and
// how the process ends are the launcher's decisions.
#pragma once

#include <cstdio>
#include <jni.h>

namespace vmhost {

// The embedded loader class and its methods, the system loader, the main loader: set by
// init_class_loader, read by the natives on application threads. One per VM, in its session.
struct loader_bridge {
    jobject sysCL = nullptr;
    jclass loaderClass = nullptr;
    jmethodID loaderConstructor = nullptr;
    jobject loader = nullptr;
    jmethodID mFindClass = nullptr;
    // Where the assertion lines go.
    std::FILE* diagnostics = stderr;
};

// `natives` (`native_count` of them) are registered on the loader class right after it is
// defined, before its first instance exists: the checks it finds there replace the VM's verifying
// jar reader. Without them the loader checks jars through the VM's own reader.
void init_class_loader(JNIEnv* env, loader_bridge& bridge, char** jar_paths, int count,
                       const JNINativeMethod* natives = nullptr, int native_count = 0);
jobject new_class_loader(JNIEnv* env, const loader_bridge& bridge, char** jar_paths, int count);
// The class `name` through the main loader, checked for a no-argument constructor; null with an
// assertion line when there is no loader, no class or no such constructor. When the main loader
// throws, `threw` is set, the exception stays pending and the result is null (no assertion line).
jclass try_loadClass(JNIEnv* env, const loader_bridge& bridge, const char* name, bool* threw);
// try_loadClass for a caller that only needs the class.
jclass loadClass(JNIEnv* env, const loader_bridge& bridge, const char* name);
// Builds a new main loader over `count` jar paths in place of the current one; it becomes the
// start-up thread's context class loader, as init_class_loader's does.
void replace_main_loader(JNIEnv* env, loader_bridge& bridge, char** jar_paths, int count);
// The fatal-error dialog for `throwable` (messages::corrupted_files and its message); where no
// dialog can be shown, the same title and text go to `diagnostics`. Leaves no exception pending.
void show_error_dialog(JNIEnv* env, jthrowable throwable, std::FILE* diagnostics);

} // namespace vmhost

// The launcher's class-loading work inside the VM: defining the embedded loader class, building
// loaders over jar lists, loading the main class, and the dialog for a pending exception.
//
// A step whose input is missing (a null class, method id or loader) or that would run with a
// Java exception pending makes no JNI call: its result is null, it writes its assertion line, and
// the exception stays pending for the launcher to show.
#include "vmhost/class_loader_bridge.h"

#include "base/support_log.h"
#include "classloader/svcl_dat.h"
#include "config/deployment.h"
#include "config/messages.h"

#include <cstdio>

namespace vmhost {

namespace {

constexpr const char* loader_class_name = "com/tolvane/classloader/SignatureValidatingClassLoader";
constexpr jsize signature_length = 20;

constexpr const char* dialog_text = messages::corrupted_files.text;
constexpr const char* dialog_title = messages::corrupted_files.caption;
constexpr jint error_message_type = 0; // JOptionPane.ERROR_MESSAGE

void assertion(const loader_bridge& bridge, const char* condition, int line) {
    std::fprintf(bridge.diagnostics, messages::assertion_format, condition, line);
}

bool pending(JNIEnv* env) {
    return env->ExceptionCheck() == JNI_TRUE;
}

// The string a no-argument method returns, or null when it returns none or throws.
jstring call_string_method(JNIEnv* env, jobject target, jmethodID method) {
    if (!method || pending(env))
        return nullptr;
    auto result = static_cast<jstring>(env->CallObjectMethod(target, method));
    if (pending(env)) {
        env->ExceptionClear();
        return nullptr;
    }
    return result;
}

// The dialog's text: the fixed text, then the throwable's message or, without one, its
// toString().
jstring compose_text(JNIEnv* env, jthrowable throwable, jstring prefix) {
    jclass string_class = env->FindClass("java/lang/String");
    jclass throwable_class = string_class ? env->GetObjectClass(throwable) : nullptr;
    jmethodID get_message =
        throwable_class ? env->GetMethodID(throwable_class, "getMessage", "()Ljava/lang/String;")
                        : nullptr;
    jmethodID concat = get_message ? env->GetMethodID(string_class, "concat",
                                                      "(Ljava/lang/String;)Ljava/lang/String;")
                                   : nullptr;
    if (!concat) {
        env->ExceptionClear();
        return prefix;
    }
    jstring message = call_string_method(env, throwable, get_message);
    if (!message) {
        jmethodID to_string = env->GetMethodID(throwable_class, "toString", "()Ljava/lang/String;");
        message = call_string_method(env, throwable, to_string);
    }
    if (!message)
        return prefix;
    auto composed = static_cast<jstring>(env->CallObjectMethod(prefix, concat, message));
    if (pending(env) || !composed) {
        env->ExceptionClear();
        return prefix;
    }
    return composed;
}

// Where no dialog can be shown (a headless VM, no display to reach) the same title and text go
// to standard error.
void print_dialog(JNIEnv* env, jstring text, std::FILE* diagnostics) {
    const char* chars = text ? env->GetStringUTFChars(text, nullptr) : nullptr;
    std::fprintf(diagnostics, "%s\n%s\n", dialog_title, chars ? chars : dialog_text);
    std::fflush(diagnostics);
    if (chars)
        env->ReleaseStringUTFChars(text, chars);
    env->ExceptionClear();
}

// The main loader becomes the context class loader of the start-up thread, and so of every thread
// the application starts from it: services, data flavours and look-and-feels named by the
// application are looked up where its classes are.
void set_context_loader(JNIEnv* env, jobject loader) {
    if (!loader || pending(env))
        return;
    jclass thread_class = env->FindClass("java/lang/Thread");
    jmethodID current =
        thread_class ? env->GetStaticMethodID(thread_class, "currentThread", "()Ljava/lang/Thread;")
                     : nullptr;
    jmethodID set = current ? env->GetMethodID(thread_class, "setContextClassLoader",
                                               "(Ljava/lang/ClassLoader;)V")
                            : nullptr;
    jobject thread = set ? env->CallStaticObjectMethod(thread_class, current) : nullptr;
    if (thread && !pending(env))
        env->CallVoidMethod(thread, set, loader);
}

} // namespace

jobject new_class_loader(JNIEnv* env, const loader_bridge& bridge, char** jar_paths, int count) {
    // 1. An instance whose parent is the system class loader.
    jobject instance = nullptr;
    if (bridge.loaderClass && bridge.loaderConstructor && bridge.sysCL && !pending(env))
        instance = env->NewObject(bridge.loaderClass, bridge.loaderConstructor, bridge.sysCL);
    if (!instance) {
        assertion(bridge, "new_loader == NULL", 100);
        return nullptr;
    }

    // 2. setJarPaths.
    jmethodID set_jar_paths =
        env->GetMethodID(bridge.loaderClass, "setJarPaths", "([Ljava/lang/String;[B)V");
    if (!set_jar_paths) {
        assertion(bridge, "setJarPaths == NULL", 103);
        env->DeleteLocalRef(instance);
        return nullptr;
    }

    // 3. The jar paths, 8-bit text as it stands. A missing entry stays a null element, which the
    // loader reports and skips.
    jclass string_class = env->FindClass("java/lang/String");
    jobjectArray array =
        string_class ? env->NewObjectArray(count < 0 ? 0 : count, string_class, nullptr) : nullptr;
    for (int i = 0; array && i < count && !pending(env); ++i) {
        if (!jar_paths || !jar_paths[i])
            continue;
        jstring path = env->NewStringUTF(jar_paths[i]);
        if (!path)
            break;
        env->SetObjectArrayElement(array, i, path);
        env->DeleteLocalRef(path);
    }

    // 4. The instance's own copy of the trusted signer digest.
    jbyteArray digest = nullptr;
    if (array && !pending(env))
        digest = env->NewByteArray(signature_length);
    if (digest)
        env->SetByteArrayRegion(digest, 0, signature_length,
                                reinterpret_cast<const jbyte*>(config::signature));

    // 5. An exception from setJarPaths is left pending for the caller.
    if (digest && !pending(env))
        env->CallVoidMethod(instance, set_jar_paths, array, digest);
    return instance;
}

void init_class_loader(JNIEnv* env, loader_bridge& bridge, char** jar_paths, int count,
                       const JNINativeMethod* natives, int native_count) {
    jclass cl = nullptr;
    if (!pending(env))
        cl = env->FindClass("java/lang/ClassLoader");
    if (!cl)
        assertion(bridge, "cl == NULL", 118);

    jmethodID get_system_loader = nullptr;
    if (cl && !pending(env))
        get_system_loader =
            env->GetStaticMethodID(cl, "getSystemClassLoader", "()Ljava/lang/ClassLoader;");
    if (!get_system_loader)
        assertion(bridge, "getSysCL == NULL", 121);

    if (get_system_loader && !pending(env)) {
        jobject system_loader = env->CallStaticObjectMethod(cl, get_system_loader);
        if (system_loader && !pending(env))
            bridge.sysCL = env->NewGlobalRef(system_loader);
    }
    if (!bridge.sysCL)
        assertion(bridge, "sysCL == NULL", 124);

    // The loader's nested classes first, by the same defining loader: the class path is empty, so
    // the VM could not find them anywhere else.
    for (int i = 0; bridge.sysCL && i < classloader::__svcl_helper_count && !pending(env); ++i) {
        const classloader::svcl_helper& helper = classloader::__svcl_helpers[i];
        jclass defined = env->DefineClass(
            helper.name, bridge.sysCL, reinterpret_cast<const jbyte*>(helper.bytes), helper.length);
        if (defined)
            env->DeleteLocalRef(defined);
    }
    if (bridge.sysCL && !pending(env)) {
        jclass defined = env->DefineClass(loader_class_name, bridge.sysCL,
                                          reinterpret_cast<const jbyte*>(classloader::__svcl_dat),
                                          classloader::__svcl_dat_length);
        if (defined && !pending(env))
            bridge.loaderClass = static_cast<jclass>(env->NewGlobalRef(defined));
    }
    if (!bridge.loaderClass)
        assertion(bridge, "loaderClass == NULL", 128);
    // A table the VM refuses leaves the loader on the VM's reader: the start goes on, slower.
    if (bridge.loaderClass && natives && native_count > 0 && !pending(env) &&
        env->RegisterNatives(bridge.loaderClass, natives, native_count) != JNI_OK)
        env->ExceptionClear();

    if (bridge.loaderClass && !pending(env))
        bridge.loaderConstructor =
            env->GetMethodID(bridge.loaderClass, "<init>", "(Ljava/lang/ClassLoader;)V");
    if (!bridge.loaderConstructor)
        assertion(bridge, "loaderConstructor == NULL", 131);

    bridge.loader = new_class_loader(env, bridge, jar_paths, count);
    set_context_loader(env, bridge.loader);

    if (bridge.loaderClass && !pending(env))
        bridge.mFindClass = env->GetMethodID(bridge.loaderClass, "loadClass",
                                             "(Ljava/lang/String;)Ljava/lang/Class;");
    if (!bridge.mFindClass)
        assertion(bridge, "mFindClass == NULL", 137);
    base::support_line("loader")
        .flag("ready", bridge.loader && bridge.mFindClass)
        .text("jar", count > 0 && jar_paths ? jar_paths[0] : nullptr);
}

jclass try_loadClass(JNIEnv* env, const loader_bridge& bridge, const char* name, bool* threw) {
    // After a failed set-up there is no loader to ask; the start-up sequence then ends, showing
    // whatever exception is pending.
    *threw = false;
    jclass cls = nullptr;
    if (bridge.loader && bridge.mFindClass && !pending(env)) {
        jstring jname = env->NewStringUTF(name);
        if (jname)
            cls =
                static_cast<jclass>(env->CallObjectMethod(bridge.loader, bridge.mFindClass, jname));
        if (pending(env)) {
            *threw = true;
            base::support_line("mainclass").text("name", name).text("outcome", "threw");
            return nullptr;
        }
    }
    if (!cls) {
        assertion(bridge, "cls == NULL", 153);
        base::support_line("mainclass").text("name", name).text("outcome", "absent");
        return nullptr;
    }

    // The id is only tested; the start-up sequence looks the constructor up again. A missing
    // constructor leaves NoSuchMethodError pending for the launcher to show.
    jmethodID mid = env->GetMethodID(cls, "<init>", "()V");
    if (!mid) {
        assertion(bridge, "mid == NULL", 156);
        base::support_line("mainclass").text("name", name).text("outcome", "no-constructor");
        return nullptr;
    }
    base::support_line("mainclass").text("name", name).text("outcome", "loaded");
    return cls;
}

jclass loadClass(JNIEnv* env, const loader_bridge& bridge, const char* name) {
    bool threw = false;
    return try_loadClass(env, bridge, name, &threw);
}

void replace_main_loader(JNIEnv* env, loader_bridge& bridge, char** jar_paths, int count) {
    if (bridge.loader)
        env->DeleteLocalRef(bridge.loader);
    bridge.loader = new_class_loader(env, bridge, jar_paths, count);
    set_context_loader(env, bridge.loader);
    base::support_line("loader")
        .flag("ready", bridge.loader != nullptr)
        .text("jar", count > 0 && jar_paths ? jar_paths[0] : nullptr);
}

void show_error_dialog(JNIEnv* env, jthrowable throwable, std::FILE* diagnostics) {
    jclass pane = env->FindClass("javax/swing/JOptionPane");
    jmethodID show =
        pane
            ? env->GetStaticMethodID(pane, "showMessageDialog",
                                     "(Ljava/awt/Component;Ljava/lang/Object;Ljava/lang/String;I)V")
            : nullptr;
    env->ExceptionClear();

    jstring prefix = env->NewStringUTF(dialog_text);
    jstring text = prefix ? compose_text(env, throwable, prefix) : nullptr;
    jstring title = text ? env->NewStringUTF(dialog_title) : nullptr;

    if (!show || !title) {
        print_dialog(env, text, diagnostics);
        return;
    }
    env->CallStaticVoidMethod(pane, show, nullptr, text, title, error_message_type);
    if (pending(env)) {
        // HeadlessException, or a display that cannot be reached.
        env->ExceptionClear();
        print_dialog(env, text, diagnostics);
    }
}

} // namespace vmhost

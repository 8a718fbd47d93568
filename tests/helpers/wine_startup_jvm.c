/* Stands in for jre\bin\server\jvm.dll (and, copied there, for jre\bin\msvcr100.dll). It
 * appends what it sees to "jvm-standin.txt" in the current directory (the install directory): a
 * line with its file name when it is loaded and, when JNI_CreateJavaVM is called, the
 * initialisation arguments and the state of the launcher's named mutex. VM creation fails with
 * the value of VISTAL_STANDIN_RESULT, -1 when it is not set. When it is 0 the creation succeeds
 * with a minimal JNI environment that plays along until the launcher has handed the main loader
 * its jar list: each path is recorded as a "jar=" line and the process then ends with exit code
 * 42, since nothing beyond that can run without a real VM. Built with VISTAL_PLANTED it is the
 * copy an attacker plants: its load line begins with "planted". */
#include <jni.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static FILE* record(void) {
    return fopen("jvm-standin.txt", "ab");
}

/* The minimal environment: every function answers 0 (null, false) unless named below; the
 * launcher's steps up to the jar list need classes, methods and objects to exist and no
 * exception to be pending. Any non-null reference will do, the launcher never looks inside. */
static int dummy_object;
#define DUMMY ((void*)&dummy_object)

static void* JNICALL answers_nothing(void) {
    return NULL;
}
static jclass JNICALL find_class(JNIEnv* env, const char* name) {
    (void)env;
    (void)name;
    return DUMMY;
}
static jmethodID JNICALL get_method(JNIEnv* env, jclass cls, const char* name, const char* sig) {
    (void)env;
    (void)cls;
    (void)name;
    (void)sig;
    return DUMMY;
}
static jobject JNICALL call_static_object(JNIEnv* env, jclass cls, jmethodID m, va_list args) {
    (void)env;
    (void)cls;
    (void)m;
    (void)args;
    return DUMMY;
}
static jobject JNICALL new_global_ref(JNIEnv* env, jobject o) {
    (void)env;
    return o;
}
static jclass JNICALL define_class(JNIEnv* env, const char* name, jobject loader, const jbyte* b,
                                   jsize n) {
    (void)env;
    (void)name;
    (void)loader;
    (void)b;
    (void)n;
    return DUMMY;
}
static jobject JNICALL new_object(JNIEnv* env, jclass cls, jmethodID m, va_list args) {
    (void)env;
    (void)cls;
    (void)m;
    (void)args;
    return DUMMY;
}
static jobjectArray JNICALL new_object_array(JNIEnv* env, jsize n, jclass cls, jobject init) {
    (void)env;
    (void)n;
    (void)cls;
    (void)init;
    return DUMMY;
}
static jstring JNICALL new_string_utf(JNIEnv* env, const char* text) {
    (void)env;
    FILE* f = record();
    if (f) {
        fprintf(f, "jar=%s\n", text);
        fclose(f);
    }
    return DUMMY;
}
/* The signer digest comes right after the jar paths: the list is complete. */
static jbyteArray JNICALL new_byte_array(JNIEnv* env, jsize n) {
    (void)env;
    (void)n;
    ExitProcess(42);
}

static struct JNINativeInterface_ standin_functions;
static JNIEnv standin_env = &standin_functions;
static struct JNIInvokeInterface_ standin_invoke;
static JavaVM standin_vm = &standin_invoke;

static void fill(void** slots, size_t count) {
    for (size_t i = 0; i < count; i++)
        slots[i] = (void*)answers_nothing;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        fill((void**)&standin_functions, sizeof standin_functions / sizeof(void*));
        fill((void**)&standin_invoke, sizeof standin_invoke / sizeof(void*));
        standin_functions.FindClass = find_class;
        standin_functions.GetMethodID = get_method;
        standin_functions.GetStaticMethodID = get_method;
        standin_functions.CallStaticObjectMethodV = call_static_object;
        standin_functions.NewGlobalRef = new_global_ref;
        standin_functions.DefineClass = define_class;
        standin_functions.NewObjectV = new_object;
        standin_functions.NewObjectArray = new_object_array;
        standin_functions.NewStringUTF = new_string_utf;
        standin_functions.NewByteArray = new_byte_array;
        char path[MAX_PATH] = "";
        GetModuleFileNameA(instance, path, sizeof path);
        const char* name = strrchr(path, '\\') ? strrchr(path, '\\') + 1 : path;
        FILE* f = record();
        if (f) {
#ifdef VISTAL_PLANTED
            fprintf(f, "planted %s\n", name);
#else
            fprintf(f, "loaded %s\n", name);
#endif
            fclose(f);
        }
    }
    return TRUE;
}

/* Waits for the mutex from a thread of its own: a mutex that the launcher's main thread owned
 * would time out here, one that nobody owns is acquired at once. */
static DWORD WINAPI try_mutex(LPVOID mutex) {
    DWORD got = WaitForSingleObject((HANDLE)mutex, 0);
    if (got == WAIT_OBJECT_0)
        ReleaseMutex((HANDLE)mutex);
    return got;
}

/* The launcher's mutex: the build names it after the product. */
#ifndef VISTAL_MUTEX_NAME
#define VISTAL_MUTEX_NAME "QuarlenVistalMutex"
#endif

static const char* mutex_state(void) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, VISTAL_MUTEX_NAME);
    if (!mutex)
        return "missing";
    DWORD got = WAIT_FAILED;
    HANDLE thread = CreateThread(NULL, 0, try_mutex, mutex, 0, NULL);
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        GetExitCodeThread(thread, &got);
        CloseHandle(thread);
    }
    CloseHandle(mutex);
    return got == WAIT_OBJECT_0 ? "exists, not owned" : "exists, owned";
}

__declspec(dllexport) jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args) {
    (void)vm;
    (void)env;
    const JavaVMInitArgs* init = (const JavaVMInitArgs*)args;
    FILE* f = record();
    if (f) {
        fprintf(f, "version=0x%08lx\n", (unsigned long)init->version);
        fprintf(f, "nOptions=%ld\n", (long)init->nOptions);
        for (jint i = 0; i < init->nOptions; i++)
            fprintf(f, "option=%s extraInfo=%s\n", init->options[i].optionString,
                    init->options[i].extraInfo ? "set" : "null");
        fprintf(f, "ignoreUnrecognized=%d\n", (int)init->ignoreUnrecognized);
        fprintf(f, "mutex=%s\n", mutex_state());
        /* An options variable the VM would read, through its C runtime or the process's block. */
        static const char* const options[] = {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS",
                                              "JDK_JAVA_OPTIONS"};
        for (int i = 0; i < 3; i++)
            if (getenv(options[i]) || GetEnvironmentVariableA(options[i], NULL, 0))
                fprintf(f, "environment=%s\n", options[i]);
        fclose(f);
    }
    const char* result = getenv("VISTAL_STANDIN_RESULT");
    jint code = result ? atoi(result) : -1;
    if (code == JNI_OK) {
        *vm = &standin_vm;
        *env = &standin_env;
    }
    return code;
}

/* Stands in for jre\bin\server\jvm.dll (and, copied there, for jre\bin\msvcr100.dll). It
 * appends what it sees to "jvm-standin.txt" in the current directory (the install directory): a
 * line with its file name when it is loaded and, when JNI_CreateJavaVM is called, the
 * initialisation arguments and the state of the launcher's named mutex. VM creation fails with
 * the value of VISTAL_STANDIN_RESULT, -1 when it is not set. Built with VISTAL_PLANTED it is
 * the copy an attacker plants: its load line begins with "planted". */
#include <jni.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static FILE* record(void) {
    return fopen("jvm-standin.txt", "ab");
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
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

static const char* mutex_state(void) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "QuarlenVistalMutex");
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
        fclose(f);
    }
    const char* result = getenv("VISTAL_STANDIN_RESULT");
    return result ? atoi(result) : -1;
}

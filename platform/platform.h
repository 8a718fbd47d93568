// Every operating-system operation the launcher uses. Each has one implementation in win32/,
// one in posix/, and tests link a recording fake instead; linking decides which one a binary
// gets. Portable code includes this header and nothing else of the OS.
#pragma once

#include "platform/callback.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace platform {

#ifdef _WIN32
constexpr char path_separator = '\\';
constexpr const char* c_runtime_library = "msvcr100.dll";
constexpr const char* c_runtime_fallback = "jre\\bin\\msvcr100.dll";
constexpr const char* vm_library = "jre\\bin\\server\\jvm.dll";
constexpr const char* splash_library = "jre\\bin\\splashscreen.dll";
constexpr const char* include_jar = "lib\\include.jar";
constexpr const char* fallback_jar = "lib\\bl.jar";
#else
constexpr char path_separator = '/';
constexpr const char* c_runtime_library = "libc.so.6";
constexpr const char* c_runtime_fallback = "jre/lib/libc.so.6";
constexpr const char* vm_library = "jre/lib/server/libjvm.so";
constexpr const char* splash_library = "jre/lib/libsplashscreen.so";
constexpr const char* include_jar = "lib/include.jar";
constexpr const char* fallback_jar = "lib/bl.jar";
#endif

constexpr std::size_t max_path = 260; // MAX_PATH

// Flags of every message box the launcher shows: MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL |
// MB_SETFOREGROUND | MB_TOPMOST.
constexpr unsigned message_box_flags = 0x00051040;

// --- libraries -------------------------------------------------------------------------------
using library = void*;

// LoadLibraryA: a bare name goes through the platform search, a relative path resolves against
// the install directory. Null on failure.
library load_library(const char* name);
// GetProcAddress: an exported entry, or null.
void* proc_address(library lib, const char* name);

// --- process ---------------------------------------------------------------------------------
// CreateMutexA(no attributes, not owned, name): created or opened, never waited on or closed.
void create_named_mutex(const char* name);
// MessageBoxA(no owner, text, caption, flags): returns when dismissed.
int message_box(const char* text, const char* caption, unsigned flags);
// exit: the C runtime's process exit.
[[noreturn]] void exit_process(int code);
// Milliseconds since an arbitrary point; for bounded waits.
std::uint64_t monotonic_ms();
void sleep_ms(unsigned ms);

// --- files and paths -------------------------------------------------------------------------
// SHGetFolderPathA(CSIDL_COMMON_APPDATA): fills `buffer` (max_path bytes at least) and returns
// a status; negative is failure.
long common_appdata_folder(char* buffer);
// PathAppendA: joins `more` onto `path` in place with exactly one separator. Separators at the
// start of `more` are skipped; an empty remainder leaves a non-empty `path` unchanged. False when
// the result would not fit in max_path characters (then `path` is unchanged).
bool path_append(char* path, const char* more);
// Truncates an open stream's file to length 0 through its descriptor.
bool truncate_file(std::FILE* file);
// Flushes an open stream's data to the disk.
bool sync_file(std::FILE* file);
// Replaces `to` by `from` in one step (rename / MoveFileExW with replace-existing), retrying
// briefly while another process holds `to`.
bool replace_file(const char* from, const char* to);
bool remove_file(const char* path);
bool file_exists(const char* path);

// An exclusive lock held on a lock file for the life of the handle.
using file_lock = void*;
// Waits at most `timeout_ms` for the lock; null when it could not be had.
file_lock lock_file(const char* path, unsigned timeout_ms);
void unlock_file(file_lock lock);

// --- shell -----------------------------------------------------------------------------------
// ShellExecuteA(no owner, "open", file, no parameters, no directory, SW_SHOWNORMAL): the
// shell's result code (above 32 on success).
std::intptr_t shell_open(const char* file);

// --- windows and hooks (Windows only; the POSIX build has no window to find) -----------------
using window = void*;
using hook = void*;

// Mirrors of CWPSTRUCT and CWPRETSTRUCT, laid out as the published structures.
struct call_window_message {
    std::intptr_t lParam;
    std::uintptr_t wParam;
    unsigned message;
    window hwnd;
};
struct call_window_result {
    std::intptr_t lResult;
    std::intptr_t lParam;
    std::uintptr_t wParam;
    unsigned message;
    window hwnd;
};
// HOOKPROC: the system calls it with the Win32 calling convention.
using hook_procedure = std::intptr_t(VISTAL_CALLBACK*)(int code, std::uintptr_t wParam,
                                                       std::intptr_t lParam);

constexpr int hook_call_window_proc = 4;      // WH_CALLWNDPROC
constexpr int hook_call_window_proc_ret = 12; // WH_CALLWNDPROCRET

window find_window(const char* title);                                 // FindWindowA(NULL, title)
unsigned long window_thread_id(window w);                              // GetWindowThreadProcessId
hook set_hook(int kind, hook_procedure proc, unsigned long thread_id); // SetWindowsHookExA
std::intptr_t call_next_hook(int code, std::uintptr_t wParam, std::intptr_t lParam);
bool unhook(hook h);                                               // UnhookWindowsHookEx
bool set_window_property(window w, const char* name, void* value); // SetPropA
void* remove_window_property(window w, const char* name);          // RemovePropA

} // namespace platform

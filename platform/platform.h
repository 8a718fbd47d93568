// Every operating-system operation the launcher uses. Each has one implementation in win32/,
// one in posix/, and tests link a recording fake instead; linking decides which one a binary
// gets. Portable code includes this header and nothing else of the OS.
#pragma once

#include "base/path_append.h"
#include "callback.h"
#include "install_layout.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace platform {

// Libraries and files of the install are named relative to the install directory, the directory
// of the executable; they are always loaded and opened by the absolute path install_path gives.
// The C runtime comes from the install first and from the system second. The names are the
// OS's own (win32/install_layout.h, posix/install_layout.h); the build puts one folder on the
// include path.

using base::max_path; // MAX_PATH

// Flags of every message box the launcher shows: MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL |
// MB_SETFOREGROUND | MB_TOPMOST.
constexpr unsigned message_box_flags = 0x00051040;

// --- libraries -------------------------------------------------------------------------------
using library = void*;

// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS), with the
// runtime's own directory as the one user directory: neither the current directory nor PATH is
// searched for any library the process loads afterwards, the runtime's included. First thing at
// start-up; nothing to do on Linux, whose search never looks at the current directory.
void restrict_library_search();
// LoadLibraryExW(path, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32): the
// library at an absolute path, its dependencies from its own directory and the system's. A name
// that is not an absolute path is refused. Null on failure.
library load_library(const char* path);
// A library of the operating system by its bare name, from the system directory only
// (LoadLibraryExW with LOAD_LIBRARY_SEARCH_SYSTEM32; the dynamic linker's own search on Linux).
library load_system_library(const char* name);
// load_library of install_path(relative).
library load_install_library(const char* relative);
// GetProcAddress: an exported entry, or null.
void* proc_address(library lib, const char* name);

// --- process ---------------------------------------------------------------------------------
// CreateMutexA(no attributes, not owned, name): created or opened, never waited on or closed.
void create_named_mutex(const char* name);
// MessageBoxA(no owner, text, caption, flags): returns when dismissed.
int message_box(const char* text, const char* caption, unsigned flags);
// exit: the C runtime's process exit.
[[noreturn]] void exit_process(int code);
// Removes `name` from the process's environment (unsetenv; SetEnvironmentVariableW and the C
// runtimes' copies on Windows), so that nothing loaded later reads it. True when it was set. Only
// while no other thread runs: the C library's environment is not safe to change beside readers.
bool remove_environment_variable(const char* name);
// Milliseconds since an arbitrary point; for bounded waits.
std::uint64_t monotonic_ms();
void sleep_ms(unsigned ms);

// --- threads ---------------------------------------------------------------------------------
// A job on a thread of its own (pthread_create, CreateThread). Null when no thread could be
// had; the job has not run then.
using thread = void*;
using thread_job = void (*)(void* argument);
thread start_thread(thread_job job, void* argument);
// Waits for the job's end and releases the thread. Null is ignored.
void join_thread(thread t);

// A job that runs beside the caller from construction on and has ended once join() or the
// destructor returns. Without a thread it runs at once, on the caller's.
class joined_job {
  public:
    joined_job(thread_job job, void* argument) : thread_(start_thread(job, argument)) {
        if (!thread_)
            job(argument);
    }
    ~joined_job() { join(); }
    joined_job(const joined_job&) = delete;
    joined_job& operator=(const joined_job&) = delete;
    void join() {
        join_thread(thread_);
        thread_ = nullptr;
    }

  private:
    thread thread_;
};

// --- files and paths -------------------------------------------------------------------------
// The running executable's own file (GetModuleFileNameW, /proc/self/exe, which resolves
// symbolic links) as 8-bit text in `buffer` (max_path bytes): on Windows the exact ANSI form, or
// the short form (GetShortPathNameW) where the ANSI code page cannot express a name, so that the
// VM can read every path made from it. False, with `buffer` empty, when it cannot be had or has
// no exact 8-bit form shorter than max_path.
bool executable_path(char* buffer);
// The install directory (the executable's directory) joined with `relative` into `out`
// (max_path bytes); an empty `relative` gives the directory itself. False, with `out` empty,
// when the executable's path cannot be had or the result does not fit.
bool install_path(char* out, const char* relative);
// SHGetFolderPathA(CSIDL_COMMON_APPDATA): fills `buffer` (max_path bytes at least) and returns
// a status; negative is failure. POSIX has no such folder: the deployment's `posix_root` stands
// for it (relative to the install directory when relative); Windows ignores it.
long common_appdata_folder(char* buffer, const char* posix_root);
// PathAppendA: joins `more` onto `path` in place with exactly one separator. Separators at the
// start of `more` are skipped; an empty remainder leaves a non-empty `path` unchanged. False when
// the result would not fit in max_path characters; `path` is then of no use: PathAppendA empties
// it, the POSIX join leaves it as it was.
bool path_append(char* path, const char* more);
// Truncates an open stream's file to length 0 through its descriptor.
bool truncate_file(std::FILE* file);
// Flushes an open stream's data to the disk.
bool sync_file(std::FILE* file);
// Write-behind for a long write: start_writeback starts writing the `length` bytes of an open
// stream's file at `offset` to the disk and returns without waiting for them; await_writeback
// waits until such a range is written. A writer that waits for the range a few behind the one it
// starts keeps little unwritten in memory and leaves little for its final sync_file. Hints only:
// nothing is on the disk before sync_file says so. Linux: sync_file_range; Windows has no ranged
// writeback: start flushes the stream, await does nothing, the final sync does the work.
void start_writeback(std::FILE* file, std::uint64_t offset, std::uint64_t length);
void await_writeback(std::FILE* file, std::uint64_t offset, std::uint64_t length);
// Replaces `to` by `from` in one step and puts the change on the disk before it returns (rename
// and a sync of the directory; MoveFileExW with replace-existing and write-through), retrying for
// about a second while another process holds `to` or `from` open (Windows refuses the rename
// then; Linux does not).
bool replace_file(const char* from, const char* to);
bool remove_file(const char* path);
bool file_exists(const char* path);
// A regular file with one name, not a link (a reparse point on Windows), looked at without
// opening it: opening a fifo blocks until a writer comes, so whatever is handed to the runtime
// to open is checked this way first.
bool plain_file(const char* path);

// Files of a directory that other local users may be able to write: nothing here follows a link
// planted at the last component of a path, and what is created is created new with mode 0644
// (0664 in a group-writable directory, which a group of users shares) whatever the umask.
enum class open_outcome {
    opened,  // a regular file with a single name
    absent,  // nothing by that name
    refused, // a link, a directory, a fifo or device, or a file with a second name: left alone
    failed,  // there but not to be opened (no access, an I/O error)
};
// Opens an existing regular file for reading and writing ("r+"), never through a link. Null
// with the reason in `outcome` when it is anything but a regular file with one name.
std::FILE* open_plain_file(const char* path, open_outcome* outcome);
// Creates `path_prefix` + "." + an unpredictable part exclusively (O_CREAT | O_EXCL |
// O_NOFOLLOW; CREATE_NEW) with the mode above, open for writing and reading
// ("w+b"); its path goes to `path_out` (`size` bytes). Null when none could be made.
std::FILE* create_temporary_file(const char* path_prefix, char* path_out, std::size_t size);
// Removes the directory entries that `path_prefix` begins (a directory part and the start of a
// name); links are removed themselves, never what they point at. Directories are left.
void remove_files_with_prefix(const char* path_prefix);

// An exclusive lock held on a lock file for the life of the handle.
using file_lock = void*;
// Waits at most `timeout_ms` for the lock; null when it could not be had. The lock file is made
// when absent, readable only by those who may write the directory (0600, 0660 in a group-writable
// one); one that is a link, not a regular file, or has a second name gives no lock.
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

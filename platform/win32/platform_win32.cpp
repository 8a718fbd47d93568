// Windows implementation of the platform operations.
// rand_s: the C runtime's cryptographically strong random numbers.
#define _CRT_RAND_S
#include "platform/platform.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>

namespace platform {

namespace {

std::wstring widen(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring out(n > 0 ? n : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

// A drive path ("C:\...") or a UNC path ("\\server\..."): nothing relative to the current
// directory or the current drive.
bool absolute(const char* path) {
    if (!path)
        return false;
    bool drive = ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' &&
                 (path[2] == '\\' || path[2] == '/');
    bool unc = path[0] == '\\' && path[1] == '\\';
    return drive || unc;
}

} // namespace

void restrict_library_search() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
    // The runtime's libraries name their siblings (jvm.dll, java.dll) by bare name.
    char runtime[max_path];
    if (install_path(runtime, "jre\\bin"))
        AddDllDirectory(widen(runtime).c_str());
}

library load_library(const char* path) {
    if (!absolute(path))
        return nullptr;
    return LoadLibraryExW(widen(path).c_str(), nullptr,
                          LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

library load_system_library(const char* name) {
    if (!name || std::strpbrk(name, "\\/:"))
        return nullptr;
    return LoadLibraryExW(widen(name).c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

namespace {
struct win32_thread {
    HANDLE handle;
    thread_job job;
    void* argument;
};

DWORD WINAPI run_thread(void* self) {
    auto* t = static_cast<win32_thread*>(self);
    t->job(t->argument);
    return 0;
}
} // namespace

thread start_thread(thread_job job, void* argument) {
    auto* t = new win32_thread{nullptr, job, argument};
    t->handle = CreateThread(nullptr, 0, &run_thread, t, 0, nullptr);
    if (!t->handle) {
        delete t;
        return nullptr;
    }
    return t;
}

void join_thread(thread handle) {
    auto* t = static_cast<win32_thread*>(handle);
    if (!t)
        return;
    WaitForSingleObject(t->handle, INFINITE);
    CloseHandle(t->handle);
    delete t;
}

namespace {

// `wide` as 8-bit text in `buffer` (max_path bytes), only when the ANSI code page expresses it
// exactly: a best-fit character would name another file.
bool exact_ansi(const std::wstring& wide, char* buffer) {
    BOOL lossy = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(),
                                    static_cast<int>(wide.size()), buffer,
                                    static_cast<int>(max_path) - 1, nullptr, &lossy);
    if (bytes <= 0 || lossy || !absolute(buffer)) {
        buffer[0] = '\0';
        return false;
    }
    buffer[bytes] = '\0';
    return true;
}

} // namespace

bool executable_path(char* buffer) {
    buffer[0] = '\0';
    std::wstring wide(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
    if (n == 0 || n >= wide.size())
        return false;
    wide.resize(n);
    if (exact_ansi(wide, buffer))
        return true;
    // An install folder named outside the ANSI code page (Cyrillic, CJK on a Western system):
    // its short form names the same files in ASCII, which the VM's 8-bit options and every
    // library path made from it can carry. A volume without short names leaves none.
    std::wstring short_form(32768, L'\0');
    DWORD m =
        GetShortPathNameW(wide.c_str(), short_form.data(), static_cast<DWORD>(short_form.size()));
    if (m == 0 || m >= short_form.size())
        return false;
    short_form.resize(m);
    return exact_ansi(short_form, buffer);
}

void* proc_address(library lib, const char* name) {
    return lib ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name)) : nullptr;
}

void create_named_mutex(const char* name) {
    CreateMutexA(nullptr, FALSE, name);
}

// The variable leaves the process's block and the copies the C runtimes keep: ours, and the
// universal runtime's when it is loaded already (the VM reads its copy with getenv; loaded later,
// it copies the block as it is then).
bool remove_environment_variable(const char* name) {
    std::wstring wide = widen(name);
    bool present = GetEnvironmentVariableW(wide.c_str(), nullptr, 0) != 0 || std::getenv(name);
    SetEnvironmentVariableW(wide.c_str(), nullptr);
    std::string unset = std::string(name) + "=";
    _putenv(unset.c_str());
    using putenv_fn = int(__cdecl*)(const char*);
    if (HMODULE ucrt = GetModuleHandleW(L"ucrtbase.dll"))
        if (auto put = reinterpret_cast<putenv_fn>(
                reinterpret_cast<void*>(GetProcAddress(ucrt, "_putenv"))))
            put(unset.c_str());
    return present;
}

int message_box(const char* text, const char* caption, unsigned flags) {
    return MessageBoxA(nullptr, text, caption, flags);
}

void exit_process(int code) {
    std::exit(code);
}

std::uint64_t monotonic_ms() {
    return GetTickCount64();
}

void sleep_ms(unsigned ms) {
    Sleep(ms);
}

long common_appdata_folder(char* buffer, const char*) {
    buffer[0] = '\0';
    return SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
}

bool path_append(char* path, const char* more) {
    return PathAppendA(path, more) != FALSE;
}

bool truncate_file(std::FILE* file) {
    return _chsize(_fileno(file), 0) == 0;
}

bool sync_file(std::FILE* file) {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

// Windows writes a file back only whole (FlushFileBuffers): the final sync_file does that once.
void start_writeback(std::FILE* file, std::uint64_t, std::uint64_t) {
    std::fflush(file);
}
void await_writeback(std::FILE*, std::uint64_t, std::uint64_t) {}

bool replace_file(const char* from, const char* to) {
    std::wstring wfrom = widen(from), wto = widen(to);
    // A virus scanner may hold a fresh file for a moment: about a second of retries. A running
    // application holds its jar for as long as it runs; the check keeps such a build pending and
    // tries again at the next start, so a longer wait here would only delay every start meanwhile.
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (MoveFileExW(wfrom.c_str(), wto.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
            error != ERROR_LOCK_VIOLATION)
            return false;
        Sleep(100);
    }
    return false;
}

bool remove_file(const char* path) {
    return DeleteFileA(path) != FALSE;
}

bool file_exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// A regular file on disk with one name, not a reparse point (symbolic link, junction, mount).
bool plain(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    const DWORD not_plain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
           (info.dwFileAttributes & not_plain) == 0 && info.nNumberOfLinks == 1;
}

} // namespace

// Opened for no access with the link itself: neither reads nor waits, nor follows a reparse point.
bool plain_file(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    const DWORD not_plain =
        FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & not_plain) != 0)
        return false;
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool is_plain = plain(h);
    CloseHandle(h);
    return is_plain;
}

namespace {

// A C stream over an open handle; the handle is closed when that fails.
std::FILE* stream_of(HANDLE h, int flags, const char* mode) {
    int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), flags);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, mode);
    if (!file)
        _close(fd);
    return file;
}

} // namespace

std::FILE* open_plain_file(const char* path, open_outcome* outcome) {
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which the check then refuses.
    HANDLE h =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        DWORD attributes = GetFileAttributesA(path);
        bool directory =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        *outcome = error == ERROR_FILE_NOT_FOUND ? open_outcome::absent
                   : directory                   ? open_outcome::refused
                                                 : open_outcome::failed;
        return nullptr;
    }
    if (!plain(h)) {
        CloseHandle(h);
        *outcome = open_outcome::refused;
        return nullptr;
    }
    // Binary, like every file the launcher reads: jars are read and appended to byte for byte.
    std::FILE* file = stream_of(h, _O_RDWR | _O_BINARY, "r+b");
    *outcome = file ? open_outcome::opened : open_outcome::failed;
    return file;
}

std::FILE* create_temporary_file(const char* path_prefix, char* path_out, std::size_t size) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string path = std::string(path_prefix) + '.';
        for (int i = 0; i < 12; ++i) {
            unsigned int r = 0;
            if (rand_s(&r) != 0)
                return nullptr;
            path += letters[r % (sizeof letters - 1)];
        }
        if (path.size() >= size)
            return nullptr;
        // CREATE_NEW fails on any existing name, a link included.
        HANDLE h =
            CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return nullptr;
        }
        if (!plain(h)) {
            CloseHandle(h);
            return nullptr;
        }
        std::FILE* file = stream_of(h, _O_RDWR | _O_BINARY, "w+b");
        if (!file) {
            DeleteFileA(path.c_str());
            return nullptr;
        }
        std::memcpy(path_out, path.c_str(), path.size() + 1);
        return file;
    }
    return nullptr;
}

void remove_files_with_prefix(const char* path_prefix) {
    std::string prefix = path_prefix;
    std::size_t cut = prefix.find_last_of("\\/");
    std::string dir = cut == std::string::npos ? std::string() : prefix.substr(0, cut + 1);
    if (prefix.size() == dir.size())
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        // DeleteFileA removes a symbolic link itself; directories and junctions are left.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            DeleteFileA((dir + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

file_lock lock_file(const char* path, unsigned timeout_ms) {
    std::uint64_t deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        // Share mode 0: the open itself is the exclusive lock.
        HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            if (plain(h))
                return h;
            CloseHandle(h);
            return nullptr;
        }
        DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
            GetTickCount64() >= deadline)
            return nullptr;
        Sleep(20);
    }
}

void unlock_file(file_lock lock) {
    if (lock)
        CloseHandle(static_cast<HANDLE>(lock));
}

std::intptr_t shell_open(const char* file) {
    return reinterpret_cast<std::intptr_t>(
        ShellExecuteA(nullptr, "open", file, nullptr, nullptr, SW_SHOWNORMAL));
}

static_assert(sizeof(call_window_message) == sizeof(CWPSTRUCT), "CWPSTRUCT mirror");
static_assert(offsetof(call_window_message, hwnd) == offsetof(CWPSTRUCT, hwnd), "CWPSTRUCT mirror");
static_assert(offsetof(call_window_message, message) == offsetof(CWPSTRUCT, message),
              "CWPSTRUCT mirror");
static_assert(sizeof(call_window_result) == sizeof(CWPRETSTRUCT), "CWPRETSTRUCT mirror");
static_assert(offsetof(call_window_result, lResult) == offsetof(CWPRETSTRUCT, lResult),
              "CWPRETSTRUCT mirror");
static_assert(offsetof(call_window_result, hwnd) == offsetof(CWPRETSTRUCT, hwnd),
              "CWPRETSTRUCT mirror");
static_assert(offsetof(call_window_result, message) == offsetof(CWPRETSTRUCT, message),
              "CWPRETSTRUCT mirror");

window find_window(const char* title) {
    return FindWindowA(nullptr, title);
}

unsigned long window_thread_id(window w) {
    return GetWindowThreadProcessId(static_cast<HWND>(w), nullptr);
}

hook set_hook(int kind, hook_procedure proc, unsigned long thread_id) {
    return SetWindowsHookExA(kind, proc, nullptr, thread_id);
}

std::intptr_t call_next_hook(int code, std::uintptr_t wParam, std::intptr_t lParam) {
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool unhook(hook h) {
    return UnhookWindowsHookEx(static_cast<HHOOK>(h)) != FALSE;
}

bool set_window_property(window w, const char* name, void* value) {
    return SetPropA(static_cast<HWND>(w), name, value) != FALSE;
}

void* remove_window_property(window w, const char* name) {
    return RemovePropA(static_cast<HWND>(w), name);
}

} // namespace platform

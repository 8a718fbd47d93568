// Windows implementation of the platform operations.
#include "platform/platform.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>
#include <io.h>
#include <string>

namespace platform {

library load_library(const char* name) { return LoadLibraryA(name); }

void* proc_address(library lib, const char* name) {
    return lib ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name)) : nullptr;
}

void create_named_mutex(const char* name) { CreateMutexA(nullptr, FALSE, name); }

int message_box(const char* text, const char* caption, unsigned flags) {
    return MessageBoxA(nullptr, text, caption, flags);
}

void exit_process(int code) { std::exit(code); }

std::uint64_t monotonic_ms() { return GetTickCount64(); }

void sleep_ms(unsigned ms) { Sleep(ms); }

long common_appdata_folder(char* buffer) {
    buffer[0] = '\0';
    return SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
}

bool path_append(char* path, const char* more) { return PathAppendA(path, more) != FALSE; }

bool truncate_file(std::FILE* file) { return _chsize(_fileno(file), 0) == 0; }

bool sync_file(std::FILE* file) {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

namespace {
std::wstring widen(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring out(n > 0 ? n : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}
} // namespace

bool replace_file(const char* from, const char* to) {
    std::wstring wfrom = widen(from), wto = widen(to);
    // Another process (a second launcher's VM, a virus scanner) may hold the target briefly.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (MoveFileExW(wfrom.c_str(), wto.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION)
            return false;
        Sleep(100);
    }
    return false;
}

bool remove_file(const char* path) { return DeleteFileA(path) != FALSE; }

bool file_exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

file_lock lock_file(const char* path, unsigned timeout_ms) {
    std::uint64_t deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        // Share mode 0: the open itself is the exclusive lock.
        HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            return h;
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
    return reinterpret_cast<std::intptr_t>(ShellExecuteA(nullptr, "open", file, nullptr, nullptr, SW_SHOWNORMAL));
}

static_assert(sizeof(call_window_message) == sizeof(CWPSTRUCT), "CWPSTRUCT mirror");
static_assert(offsetof(call_window_message, hwnd) == offsetof(CWPSTRUCT, hwnd), "CWPSTRUCT mirror");
static_assert(offsetof(call_window_message, message) == offsetof(CWPSTRUCT, message), "CWPSTRUCT mirror");
static_assert(sizeof(call_window_result) == sizeof(CWPRETSTRUCT), "CWPRETSTRUCT mirror");
static_assert(offsetof(call_window_result, lResult) == offsetof(CWPRETSTRUCT, lResult), "CWPRETSTRUCT mirror");
static_assert(offsetof(call_window_result, hwnd) == offsetof(CWPRETSTRUCT, hwnd), "CWPRETSTRUCT mirror");
static_assert(offsetof(call_window_result, message) == offsetof(CWPRETSTRUCT, message), "CWPRETSTRUCT mirror");

window find_window(const char* title) { return FindWindowA(nullptr, title); }

unsigned long window_thread_id(window w) { return GetWindowThreadProcessId(static_cast<HWND>(w), nullptr); }

hook set_hook(int kind, hook_procedure proc, unsigned long thread_id) {
    return SetWindowsHookExA(kind, proc, nullptr, thread_id);
}

std::intptr_t call_next_hook(int code, std::uintptr_t wParam, std::intptr_t lParam) {
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool unhook(hook h) { return UnhookWindowsHookEx(static_cast<HHOOK>(h)) != FALSE; }

bool set_window_property(window w, const char* name, void* value) {
    return SetPropA(static_cast<HWND>(w), name, value) != FALSE;
}

void* remove_window_property(window w, const char* name) { return RemovePropA(static_cast<HWND>(w), name); }

} // namespace platform

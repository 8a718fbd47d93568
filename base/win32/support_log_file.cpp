// The support log's file on Windows: FILE_APPEND_DATA alone, so that every write lands whole at
// the end even with other launchers writing, and opened as the reparse point itself when it is
// one (a symbolic link or junction planted in the file's place), which is then refused unwritten.
#include "base/support_log_file.h"

#include <windows.h>

#include <vector>

namespace base::support_log_file {

handle open_named_by(const char* variable, std::uint64_t* size) {
    wchar_t name[64];
    if (MultiByteToWideChar(CP_UTF8, 0, variable, -1, name, 64) == 0)
        return none;
    DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed <= 1)
        return none;
    std::vector<wchar_t> path(needed);
    DWORD got = GetEnvironmentVariableW(name, path.data(), needed);
    if (got == 0 || got >= needed)
        return none;
    HANDLE file = CreateFileW(
        path.data(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return none;
    // A device or pipe name (CON, \\.\pipe\...) is no file either.
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        info.nNumberOfLinks != 1) {
        CloseHandle(file);
        return none;
    }
    *size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return reinterpret_cast<handle>(file);
}

bool append(handle file, const char* bytes, std::size_t length) {
    DWORD written = 0;
    return WriteFile(reinterpret_cast<HANDLE>(file), bytes, static_cast<DWORD>(length), &written,
                     nullptr) &&
           written == length;
}

void close(handle file) {
    CloseHandle(reinterpret_cast<HANDLE>(file));
}

unsigned long process_id() {
    return GetCurrentProcessId();
}

} // namespace base::support_log_file

// Holds a file open the way a running application holds its jar: reading, with read and write
// shared but not delete, so that nothing can rename over the file or remove it while it is held.
//   hold_file <file> <ready marker> <release marker>
// Makes the ready marker once the file is open and lets go when the release marker appears, or
// after two minutes at most. Exit code 1 when the file could not be opened.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    HANDLE held = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "hold_file: cannot open %s: %lu\n", argv[1], GetLastError());
        return 1;
    }
    HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE)
        CloseHandle(ready);
    for (int waited = 0; waited < 120000; waited += 50) {
        if (GetFileAttributesA(argv[3]) != INVALID_FILE_ATTRIBUTES)
            break;
        Sleep(50);
    }
    CloseHandle(held);
    return 0;
}

// Linux implementation of the platform operations.
#include "platform/platform.h"

#include "launcher/deployment.h"
#include "platform/path_append.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <semaphore.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace platform {

void restrict_library_search() {}

library load_library(const char* path) {
    // A relative path would be resolved against the current directory.
    if (!path || path[0] != '/')
        return nullptr;
    // The runtime's splash library needs libjvm.so, which its own search path does not reach;
    // once the install's copy is loaded (RTLD_GLOBAL) the dependency resolves by name.
    std::size_t length = std::strlen(path), suffix = std::strlen(splash_library);
    if (length > suffix && std::strcmp(path + length - suffix, splash_library) == 0 &&
        path[length - suffix - 1] == '/') {
        std::string vm = std::string(path, length - suffix) + vm_library;
        dlopen(vm.c_str(), RTLD_NOW | RTLD_GLOBAL);
    }
    // RTLD_GLOBAL: the runtime's splash library resolves its symbols against libjvm.so.
    return dlopen(path, RTLD_NOW | RTLD_GLOBAL);
}

library load_system_library(const char* name) {
    // A bare name only: with a separator in it dlopen would take it as a path.
    if (!name || std::strchr(name, '/'))
        return nullptr;
    return dlopen(name, RTLD_NOW | RTLD_GLOBAL);
}

void* proc_address(library lib, const char* name) {
    return lib ? dlsym(lib, name) : nullptr;
}

void create_named_mutex(const char* name) {
    // A named semaphore stands for the named mutex: created or opened, never waited on, and
    // left open until the process ends.
    std::string sem_name = std::string("/") + name;
    sem_open(sem_name.c_str(), O_CREAT, 0666, 1);
}

int message_box(const char* text, const char* caption, unsigned) {
    std::fprintf(stderr, "%s\n%s\n", caption, text);
    std::fflush(stderr);
    return 1; // IDOK
}

void exit_process(int code) {
    std::exit(code);
}

std::uint64_t monotonic_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

void sleep_ms(unsigned ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

bool executable_path(char* buffer) {
    buffer[0] = '\0';
    // The kernel's link names the executable's file, symbolic links resolved.
    ssize_t n = readlink("/proc/self/exe", buffer, max_path);
    if (n <= 0 || static_cast<std::size_t>(n) >= max_path || buffer[0] != '/') {
        buffer[0] = '\0';
        return false;
    }
    buffer[n] = '\0';
    return true;
}

long common_appdata_folder(char* buffer) {
    buffer[0] = '\0';
    const char* root = deployment_common_appdata;
    if (!root || !*root || std::strlen(root) >= max_path)
        return -1;
    // A relative root (test deployments) lies in the install directory, not the current one.
    if (root[0] != '/')
        return install_path(buffer, root) ? 0 : -1;
    std::memcpy(buffer, root, std::strlen(root) + 1);
    return 0;
}

bool path_append(char* path, const char* more) {
    return append_path_rules(path, more, '/');
}

bool truncate_file(std::FILE* file) {
    return ftruncate(fileno(file), 0) == 0;
}

bool sync_file(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

bool replace_file(const char* from, const char* to) {
    return std::rename(from, to) == 0;
}

bool remove_file(const char* path) {
    return unlink(path) == 0;
}

bool file_exists(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0;
}

file_lock lock_file(const char* path, unsigned timeout_ms) {
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::uint64_t deadline = monotonic_ms() + timeout_ms;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            close(fd);
            return nullptr;
        }
        if (monotonic_ms() >= deadline) {
            close(fd);
            return nullptr;
        }
        sleep_ms(20);
    }
    return reinterpret_cast<file_lock>(static_cast<std::intptr_t>(fd) + 1);
}

void unlock_file(file_lock lock) {
    if (!lock)
        return;
    int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(lock) - 1);
    flock(fd, LOCK_UN);
    close(fd);
}

// Linux has no window hooks and no tablet service: no window is ever found.
window find_window(const char*) {
    return nullptr;
}
unsigned long window_thread_id(window) {
    return 0;
}
hook set_hook(int, hook_procedure, unsigned long) {
    return nullptr;
}
std::intptr_t call_next_hook(int, std::uintptr_t, std::intptr_t) {
    return 0;
}
bool unhook(hook) {
    return false;
}
bool set_window_property(window, const char*, void*) {
    return false;
}
void* remove_window_property(window, const char*) {
    return nullptr;
}

} // namespace platform

// Linux implementation of the platform operations.
#include "platform/platform.h"

#include "base/path_append.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <string>
#include <sys/file.h>
#include <sys/random.h>
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
    // A bare name only: with a separator in it dlopen would take it as a path. A Windows
    // library's name (user32.dll of the DPI step) names nothing here: no search of every library
    // directory for it (some fifty failed opens before the splash shows).
    std::size_t length = name ? std::strlen(name) : 0;
    if (!name || std::strchr(name, '/') ||
        (length >= 4 && std::strcmp(name + length - 4, ".dll") == 0))
        return nullptr;
    return dlopen(name, RTLD_NOW | RTLD_GLOBAL);
}

void* proc_address(library lib, const char* name) {
    return lib ? dlsym(lib, name) : nullptr;
}

void create_named_mutex(const char* name) {
    // A named semaphore stands for the named mutex: created or opened, never waited on, and
    // left open until the process ends. Nobody needs to open another user's: nothing waits on it
    // or looks at it, and a launcher refused the open goes on as one that opened it (as one
    // refused another session's mutex on Windows does). Open to all, any user could take its
    // count and write its page, which outlives every process. So it is its owner's alone, and
    // one left open to others by an older launcher is narrowed when it is ours.
    std::string sem_name = std::string("/") + name;
    sem_open(sem_name.c_str(), O_CREAT, 0600, 1);
    std::string file = "/dev/shm/sem." + std::string(name);
    int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
        (st.st_mode & 07777) != 0600)
        fchmod(fd, 0600);
    if (fd >= 0)
        close(fd);
}

bool remove_environment_variable(const char* name) {
    bool present = std::getenv(name) != nullptr;
    unsetenv(name);
    return present;
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

namespace {
struct posix_thread {
    pthread_t id;
    thread_job job;
    void* argument;
};

void* run_thread(void* self) {
    auto* t = static_cast<posix_thread*>(self);
    t->job(t->argument);
    return nullptr;
}
} // namespace

thread start_thread(thread_job job, void* argument) {
    auto* t = new posix_thread{pthread_t(), job, argument};
    if (pthread_create(&t->id, nullptr, &run_thread, t) != 0) {
        delete t;
        return nullptr;
    }
    return t;
}

void join_thread(thread handle) {
    auto* t = static_cast<posix_thread*>(handle);
    if (!t)
        return;
    pthread_join(t->id, nullptr);
    delete t;
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

long common_appdata_folder(char* buffer, const char* posix_root) {
    buffer[0] = '\0';
    const char* root = posix_root;
    if (!root || !*root || std::strlen(root) >= max_path)
        return -1;
    // A relative root (test deployments) lies in the install directory, not the current one.
    if (root[0] != '/')
        return install_path(buffer, root) ? 0 : -1;
    std::memcpy(buffer, root, std::strlen(root) + 1);
    return 0;
}

bool path_append(char* path, const char* more) {
    return base::append_path_rules(path, more, '/');
}

bool truncate_file(std::FILE* file) {
    return ftruncate(fileno(file), 0) == 0;
}

bool sync_file(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

// Failures are left to the final fsync, which reports them.
void start_writeback(std::FILE* file, std::uint64_t offset, std::uint64_t length) {
    if (std::fflush(file) == 0)
        sync_file_range(fileno(file), static_cast<off_t>(offset), static_cast<off_t>(length),
                        SYNC_FILE_RANGE_WRITE);
}

void await_writeback(std::FILE* file, std::uint64_t offset, std::uint64_t length) {
    sync_file_range(fileno(file), static_cast<off_t>(offset), static_cast<off_t>(length),
                    SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                        SYNC_FILE_RANGE_WAIT_AFTER);
}

// The rename is on the disk only once the directory that holds the name is synced: before that,
// a power loss can bring back the old name, or neither.
bool replace_file(const char* from, const char* to) {
    if (std::rename(from, to) != 0)
        return false;
    const char* slash = std::strrchr(to, '/');
    std::string dir = slash ? std::string(to, slash == to ? 1 : slash - to) : std::string(".");
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool synced = fsync(fd) == 0 || errno == EINVAL;
    close(fd);
    return synced;
}

bool remove_file(const char* path) {
    return unlink(path) == 0;
}

bool file_exists(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0;
}

namespace {

// A regular file with one name: what a file of the data directory must be before it is handed on,
// read, written or locked.
bool plain(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_nlink == 1;
}

} // namespace

bool plain_file(const char* path) {
    struct stat st {};
    return lstat(path, &st) == 0 && plain(st);
}

namespace {

// The mode of a file the launcher creates in the data directory, whatever the umask: 0644, or
// 0664 where the directory itself is group-writable (a data directory shared by a group of users,
// whose launchers must be able to lock and replace what another member's launcher made).
mode_t file_mode(const char* path) {
    const char* slash = std::strrchr(path, '/');
    std::string dir =
        slash ? std::string(path, slash == path ? 1 : slash - path) : std::string(".");
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && (st.st_mode & S_IWGRP) ? 0664 : 0644;
}

bool plain(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && plain(st);
}

} // namespace

std::FILE* open_plain_file(const char* path, open_outcome* outcome) {
    // O_NONBLOCK: a fifo planted here must not hold the open; it is refused below.
    int fd = open(path, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *outcome = errno == ENOENT ? open_outcome::absent
                   : errno == ELOOP || errno == EISDIR || errno == ENXIO || errno == EMLINK
                       ? open_outcome::refused
                       : open_outcome::failed;
        return nullptr;
    }
    if (!plain(fd)) {
        close(fd);
        *outcome = open_outcome::refused;
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    std::FILE* file =
        flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? fdopen(fd, "r+") : nullptr;
    if (!file) {
        close(fd);
        *outcome = open_outcome::failed;
        return nullptr;
    }
    *outcome = open_outcome::opened;
    return file;
}

std::FILE* create_temporary_file(const char* path_prefix, char* path_out, std::size_t size) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned char random[12];
        if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            return nullptr;
        std::string path = std::string(path_prefix) + '.';
        for (unsigned char r : random)
            path += letters[r % (sizeof letters - 1)];
        if (path.size() >= size)
            return nullptr;
        mode_t mode = file_mode(path.c_str());
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return nullptr;
        }
        // The umask may have taken bits away; the file ends up with its mode all the same.
        std::FILE* file = fchmod(fd, mode) == 0 ? fdopen(fd, "w+b") : nullptr;
        if (!file) {
            close(fd);
            unlink(path.c_str());
            return nullptr;
        }
        std::memcpy(path_out, path.c_str(), path.size() + 1);
        return file;
    }
    return nullptr;
}

void remove_files_with_prefix(const char* path_prefix) {
    const char* slash = std::strrchr(path_prefix, '/');
    std::string dir = ".";
    if (slash)
        dir.assign(path_prefix, slash == path_prefix ? 1 : slash - path_prefix);
    std::string start = slash ? slash + 1 : path_prefix;
    if (start.empty())
        return;
    int dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd < 0)
        return;
    DIR* d = fdopendir(dir_fd);
    if (!d) {
        close(dir_fd);
        return;
    }
    while (dirent* e = readdir(d)) {
        // unlinkat without AT_REMOVEDIR removes a link itself and leaves a directory alone.
        if (std::strncmp(e->d_name, start.c_str(), start.size()) == 0)
            unlinkat(dir_fd, e->d_name, 0);
    }
    closedir(d);
}

file_lock lock_file(const char* path, unsigned timeout_ms) {
    // flock needs no more than a descriptor open for reading, so whoever can read the lock file
    // can hold the lock: it is readable only by those who may write the data directory (0600, or
    // 0660 in a group-writable one). Made new with that mode whatever the umask; an existing one
    // of ours that says more is narrowed to it.
    mode_t mode = file_mode(path) == 0664 ? 0660 : 0600;
    int fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd >= 0 && fchmod(fd, mode) != 0) {
        close(fd);
        return nullptr;
    }
    if (fd < 0 && errno == EEXIST)
        fd = open(path, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (!plain(fd) || fstat(fd, &st) != 0) {
        close(fd);
        return nullptr;
    }
    if (st.st_uid == geteuid() && (st.st_mode & 07777) != mode)
        fchmod(fd, mode);
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

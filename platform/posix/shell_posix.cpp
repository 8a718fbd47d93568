// Opening documents and addresses on Linux: xdg-open is started with the text as its one
// argument, never through a shell, and its outcome is told in the Windows shell's codes.
#include "platform/platform.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

constexpr std::intptr_t shell_started = 42; // any code above 32 means success
constexpr std::intptr_t shell_out_of_resources = 0;
constexpr std::intptr_t shell_file_not_found = 2;  // ERROR_FILE_NOT_FOUND
constexpr std::intptr_t shell_access_denied = 5;   // SE_ERR_ACCESSDENIED
constexpr std::intptr_t shell_out_of_memory = 8;   // SE_ERR_OOM
constexpr std::intptr_t shell_no_association = 31; // SE_ERR_NOASSOC

constexpr const char* opener = "xdg-open";

// "https://...", "mailto:...": a scheme of two or more characters before the colon.
bool is_address(const char* text) {
    if (!std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    std::size_t i = 1;
    while (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '+' || text[i] == '-' ||
           text[i] == '.')
        ++i;
    return i >= 2 && text[i] == ':';
}

// The opener's full path from PATH, or empty when none is installed. Only absolute elements
// count: an empty one, "." or any relative one names the current directory or one below it,
// which whoever chose the start directory controls.
std::string find_opener() {
    const char* path = std::getenv("PATH");
    if (!path || !*path)
        path = "/usr/local/bin:/usr/bin:/bin";
    std::string dirs = path;
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string candidate = dir + "/" + opener;
        struct stat st {};
        if (dir[0] == '/' && stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

std::intptr_t code_of_spawn_error(int error) {
    switch (error) {
    case ENOENT:
    case ENOEXEC:
        return shell_no_association;
    case EACCES:
    case EPERM:
        return shell_access_denied;
    case ENOMEM:
        return shell_out_of_memory;
    default:
        return shell_out_of_resources;
    }
}

// posix_spawn rather than fork: the caller is a VM process with a large heap and many threads,
// and the spawn reports a failed exec in its result. The opener runs in a session of its own
// with no input; a detached thread reaps it, so the caller never waits for it.
std::intptr_t start_detached(const std::string& program, const char* argument) {
    std::string first = argument;
    // A relative path beginning with '-' would be taken for an option.
    if (first[0] == '-')
        first = "./" + first;
    char* argv[] = {const_cast<char*>(opener), first.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return shell_out_of_resources;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return shell_out_of_resources;
    }
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

    pid_t pid = -1;
    int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return code_of_spawn_error(error);

    try {
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // Without a reaper the opener stays a zombie until the process ends; it was started.
    }
    return shell_started;
}

} // namespace

std::intptr_t shell_open(const char* file) {
    if (!file || !*file)
        return shell_file_not_found;
    if (!is_address(file)) {
        struct stat st {};
        if (stat(file, &st) != 0)
            return errno == EACCES ? shell_access_denied : shell_file_not_found;
    }
    std::string program = find_opener();
    if (program.empty())
        return shell_no_association;
    return start_detached(program, file);
}

} // namespace platform

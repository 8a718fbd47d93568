#include "tests/support/process.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace testsupport {

namespace {

std::vector<char*> c_strings(std::vector<std::string>& items) {
    std::vector<char*> out;
    for (auto& s : items)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

extern "C" char** environ;

// Starts argv in cwd with env as `mode` says; stdout/stderr go to the given descriptors (-1:
// inherit).
int start(const std::vector<std::string>& argv_in, const std::string& cwd,
          const std::vector<std::string>& env_in, environment mode, int out_fd, int err_fd) {
    std::vector<std::string> argv = argv_in;
    std::vector<std::string> env;
    for (char** e = environ; mode == environment::inherited && *e; ++e) {
        std::string entry = *e;
        bool overridden = false;
        for (auto& add : env_in)
            if (entry.substr(0, entry.find('=') + 1) == add.substr(0, add.find('=') + 1))
                overridden = true;
        if (!overridden)
            env.push_back(entry);
    }
    env.insert(env.end(), env_in.begin(), env_in.end());
    auto cargv = c_strings(argv);
    auto cenv = c_strings(env);
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (out_fd >= 0)
            dup2(out_fd, 1);
        if (err_fd >= 0)
            dup2(err_fd, 2);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            dup2(devnull, 0);
        if (chdir(cwd.c_str()) != 0)
            _exit(126);
        execvpe(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    return pid;
}

int decode(int status, int* signal_out) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status) && signal_out)
        *signal_out = WTERMSIG(status);
    return -1;
}

} // namespace

double monotonic_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

run_result run(const std::vector<std::string>& argv, const std::string& cwd, int timeout_ms,
               const std::vector<std::string>& env, environment mode) {
    run_result result;
    int out_pipe[2], err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    result.started_ms = monotonic_ms();
    pid_t pid = start(argv, cwd, env, mode, out_pipe[1], err_pipe[1]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    int open_fds = 2;
    while (open_fds > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            result.timed_out = true;
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0)
            close(f.fd);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.wall_ms = monotonic_ms() - result.started_ms;
    result.exit_code = decode(status, &result.signal);
    result.cpu_ms = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    result.max_rss_kib = usage.ru_maxrss;
    return result;
}

background::background(const std::vector<std::string>& argv, const std::string& cwd,
                       const std::vector<std::string>& env)
    : pid_(start(argv, cwd, env, environment::inherited, -1, -1)) {}

background::~background() {
    kill_now();
}

void background::kill_now() {
    if (pid_ <= 0)
        return;
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    int status;
    waitpid(pid_, &status, 0);
    pid_ = -1;
}

int background::wait(int timeout_ms) {
    if (pid_ <= 0)
        return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            return decode(status, nullptr);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            kill_now();
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string make_temp_dir(const std::string& prefix) {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string base = tmpdir && *tmpdir ? tmpdir : "/tmp";
    std::string templ = base + "/" + prefix + "-XXXXXX";
    if (!mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp");
    return templ;
}

void remove_tree(const std::string& path) {
    if (path.size() < 6)
        return;
    run({"/bin/chmod", "-R", "u+rwx", path}, "/", 30000);
    run({"/bin/rm", "-rf", path}, "/", 60000);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool write_file(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out << content);
}

bool copy_file(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!in || !out)
        return false;
    out << in.rdbuf();
    return static_cast<bool>(out.flush());
}

long long file_size(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> files_starting(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> found;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0)
                found.push_back(dir + "/" + e->d_name);
        closedir(d);
    }
    return found;
}

void make_dirs(const std::string& path) {
    std::string partial;
    std::stringstream ss(path);
    std::string part;
    if (!path.empty() && path[0] == '/')
        partial = "/";
    while (std::getline(ss, part, '/')) {
        if (part.empty())
            continue;
        partial += part + "/";
        mkdir(partial.c_str(), 0755);
    }
}

// Canonical: the launcher names its files by its own resolved path.
install_dir::install_dir(bool with_jre)
    : root_(std::filesystem::canonical(make_temp_dir("vistal-install")).string()) {
    make_dirs(path("lib"));
    make_dirs(path("img"));
    if (with_jre && symlink(jdk_home().c_str(), path("jre").c_str()) != 0)
        throw std::runtime_error("symlink jre");
}

install_dir::~install_dir() {
    if (!keep_)
        remove_tree(root_);
}

std::string install_dir::data_relative() {
    return "appdata/Quarlen Zuzidivoravev Vivurezuv/Quarlen Vistal/2.0.2";
}

void install_dir::create_data_dir() const {
    make_dirs(data_dir());
}

std::string install_dir::launcher(const std::string& source) const {
    std::string from = source.empty() ? test_launcher() : source;
    std::string to = path(from.substr(from.rfind('/') + 1));
    if (!exists(to)) {
        std::filesystem::copy_file(from, to);
        std::filesystem::permissions(to, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
    }
    return to;
}

run_result install_dir::run_launcher(int timeout_ms, const std::vector<std::string>& env,
                                     const std::string& launcher) const {
    return run({this->launcher(launcher)}, root_, timeout_ms, env);
}

std::string test_launcher() {
    return VISTAL_TEST_LAUNCHER;
}
std::string source_dir() {
    return VISTAL_SOURCE_DIR;
}
std::string build_dir() {
    return VISTAL_BUILD_DIR;
}
std::string jdk_home() {
    return VISTAL_JDK_HOME;
}

} // namespace testsupport

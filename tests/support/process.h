// Helpers for tests, benchmarks and the soak that start real programs: run a command with a time
// bound, stage a launcher install directory, temporary directories, read and write files. POSIX
// only.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct run_result {
    int exit_code = -1;     // the exit status, or -1 when killed by a signal
    int signal = 0;         // the signal that ended the process, if any
    bool timed_out = false; // killed after the time bound
    std::string out, err;   // what it wrote to standard output and standard error
    double started_ms = 0;  // monotonic_ms() just before the process was started
    double wall_ms = 0;     // from then until it had ended
    double cpu_ms = 0;      // its user and system time
    long max_rss_kib = 0;   // its peak resident set
};

// The monotonic clock in milliseconds (CLOCK_MONOTONIC, the clock of Java's System.nanoTime).
double monotonic_ms();

// What a started program's environment is: ours with the given NAME=value entries added (or
// replacing ours of the same name), or the given entries alone.
enum class environment { inherited, only_given };

// Runs `argv` in `cwd` (argv[0] is looked up in PATH when it has no slash), with `env`
// (NAME=value), killing it after `timeout_ms`.
run_result run(const std::vector<std::string>& argv, const std::string& cwd, int timeout_ms = 60000,
               const std::vector<std::string>& env = {}, environment mode = environment::inherited);

// A process running in the background; killed (SIGKILL) when the handle goes.
class background {
  public:
    background(const std::vector<std::string>& argv, const std::string& cwd,
               const std::vector<std::string>& env = {});
    ~background();
    background(const background&) = delete;
    background& operator=(const background&) = delete;
    int pid() const { return pid_; }
    // Waits for the end; the exit status, or -1 after a signal or the time bound.
    int wait(int timeout_ms);
    void kill_now();

  private:
    int pid_ = -1;
};

std::string make_temp_dir(const std::string& prefix);
void remove_tree(const std::string& path);
std::string read_file(const std::string& path);
bool write_file(const std::string& path, const std::string& content);
bool copy_file(const std::string& from, const std::string& to);
long long file_size(const std::string& path); // -1 when there is no such file
bool exists(const std::string& path);
// The paths of the entries of `dir` whose names begin with `prefix` (the launcher's temporaries
// are "app.jar.part.<random>").
std::vector<std::string> files_starting(const std::string& dir, const std::string& prefix);
void make_dirs(const std::string& path);

// A staged install directory for the test launcher: `jre` links to the system JDK, `lib` and
// `img` are empty, and the data directory lies under `appdata` inside it (the test launcher's
// common application-data folder is the relative path "appdata", which the launcher resolves
// against its own directory). The launcher runs as a copy inside the directory: the install
// directory is the executable's.
class install_dir {
  public:
    explicit install_dir(bool with_jre = true);
    ~install_dir();
    install_dir(const install_dir&) = delete;
    install_dir& operator=(const install_dir&) = delete;

    const std::string& root() const { return root_; }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }
    // The data directory, relative to the install directory and absolute.
    static std::string data_relative();
    std::string data_dir() const { return path(data_relative()); }
    void create_data_dir() const;
    // The copy of the test launcher (or of `source`) in this directory, made on first use.
    std::string launcher(const std::string& source = "") const;
    // Runs the copy of the test launcher (or of `launcher`) with this directory as the current one.
    run_result run_launcher(int timeout_ms = 60000, const std::vector<std::string>& env = {},
                            const std::string& launcher = "") const;
    // Keeps the directory after the test (for looking at a failure).
    void keep() { keep_ = true; }

  private:
    std::string root_;
    bool keep_ = false;
};

// Paths the build hands to the tests.
std::string test_launcher();
std::string source_dir();
std::string build_dir();
std::string jdk_home();

} // namespace testsupport

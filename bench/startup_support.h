// What the start-up benchmarks share: a staged install directory with the signed benchmark
// application, timed runs of a program, medians, and the line each benchmark prints for the
// record. Processes, files and directories go through the tests' support library. POSIX only,
// like every benchmark.
#pragma once

#include "tests/support/process.h"
#include "tests/support/tls_server.h"

#include <memory>
#include <string>
#include <vector>

namespace bench {

// The launcher's version request, as the loopback server sees it.
inline const std::string version_target = "/VistalServlet?getVersion=bootstrap&clientVersion=2.0";

// Sizes in MiB from a comma-separated list ("1,16,256"); entries that are not positive are left
// out.
std::vector<long> mib_list(const std::string& list);

// One finished process (exit code -1 after a signal or the time bound), and when the main
// class's constructor began, in milliseconds from just before the start; -1 if it never did.
struct sample : testsupport::run_result {
    double constructed_ms = -1;
};

// Runs `argv` in `cwd` with a clean environment: no display (nothing may open a window), none
// of the JDK's option variables, PATH and HOME kept. Killed after `timeout_ms`.
sample run(const std::vector<std::string>& argv, const std::string& cwd, int timeout_ms = 300000);

// A run that reached the constructor and ended with 0; otherwise says why on standard error.
bool started(const sample& s, const char* what);
// A run that ended at the failed VM creation (exit code 1 and its message), as starts with
// refusing_vm should; otherwise says why on standard error.
bool vm_refused(const sample& s, const char* what);

double median(std::vector<double> values);

// What a round records of a run: the time to the constructor when it got there, else to the
// exit.
double moment(const sample& s);

// `runs` rounds of two commands, each run in its own directory, the order swapping every round,
// after one unrecorded run of each. Prints each round's moments under the two names. False as
// soon as a run fails `ok` (which says why).
using check = bool (*)(const sample&, const char*);
bool alternate(int runs, check ok, const char* a_name, const std::vector<std::string>& a_argv,
               const std::string& a_dir, const char* b_name, const std::vector<std::string>& b_argv,
               const std::string& b_dir, std::vector<double>* a, std::vector<double>* b);

// Command-line options: "--name value" pairs; unknown names stop the program with a usage text.
struct options {
    int runs = 7;
    std::vector<std::pair<std::string, std::string>> values;
    std::string command; // the command line as given, for the record
    std::string get(const std::string& name, const std::string& fallback) const;
};
options parse(int argc, char** argv, const std::vector<std::string>& names, const char* usage);

// Where the build put things.
using testsupport::build_dir;
using testsupport::jdk_home;
std::string pki_dir(); // the test PKI, made when missing
bool ensure_pki();
// The benchmark application's jars (made or brought up to date here): bl.jar, include.jar
// and app-<mib>.jar for each size asked for. Empty on failure.
std::string app_jars(const std::vector<long>& padded_mib = {});
inline const std::string offline_launcher = BENCH_OFFLINE_LAUNCHER; // built without update hosts
inline const std::string online_launcher = BENCH_ONLINE_LAUNCHER;   // eleven hosts, see online_port
// The same hosts, checked against the system's CA store with the test CA added.
inline const std::string online_system_launcher = BENCH_ONLINE_SYSTEM_LAUNCHER;
// Makes the system launcher's CA store: a hashed directory (c_rehash layout) linking every entry
// of the system's, /etc/ssl/certs, and the test CA. False when the system has none.
bool make_system_ca_store();
inline const std::string refusing_vm = BENCH_REFUSING_JVM; // JNI_CreateJavaVM fails there
constexpr int online_port = 18481; // server 0 of the online launcher; 10 more follow it
// The online launcher's first host: the loopback TLS server on online_port with the test PKI's
// certificate. Null, and why on standard error, when it cannot listen.
std::unique_ptr<testsupport::tls_server> online_server();

// A throw-away install directory: `jre` links to the JDK (or holds only the given VM library),
// lib/bl.jar and lib/include.jar are the benchmark application's, the data directory exists.
class install {
  public:
    explicit install(const std::string& jars, const std::string& vm_library = "");
    const std::string& root() const { return dir_.root(); }
    std::string data(const std::string& name) const { return dir_.data_dir() + "/" + name; }

  private:
    testsupport::install_dir dir_;
};

// The machine and the moment, for the record: CPU model and count, OS, load average.
std::string machine();
std::string today();

// Prints the record line: a table row for docs/BENCHMARKS.md. `compare` is "ratio" (a / b) or
// "difference" (a - b, in the unit).
void report(const options& o, const std::string& figure, const std::string& a_name,
            const std::vector<double>& a, const std::string& b_name, const std::vector<double>& b,
            const std::string& compare, const std::string& unit, const std::string& target);
// The same for a figure without a baseline: its median alone.
void report(const options& o, const std::string& figure, const std::string& name,
            const std::vector<double>& values, const std::string& unit);

} // namespace bench

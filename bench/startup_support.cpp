#include "bench/startup_support.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

namespace {

// What the child gets: enough to find programs and nothing that changes how a VM starts.
std::vector<std::string> clean_environment() {
    std::vector<std::string> env;
    for (const char* name : {"PATH", "HOME", "TMPDIR", "LANG", "LC_ALL"})
        if (const char* value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    return env;
}

int run_quiet(const std::vector<std::string>& argv) {
    sample s = run(argv, "/");
    if (s.exit_code != 0)
        std::fprintf(stderr, "%s failed:\n%s%s", argv[0].c_str(), s.out.c_str(), s.err.c_str());
    return s.exit_code;
}

std::string first_line(const std::string& path, const std::string& key) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) {
            auto colon = line.find_first_of(":=");
            std::string value = colon == std::string::npos ? line : line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(" \t\""));
            while (!value.empty() && (value.back() == '"' || value.back() == ' '))
                value.pop_back();
            return value;
        }
    return "";
}

} // namespace

sample run(const std::vector<std::string>& argv, const std::string& cwd, int timeout_ms) {
    sample s;
    // A launcher's install directory is its own: it runs as a copy in `cwd`, made once.
    std::vector<std::string> args = argv;
    if (!args.empty() && (args[0] == offline_launcher || args[0] == online_launcher ||
                          args[0] == online_system_launcher)) {
        std::string copy = cwd + args[0].substr(args[0].rfind('/'));
        if (::access(copy.c_str(), X_OK) != 0 &&
            (!testsupport::copy_file(args[0], copy) || ::chmod(copy.c_str(), 0755) != 0))
            return s;
        args[0] = copy;
    }
    static_cast<testsupport::run_result&>(s) = testsupport::run(
        args, cwd, timeout_ms, clean_environment(), testsupport::environment::only_given);
    // The application prints the monotonic clock (nanoseconds) as its constructor begins.
    auto at = s.out.find("constructed ");
    if (at != std::string::npos) {
        double ns = std::strtod(s.out.c_str() + at + 12, nullptr);
        s.constructed_ms = ns / 1e6 - s.started_ms;
    }
    return s;
}

bool started(const sample& s, const char* what) {
    if (s.exit_code == 0 && s.constructed_ms >= 0)
        return true;
    std::fprintf(stderr, "%s: exit code %d, %s\n--- standard output\n%s--- standard error\n%s\n",
                 what, s.exit_code,
                 s.constructed_ms < 0 ? "the constructor was not reached" : "constructed",
                 s.out.c_str(), s.err.c_str());
    return false;
}

bool vm_refused(const sample& s, const char* what) {
    if (s.exit_code == 1 && s.err.find("Unable to create Java VM") != std::string::npos)
        return true;
    std::fprintf(stderr, "%s: exit code %d\n--- standard output\n%s--- standard error\n%s\n", what,
                 s.exit_code, s.out.c_str(), s.err.c_str());
    return false;
}

double moment(const sample& s) {
    return s.constructed_ms >= 0 ? s.constructed_ms : s.wall_ms;
}

bool alternate(int runs, check ok, const char* a_name, const std::vector<std::string>& a_argv,
               const std::string& a_dir, const char* b_name, const std::vector<std::string>& b_argv,
               const std::string& b_dir, std::vector<double>* a, std::vector<double>* b) {
    if (!ok(run(a_argv, a_dir), a_name) || !ok(run(b_argv, b_dir), b_name))
        return false;
    std::printf("run  %12s  %12s  (ms)\n", a_name, b_name);
    for (int r = 0; r < runs; ++r) {
        sample x, y;
        if (r % 2 == 0) {
            x = run(a_argv, a_dir);
            y = run(b_argv, b_dir);
        } else {
            y = run(b_argv, b_dir);
            x = run(a_argv, a_dir);
        }
        if (!ok(x, a_name) || !ok(y, b_name))
            return false;
        a->push_back(moment(x));
        b->push_back(moment(y));
        std::printf("%3d  %12.1f  %12.1f\n", r + 1, moment(x), moment(y));
    }
    return true;
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string options::get(const std::string& name, const std::string& fallback) const {
    for (auto& [key, value] : values)
        if (key == name)
            return value;
    return fallback;
}

options parse(int argc, char** argv, const std::vector<std::string>& names, const char* usage) {
    options o;
    std::string program = argv[0];
    o.command = program.substr(program.find_last_of('/') + 1);
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        bool known = name == "--runs" || std::find(names.begin(), names.end(), name) != names.end();
        if (!known || i + 1 >= argc) {
            std::fprintf(stderr, "usage: %s", usage);
            std::exit(2);
        }
        std::string value = argv[++i];
        o.command += " " + name + " " + value;
        if (name == "--runs")
            o.runs = std::max(1, std::atoi(value.c_str()));
        else
            o.values.emplace_back(name.substr(2), value);
    }
    return o;
}

std::string pki_dir() {
    return build_dir() + "/tests/pki";
}

bool ensure_pki() {
    using testsupport::file_size;
    if (file_size(pki_dir() + "/ca.pem") > 0 && file_size(pki_dir() + "/server.pem") > 0)
        return true;
    return run_quiet({"bash", testsupport::source_dir() + "/tests/fixtures/make-test-pki.sh",
                      pki_dir()}) == 0;
}

bool make_system_ca_store() {
    namespace fs = std::filesystem;
    const std::string system = "/etc/ssl/certs", dir = BENCH_SYSTEM_CA;
    std::error_code error;
    if (!fs::is_directory(system, error)) {
        std::fprintf(stderr, "no system CA store at %s\n", system.c_str());
        return false;
    }
    testsupport::remove_tree(dir);
    testsupport::make_dirs(dir);
    for (const auto& entry : fs::directory_iterator(system, error))
        fs::create_symlink(entry.path(), dir + "/" + entry.path().filename().string(), error);
    // The test CA under its subject hash, after the system's entries of the same hash.
    testsupport::run_result hash =
        testsupport::run({"openssl", "x509", "-hash", "-noout", "-in", pki_dir() + "/ca.pem"}, "/");
    std::string name = hash.out.substr(0, hash.out.find_first_of("\r\n"));
    if (hash.exit_code != 0 || name.empty())
        return false;
    for (int n = 0; n < 10; ++n) {
        std::string link = dir + "/" + name + "." + std::to_string(n);
        if (!testsupport::exists(link))
            return testsupport::copy_file(pki_dir() + "/ca.pem", link);
    }
    return false;
}

std::unique_ptr<testsupport::tls_server> online_server() {
    testsupport::tls_server_options options;
    options.cert = pki_dir() + "/server.pem";
    options.key = pki_dir() + "/server.key";
    options.port = online_port;
    auto server = std::make_unique<testsupport::tls_server>(options);
    if (server->port())
        return server;
    std::fprintf(stderr, "server on port %d: %s\n", online_port, server->error().c_str());
    return nullptr;
}

std::string app_jars(const std::vector<long>& padded_mib) {
    std::string dir = build_dir() + "/bench/startup";
    std::vector<std::string> argv = {"bash", testsupport::source_dir() + "/bench/startup_app.sh",
                                     build_dir(), dir};
    for (long mib : padded_mib)
        argv.push_back(std::to_string(mib));
    return run_quiet(argv) == 0 ? dir : "";
}

install::install(const std::string& jars, const std::string& vm_library)
    : dir_(vm_library.empty()) {
    if (!vm_library.empty()) {
        testsupport::make_dirs(dir_.path("jre/lib/server"));
        if (::symlink(vm_library.c_str(), dir_.path("jre/lib/server/libjvm.so").c_str()) != 0)
            std::perror("symlink libjvm.so");
    }
    testsupport::copy_file(jars + "/bl.jar", dir_.path("lib/bl.jar"));
    testsupport::copy_file(jars + "/include.jar", dir_.path("lib/include.jar"));
    testsupport::write_file(dir_.path("behaviour"), "test.Constructed\n");
    dir_.create_data_dir();
}

std::string machine() {
    std::string cpu = first_line("/proc/cpuinfo", "model name");
    std::string os = first_line("/etc/os-release", "PRETTY_NAME");
    double load[1] = {0};
    ::getloadavg(load, 1);
    char text[256];
    std::snprintf(text, sizeof text, "%ld x %s, %s, load %.1f", ::sysconf(_SC_NPROCESSORS_ONLN),
                  cpu.c_str(), os.c_str(), load[0]);
    return text;
}

std::string today() {
    std::time_t t = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", std::localtime(&t));
    return text;
}

void report(const options& o, const std::string& figure, const std::string& a_name,
            const std::vector<double>& a, const std::string& b_name, const std::vector<double>& b,
            const std::string& compare, const std::string& unit, const std::string& target) {
    double ma = median(a), mb = median(b);
    char result[64];
    if (compare == "ratio")
        std::snprintf(result, sizeof result, "ratio %.2f", mb > 0 ? ma / mb : 0.0);
    else
        std::snprintf(result, sizeof result, "%+.1f %s", ma - mb, unit.c_str());
    std::printf("| %s | `%s` | %s | %s | %zu | %s %.1f %s | %s %.1f %s | %s | %s |\n",
                figure.c_str(), o.command.c_str(), machine().c_str(), today().c_str(), a.size(),
                a_name.c_str(), ma, unit.c_str(), b_name.c_str(), mb, unit.c_str(), result,
                target.c_str());
    std::fflush(stdout);
}

void report(const options& o, const std::string& figure, const std::string& name,
            const std::vector<double>& values, const std::string& unit) {
    std::printf("| %s | `%s` | %s | %s | %zu | %s %.0f %s | | | |\n", figure.c_str(),
                o.command.c_str(), machine().c_str(), today().c_str(), values.size(), name.c_str(),
                median(values), unit.c_str());
    std::fflush(stdout);
}

std::vector<long> mib_list(const std::string& list) {
    std::vector<long> out;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');)
        if (long mib = std::atol(item.c_str()); mib > 0)
            out.push_back(mib);
    return out;
}

} // namespace bench

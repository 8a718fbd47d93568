// The soak: the test launcher started again and again in one installation while its first
// update server answers, fails, stalls or publishes a new version at random (its second server
// refuses connections). The launcher is the test launcher built with two servers on ports of the
// soak's own. After every start the installation must
// hold a whole published build whose version app.ver names, the application must have run from
// the build it should have (online) or from the install's own jar (offline), nothing may be
// left on the side, and the start must have ended within its bound. At the end, with the server
// answering, the installation must start the newest published version.
//
//   vistal_soak [--starts N] [--seed S] [--bound-ms MS] [--verbose]
//
// Needs the test PKI of the build (ctest -R '^pki$'); tests/soak/run-soak.sh does all of it.
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "tests/support/test_host.h"
#include "tests/support/test_jars.h"
#include "tests/support/text.h"
#include "tests/support/tls_server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

constexpr int port = SOAK_PORT;
constexpr unsigned failing_stall_ms = 3500; // beyond the test launcher's receive time-out

struct build {
    std::string version; // as app.ver holds it
    std::string answer;  // as the server announces it
    std::string path;    // where the server serves it
    std::string comment; // what the application reports
    std::string jar;
};

// What one start is set up to meet, and what it must leave.
struct plan {
    std::string kind;        // for the tallies
    script version;          // the server's answer to the version request
    script download;         // ... and to the download, if one is asked for
    bool answers = true;     // the version answer counts: the start is online
    bool delivers = true;    // the download (if any) is whole
    unsigned planned_ms = 0; // pauses the server makes the start wait out
};

struct tally {
    int count = 0;
    std::vector<long> ms;
};

long percentile(std::vector<long> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

class soak {
  public:
    soak(int starts, unsigned seed, long bound_ms, bool verbose)
        : starts_(starts), random_(seed), bound_ms_(bound_ms), verbose_(verbose) {}

    int run() {
        base_jar_ = test_app_jar("app.jar");
        write_file(install_.path("lib/include.jar"), test_app_jar("include.jar"));
        write_file(install_.path("lib/bl.jar"), with_comment(base_jar_, "fallback"));
        write_file(install_.path("behaviour"), "test.WhereFrom\nwherefrom\n");
        make_dirs(install_.path("wherefrom"));
        install_.create_data_dir();

        tls_server_options options = test_host_options(port);
        server_ = std::make_unique<tls_server>(options);
        if (server_->port() == 0) {
            std::fprintf(stderr, "soak: %s\n", server_->error().c_str());
            return 2;
        }

        // The installation starts out with the first published build.
        publish();
        write_file(data("app.jar"), builds_[0].jar);
        write_file(data("app.ver"), builds_[0].version);
        installed_ = 0;

        for (int i = 1; i <= starts_; ++i) {
            start_one(i, next_plan());
            if (i % 50 == 0)
                std::printf("%d starts, %zu versions published, %d faults\n", i, builds_.size(),
                            faults_);
        }
        start_one(starts_ + 1, answer_plan("final"));
        if (installed_ != static_cast<int>(builds_.size()) - 1)
            fault(starts_ + 1, "the final start did not bring the newest version");
        summary();
        return faults_ == 0 ? 0 : 1;
    }

  private:
    std::string data(const char* name) const { return install_.data_dir() + "/" + name; }

    void publish() {
        int k = static_cast<int>(builds_.size());
        build b;
        b.version = "2.0." + std::to_string(k) + "-rc2147483647.b1";
        b.path = "/dl/2.0." + std::to_string(k) + "/app.jar";
        b.answer = "2.0." + std::to_string(k) + ";" + b.path + "\n";
        b.comment = "build 2.0." + std::to_string(k);
        // Stamped with the version it is published as, as the launcher demands.
        b.jar = with_comment(signed_app_jar("2.0." + std::to_string(k)), b.comment);
        builds_.push_back(b);
    }

    const build& newest() const { return builds_.back(); }

    std::string head(std::size_t length) const {
        return response_head(200, {{"Content-Length", std::to_string(length)}});
    }

    // The server answers and serves the newest build.
    plan answer_plan(const std::string& kind) {
        plan p;
        p.kind = kind;
        p.version = answer(http_response(200, newest().answer));
        p.download = answer(http_response(200, newest().jar));
        return p;
    }

    unsigned brief() { return std::uniform_int_distribution<unsigned>(100, 1500)(random_); }

    plan next_plan() {
        int roll = std::uniform_int_distribution<int>(0, 99)(random_);
        if (roll < 35)
            return answer_plan("answer");
        if (roll < 50) {
            publish();
            return answer_plan("publish");
        }
        if (roll < 62) {
            plan p = answer_plan("brief stall in the answer");
            p.planned_ms = brief();
            p.version = script().pause(p.planned_ms).send(http_response(200, newest().answer));
            return p;
        }
        if (roll < 70) {
            publish();
            plan p = answer_plan("publish, brief stall in the download");
            p.planned_ms = brief();
            const std::string& jar = newest().jar;
            p.download = script()
                             .send(head(jar.size()))
                             .send(jar.substr(0, jar.size() / 3))
                             .pause(p.planned_ms)
                             .send(jar.substr(jar.size() / 3));
            return p;
        }
        if (roll < 85)
            return failed_answer();
        return failed_download();
    }

    plan failed_answer() {
        plan p = answer_plan("");
        p.answers = false;
        switch (std::uniform_int_distribution<int>(0, 6)(random_)) {
        case 0:
            p.kind = "answer 503";
            p.version = answer(http_response(503, "503 Service Unavailable\n"));
            break;
        case 1:
            p.kind = "answer 404";
            p.version = answer(http_response(404, "404 Not Found\n"));
            break;
        case 2:
            p.kind = "answer HTML page";
            p.version = answer(http_response(200, "<html><body>" + newest().answer + "</body>"));
            break;
        case 3:
            p.kind = "answer empty";
            p.version = answer(http_response(200, ""));
            break;
        case 4:
            p.kind = "answer reset";
            p.version = script().send(response_head(200, {{"Content-Length", "40"}})).reset();
            break;
        case 5:
            p.kind = "answer closed";
            p.version = script().abort();
            break;
        default:
            p.kind = "answer stalled";
            p.planned_ms = failing_stall_ms;
            p.version = script().pause(failing_stall_ms).send(http_response(200, newest().answer));
        }
        return p;
    }

    // A new version is published and its download fails.
    plan failed_download() {
        publish();
        plan p = answer_plan("");
        p.delivers = false;
        const std::string& jar = newest().jar;
        switch (std::uniform_int_distribution<int>(0, 6)(random_)) {
        case 0:
            p.kind = "publish, download truncated";
            p.download = script().send(head(jar.size())).send(jar.substr(0, jar.size() / 2));
            break;
        case 1:
            p.kind = "publish, download truncated without length";
            p.download = script().send(response_head(200)).send(jar.substr(0, jar.size() / 2));
            break;
        case 2:
            p.kind = "publish, download length too small";
            p.download = script().send(head(jar.size() - 7)).send(jar);
            break;
        case 3:
            p.kind = "publish, download HTML page";
            p.download = answer(http_response(200, "<html><body>gone</body></html>"));
            break;
        case 4:
            p.kind = "publish, download 404";
            p.download = answer(http_response(404, "404 Not Found\n"));
            break;
        case 5:
            p.kind = "publish, download reset";
            p.download =
                script().send(head(jar.size())).send(jar.substr(0, jar.size() / 2)).reset();
            break;
        default:
            p.kind = "publish, download stalled";
            p.planned_ms = failing_stall_ms;
            p.download = script()
                             .send(head(jar.size()))
                             .send(jar.substr(0, jar.size() / 2))
                             .pause(failing_stall_ms)
                             .send(jar.substr(jar.size() / 2));
        }
        return p;
    }

    void fault(int start, const std::string& what) {
        ++faults_;
        std::printf("FAULT at start %d: %s\n", start, what.c_str());
    }

    void start_one(int i, plan p) {
        server_->on(version_target, p.version);
        server_->on(newest().path, p.download);
        // An older build's path is never asked for; answering it anyway would hide such a fault.
        for (std::size_t k = 0; k + 1 < builds_.size(); ++k)
            server_->on(builds_[k].path, answer(http_response(410, "stale\n")));

        auto began = std::chrono::steady_clock::now();
        run_result r = install_.run_launcher(120000, {}, SOAK_LAUNCHER);
        long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - began)
                                        .count());
        tally& t = tallies_[p.kind];
        ++t.count;
        t.ms.push_back(ms);
        all_ms_.push_back(ms);
        long bound = bound_ms_ + static_cast<long>(p.planned_ms);
        worst_over_ = std::max(worst_over_, ms - bound);

        std::string where = p.kind + " (" + std::to_string(ms) + " ms)";
        if (verbose_)
            std::printf("start %d: %s\n", i, where.c_str());
        if (r.exit_code != 0 || r.timed_out)
            fault(i, where + ": exit code " + std::to_string(r.exit_code) + "\n" + r.err);
        if (ms > bound)
            fault(i, where + ": took longer than its bound of " + std::to_string(bound) + " ms");

        // What the installation must hold now.
        bool updated =
            p.answers && p.delivers && installed_ != static_cast<int>(builds_.size()) - 1;
        if (updated)
            installed_ = static_cast<int>(builds_.size()) - 1;
        const build& held = builds_[static_cast<std::size_t>(installed_)];
        if (read_file(data("app.jar")) != held.jar)
            fault(i, where + ": app.jar is not " + held.comment);
        if (read_file(data("app.ver")) != held.version)
            fault(i,
                  where + ": app.ver is '" + read_file(data("app.ver")) + "', not " + held.version);
        if (!files_starting(install_.data_dir(), "app.jar.part").empty() ||
            !files_starting(install_.data_dir(), "app.ver.part").empty())
            fault(i, where + ": a temporary file was left");

        std::vector<std::string> reports = take_reports();
        if (reports.size() != 1) {
            fault(i, where + ": the application did not run\n" + r.err);
            return;
        }
        std::string jar = value_of(reports[0], "jar");
        std::string comment = value_of(reports[0], "comment");
        if (p.answers && (jar != install_.data_dir() + "/app.jar" || comment != held.comment))
            fault(i, where + ": ran " + comment + " from " + jar + ", not " + held.comment);
        if (!p.answers && (jar != install_.path("lib/bl.jar") || comment != "fallback"))
            fault(i, where + ": ran " + comment + " from " + jar + ", not offline");
    }

    std::vector<std::string> take_reports() const {
        std::vector<std::string> out;
        std::string dir = install_.path("wherefrom");
        if (DIR* d = ::opendir(dir.c_str())) {
            while (dirent* e = ::readdir(d)) {
                if (e->d_name[0] == '.')
                    continue;
                std::string file = dir + "/" + e->d_name;
                out.push_back(read_file(file));
                std::remove(file.c_str());
            }
            ::closedir(d);
        }
        return out;
    }

    void summary() const {
        std::printf("\n%-44s %6s %8s %8s %8s\n", "kind of start", "starts", "median", "p95",
                    "max ms");
        for (auto& [kind, t] : tallies_)
            std::printf("%-44s %6d %8ld %8ld %8ld\n", kind.c_str(), t.count, percentile(t.ms, 0.5),
                        percentile(t.ms, 0.95), *std::max_element(t.ms.begin(), t.ms.end()));
        std::printf("%-44s %6zu %8ld %8ld %8ld\n", "all", all_ms_.size(), percentile(all_ms_, 0.5),
                    percentile(all_ms_, 0.95), *std::max_element(all_ms_.begin(), all_ms_.end()));
        std::printf("\nversions published: %zu (newest %s), installed at the end: %s\n",
                    builds_.size(), newest().version.c_str(),
                    builds_[static_cast<std::size_t>(installed_)].version.c_str());
        std::printf("closest to its bound: %ld ms %s\n",
                    worst_over_ < 0 ? -worst_over_ : worst_over_,
                    worst_over_ <= 0 ? "under" : "OVER");
        std::printf("faults: %d\n", faults_);
    }

    int starts_;
    std::mt19937 random_;
    long bound_ms_;
    bool verbose_;
    install_dir install_;
    std::unique_ptr<tls_server> server_;
    std::string base_jar_;
    std::vector<build> builds_;
    int installed_ = -1;
    int faults_ = 0;
    long worst_over_ = -1000000;
    std::map<std::string, tally> tallies_;
    std::vector<long> all_ms_;
};

} // namespace

int main(int argc, char** argv) {
    int starts = 500;
    unsigned seed = 1;
    long bound_ms = 6000;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--starts" && i + 1 < argc)
            starts = std::atoi(argv[++i]);
        else if (a == "--seed" && i + 1 < argc)
            seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--bound-ms" && i + 1 < argc)
            bound_ms = std::atol(argv[++i]);
        else if (a == "--verbose")
            verbose = true;
        else {
            std::fprintf(
                stderr, "usage: vistal_soak [--starts N] [--seed S] [--bound-ms MS] [--verbose]\n");
            return 2;
        }
    }
    std::printf("soak: %d starts, seed %u, bound %ld ms per start plus its planned pauses\n",
                starts, seed, bound_ms);
    return soak(starts, seed, bound_ms, verbose).run();
}

// Download throughput of the fetch in stream mode against curl(1), from the same loopback TLS
// server, same file, alternating which goes first. Prints each run and the medians. The fetch's
// file is put on the disk (sync_file) before its time ends, as the launcher does before it
// renames a jar; curl's is left in the page cache. The fetch's final sync is timed apart too.
//
// With --splash IMAGE the contender is the fetch again, now reporting its progress to the splash
// strip as the launcher does, over the runtime's real splash library showing IMAGE (run it
// under xvfb-run for a window; without a display the strip has nothing to draw on). The bench
// copies itself into a staged install directory for that, since the splash resolves against
// the executable's directory.
//
// --rate N has the server send at most N MiB a second (1 MiB, then a pause), as a link slower
// than the machine would.
//
//   vistal-fetch-bench [--mib N] [--runs N] [--curl PATH] [--splash IMAGE] [--rate N]
#include "bench/startup_support.h"
#include "platform/platform.h"
#include "splash/screen.h"
#include "tests/support/process.h"
#include "tests/support/tls_server.h"
#include "update/https_fetch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

using update::fetch_progress;
using update::fetch_stage;
using update::file_sink;
using update::https_data;

namespace {

using bench::median;
using clock_type = std::chrono::steady_clock;
using testsupport::file_size;

// CPU seconds of the calling thread: the fetch's own cost, without the server's threads.
double thread_cpu() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// What the launcher does with a download's progress (its colour aside).
void show_download(void* strip, fetch_stage stage, std::uint64_t received, std::uint64_t length) {
    auto& progress = *static_cast<splash::progress*>(strip);
    if (stage == fetch_stage::running)
        progress.update(received, length, 0x2F80ED);
    else
        progress.end(stage == fetch_stage::complete);
}

// Runs this program again from a staged install directory (jre, img/splash.png).
int run_staged(int argc, char** argv, const std::string& image) {
    const std::string dir = testsupport::make_temp_dir("vistal-fetch-bench-install");
    testsupport::make_dirs(dir + "/img");
    bool staged = ::symlink(testsupport::jdk_home().c_str(), (dir + "/jre").c_str()) == 0 &&
                  testsupport::copy_file(image, dir + "/img/splash.png") &&
                  testsupport::copy_file("/proc/self/exe", dir + "/vistal-fetch-bench") &&
                  ::chmod((dir + "/vistal-fetch-bench").c_str(), 0755) == 0;
    int code = 1;
    if (staged) {
        std::vector<std::string> args = {dir + "/vistal-fetch-bench"};
        for (int i = 1; i < argc; ++i)
            args.push_back(std::string(argv[i]) == "--splash" ? "--staged" : argv[i]);
        auto r = testsupport::run(args, dir, 3600000);
        std::fputs(r.out.c_str(), stdout);
        std::fputs(r.err.c_str(), stderr);
        code = r.exit_code;
    }
    testsupport::remove_tree(dir);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    long mib = 64;
    int runs = 5;
    std::string curl = "curl";
    bool with_strip = false;
    long rate = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--splash")
            return run_staged(argc, argv, argv[i + 1]);
        if (a == "--staged")
            with_strip = true;
        else if (a == "--rate")
            rate = std::atol(argv[i + 1]);
        else if (a == "--mib")
            mib = std::atol(argv[i + 1]);
        else if (a == "--runs")
            runs = std::atoi(argv[i + 1]);
        else if (a == "--curl")
            curl = argv[i + 1];
    }
    const std::string pki = bench::pki_dir();
    if (!bench::ensure_pki()) {
        std::fprintf(stderr, "cannot make the test PKI in %s\n", pki.c_str());
        return 1;
    }

    const std::string dir = testsupport::make_temp_dir("vistal-fetch-bench");
    const std::string payload = dir + "/payload.bin";
    const long long size = mib * 1024 * 1024;
    {
        std::ofstream out(payload, std::ios::binary);
        std::mt19937_64 random(42);
        std::vector<std::uint64_t> block(1 << 16);
        for (long long written = 0; written < size;) {
            for (auto& w : block)
                w = random();
            auto n = std::min<long long>(size - written, static_cast<long long>(block.size() * 8));
            out.write(reinterpret_cast<const char*>(block.data()), n);
            written += n;
        }
    }

    testsupport::tls_server_options options;
    options.cert = pki + "/server.pem";
    options.key = pki + "/server.key";
    testsupport::tls_server server(options);
    if (!server.port()) {
        std::fprintf(stderr, "%s\n", server.error().c_str());
        return 1;
    }
    testsupport::script body;
    body.send(testsupport::response_head(200, {{"Content-Length", std::to_string(size)},
                                               {"Content-Type", "application/java-archive"}}));
    if (rate > 0) {
        const std::string bytes = testsupport::read_file(payload);
        for (std::size_t at = 0; at < bytes.size(); at += 1 << 20)
            body.send(bytes.substr(at, 1 << 20)).pause(static_cast<unsigned>(1000 / rate));
    } else {
        body.send_file(payload);
    }
    server.on("/payload.bin", body);

    splash::screen splash;
    fetch_progress on_splash;
    if (with_strip) {
        ShowSplashScreen(splash);
        on_splash.report = &show_download;
        on_splash.context = &splash.progress;
    }
    const std::string fetch_out = dir + "/fetch.bin", curl_out = dir + "/curl.bin";
    const std::string url = server.url("/payload.bin");
    double cpu = 0, sync_s = 0;
    auto fetch_into = [&](const std::string& out, const fetch_progress* progress) -> double {
        // As the launcher's download: a 256 KiB stdio buffer, the file synced at the end.
        static std::vector<char> buffer(256 * 1024);
        std::FILE* f = std::fopen(out.c_str(), "wb");
        if (!f)
            return -1;
        std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
        auto start = clock_type::now();
        double cpu_start = thread_cpu();
        file_sink into(f, progress);
        https_data(server.whost().c_str(), L"/payload.bin", into);
        auto fetched = clock_type::now();
        bool synced = platform::sync_file(f);
        sync_s = std::chrono::duration<double>(clock_type::now() - fetched).count();
        std::fclose(f);
        cpu = thread_cpu() - cpu_start;
        if (!synced)
            return -1;
        double s = std::chrono::duration<double>(clock_type::now() - start).count();
        return file_size(out) == size ? s : -1;
    };
    auto time_fetch = [&]() -> double { return fetch_into(fetch_out, nullptr); };
    auto time_curl = [&]() -> double {
        if (with_strip)
            return fetch_into(curl_out, &on_splash);
        auto r = testsupport::run({curl, "-sS", "--cacert", pki + "/ca.pem", "-o", curl_out, url},
                                  "/", 600000);
        cpu = r.cpu_ms / 1000;
        return r.exit_code == 0 && file_size(curl_out) == size ? r.wall_ms / 1000 : -1;
    };

    std::printf("%ld MiB from %s, %d runs, alternating\n", mib, url.c_str(), runs);
    const char* other = with_strip ? "strip" : "curl";
    std::printf("run  first  fetch MiB/s  %s MiB/s  fetch CPU ms  %s CPU ms  fetch sync ms\n",
                other, other);
    std::vector<double> fetch_rates, curl_rates, fetch_cpu, curl_cpu, fetch_sync;
    bool failed = false;
    for (int r = 0; r < runs; ++r) {
        double tf, tc, cf, cc, sf;
        if (r % 2 == 0) {
            tf = time_fetch();
            cf = cpu;
            sf = sync_s;
            tc = time_curl();
            cc = cpu;
        } else {
            tc = time_curl();
            cc = cpu;
            tf = time_fetch();
            cf = cpu;
            sf = sync_s;
        }
        if (tf <= 0 || tc <= 0) {
            std::fprintf(stderr, "run %d: a download failed (fetch %s, curl %s)\n", r + 1,
                         tf > 0 ? "ok" : "failed", tc > 0 ? "ok" : "failed");
            failed = true;
            break;
        }
        fetch_rates.push_back(static_cast<double>(mib) / tf);
        curl_rates.push_back(static_cast<double>(mib) / tc);
        fetch_cpu.push_back(cf * 1000);
        curl_cpu.push_back(cc * 1000);
        fetch_sync.push_back(sf * 1000);
        std::printf("%3d  %-5s  %11.1f  %10.1f  %12.0f  %11.0f  %13.0f\n", r + 1,
                    r % 2 ? other : "fetch", fetch_rates.back(), curl_rates.back(),
                    fetch_cpu.back(), curl_cpu.back(), fetch_sync.back());
        // Neither file is kept between runs: at the large sizes they would fill the disk.
        std::remove(fetch_out.c_str());
        std::remove(curl_out.c_str());
    }
    server.stop();
    testsupport::remove_tree(dir);
    if (failed)
        return 1;
    double f = median(fetch_rates), c = median(curl_rates);
    std::printf("median: fetch %.1f MiB/s, %s %.1f MiB/s, ratio %.3f\n", f, other, c,
                with_strip ? c / f : f / c);
    std::printf("median client CPU: fetch %.0f ms, %s %.0f ms\n", median(fetch_cpu), other,
                median(curl_cpu));
    std::printf("median final sync of the fetch: %.0f ms\n", median(fetch_sync));
    return 0;
}

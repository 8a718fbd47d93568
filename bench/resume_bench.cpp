// Bytes on the wire for one jar whose download is cut three times. The online launcher is started
// four times against the loopback TLS server, which ends the jar's body after a quarter of the
// jar at each of the first three starts (the TCP connection just closes) and sends the rest at
// the fourth. Once with the server's validator (ETag), so that each start asks only for what it
// lacks; once without one, so that each start downloads from the beginning, as a launcher that
// does not resume always does. Both end with the whole jar installed.
//
//   vistal-resume-bench [--mib N] [--runs N]
#include "bench/startup_support.h"
#include "tests/support/tls_server.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace testsupport;

constexpr int cuts = 3;

// The bytes the server sent for four starts, and the body bytes among them; -1 when a start
// went wrong or the jar did not arrive whole.
bool four_starts(const std::string& jars, const std::string& jar, bool validator, double* wire,
                 double* body) {
    const std::string whole = read_file(jar);
    const std::size_t quarter = whole.size() / 4;
    auto server = bench::online_server();
    if (!server)
        return false;
    server->on(bench::version_target,
               answer(http_response(200, "2.0.0;/app.jar", {{"Connection", "close"}})));
    std::atomic<int> asked{0};
    std::atomic<std::uint64_t> sent{0};
    server->otherwise([&](const request& r) {
        const int n = asked++;
        std::size_t from = 0;
        const std::string range = r.header("Range");
        if (validator && range.rfind("bytes=", 0) == 0)
            from = std::strtoull(range.c_str() + 6, nullptr, 10);
        if (from >= whole.size())
            from = 0;
        header_list head = {{"Content-Length", std::to_string(whole.size() - from)},
                            {"Connection", "close"}};
        if (validator)
            head.push_back({"ETag", "\"bench-1\""});
        if (from > 0)
            head.push_back({"Content-Range", "bytes " + std::to_string(from) + "-" +
                                                 std::to_string(whole.size() - 1) + "/" +
                                                 std::to_string(whole.size())});
        const std::size_t length =
            n < cuts ? std::min(quarter, whole.size() - from) : whole.size() - from;
        sent += length;
        script s;
        s.send(response_head(from > 0 ? 206 : 200, head)).send(whole.substr(from, length));
        return n < cuts ? s.abort() : s.close();
    });

    bench::install dir(jars);
    copy_file(jars + "/bl.jar", dir.data("app.jar"));
    write_file(dir.data("app.ver"), "1.0.0");
    for (int start = 0; start <= cuts; ++start) {
        bench::sample s = bench::run({bench::online_launcher}, dir.root());
        if (!bench::started(s, "start"))
            return false;
    }
    if (read_file(dir.data("app.jar")) != whole) {
        std::fprintf(stderr, "the fourth start left no whole app.jar\n");
        return false;
    }
    *wire = static_cast<double>(server->bytes_sent());
    *body = static_cast<double>(sent.load());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    auto o = bench::parse(argc, argv, {"--mib"}, "vistal-resume-bench [--mib N] [--runs N]\n");
    std::vector<long> mib = bench::mib_list(o.get("mib", "16"));
    std::string jars = bench::app_jars(mib);
    if (mib.size() != 1 || jars.empty() || !bench::ensure_pki())
        return 1;
    const std::string jar = jars + "/app-" + std::to_string(mib[0]) + ".jar";
    std::printf("%ld MiB app.jar (%lld bytes), cut %d times\n", mib[0], file_size(jar), cuts);
    std::printf("run  resumed: wire bytes (body)     started over: wire bytes (body)\n");
    std::vector<double> resumed, over;
    for (int r = 0; r < o.runs; ++r) {
        double a_wire = 0, a_body = 0, b_wire = 0, b_body = 0;
        if (!four_starts(jars, jar, true, &a_wire, &a_body) ||
            !four_starts(jars, jar, false, &b_wire, &b_body))
            return 1;
        resumed.push_back(a_wire);
        over.push_back(b_wire);
        std::printf("%3d  %14.0f (%10.0f)      %14.0f (%10.0f)\n", r + 1, a_wire, a_body, b_wire,
                    b_body);
    }
    bench::report(o, "bytes sent for one jar cut three times", "resumed", resumed, "started over",
                  over, "ratio", "bytes", "<= 0.6");
    return 0;
}

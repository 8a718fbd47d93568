// Splash on screen: from just before the start of a program to the moment the X server maps its
// splash window, as an X client watching the root window (SubstructureNotifyMask) receives the
// MapNotify. The offline launcher against the JDK's launcher given the same image with -splash:,
// over the same jars and main class with the same initial heap. A private Xvfb serves both; the
// contenders take turns, the order swapping every round, each is run once first to warm the page
// cache, and each is killed once its window is mapped.
//
//   vistal-splash-bench [--runs N] [--image PNG]
#include "bench/startup_support.h"

#include <X11/Xlib.h>
#include <cstdio>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct display_closer {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using display_ptr = std::unique_ptr<Display, display_closer>;

// A private X server on the first free display number from 70 on.
struct x_server {
    std::unique_ptr<testsupport::background> process;
    std::string name;
    display_ptr watcher;
};

bool start_x(x_server* x) {
    for (int n = 70; n < 100; ++n) {
        std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        if (testsupport::exists(lock))
            continue;
        x->name = ":" + std::to_string(n);
        x->process = std::make_unique<testsupport::background>(
            std::vector<std::string>{"Xvfb", x->name, "-screen", "0", "1024x768x24", "-nolisten",
                                     "tcp"},
            "/");
        for (int i = 0; i < 100 && !x->watcher; ++i) {
            ::usleep(50000);
            x->watcher.reset(XOpenDisplay(x->name.c_str()));
        }
        if (x->watcher)
            return true;
        x->process.reset();
    }
    std::fprintf(stderr, "no Xvfb could be started\n");
    return false;
}

// Waits at most timeout_ms for a window to be mapped on the root; the clock when it was seen,
// or -1.
double wait_for_map(Display* d, int timeout_ms) {
    double deadline = testsupport::monotonic_ms() + timeout_ms;
    for (;;) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == MapNotify)
                return testsupport::monotonic_ms();
        }
        double left = deadline - testsupport::monotonic_ms();
        if (left <= 0)
            return -1;
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left));
    }
}

// Forgets what the last contender's windows did.
void drain(Display* d) {
    XSync(d, False);
    while (XPending(d)) {
        XEvent e;
        XNextEvent(d, &e);
    }
}

// One start up to its splash window, in ms from just before the start; -1 if none was mapped.
double time_to_splash(x_server& x, const std::vector<std::string>& argv, const std::string& dir) {
    Display* d = x.watcher.get();
    drain(d);
    double before = testsupport::monotonic_ms();
    testsupport::background program(argv, dir, {"DISPLAY=" + x.name});
    double mapped = wait_for_map(d, 60000);
    program.kill_now();
    return mapped < 0 ? -1 : mapped - before;
}

} // namespace

int main(int argc, char** argv) {
    auto o =
        bench::parse(argc, argv, {"--image"}, "vistal-splash-bench [--runs N] [--image PNG]\n");
    std::string image = o.get("image", testsupport::build_dir() + "/packaging/splash.png");
    std::string jars = bench::app_jars();
    if (jars.empty())
        return 1;
    bench::install dir(jars);
    std::string launcher = dir.root() + "/vistal";
    if (!testsupport::copy_file(image, dir.root() + "/img/splash.png") ||
        !testsupport::copy_file(bench::offline_launcher, launcher) ||
        ::chmod(launcher.c_str(), 0755) != 0) {
        std::fprintf(stderr, "cannot stage %s and the launcher\n", image.c_str());
        return 1;
    }
    x_server x;
    if (!start_x(&x))
        return 1;
    XSelectInput(x.watcher.get(), DefaultRootWindow(x.watcher.get()), SubstructureNotifyMask);

    const std::vector<std::string> ours = {launcher};
    const std::vector<std::string> java = {bench::jdk_home() + "/bin/java",
                                           "-splash:img/splash.png",
                                           "-Xms768m",
                                           "-cp",
                                           "lib/bl.jar:lib/include.jar",
                                           "a.b.a.a.a"};
    const std::vector<std::string>* contenders[2] = {&ours, &java};
    const char* names[2] = {"launcher", "java -splash"};
    std::vector<double> mapped[2];
    for (int r = -1; r < o.runs; ++r) { // round -1 warms the page cache
        double t[2];
        for (int k = 0; k < 2; ++k) {
            int c = (r + k + 2) % 2;
            t[c] = time_to_splash(x, *contenders[c], dir.root());
            if (t[c] < 0) {
                std::fprintf(stderr, "%s: no window was mapped\n", names[c]);
                return 1;
            }
        }
        if (r < 0) {
            std::printf("run  %12s  %12s  (ms to the splash window mapped)\n", names[0], names[1]);
            continue;
        }
        for (int c = 0; c < 2; ++c)
            mapped[c].push_back(t[c]);
        std::printf("%3d  %12.1f  %12.1f\n", r + 1, t[0], t[1]);
    }
    bench::report(o, "splash window mapped (Xvfb)", names[0], mapped[0], "java -splash: -Xms768m",
                  mapped[1], "ratio", "ms", "<= 0.80");
    return 0;
}

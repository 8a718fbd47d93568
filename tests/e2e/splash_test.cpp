// The splash image from the launcher's first moments, with the runtime's real splash library on
// an X display (the test runs under xvfb-run): the application finds the window open on the
// install's image, and a screenshot taken meanwhile shows it. A slow download draws a growing
// strip along the image's bottom edge and nothing else; a download that breaks off takes it away.
#include "tests/support/process.h"
#include "tests/support/test_app.h"
#include "tests/support/test_host.h"
#include "tests/support/tls_server.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace testsupport;

namespace {

const char* const convert = "/usr/bin/convert";
const std::string splash_colour = "#3366CC";

std::string artifact_dir() {
    return build_dir() + "/tests/artifacts";
}

// Runs an image tool and returns what it printed.
std::string image_tool(const std::vector<std::string>& argv, const std::string& cwd) {
    auto r = run(argv, cwd, 60000);
    EXPECT_EQ(r.exit_code, 0) << argv[0] << ": " << r.err;
    return r.out;
}

bool wait_for(const std::string& path, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST(Splash, TheApplicationFindsTheSplashWindowOpenOnTheInstallsImage) {
    const char* display = std::getenv("DISPLAY");
    ASSERT_TRUE(display && *display) << "needs an X display (run under xvfb-run)";

    install_dir install;
    write_file(install.path("lib/bl.jar"), test_app_jar("app.jar"));
    write_file(install.path("lib/include.jar"), test_app_jar("include.jar"));
    image_tool({convert, "-size", "240x160", "xc:" + splash_colour, "PNG24:img/splash.png"},
               install.root());
    write_file(install.path("behaviour"), "test.Splash\nsplash.txt\nsplash.done\n");

    background launcher({install.launcher()}, install.root());
    bool reported = wait_for(install.path("splash.txt"), 60);

    // The window is up while the application waits for splash.done: take the screenshot now.
    make_dirs(artifact_dir());
    const std::string shot = artifact_dir() + "/splash-screenshot.png";
    std::remove(shot.c_str());
    if (reported)
        image_tool({"/usr/bin/import", "-display", display, "-window", "root", shot},
                   install.root());
    write_file(install.path("splash.done"), "");
    EXPECT_EQ(launcher.wait(60000), 0);

    ASSERT_TRUE(reported) << "the application did not report";
    std::string report = read_file(install.path("splash.txt"));
    EXPECT_NE(report.find("/img/splash.png\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("url=null"), std::string::npos) << report;
    EXPECT_NE(report.find("visible=true"), std::string::npos) << report;

    // The splash window is centred on the screen.
    ASSERT_TRUE(exists(shot));
    std::string size = image_tool({convert, shot, "-format", "%w %h", "info:"}, install.root());
    int width = 0, height = 0;
    ASSERT_EQ(std::sscanf(size.c_str(), "%d %d", &width, &height), 2) << size;
    std::string centre = image_tool(
        {convert, shot, "-format",
         "%[hex:p{" + std::to_string(width / 2) + "," + std::to_string(height / 2) + "}]", "info:"},
        install.root());
    EXPECT_EQ("#" + centre.substr(0, 6), splash_colour) << "screenshot kept at " << shot;
}

// The download strip. The test launcher's colour is the default deployment value.
const std::string strip_colour = "#2F80ED";
constexpr int screen_w = 1024, screen_h = 768, splash_w = 240, splash_h = 160;
constexpr int strip_h = 4; // a 160-pixel image
const std::string splash_at = "+" + std::to_string((screen_w - splash_w) / 2) + "+" +
                              std::to_string((screen_h - splash_h) / 2);

class SplashDownload : public ::testing::Test {
  protected:
    install_dir install;
    std::unique_ptr<tls_server> server;
    const char* display = std::getenv("DISPLAY");
    std::string jar = test_app_jar("app.jar");

    void SetUp() override {
        ASSERT_TRUE(display && *display) << "needs an X display (run under xvfb-run)";
        write_file(install.path("lib/bl.jar"), jar);
        write_file(install.path("lib/include.jar"), test_app_jar("include.jar"));
        install.create_data_dir();
        // Every row differs, so that a strip drawn a row too high or too low shows.
        image_tool({convert, "-size", std::to_string(splash_w) + "x" + std::to_string(splash_h),
                    "gradient:#203040-#E0C080", "PNG24:img/splash.png"},
                   install.root());
        write_file(install.path("behaviour"), "test.Splash\nsplash.txt\nsplash.done\n");

        tls_server_options options = test_host_options(18441);
        server = std::make_unique<tls_server>(options);
        ASSERT_NE(server->port(), 0) << server->error();
        server->on(version_target, answer(http_response(200, "2.0.0;/j/app.jar")));
    }

    // app.jar in `pieces` pieces a twentieth of a second apart; only the first `sent` of them
    // when the connection is to break off.
    void serve_slowly(int pieces, int sent) {
        script s;
        s.send(response_head(200, {{"Content-Length", std::to_string(jar.size())}}));
        std::size_t piece = jar.size() / pieces + 1;
        for (int i = 0; i < sent && i * piece < jar.size(); ++i)
            s.send(jar.substr(i * piece, piece)).pause(50);
        if (sent < pieces)
            s.abort();
        server->on("/j/app.jar", s);
    }

    bool sent_at_least(std::size_t bytes, int seconds) {
        for (int i = 0; i < seconds * 20; ++i) {
            if (server->bytes_sent() >= bytes)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::string shot(const std::string& name) {
        make_dirs(artifact_dir());
        std::string path = artifact_dir() + "/" + name;
        std::remove(path.c_str());
        image_tool({"/usr/bin/import", "-display", display, "-window", "root", path},
                   install.root());
        return path;
    }

    // Pixels that differ between two images (regions "WxH+X+Y" of each).
    long differing(const std::string& a, const std::string& a_region, const std::string& b,
                   const std::string& b_region) {
        auto r = run({"/usr/bin/compare", "-metric", "AE", a + "[" + a_region + "]",
                      b + "[" + b_region + "]", "null:"},
                     install.root(), 60000);
        EXPECT_NE(r.exit_code, 2) << r.err;
        return std::atol(r.err.c_str());
    }

    // Pixels of the strip's colour along the splash image's last row.
    int strip_length(const std::string& screenshot) {
        std::string row = image_tool({convert, screenshot, "-crop",
                                      std::to_string(splash_w) + "x1+" +
                                          std::to_string((screen_w - splash_w) / 2) + "+" +
                                          std::to_string((screen_h + splash_h) / 2 - 1),
                                      "-depth", "8", "txt:-"},
                                     install.root());
        int n = 0;
        for (std::size_t at = row.find(strip_colour); at != std::string::npos;
             at = row.find(strip_colour, at + 1))
            ++n;
        return n;
    }

    void finish(background& launcher) {
        bool reported = wait_for(install.path("splash.txt"), 60);
        write_file(install.path("splash.done"), "");
        EXPECT_EQ(launcher.wait(60000), 0);
        EXPECT_TRUE(reported) << "the application did not report";
    }
};

const std::string above_strip =
    std::to_string(splash_w) + "x" + std::to_string(splash_h - strip_h) + splash_at;
const std::string whole_image = std::to_string(splash_w) + "x" + std::to_string(splash_h);
const std::string strip_rows = std::to_string(splash_w) + "x" + std::to_string(strip_h) + "+" +
                               std::to_string((screen_w - splash_w) / 2) + "+" +
                               std::to_string((screen_h + splash_h) / 2 - strip_h);

TEST_F(SplashDownload, ASlowDownloadGrowsAStripAndChangesNothingElse) {
    serve_slowly(120, 120); // about six seconds
    background launcher({install.launcher()}, install.root());
    ASSERT_TRUE(sent_at_least(jar.size() / 5, 60)) << "the download did not begin";
    std::string first = shot("splash-progress-1.png");
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::string second = shot("splash-progress.png");
    finish(launcher);
    std::printf("download strip screenshot: %s\n", second.c_str());

    int early = strip_length(first), late = strip_length(second);
    EXPECT_GT(early, 0) << first;
    EXPECT_GT(late, early) << second;
    EXPECT_LT(late, splash_w) << second;
    // Above the strip both show the install's image exactly; all that differs between the two
    // screenshots lies in the strip's rows.
    const std::string image = install.path("img/splash.png");
    const std::string image_above =
        std::to_string(splash_w) + "x" + std::to_string(splash_h - strip_h) + "+0+0";
    EXPECT_EQ(differing(first, above_strip, image, image_above), 0) << first;
    EXPECT_EQ(differing(second, above_strip, image, image_above), 0) << second;
    const std::string screen = std::to_string(screen_w) + "x" + std::to_string(screen_h) + "+0+0";
    EXPECT_EQ(differing(first, screen, second, screen),
              differing(first, strip_rows, second, strip_rows));
}

TEST_F(SplashDownload, ADownloadThatBreaksOffTakesTheStripAway) {
    serve_slowly(40, 20); // half of it, then the connection drops
    background launcher({install.launcher()}, install.root());
    // The install's own jar starts; its window waits while the screenshot is taken.
    bool reported = wait_for(install.path("splash.txt"), 60);
    std::string after = reported ? shot("splash-progress-failed.png") : "";
    finish(launcher);
    ASSERT_TRUE(reported);
    EXPECT_FALSE(exists(install.data_dir() + "/app.jar"));
    EXPECT_EQ(strip_length(after), 0) << after;
    EXPECT_EQ(differing(after, whole_image + splash_at, install.path("img/splash.png"),
                        whole_image + "+0+0"),
              0)
        << after;
}

} // namespace

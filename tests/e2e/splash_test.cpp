// The splash image from the launcher's first moments, with the runtime's real splash library on
// an X display (the test runs under xvfb-run): the application finds the window open on the
// install's image, and a screenshot taken meanwhile shows it.
#include "tests/support/process.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
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
    write_file(install.path("lib/bl.jar"), read_file(build_dir() + "/tests/app/app.jar"));
    write_file(install.path("lib/include.jar"), read_file(build_dir() + "/tests/app/include.jar"));
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

} // namespace

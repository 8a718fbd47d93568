// The fatal-error dialog on a real (virtual) display: the launcher shows the Swing dialog with
// title "Error", a key press closes it, and the process ends with 0.
#include "tests/support/process.h"
#include "tests/support/test_app.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>

using testsupport::install_dir;

namespace {

// An Xvfb on a display number it picks itself; ended with the handle.
class virtual_display {
  public:
    virtual_display() : dir_(testsupport::make_temp_dir("vistal-xvfb")) {
        std::string number_file = dir_ + "/display";
        server_ = std::make_unique<testsupport::background>(
            std::vector<std::string>{
                "/bin/sh", "-c",
                "exec Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>'" + number_file +
                    "'"},
            dir_);
        for (int i = 0; i < 200 && name_.empty(); ++i) {
            std::string number = testsupport::read_file(number_file);
            if (!number.empty() && number.back() == '\n')
                name_ = ":" + number.substr(0, number.size() - 1);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~virtual_display() {
        server_.reset();
        testsupport::remove_tree(dir_);
    }
    const std::string& name() const { return name_; }

    testsupport::run_result xdotool(const std::vector<std::string>& args,
                                    int timeout_ms = 30000) const {
        std::vector<std::string> argv = {"/usr/bin/xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        return testsupport::run(argv, dir_, timeout_ms, {"DISPLAY=" + name_});
    }

  private:
    std::string dir_;
    std::string name_;
    std::unique_ptr<testsupport::background> server_;
};

std::string first_line(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST(SignedStartDialog, ErrorDialogIsShownAndClosedByAKey) {
    virtual_display display;
    ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";

    install_dir dir;
    testsupport::write_file(dir.path("lib/bl.jar"), testsupport::test_app_jar("app.jar"));
    testsupport::write_file(dir.path("lib/include.jar"), testsupport::test_app_jar("include.jar"));
    testsupport::write_file(dir.path("behaviour"), "test.Throw\n");
    std::string err_file = dir.path("stderr.txt");
    testsupport::background launcher(
        {"/bin/sh", "-c", "exec '" + dir.launcher() + "' 2>'" + err_file + "'"}, dir.root(),
        {"DISPLAY=" + display.name()});

    // The dialog is the only window with that title.
    auto found = display.xdotool({"search", "--sync", "--onlyvisible", "--name", "^Error$"}, 90000);
    ASSERT_EQ(found.exit_code, 0) << "no dialog appeared: " << testsupport::read_file(err_file);
    std::string window = first_line(found.out);
    EXPECT_EQ(first_line(display.xdotool({"getwindowname", window}).out), "Error");

    // Kept for a look at what the user sees.
    testsupport::run({"/usr/bin/import", "-display", display.name(), "-window", "root",
                      std::string(ARTIFACT_DIR) + "/signed_start_dialog.png"},
                     dir.root(), 30000);

    // A click into the message gives the dialog the focus (the VM moves it to its own focus
    // window; without a window manager nothing else does); the key is typed through XTEST like
    // a real one, and Return presses the focused OK button.
    bool closed = false;
    for (int attempt = 0; attempt < 5 && !closed; ++attempt) {
        display.xdotool({"mousemove", "--window", window, "100", "40", "click", "1"});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        display.xdotool({"key", "Return"});
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        closed = display.xdotool({"search", "--onlyvisible", "--name", "^Error$"}).exit_code != 0;
    }
    EXPECT_TRUE(closed);
    int code = launcher.wait(60000);
    EXPECT_EQ(code, 1);
    // Shown as a dialog, so nothing of it reaches standard error.
    EXPECT_EQ(testsupport::read_file(err_file).find("One or more application files"),
              std::string::npos);
}

} // namespace

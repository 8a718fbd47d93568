// The splash bridge over the fake platform, with entry points that record how they are called.
#include "splash/screen.h"
#include "tests/support/fake_platform.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct splash_call {
    std::string entry;
    std::string file;
    bool jar_is_null;
};
std::vector<splash_call> splash_calls;

void splash_init() {
    splash_calls.push_back({"SplashInit", "", true});
}
int splash_load_file(const char* file) {
    splash_calls.push_back({"SplashLoadFile", file, true});
    return 1;
}
void splash_set_file_jar_name(const char* file, const char* jar) {
    splash_calls.push_back({"SplashSetFileJarName", file, jar == nullptr});
}

class Splash : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        splash_calls.clear();
    }

    // Each case starts from a splash of its own, as a process does.
    splash::screen screen;
    splash::library& lib = screen.library;

    void* library_with(bool load_file = true) {
        void* lib = fake::add_library(fake::installed(platform::splash_library));
        fake::add_proc(lib, "SplashInit", reinterpret_cast<void*>(&splash_init));
        if (load_file)
            fake::add_proc(lib, "SplashLoadFile", reinterpret_cast<void*>(&splash_load_file));
        fake::add_proc(lib, "SplashSetFileJarName",
                       reinterpret_cast<void*>(&splash_set_file_jar_name));
        return lib;
    }

    const std::string load = "load_library:" + fake::installed(platform::splash_library);
    const std::string image = fake::installed("img/splash.png");
};

TEST_F(Splash, WithTheLibraryOneLoadThreeLookupsThreeCalls) {
    library_with();
    ShowSplashScreen(screen);
    EXPECT_EQ(
        fake::platform().calls,
        (std::vector<std::string>{load, "proc_address:SplashInit", "proc_address:SplashLoadFile",
                                  "proc_address:SplashSetFileJarName"}));
    ASSERT_EQ(splash_calls.size(), 3u);
    EXPECT_EQ(splash_calls[0].entry, "SplashInit");
    EXPECT_EQ(splash_calls[1].entry, "SplashLoadFile");
    // The install's image by absolute path, never one in the current directory.
    EXPECT_EQ(splash_calls[1].file, image);
    EXPECT_EQ(splash_calls[2].entry, "SplashSetFileJarName");
    EXPECT_EQ(splash_calls[2].file, image);
    EXPECT_TRUE(splash_calls[2].jar_is_null);

    // Found entries stay cached: the platform is not asked again.
    fake::platform().calls.clear();
    EXPECT_EQ(DoSplashLoadFile(lib, "other.png"), 1);
    EXPECT_TRUE(fake::platform().calls.empty());
}

TEST_F(Splash, WithoutTheLibraryEveryWrapperTriesToLoadIt) {
    ShowSplashScreen(screen);
    EXPECT_EQ(fake::platform().calls, (std::vector<std::string>{load, load, load}));
    EXPECT_EQ(DoSplashLoadFile(lib, "img/splash.png"), 0);
    EXPECT_TRUE(fake::platform().messages.empty());

    // A library that turns up later is used.
    library_with();
    DoSplashInit(lib);
    EXPECT_EQ(splash_calls.size(), 1u);
}

TEST_F(Splash, AMissingEntryIsSkippedAndLookedUpAgain) {
    library_with(false);
    ShowSplashScreen(screen);
    ASSERT_EQ(splash_calls.size(), 2u);
    EXPECT_EQ(splash_calls[0].entry, "SplashInit");
    EXPECT_EQ(splash_calls[1].entry, "SplashSetFileJarName");

    fake::platform().calls.clear();
    EXPECT_EQ(DoSplashLoadFile(lib, "img/splash.png"), 0);
    EXPECT_EQ(fake::platform().calls, std::vector<std::string>{"proc_address:SplashLoadFile"});
}

} // namespace

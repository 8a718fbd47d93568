// Roads of the start-up sequence over the fake platform, up to the VM's creation.
#include "launcher/startup.h"
#include "tests/support/fake_platform.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <jni.h>
#include <string>

namespace {

jint JNICALL refuse_vm(JavaVM**, void**, void*) {
    return -1;
}

JavaVMInitArgs seen_args;
std::vector<std::string> seen_options;
jint JNICALL record_and_refuse_vm(JavaVM**, void**, void* args) {
    seen_args = *static_cast<JavaVMInitArgs*>(args);
    seen_options.clear();
    for (int i = 0; i < seen_args.nOptions; ++i)
        seen_options.push_back(seen_args.options[i].optionString);
    return -3;
}

int dpi_calls;
int JNICALL set_dpi_aware() {
    return ++dpi_calls;
}

const char* const c_runtime_message =
    "Unable to load Microsoft\nruntime C library.\n\nPlease contact Quarlen Zuzidivoravev\n"
    "Vivurezuv' technical support.";
const char* const vm_library_message = "Unable to load Java VM DLL.\n\nPlease contact Quarlen "
                                       "Zuzidivoravev\nVivurezuv' technical support.";
const char* const vm_creation_message = "Unable to create Java VM\n\nPlease contact Quarlen "
                                        "Zuzidivoravev\nVivurezuv' technical support.";

class Startup : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        dpi_calls = 0;
    }

    // The state a run leaves behind, as the program entry would own it.
    launcher::launch_state state;
    char* (&paths)[base::jar_slots] = state.jars.paths;
    int& jar_count = state.jars.count;
    char (&appDataPath)[base::app_path_size] = state.appDataPath;

    // Runs the sequence and returns its exit code. The command line is the program's to ignore;
    // the entry does not even hand it on.
    int run(const char* = "") {
        state = launcher::launch_state();
        try {
            launcher::run(state);
        } catch (const fake::exit_called& e) {
            return e.code;
        }
        ADD_FAILURE() << "the sequence returned";
        return -1;
    }

    bool called(const std::string& call) const {
        auto& calls = fake::platform().calls;
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }

    // A VM library whose JNI_CreateJavaVM is `create`.
    void vm_library(void* create) {
        fake::add_library(platform::c_runtime_library);
        void* jvm = fake::add_library(fake::installed(platform::vm_library));
        fake::add_proc(jvm, "JNI_CreateJavaVM", create);
    }

    const std::string bundled_c_runtime =
        "load_library:" + fake::installed(platform::bundled_c_runtime);
    const std::string system_c_runtime =
        std::string("load_system_library:") + platform::c_runtime_library;
    const std::string vm = "load_library:" + fake::installed(platform::vm_library);
};

TEST_F(Startup, MissingCRuntimeShowsMessageOneAndNeverTriesTheVm) {
    EXPECT_EQ(run(), 1);
    ASSERT_EQ(fake::platform().messages.size(), 1u);
    EXPECT_EQ(fake::platform().messages[0].text, c_runtime_message);
    EXPECT_EQ(fake::platform().messages[0].caption, "Error");
    EXPECT_EQ(fake::platform().messages[0].flags, 0x00051040u);
    // The install's copy is tried before the system's.
    auto& calls = fake::platform().calls;
    auto first = std::find(calls.begin(), calls.end(), bundled_c_runtime);
    auto second = std::find(calls.begin(), calls.end(), system_c_runtime);
    EXPECT_TRUE(first < second && second != calls.end());
    EXPECT_FALSE(called(vm));
}

TEST_F(Startup, CRuntimeOfTheInstallIsTakenBeforeTheSystemOne) {
    fake::add_library(fake::installed(platform::bundled_c_runtime));
    fake::add_library(platform::c_runtime_library);
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(called(bundled_c_runtime));
    EXPECT_FALSE(called(system_c_runtime));
    EXPECT_TRUE(called(vm));
    ASSERT_EQ(fake::platform().messages.size(), 1u);
    EXPECT_EQ(fake::platform().messages[0].text, vm_library_message);
    EXPECT_EQ(fake::platform().messages[0].caption, "Error");
}

// The four fixed options, then the unit deployment's own (tests/unit/CMakeLists.txt), compiled
// in as one text and split.
TEST_F(Startup, FailedVmCreationShowsWarningWithTheFourOptionsAndTheVendors) {
    vm_library(reinterpret_cast<void*>(&record_and_refuse_vm));
    EXPECT_EQ(run(), 1);
    ASSERT_EQ(fake::platform().messages.size(), 1u);
    EXPECT_EQ(fake::platform().messages[0].text, vm_creation_message);
    EXPECT_EQ(fake::platform().messages[0].caption, "Warning");
    EXPECT_EQ(fake::platform().messages[0].flags, 0x00051040u);
    EXPECT_EQ(seen_args.version, 0x00010004);
    EXPECT_EQ(seen_args.ignoreUnrecognized, JNI_TRUE);
    // No empty class path (the current directory) and no relative library path: the class path
    // lies below the executable's file, where nothing can be.
    std::string sep(1, platform::path_separator);
    EXPECT_EQ(seen_options, (std::vector<std::string>{
                                "-Djava.class.path=" + fake::platform().executable + sep + "-",
                                "-Djava.library.path=" + fake::installed("lib"), "-Xms768m",
                                "-Dsun.java2d.noddraw=true", "-Xmx2g", "-Dapp.title=My App",
                                "-Dpath=C:\\Temp\\x"}));
}

TEST_F(Startup, WithoutTheExecutablesPathNothingIsLoadedFromTheInstallOrTheCurrentDirectory) {
    // Unknown, or too long for the path buffers: the start ends with the VM library message.
    for (std::string executable : {std::string(), fake::platform().executable.substr(0, 3) +
                                                      std::string(platform::max_path, 'x')}) {
        fake::reset();
        vm_library(reinterpret_cast<void*>(&refuse_vm));
        fake::platform().executable = executable;
        EXPECT_EQ(run(), 1);
        ASSERT_EQ(fake::platform().messages.size(), 1u);
        EXPECT_EQ(fake::platform().messages[0].text, vm_library_message);
        for (const std::string& call : fake::platform().calls)
            EXPECT_NE(call.rfind("load_library:", 0), 0u) << call;
        EXPECT_TRUE(called(system_c_runtime));
        EXPECT_STREQ(paths[1], "");
        EXPECT_STREQ(paths[2], "");
    }
}

TEST_F(Startup, VmLibraryWithoutTheEntryCannotCreateTheVm) {
    vm_library(nullptr);
    EXPECT_EQ(run(), 1);
    ASSERT_EQ(fake::platform().messages.size(), 1u);
    EXPECT_EQ(fake::platform().messages[0].caption, "Warning");
}

TEST_F(Startup, MutexIsCreatedAndAnExistingOneChangesNothing) {
    vm_library(reinterpret_cast<void*>(&refuse_vm));
    run();
    auto first = fake::platform().calls;
    EXPECT_EQ(fake::platform().mutexes, std::vector<std::string>{"QuarlenVistalMutex"});

    // The fake does not tell an existing mutex from a new one, and neither does the sequence:
    // a second run takes exactly the same steps.
    fake::reset();
    vm_library(reinterpret_cast<void*>(&refuse_vm));
    run();
    EXPECT_EQ(fake::platform().calls, first);
}

TEST_F(Startup, DpiAwarenessIsSwitchedOnWhenTheEntryExists) {
    void* user32 = fake::add_library("user32.dll");
    fake::add_proc(user32, "SetProcessDPIAware", reinterpret_cast<void*>(&set_dpi_aware));
    run();
    EXPECT_EQ(dpi_calls, 1);
    EXPECT_TRUE(called("load_system_library:user32.dll"));
    // Before any library is loaded, the search is confined.
    EXPECT_EQ(fake::platform().calls.front(), "restrict_library_search");
}

TEST_F(Startup, MissingDpiEntryGoesOnToTheSplash) {
    fake::add_library("user32.dll");
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(dpi_calls, 0);
    EXPECT_TRUE(called("proc_address:SetProcessDPIAware"));
    EXPECT_TRUE(called("common_appdata_folder"));
}

TEST_F(Startup, CommandLineChangesNothing) {
    vm_library(reinterpret_cast<void*>(&refuse_vm));
    run();
    auto reference = fake::platform().calls;
    for (std::string line : {std::string("-Xmx1g --debug app.jar"), std::string(100000, 'x'),
                             std::string("\"quoted\" %s %n")}) {
        fake::reset();
        vm_library(reinterpret_cast<void*>(&refuse_vm));
        EXPECT_EQ(run(line.c_str()), 1);
        EXPECT_EQ(fake::platform().calls, reference) << line.substr(0, 40);
    }
}

// The update check runs beside the loading of the runtime and the VM's creation (the fake runs
// it only when it is joined, the latest a thread may end). Whichever of them fails, the check has
// ended, its lock taken and its servers asked, before the message shows.
TEST_F(Startup, EveryFailureWaitsForTheUpdateCheckBeforeItsMessage) {
    for (int road = 0; road < 3; ++road) {
        fake::reset();
        if (road == 1)
            fake::add_library(platform::c_runtime_library);
        if (road == 2)
            vm_library(reinterpret_cast<void*>(&refuse_vm));
        EXPECT_EQ(run(), 1);
        auto& calls = fake::platform().calls;
        auto started = std::find(calls.begin(), calls.end(), "start_thread");
        auto joined = std::find(calls.begin(), calls.end(), "join_thread");
        auto runtime = std::find(calls.begin(), calls.end(), bundled_c_runtime);
        auto shown = std::find_if(calls.begin(), calls.end(), [](const std::string& c) {
            return c.rfind("message_box:", 0) == 0;
        });
        EXPECT_TRUE(started < runtime && runtime < joined && joined < shown && shown != calls.end())
            << "road " << road;
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "join_thread"), 1) << "road " << road;
        EXPECT_FALSE(fake::platform().locked.empty()) << "road " << road;
    }
}

TEST_F(Startup, OfflineReplacesTheApplicationJarWithTheFallbackJar) {
    vm_library(reinterpret_cast<void*>(&refuse_vm));
    run();
    ASSERT_EQ(jar_count, 3);
    EXPECT_EQ(paths[1], fake::installed(platform::fallback_jar));
    std::string sep(1, platform::path_separator);
    EXPECT_EQ(std::string(paths[0]), std::string(appDataPath) + sep + "app.npx");
    EXPECT_EQ(paths[2], fake::installed(platform::include_jar));
}

} // namespace

// The real launcher's start-up roads up to and including a real VM.
#include "tests/support/process.h"

#include <gtest/gtest.h>
#include <unistd.h>

using testsupport::install_dir;

namespace {

const char* const vm_library_message = "Error\nUnable to load Java VM DLL.\n\nPlease contact "
                                       "Quarlen Zuzidivoravev\nVivurezuv' technical support.\n";
const char* const vm_creation_message = "Warning\nUnable to create Java VM\n\nPlease contact "
                                        "Quarlen Zuzidivoravev\nVivurezuv' technical support.\n";

TEST(Startup, WithoutRuntimeShowsTheVmLibraryMessage) {
    install_dir dir(false);
    auto r = dir.run_launcher(20000);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, vm_library_message);
}

TEST(Startup, RefusedVmCreationShowsTheWarning) {
    install_dir dir(false);
    testsupport::make_dirs(dir.path("jre/lib/server"));
    ASSERT_EQ(symlink(REFUSING_JVM, dir.path("jre/lib/server/libjvm.so").c_str()), 0);
    auto r = dir.run_launcher(20000);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, vm_creation_message);
}

TEST(Startup, RealVmIsCreatedAndTheProcessEndsWithZero) {
    install_dir dir;
    for (const char* line : {"", "--help", "-Xmx1g some words"}) {
        std::vector<std::string> argv = {dir.launcher()};
        if (*line)
            argv.push_back(line);
        auto r = testsupport::run(argv, dir.root(), 60000);
        // No application jar here: the main class cannot be loaded, a failed start.
        EXPECT_EQ(r.exit_code, 1) << r.err;
        EXPECT_FALSE(r.timed_out);
    }
}

} // namespace

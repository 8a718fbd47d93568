// The HTTPS library is opened by the first transfer: a start that asks no server never maps it,
// one that asks goes on with it loaded. The dynamic linker's own trace (LD_DEBUG=files) tells
// which libraries a process opened, and how.
#include "tests/support/process.h"

#include <gtest/gtest.h>
#include <unistd.h>

using testsupport::install_dir;

namespace {

const char* const vm_creation_message = "Warning\nUnable to create Java VM";

// A start of the test launcher that ends at a refused VM creation; its standard error holds
// the linker's trace of every library the process opened.
testsupport::run_result start(const install_dir& dir) {
    testsupport::make_dirs(dir.path("jre/lib/server"));
    symlink(REFUSING_JVM, dir.path("jre/lib/server/libjvm.so").c_str());
    return dir.run_launcher(60000, {"LD_DEBUG=files"});
}

TEST(HttpsLibrary, OnlyAStartThatAsksAServerOpensIt) {
    {
        // No data directory: app.ver cannot be had, so no server is asked.
        install_dir dir(false);
        auto r = start(dir);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(vm_creation_message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("libcurl"), std::string::npos) << r.err;
    }
    {
        // Every server refuses: the library was opened for the first request, not at start.
        install_dir dir(false);
        dir.create_data_dir();
        auto r = start(dir);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(vm_creation_message), std::string::npos) << r.err;
        auto opened = r.err.find("file=libcurl.so.4");
        ASSERT_NE(opened, std::string::npos) << r.err;
        std::string line = r.err.substr(opened, r.err.find('\n', opened) - opened);
        EXPECT_NE(line.find("dynamically loaded"), std::string::npos) << line;
    }
}

} // namespace

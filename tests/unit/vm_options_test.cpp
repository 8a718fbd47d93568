// The vendor's VM options text, split into the options the VM is given after the fixed four.
#include "launcher/vm_options.h"

#include <gtest/gtest.h>

namespace {

using options = std::vector<std::string>;

TEST(VmOptions, SplitsAtBlanksAndKeepsQuotedBlanksInOneOption) {
    struct row {
        const char* text;
        options expected;
    } rows[] = {
        {nullptr, {}},
        {"", {}},
        {" \t\r\n ", {}},
        {"-Xmx2g", {"-Xmx2g"}},
        {"  -Xmx2g\t-Dapp.mode=kiosk\n-Xss1m  ", {"-Xmx2g", "-Dapp.mode=kiosk", "-Xss1m"}},
        // Quotes group and vanish, wherever they stand in the option.
        {"\"-Dapp.title=My App\" -Xmx2g", {"-Dapp.title=My App", "-Xmx2g"}},
        {"-Dapp.title=\"My  App\"", {"-Dapp.title=My  App"}},
        {"-Da=\"x\"\"y z\"", {"-Da=xy z"}},
        // \" is a quote of the option; other backslashes stand for themselves.
        {"-Dq=\\\"quoted\\\" -Djava.io.tmpdir=C:\\Temp\\vistal",
         {"-Dq=\"quoted\"", "-Djava.io.tmpdir=C:\\Temp\\vistal"}},
        {"-Dend=dir\\", {"-Dend=dir\\"}},
        // Empty options are dropped; an unclosed quote runs to the end.
        {"\"\" -Xmx2g \"\"", {"-Xmx2g"}},
        {"-Xmx2g \"-Dopen=a b", {"-Xmx2g", "-Dopen=a b"}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.text ? r.text : "(null)");
        EXPECT_EQ(launcher::split_vm_options(r.text), r.expected);
    }
}

} // namespace

// The native zip reader against the JDK's over hostile archives: both read the same entries, or
// the native reader refuses the archive. Where they differ, a jar passes the check before install
// and the VM then reads other classes out of it, or none.
#include "tests/support/process.h"
#include "tests/support/test_jars.h"
#include "update/zip_reader.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace zip = update::zip;

using namespace testsupport;

namespace {

// What the native reader makes of `path`, in the Java helper's form.
std::string native_entries(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return "unreadable";
    zip::archive archive;
    zip::status status = zip::read_directory(file, 64u << 20, &archive);
    std::fclose(file);
    if (status != zip::status::ok)
        return "refused";
    std::string out;
    for (const zip::entry& e : archive.entries) {
        if (!out.empty())
            out += ',';
        for (unsigned char c : e.name) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", c);
            out += hex;
        }
    }
    return out;
}

TEST(ZipReaders, TheNativeReaderReadsWhatTheJdkReadsOrRefuses) {
    const std::string main_class = "a/b/a/a/a.class";
    zip_layout wrapped; // 65,537 records: the 16-bit count says 1
    wrapped.entries.push_back({main_class, "signed"});
    for (int i = 0; i < 65535; ++i)
        wrapped.entries.push_back({"f/" + std::to_string(i), ""});
    wrapped.entries.push_back({"b/" + main_class, "unsigned"});
    const struct {
        const char* what;
        zip_layout layout;
        bool sound;
    } cases[] = {
        {"plain", {{{main_class, "x"}, {"META-INF/MANIFEST.MF", "m"}}, "", ""}, true},
        {"name not UTF-8", {{{main_class, "x"}, {"z\xff.class", "y"}}, "", ""}, false},
        {"overlong UTF-8", {{{main_class, "x"}, {"\xc0\xaf.class", "y"}}, "", ""}, false},
        {"surrogate", {{{main_class, "x"}, {"\xed\xa0\x80.class", "y"}}, "", ""}, false},
        {"name twice", {{{main_class, "x"}, {main_class, "y"}}, "", ""}, false},
        {"count wraps", wrapped, false},
        {"gap before the end record", {{{main_class, "x"}}, std::string(46, 'g'), ""}, false},
        {"ZIP64 locator before the end record",
         {{{main_class, "x"}}, "PK\x06\x07" + std::string(16, '\0'), ""},
         false},
        {"end record in the comment",
         {{{main_class, "x"}}, "", "PK\x05\x06" + std::string(18, '\0')},
         false},
    };

    std::string work = make_temp_dir("vistal-zip-readers");
    std::vector<std::string> argv = {jdk_home() + "/bin/java",
                                     source_dir() + "/tests/security/zip_entries.java"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        argv.push_back(work + "/" + std::to_string(i) + ".zip");
        ASSERT_TRUE(write_file(argv.back(), zip_of(cases[i].layout)));
    }
    auto jdk = run(argv, work, 120000);
    ASSERT_EQ(jdk.exit_code, 0) << jdk.err;
    std::istringstream lines(jdk.out);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::string java;
        std::getline(lines, java);
        std::string native = native_entries(argv[i + 2]);
        SCOPED_TRACE(cases[i].what);
        EXPECT_TRUE(native == "refused" || native == java)
            << "native " << native.substr(0, 80) << " JDK " << java.substr(0, 80);
        EXPECT_EQ(native != "refused", cases[i].sound);
    }
    remove_tree(work);
}

} // namespace

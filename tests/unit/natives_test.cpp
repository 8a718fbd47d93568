// The natives that need no VM of their own, over the fake platform and a fake JNIEnv.
#include "base/bounds.h"
#include "config/deployment.h"
#include "launcher/report.h"
#include "tests/support/fake_platform.h"
#include "tests/unit/support/fake_jni.h"
#include "vmhost/natives.h"
#include "vmhost/session.h"

#include <cstring>
#include <gtest/gtest.h>
#include <utility>

namespace {

using namespace vmhost;

class Natives : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        hand();
    }

    // What start-up hands the natives: this test's data directory and answering server.
    void hand() {
        native_context& context = vm.natives;
        context.appDataPath = appDataPath;
        context.server_list = config::server_list;
        context.server = server;
        context.show_warning = &launcher::report_shell_warning;
        hand_to_natives(vm);
    }

    session vm;
    fake::jni jni;
    char appDataPath[base::app_path_size] = {};
    int server = -1;
};

TEST_F(Natives, ShellCodesWithAMessageShowItOnceAsAWarning) {
    const std::pair<std::intptr_t, const char*> table[] = {
        {0, "Your operating system is out of memory or resources."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {5, "Your operating system denied access to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .exe file is invalid (non-Win32 .exe or error in .exe image)."},
        {26, "A sharing violation occurred."},
        {27, "The file name association is incomplete or invalid."},
        {28, "The DDE transaction could not be completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30, "The DDE transaction could not be completed because other DDE transactions were "
             "being processed."},
        {31, "There is no application associated with the given file name extension."},
        {32, "The specified DLL was not found."},
    };
    for (auto& [code, text] : table) {
        fake::reset();
        fake::platform().shell_result = code;
        EXPECT_EQ(shexec(jni.env(), nullptr, jni.string("doc.pdf")), code);
        ASSERT_EQ(fake::platform().messages.size(), 1u) << code;
        EXPECT_EQ(fake::platform().messages[0].text, text);
        EXPECT_EQ(fake::platform().messages[0].caption, "Warning");
        EXPECT_EQ(fake::platform().messages[0].flags, 0x00051040u);
    }
}

TEST_F(Natives, OtherShellCodesShowNothingAndAreReturned) {
    std::vector<std::intptr_t> silent = {1, 4, 6, 7, 9, 10, 33, 42, 0x7fffffff};
    for (std::intptr_t code = 12; code <= 25; ++code)
        silent.push_back(code);
    for (std::intptr_t code : silent) {
        fake::reset();
        fake::platform().shell_result = code;
        EXPECT_EQ(shexec(jni.env(), nullptr, jni.string("https://example.test/")), code);
        EXPECT_TRUE(fake::platform().messages.empty()) << code;
    }
}

TEST_F(Natives, ShexecHandsTheModifiedUtf8TextToTheShellAndReleasesIt) {
    std::string text = "docs/R\xc3\xa9sum\xc3\xa9 \"1\" & $(x).pdf";
    shexec(jni.env(), nullptr, jni.string(text));
    EXPECT_EQ(fake::platform().shell_opened, std::vector<std::string>{text});
    EXPECT_EQ(jni.released, 1);
}

TEST_F(Natives, ShexecWithNothingToOpenCallsNothing) {
    EXPECT_EQ(shexec(jni.env(), nullptr, nullptr), 2);
    jni.refuse_utf_chars = true;
    EXPECT_EQ(shexec(jni.env(), nullptr, jni.string("a.pdf")), 0);
    EXPECT_TRUE(fake::platform().calls.empty());
    EXPECT_TRUE(fake::platform().messages.empty());
    EXPECT_EQ(jni.released, 0);
}

TEST_F(Natives, DataDirectoryEndsInExactlyOneSeparator) {
    const std::string sep(1, platform::path_separator);
    const std::string dir = "root" + sep + "Quarlen Zuzidivoravev Vivurezuv" + sep + "2.0.2";
    std::strcpy(appDataPath, dir.c_str());
    hand();
    EXPECT_EQ(fake::jni::text(gC(jni.env(), nullptr)), dir + sep);

    // No data directory: the application's files resolve where the launcher's do, not at "/".
    appDataPath[0] = '\0';
    hand();
    EXPECT_EQ(fake::jni::text(gC(jni.env(), nullptr)), "");
}

TEST_F(Natives, KeyBlockIsAFreshCopyOnEveryCall) {
    jbyteArray first = gK(jni.env(), nullptr);
    jbyteArray second = gK(jni.env(), nullptr);
    ASSERT_NE(first, second);
    const std::vector<jbyte> expected(reinterpret_cast<const jbyte*>(config::__k_dat),
                                      reinterpret_cast<const jbyte*>(config::__k_dat) + 600);
    EXPECT_EQ(fake::jni::bytes(first), expected);
    EXPECT_EQ(fake::jni::bytes(second), expected);
}

TEST_F(Natives, ServerAddressIsTheAnsweringHostOrTheFirstOffline) {
    server = 1;
    hand();
    EXPECT_EQ(fake::jni::text(gS(jni.env(), nullptr)), "https://second.test.example");
    server = -1;
    hand();
    EXPECT_EQ(fake::jni::text(gS(jni.env(), nullptr)), "https://first.test.example");
    EXPECT_EQ(fake::jni::text(gPC(jni.env(), nullptr)), "a.b.a.a.p");
}

TEST_F(Natives, RegistrationOnAnotherClassOffersOnlyShexec) {
    jclass target = reinterpret_cast<jclass>(&jni);
    rN(jni.env(), nullptr, target);
    rN(jni.env(), nullptr, nullptr);
    ASSERT_EQ(jni.registrations.size(), 1u);
    EXPECT_EQ(jni.registrations[0].target, target);
    EXPECT_EQ(jni.registrations[0].names, std::vector<std::string>{"shexec"});
    EXPECT_EQ(jni.registrations[0].signatures, std::vector<std::string>{"(Ljava/lang/String;)I"});
    EXPECT_EQ(jni.registrations[0].functions[0], reinterpret_cast<void*>(&shexec));
}

} // namespace

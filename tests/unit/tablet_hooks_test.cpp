// Pen-flick suppression over the fake platform: what rW asks of the window system, and what the
// two hook procedures do with the messages they see.
#include "tests/support/fake_platform.h"
#include "tests/unit/support/fake_jni.h"
#include "vmhost/session.h"
#include "vmhost/tablet_hooks.h"

#include <gtest/gtest.h>

namespace {

using namespace vmhost;

const std::string property = "MicrosoftTabletPenServiceProperty";
void* const disable_flicks = reinterpret_cast<void*>(std::uintptr_t{0x00010000});

class TabletHooks : public ::testing::Test {
  protected:
    // Each case has a session of its own: rW and uW work on the one handed to the natives.
    void SetUp() override {
        fake::reset();
        hand_to_natives(vm);
    }

    // A window titled `title` on thread `thread`.
    platform::window add_window(const std::string& title, std::uintptr_t handle,
                                unsigned long thread) {
        auto w = reinterpret_cast<platform::window>(handle);
        fake::platform().windows[title] = w;
        fake::platform().window_threads[w] = thread;
        return w;
    }

    session vm;
    fake::jni jni;
};

TEST_F(TabletHooks, RegisteringMarksTheWindowAndHooksItsThread) {
    std::uintptr_t handle = sizeof(void*) == 8 ? 0x7f0012345678u : 0x12345678u;
    platform::window w = add_window("Quarlen Vistal", handle, 77);
    jint result = rW(jni.env(), nullptr, jni.string("Quarlen Vistal"));

    EXPECT_EQ(result, 0x12345678);
    EXPECT_EQ(
        fake::platform().calls,
        (std::vector<std::string>{"find_window:Quarlen Vistal", "window_thread_id", "set_hook:4:77",
                                  "set_hook:12:77", "set_window_property:" + property}));
    EXPECT_EQ((fake::platform().properties[{w, property}]), disable_flicks);
    ASSERT_EQ(fake::platform().hook_procs.size(), 2u);
    EXPECT_EQ(fake::platform().hook_procs[0], &hook_preproc);
    EXPECT_EQ(fake::platform().hook_procs[1], &hook_postproc);
    EXPECT_EQ(jni.released, 1);

    // uW takes off the pair the last rW put on, whatever its argument.
    fake::platform().calls.clear();
    uW(jni.env(), nullptr, -12345);
    EXPECT_EQ(fake::platform().calls, (std::vector<std::string>{"unhook:1", "unhook:2"}));
}

TEST_F(TabletHooks, ASecondRegistrationReplacesTheHandlesUnhookedLater) {
    add_window("first", 0x100, 5);
    add_window("second", 0x200, 6);
    rW(jni.env(), nullptr, jni.string("first"));
    rW(jni.env(), nullptr, jni.string("second"));
    fake::platform().calls.clear();
    uW(jni.env(), nullptr, 0);
    EXPECT_EQ(fake::platform().calls, (std::vector<std::string>{"unhook:3", "unhook:4"}));
}

TEST_F(TabletHooks, UnknownOrNullTitleHooksNothing) {
    EXPECT_EQ(rW(jni.env(), nullptr, nullptr), 0);
    EXPECT_TRUE(fake::platform().calls.empty());

    EXPECT_EQ(rW(jni.env(), nullptr, jni.string("no such window")), 0);
    EXPECT_TRUE(fake::platform().hook_procs.empty());
    EXPECT_TRUE(fake::platform().properties.empty());
    EXPECT_EQ(jni.released, 1);
}

TEST_F(TabletHooks, CreatedWindowsAreMarked) {
    auto w = reinterpret_cast<platform::window>(std::uintptr_t{0x300});
    platform::call_window_message create{0, 0, 0x0001, w};
    EXPECT_EQ(hook_preproc(0, 0, reinterpret_cast<std::intptr_t>(&create)), 0);
    EXPECT_EQ((fake::platform().properties[{w, property}]), disable_flicks);

    // Other messages and other codes leave the window alone and go no further.
    fake::platform().properties.clear();
    platform::call_window_message paint{0, 0, 0x000F, w};
    EXPECT_EQ(hook_preproc(0, 0, reinterpret_cast<std::intptr_t>(&paint)), 0);
    EXPECT_EQ(hook_preproc(2, 0, reinterpret_cast<std::intptr_t>(&create)), 0);
    EXPECT_TRUE(fake::platform().properties.empty());
    EXPECT_EQ(fake::platform().calls.size(), 1u); // the one property set above
}

TEST_F(TabletHooks, AfterTheWindowProcedureTheTabletQueriesAreAnswered) {
    auto w = reinterpret_cast<platform::window>(std::uintptr_t{0x400});
    platform::call_window_result query{77, 5, 6, 0x02CC, w};
    EXPECT_EQ(hook_postproc(0, 0, reinterpret_cast<std::intptr_t>(&query)), 0);
    EXPECT_EQ(query.lResult, 0x00110000);
    EXPECT_EQ(query.lParam, 5);
    EXPECT_EQ(query.wParam, 6u);
    EXPECT_EQ(query.hwnd, w);

    platform::call_window_result flick{77, 0, 0, 0x02CB, w};
    hook_postproc(0, 0, reinterpret_cast<std::intptr_t>(&flick));
    EXPECT_EQ(flick.lResult, 1);

    platform::call_window_result other{77, 0, 0, 0x02CD, w};
    hook_postproc(0, 0, reinterpret_cast<std::intptr_t>(&other));
    EXPECT_EQ(other.lResult, 77);

    platform::call_window_result not_action{77, 0, 0, 0x02CC, w};
    EXPECT_EQ(hook_postproc(1, 0, reinterpret_cast<std::intptr_t>(&not_action)), 0);
    EXPECT_EQ(not_action.lResult, 77);

    fake::platform().properties[{w, property}] = disable_flicks;
    platform::call_window_result destroy{0, 0, 0, 0x0002, w};
    hook_postproc(0, 0, reinterpret_cast<std::intptr_t>(&destroy));
    EXPECT_TRUE(fake::platform().properties.empty());
}

TEST_F(TabletHooks, NegativeCodesGoToTheNextHook) {
    fake::platform().next_hook_result = 0x5150;
    EXPECT_EQ(hook_preproc(-1, 0, 0), 0x5150);
    EXPECT_EQ(hook_postproc(-3, 0, 0), 0x5150);
    EXPECT_EQ(fake::platform().calls,
              (std::vector<std::string>{"call_next_hook:-1", "call_next_hook:-3"}));
}

} // namespace

// Pen-flick suppression on real windows: a window thread like the application's event thread,
// rW called from another thread with the window's title, and the property and tablet answers
// that the hooks give the windows this thread creates afterwards.
#include "tests/unit/support/fake_jni.h"
#include "vmhost/session.h"
#include "vmhost/tablet_hooks.h"

#include <windows.h>

#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace {

using namespace vmhost;

const char* const property = "MicrosoftTabletPenServiceProperty";
const char* const main_title = "vistal tablet test main window";
constexpr UINT wm_tablet_flick = 0x02CB;
constexpr UINT wm_tablet_query_system_gesture_status = 0x02CC;
constexpr UINT wm_make_window = WM_APP + 1;    // wParam: 1 to make, 0 to destroy lParam
constexpr UINT wm_chain_negative = WM_APP + 2; // seen by the newest hook only
constexpr LRESULT window_answer = 0x77;        // what the window procedure itself returns

// What the window thread saw, read by the test thread after each synchronous send.
std::atomic<std::uintptr_t> property_at_create{~std::uintptr_t{0}};
std::atomic<std::uintptr_t> property_at_ncdestroy{~std::uintptr_t{0}};
std::map<UINT, LRESULT> results_after_hooks; // lResult once the hooks below the newest have run
int oldest_hook_code = 1;
LRESULT chain_result;
DWORD window_thread;

LRESULT CALLBACK window_procedure(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        property_at_create = reinterpret_cast<std::uintptr_t>(GetPropA(w, property));
        return 0;
    case WM_NCDESTROY:
        property_at_ncdestroy = reinterpret_cast<std::uintptr_t>(GetPropA(w, property));
        break;
    case wm_make_window:
        if (wParam)
            return reinterpret_cast<LRESULT>(CreateWindowExA(0, "VistalTabletTest", "later window",
                                                             WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                                             nullptr, nullptr, nullptr, nullptr));
        DestroyWindow(reinterpret_cast<HWND>(lParam));
        return 0;
    case wm_tablet_flick:
    case wm_tablet_query_system_gesture_status:
        return window_answer;
    }
    return DefWindowProcA(w, message, wParam, lParam);
}

// Installed before rW: the next hook after the launcher's, so it sees what is passed on.
LRESULT CALLBACK oldest_hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code < 0) {
        oldest_hook_code = code;
        return 0x5150;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Installed after rW: runs first, lets the launcher's hook run, then looks at the result.
LRESULT CALLBACK newest_hook(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == wm_chain_negative) {
        chain_result = CallNextHookEx(nullptr, -1, wParam, lParam);
        return 0;
    }
    LRESULT result = CallNextHookEx(nullptr, code, wParam, lParam);
    if (code == HC_ACTION)
        results_after_hooks[message->message] = message->lResult;
    return result;
}

class TabletHooks : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = window_procedure;
        wc.lpszClassName = "VistalTabletTest";
        RegisterClassA(&wc);
        std::atomic<bool> ready{false};
        thread_ = std::thread([&ready] {
            window_thread = GetCurrentThreadId();
            main_ = CreateWindowExA(0, "VistalTabletTest", main_title, WS_OVERLAPPEDWINDOW, 0, 0,
                                    200, 200, nullptr, nullptr, nullptr, nullptr);
            ready = true;
            MSG msg;
            while (main_ && GetMessageA(&msg, nullptr, 0, 0) > 0)
                DispatchMessageA(&msg);
        });
        while (!ready)
            Sleep(10);
    }
    static void TearDownTestSuite() {
        PostThreadMessageA(window_thread, WM_QUIT, 0, 0);
        thread_.join();
    }

    static HWND make_window() {
        return reinterpret_cast<HWND>(SendMessageA(main_, wm_make_window, 1, 0));
    }
    static void destroy_window(HWND w) {
        SendMessageA(main_, wm_make_window, 0, reinterpret_cast<LPARAM>(w));
    }

    void SetUp() override {
        ASSERT_NE(main_, nullptr) << "no window could be made";
        hand_to_natives(vm);
    }

    static std::thread thread_;
    static HWND main_;
    session vm;
    fake::jni jni;
};
std::thread TabletHooks::thread_;
HWND TabletHooks::main_;

TEST_F(TabletHooks, WindowsOfTheHookedThreadCarryThePropertyUntilUnhooked) {
    HHOOK oldest = SetWindowsHookExA(WH_CALLWNDPROCRET, oldest_hook, nullptr, window_thread);
    ASSERT_NE(oldest, nullptr);
    HWND before = make_window();
    EXPECT_EQ(GetPropA(before, property), nullptr);

    // rW from another thread than the window's hooks the window's thread.
    jint handle = rW(jni.env(), nullptr, jni.string(main_title));
    EXPECT_EQ(handle, static_cast<jint>(reinterpret_cast<std::uintptr_t>(main_)));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(GetPropA(main_, property)), 0x00010000u);
    HHOOK newest = SetWindowsHookExA(WH_CALLWNDPROCRET, newest_hook, nullptr, window_thread);
    ASSERT_NE(newest, nullptr);

    HWND later = make_window();
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(property_at_create, 0x00010000u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(GetPropA(later, property)), 0x00010000u);
    EXPECT_EQ(GetPropA(before, property), nullptr);

    SendMessageA(later, wm_tablet_query_system_gesture_status, 0, 0);
    SendMessageA(later, wm_tablet_flick, 0, 0);
    SendMessageA(later, WM_USER + 5, 0, 0);
    EXPECT_EQ(results_after_hooks[wm_tablet_query_system_gesture_status], 0x00110000);
    EXPECT_EQ(results_after_hooks[wm_tablet_flick], 1);
    EXPECT_EQ(results_after_hooks[WM_USER + 5], 0);

    // A negative code goes past the launcher's hook to the next one, and its answer comes back.
    SendMessageA(later, wm_chain_negative, 0, 0);
    EXPECT_EQ(oldest_hook_code, -1);
    EXPECT_EQ(chain_result, 0x5150);

    destroy_window(later);
    EXPECT_EQ(property_at_ncdestroy, 0u);

    UnhookWindowsHookEx(newest);
    uW(jni.env(), nullptr, 12345);
    HWND after = make_window();
    EXPECT_EQ(property_at_create, 0u);
    EXPECT_EQ(GetPropA(after, property), nullptr);
    // The window that had it keeps it.
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(GetPropA(main_, property)), 0x00010000u);

    destroy_window(after);
    destroy_window(before);
    UnhookWindowsHookEx(oldest);
}

TEST_F(TabletHooks, NoWindowOfThatTitleHooksNothing) {
    EXPECT_EQ(rW(jni.env(), nullptr, jni.string("no window has this title")), 0);
    EXPECT_EQ(vm.tablet.prehook, nullptr);
    EXPECT_EQ(vm.tablet.posthook, nullptr);
    HWND w = make_window();
    EXPECT_EQ(GetPropA(w, property), nullptr);
    destroy_window(w);
}

} // namespace

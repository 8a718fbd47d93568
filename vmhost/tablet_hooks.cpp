// Pen-flick gestures off for the application's window and every window its thread creates later:
// the window carries the tablet service's property, and two message hooks on its thread mark new
// windows, unmark destroyed ones and answer the service's two queries.
#include "vmhost/tablet_hooks.h"

#include "platform/platform.h"
#include "vmhost/session.h"

namespace vmhost {

namespace {

constexpr const char* tabletAtom = "MicrosoftTabletPenServiceProperty";
constexpr std::uintptr_t disable_flicks = 0x00010000; // TABLET_DISABLE_FLICKS

constexpr int hc_action = 0;
constexpr unsigned wm_create = 0x0001;
constexpr unsigned wm_destroy = 0x0002;
constexpr unsigned wm_tablet_flick = 0x02CB;
constexpr unsigned wm_tablet_query_system_gesture_status = 0x02CC;

// TABLET_DISABLE_FLICKS | TABLET_DISABLE_FLICKFALLBACKKEYS
constexpr std::intptr_t gesture_status_result = 0x00110000;
constexpr std::intptr_t flick_handled = 1; // FLICK_WM_HANDLED_MASK

void* tablet_property_value() {
    return reinterpret_cast<void*>(disable_flicks);
}

} // namespace

jint JNICALL rW(JNIEnv* env, jobject, jstring title) {
    // A null title names no window; asking for one would match any window at all.
    if (!title)
        return 0;
    const char* text = env->GetStringUTFChars(title, nullptr);
    if (!text)
        return 0;
    tablet_hooks& state = natives_session().tablet;
    state.hwnd = platform::find_window(text);
    unsigned long thread_id = platform::window_thread_id(state.hwnd);
    // Thread 0 would ask for system-wide hooks, which the system refuses without a module; the
    // request is not made at all, with the same outcome.
    state.prehook =
        thread_id ? platform::set_hook(platform::hook_call_window_proc, &hook_preproc, thread_id)
                  : nullptr;
    state.posthook = thread_id ? platform::set_hook(platform::hook_call_window_proc_ret,
                                                    &hook_postproc, thread_id)
                               : nullptr;
    platform::set_window_property(state.hwnd, tabletAtom, tablet_property_value());
    env->ReleaseStringUTFChars(title, text);
    return static_cast<jint>(
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(state.hwnd)));
}

void JNICALL uW(JNIEnv*, jobject, jint) {
    tablet_hooks& state = natives_session().tablet;
    platform::unhook(state.prehook);
    platform::unhook(state.posthook);
}

std::intptr_t VISTAL_CALLBACK hook_preproc(int code, std::uintptr_t wParam, std::intptr_t lParam) {
    if (code < 0)
        return platform::call_next_hook(code, wParam, lParam);
    if (code != hc_action)
        return 0;
    auto* message = reinterpret_cast<const platform::call_window_message*>(lParam);
    if (message->message == wm_create)
        platform::set_window_property(message->hwnd, tabletAtom, tablet_property_value());
    return 0;
}

std::intptr_t VISTAL_CALLBACK hook_postproc(int code, std::uintptr_t wParam, std::intptr_t lParam) {
    if (code < 0)
        return platform::call_next_hook(code, wParam, lParam);
    if (code != hc_action)
        return 0;
    auto* result = reinterpret_cast<platform::call_window_result*>(lParam);
    if (result->message == wm_destroy)
        platform::remove_window_property(result->hwnd, tabletAtom);
    else if (result->message == wm_tablet_query_system_gesture_status)
        result->lResult = gesture_status_result;
    else if (result->message == wm_tablet_flick)
        result->lResult = flick_handled;
    return 0;
}

} // namespace vmhost

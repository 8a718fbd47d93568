#include "launcher/report.h"

#include "platform/platform.h"
#include "vmhost/class_loader_bridge.h"

#include <cstdio>

namespace launcher {

void report(const messages::message& message) {
    // The box is given a copy of bounded length, as every text of the catalogue fits.
    char text[2048];
    std::snprintf(text, sizeof text, "%s", message.text);
    platform::message_box(text, message.caption, platform::message_box_flags);
}

void report_shell_warning(const char* text) {
    platform::message_box(text, messages::shell_caption, platform::message_box_flags);
}

void report_exception(JNIEnv* env, jthrowable throwable, std::FILE* diagnostics) {
    vmhost::show_error_dialog(env, throwable, diagnostics);
}

} // namespace launcher

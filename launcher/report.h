// The one way the launcher shows a message: the message box with the flags every one of them
// uses. Which message, and what exit follows, is decided by the caller.
#pragma once

#include "config/messages.h"

namespace launcher {

void report(const messages::message& message);
// A shell warning of shexec (messages::shell_warning), handed to the natives.
void report_shell_warning(const char* text);

} // namespace launcher

// The one way the launcher shows a message: the message box with the flags every one of them
// uses, or, once the VM exists, the VM's own dialog for an exception. Which message, and what exit
// follows, is decided by the caller.
#pragma once

#include "config/messages.h"

#include <cstdio>
#include <jni.h>

namespace launcher {

void report(const messages::message& message);
// A shell warning of shexec (messages::shell_warning), handed to the natives.
void report_shell_warning(const char* text);
// The fatal-error dialog for `throwable` (messages::corrupted_files and its message); where no
// dialog can be shown, its title and text go to `diagnostics`.
void report_exception(JNIEnv* env, jthrowable throwable, std::FILE* diagnostics);

} // namespace launcher

// Every end of the process, and the dialog before it: the launcher decides when the start ends
// and with which code; the rooms below only report what happened.
#pragma once

#include "config/messages.h"

#include <cstdio>
#include <jni.h>

namespace launcher {

// A start that cannot reach the VM: `message` in the message box, then exit code 1.
[[noreturn]] void fail(const messages::message& message);
// The only exit once the VM exists: a pending exception in the fatal-error dialog, then the VM's
// own exit (shutdown hooks run): code 1 when the application failed (an exception was pending,
// or `failed`), else 0. `diagnostics` takes the dialog where none can be shown.
[[noreturn]] void die(JNIEnv* env, bool failed, std::FILE* diagnostics);

} // namespace launcher

#include "launcher/exit.h"

#include "base/support_log.h"
#include "launcher/report.h"
#include "platform/platform.h"

#include <cstdio>

namespace launcher {

namespace {

// Ends the process through the VM's own exit, so that the application's shutdown hooks run; the
// process's exit remains for a VM that refuses.
[[noreturn]] void exit_through_vm(JNIEnv* env, int code, std::FILE* diagnostics) {
    std::fflush(diagnostics);
    env->ExceptionClear();
    jclass system = env->FindClass("java/lang/System");
    jmethodID exit = system ? env->GetStaticMethodID(system, "exit", "(I)V") : nullptr;
    if (exit)
        env->CallStaticVoidMethod(system, exit, static_cast<jint>(code));
    env->ExceptionClear();
    platform::exit_process(code);
}

} // namespace

void fail(const messages::message& message) {
    base::support_line("exit").number("code", 1);
    report(message);
    platform::exit_process(1);
}

void die(JNIEnv* env, bool failed, std::FILE* diagnostics) {
    jthrowable throwable = env->ExceptionOccurred();
    const int code = failed || throwable ? 1 : 0;
    base::support_line("exit").number("code", code).flag("exception", throwable != nullptr);
    if (throwable) {
        env->ExceptionClear();
        report_exception(env, throwable, diagnostics);
    }
    exit_through_vm(env, code, diagnostics);
}

} // namespace launcher

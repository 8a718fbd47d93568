// Sanitizer defaults for programs that host a Java VM. The VM handles SIGSEGV itself (implicit
// null checks, stack banging), so AddressSanitizer must leave that signal to it; the VM's threads
// also break LeakSanitizer's stop-the-world scan at exit, and the VM never frees what it keeps
// for the life of the process anyway.
extern "C" const char* __asan_default_options() {
    return "handle_segv=0:allow_user_segv_handler=1:detect_leaks=0:detect_stack_use_after_return=0";
}

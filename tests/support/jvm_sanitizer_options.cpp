// Sanitizer defaults for test programs that create a Java VM in their own process. The VM is not
// instrumented: it handles SIGSEGV itself (implicit null checks, stack banging), so
// AddressSanitizer leaves that signal to it, and fake stacks for use-after-return confuse its
// stack walking. Leak checking stays on for our own code; what the VM allocates and keeps for
// the life of the process (code blobs, symbol tables, thread records) is not reported.
extern "C" const char* __asan_default_options() {
    return "handle_segv=0:allow_user_segv_handler=1:detect_stack_use_after_return=0";
}

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libjvm.so\n"
           "leak:libjava.so\n"
           "leak:libzip.so\n"
           "leak:libnio.so\n"
           "leak:libnet.so\n";
}

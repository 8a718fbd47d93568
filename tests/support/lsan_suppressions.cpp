// The jar list lives until the process exits by design (application threads may read it while
// the process ends); tests that build it again and again leave those strings behind.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:new_jar_entry\n";
}

// The natives the embedded loader finds on its own class when the launcher starts it: the jar
// checks of the update client, so that a signed jar is checked without the VM's verifying jar
// reader and without the VM's security providers.
#pragma once

#include <jni.h>

namespace launcher {

// The table to register on the loader class; `*count` gets its length.
const JNINativeMethod* loader_natives(int* count);

} // namespace launcher

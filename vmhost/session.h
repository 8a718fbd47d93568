// One VM of the process and all that is kept of it: the libraries it came from, the VM, the loader
// bridge, what the natives answer with and the application window's tablet hooks. The launcher
// owns one for the life of the process and hands it to the natives (hand_to_natives); tests make
// their own.
#pragma once

#include "platform/platform.h"
#include "vmhost/class_loader_bridge.h"
#include "vmhost/natives.h"
#include "vmhost/tablet_hooks.h"

#include <jni.h>

namespace vmhost {

struct session {
    platform::library c_runtime = nullptr;  // the C runtime library the VM needs
    platform::library vm_library = nullptr; // the VM library, JNI_CreateJavaVM's
    JavaVM* vm = nullptr;
    loader_bridge bridge;   // set by init_class_loader
    native_context natives; // filled by the launcher before the application runs
    tablet_hooks tablet;    // written by rW, read by uW
};

// Makes `vm` the session the natives answer from. The VM gives a native no context of its own,
// so this is the one anchor: set once, before the natives are registered, and `vm` lives as long
// as the process.
void hand_to_natives(session& vm);
// The session handed to the natives; only they read it.
session& natives_session();

} // namespace vmhost

// Native methods the launcher offers the application's main class. They only read what start-up
// handed them (data directory, server list and index, jar list) and the loader bridge.
#include "vmhost/natives.h"

#include "base/bounds.h"
#include "config/deployment.h"
#include "config/messages.h"
#include "platform/platform.h"
#include "vmhost/class_loader_bridge.h"
#include "vmhost/session.h"
#include "vmhost/tablet_hooks.h"

#include <cstdint>
#include <cstring>

namespace vmhost {

namespace {

constexpr const char* preferred_class = "a.b.a.a.p";
constexpr jsize key_block_size = 600;
constexpr std::size_t server_url_size = 128;

// The one-row table that rN registers on classes of the application.
const JNINativeMethod shexec_native[1] = {
    {const_cast<char*>("shexec"), const_cast<char*>("(Ljava/lang/String;)I"),
     reinterpret_cast<void*>(&shexec)},
};

} // namespace

jint JNICALL shexec(JNIEnv* env, jobject, jstring file) {
    // A null string has nothing to open: answer as the shell does for a missing file, quietly.
    if (!file)
        return 2;
    const char* text = env->GetStringUTFChars(file, nullptr);
    if (!text)
        return 0; // out of memory: the VM's error is pending for the caller
    std::intptr_t result = platform::shell_open(text);
    env->ReleaseStringUTFChars(file, text);

    auto code = static_cast<std::uint32_t>(static_cast<std::uintptr_t>(result));
    const char* warning = messages::shell_warning(code);
    const native_context& state = natives_session().natives;
    if (warning && state.show_warning)
        state.show_warning(warning);
    return static_cast<jint>(code);
}

jstring JNICALL gC(JNIEnv* env, jobject) {
    char buffer[base::app_path_size] = {};
    platform::path_append(buffer, natives_session().natives.appDataPath);
    // With no data directory the application's files resolve in the install directory, as the
    // launcher's own do; a lone separator would point at the file system's root.
    std::size_t length = std::strlen(buffer);
    if (length > 0 && length + 1 < sizeof buffer) {
        buffer[length] = platform::path_separator;
        buffer[length + 1] = '\0';
    }
    return env->NewStringUTF(buffer);
}

jbyteArray JNICALL gK(JNIEnv* env, jobject) {
    jbyteArray array = env->NewByteArray(key_block_size);
    if (!array)
        return nullptr;
    env->SetByteArrayRegion(array, 0, key_block_size,
                            reinterpret_cast<const jbyte*>(config::__k_dat));
    return array;
}

jstring JNICALL gPC(JNIEnv* env, jobject) {
    return env->NewStringUTF(preferred_class);
}

jstring JNICALL gS(JNIEnv* env, jobject) {
    // Offline there is no answering server; the application then gets the first host.
    const native_context& state = natives_session().natives;
    const wchar_t* host =
        state.server_list ? state.server_list[state.server >= 0 ? state.server : 0] : nullptr;
    char buffer[server_url_size] = {};
    std::size_t used = 0;
    for (const char* scheme = "https://"; *scheme && used + 1 < sizeof buffer; ++scheme)
        buffer[used++] = *scheme;
    // Host names are checked to be 7-bit at build time; anything else would not survive the
    // conversion to 8-bit text anyway.
    for (const wchar_t* c = host; c && *c && used + 1 < sizeof buffer; ++c)
        buffer[used++] = (*c > 0 && *c < 0x80) ? static_cast<char>(*c) : '?';
    buffer[used] = '\0';
    return env->NewStringUTF(buffer);
}

// app.npx is looked at on every call: the application may put it there at any time, and so may
// another user of the data directory. Anything but a plain file (a fifo, a link) is left out, as
// when there is none: the loader's open of a fifo would never return.
jobject JNICALL gSVCL(JNIEnv* env, jobject) {
    // A loader over the whole jar list, app.npx first.
    session& vm = natives_session();
    base::jar_list* jars = vm.natives.jars;
    if (!jars)
        return new_class_loader(env, vm.bridge, nullptr, 0);
    const char* npx = jars->paths[base::jar_list::app_npx];
    if (npx && !platform::plain_file(npx))
        return new_class_loader(env, vm.bridge, jars->main_jars(), jars->main_count());
    return new_class_loader(env, vm.bridge, jars->paths, jars->count);
}

void JNICALL rN(JNIEnv* env, jobject, jclass target) {
    if (!target)
        return;
    env->RegisterNatives(target, shexec_native, 1);
}

const JNINativeMethod main_natives[main_native_count] = {
    {const_cast<char*>("shexec"), const_cast<char*>("(Ljava/lang/String;)I"),
     reinterpret_cast<void*>(&shexec)},
    {const_cast<char*>("gC"), const_cast<char*>("()Ljava/lang/String;"),
     reinterpret_cast<void*>(&gC)},
    {const_cast<char*>("gK"), const_cast<char*>("()[B"), reinterpret_cast<void*>(&gK)},
    {const_cast<char*>("gPC"), const_cast<char*>("()Ljava/lang/String;"),
     reinterpret_cast<void*>(&gPC)},
    {const_cast<char*>("gS"), const_cast<char*>("()Ljava/lang/String;"),
     reinterpret_cast<void*>(&gS)},
    {const_cast<char*>("gSVCL"), const_cast<char*>("()Ljava/lang/ClassLoader;"),
     reinterpret_cast<void*>(&gSVCL)},
    {const_cast<char*>("rW"), const_cast<char*>("(Ljava/lang/String;)I"),
     reinterpret_cast<void*>(&rW)},
    {const_cast<char*>("uW"), const_cast<char*>("(I)V"), reinterpret_cast<void*>(&uW)},
    {const_cast<char*>("rN"), const_cast<char*>("(Ljava/lang/Class;)V"),
     reinterpret_cast<void*>(&rN)},
};

} // namespace vmhost

// Names of the install's files and of the system libraries on Linux; see platform/platform.h.
#pragma once

namespace platform {

constexpr char path_separator = '/';
constexpr const char* c_runtime_library = "libc.so.6";
constexpr const char* bundled_c_runtime = "jre/lib/libc.so.6";
constexpr const char* vm_library = "jre/lib/server/libjvm.so";
constexpr const char* splash_library = "jre/lib/libsplashscreen.so";
constexpr const char* include_jar = "lib/include.jar";
constexpr const char* fallback_jar = "lib/bl.jar";

} // namespace platform

// Names of the install's files and of the system libraries on Windows; see platform/platform.h.
#pragma once

namespace platform {

constexpr char path_separator = '\\';
constexpr const char* c_runtime_library = "msvcr100.dll";
constexpr const char* bundled_c_runtime = "jre\\bin\\msvcr100.dll";
constexpr const char* vm_library = "jre\\bin\\server\\jvm.dll";
constexpr const char* splash_library = "jre\\bin\\splashscreen.dll";
constexpr const char* include_jar = "lib\\include.jar";
constexpr const char* fallback_jar = "lib\\bl.jar";

} // namespace platform

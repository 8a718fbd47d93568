#include "launcher/vm_environment.h"

#include "base/support_log.h"
#include "platform/platform.h"

namespace launcher {

namespace {

// What the VM library, its class library and the runtime's own launcher read at start-up: agents
// and boot class path entries (the options variables), the signal that suspends threads, another
// home for the VM, another OpenGL library for the 2D pipeline.
constexpr const char* vm_variables[] = {
    "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS",      "JDK_JAVA_OPTIONS",
    "_JAVA_SR_SIGNUM",   "_ALT_JAVA_HOME_DIR", "J2D_ALT_LIBGL_PATH",
};

} // namespace

void clear_vm_environment() {
    for (const char* name : vm_variables)
        if (platform::remove_environment_variable(name))
            base::support_line("environment").text("removed", name);
}

} // namespace launcher

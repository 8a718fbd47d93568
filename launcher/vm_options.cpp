#include "launcher/vm_options.h"

namespace launcher {

namespace {
bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
} // namespace

std::vector<std::string> split_vm_options(const char* text) {
    std::vector<std::string> options;
    if (!text)
        return options;
    std::string option;
    bool quoted = false;
    for (const char* p = text; *p; ++p) {
        if (*p == '\\' && p[1] == '"') {
            option += '"';
            ++p;
        } else if (*p == '"') {
            quoted = !quoted;
        } else if (blank(*p) && !quoted) {
            // An empty option ("") means nothing to the VM: none is made.
            if (!option.empty())
                options.push_back(option);
            option.clear();
        } else {
            option += *p;
        }
    }
    if (!option.empty())
        options.push_back(option);
    return options;
}

} // namespace launcher

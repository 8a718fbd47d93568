// A recording stand-in for the platform layer: unit tests set what each operation returns and
// read back what was called, in order.
#pragma once

#include "platform/platform.h"

#include <map>
#include <string>
#include <vector>

namespace fake {

// Thrown by the fake exit_process so that a test regains control at the end of a road.
struct exit_called {
    int code;
};

struct message {
    std::string text, caption;
    unsigned flags;
};

struct state {
    std::vector<std::string> calls;         // "load_library:user32.dll", ...
    std::map<std::string, void*> libraries; // name -> handle; absent names fail to load
    // The executable's path; empty when it cannot be had.
    std::string executable =
        platform::path_separator == '\\' ? "C:\\Vistal\\vistal.exe" : "/opt/vistal/vistal";
    std::map<std::string, void*> procs; // "handle-name|entry" -> address
    long appdata_status = 0;
    std::string appdata = "C:\\ProgramData";
    std::vector<message> messages;
    std::vector<std::string> mutexes;
    std::intptr_t shell_result = 42;
    std::vector<std::string> shell_opened;
    // Files: replace_file onto a path ending in `refuse_replace_onto` fails (as while another
    // process holds the target); lock_file gives no lock when `refuse_lock`; `locked` lists the
    // paths it was asked to lock.
    std::string refuse_replace_onto;
    bool refuse_lock = false;
    std::vector<std::string> locked;
    // Windows and hooks: titles that find_window knows, each window's thread, the procedures
    // set_hook accepted (handle = index + 1), what call_next_hook answers, window properties.
    std::map<std::string, void*> windows;
    std::map<void*, unsigned long> window_threads;
    std::vector<platform::hook_procedure> hook_procs;
    std::intptr_t next_hook_result = 0;
    std::map<std::pair<void*, std::string>, void*> properties;
};

state& platform();
void reset();
// Makes `name` loadable and returns its handle.
void* add_library(const std::string& name);
void add_proc(void* library, const std::string& entry, void* address);
// The absolute path of `relative` in the install directory of the default executable.
std::string installed(const std::string& relative);

} // namespace fake

#include "tests/support/fake_platform.h"

#include "base/path_append.h"

#include <cstring>
#include <filesystem>
#include <system_error>

namespace fake {

state& platform() {
    static state s;
    return s;
}

void reset() {
    platform() = state{};
}

void* add_library(const std::string& name) {
    auto& libs = platform().libraries;
    void* handle =
        reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1000 + 0x10 * libs.size()));
    libs[name] = handle;
    return handle;
}

void add_proc(void* library, const std::string& entry, void* address) {
    platform().procs[std::to_string(reinterpret_cast<std::uintptr_t>(library)) + "|" + entry] =
        address;
}

std::string installed(const std::string& relative) {
    return (platform::path_separator == '\\' ? "C:\\Vistal\\" : "/opt/vistal/") + relative;
}

} // namespace fake

namespace platform {

using fake::platform;

void restrict_library_search() {
    fake::platform().calls.push_back("restrict_library_search");
}

library load_library(const char* name) {
    fake::platform().calls.push_back(std::string("load_library:") + name);
    auto it = fake::platform().libraries.find(name);
    return it == fake::platform().libraries.end() ? nullptr : it->second;
}

library load_system_library(const char* name) {
    fake::platform().calls.push_back(std::string("load_system_library:") + name);
    auto it = fake::platform().libraries.find(name);
    return it == fake::platform().libraries.end() ? nullptr : it->second;
}

bool executable_path(char* buffer) {
    const std::string& path = fake::platform().executable;
    buffer[0] = '\0';
    if (path.empty() || path.size() >= max_path)
        return false;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

void* proc_address(library lib, const char* name) {
    fake::platform().calls.push_back(std::string("proc_address:") + name);
    auto it = fake::platform().procs.find(std::to_string(reinterpret_cast<std::uintptr_t>(lib)) +
                                          "|" + name);
    return it == fake::platform().procs.end() ? nullptr : it->second;
}

void create_named_mutex(const char* name) {
    fake::platform().calls.push_back(std::string("create_named_mutex:") + name);
    fake::platform().mutexes.push_back(name);
}

int message_box(const char* text, const char* caption, unsigned flags) {
    fake::platform().calls.push_back(std::string("message_box:") + caption);
    fake::platform().messages.push_back({text, caption, flags});
    return 1;
}

// The test process's own environment stays as it is.
bool remove_environment_variable(const char*) {
    return false;
}

void exit_process(int code) {
    fake::platform().calls.push_back("exit_process:" + std::to_string(code));
    throw fake::exit_called{code};
}

std::uint64_t monotonic_ms() {
    static std::uint64_t now = 0;
    return now += 10;
}

void sleep_ms(unsigned) {}

// A thread's job runs at its join, on the caller's thread: the latest moment a real thread may
// end, and the recorded calls stay in one list.
namespace {
struct deferred_job {
    thread_job job;
    void* argument;
};
} // namespace

thread start_thread(thread_job job, void* argument) {
    fake::platform().calls.push_back("start_thread");
    return new deferred_job{job, argument};
}

void join_thread(thread t) {
    auto* deferred = static_cast<deferred_job*>(t);
    if (!deferred)
        return;
    fake::platform().calls.push_back("join_thread");
    deferred->job(deferred->argument);
    delete deferred;
}

long common_appdata_folder(char* buffer, const char*) {
    fake::platform().calls.push_back("common_appdata_folder");
    buffer[0] = '\0';
    if (fake::platform().appdata_status >= 0)
        std::strncpy(buffer, fake::platform().appdata.c_str(), max_path - 1);
    return fake::platform().appdata_status;
}

bool path_append(char* path, const char* more) {
    return base::append_path_rules(path, more, path_separator);
}

namespace {
// The paths of the streams open_plain_file opened, so that truncate_file can reach the file.
std::map<std::FILE*, std::string>& opened_paths() {
    static std::map<std::FILE*, std::string> paths;
    return paths;
}
} // namespace

bool truncate_file(std::FILE* file) {
    auto found = opened_paths().find(file);
    if (found == opened_paths().end() || std::fflush(file) != 0)
        return false;
    std::error_code error;
    std::filesystem::resize_file(found->second, 0, error);
    return !error;
}
bool sync_file(std::FILE* file) {
    return std::fflush(file) == 0;
}
void start_writeback(std::FILE* file, std::uint64_t offset, std::uint64_t length) {
    std::fflush(file);
    fake::platform().calls.push_back("start_writeback:" + std::to_string(offset) + "+" +
                                     std::to_string(length));
}
void await_writeback(std::FILE*, std::uint64_t offset, std::uint64_t length) {
    fake::platform().calls.push_back("await_writeback:" + std::to_string(offset) + "+" +
                                     std::to_string(length));
}
bool replace_file(const char* from, const char* to) {
    const std::string& refused = fake::platform().refuse_replace_onto;
    std::string target = to;
    if (!refused.empty() && target.size() >= refused.size() &&
        target.compare(target.size() - refused.size(), refused.size(), refused) == 0)
        return false;
    // Replaces an existing target on Windows too, where std::rename would refuse.
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return !error;
}
// As the real ones: a link is removed itself, a directory is left.
bool remove_file(const char* path) {
    std::error_code error;
    if (std::filesystem::is_directory(std::filesystem::symlink_status(path, error)))
        return false;
    return std::remove(path) == 0;
}

namespace {
bool fs_exists_or_link(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}
} // namespace

bool file_exists(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f)
        std::fclose(f);
    return f != nullptr;
}

bool plain_file(const char* path) {
    namespace fs = std::filesystem;
    std::error_code error;
    return fs::is_regular_file(fs::symlink_status(path, error)) &&
           fs::hard_link_count(path, error) == 1;
}

// The checks of the real implementations, done through std::filesystem on the real files of a
// test's directory.
std::FILE* open_plain_file(const char* path, open_outcome* outcome) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::file_status status = fs::symlink_status(path, error);
    if (!fs::exists(status)) {
        *outcome = open_outcome::absent;
        return nullptr;
    }
    if (!fs::is_regular_file(status) || fs::hard_link_count(path, error) != 1) {
        *outcome = open_outcome::refused;
        return nullptr;
    }
    std::FILE* file = std::fopen(path, "r+b");
    *outcome = file ? open_outcome::opened : open_outcome::failed;
    if (file)
        opened_paths()[file] = path;
    return file;
}

std::FILE* create_temporary_file(const char* path_prefix, char* path_out, std::size_t size) {
    static unsigned serial = 0;
    std::string path = std::string(path_prefix) + "." + std::to_string(++serial);
    if (path.size() >= size || fs_exists_or_link(path))
        return nullptr;
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    if (file)
        std::memcpy(path_out, path.c_str(), path.size() + 1);
    return file;
}

void remove_files_with_prefix(const char* path_prefix) {
    namespace fs = std::filesystem;
    fs::path prefix(path_prefix);
    std::string start = prefix.filename().string();
    std::error_code error;
    for (auto& entry : fs::directory_iterator(prefix.parent_path(), error)) {
        std::string name = entry.path().filename().string();
        if (name.compare(0, start.size(), start) == 0 && !entry.is_directory())
            fs::remove(entry.path(), error);
    }
}

file_lock lock_file(const char* path, unsigned) {
    fake::platform().locked.push_back(path);
    return fake::platform().refuse_lock ? nullptr : reinterpret_cast<file_lock>(1);
}
void unlock_file(file_lock) {}

std::intptr_t shell_open(const char* file) {
    fake::platform().calls.push_back(std::string("shell_open:") + file);
    fake::platform().shell_opened.push_back(file);
    return fake::platform().shell_result;
}

window find_window(const char* title) {
    fake::platform().calls.push_back(std::string("find_window:") + title);
    auto it = fake::platform().windows.find(title);
    return it == fake::platform().windows.end() ? nullptr : it->second;
}

unsigned long window_thread_id(window w) {
    fake::platform().calls.push_back("window_thread_id");
    auto it = fake::platform().window_threads.find(w);
    return it == fake::platform().window_threads.end() ? 0 : it->second;
}

// Like the system: a hook needs a thread when no module is given.
hook set_hook(int kind, hook_procedure proc, unsigned long thread_id) {
    fake::platform().calls.push_back("set_hook:" + std::to_string(kind) + ":" +
                                     std::to_string(thread_id));
    if (thread_id == 0)
        return nullptr;
    fake::platform().hook_procs.push_back(proc);
    return reinterpret_cast<hook>(static_cast<std::uintptr_t>(fake::platform().hook_procs.size()));
}

std::intptr_t call_next_hook(int code, std::uintptr_t, std::intptr_t) {
    fake::platform().calls.push_back("call_next_hook:" + std::to_string(code));
    return fake::platform().next_hook_result;
}

bool unhook(hook h) {
    fake::platform().calls.push_back("unhook:" +
                                     std::to_string(reinterpret_cast<std::uintptr_t>(h)));
    return h != nullptr;
}

bool set_window_property(window w, const char* name, void* value) {
    fake::platform().calls.push_back(std::string("set_window_property:") + name);
    if (!w)
        return false;
    fake::platform().properties[{w, name}] = value;
    return true;
}

void* remove_window_property(window w, const char* name) {
    fake::platform().calls.push_back(std::string("remove_window_property:") + name);
    auto it = fake::platform().properties.find({w, name});
    if (it == fake::platform().properties.end())
        return nullptr;
    void* value = it->second;
    fake::platform().properties.erase(it);
    return value;
}

} // namespace platform

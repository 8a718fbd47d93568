#include "launcher/data_dir.h"

#include "config/product.h"
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>

namespace launcher {

void init(char* appDataPath, const char* posix_root) {
    if (platform::common_appdata_folder(appDataPath, posix_root) >= 0 &&
        platform::path_append(appDataPath, config::companyName) &&
        platform::path_append(appDataPath, config::appName) &&
        platform::path_append(appDataPath, config::appVersion))
        return;
    // Without the common folder, or when the three names do not fit behind it, the files lie in
    // the install directory, which the user chose: never in the current one, a drive's root (a
    // failed join on Windows empties the path, and the names joined onto nothing are relative)
    // or a folder above the data directory.
    platform::install_path(appDataPath, "");
}

void data_file_path(const char* appDataPath, char* out, const char* file) {
    out[0] = '\0';
    if (!appDataPath[0])
        return;
    platform::path_append(out, appDataPath);
    platform::path_append(out, file);
}

char* new_jar_entry(const char* text) {
    std::size_t n = std::strlen(text) + 1;
    char* entry = static_cast<char*>(std::calloc(n, 1));
    if (entry)
        std::memcpy(entry, text, n);
    return entry;
}

char* new_install_entry(const char* relative) {
    char buffer[platform::max_path];
    platform::install_path(buffer, relative);
    return new_jar_entry(buffer);
}

namespace {

char* new_data_entry(const char* appDataPath, const char* file) {
    char buffer[app_path_size];
    data_file_path(appDataPath, buffer, file);
    return new_jar_entry(buffer);
}

} // namespace

int initjars(const char* appDataPath, char** list) {
    list[jar_list::app_npx] = new_data_entry(appDataPath, "app.npx");
    list[jar_list::app_jar] = new_data_entry(appDataPath, "app.jar");
    list[jar_list::include_jar] = new_install_entry(platform::include_jar);
    return jar_list::include_jar + 1;
}

} // namespace launcher

// The commit of a new build into app.jar and app.ver, and the pending jar that waits while
// another process holds app.jar open (on Windows a file open without delete sharing cannot be
// replaced; a running application keeps its jar open so).
//
// The order, wherever a crash or a kill stops it: app.ver emptied, the jar renamed over app.jar,
// its version renamed over app.ver, each on the disk before the next. app.ver then names the build
// app.jar holds or is empty, which has the next online start fetch the jar again; it never names
// the old version beside the new jar. When app.jar refuses the rename, app.ver is given back the
// version it named before, so the start goes on from the old build, recorded as it was.
#include "update/commit.h"

#include "base/bounds.h"
#include "base/file_ptr.h"
#include "base/support_log.h"
#include "config/deployment.h"
#include "platform/platform.h"
#include "update/archive_check.h"
#include "update/jar_signature.h"

#include <cstring>
#include <memory>

namespace update {

namespace {

using base::app_path_size;

using base::file_ptr;

// Gives app.ver back the version it named before an install that did not happen. An empty app.ver
// reads as the oldest version, so that one stays empty.
void restore_app_ver(const char* dir, const char* version_path, const bs_version& current) {
    bs_version oldest = app_ver_default;
    if (!is_newer(current, oldest) && !is_newer(oldest, current))
        return;
    char text[app_ver_size], prefix[app_path_size], temp[app_path_size];
    std::size_t length = format_app_ver(current, text);
    if (!data_file(dir, prefix, version_part) || !write_new_file(prefix, temp, text, length))
        return;
    if (!platform::replace_file(temp, version_path))
        platform::remove_file(temp);
}

// The pending version file: valid only when it holds exactly what this launcher writes for the
// version it reads as.
bool read_pending_version(std::FILE* file, bs_version* version) {
    char text[app_ver_size + 1];
    std::size_t n = std::fread(text, 1, sizeof text, file);
    if (n == 0 || n > app_ver_size - 1 || std::ferror(file))
        return false;
    *version = app_ver_default;
    read_app_ver(std::string_view(text, n), version);
    char written[app_ver_size];
    return version->major >= 0 && format_app_ver(*version, written) == n &&
           std::memcmp(written, text, n) == 0;
}

// Makes the two temporary files the pending jar. Its old version file goes first, so that a crash
// between the renames never leaves it beside the new jar.
bool keep_pending(const char* dir, const char* jar_temp, const char* version_temp) {
    char jar_path[app_path_size], version_path[app_path_size];
    if (!data_file(dir, jar_path, pending_jar) || !data_file(dir, version_path, pending_version))
        return false;
    platform::remove_file(version_path);
    if (!platform::replace_file(jar_temp, jar_path))
        return false;
    if (platform::replace_file(version_temp, version_path))
        return true;
    platform::remove_file(jar_path);
    return false;
}

// What became of a jar put in place in the commit's order.
enum class placed {
    installed,    // app.jar and app.ver replaced
    version_lost, // app.jar replaced, its version not recorded: app.ver stays empty
    held,         // app.jar could not be replaced: app.ver names the old build again
    failed        // app.ver could not be emptied: nothing changed
};

// The commit's order (see the top of this file) for the jar at `jar_from` and its version file at
// `version_from`; `current` is what app.ver names now. A file that was not moved stays where it is.
placed put_in_place(const char* dir, const char* jar_from, const char* version_from,
                    const bs_version& current) {
    char jar_path[app_path_size], version_path[app_path_size];
    if (!data_file(dir, jar_path, jar_file) || !data_file(dir, version_path, version_file) ||
        !replace_with_empty_file(dir, version_path))
        return placed::failed;
    if (!platform::replace_file(jar_from, jar_path)) {
        restore_app_ver(dir, version_path, current);
        return placed::held;
    }
    if (platform::replace_file(version_from, version_path))
        return placed::installed;
    platform::remove_file(version_from);
    return placed::version_lost;
}

// Whether the jar went in, with the support log's line for it under `keyword` then.
bool went_in(placed outcome, const char* keyword) {
    if (outcome != placed::installed && outcome != placed::version_lost)
        return false;
    base::support_line(keyword).text("outcome",
                                     outcome == placed::installed ? "installed" : "app.ver-empty");
    return true;
}

} // namespace

bool data_file(const char* dir, char* out, const char* name) {
    out[0] = '\0';
    if (!dir[0])
        return false;
    if (!platform::path_append(out, dir) || !platform::path_append(out, name)) {
        out[0] = '\0';
        return false;
    }
    return std::strlen(out) > std::strlen(dir);
}

bool write_new_file(const char* prefix, char* path, const char* text, std::size_t length) {
    path[0] = '\0';
    file_ptr file(platform::create_temporary_file(prefix, path, app_path_size));
    if (!file)
        return false;
    bool ok = std::fwrite(text, 1, length, file.get()) == length && platform::sync_file(file.get());
    if (std::fclose(file.release()) == 0 && ok)
        return true;
    platform::remove_file(path);
    path[0] = '\0';
    return false;
}

// A new empty file renamed over whatever is there: the name is replaced, never written through.
// When the rename is refused (another process holds app.ver), a plain app.ver of its own is
// emptied where it stands.
bool replace_with_empty_file(const char* dir, const char* version_path) {
    char prefix[app_path_size], temp[app_path_size];
    if (data_file(dir, prefix, version_part) && write_new_file(prefix, temp, "", 0)) {
        if (platform::replace_file(temp, version_path))
            return true;
        platform::remove_file(temp);
    }
    platform::open_outcome outcome = platform::open_outcome::failed;
    file_ptr file(platform::open_plain_file(version_path, &outcome));
    return file && platform::truncate_file(file.get());
}

bool is_startable_jar(std::FILE* file, const release_stamp* release) {
    return is_whole_archive(file) && check_main_class_signature(file, config::signature, release) ==
                                         jar_verdict::signed_by_pinned;
}

bs_version current_app_ver(const char* dir) {
    bs_version version = app_ver_default;
    char path[app_path_size];
    platform::open_outcome outcome = platform::open_outcome::failed;
    file_ptr file(data_file(dir, path, version_file) ? platform::open_plain_file(path, &outcome)
                                                     : nullptr);
    if (file)
        read_app_ver(file.get(), &version);
    return version;
}

void commit_jar(const char* dir, const char* jar_temp, const char* version_temp,
                const bs_version& current) {
    const placed outcome = put_in_place(dir, jar_temp, version_temp, current);
    if (went_in(outcome, "install"))
        return;
    if (outcome == placed::held && keep_pending(dir, jar_temp, version_temp)) {
        base::support_line("install").text("outcome", "pending");
        return;
    }
    platform::remove_file(jar_temp);
    platform::remove_file(version_temp);
    base::support_line("install").text("outcome", "failed");
}

bool install_pending_jar(const char* dir, bs_version* pending) {
    char jar_new[app_path_size], version_new[app_path_size];
    if (!data_file(dir, jar_new, pending_jar) || !data_file(dir, version_new, pending_version))
        return false;

    // Each is opened only when it is a regular file of its own: a link, a fifo or a second name
    // planted under a pending name is never followed, and is removed below with the rest.
    platform::open_outcome jar_outcome = platform::open_outcome::failed;
    platform::open_outcome version_outcome = platform::open_outcome::failed;
    file_ptr jar(platform::open_plain_file(jar_new, &jar_outcome));
    file_ptr version_file_handle(platform::open_plain_file(version_new, &version_outcome));
    if (jar_outcome == platform::open_outcome::absent &&
        version_outcome == platform::open_outcome::absent)
        return false;

    // Checked again as a download is: the files may have changed since they were made.
    const bs_version current = current_app_ver(dir);
    bs_version version = app_ver_default;
    bool sound = jar && version_file_handle &&
                 read_pending_version(version_file_handle.get(), &version) &&
                 is_newer(version, current);
    const release_stamp release{{}, version};
    sound = sound && is_startable_jar(jar.get(), &release);
    // Closed before the renames: Windows does not rename a file this process holds open.
    jar.reset();
    version_file_handle.reset();
    if (!sound) {
        platform::remove_file(jar_new);
        platform::remove_file(version_new);
        base::support_line("pending").text("outcome", "removed");
        return false;
    }

    if (went_in(put_in_place(dir, jar_new, version_new, current), "pending"))
        return false;
    base::support_line("pending").text("outcome", "kept");
    *pending = version;
    return true;
}

} // namespace update

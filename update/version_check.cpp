// The bootstrap version check: ask the update servers in turn for the current version, bring a
// newer app.jar into the data directory, and record its version in app.ver.
//
// app.jar and app.ver change only by renaming complete files over them, and only while this
// launcher holds the data directory's lock, so that a failed or interrupted download, or a second
// launcher starting at the same moment, never leaves a torn jar or a version the jar does not
// hold.
#include "update/version_check.h"

#include "base/bounds.h"
#include "config/deployment.h"
#include "platform/platform.h"
#include "update/archive_check.h"
#include "update/bs_version.h"
#include "update/https_fetch.h"
#include "update/jar_signature.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using base::app_path_size;

constexpr const wchar_t* version_request = L"/VistalServlet?getVersion=bootstrap&clientVersion=2.0";

constexpr const char* version_file = "app.ver";
constexpr const char* jar_file = "app.jar";
constexpr const char* lock_file_name = "app.lock";
// Where a download and the version that goes with it are written before they replace the real
// files: new files under these names and an unpredictable ending, so that nothing another user
// plants in the data directory is written through. What a killed launcher left under them is
// removed at the next start that holds the lock (the bare names are what older launchers used).
constexpr const char* jar_part = "app.jar.part";
constexpr const char* version_part = "app.ver.part";

// How long a launcher waits for another one to finish its check and download.
constexpr unsigned lock_wait_ms = 60000;
constexpr std::size_t path_limit = 1023;      // longest download path taken
constexpr std::size_t wide_path_limit = 1022; // characters of it handed to the fetch

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

struct free_text {
    void operator()(char* text) const { std::free(text); }
};
using text_ptr = std::unique_ptr<char, free_text>;

class data_dir_lock {
  public:
    explicit data_dir_lock(platform::file_lock lock) : lock_(lock) {}
    ~data_dir_lock() { platform::unlock_file(lock_); }
    data_dir_lock(const data_dir_lock&) = delete;
    data_dir_lock& operator=(const data_dir_lock&) = delete;
    bool held() const { return lock_ != nullptr; }

  private:
    platform::file_lock lock_;
};

// A file of the data directory; false when there is no data directory or the name did not fit
// behind it (a bare file name would resolve against the current directory).
bool data_file(const char* appDataPath, char* out, const char* name) {
    out[0] = '\0';
    if (!appDataPath[0])
        return false;
    platform::path_append(out, appDataPath);
    platform::path_append(out, name);
    return std::strlen(out) > std::strlen(appDataPath);
}

// Writes the whole of `text` into a new temporary file next to `prefix` and puts it on the disk;
// its path goes to `path` (empty when none was made).
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

bool acceptable_download_path(std::string_view path) {
    return !path.empty() && path.size() <= path_limit && path[0] == '/' &&
           (path.size() == 1 || path[1] != '/');
}

// Fetches `path` from `host` into a new temporary file next to `prefix`, whose path goes to `to`
// (empty when none was made). True only for a whole, successful transfer that reached the disk:
// status 200, a body, as long as announced, within the size and time bounds, no failed read, no
// failed write, and a whole jar archive. That last check catches what the transfer cannot: an error
// page sent with status 200, and a body cut short or cut to a too small length where the length
// announced does not tell; committed, either would leave a jar that cannot start and a version that
// claims it. Last, its main class must be signed by the pinned certificate: a jar the loader would
// refuse (unsigned, signed by another key, tampered, without the main class) never replaces one
// that starts.
bool download(const wchar_t* host, std::string_view path, const char* prefix, char* to) {
    wchar_t wide[wide_path_limit + 1];
    std::size_t n = path.size() < wide_path_limit ? path.size() : wide_path_limit;
    for (std::size_t i = 0; i < n; ++i)
        wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(path[i]));
    wide[n] = L'\0';

    to[0] = '\0';
    file_ptr file(platform::create_temporary_file(prefix, to, app_path_size));
    if (!file)
        return false;
    fetch_report report;
    https_data(host, wide, file.get(), &report);
    bool complete = report.status == 200 && report.received > 0 && !report.read_failed &&
                    !report.too_large && !report.timed_out &&
                    (!report.has_content_length || report.received == report.content_length);
    bool written =
        !report.write_failed && !std::ferror(file.get()) && platform::sync_file(file.get());
    bool whole = complete && written && is_whole_archive(file.get()) &&
                 check_main_class_signature(file.get(), signature) == jar_verdict::signed_by_pinned;
    return std::fclose(file.release()) == 0 && whole;
}

// Brings the jar that `answer` names into app.jar and records its version in app.ver. On any
// failure both keep what they held.
void update_app_jar(const char* appDataPath, const wchar_t* host, const version_answer& answer,
                    const char* version_path) {
    if (!acceptable_download_path(answer.path))
        return;
    char jar_path[app_path_size], jar_prefix[app_path_size], version_prefix[app_path_size];
    if (!data_file(appDataPath, jar_path, jar_file) ||
        !data_file(appDataPath, jar_prefix, jar_part) ||
        !data_file(appDataPath, version_prefix, version_part))
        return;

    char text[app_ver_size];
    std::size_t length = format_app_ver(answer.version, text);
    char jar_temp[app_path_size] = "", version_temp[app_path_size] = "";
    if (!download(host, answer.path, jar_prefix, jar_temp) ||
        !write_new_file(version_prefix, version_temp, text, length) ||
        !platform::replace_file(jar_temp, jar_path)) {
        if (jar_temp[0])
            platform::remove_file(jar_temp);
        if (version_temp[0])
            platform::remove_file(version_temp);
        return;
    }
    if (!platform::replace_file(version_temp, version_path)) {
        platform::remove_file(version_temp);
        // The new jar is in place but its version could not be recorded: an empty app.ver has
        // the next start fetch it again, where the old one would claim a version it is not.
        purge_downloaded_app_files(appDataPath);
    }
}

// Puts an empty app.ver in place by renaming a new empty file over whatever is there: the name is
// replaced, never written through. When the rename is refused (another process holds app.ver),
// a plain app.ver of its own is emptied where it stands.
bool replace_with_empty_file(const char* appDataPath, const char* version_path) {
    char prefix[app_path_size], temp[app_path_size];
    if (data_file(appDataPath, prefix, version_part) && write_new_file(prefix, temp, "", 0)) {
        if (platform::replace_file(temp, version_path))
            return true;
        platform::remove_file(temp);
    }
    platform::open_outcome outcome = platform::open_outcome::failed;
    file_ptr file(platform::open_plain_file(version_path, &outcome));
    return file && platform::truncate_file(file.get());
}

} // namespace

int locate_server(const char* appDataPath, const wchar_t* const* server_list) {
    for (int i = 0; server_list[i]; ++i) {
        if (get_bs_version(appDataPath, server_list[i]))
            return i;
    }
    return -1;
}

int get_bs_version(const char* appDataPath, const wchar_t* host) {
    bs_version local = app_ver_default;
    char version_path[app_path_size], lock_path[app_path_size];
    if (!data_file(appDataPath, version_path, version_file))
        return 0;

    // Held from reading app.ver to the commit. A second launcher waits here and then checks
    // against what the first one left. One that cannot have the lock in time (or at all) still
    // asks the server but leaves app.jar and app.ver alone: another launcher may be half-way
    // through a download.
    data_dir_lock lock(data_file(appDataPath, lock_path, lock_file_name)
                           ? platform::lock_file(lock_path, lock_wait_ms)
                           : nullptr);

    {
        // app.ver is read only when it is a regular file of its own. Anything else in its place
        // (a link, a fifo, a second name of another file) is never followed: it is replaced by an
        // empty app.ver, which reads as the oldest version. A data directory that is missing or
        // cannot be written to, or a directory in app.ver's place: offline, nothing asked.
        platform::open_outcome outcome = platform::open_outcome::failed;
        file_ptr version_file_handle(platform::open_plain_file(version_path, &outcome));
        if (version_file_handle)
            read_app_ver(version_file_handle.get(), &local);
        else if ((outcome != platform::open_outcome::absent &&
                  outcome != platform::open_outcome::refused) ||
                 !replace_with_empty_file(appDataPath, version_path))
            return 0;
    }

    if (lock.held()) {
        // What a launcher killed during its download left behind.
        char leftover[app_path_size];
        if (data_file(appDataPath, leftover, jar_part))
            platform::remove_files_with_prefix(leftover);
        if (data_file(appDataPath, leftover, version_part))
            platform::remove_files_with_prefix(leftover);
    }

    fetch_report report;
    text_ptr text(https_data(host, version_request, nullptr, &report));
    version_answer answer = scan_answer(text ? std::string_view(text.get()) : std::string_view());

    // An error page is never an answer, even one whose body begins with a number.
    bool answered = report.status == 200 && answer.version.major >= 0;
    if (answered && lock.held() && is_newer(answer.version, local))
        update_app_jar(appDataPath, host, answer, version_path);
    return answered ? 1 : 0;
}

void purge_downloaded_app_files(const char* appDataPath) {
    char version_path[app_path_size];
    if (data_file(appDataPath, version_path, version_file))
        replace_with_empty_file(appDataPath, version_path);
}

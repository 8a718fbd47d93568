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
#include "update/download_progress.h"
#include "update/https_fetch.h"
#include "update/jar_signature.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

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
// The stdio buffer of a download's file.
constexpr std::size_t download_buffer_size = 256 * 1024;

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

// A file of the data directory; false when the name did not fit behind the directory.
// The data directory of the check under way: set by each entry below, read by the steps.
const char* appDataPath = "";

bool data_file(char* out, const char* name) {
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
    // The body arrives in 8 KiB blocks; through this buffer the file takes a write call per
    // 256 KiB instead of one per block. Declared first: it outlives the stream.
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[download_buffer_size]);
    file_ptr file(platform::create_temporary_file(prefix, to, app_path_size));
    if (!file)
        return false;
    if (buffer)
        std::setvbuf(file.get(), buffer.get(), _IOFBF, download_buffer_size);
    fetch_report report;
    https_data(host, wide, file.get(), &report, download_progress());
    bool complete = report.status == 200 && report.received > 0 && !report.read_failed &&
                    !report.too_large && !report.timed_out &&
                    (!report.has_content_length || report.received == report.content_length);
    bool written =
        !report.write_failed && !std::ferror(file.get()) && platform::sync_file(file.get());
    bool whole = complete && written && is_whole_archive(file.get()) &&
                 check_main_class_signature(file.get(), signature) == jar_verdict::signed_by_pinned;
    return std::fclose(file.release()) == 0 && whole;
}

bool replace_with_empty_file(const char* version_path);

// Brings the jar that `answer` names into app.jar and records its version in app.ver. A failure
// before the commit keeps both as they were; one during it leaves app.ver empty.
void update_app_jar(const wchar_t* host, const version_answer& answer, const char* version_path) {
    if (!acceptable_download_path(answer.path))
        return;
    char jar_path[app_path_size], jar_prefix[app_path_size], version_prefix[app_path_size];
    if (!data_file(jar_path, jar_file) || !data_file(jar_prefix, jar_part) ||
        !data_file(version_prefix, version_part))
        return;

    char text[app_ver_size];
    std::size_t length = format_app_ver(answer.version, text);
    char jar_temp[app_path_size] = "", version_temp[app_path_size] = "";
    // The commit: app.ver emptied, the jar renamed over app.jar, its version renamed over app.ver,
    // each rename on the disk before the next. Wherever a crash or a kill stops it, app.ver names
    // the version app.jar holds or is empty, which has the next online start fetch the jar again;
    // it never names the old version beside the new jar.
    if (!download(host, answer.path, jar_prefix, jar_temp) ||
        !write_new_file(version_prefix, version_temp, text, length) ||
        !replace_with_empty_file(version_path) || !platform::replace_file(jar_temp, jar_path)) {
        if (jar_temp[0])
            platform::remove_file(jar_temp);
        if (version_temp[0])
            platform::remove_file(version_temp);
        return;
    }
    if (!platform::replace_file(version_temp, version_path))
        platform::remove_file(version_temp);
}

// Puts an empty app.ver in place by renaming a new empty file over whatever is there: the name is
// replaced, never written through. When the rename is refused (another process holds app.ver),
// a plain app.ver of its own is emptied where it stands.
bool replace_with_empty_file(const char* version_path) {
    char prefix[app_path_size], temp[app_path_size];
    if (data_file(prefix, version_part) && write_new_file(prefix, temp, "", 0)) {
        if (platform::replace_file(temp, version_path))
            return true;
        platform::remove_file(temp);
    }
    platform::open_outcome outcome = platform::open_outcome::failed;
    file_ptr file(platform::open_plain_file(version_path, &outcome));
    return file && platform::truncate_file(file.get());
}

// The check of one host, with app.ver read afresh: a launcher that waited for the lock finds what
// the one before it installed. Only a launcher that `holds_lock` writes app.jar and app.ver.
int check_host(const wchar_t* host, bool holds_lock) {
    bs_version local = app_ver_default;
    char version_path[app_path_size];
    if (!data_file(version_path, version_file))
        return 0;

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
                 !replace_with_empty_file(version_path))
            return 0;
    }

    fetch_report report;
    text_ptr text(https_data(host, version_request, nullptr, &report));
    version_answer answer = scan_answer(text ? std::string_view(text.get()) : std::string_view());

    // An error page is never an answer, even one whose body begins with a number.
    bool answered = report.status == 200 && answer.version.major >= 0;
    if (answered && holds_lock && is_newer(answer.version, local))
        update_app_jar(host, answer, version_path);
    return answered ? 1 : 0;
}

// The data directory's lock, waited for at most lock_wait_ms. Held from the first read of app.ver
// to the commit; once it is held, what a launcher killed during its download left is removed.
platform::file_lock take_lock() {
    char lock_path[app_path_size];
    if (!data_file(lock_path, lock_file_name))
        return nullptr;
    platform::file_lock lock = platform::lock_file(lock_path, lock_wait_ms);
    char leftover[app_path_size];
    if (lock && data_file(leftover, jar_part))
        platform::remove_files_with_prefix(leftover);
    if (lock && data_file(leftover, version_part))
        platform::remove_files_with_prefix(leftover);
    return lock;
}

// An app.jar that the loader will start: a plain file, a whole archive, its main class signed by
// the pinned certificate.
bool has_complete_app_jar() {
    char jar_path[app_path_size];
    platform::open_outcome outcome = platform::open_outcome::failed;
    file_ptr jar(data_file(jar_path, jar_file) ? platform::open_plain_file(jar_path, &outcome)
                                               : nullptr);
    return jar && is_whole_archive(jar.get()) &&
           check_main_class_signature(jar.get(), signature) == jar_verdict::signed_by_pinned;
}

} // namespace

// One lock and one bounded wait for the whole check, whatever the number of hosts. A launcher
// that cannot have the lock (another one hangs while holding it, or someone else holds the file)
// writes nothing: with a complete app.jar of its own it asks the servers and starts that; without
// one it asks nobody and starts offline from the install's own jar.
int locate_server(const char* data_dir, const wchar_t* const* server_list) {
    appDataPath = data_dir;
    data_dir_lock lock(take_lock());
    if (!lock.held() && !has_complete_app_jar())
        return -1;
    for (int i = 0; server_list[i]; ++i)
        if (check_host(server_list[i], lock.held()))
            return i;
    return -1;
}

int get_bs_version(const char* data_dir, const wchar_t* host) {
    appDataPath = data_dir;
    data_dir_lock lock(take_lock());
    return check_host(host, lock.held());
}

void purge_downloaded_app_files(const char* data_dir) {
    appDataPath = data_dir;
    char version_path[app_path_size];
    if (data_file(version_path, version_file))
        replace_with_empty_file(version_path);
}

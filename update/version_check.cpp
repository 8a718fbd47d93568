// The bootstrap version check: ask the update servers in turn for the current version, bring a
// newer app.jar into the data directory, and record its version in app.ver.
//
// app.jar and app.ver change only by renaming complete files over them, and only while this
// launcher holds the data directory's lock, so that a failed or interrupted download, or a second
// launcher starting at the same moment, never leaves a torn jar or a version the jar does not
// hold.
#include "update/version_check.h"

#include "base/bounds.h"
#include "base/file_ptr.h"
#include "base/support_log.h"
#include "config/deployment.h"
#include "platform/platform.h"
#include "update/archive_check.h"
#include "update/bs_version.h"
#include "update/commit.h"
#include "update/https_fetch.h"
#include "update/jar_signature.h"
#include "update/partial_download.h"
#include "update/support_names.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace update {

namespace {

using base::app_path_size;

constexpr const wchar_t* version_request = L"/VistalServlet?getVersion=bootstrap&clientVersion=2.0";

constexpr const char* lock_file_name = "app.lock";

// The version answer is one short line (a version, ';', a path of at most 1023 characters): its
// request has bounds of its own, far below a download's, so that a host that trickles its answer
// or sends a large one holds the start for seconds, not for the download's deadline.
constexpr std::uint64_t answer_max_bytes = 4096;
constexpr std::uint64_t answer_deadline_ms = 10000;

// How long a launcher waits for another one to finish its check and download.
constexpr unsigned lock_wait_ms = 60000;
constexpr std::size_t path_limit = 1023;      // longest download path taken
constexpr std::size_t wide_path_limit = 1022; // characters of it handed to the fetch
// The stdio buffer of a download's file.
constexpr std::size_t download_buffer_size = 256 * 1024;

using base::file_ptr;

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

// What one check knows besides the host: the data directory, whether this launcher holds its
// lock, the build still waiting to replace app.jar, if any, and who hears how a download comes
// along (null: nobody).
struct check_state {
    const char* dir;
    bool holds_lock;
    bool has_pending;
    bs_version pending;
    const fetch_progress* progress;
};

bool acceptable_download_path(std::string_view path) {
    return !path.empty() && path.size() <= path_limit && path[0] == '/' &&
           (path.size() == 1 || path[1] != '/');
}

// Hands the record of a download's bytes to the kept-download file once the head is in.
void record_head(void* context, const fetch_report& head) {
    record_partial(*static_cast<const partial_download*>(context), head);
}

// Fetches `path` from `host` for `version` into the data directory `dir`: into a new temporary
// file, or after the bytes an earlier start kept of the same version (partial_download.h). The
// file's path goes to `to` (empty when none was made, or when its bytes are kept for the next
// start). True only for a whole, successful transfer that reached the disk:
// status 200 (or a 206 that continued the kept bytes), a body, as long as announced, within the
// size and time bounds, no failed read, no failed write, and a whole jar archive. That last check
// catches what the transfer cannot: an error
// page sent with status 200, and a body cut short or cut to a too small length where the length
// announced does not tell; committed, either would leave a jar that cannot start and a version that
// claims it. Last, its main class must be signed by the pinned certificate: a jar the loader would
// refuse (unsigned, signed by another key, tampered, without the main class) never replaces one
// that starts.
bool download(const char* dir, const wchar_t* host, std::string_view path,
              const release_stamp& release, const fetch_progress* progress, char* to) {
    wchar_t wide[wide_path_limit + 1];
    std::size_t n = path.size() < wide_path_limit ? path.size() : wide_path_limit;
    for (std::size_t i = 0; i < n; ++i)
        wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(path[i]));
    wide[n] = L'\0';

    to[0] = '\0';
    // The body arrives in 8 KiB blocks; through this buffer the file takes a write call per
    // 256 KiB instead of one per block. Declared first: it outlives the stream.
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[download_buffer_size]);
    partial_download partial;
    partial.dir = dir;
    partial.version = release.version;
    file_ptr file;
    fetch_report report;
    // A server whose 206 does not continue the kept bytes gets one new request for the whole.
    for (int attempt = 0; attempt < 2; ++attempt) {
        file.reset(open_partial(partial));
        if (!file)
            return false;
        if (buffer)
            std::setvbuf(file.get(), buffer.get(), _IOFBF, download_buffer_size);
        std::fseek(file.get(), static_cast<long>(partial.resume.offset), SEEK_SET);
        file_sink into(file.get(), progress, partial.resume.offset > 0 ? &partial.resume : nullptr);
        into.on_head(&record_head, &partial);
        report = https_data(host, wide, into);
        if (!report.range_refused)
            break;
        file.reset();
        drop_partials(dir);
    }
    std::memcpy(to, partial.path, sizeof partial.path);
    bool complete = !body_problem(report);
    bool written =
        !report.write_failed && !std::ferror(file.get()) && platform::sync_file(file.get());
    bool archive = complete && written && is_whole_archive(file.get());
    jar_verdict verdict = archive
                              ? check_main_class_signature(file.get(), config::signature, &release)
                              : jar_verdict::not_archive;
    bool closed = std::fclose(file.release()) == 0;
    base::support_line("download")
        .text("path", path)
        .number("status", report.status)
        .number("length", report.content_length)
        .number("received", report.received)
        .text("verdict", download_verdict(report, written && closed, archive, verdict));
    // Bytes of a body cut short stay for the next start; anything else is done with them.
    if (!complete && written && closed && !report.too_large && has_partial_record(dir))
        to[0] = '\0';
    else
        forget_partial(dir);
    return closed && archive && verdict == jar_verdict::signed_by_pinned;
}

// Brings the jar that `answer` names into app.jar and records its version in app.ver (see
// commit.h); `current` is the version app.ver names now. A failure before the commit keeps both
// as they were.
void update_app_jar(const check_state& state, const wchar_t* host, const version_answer& answer,
                    const bs_version& current) {
    const char* dir = state.dir;
    if (!acceptable_download_path(answer.path)) {
        base::support_line("download").text("path", answer.path).text("verdict", "bad-path");
        return;
    }
    char version_prefix[app_path_size];
    if (!data_file(dir, version_prefix, version_part))
        return;

    char text[app_ver_size];
    std::size_t length = format_app_ver(answer.version, text);
    char jar_temp[app_path_size] = "", version_temp[app_path_size] = "";
    const bool fetched = download(dir, host, answer.path, {answer.published, answer.version},
                                  state.progress, jar_temp);
    if (fetched && write_new_file(version_prefix, version_temp, text, length)) {
        commit_jar(dir, jar_temp, version_temp, current);
        return;
    }
    if (jar_temp[0])
        platform::remove_file(jar_temp);
    if (version_temp[0])
        platform::remove_file(version_temp);
    base::support_line("install").text("outcome", fetched ? "failed" : "refused");
}

// The check of one host, with app.ver read afresh: a launcher that waited for the lock finds what
// the one before it installed. Only a launcher that holds the lock writes app.jar and app.ver.
int check_host(const wchar_t* host, const check_state& state) {
    bs_version local = app_ver_default;
    char version_path[app_path_size];
    if (!data_file(state.dir, version_path, version_file))
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
        bool usable = version_file_handle || ((outcome == platform::open_outcome::absent ||
                                               outcome == platform::open_outcome::refused) &&
                                              replace_with_empty_file(state.dir, version_path));
        char shown[app_ver_size];
        base::support_line("appver")
            .text("file", open_outcome_name(outcome))
            .text("version", version_text(local, shown))
            .flag("usable", usable);
        if (!usable)
            return 0;
    }

    text_sink text(answer_max_bytes);
    const fetch_report report = https_data(host, version_request, text, answer_deadline_ms);
    version_answer answer = scan_answer(text.text());

    // An error page is never an answer, even one whose body begins with a number. A build that is
    // already pending is not fetched again: it waits for app.jar to be let go.
    // So is an answer that did not end within its bounds: what came of it may be cut anywhere.
    bool answered =
        report.status == 200 && answer.version.major >= 0 && !report.timed_out && !report.too_long;
    char shown[2][app_ver_size];
    base::support_line("answer")
        .text("host", host)
        .number("status", report.status)
        .flag("answered", answered)
        .text("version", version_text(answer.version, shown[0]))
        .text("path", answer.path);
    if (answered)
        base::support_line("compare")
            .text("local", version_text(local, shown[1]))
            .text("answer", version_text(answer.version, shown[0]))
            .flag("newer", is_newer(answer.version, local))
            .flag("lock", state.holds_lock)
            .text("pending", state.has_pending ? version_text(state.pending, shown[1]) : "-");
    if (answered && state.holds_lock && is_newer(answer.version, local) &&
        (!state.has_pending || is_newer(answer.version, state.pending)))
        update_app_jar(state, host, answer, local);
    return answered ? 1 : 0;
}

// The data directory's lock, waited for at most lock_wait_ms. Held from the first read of app.ver
// to the commit.
platform::file_lock take_lock(const char* dir) {
    char lock_path[app_path_size];
    if (!data_file(dir, lock_path, lock_file_name))
        return nullptr;
    const std::uint64_t asked = platform::monotonic_ms();
    platform::file_lock lock = platform::lock_file(lock_path, lock_wait_ms);
    base::support_line("lock")
        .flag("held", lock != nullptr)
        .number("waited_ms", platform::monotonic_ms() - asked);
    return lock;
}

// The temporaries `part` + "." + a random part, and the bare name older launchers used. Bytes kept
// for resuming ("app.jar.partial.*") are not among them: their record decides on them.
void remove_leftovers(const char* dir, const char* part) {
    char leftover[app_path_size];
    if (!data_file(dir, leftover, part))
        return;
    platform::remove_file(leftover);
    const std::size_t n = std::strlen(leftover);
    if (n + 1 < sizeof leftover) {
        leftover[n] = '.';
        leftover[n + 1] = '\0';
        platform::remove_files_with_prefix(leftover);
    }
}

// Once the lock is held, what a launcher killed during its download left is removed, and a
// pending build is put in place if app.jar can be replaced now.
check_state begin_check(const char* dir, bool holds_lock, const fetch_progress* progress) {
    check_state state{dir, holds_lock, false, app_ver_default, progress};
    if (!holds_lock)
        return state;
    for (const char* part : {jar_part, version_part})
        remove_leftovers(dir, part);
    state.has_pending = install_pending_jar(dir, &state.pending);
    return state;
}

// An app.jar that the loader will start: a plain file, a whole archive, its main class signed by
// the pinned certificate.
bool has_complete_app_jar(const char* dir) {
    char jar_path[app_path_size];
    platform::open_outcome outcome = platform::open_outcome::failed;
    file_ptr jar(data_file(dir, jar_path, jar_file) ? platform::open_plain_file(jar_path, &outcome)
                                                    : nullptr);
    return jar && is_startable_jar(jar.get(), nullptr);
}

} // namespace

// One lock and one bounded wait for the whole check, whatever the number of hosts. A launcher
// that cannot have the lock (another one hangs while holding it, or someone else holds the file)
// writes nothing: with a complete app.jar of its own it asks the servers and starts that; without
// one it asks nobody and starts offline from the install's own jar.
int locate_server(const char* data_dir, const wchar_t* const* server_list,
                  const fetch_progress* progress) {
    data_dir_lock lock(take_lock(data_dir));
    check_state state = begin_check(data_dir, lock.held(), progress);
    if (!lock.held() && !has_complete_app_jar(data_dir)) {
        base::support_line("hosts").text("asked", "none").text("reason", "no-lock-no-app-jar");
        return -1;
    }
    for (int i = 0; server_list[i]; ++i)
        if (check_host(server_list[i], state))
            return i;
    return -1;
}

int get_bs_version(const char* data_dir, const wchar_t* host, const fetch_progress* progress) {
    data_dir_lock lock(take_lock(data_dir));
    check_state state = begin_check(data_dir, lock.held(), progress);
    return check_host(host, state);
}

void purge_downloaded_app_files(const char* data_dir) {
    char version_path[app_path_size];
    if (data_file(data_dir, version_path, version_file)) {
        bool emptied = replace_with_empty_file(data_dir, version_path);
        base::support_line("purge").text("file", version_path).flag("emptied", emptied);
    }
}

} // namespace update

#include "update/partial_download.h"

#include "base/file_ptr.h"
#include "config/deployment.h"
#include "platform/platform.h"
#include "update/commit.h"

#include <cstring>
#include <string>
#include <string_view>

namespace update {

namespace {

using base::app_path_size;
using base::file_ptr;

// The record's four lines, each bounded: app.ver text, file name, length, validator.
constexpr std::size_t record_limit = 1024;

bool same_version(const bs_version& a, const bs_version& b) {
    return !is_newer(a, b) && !is_newer(b, a);
}

// The next line of `text` from `*at`, without its end; false when there is none.
bool next_line(std::string_view text, std::size_t* at, std::string_view* line) {
    std::size_t end = text.find('\n', *at);
    if (end == std::string_view::npos)
        return false;
    *line = text.substr(*at, end - *at);
    *at = end + 1;
    return true;
}

// A name of the launcher's own temporaries for kept bytes, in the data directory itself.
bool kept_name(std::string_view name) {
    const std::string start = std::string(resume_part) + ".";
    return name.size() > start.size() && name.size() < 64 &&
           name.compare(0, start.size(), start) == 0 &&
           name.find_first_of("/\\:") == std::string_view::npos;
}

bool read_length(std::string_view text, std::uint64_t* n) {
    *n = 0;
    if (text.empty() || text.size() > 18)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        *n = *n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

// Takes up the kept bytes `p` names in its record, when they are of `p.version` and fit it.
file_ptr resume_kept(partial_download& p) {
    char record_path[app_path_size];
    platform::open_outcome outcome = platform::open_outcome::failed;
    file_ptr record(data_file(p.dir, record_path, resume_record)
                        ? platform::open_plain_file(record_path, &outcome)
                        : nullptr);
    if (!record)
        return nullptr;
    char text[record_limit];
    std::size_t n = std::fread(text, 1, sizeof text, record.get());
    if (n == 0 || n == sizeof text || std::ferror(record.get()))
        return nullptr;
    std::string_view all(text, n), version_line, name, length, validator;
    std::size_t at = 0;
    if (!next_line(all, &at, &version_line) || !next_line(all, &at, &name) ||
        !next_line(all, &at, &length) || !next_line(all, &at, &validator) || at != n)
        return nullptr;

    // The version exactly as this launcher writes it, and the one answered now.
    bs_version version = app_ver_default;
    read_app_ver(version_line, &version);
    char written[app_ver_size];
    std::uint64_t total = 0;
    if (version.major < 0 ||
        version_line != std::string_view(written, format_app_ver(version, written)) ||
        !same_version(version, p.version) || !kept_name(name) || !read_length(length, &total) ||
        total == 0 || total > config::deployment_max_download || validator.empty() ||
        validator.size() >= validator_size)
        return nullptr;

    // A regular file of its own (never a link, a fifo or a second name), shorter than the body.
    const std::string file_name(name);
    file_ptr file(data_file(p.dir, p.path, file_name.c_str())
                      ? platform::open_plain_file(p.path, &outcome)
                      : nullptr);
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return nullptr;
    long size = std::ftell(file.get());
    if (size <= 0 || static_cast<std::uint64_t>(size) >= total ||
        std::fseek(file.get(), 0, SEEK_SET) != 0)
        return nullptr;
    std::memcpy(p.validator, validator.data(), validator.size());
    p.validator[validator.size()] = '\0';
    p.resume.offset = static_cast<std::uint64_t>(size);
    p.resume.total = total;
    p.resume.validator = p.validator;
    return file;
}

} // namespace

std::FILE* open_partial(partial_download& p) {
    p.resume = fetch_resume{};
    p.validator[0] = '\0';
    if (file_ptr kept = resume_kept(p))
        return kept.release();
    p.resume = fetch_resume{};
    drop_partials(p.dir);
    char prefix[app_path_size];
    p.path[0] = '\0';
    return data_file(p.dir, prefix, resume_part)
               ? platform::create_temporary_file(prefix, p.path, app_path_size)
               : nullptr;
}

void record_partial(const partial_download& p, const fetch_report& head) {
    char record_path[app_path_size], prefix[app_path_size], temp[app_path_size];
    if (!data_file(p.dir, record_path, resume_record))
        return;
    const char* name = p.path;
    for (const char* c = p.path; *c; ++c)
        if (*c == '/' || *c == '\\')
            name = c + 1;
    char version[app_ver_size];
    std::size_t length = format_app_ver(p.version, version);
    // Nothing to resume without a validator: the record goes, so the bytes are never taken up.
    if (!head.validator[0] || head.total == 0 || !kept_name(name)) {
        platform::remove_file(record_path);
        return;
    }
    const std::string text = std::string(version, length) + "\n" + name + "\n" +
                             std::to_string(head.total) + "\n" + head.validator + "\n";
    if (!data_file(p.dir, prefix, version_part) ||
        !write_new_file(prefix, temp, text.data(), text.size()))
        return;
    if (!platform::replace_file(temp, record_path)) {
        platform::remove_file(temp);
        platform::remove_file(record_path);
    }
}

void drop_partials(const char* dir) {
    forget_partial(dir);
    char path[app_path_size];
    if (data_file(dir, path, resume_part))
        platform::remove_files_with_prefix(path);
}

bool has_partial_record(const char* dir) {
    char path[app_path_size];
    return data_file(dir, path, resume_record) && platform::file_exists(path);
}

void forget_partial(const char* dir) {
    char path[app_path_size];
    if (data_file(dir, path, resume_record))
        platform::remove_file(path);
}

} // namespace update

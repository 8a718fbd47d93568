#include "base/support_log.h"

#include "base/support_log_file.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace base {

namespace {

// What one start may add to the file, and the size beyond which a start adds nothing: a
// customer who leaves the variable set does not fill the disk. An ordinary start writes about
// two dozen lines.
constexpr std::uint64_t start_budget = 1024 * 1024;
constexpr std::uint64_t file_bound = 16 * 1024 * 1024;
constexpr const char* variable = "VISTAL_LOG";
constexpr std::string_view cut_mark = " cut=yes\n";

// The log every support_line writes to: set once at start-up, before other threads exist, and
// never unset while the process runs (a test's log unsets it when it goes).
support_log* current = nullptr;

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civil_date(long long days, int* year, unsigned* month, unsigned* day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int>(yoe + era * 400 + (*month <= 2 ? 1 : 0));
}

// "2026-12-07T16:13:17.123Z" into `out` (at least 32 bytes); its length.
std::size_t utc_now(char* out) {
    using namespace std::chrono;
    const long long ms =
        duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    long long days = ms / 86400000, rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    int year;
    unsigned month, day;
    civil_date(days, &year, &month, &day);
    const auto r = static_cast<unsigned>(rest);
    int n = std::snprintf(out, 32, "%04d-%02u-%02uT%02u:%02u:%02u.%03uZ", year, month, day,
                          r / 3600000, r / 60000 % 60, r / 1000 % 60, r % 1000);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

} // namespace

support_log::~support_log() {
    if (current == this)
        current = nullptr;
    if (file_ != support_log_file::none)
        support_log_file::close(file_);
}

bool support_log::writing() const {
    return file_ != support_log_file::none && budget_.load() > 0;
}

bool support_log::append(const char* line, std::size_t length) {
    // Takes the line's bytes from the start's budget, or nothing when they do not fit.
    std::uint64_t left = budget_.load();
    bool fits = false;
    while (!fits && left >= length)
        fits = budget_.compare_exchange_weak(left, left - length);
    if (fits && support_log_file::append(file_, line, length))
        return true;
    budget_.store(0);
    return false;
}

void open_support_log(support_log& log) {
    if (current)
        return;
    std::uint64_t size = 0;
    support_log_file::handle f = support_log_file::open_named_by(variable, &size);
    if (f == support_log_file::none)
        return;
    if (size >= file_bound) {
        support_log_file::close(f);
        return;
    }
    log.pid_ = support_log_file::process_id();
    log.file_ = f;
    log.budget_.store(start_budget);
    current = &log;
}

bool support_log_open() {
    return current && current->writing();
}

support_line::support_line(const char* keyword) : log_(current), on_(log_ && log_->writing()) {
    if (!on_)
        return;
    char stamp[32];
    raw(std::string_view(stamp, utc_now(stamp)));
    char id[24];
    int n = std::snprintf(id, sizeof id, " %lu ", log_->pid());
    raw(std::string_view(id, n > 0 ? static_cast<std::size_t>(n) : 0));
    raw(keyword);
}

support_line::~support_line() {
    if (!on_)
        return;
    // Room for the cut mark is always kept (see raw).
    std::string_view end = cut_ ? cut_mark : std::string_view("\n");
    std::memcpy(line_ + length_, end.data(), end.size());
    length_ += end.size();
    // A line that does not fit in what is left ends the log for this start; a failed write too
    // (a full disk): neither changes anything else.
    log_->append(line_, length_);
}

// Once a line is cut nothing more goes in: a value never goes on after a part of it was dropped.
void support_line::raw(std::string_view bytes) {
    if (cut_)
        return;
    const std::size_t room = line_size - cut_mark.size() - length_;
    if (bytes.size() > room) {
        bytes = bytes.substr(0, room);
        cut_ = true;
    }
    std::memcpy(line_ + length_, bytes.data(), bytes.size());
    length_ += bytes.size();
}

void support_line::escaped(unsigned char byte) {
    if (byte > ' ' && byte < 0x7F && byte != '%') {
        char c = static_cast<char>(byte);
        raw(std::string_view(&c, 1));
        return;
    }
    static constexpr char hex[] = "0123456789ABCDEF";
    const char code[3] = {'%', hex[byte >> 4], hex[byte & 0xF]};
    // An escape is never split by a cut.
    if (line_size - cut_mark.size() - length_ < sizeof code)
        cut_ = true;
    else
        raw(std::string_view(code, sizeof code));
}

void support_line::key(const char* name) {
    raw(" ");
    raw(name);
    raw("=");
}

support_line& support_line::text(const char* name, std::string_view value) {
    if (!on_ || cut_)
        return *this;
    key(name);
    for (char c : value)
        escaped(static_cast<unsigned char>(c));
    return *this;
}

support_line& support_line::text(const char* name, const char* value) {
    return text(name, value ? std::string_view(value) : std::string_view("-"));
}

support_line& support_line::text(const char* name, const wchar_t* value) {
    if (!on_ || cut_)
        return *this;
    if (!value)
        return text(name, "-");
    key(name);
    // UTF-8 of each code unit; the texts handed in (host names) are ASCII.
    for (; *value; ++value) {
        const auto u = static_cast<std::uint32_t>(*value) & 0xFFFF;
        if (u < 0x80) {
            escaped(static_cast<unsigned char>(u));
        } else if (u < 0x800) {
            escaped(static_cast<unsigned char>(0xC0 | (u >> 6)));
            escaped(static_cast<unsigned char>(0x80 | (u & 0x3F)));
        } else {
            escaped(static_cast<unsigned char>(0xE0 | (u >> 12)));
            escaped(static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F)));
            escaped(static_cast<unsigned char>(0x80 | (u & 0x3F)));
        }
    }
    return *this;
}

support_line& support_line::flag(const char* name, bool value) {
    return word(name, value ? "yes" : "no");
}

support_line& support_line::word(const char* name, std::string_view value) {
    if (!on_ || cut_)
        return *this;
    key(name);
    raw(value);
    return *this;
}

} // namespace base

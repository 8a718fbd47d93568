// The support log: when the environment variable VISTAL_LOG names a file, the launcher appends
// one line to it for every decision it takes on its way to the application (which host answered,
// what was downloaded and why it was refused, which jar started), so that a support desk can
// tell why a customer's start went the way it did. Nothing else about the start changes, and
// without the variable no file is opened and nothing is written.
//
// A line is "<UTC time> <process id> <keyword> key=value ...": the wall-clock time to the
// millisecond, then fields. Every text value is written with each byte outside printable ASCII,
// the space and '%' as %XX, so that no value (a path sent by a server, a directory with spaces)
// can break a line or a field. docs/SUPPORT.md lists the keywords.
#pragma once

#include "base/support_log_file.h"

#include <atomic>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace base {

// The process's support log: the file VISTAL_LOG names, and what one start may still add to it.
// The launcher owns one for the life of the process; tests make their own.
class support_log {
  public:
    support_log() = default;
    // A log that is still the process's one when it goes (a test's) stops being it; its file
    // closes. The launcher's never goes: application threads may write until the process ends,
    // and a closed descriptor could be reused by another file.
    ~support_log();
    support_log(const support_log&) = delete;
    support_log& operator=(const support_log&) = delete;

    // Whether lines are being written.
    bool writing() const;
    // Appends one whole line, taken from the budget; false when it does not fit or the write
    // failed, which ends the log for this start.
    bool append(const char* line, std::size_t length);

    unsigned long pid() const { return pid_; }

  private:
    friend void open_support_log(support_log& log);
    support_log_file::handle file_ = support_log_file::none;
    std::atomic<std::uint64_t> budget_{0};
    unsigned long pid_ = 0;
};

// Opens the file that VISTAL_LOG names into `log`, for appending, and makes `log` the one every
// support_line of the process writes to; nothing when the variable is unset or empty, when the
// file cannot be used (a link, not a regular file, already beyond its size bound), or when a log
// is open already. First thing at start-up, before any other thread runs; the file stays open
// until the process ends.
void open_support_log(support_log& log);
// Whether lines are being written.
bool support_log_open();

// One line of the support log, written in one piece (one write, so that threads and other
// launchers appending to the same file never interleave within a line) when the object goes.
// Every call is cheap and does nothing while the log is closed.
class support_line {
  public:
    explicit support_line(const char* keyword);
    ~support_line();
    support_line(const support_line&) = delete;
    support_line& operator=(const support_line&) = delete;

    support_line& text(const char* key, std::string_view value);
    support_line& text(const char* key, const char* value); // null: "-"
    support_line& text(const char* key, const wchar_t* value);
    support_line& flag(const char* key, bool value); // yes / no
    template <typename T> support_line& number(const char* key, T value) {
        static_assert(std::is_integral_v<T> && !std::is_same_v<T, bool>);
        if (!on_)
            return *this;
        char digits[24];
        const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        return word(key, std::string_view(digits, static_cast<std::size_t>(end - digits)));
    }

    // A line holds at most this much; longer ones are cut and end in "cut=yes".
    static constexpr std::size_t line_size = 4096;

  private:
    // `value` as it stands, unescaped: numbers and the fixed words yes and no.
    support_line& word(const char* key, std::string_view value);
    void key(const char* name);
    void raw(std::string_view bytes);
    void escaped(unsigned char byte);

    support_log* log_;
    bool on_;
    bool cut_ = false;
    std::size_t length_ = 0;
    char line_[line_size];
};

} // namespace base

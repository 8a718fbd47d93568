// Version arithmetic and the two text forms of a bootstrap version. The scans behave like the C
// library's formatted input in the "C" locale, but are written out by hand: a C scan of a number
// that does not fit its field has undefined behaviour, and an unbounded "%s" overruns its buffer.
#include "update/bs_version.h"

#include <cstdint>

namespace update {

namespace {

// Characters from a text, never beyond its end.
struct text_source {
    const char* p;
    const char* end;
    int peek() const { return p < end ? static_cast<unsigned char>(*p) : EOF; }
    void next() {
        if (p < end)
            ++p;
    }
};

// Characters from an open stream, one looked ahead.
struct file_source {
    std::FILE* file;
    int c;
    explicit file_source(std::FILE* f) : file(f), c(std::getc(f)) {}
    int peek() const { return c; }
    void next() {
        if (c != EOF)
            c = std::getc(file);
    }
};

bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(int c) {
    return c >= '0' && c <= '9';
}

// A literal character of a pattern: taken when it is next, left for the next scan when not.
template <class Source> bool match(Source& s, char c) {
    if (s.peek() != static_cast<unsigned char>(c))
        return false;
    s.next();
    return true;
}

// "%d": white space, an optional sign, decimal digits. A sign without digits is used up, as the
// C library does. A number beyond the 32-bit range is not stored: its digits are used up, the
// field keeps what it held and the scan ends there, so that a garbled number never turns into
// some other version.
template <class Source> bool scan_number(Source& s, int* out) {
    while (is_space(s.peek()))
        s.next();
    bool negative = false;
    if (s.peek() == '+' || s.peek() == '-') {
        negative = s.peek() == '-';
        s.next();
    }
    if (!is_digit(s.peek()))
        return false;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    bool overflow = false;
    for (; is_digit(s.peek()); s.next()) {
        if (overflow)
            continue;
        value = value * 10 + (s.peek() - '0');
        overflow = value > limit;
    }
    if (overflow)
        return false;
    *out = static_cast<int>(negative ? -value : value);
    return true;
}

// "%*[^c]": at least one character other than `c`; the scan fails without one.
template <class Source> bool skip_to(Source& s, char c) {
    bool any = false;
    for (int ch = s.peek(); ch != EOF && ch != static_cast<unsigned char>(c); ch = s.peek()) {
        s.next();
        any = true;
    }
    return any;
}

template <class Source> void scan_numbers(Source& s, bs_version* v) {
    if (scan_number(s, &v->major) && match(s, '.') && scan_number(s, &v->minor) && match(s, '.'))
        scan_number(s, &v->patch);
}

template <class Source> void scan_rc(Source& s, bs_version* v) {
    if (match(s, '-') && match(s, 'r') && match(s, 'c'))
        scan_number(s, &v->rc);
}

template <class Source> void scan_build(Source& s, bs_version* v) {
    if (match(s, '.') && match(s, 'b'))
        scan_number(s, &v->build);
}

template <class Source> void read_app_ver_from(Source& s, bs_version* v) {
    scan_numbers(s, v);
    scan_rc(s, v);
    scan_build(s, v);
}

text_source source_of(std::string_view text) {
    return text_source{text.data(), text.data() + text.size()};
}

} // namespace

bool is_newer(const bs_version& remote, const bs_version& local) {
    const int r[] = {remote.major, remote.minor, remote.patch, remote.rc, remote.build};
    const int l[] = {local.major, local.minor, local.patch, local.rc, local.build};
    for (int i = 0; i < 5; ++i)
        if (r[i] != l[i])
            return r[i] > l[i];
    return false;
}

void read_app_ver(std::FILE* file, bs_version* version) {
    file_source s(file);
    read_app_ver_from(s, version);
}

void read_app_ver(std::string_view text, bs_version* version) {
    text_source s = source_of(text);
    read_app_ver_from(s, version);
}

std::size_t format_app_ver(const bs_version& v, char* out) {
    int n = std::snprintf(out, app_ver_size, "%d.%d.%d", v.major, v.minor, v.patch);
    // Every rc, 0 and below too: left out, it would read back as the final release.
    n += std::snprintf(out + n, app_ver_size - n, "-rc%d", v.rc);
    n += std::snprintf(out + n, app_ver_size - n, ".b%ld", static_cast<long>(v.build));
    return static_cast<std::size_t>(n);
}

version_answer scan_answer(std::string_view text) {
    version_answer answer;
    bs_version& v = answer.version;

    text_source numbers = source_of(text);
    scan_numbers(numbers, &v);

    // The first '-' and the first 'b' of the whole answer, the download path included.
    text_source rc = source_of(text);
    if (skip_to(rc, '-'))
        scan_rc(rc, &v);

    text_source build = source_of(text);
    if (skip_to(build, 'b') && match(build, 'b'))
        scan_number(build, &v.build);

    text_source path = source_of(text);
    if (skip_to(path, ';') && match(path, ';')) {
        std::string_view before =
            text.substr(0, static_cast<std::size_t>(path.p - 1 - text.data()));
        while (!before.empty() && is_space(static_cast<unsigned char>(before.front())))
            before.remove_prefix(1);
        while (!before.empty() && is_space(static_cast<unsigned char>(before.back())))
            before.remove_suffix(1);
        answer.published = before;
        while (is_space(path.peek()))
            path.next();
        const char* start = path.p;
        while (path.peek() != EOF && !is_space(path.peek()))
            path.next();
        answer.path = std::string_view(start, static_cast<std::size_t>(path.p - start));
    }
    return answer;
}

} // namespace update

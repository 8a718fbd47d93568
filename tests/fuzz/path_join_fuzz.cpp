// The joins that build names from outside input: the request URL from a host and a path (the
// download path comes from a server's answer), the data directory from the common
// application-data folder, and the data directory's files. Every result must fit its buffer,
// be cut or refused exactly where the rules say, and never lose its terminator.
#include "base/path_append.h"
#include "config/deployment.h"
#include "config/product.h"
#include "launcher/data_dir.h"
#include "net/transport.h"
#include "platform/platform.h"
#include "update/https_fetch.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

using update::file_sink;
using update::https_data;

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fault: %s\n", what);
    std::abort();
}

std::string folder;     // what the folder query answers
std::wstring requested; // the URL the fetch asked for

// The join rules, spelled out the slow way: separators at the start of `more` go (unless the
// path is empty), one separator in between, nothing happens when the result would not fit.
bool joined(std::string path, std::string more, std::string* out) {
    if (!path.empty())
        more.erase(0, more.find_first_not_of('/') == std::string::npos
                          ? more.size()
                          : more.find_first_not_of('/'));
    if (more.empty()) {
        *out = path;
        return true;
    }
    if (!path.empty() && path.back() != '/')
        path += '/';
    if (path.size() + more.size() >= platform::max_path)
        return false;
    *out = path + more;
    return true;
}

void check_append(const std::string& start, const std::string& more) {
    if (start.size() >= platform::max_path || start.find('\0') != std::string::npos ||
        more.find('\0') != std::string::npos)
        return;
    // Exactly max_path bytes, as the callers give it.
    char* path = static_cast<char*>(std::malloc(platform::max_path));
    std::memcpy(path, start.c_str(), start.size() + 1);
    std::string expected;
    bool fits = joined(start, more, &expected);
    bool ok = base::append_path_rules(path, more.c_str(), '/');
    if (ok != fits || path != (fits ? expected : start))
        fault("path join wrong");
    std::free(path);
}

void check_data_dir(const std::string& root, const std::string& file) {
    if (root.size() >= platform::max_path || root.find('\0') != std::string::npos ||
        file.find('\0') != std::string::npos)
        return;
    folder = root;
    using launcher::app_path_size;
    char appDataPath[app_path_size];
    launcher::init(appDataPath, "/unused");
    // The three names are joined when all of them fit. A failed query, or a name that does not
    // fit, leaves no data directory here: the executable's path is never had.
    std::string dir = root == "?" ? "" : root;
    if (root != "?")
        for (const char* name : {config::companyName, config::appName, config::appVersion})
            if (!joined(dir, name, &dir)) {
                dir.clear();
                break;
            }
    if (strnlen(appDataPath, app_path_size) >= platform::max_path || dir != appDataPath)
        fault("data directory wrong");

    char* out = static_cast<char*>(std::malloc(app_path_size));
    launcher::data_file_path(appDataPath, out, file.c_str());
    // Without a data directory there is no data file: a bare name would resolve in the current
    // directory.
    std::string expected = dir;
    if (!dir.empty())
        joined(expected, file, &expected);
    if (strnlen(out, app_path_size) >= platform::max_path || expected != out)
        fault("data file path wrong");
    std::free(out);
}

void check_url(const std::wstring& host, const std::wstring& path) {
    static std::FILE* null = std::fopen("/dev/null", "wb");
    requested.clear();
    file_sink into(null);
    https_data(host.c_str(), path.c_str(), into);
    std::wstring whole = L"https://" + host + path;
    if (requested != whole.substr(0, 254))
        fault("URL not cut at 254 characters");
}

std::wstring wide(FuzzedDataProvider& in, std::size_t max) {
    std::wstring out;
    for (std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, max); n > 0; --n) {
        // Mostly 7-bit characters, now and then anything but the terminator.
        wchar_t c = in.ConsumeBool() ? static_cast<wchar_t>(in.ConsumeIntegralInRange(1, 127))
                                     : static_cast<wchar_t>(in.ConsumeIntegral<std::int32_t>());
        out += c ? c : L'x';
    }
    return out;
}

} // namespace

// The platform operations the data directory uses.
namespace platform {
long common_appdata_folder(char* buffer, const char*) {
    if (folder == "?")
        return -1; // the query failed
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return 0;
}
bool path_append(char* path, const char* more) {
    return base::append_path_rules(path, more, '/');
}
// The executable's own path is never had here: a failed folder query leaves no data directory.
bool install_path(char* out, const char*) {
    out[0] = '\0';
    return false;
}
} // namespace platform

// The fetch only gets as far as asking for the URL.
namespace transport {
ending get(const wchar_t* url, const options&, sink&) {
    requested = url;
    return ending::no_response;
}
} // namespace transport

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0: {
        std::string start = in.ConsumeRandomLengthString(300);
        check_append(start, in.ConsumeRemainingBytesAsString());
        break;
    }
    case 1: {
        std::string root = in.ConsumeRandomLengthString(300);
        check_data_dir(root, in.ConsumeRemainingBytesAsString());
        break;
    }
    default: {
        std::wstring host = wide(in, 300);
        check_url(host, wide(in, 1100));
    }
    }
    return 0;
}

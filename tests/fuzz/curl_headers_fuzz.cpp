// The Linux transport's own parsing of what a server sends before the body: response heads
// line by line as curl hands them over (status lines, interim and redirect heads, folded lines,
// anything at all), the head's header lookup, and the URL bytes made
// from a wide URL. The transport is compiled into this program whole so that the line handler
// can be driven without a connection.
#include "net/posix/transport_curl.cpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fault: %s\n", what);
    std::abort();
}

// The value of the first header named `name` (without regard to case), as the query must find.
const std::string* find(const request& r, const std::string& name) {
    for (auto& [key, value] : r.headers)
        if (same_name(key, name.c_str()))
            return &value;
    return nullptr;
}

// The head's lookup finds the first header of that name, whatever the case, and nothing else.
void check_lookup(const request& r, const std::string& name) {
    const std::string* value = find(r, name);
    std::string found;
    const bool ok = received_head(r).header(name.c_str(), found);
    if (ok != (value != nullptr) || (value && found != *value))
        fault("header lookup wrong");
}

void check_url(const std::wstring& url) {
    std::string bytes = url_bytes(url.c_str());
    bool plain = true;
    for (wchar_t c : url)
        plain = plain && c > 0x20 && c < 0x7F;
    for (unsigned char b : bytes)
        if (b <= 0x20 || b >= 0x7F)
            fault("URL byte not escaped");
    if (plain && bytes != std::string(url.begin(), url.end()))
        fault("plain URL changed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);

    std::wstring url;
    for (int n = in.ConsumeIntegralInRange<int>(0, 300); n > 0 && in.remaining_bytes() > 0; --n)
        url += static_cast<wchar_t>(in.ConsumeIntegral<std::int32_t>());
    check_url(url);

    // Names to look up; each comes with a buffer size that the lookup no longer needs, still
    // taken so that the corpus keeps its meaning.
    std::vector<std::string> queries;
    for (int n = in.ConsumeIntegralInRange<int>(0, 4); n > 0; --n) {
        queries.push_back(in.ConsumeRandomLengthString(32));
        in.ConsumeIntegralInRange<unsigned long>(0, 80);
    }
    if (in.ConsumeBool()) {
        queries.push_back("Content-Length");
        in.ConsumeIntegralInRange<unsigned long>(0, 40);
    }

    // The rest is what the server sent before the body, cut into lines as curl cuts them.
    std::string head = in.ConsumeRemainingBytesAsString();
    request r;
    for (std::size_t start = 0; start < head.size();) {
        std::size_t end = head.find('\n', start);
        end = end == std::string::npos ? head.size() : end + 1;
        std::string line = head.substr(start, end - start);
        if (on_header(line.data(), 1, line.size(), &r) != line.size())
            fault("header line refused");
        start = end;
    }
    if (r.activity != head.size())
        fault("head bytes not counted");

    for (auto& name : queries)
        check_lookup(r, name);
    return 0;
}

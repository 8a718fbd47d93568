// The fetch over a transport that plays whatever a server and the network may do: any status,
// any header list with any Content-Length value (long values take the header query's second
// round), reads that deliver odd amounts, zero bytes, failures, early ends. The fetch must stay
// inside its buffers, close every handle once (the request before the session), stop reading
// at the first empty read or once the announced length has arrived, and deliver exactly what
// the reads gave.
#include "config/deployment.h"
#include "net/wininet.h"
#include "platform/platform.h"
#include "tests/support/text.h"
#include "update/https_fetch.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <sanitizer/asan_interface.h>
#include <string>
#include <utility>
#include <vector>

using update::fetch_report;
using update::fetch_sink;
using update::file_sink;
using update::https_data;
using update::text_sink;

using testsupport::same_name;

namespace {

constexpr std::size_t answer_limit = 0xFFFFF;

struct read_step {
    bool fails;
    std::string data;
};

struct play {
    bool session_opens = true;
    bool url_opens = true;
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers;
    unsigned long size_slack = 0; // the header query may ask for more room than it needs
    std::vector<read_step> reads;

    // What happened.
    int session_tag = 0;
    int request_tag = 0;
    int open_session = 0;
    int open_request = 0;
    bool request_closed = false;
    std::size_t next_read = 0;
    std::uint64_t received = 0;
    bool ended = false; // an empty read was delivered
    bool any_failed = false;
    std::vector<std::string> delivered;
    // Content-Length as the fetch should take it.
    bool has_length = false;
    std::uint32_t length = 0;
};

play* current;

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fault: %s\n", what);
    std::abort();
}

const std::string* header(const play& p, const char* name) {
    for (auto& [key, value] : p.headers)
        if (same_name(key, name))
            return &value;
    return nullptr;
}

// A usable Content-Length: a decimal number at the start of the value that fits 32 bits.
void expected_length(play& p) {
    const std::string* value = header(p, "Content-Length");
    if (!value || value->empty() || (*value)[0] < '0' || (*value)[0] > '9')
        return;
    std::uint64_t n = 0;
    for (char c : *value) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
        if (n > 0xFFFFFFFFull)
            return;
    }
    p.has_length = true;
    p.length = static_cast<std::uint32_t>(n);
}

play make_play(FuzzedDataProvider& in, bool memory_mode) {
    play p;
    p.session_opens = in.ConsumeIntegralInRange<int>(0, 15) != 0;
    p.url_opens = in.ConsumeIntegralInRange<int>(0, 15) != 0;
    p.status = in.ConsumeIntegral<int>();
    p.size_slack = in.ConsumeIntegralInRange<unsigned long>(0, 3);
    int headers = in.ConsumeIntegralInRange<int>(0, 4);
    for (int i = 0; i < headers; ++i) {
        std::string name = in.ConsumeBool() ? "Content-Length" : in.ConsumeRandomLengthString(24);
        if (in.ConsumeBool() && !name.empty())
            name[0] = static_cast<char>(name[0] ^ 0x20); // another case
        p.headers.emplace_back(name, in.ConsumeRandomLengthString(64));
    }
    // Reads: a few bytes taken as they are, or a run of one byte. In memory mode the runs are
    // long enough to reach the 1 MiB answer limit from short inputs; a stream has no limit, and
    // long bodies there would only cost time.
    const std::size_t longest_run = memory_mode ? 8192 : 256;
    while (in.remaining_bytes() > 0 && p.reads.size() < 400) {
        read_step step{false, {}};
        switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            step.fails = true;
            break;
        case 1:
        case 2:
            step.data = in.ConsumeRandomLengthString(32);
            break;
        default: {
            std::size_t n = in.ConsumeIntegralInRange<std::size_t>(1, longest_run);
            step.data.assign(n, static_cast<char>(in.ConsumeIntegral<std::uint8_t>()));
        }
        }
        p.reads.push_back(std::move(step));
    }
    expected_length(p);
    return p;
}

} // namespace

// Every call in memory mode takes a 1 MiB answer buffer, and a fresh mapping of that size per
// input costs milliseconds here, far more than the fetch itself. The program is linked with
// malloc and free wrapped: that one size comes from a block taken once, poisoned while it is
// not handed out, so that a use after free or a write past its end is still caught.
extern "C" void* __real_malloc(std::size_t size);
extern "C" void __real_free(void* p);

namespace {
constexpr std::size_t answer_size = 0x100000;
void* answer_block;
bool answer_block_out;
} // namespace

extern "C" void* __wrap_malloc(std::size_t size) {
    if (size != answer_size || answer_block_out)
        return __real_malloc(size);
    if (!answer_block)
        answer_block = __real_malloc(size);
    answer_block_out = answer_block != nullptr;
    ASAN_UNPOISON_MEMORY_REGION(answer_block, size);
    return answer_block;
}

extern "C" void __wrap_free(void* p) {
    if (!p || p != answer_block) {
        __real_free(p);
        return;
    }
    if (!answer_block_out)
        fault("answer buffer freed twice");
    answer_block_out = false;
    ASAN_POISON_MEMORY_REGION(answer_block, answer_size);
}

namespace wininet {

handle open_session(const wchar_t*, const transport::options&) {
    if (!current->session_opens)
        return nullptr;
    ++current->open_session;
    return &current->session_tag;
}

bool set_connect_timeout(handle session, unsigned long) {
    if (session != &current->session_tag)
        fault("time-out set on something else than the session");
    return true;
}

bool set_status_callback(handle session, status_callback) {
    if (session != &current->session_tag)
        fault("callback set on something else than the session");
    return true;
}

handle open_url(handle session, const wchar_t*, std::uintptr_t context, const char*) {
    if (session != &current->session_tag || context == 0)
        fault("request without its session or context");
    if (!current->url_opens)
        return nullptr;
    ++current->open_request;
    return &current->request_tag;
}

bool query_info(handle request, unsigned long level, char* buffer, unsigned long* size,
                unsigned long* error) {
    if (request != &current->request_tag || level != query_custom)
        fault("header query on something else than the request");
    std::string name(buffer, strnlen(buffer, *size));
    const std::string* value = header(*current, name.c_str());
    if (!value) {
        *error = error_header_not_found;
        return false;
    }
    if (value->size() + 1 > *size) {
        *size = static_cast<unsigned long>(value->size() + 1 + current->size_slack);
        *error = error_insufficient_buffer;
        return false;
    }
    // Only the room the caller declared is written.
    std::memcpy(buffer, value->c_str(), value->size() + 1);
    *size = static_cast<unsigned long>(value->size());
    return true;
}

int status_code(handle request) {
    if (request != &current->request_tag)
        fault("status of something else than the request");
    return current->status;
}

bool read(handle request, void* buffer, unsigned long size, unsigned long* read) {
    play& p = *current;
    if (request != &p.request_tag)
        fault("read on something else than the request");
    if (p.ended)
        fault("read after the body ended");
    if (p.has_length && p.length > 0 && p.received >= p.length)
        fault("read after the announced length arrived");
    *read = 0;
    if (p.next_read == p.reads.size()) {
        p.ended = true;
        return true;
    }
    const read_step& step = p.reads[p.next_read++];
    if (step.fails) {
        p.any_failed = true;
        p.ended = true; // a failed read counts as empty: the fetch must not read again
        return false;
    }
    std::size_t n = step.data.size() < size ? step.data.size() : size;
    std::memcpy(buffer, step.data.data(), n);
    *read = static_cast<unsigned long>(n);
    p.received += n;
    p.delivered.push_back(step.data.substr(0, n));
    if (n == 0)
        p.ended = true;
    return true;
}

bool close(handle internet) {
    if (internet == &current->request_tag) {
        if (current->open_request-- != 1)
            fault("request closed twice");
        current->request_closed = true;
    } else if (internet == &current->session_tag) {
        if (current->open_session-- != 1)
            fault("session closed twice");
        if (current->open_request > 0)
            fault("session closed before its request");
    } else {
        fault("closed an unknown handle");
    }
    return true;
}

} // namespace wininet

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    bool memory_mode = in.ConsumeBool();
    play p = make_play(in, memory_mode);
    current = &p;

    char* stream_bytes = nullptr;
    std::size_t stream_size = 0;
    std::FILE* stream = memory_mode ? nullptr : open_memstream(&stream_bytes, &stream_size);
    if (!memory_mode && !stream)
        return 0;

    text_sink text_into;
    file_sink file_into(stream);
    fetch_sink& into = memory_mode ? static_cast<fetch_sink&>(text_into) : file_into;
    const fetch_report report = https_data(L"host.example", L"/path", into);
    const char* text = memory_mode ? text_into.text() : nullptr;

    if (p.open_session != 0 || p.open_request != 0)
        fault("a handle was left open");
    bool requested = p.session_opens && p.url_opens;
    if (!requested && (p.next_read != 0 || report.status != 0))
        fault("read without a request");
    if (requested && report.status != p.status)
        fault("status not reported");
    if (requested && (report.has_content_length != p.has_length ||
                      report.content_length != (p.has_length ? p.length : 0)))
        fault("Content-Length taken wrongly");
    // A stream takes no byte beyond the announced length.
    const std::uint64_t cap =
        !memory_mode && p.has_length && p.length > 0 ? p.length : ~std::uint64_t{0};
    if (report.received != static_cast<std::uint32_t>(p.received < cap ? p.received : cap))
        fault("received count wrong");
    if (p.any_failed && !report.read_failed)
        fault("failed read not reported");
    if (requested && p.has_length && p.length > 0 && p.received < p.length && !report.read_failed)
        fault("short body not reported");

    if (memory_mode) {
        if (!text)
            fault("memory mode without text");
        // Each chunk up to its first zero byte, until one would cross the limit.
        std::string expected;
        std::size_t length = 0;
        for (std::size_t i = 0; i < p.delivered.size(); ++i) {
            const std::string& chunk = p.delivered[i];
            if (length + chunk.size() > answer_limit) {
                if (i + 1 != p.delivered.size())
                    fault("read on after the answer limit");
                break;
            }
            std::string prefix(chunk.c_str());
            expected += prefix;
            length += prefix.size();
        }
        if (std::strlen(text) > answer_limit || expected != text)
            fault("answer text wrong");
    } else {
        if (text)
            fault("stream mode returned text");
        std::fclose(stream);
        std::string all;
        for (auto& chunk : p.delivered)
            all += chunk;
        if (all.size() > cap)
            all.resize(static_cast<std::size_t>(cap));
        if (all.size() != stream_size || std::memcmp(all.data(), stream_bytes, stream_size) != 0)
            fault("stream content wrong");
        std::free(stream_bytes);
    }
    current = nullptr;
    return 0;
}

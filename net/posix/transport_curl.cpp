// A GET on Linux, over libcurl: the response head is received first and handed to the sink, then
// the body in blocks of at most 8 KiB as the sink takes them. curl's multi interface is driven
// from the calling thread; nothing runs in the background.
#include "net/posix/curl_request.h"
#include "net/transport.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>

using namespace curl_transport;

namespace {

// The most the sink is handed at once: what the fetch takes per read elsewhere.
constexpr std::size_t block_size = 8192;

bool is_directory(const char* path) {
    struct stat st {};
    return path && *path && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto* r = static_cast<request*>(user);
    std::size_t n = size * count;
    if (r->held.size() - r->held_offset >= held_limit) {
        r->paused = true;
        return CURL_WRITEFUNC_PAUSE; // curl keeps these bytes and offers them again
    }
    r->head = true;
    r->activity += n;
    r->held.append(data, n);
    return n;
}

void collect(request* r) {
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(r->multi, &left)) {
        if (m->msg == CURLMSG_DONE && m->easy_handle == r->easy) {
            r->done = true;
            r->failed = m->data.result != CURLE_OK;
        }
    }
}

// Drives the transfer until `ready()` holds or it ends. A transfer that receives nothing for
// the deployment's receive time-out ends as failed: a server that accepts and then says
// nothing must not hold the start for ever.
template <class Ready> void pump(request* r, Ready ready) {
    using clock = std::chrono::steady_clock;
    const auto bound = std::chrono::milliseconds(r->receive_timeout_ms);
    if (r->paused) {
        r->paused = false;
        curl_easy_pause(r->easy, CURLPAUSE_CONT);
    }
    auto quiet_since = clock::now();
    std::uint64_t seen = r->activity;
    while (!ready() && !r->done) {
        int running = 0;
        if (curl_multi_perform(r->multi, &running) != CURLM_OK) {
            r->done = r->failed = true;
            break;
        }
        collect(r);
        if (ready() || r->done)
            break;
        auto now = clock::now();
        if (r->activity != seen) {
            seen = r->activity;
            quiet_since = now;
        } else if (now - quiet_since >= bound) {
            r->done = r->failed = true;
            break;
        }
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(bound - (now - quiet_since));
        int wait = static_cast<int>(std::clamp<long long>(left.count(), 1, 1000));
        curl_multi_poll(r->multi, nullptr, 0, wait, nullptr);
    }
}

// Splits CRLF-ended header lines into the list curl sends; false when there are none.
bool set_headers(request* r, const char* headers) {
    for (const char* p = headers; p && *p;) {
        const char* end = std::strstr(p, "\r\n");
        std::size_t n = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
        if (n > 0)
            r->header_lines.emplace_back(p, n);
        p += n + (end ? 2 : 0);
    }
    r->header_nodes.resize(r->header_lines.size());
    for (std::size_t i = 0; i < r->header_lines.size(); ++i)
        r->header_nodes[i] = {r->header_lines[i].data(),
                              i + 1 < r->header_nodes.size() ? &r->header_nodes[i + 1] : nullptr};
    return !r->header_nodes.empty();
}

bool global_init() {
    static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok;
}

// Trust: a store in one file is parsed whole by the TLS library at every start (OpenSSL 3:
// 28 ms and far more on a busy machine for the system's 140 certificates); from a hashed
// directory (c_rehash layout) it reads only the certificates a chain needs. So the system store
// is taken through its directory where the library knows one, and a deployment may name a
// directory as well as a file.
void set_trust(CURL* e, const char* ca_bundle) {
    if (ca_bundle && *ca_bundle) {
        // The deployment's CAs replace the system store rather than adding to it.
        bool directory = is_directory(ca_bundle);
        curl_easy_setopt(e, CURLOPT_CAINFO, directory ? nullptr : ca_bundle);
        curl_easy_setopt(e, CURLOPT_CAPATH, directory ? ca_bundle : nullptr);
    } else {
        char* system_directory = nullptr;
        if (curl_easy_getinfo(e, CURLINFO_CAPATH, &system_directory) == CURLE_OK &&
            is_directory(system_directory))
            curl_easy_setopt(e, CURLOPT_CAINFO, static_cast<char*>(nullptr));
    }
}

void set_options(request* r, const transport::options& o) {
    CURL* e = r->easy;
    curl_easy_setopt(e, CURLOPT_URL, r->url.c_str());
    curl_easy_setopt(e, CURLOPT_USERAGENT, r->user_agent.c_str());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // Secure requests only, redirects included; certificate and host name are always checked.
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, max_redirects);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    set_trust(e, o.ca_bundle);
    if (o.connect_timeout_ms > 0)
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(o.connect_timeout_ms));
    // The deployment's bounds, also where the fetch is not reading: no body beyond the largest
    // download is taken in, and no transfer outlasts the download deadline.
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(o.max_download));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(o.deadline_ms));
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, receive_buffer_size);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &on_header);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, r);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &on_body);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, r);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, r->error);
    if (set_headers(r, o.headers))
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, r->header_nodes.data());
    // Proxies come from curl's own environment variables (https_proxy, no_proxy, ...), the
    // Linux counterpart of the system's proxy settings.
}

// The request sent and its final response head received; null when there is no response.
std::unique_ptr<request> open(const wchar_t* url, const transport::options& o) {
    if (!url || !global_init())
        return nullptr;
    std::unique_ptr<request> r(new (std::nothrow) request);
    if (!r)
        return nullptr;
    r->url = url_bytes(url);
    r->user_agent = narrow(o.user_agent ? o.user_agent : L"");
    r->receive_timeout_ms = o.receive_timeout_ms;
    r->multi = curl_multi_init();
    r->easy = curl_easy_init();
    if (!r->multi || !r->easy)
        return nullptr;
    set_options(r.get(), o);
    if (curl_multi_add_handle(r->multi, r->easy) != CURLM_OK)
        return nullptr;
    request* p = r.get();
    pump(p, [p] { return p->head; });
    if (p->done && !p->failed)
        p->head = true; // ended without a body: the last head received is the answer
    if (!p->head)
        return nullptr;
    long code = 0;
    if (curl_easy_getinfo(p->easy, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK && code > 0)
        p->status = code;
    return r;
}

class received_head : public transport::response {
  public:
    explicit received_head(const request& r) : r_(r) {}
    int status() const override { return static_cast<int>(r_.status); }
    bool header(const char* name, std::string& value) const override {
        for (auto& [key, text] : r_.headers)
            if (same_name(key, name)) {
                value = text;
                return true;
            }
        return false;
    }

  private:
    const request& r_;
};

} // namespace

namespace transport {

ending get(const wchar_t* url, const options& o, sink& into) {
    std::unique_ptr<request> r = open(url, o);
    if (!r)
        return ending::no_response;
    if (!into.head(received_head(*r)))
        return ending::declined;
    request* p = r.get();
    for (;;) {
        if (p->held_offset == p->held.size() && !p->done)
            pump(p, [p] { return p->held_offset < p->held.size(); });
        std::size_t n = std::min(block_size, p->held.size() - p->held_offset);
        // After the last held byte, a broken or timed-out transfer ends as broken.
        if (n == 0)
            return p->failed ? ending::broken : ending::body_end;
        const char* block = p->held.data() + p->held_offset;
        p->held_offset += n;
        if (!into.body(block, n))
            return ending::stopped;
        if (p->held_offset == p->held.size()) {
            p->held.clear();
            p->held_offset = 0;
        }
    }
}

} // namespace transport

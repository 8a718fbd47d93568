// The fetch's internet service on Linux, over libcurl. It offers what the fetch uses of WinINet:
// a session, a request that has received its response head when open_url returns, header
// queries that answer like HttpQueryInfoA, and a pull read of at most the asked bytes. curl's
// multi interface is driven from the calling thread; nothing runs in the background.
#include "net/posix/curl_request.h"
#include "net/transport.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <new>
#include <string>
#include <sys/stat.h>

using namespace curl_transport;

namespace {

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

session* as_session(transport::handle h) {
    auto* o = static_cast<object*>(h);
    return o && o->tag == kind::session ? static_cast<session*>(o) : nullptr;
}

request* as_request(transport::handle h) {
    auto* o = static_cast<object*>(h);
    return o && o->tag == kind::request ? static_cast<request*>(o) : nullptr;
}

transport::handle as_handle(object* o) {
    return o;
}

bool global_init() {
    static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok;
}

} // namespace

namespace transport {

handle open_session(const wchar_t* user_agent, const session_options& options) {
    if (!global_init())
        return nullptr;
    auto* s = new (std::nothrow) session;
    if (!s)
        return nullptr;
    s->user_agent = narrow(user_agent);
    s->options = options;
    s->ca_bundle = options.ca_bundle ? options.ca_bundle : "";
    return as_handle(s);
}

bool set_connect_timeout(handle internet, unsigned long ms) {
    session* s = as_session(internet);
    if (!s)
        return false;
    s->connect_timeout_ms = static_cast<long>(ms);
    return true;
}

bool set_status_callback(handle internet, status_callback callback) {
    session* s = as_session(internet);
    if (!s)
        return false;
    s->callback = callback;
    return true;
}

handle open_url(handle internet, const wchar_t* url, std::uintptr_t context, const char* headers) {
    session* s = as_session(internet);
    if (!s || !url)
        return nullptr;
    auto* r = new (std::nothrow) request;
    if (!r)
        return nullptr;
    r->callback = s->callback;
    r->context = context;
    r->url = url_bytes(url);
    r->user_agent = s->user_agent;
    r->receive_timeout_ms = s->options.receive_timeout_ms;
    r->multi = curl_multi_init();
    r->easy = curl_easy_init();
    if (!r->multi || !r->easy) {
        delete r;
        return nullptr;
    }
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
    // A store in one file is parsed whole by the TLS library at every start (OpenSSL 3: 28 ms
    // and far more on a busy machine for the system's 140 certificates); from a hashed directory
    // (c_rehash layout) it reads only the certificates a chain needs. So the system store is
    // taken through its directory where the library knows one, and a deployment may name a
    // directory as well as a file.
    if (!s->ca_bundle.empty()) {
        // The deployment's CAs replace the system store rather than adding to it.
        bool directory = is_directory(s->ca_bundle.c_str());
        curl_easy_setopt(e, CURLOPT_CAINFO, directory ? nullptr : s->ca_bundle.c_str());
        curl_easy_setopt(e, CURLOPT_CAPATH, directory ? s->ca_bundle.c_str() : nullptr);
    } else {
        char* system_directory = nullptr;
        if (curl_easy_getinfo(e, CURLINFO_CAPATH, &system_directory) == CURLE_OK &&
            is_directory(system_directory))
            curl_easy_setopt(e, CURLOPT_CAINFO, static_cast<char*>(nullptr));
    }
    if (s->connect_timeout_ms > 0)
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, s->connect_timeout_ms);
    // The deployment's bounds, also where the fetch is not reading: no body beyond the largest
    // download is taken in, and no transfer outlasts the download deadline.
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(s->options.max_download));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(s->options.deadline_ms));
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, receive_buffer_size);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &on_header);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, r);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &on_body);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, r);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, r->error);
    if (set_headers(r, headers))
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, r->header_nodes.data());
    // Proxies come from curl's own environment variables (https_proxy, no_proxy, ...), the
    // Linux counterpart of the system's proxy settings.
    if (curl_multi_add_handle(r->multi, e) != CURLM_OK) {
        delete r;
        return nullptr;
    }
    notify(r, status_handle_created);

    pump(r, [r] { return r->head; });
    if (r->done && !r->failed)
        r->head = true; // ended without a body: the last head received is the answer
    if (!r->head) {
        notify(r, status_handle_closing);
        delete r;
        return nullptr;
    }
    long code = 0;
    if (curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK && code > 0)
        r->status = code;
    notify(r, status_response_received);
    return as_handle(r);
}

bool query_info(handle internet, unsigned long level, char* buffer, unsigned long* size,
                unsigned long* error) {
    request* r = as_request(internet);
    if (!r || !buffer || !size) {
        if (error)
            *error = error_invalid_query;
        return false;
    }
    if (level != query_custom) {
        if (error)
            *error = error_invalid_query;
        return false;
    }
    const std::string name(buffer, strnlen(buffer, *size));
    for (auto& [key, value] : r->headers) {
        if (!same_name(key, name.c_str()))
            continue;
        if (value.size() + 1 > *size) {
            // Like HttpQueryInfoA: the size with the terminator, nothing written.
            *size = static_cast<unsigned long>(value.size() + 1);
            if (error)
                *error = error_insufficient_buffer;
            return false;
        }
        std::memcpy(buffer, value.c_str(), value.size() + 1);
        *size = static_cast<unsigned long>(value.size());
        return true;
    }
    if (error)
        *error = error_header_not_found;
    return false;
}

int status_code(handle internet) {
    request* r = as_request(internet);
    return r ? static_cast<int>(r->status) : 0;
}

bool read(handle internet, void* buffer, unsigned long size, unsigned long* read) {
    request* r = as_request(internet);
    if (read)
        *read = 0;
    if (!r || !buffer || !read)
        return false;
    if (r->held_offset == r->held.size() && !r->done)
        pump(r, [r] { return r->held_offset < r->held.size(); });
    std::size_t n = std::min<std::size_t>(size, r->held.size() - r->held_offset);
    std::memcpy(buffer, r->held.data() + r->held_offset, n);
    r->held_offset += n;
    if (r->held_offset == r->held.size()) {
        r->held.clear();
        r->held_offset = 0;
    }
    *read = static_cast<unsigned long>(n);
    // After the last held byte, a broken or timed-out transfer shows as a failed read.
    return n > 0 || !r->failed;
}

bool close(handle internet) {
    if (session* s = as_session(internet)) {
        delete s;
        return true;
    }
    if (request* r = as_request(internet)) {
        notify(r, status_handle_closing);
        delete r;
        return true;
    }
    return false;
}

} // namespace transport

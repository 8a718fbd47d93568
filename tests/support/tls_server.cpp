#include "tests/support/tls_server.h"

#include "tests/support/text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

const char* reason_phrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// A byte that cannot be part of an HTTP request head: the client is speaking something else
// (a TLS ClientHello sent to the plain server, for instance).
bool foreign_byte(unsigned char c) {
    return c >= 0x7f || (c < 0x20 && c != '\r' && c != '\n' && c != '\t');
}

constexpr std::size_t max_head = 64 * 1024;

// One side of a connection: TLS over the socket, or the socket itself.
struct channel {
    int fd;
    std::atomic<std::uint64_t>* sent; // bytes written, over all connections
    SSL* ssl = nullptr;

    long read(char* buffer, std::size_t size) {
        if (ssl)
            return SSL_read(ssl, buffer, static_cast<int>(size));
        return ::recv(fd, buffer, size, 0);
    }
    bool write(const char* data, std::size_t size) {
        while (size > 0) {
            long n =
                ssl ? SSL_write(ssl, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)))
                    : ::send(fd, data, size, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            *sent += static_cast<std::uint64_t>(n);
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
};

} // namespace

std::string response_head(int status, const header_list& headers) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason_phrase(status) + "\r\n";
    for (auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    return head + "\r\n";
}

std::string http_response(int status, const std::string& body, const header_list& headers) {
    header_list all = headers;
    bool has_length = std::any_of(all.begin(), all.end(),
                                  [](auto& h) { return same_name(h.first, "Content-Length"); });
    if (!has_length)
        all.emplace_back("Content-Length", std::to_string(body.size()));
    return response_head(status, all) + body;
}

script& script::send(std::string bytes) {
    steps.push_back({kind::send, std::move(bytes), 0});
    return *this;
}
script& script::send_file(std::string path) {
    steps.push_back({kind::send_file, std::move(path), 0});
    return *this;
}
script& script::pause(unsigned ms) {
    steps.push_back({kind::pause, {}, ms});
    return *this;
}
script& script::close() {
    steps.push_back({kind::close, {}, 0});
    return *this;
}
script& script::abort() {
    steps.push_back({kind::abort, {}, 0});
    return *this;
}
script& script::reset() {
    steps.push_back({kind::reset, {}, 0});
    return *this;
}

script answer(std::string whole) {
    return script{}.send(std::move(whole));
}

std::string request::header(const std::string& name) const {
    std::size_t pos = head.find("\r\n");
    while (pos != std::string::npos && pos + 2 < head.size()) {
        std::size_t start = pos + 2;
        std::size_t end = head.find("\r\n", start);
        if (end == std::string::npos)
            end = head.size();
        std::string line = head.substr(start, end - start);
        std::size_t colon = line.find(':');
        if (colon != std::string::npos && same_name(line.substr(0, colon), name)) {
            std::size_t v = line.find_first_not_of(" \t", colon + 1);
            return v == std::string::npos ? std::string() : line.substr(v);
        }
        pos = end;
    }
    return {};
}

tls_server::tls_server(tls_server_options options) : options_(std::move(options)) {
    // A client that goes away mid-answer must not kill the test process.
    ::signal(SIGPIPE, SIG_IGN);
    if (!options_.plain && !options_.silent) {
        SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
        if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, options_.cert.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx, options_.key.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_check_private_key(ctx) != 1) {
            error_ =
                "cannot load certificate '" + options_.cert + "' and key '" + options_.key + "'";
            SSL_CTX_free(ctx);
            return;
        }
        ssl_ctx_ = ctx;
    }

    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(options_.port));
    socklen_t length = sizeof address;
    if (listen_fd_ < 0 ||
        ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_fd_, 64) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error_ = "cannot listen on 127.0.0.1:" + std::to_string(options_.port) + ": " +
                 std::strerror(errno);
        if (listen_fd_ >= 0)
            ::close(listen_fd_);
        listen_fd_ = -1;
        return;
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept_loop(); });
}

tls_server::~tls_server() {
    stop();
    if (ssl_ctx_)
        SSL_CTX_free(static_cast<SSL_CTX*>(ssl_ctx_));
}

std::string tls_server::host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::wstring tls_server::whost() const {
    std::string h = host();
    return std::wstring(h.begin(), h.end());
}

std::string tls_server::url(const std::string& path) const {
    return (options_.plain ? "http://" : "https://") + host() + path;
}

void tls_server::on(const std::string& target, script s) {
    std::lock_guard<std::mutex> lock(mutex_);
    scripts_[target] = std::move(s);
}

void tls_server::otherwise(std::function<script(const request&)> handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    otherwise_ = std::move(handler);
}

std::vector<request> tls_server::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::size_t tls_server::requests_for(const std::string& target) const {
    std::size_t n = 0;
    for (auto& r : requests())
        n += r.target == target;
    return n;
}

std::vector<std::string> tls_server::request_lines() const {
    std::vector<std::string> lines;
    for (auto& r : requests())
        lines.push_back(r.line);
    return lines;
}

void tls_server::stop() {
    if (stopping_.exchange(true))
        return;
    wake_.notify_all();
    if (listen_fd_ >= 0)
        ::shutdown(listen_fd_, SHUT_RDWR);
    if (acceptor_.joinable())
        acceptor_.join();
    if (listen_fd_ >= 0)
        ::close(listen_fd_);
    listen_fd_ = -1;
    // Wakes every connection blocked in a handshake, read or write; pauses end on wake_.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& c : connections_)
            if (c->fd >= 0)
                ::shutdown(c->fd, SHUT_RDWR);
    }
    wake_.notify_all();
    for (auto& c : connections_)
        if (c->thread.joinable())
            c->thread.join();
    connections_.clear();
}

void tls_server::accept_loop() {
    while (!stopping_) {
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        ++accepted_;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            ::close(fd);
            return;
        }
        // Reaps the threads of connections that have ended.
        for (auto it = connections_.begin(); it != connections_.end();) {
            if ((*it)->done) {
                (*it)->thread.join();
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
        auto c = std::make_unique<connection>();
        c->fd = fd;
        connection* raw = c.get();
        connections_.push_back(std::move(c));
        raw->thread = std::thread([this, raw] {
            serve(raw);
            raw->done = true;
        });
    }
}

bool tls_server::wait_ms(unsigned ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms),
                           [this] { return stopping_.load(); });
}

void tls_server::close_fd(connection* c, bool reset) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (c->fd < 0)
        return;
    if (reset) {
        linger l{1, 0};
        ::setsockopt(c->fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    ::close(c->fd);
    c->fd = -1;
}

script tls_server::lookup(const request& r) {
    std::function<script(const request&)> handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = scripts_.find(r.target);
        if (it != scripts_.end())
            return it->second;
        handler = otherwise_;
    }
    if (handler)
        return handler(r);
    return answer(http_response(404, "<html><body><h1>404 Not Found</h1></body></html>\n",
                                {{"Content-Type", "text/html"}}));
}

void tls_server::serve(connection* c) {
    if (options_.silent) {
        // Takes what the client sends and answers nothing, until it gives up or the server stops.
        char sink[4096];
        while (!stopping_) {
            pollfd p{c->fd, POLLIN, 0};
            int ready = ::poll(&p, 1, 100);
            if (ready > 0 && ::recv(c->fd, sink, sizeof sink, 0) <= 0)
                break;
        }
        close_fd(c, false);
        return;
    }

    channel ch{c->fd, &sent_};
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(nullptr, &SSL_free);
    if (ssl_ctx_) {
        ssl.reset(SSL_new(static_cast<SSL_CTX*>(ssl_ctx_)));
        if (!ssl || SSL_set_fd(ssl.get(), c->fd) != 1 || SSL_accept(ssl.get()) != 1) {
            ERR_clear_error();
            close_fd(c, false);
            return;
        }
        ch.ssl = ssl.get();
    }

    // The request head, up to the blank line.
    std::string head;
    bool foreign = false;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < max_head && !foreign) {
        long n = ch.read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (long i = 0; i < n; ++i)
            foreign = foreign || foreign_byte(static_cast<unsigned char>(buffer[i]));
        head.append(buffer, static_cast<std::size_t>(n));
    }
    script s;
    if (foreign) {
        s = answer(http_response(400, "<html><body><h1>400 Bad Request</h1></body></html>\n",
                                 {{"Content-Type", "text/html"}, {"Connection", "close"}}));
    } else if (head.find("\r\n\r\n") == std::string::npos) {
        ERR_clear_error();
        close_fd(c, false);
        return;
    } else {
        request r;
        r.head = head.substr(0, head.find("\r\n\r\n") + 2);
        r.line = head.substr(0, head.find("\r\n"));
        std::size_t first = r.line.find(' ');
        std::size_t last = r.line.rfind(' ');
        if (first != std::string::npos && last > first)
            r.target = r.line.substr(first + 1, last - first - 1);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(r);
        }
        s = lookup(r);
    }

    script::kind end = script::kind::close;
    bool broken = false;
    for (auto& st : s.steps) {
        if (stopping_ || broken)
            break;
        if (st.what == script::kind::send) {
            broken = !ch.write(st.data.data(), st.data.size());
        } else if (st.what == script::kind::send_file) {
            std::ifstream in(st.data, std::ios::binary);
            std::vector<char> block(256 * 1024);
            while (in && !broken) {
                in.read(block.data(), static_cast<std::streamsize>(block.size()));
                if (in.gcount() > 0)
                    broken = !ch.write(block.data(), static_cast<std::size_t>(in.gcount()));
            }
        } else if (st.what == script::kind::pause) {
            if (!wait_ms(st.ms))
                break;
        } else {
            end = st.what;
            break;
        }
    }
    if (end == script::kind::close && ch.ssl && !broken && !stopping_)
        SSL_shutdown(ch.ssl);
    ERR_clear_error();
    close_fd(c, end == script::kind::reset);
}

unanswering_port::unanswering_port() {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listen_fd_ < 0 ||
        ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_fd_, 0) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    // Linux queues one connection more than the backlog; the rest of the fillers wait unanswered
    // like the client will.
    for (int i = 0; i < 3; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return;
        fillers_.push_back(fd);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
            errno != EINPROGRESS)
            return;
    }
    // The first filler's handshake completes at once; once it has, the queue is full.
    pollfd first{fillers_[0], POLLOUT, 0};
    if (::poll(&first, 1, 2000) == 1)
        port_ = ntohs(address.sin_port);
}

unanswering_port::~unanswering_port() {
    for (int fd : fillers_)
        ::close(fd);
    if (listen_fd_ >= 0)
        ::close(listen_fd_);
}

std::string unanswering_port::host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

} // namespace testsupport

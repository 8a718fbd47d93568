// A scripted HTTPS server on loopback for tests and benchmarks. It reads one request head per
// connection, looks up what to answer by the request target, and plays that answer byte for
// byte: any status line and headers, body bytes, pauses, and the way the connection ends. It
// records every request line it was sent. Every connection runs on a thread of its own, so a
// stalled answer never holds up the next client; stop() ends them all at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

using header_list = std::vector<std::pair<std::string, std::string>>;

// The status line and headers of a response, ending with the blank line. No header is added.
std::string response_head(int status, const header_list& headers = {});
// A whole response: head with Content-Length (unless `headers` already names one) and body.
std::string http_response(int status, const std::string& body, const header_list& headers = {});

// What the server does on a connection once it has read the request head.
struct script {
    enum class kind { send, send_file, pause, close, abort, reset };
    struct step {
        kind what;
        std::string data; // send: the bytes; send_file: the file's path
        unsigned ms = 0;  // pause
    };
    std::vector<step> steps;

    script& send(std::string bytes);
    // The contents of a file, read and sent in blocks (large bodies need not be in memory).
    script& send_file(std::string path);
    // Sends nothing for `ms` milliseconds (a stall in the head or the body).
    script& pause(unsigned ms);
    // Ends the connection with a TLS close_notify; also what happens after the last step.
    script& close();
    // Ends the connection without close_notify: the TCP connection just closes.
    script& abort();
    // Ends the connection with a TCP reset.
    script& reset();
};

// A script that sends `whole` in one piece and closes.
script answer(std::string whole);

struct request {
    std::string line;   // "GET /path?query HTTP/1.1"
    std::string target; // "/path?query"
    std::string head;   // the request line and headers as received
    // The value of a request header (first match, name compared without regard to case).
    std::string header(const std::string& name) const;
};

struct tls_server_options {
    std::string cert;    // PEM certificate (chain) file
    std::string key;     // PEM private key file
    int port = 0;        // 0: an ephemeral port, see port()
    bool plain = false;  // plain HTTP instead of TLS
    bool silent = false; // accept connections and send nothing at all, not even a handshake
};

class tls_server {
  public:
    explicit tls_server(tls_server_options options);
    ~tls_server();
    tls_server(const tls_server&) = delete;
    tls_server& operator=(const tls_server&) = delete;

    // The port it listens on; 0 when it could not start (see error()).
    int port() const { return port_; }
    const std::string& error() const { return error_; }
    // "127.0.0.1:<port>", as a host of the server list would name it.
    std::string host() const;
    std::wstring whost() const;
    // "https://127.0.0.1:<port>" + path ("http://" for a plain server).
    std::string url(const std::string& path) const;

    // Answers requests for exactly `target` with `s`.
    void on(const std::string& target, script s);
    // Answers every other request (the default is a 404 page).
    void otherwise(std::function<script(const request&)> handler);

    std::vector<request> requests() const;
    // How many requests asked for exactly `target`.
    std::size_t requests_for(const std::string& target) const;
    std::vector<std::string> request_lines() const;
    std::size_t connections() const { return accepted_.load(); }
    // Bytes written to clients so far, heads included; a client that stops reading stops it
    // once the socket buffers are full.
    std::uint64_t bytes_sent() const { return sent_.load(); }

    // Stops listening and ends every connection; waits for their threads. Idempotent.
    void stop();

  private:
    struct connection {
        std::thread thread;
        int fd = -1;
        std::atomic<bool> done{false};
    };

    void accept_loop();
    void serve(connection* c);
    bool wait_ms(unsigned ms); // false when stopped meanwhile
    void close_fd(connection* c, bool reset);
    script lookup(const request& r);

    tls_server_options options_;
    void* ssl_ctx_ = nullptr; // SSL_CTX
    int listen_fd_ = -1;
    int port_ = 0;
    std::string error_;
    std::thread acceptor_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> accepted_{0};
    std::atomic<std::uint64_t> sent_{0};

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::list<std::unique_ptr<connection>> connections_;
    std::map<std::string, script> scripts_;
    std::function<script(const request&)> otherwise_;
    std::vector<request> requests_;
};

// A loopback port where a connection neither completes nor is refused: a listener that never
// accepts, its queue (backlog 0) filled with connections of its own, so that the kernel drops
// every further connection request unanswered and a client waits for its connect time-out.
class unanswering_port {
  public:
    unanswering_port();
    ~unanswering_port();
    unanswering_port(const unanswering_port&) = delete;
    unanswering_port& operator=(const unanswering_port&) = delete;
    // 0 when it could not be set up.
    int port() const { return port_; }
    std::string host() const; // "127.0.0.1:<port>"

  private:
    int listen_fd_ = -1;
    int port_ = 0;
    std::vector<int> fillers_;
};

} // namespace testsupport

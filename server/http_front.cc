#include "server/http_front.h"

#include "platform/net/net_connection.h"
#include "server/tls.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <openssl/err.h>

#include <spdlog/spdlog.h>

namespace kve::server {

using Clock = std::chrono::steady_clock;

// One connection as the HTTP library reads and writes it, plus the wait for its next request.
class Connection : public httplib::Stream {
 public:
  // Waits for the first byte of the next request; false when the connection is to end
  // instead (peer gone, idle too long, or the server is stopping and nothing was sent).
  virtual bool AwaitRequest(bool first, const std::atomic<bool>& stopping) = 0;
};

namespace {

thread_local bool tCloseAfter = false;

// One request as the library reads it, its head held to kMaxRequestHead bytes. Once the head
// is over, reads fail and whatever the library would answer is dropped: the caller answers.
class HeadBound final : public httplib::Stream {
 public:
  explicit HeadBound(httplib::Stream& s) : s_(s) {}
  bool Over() const { return over_; }

  bool is_readable() const override { return s_.is_readable(); }
  bool is_writable() const override { return s_.is_writable(); }
  ssize_t read(char* ptr, size_t size) override {
    if (over_) return -1;
    const ssize_t n = s_.read(ptr, size);
    for (ssize_t i = 0; i < n && inHead_; ++i) {
      if (++headBytes_ > kMaxRequestHead) {
        over_ = true;
        return -1;
      }
      // the head ends with an empty line, CR LF or LF alone
      if (ptr[i] == '\n') {
        inHead_ = lineBytes_ > 0 || lines_ == 0;
        lineBytes_ = 0;
        ++lines_;
      } else if (ptr[i] != '\r') {
        ++lineBytes_;
      }
    }
    return n;
  }
  ssize_t write(const char* ptr, size_t size) override {
    return over_ ? static_cast<ssize_t>(size) : s_.write(ptr, size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override { s_.get_remote_ip_and_port(ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { s_.get_local_ip_and_port(ip, port); }
  socket_t socket() const override { return s_.socket(); }

 private:
  httplib::Stream& s_;
  bool inHead_ = true, over_ = false;
  size_t headBytes_ = 0, lineBytes_ = 0, lines_ = 0;
};

// Waits until `fd` is ready for `events` or `deadline` passes; false on timeout or error.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    int r = poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
}

std::string AddressText(const sockaddr_storage& a, int& port) {
  char buf[INET6_ADDRSTRLEN] = {};
  if (a.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(a);
    inet_ntop(AF_INET, &v4.sin_addr, buf, sizeof buf);
    port = ntohs(v4.sin_port);
  } else if (a.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a);
    inet_ntop(AF_INET6, &v6.sin6_addr, buf, sizeof buf);
    port = ntohs(v6.sin6_port);
  }
  return buf;
}

class SocketConnection : public Connection {
 public:
  SocketConnection(int fd, const HttpLimits& limits)
      : fd_(fd), limits_(limits), deadline_(Clock::now() + std::chrono::seconds(limits.requestSeconds)) {}

  bool AwaitRequest(bool first, const std::atomic<bool>& stopping) override {
    if (pos_ < end_ || Buffered()) {  // pipelined: the next request is already here
      deadline_ = Clock::now() + std::chrono::seconds(limits_.requestSeconds);
      return true;
    }
    // A new connection's first request is awaited even when stopping: its client has been
    // accepted. A kept-alive connection waits for the keep-alive time, and not at all once
    // the server stops, unless a request is already on its way in.
    Clock::time_point until =
        first ? deadline_ : Clock::now() + std::chrono::seconds(limits_.keepAliveSeconds);
    for (;;) {
      bool ready = WaitFor(fd_, POLLIN, std::min(until, Clock::now() + std::chrono::milliseconds(100)));
      if (ready) break;
      if (Clock::now() >= until || (!first && stopping)) return false;
    }
    if (!first) deadline_ = Clock::now() + std::chrono::seconds(limits_.requestSeconds);
    return true;
  }

  bool is_readable() const override { return pos_ < end_ || Buffered() || WaitFor(fd_, POLLIN, deadline_); }
  bool is_writable() const override {
    return WaitFor(fd_, POLLOUT, Clock::now() + std::chrono::seconds(limits_.writeSeconds));
  }

  ssize_t read(char* ptr, size_t size) override {
    if (pos_ == end_) {
      ssize_t n = Receive(buf_, sizeof buf_);
      if (n <= 0) return -1;
      pos_ = 0;
      end_ = static_cast<size_t>(n);
    }
    size_t n = std::min(size, end_ - pos_);
    std::memcpy(ptr, buf_ + pos_, n);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    size_t sent = 0;
    while (sent < size) {
      ssize_t n = Send(ptr + sent, size - sent);
      if (n <= 0) return -1;
      sent += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (getpeername(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0) ip = AddressText(a, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0) ip = AddressText(a, port);
  }
  socket_t socket() const override { return fd_; }

 protected:
  // Bytes the transport holds that a poll on the socket would not show.
  virtual bool Buffered() const { return false; }
  // Up to `size` bytes of the peer's, waiting until the request's deadline; <= 0: none.
  virtual ssize_t Receive(char* into, size_t size) {
    if (!WaitFor(fd_, POLLIN, deadline_)) return -1;
    ssize_t n;
    do n = recv(fd_, into, size, 0);
    while (n < 0 && errno == EINTR);
    return n;
  }
  // Sends some of the bytes, waiting while the peer reads nothing; <= 0: failed.
  virtual ssize_t Send(const char* from, size_t size) {
    for (;;) {
      if (!is_writable()) return -1;
      ssize_t n = send(fd_, from, size, MSG_NOSIGNAL);
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      return n;
    }
  }
  Clock::time_point Deadline() const { return deadline_; }
  const HttpLimits& Limits() const { return limits_; }

 private:
  int fd_;
  const HttpLimits& limits_;
  Clock::time_point deadline_;  // for the request being read
  char buf_[16384];
  size_t pos_ = 0, end_ = 0;
};

// A connection over TLS. The socket is made non-blocking, so that a peer sending half a
// record is held to the same deadlines as one sending half a request.
class TlsConnection final : public SocketConnection {
 public:
  TlsConnection(int fd, const HttpLimits& limits, SSL* ssl) : SocketConnection(fd, limits), ssl_(ssl) {}

  // The handshake, within the request time. On failure, `plainHttp` tells a client that
  // spoke plain HTTP to this port, and `why` what OpenSSL saw.
  bool Handshake(bool& plainHttp, std::string& why) {
    ERR_clear_error();
    for (;;) {
      int r = SSL_accept(ssl_);
      if (r == 1) return true;
      int err = SSL_get_error(ssl_, r);
      if (err == SSL_ERROR_WANT_READ && WaitFor(socket(), POLLIN, Deadline())) continue;
      if (err == SSL_ERROR_WANT_WRITE && WaitFor(socket(), POLLOUT, Deadline())) continue;
      unsigned long e = ERR_peek_error();
      plainHttp = ERR_GET_LIB(e) == ERR_LIB_SSL && ERR_GET_REASON(e) == SSL_R_HTTP_REQUEST;
      why = err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE ? "no handshake within the request time"
                                                                       : TlsErrors();
      if (why.empty()) why = "the peer closed the connection";
      return false;
    }
  }

  // Sends what is held, then tells the peer the connection ends (close_notify), without
  // waiting for its reply.
  void Close() {
    if (SSL_is_init_finished(ssl_) && Flush()) SSL_shutdown(ssl_);
  }

  bool AwaitRequest(bool first, const std::atomic<bool>& stopping) override {
    return Flush() && SocketConnection::AwaitRequest(first, stopping);
  }

 protected:
  bool Buffered() const override { return SSL_pending(ssl_) > 0; }

  // An answer is written as its head and then its body: held and sent together, they go as
  // one TLS record and one system call instead of two of each, which a small call notices.
  // What is held is sent before the connection waits or reads, and once it fills a record.
  ssize_t Send(const char* from, size_t size) override {
    if (held_.size() + size <= kRecord) {
      held_.append(from, size);
      return static_cast<ssize_t>(size);
    }
    // Large pieces (the images of an export) go as they are, never copied.
    if (!Flush() || !WriteAll(from, size)) return -1;
    return static_cast<ssize_t>(size);
  }

  ssize_t Receive(char* into, size_t size) override {
    if (!Flush()) return -1;
    for (;;) {
      int n = SSL_read(ssl_, into, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
      if (n > 0) return n;
      int err = SSL_get_error(ssl_, n);
      if (err == SSL_ERROR_WANT_READ && WaitFor(socket(), POLLIN, Deadline())) continue;
      if (err == SSL_ERROR_WANT_WRITE && WaitFor(socket(), POLLOUT, Deadline())) continue;
      ERR_clear_error();
      return -1;
    }
  }

 private:
  static constexpr size_t kRecord = 16384;  // the most a TLS record carries

  bool Flush() {
    bool ok = WriteAll(held_.data(), held_.size());
    held_.clear();
    return ok;
  }

  bool WriteAll(const char* data, size_t size) {
    size_t sent = 0;
    while (sent < size) {
      auto until = Clock::now() + std::chrono::seconds(Limits().writeSeconds);
      const size_t piece = std::min(size - sent, kRecord);
      int n = SSL_write(ssl_, data + sent, static_cast<int>(piece));
      if (n > 0) {
        sent += static_cast<size_t>(n);
        continue;
      }
      int err = SSL_get_error(ssl_, n);
      if (err == SSL_ERROR_WANT_WRITE && WaitFor(socket(), POLLOUT, until)) continue;
      if (err == SSL_ERROR_WANT_READ && WaitFor(socket(), POLLIN, until)) continue;
      ERR_clear_error();
      return false;
    }
    return true;
  }

  SSL* ssl_;
  std::string held_;
};

// The peer's bytes handed over in pieces, the answers collected.
class MemoryConnection final : public Connection {
 public:
  MemoryConnection(std::string_view in, size_t piece) : in_(in), piece_(std::max<size_t>(piece, 1)) {}
  bool AwaitRequest(bool, const std::atomic<bool>&) override { return !in_.empty(); }
  bool is_readable() const override { return !in_.empty(); }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    if (in_.empty()) return -1;
    size_t n = std::min({size, piece_, in_.size()});
    std::memcpy(ptr, in_.data(), n);
    in_.remove_prefix(n);
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    out_.append(ptr, size);
    return static_cast<ssize_t>(size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override { ip = "127.0.0.1", port = 1; }
  void get_local_ip_and_port(std::string& ip, int& port) const override { ip = "127.0.0.1", port = 2; }
  socket_t socket() const override { return INVALID_SOCKET; }
  std::string& Out() { return out_; }

 private:
  std::string_view in_;
  size_t piece_;
  std::string out_;
};

// A thread per connection, up to `max` at once; threads are kept for later connections.
class ConnectionThreads final : public httplib::TaskQueue {
 public:
  explicit ConnectionThreads(size_t max) : max_(std::max<size_t>(max, 1)) {}
  ~ConnectionThreads() override { shutdown(); }

  void enqueue(std::function<void()> fn) override {
    std::lock_guard lock(mu_);
    jobs_.push_back(std::move(fn));
    if (jobs_.size() > idle_ && threads_.size() < max_)
      threads_.emplace_back([this] { Work(); });
    else
      cv_.notify_one();
  }

  // Runs what was queued, then joins every thread.
  void shutdown() override {
    {
      std::lock_guard lock(mu_);
      if (down_) return;
      down_ = true;
    }
    cv_.notify_all();
    for (auto& t : threads_) t.join();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> fn;
      {
        std::unique_lock lock(mu_);
        ++idle_;
        cv_.wait(lock, [&] { return !jobs_.empty() || down_; });
        --idle_;
        if (jobs_.empty()) return;  // shutting down with nothing left
        fn = std::move(jobs_.front());
        jobs_.pop_front();
      }
      fn();
    }
  }

  size_t max_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
  bool down_ = false;
};

// Closes a connection whose peer may still be sending (its request was refused unread):
// reading on for a moment lets the peer receive the answer instead of a reset.
void LingeringClose(int fd) {
  shutdown(fd, SHUT_WR);
  auto until = Clock::now() + std::chrono::milliseconds(500);
  char sink[16384];
  size_t total = 0;
  while (total < (size_t{4} << 20) && WaitFor(fd, POLLIN, until)) {
    ssize_t n = recv(fd, sink, sizeof sink, 0);
    if (n <= 0) break;
    total += static_cast<size_t>(n);
  }
}

}  // namespace

HttpFront::HttpFront(HttpLimits limits) : limits_(limits) {
  new_task_queue = [this] { return new ConnectionThreads(limits_.maxConnections); };
  set_socket_options([](socket_t sock) {
    int one = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);  // not SO_REUSEPORT
  });
}

HttpFront::~HttpFront() {
  if (listenCopy_ >= 0) close(listenCopy_);
}

bool HttpFront::BindExclusive(const std::string& host, int port) {
  if (!bind_to_port(host, port)) return false;
  listenCopy_ = dup(svr_sock_);
  // The library listens with a backlog of 5: a burst of new connections beyond that waits
  // a whole second for its SYN to be sent again.
  ::listen(svr_sock_, SOMAXCONN);
  return true;
}

int HttpFront::BindExclusiveAnyPort(const std::string& host) {
  int port = bind_to_any_port(host);
  if (port > 0) {
    listenCopy_ = dup(svr_sock_);
    ::listen(svr_sock_, SOMAXCONN);
  }
  return port;
}

void HttpFront::StopAccepting() {
  stopping_ = true;
  // Shutting the listening socket down ends the library's accept loop, which then waits for
  // every connection's thread. The duplicate keeps the descriptor ours: the library closes
  // its own, and a number it closed could by now name another file.
  if (listenCopy_ >= 0) shutdown(listenCopy_, SHUT_RDWR);
}

void HttpFront::CloseAfterThisAnswer() { tCloseAfter = true; }

bool HttpFront::ServeConnection(Connection& conn) {
  for (size_t served = 0;; ++served) {
    if (!conn.AwaitRequest(served == 0, stopping_)) return false;
    bool closeConnection = stopping_ || served + 1 >= limits_.keepAliveRequests;
    bool clientCloses = false;
    tCloseAfter = false;
    HeadBound request(conn);
    bool ok = process_request(request, closeConnection, clientCloses, nullptr);
    if (request.Over()) {
      const std::string why = "request head over " + std::to_string(kMaxRequestHead) + " bytes\n";
      const std::string answer = "HTTP/1.1 413 Payload Too Large\r\nContent-Type: text/plain\r\nContent-Length: " +
                                 std::to_string(why.size()) + "\r\nConnection: close\r\n\r\n" + why;
      conn.write(answer.data(), answer.size());
      std::string ip;
      int port = 0;
      conn.get_remote_ip_and_port(ip, port);
      spdlog::warn("{}:{}: request refused: head over {} bytes (413)", ip, port, kMaxRequestHead);
      return true;
    }
    if (tCloseAfter) return true;
    if (!ok || clientCloses || closeConnection) return false;
  }
}

bool HttpFront::process_and_close_socket(socket_t sock) {
  // An answer goes out as a header write and a body write: with Nagle's algorithm the body
  // waits for the client's delayed acknowledgement of the header, some 40 ms per call on a
  // kept-alive connection.
  int one = 1;
  setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  bool unread;
  if (TlsContext tls = CurrentTls()) {
    unread = ServeTls(sock, *tls);
  } else {
    SocketConnection conn(sock, limits_);
    unread = ServeConnection(conn);
  }
  if (unread) LingeringClose(sock);
  shutdown(sock, SHUT_RDWR);
  close(sock);
  return true;
}

void HttpFront::SetTls(TlsContext context) {
  if (context) IgnoreBrokenPipes();
  std::lock_guard lock(tlsMu_);
  tls_ = std::move(context);
}

TlsContext HttpFront::CurrentTls() const {
  std::lock_guard lock(tlsMu_);
  return tls_;
}

bool HttpFront::ServeTls(int sock, SSL_CTX& context) {
  std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(&context), &SSL_free);
  if (!ssl || SSL_set_fd(ssl.get(), sock) != 1) {
    spdlog::error("TLS: cannot set up a connection: {}", TlsErrors());
    return false;
  }
  fcntl(sock, F_SETFL, fcntl(sock, F_GETFL) | O_NONBLOCK);
  TlsConnection conn(sock, limits_, ssl.get());
  bool plainHttp = false;
  std::string why;
  if (!conn.Handshake(plainHttp, why)) {
    std::string ip;
    int port = 0;
    conn.get_remote_ip_and_port(ip, port);
    if (plainHttp) {
      // A client that spoke plain HTTP gets a plain answer saying why, not a bare reset.
      const std::string text = "this port serves HTTPS only: connect with TLS (https://)\n";
      const std::string answer = "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain\r\nContent-Length: " +
                                 std::to_string(text.size()) + "\r\nConnection: close\r\n\r\n" + text;
      (void)send(sock, answer.data(), answer.size(), MSG_NOSIGNAL);
      spdlog::warn("{}:{}: refused: plain HTTP on the TLS port (400)", ip, port);
      return true;
    }
    spdlog::warn("{}:{}: TLS handshake failed: {}", ip, port, why);
    return false;
  }
  bool unread = ServeConnection(conn);
  conn.Close();
  return unread;
}

std::string ServeBytes(HttpFront& front, std::string_view bytes, size_t piece) {
  MemoryConnection conn(bytes, piece);
  front.ServeConnection(conn);
  return std::move(conn.Out());
}

}  // namespace kve::server

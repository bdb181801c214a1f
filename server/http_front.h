#pragma once
// The HTTP side of the application server: the HTTP library parses requests and writes
// answers, but the connections are ours, so that hostile or idle clients cannot take the
// server away from the others.
//
// - Every accepted connection gets a thread of its own (up to maxConnections at once), so a
//   silent socket or an idle keep-alive connection never makes a call wait for a worker.
// - A request (line, headers and body) must arrive within requestSeconds of its first byte
//   (of the accept, for a connection's first request): a client trickling a byte at a time
//   is dropped instead of holding its thread for hours.
// - A request head (line and headers) may hold kMaxRequestHead bytes: the library keeps every
//   header line it reads, however many and however long. A longer one is answered 413 and
//   its connection closed.
// - With a TLS context, every connection is TLS (1.2 or later); a client that speaks plain
//   HTTP to it is answered 400 in plain text and closed, never served.
// - Stopping stops accepting at once, answers every request already sent (the answer says
//   "Connection: close"), and returns when the last connection has been served.

#include <httplib.h>

#include <atomic>
#include <mutex>
#include <cstddef>
#include <string>
#include <string_view>

#include "server/tls.h"

namespace kve::server {

inline constexpr size_t kMaxRequestHead = size_t{64} << 10;

struct HttpLimits {
  int requestSeconds = 10;       // to receive one whole request
  int keepAliveSeconds = 5;      // an idle kept-alive connection is closed after this
  int writeSeconds = 30;         // a client that reads nothing of its answer for this long is dropped
  size_t keepAliveRequests = 1000;  // requests on one connection before it is closed
  size_t maxConnections = 1024;  // served at once; further ones wait for a free thread
};

class HttpFront : public httplib::Server {
 public:
  explicit HttpFront(HttpLimits limits = {});
  ~HttpFront() override;

  // Binding as the library does, but alone on the address: a port already in use is an
  // error, never shared with another process (SO_REUSEPORT would let the kernel split the
  // calls between two servers).
  bool BindExclusive(const std::string& host, int port);
  int BindExclusiveAnyPort(const std::string& host);

  // Stops accepting; connections under way are served to their end (see above). Safe from
  // any thread, any number of times, before or during listen_after_bind().
  void StopAccepting();
  bool Stopping() const { return stopping_; }

  // Serves TLS on every connection accepted from now on (null: plain HTTP). A reload sets a
  // new context; connections already open keep theirs.
  void SetTls(TlsContext context);

  // For a handler: close the connection after this answer (its request was not read whole,
  // so what follows on the connection is not a request).
  static void CloseAfterThisAnswer();

 private:
  friend std::string ServeBytes(HttpFront& front, std::string_view bytes, size_t piece);
  bool process_and_close_socket(socket_t sock) override;
  // Serves the requests of one connection until it ends or is to be closed; true when the
  // last request was not read whole (the peer may still be sending).
  bool ServeConnection(class Connection& conn);
  bool ServeTls(int sock, SSL_CTX& context);
  TlsContext CurrentTls() const;

  HttpLimits limits_;
  std::atomic<bool> stopping_{false};
  int listenCopy_ = -1;
  mutable std::mutex tlsMu_;
  TlsContext tls_;  // a duplicate of the listening socket, to shut it down safely
};

// Runs `bytes` through `front` as one connection whose peer sent them, handed over in pieces
// of at most `piece` bytes; returns everything the server wrote back. Tests and fuzzing.
std::string ServeBytes(HttpFront& front, std::string_view bytes, size_t piece);

}  // namespace kve::server

// load_client: puts a running kve-appserver under the loads an outside tester would, and
// prints one line of figures per case. scripts/server_load.sh starts the servers and runs it.
//
//   load_client latency    --port P [--calls N] [--slow K]
//       N GetHistPalm calls one after another, each on a new connection; with --slow, K
//       sockets trickle one header byte every 2 s (reconnecting when dropped) meanwhile.
//   load_client throughput --port P [--clients C] [--seconds S] [--keepalive]
//       C clients calling GetHistPalm as fast as they can for S seconds, each on a new
//       connection per call or on one kept-alive connection.
//   load_client exports    --port P [--calls 6] [--ins-rate 100] [--pid SERVER_PID] [--frames]
//       that many concurrent GetTabelas of central 0001 of the demo database, with
//       InsHistPalm calls at the given rate while they run; with --pid, the server's peak
//       resident set during the exports over its size before them; with --frames, the images
//       are asked for as frames instead of JSON.
//
// Every call has a 60 s limit (10 s in latency and throughput); a call that passes it counts
// as a timeout, and the latency case gives up after 5 of them. Plain POSIX sockets, so that what is measured is the server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Waits for `fd` to be ready until `deadline`; false on timeout.
bool Wait(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - Clock::now()).count());
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    int r = poll(&p, 1, left);
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
}

enum class Outcome { Ok, Failed, Timeout };

struct Reply {
  Outcome outcome = Outcome::Failed;
  int status = 0;
  size_t bytes = 0;
  bool serverCloses = false;
  std::string body;  // kept only when asked
};

// One HTTP/1.1 POST on `fd`; reads the answer by its Content-Length.
bool gFrames = false;  // ask for images as frames (--frames)

Reply Post(int fd, const std::string& body, bool keepAlive, double limitMs, bool keepBody = false) {
  Reply r;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(static_cast<int>(limitMs));
  std::string req = "POST /Kve07000.rdmExpDados HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                    "Content-Type: application/json\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\n" +
                    (keepAlive ? "" : "Connection: close\r\n") +
                    (gFrames ? "Accept: application/vnd.kve.frames\r\n" : "") + "\r\n" + body;
  size_t sent = 0;
  while (sent < req.size()) {
    if (!Wait(fd, POLLOUT, deadline)) return r.outcome = Outcome::Timeout, r;
    ssize_t n = send(fd, req.data() + sent, req.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return r;
    sent += static_cast<size_t>(n);
  }
  std::string in;
  size_t headerEnd = std::string::npos, length = 0;
  bool chunked = false, done = false;
  size_t cursor = 0;  // chunked: the next chunk's size line
  std::string kept;
  std::vector<char> buf(1 << 16);
  for (;;) {
    if (headerEnd != std::string::npos && !chunked && in.size() >= headerEnd + length) break;
    if (done) break;
    if (!Wait(fd, POLLIN, deadline)) return r.outcome = Outcome::Timeout, r;
    ssize_t n = recv(fd, buf.data(), buf.size(), 0);
    if (n <= 0) return r;
    in.append(buf.data(), static_cast<size_t>(n));
    if (headerEnd == std::string::npos) {
      size_t e = in.find("\r\n\r\n");
      if (e == std::string::npos) continue;
      headerEnd = e + 4;
      std::string head = in.substr(0, e);
      for (auto& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      r.status = std::atoi(head.c_str() + 9);
      r.serverCloses = head.find("connection: close") != std::string::npos;
      chunked = head.find("transfer-encoding: chunked") != std::string::npos;
      size_t cl = head.find("content-length:");
      if (!chunked && cl == std::string::npos) return r;
      if (!chunked) length = std::strtoull(head.c_str() + cl + 15, nullptr, 10);
      cursor = headerEnd;
    }
    // chunks as they are whole; what was read is dropped unless the body is kept
    while (chunked && !done) {
      size_t eol = in.find("\r\n", cursor);
      if (eol == std::string::npos) break;
      size_t size = std::strtoull(in.c_str() + cursor, nullptr, 16);
      if (in.size() < eol + 2 + size + 2) break;
      if (size == 0) done = true;
      if (keepBody) kept.append(in, eol + 2, size);
      length += size;
      cursor = eol + 2 + size + 2;
    }
    if (chunked && cursor > headerEnd) {
      in.erase(headerEnd, cursor - headerEnd);
      cursor = headerEnd;
    }
  }
  r.bytes = length;
  if (keepBody) r.body = chunked ? std::move(kept) : in.substr(headerEnd, length);
  r.outcome = r.status == 200 ? Outcome::Ok : Outcome::Failed;
  return r;
}

Reply PostOnce(int port, const std::string& body, double limitMs, bool keepBody = false) {
  int fd = Connect(port);
  if (fd < 0) return {};
  Reply r = Post(fd, body, false, limitMs, keepBody);
  close(fd);
  return r;
}

std::string Call(const std::string& method, const std::vector<std::string>& params) {
  std::string p;
  for (const auto& s : params) p += (p.empty() ? "\"" : ",\"") + s + "\"";
  return R"({"jsonrpc":"2.0","id":1,"method":")" + method + R"(","params":[)" + p + "]}";
}

const std::string kHist = Call("GetHistPalm", {"0001", "B01"});

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// Sockets that send one byte of a request header every 2 s, reconnecting when dropped.
class SlowClients {
 public:
  SlowClients(int port, int count) : port_(port), fds_(static_cast<size_t>(count), -1) {
    thread_ = std::thread([this] { Run(); });
  }
  ~SlowClients() {
    stop_ = true;
    thread_.join();
    for (int fd : fds_)
      if (fd >= 0) close(fd);
  }
  int Reconnects() const { return reconnects_; }

 private:
  void Run() {
    const std::string header = "POST /Kve07000.rdmExpDados HTTP/1.1\r\nHost: x\r\nX-Slow: ";
    std::vector<size_t> pos(fds_.size(), 0);
    while (!stop_) {
      for (size_t i = 0; i < fds_.size(); ++i) {
        if (fds_[i] < 0) {
          fds_[i] = Connect(port_);
          pos[i] = 0;
          ++reconnects_;
        }
        if (fds_[i] < 0) continue;
        char c = pos[i] < header.size() ? header[pos[i]] : 'a';
        ++pos[i];
        if (send(fds_[i], &c, 1, MSG_NOSIGNAL) != 1) {
          close(fds_[i]);
          fds_[i] = -1;
        }
      }
      for (int k = 0; k < 20 && !stop_; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  int port_;
  std::vector<int> fds_;
  std::atomic<bool> stop_{false};
  std::atomic<int> reconnects_{0};
  std::thread thread_;
};

int Latency(int port, int calls, int slow) {
  std::unique_ptr<SlowClients> slowClients;
  if (slow > 0) {
    slowClients = std::make_unique<SlowClients>(port, slow);
    std::this_thread::sleep_for(std::chrono::seconds(3));  // let them take whatever they take
  }
  std::vector<double> ms;
  int timeouts = 0, failed = 0;
  for (int i = 0; i < calls; ++i) {
    auto t0 = Clock::now();
    Reply r = PostOnce(port, kHist, 10000);
    if (r.outcome == Outcome::Timeout) {
      if (++timeouts == 5) break;  // enough to tell: the server is not answering
    } else if (r.outcome == Outcome::Failed) ++failed;
    else ms.push_back(Ms(t0));
  }
  std::printf("latency slow=%d calls=%d ok=%zu failed=%d timeouts(10s)=%d p50_ms=%.2f p99_ms=%.2f\n",
              slow, calls, ms.size(), failed, timeouts, Percentile(ms, 0.5), Percentile(ms, 0.99));
  return 0;
}

int Throughput(int port, int clients, double seconds, bool keepAlive) {
  std::mutex mu;
  std::vector<double> all;
  std::atomic<int> failed{0}, timeouts{0};
  auto end = Clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  std::vector<std::thread> ts;
  for (int c = 0; c < clients; ++c)
    ts.emplace_back([&] {
      std::vector<double> mine;
      int fd = -1;
      while (Clock::now() < end) {
        auto t0 = Clock::now();
        if (fd < 0) fd = Connect(port);
        if (fd < 0) {
          ++failed;
          continue;
        }
        Reply r = Post(fd, kHist, keepAlive, 10000);
        if (r.outcome == Outcome::Ok) mine.push_back(Ms(t0));
        else if (r.outcome == Outcome::Timeout) ++timeouts;
        else ++failed;
        if (!keepAlive || r.outcome != Outcome::Ok || r.serverCloses) {
          close(fd);
          fd = -1;
        }
      }
      if (fd >= 0) close(fd);
      std::lock_guard lock(mu);
      all.insert(all.end(), mine.begin(), mine.end());
    });
  for (auto& t : ts) t.join();
  std::printf("throughput %s clients=%d calls=%zu calls_per_s=%.0f failed=%d timeouts(10s)=%d "
              "p50_ms=%.2f p99_ms=%.2f\n",
              keepAlive ? "keep-alive" : "new-connection", clients, all.size(),
              static_cast<double>(all.size()) / seconds, failed.load(), timeouts.load(),
              Percentile(all, 0.5), Percentile(all, 0.99));
  return 0;
}

long StatusKib(int pid, const char* key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return 0;
}

int Exports(int port, int calls, int insRate, int pid) {
  const std::string tabelas =
      Call("GetTabelas", {"0001", "", "2026-11-01", "2026-12-31", "2026-11-01", "2026-12-31",
                          "2026-11-01", "2026-12-31", "3", "0", "T", "", "000000000007"});
  long before = 0, anonBefore = 0;
  if (pid > 0) {
    std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5";  // new peak from here
    before = StatusKib(pid, "VmRSS:");
    anonBefore = StatusKib(pid, "RssAnon:");
  }
  std::atomic<bool> done{false};
  // The resident set counts the database file's pages the engine maps (SQLite's mmap), which
  // are the kernel's page cache, shared and given back under pressure; the anonymous part is
  // the server's own memory. The kernel keeps no peak of it, so it is sampled.
  std::atomic<long> anonPeak{anonBefore};
  std::thread sampler([&] {
    while (!done && pid > 0) {
      anonPeak = std::max(anonPeak.load(), StatusKib(pid, "RssAnon:"));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  std::atomic<int> insOk{0}, insFailed{0};
  std::thread inserter([&] {
    auto next = Clock::now();
    int n = 0;
    while (!done && insRate > 0) {
      Reply r = PostOnce(port, Call("InsHistPalm", {"0001", "L" + std::to_string(n++ % 90 + 10),
                                                    "carga", "0", "0"}), 60000, true);
      // A method's failure travels as a text answer inside a 200: look at it.
      bool ok = r.outcome == Outcome::Ok && r.body.find("\"error\"") == std::string::npos &&
                r.body.find("InsHistPalm:") == std::string::npos;
      (ok ? insOk : insFailed)++;
      next += std::chrono::microseconds(1000000 / insRate);
      std::this_thread::sleep_until(next);
    }
  });
  std::vector<std::thread> ts;
  std::mutex mu;
  std::vector<double> ms;
  int ok = 0, failed = 0;
  size_t bytes = 0;
  std::string firstError;
  auto t0 = Clock::now();
  for (int c = 0; c < calls; ++c)
    ts.emplace_back([&] {
      auto s = Clock::now();
      Reply r = PostOnce(port, tabelas, 120000, true);
      // Failures answer a short text; the images run to megabytes.
      bool good = r.outcome == Outcome::Ok && r.bytes > 100000;
      std::lock_guard lock(mu);
      if (good) {
        ++ok;
        ms.push_back(Ms(s));
        bytes = r.bytes;
      } else {
        ++failed;
        if (firstError.empty()) firstError = r.body.substr(0, 200);
      }
    });
  for (auto& t : ts) t.join();
  double wall = Ms(t0);
  done = true;
  inserter.join();
  sampler.join();
  std::printf("exports calls=%d ok=%d failed=%d wall_ms=%.0f slowest_ms=%.0f answer_MB=%.1f "
              "inshistpalm_ok=%d inshistpalm_failed=%d",
              calls, ok, failed, wall, Percentile(ms, 1.0), static_cast<double>(bytes) / 1e6,
              insOk.load(), insFailed.load());
  if (pid > 0) {
    long peak = StatusKib(pid, "VmHWM:");
    double perCall = static_cast<double>(peak - before) / 1024.0 / calls;
    double anonPerCall = static_cast<double>(anonPeak - anonBefore) / 1024.0 / calls;
    std::printf(" server_rss_before_MB=%.0f server_peak_MB=%.0f per_call_MB=%.1f per_call_over_answer=%.2f"
                " anon_before_MB=%.0f anon_peak_MB=%.0f anon_per_call_MB=%.1f anon_per_call_over_answer=%.2f",
                before / 1024.0, peak / 1024.0, perCall,
                bytes ? perCall * 1024 * 1024 / static_cast<double>(bytes) : 0.0, anonBefore / 1024.0,
                anonPeak / 1024.0, anonPerCall, bytes ? anonPerCall * 1024 * 1024 / static_cast<double>(bytes) : 0.0);
  }
  std::printf("\n");
  if (!firstError.empty()) std::printf("  first failure: %s\n", firstError.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: load_client latency|throughput|exports --port P [options]\n");
    return 2;
  }
  std::string mode = argv[1];
  int port = 0, calls = -1, slow = 0, clients = 16, insRate = 100, pid = 0;
  double seconds = 5;
  bool keepAlive = false;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : "0"; };
    if (a == "--port") port = std::atoi(next());
    else if (a == "--calls") calls = std::atoi(next());
    else if (a == "--slow") slow = std::atoi(next());
    else if (a == "--clients") clients = std::atoi(next());
    else if (a == "--seconds") seconds = std::atof(next());
    else if (a == "--keepalive") keepAlive = true;
    else if (a == "--ins-rate") insRate = std::atoi(next());
    else if (a == "--pid") pid = std::atoi(next());
    else if (a == "--frames") gFrames = true;
    else {
      std::fprintf(stderr, "load_client: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  if (port <= 0) {
    std::fprintf(stderr, "load_client: --port is required\n");
    return 2;
  }
  if (mode == "latency") return Latency(port, calls < 0 ? 50 : calls, slow);
  if (mode == "throughput") return Throughput(port, clients, seconds, keepAlive);
  if (mode == "exports") return Exports(port, calls < 0 ? 6 : calls, insRate, pid);
  std::fprintf(stderr, "load_client: unknown case %s\n", mode.c_str());
  return 2;
}

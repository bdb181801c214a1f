// cluster_client: workstations recording history through a front (HAProxy) to several
// servers, for scripts/cluster.sh. C clients call InsHistPalm one after another for S
// seconds, each through the workstation's own link (TNetConnection: a call whose connection
// drops before any answer is tried once more under the same idempotency key).
//
//   cluster_client --port P [--clients C] [--seconds S] [--acked FILE] [--device D]
//
// Prints one line: calls answered, calls failed, calls/s. With --acked, writes the message of
// every answered call to FILE, one a line, so that the caller can check each is stored exactly
// once. Messages are unique to the run ("<run>-<client>-<n>").
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

#include <unistd.h>

#include "platform/net/net_connection.h"

int main(int argc, char** argv) {
  using namespace kve;
  int port = 0, clients = 8;
  double seconds = 10;
  std::string ackedFile, device = "C01";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--port")) port = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--clients")) clients = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--seconds")) seconds = std::atof(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--acked")) ackedFile = argv[i + 1];
    else if (!std::strcmp(argv[i], "--device")) device = argv[i + 1];
  }
  if (port <= 0) {
    std::fprintf(stderr, "cluster_client: --port is required\n");
    return 2;
  }
  const std::string run = std::to_string(getpid());
  std::atomic<long> ok{0}, failed{0};
  std::mutex mu;
  std::vector<std::string> acked;
  std::string firstError;
  const auto t0 = std::chrono::steady_clock::now();
  const auto until = t0 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      TNetConnection link;
      link.SetHost("127.0.0.1");
      link.SetPort(port);
      link.SetTimeout(std::chrono::seconds(30));
      std::vector<std::string> mine;
      for (long n = 0; std::chrono::steady_clock::now() < until; ++n) {
        const std::string message = run + "-" + std::to_string(c) + "-" + std::to_string(n);
        try {
          if (!link.Connected()) link.SetConnected(true);
          std::vector<RemoteArg> args = {RemoteArg::Value("0001"), RemoteArg::Value(device), RemoteArg::Value(message),
                                         RemoteArg::Value("0"), RemoteArg::Value("0")};
          RemoteValue answer = link.Call("InsHistPalm", args);
          if (answer.isText()) throw Error(std::get<std::string>(answer.value));  // the method failed
          mine.push_back(message);
          ++ok;
        } catch (const std::exception& e) {
          ++failed;
          link.SetConnected(false);
          std::lock_guard lock(mu);
          if (firstError.empty()) firstError = e.what();
        }
      }
      std::lock_guard lock(mu);
      acked.insert(acked.end(), mine.begin(), mine.end());
    });
  }
  for (auto& t : threads) t.join();
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (!ackedFile.empty()) {
    std::ofstream out(ackedFile);
    for (const auto& m : acked) out << m << '\n';
  }
  std::printf("clients=%d seconds=%.1f answered=%ld failed=%ld calls_per_s=%.0f\n", clients, took, ok.load(),
              failed.load(), static_cast<double>(ok.load()) / took);
  if (!firstError.empty()) std::fprintf(stderr, "cluster_client: first failure: %s\n", firstError.c_str());
  return failed.load() == 0 ? 0 : 1;
}

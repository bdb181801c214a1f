// The HotSync install queue: the 37 entries of a Palm export, each a real 1 MB file, queued
// for one user through the Install Aide and removed again, beside `cp` and `rm` of the same
// files into a folder of the same disk in the same run. The aide copies each file under a
// temporary name, fsyncs it and renames it, so `cp` followed by `sync` of the copies is its
// like-for-like baseline (and `rm` of those synced copies the baseline of the removal, since
// freeing blocks already on the disk costs more than dropping cached ones); plain `cp` and
// `rm` are what a technician would do by hand. Cases alternate
// within each round and the median round is reported.
//
//   hotsync_bench [--dir FOLDER] [--runs R]
//
// Prints one line per case (median seconds, MB/s) and the ratios.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/fs/file_system.h"
#include "platform/instaide/install_aide.h"

#include "measure.h"

namespace fs = std::filesystem;
using namespace kve;

extern char** environ;

namespace {

constexpr size_t kFileBytes = 1 << 20;
const char* kUser = "PALM 01";

// Runs a program to its end; false when it could not run or failed.
bool Run(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  fs::path base = fs::temp_directory_path();
  int runs = 7;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--dir") == 0) base = argv[i + 1];
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
  }
  std::string tmpl = (base / "kve-hotsync-bench-XXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr) {
    std::perror(tmpl.c_str());
    return 1;
  }
  const fs::path dir = tmpl;
  const fs::path drive = dir / "c", root = dir / "hotsync", byHand = dir / "byhand";
  fs::create_directories(drive / "Palm" / "Kve" / "Exp");
  fs::create_directories(drive / "Palm" / "Bin");
  fs::create_directories(root / kUser / "Install");
  fs::create_directories(byHand);

  // The export's 37 entries, as the screen names them, each 1 MB of random bytes.
  const std::vector<std::string> queue = exporting::PalmQueuePaths("C:\\Palm\\Kve\\Exp\\", "C:\\Palm\\Bin\\");
  auto files = NewPosixFileSystem(PathMapping{{{'C', drive}}, {}, 'C'});
  std::mt19937_64 rng(7);
  std::vector<std::string> hostFiles;
  for (const std::string& p : queue) {
    std::string bytes(kFileBytes, '\0');
    for (size_t i = 0; i < bytes.size(); i += 8) {
      const uint64_t x = rng();
      std::memcpy(&bytes[i], &x, 8);
    }
    files->WriteFile(p, bytes);
    hostFiles.push_back(files->HostPath(p)->string());
  }
  auto aide = NewFolderInstallAide(root, *files);

  std::vector<std::string> cp = {"cp", "--"}, sync = {"sync", "--"}, rm = {"rm", "-f", "--"};
  cp.insert(cp.end(), hostFiles.begin(), hostFiles.end());
  cp.push_back(byHand.string());
  for (const std::string& f : hostFiles) {
    const std::string copy = (byHand / fs::path(f).filename()).string();
    sync.push_back(copy);
    rm.push_back(copy);
  }

  std::map<std::string, std::vector<double>> t;
  auto time = [&](const std::string& name, const std::function<bool()>& step) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!step()) {
      std::fprintf(stderr, "hotsync_bench: %s failed\n", name.c_str());
      std::exit(1);
    }
    t[name].push_back(bench::Seconds(t0));
  };
  for (int r = 0; r < runs; ++r) {
    time("cp", [&] { return Run(cp); });
    time("rm", [&] { return Run(rm); });
    time("cp+sync", [&] { return Run(cp) && Run(sync); });
    time("rm synced", [&] { return Run(rm); });
    time("queue", [&] {
      for (const std::string& p : queue)
        if (aide->PltInstallFile(kUser, p.c_str()) != kPltOk) return false;
      return true;
    });
    time("remove", [&] {
      for (const std::string& p : queue)
        if (aide->PltRemoveInstallFile(kUser, p.c_str()) != kPltOk) return false;
      return fs::is_empty(root / kUser / "Install");
    });
  }
  fs::remove_all(dir);

  const double mb = static_cast<double>(queue.size() * kFileBytes) / 1e6;
  std::printf("hotsync_bench: %zu files of 1 MB, %d rounds, median seconds, on %s\n", queue.size(),
              runs, base.string().c_str());
  for (const char* c : {"cp", "cp+sync", "queue", "rm", "rm synced", "remove"}) {
    const double s = Median(t[c]);
    std::printf("  %-10s %8.4f s  %8.1f MB/s\n", c, s, mb / s);
  }
  const double cpS = Median(t["cp"]), cpSync = Median(t["cp+sync"]), q = Median(t["queue"]);
  const double rmS = Median(t["rm"]), rmSynced = Median(t["rm synced"]), rem = Median(t["remove"]);
  std::printf("  queue / cp            %6.2f\n", q / cpS);
  std::printf("  queue / (cp + sync)   %6.2f   (like for like: both reach the disk)\n", q / cpSync);
  std::printf("  remove / rm           %6.2f\n", rem / rmS);
  std::printf("  remove / rm of synced copies  %6.2f   (like for like: blocks on the disk to free)\n",
              rem / rmSynced);
  std::printf("  (queue + remove) / (cp + rm)  %6.2f\n", (q + rem) / (cpS + rmS));
  std::printf("  (queue + remove) / (cp + sync + rm)  %6.2f\n", (q + rem) / (cpSync + rmSynced));
  return 0;
}

// Save and load of a PREVRETI-shaped table in both packet forms, beside a raw write of the
// same bytes. Every case runs in a fresh process (this program re-executed with --case), so
// its peak memory is its own.
//
//   dataset_bench [--rows N]... [--dir FOLDER] [--runs R]
//   dataset_bench --pair CASE_A,CASE_B [--rows N]... [--runs R]
//   dataset_bench --case CASE --rows N --dir FOLDER    (CASE inputs: only write the files read)
//
// Cases: xml-save, cds-save (SaveToFile: temporary file, fsync, rename); xml-write, cds-write
// (the packet writers straight into a file, no fsync); cds-mem (the binary writer into a sink that
// drops the bytes: the serializer alone); xml-load, cds-load (LoadFromFile); raw, raw-sync (one
// fwrite of the binary packet's bytes, without and with fsync); xml-raw, xml-raw-sync (the same
// of the XML packet's bytes).
//
// A case prints one line: case rows seconds bytes peak_rss_kib base_rss_kib. The summary gives
// each case's median and fastest of the runs (rows/s and MB/s from the median). --pair runs two
// cases in turn, A B A B..., so a change in the machine's load falls on both alike, and gives
// each one's median, minimum and maximum, and the median of the runs' ratios A/B.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/dataset/binary_packet.h"
#include "platform/dataset/dataset.h"
#include "bench/demo_table.h"
#include "platform/dataset/xml_packet.h"

#include "measure.h"

namespace fs = std::filesystem;
using kve::DataPacketFormat;

namespace {

using kve::bench::ResetPeak;
using kve::bench::Seconds;
using kve::bench::StatusKib;

class StdioSink final : public kve::ByteSink {
 public:
  explicit StdioSink(FILE* f) : f_(f) {}
  void Write(const char* data, size_t n) override {
    if (std::fwrite(data, 1, n, f_) != n) std::exit(2);
  }

 private:
  FILE* f_;
};

// Counts the bytes and keeps none, so only the serializer is timed.
class DropSink final : public kve::ByteSink {
 public:
  void Write(const char*, size_t n) override { bytes += n; }
  unsigned long long bytes = 0;
};

fs::path FileOf(const fs::path& dir, int rows, const std::string& ext) {
  return dir / ("PREVRETI-" + std::to_string(rows) + "." + ext);
}

void WriteInputs(const fs::path& dir, int rows);

int RunCase(const std::string& name, int rows, const fs::path& dir) {
  if (name == "inputs") {  // leaves the files the load and raw cases read, for a profiler's runs
    WriteInputs(dir, rows);
    return 0;
  }
  const bool xml = name.rfind("xml", 0) == 0;
  const fs::path file = FileOf(dir, rows, xml ? "xml" : "cds");
  const fs::path out = dir / ("out-" + name);
  kve::TClientDataSet ds("PREVRETI");
  std::string bytes;
  const bool fill = name == "xml-save" || name == "cds-save" || name == "xml-write" || name == "cds-write" ||
                    name == "cds-mem";
  unsigned long long dropped = 0;
  if (fill) {
    kve::FillPrevReti(ds, rows);
  } else if (name.ends_with("raw") || name.ends_with("raw-sync")) {
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  ResetPeak();
  const long base = StatusKib("VmRSS:");
  const auto t0 = std::chrono::steady_clock::now();
  if (name == "xml-save" || name == "cds-save") {
    ds.SaveToFile(out, xml ? DataPacketFormat::Xml : DataPacketFormat::Binary);
  } else if (name == "xml-write" || name == "cds-write") {
    FILE* f = std::fopen(out.c_str(), "wb");
    if (!f) return 2;
    StdioSink sink(f);
    if (xml)
      kve::WriteXmlPacket(ds, sink);
    else
      kve::WriteBinaryPacket(ds, sink);
    std::fclose(f);
  } else if (name == "cds-mem") {
    DropSink sink;
    kve::WriteBinaryPacket(ds, sink);
    dropped = sink.bytes;
  } else if (name == "xml-load" || name == "cds-load") {
    ds.LoadFromFile(file);
    if (ds.RecordCount() != rows) return 2;
  } else {
    FILE* f = std::fopen(out.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) return 2;
    if (name.ends_with("raw-sync") && (std::fflush(f) != 0 || ::fsync(fileno(f)) != 0)) return 2;
    std::fclose(f);
  }
  const double secs = Seconds(t0);
  const long peak = StatusKib("VmHWM:");
  const auto size = name == "cds-mem" ? dropped
                                       : fs::file_size(name.find("load") != std::string::npos ? file : out);
  std::printf("%s %d %.6f %llu %ld %ld\n", name.c_str(), rows, secs,
              static_cast<unsigned long long>(size), peak, base);
  fs::remove(out);
  return 0;
}

struct Result {
  double secs = 0;     // median of the runs
  double minSecs = 0;  // fastest run
  double maxSecs = 0;  // slowest run
  unsigned long long bytes = 0;
  long peak = 0, base = 0;
  std::vector<double> times;  // every run, in order
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Runs one case `runs` times, each in a child process; keeps the median and the fastest time
// and the largest peak. The median is the figure to set beside a peer's (its table gives
// medians too); the fastest shows how much the load of the machine moved it.
Result Spawn(const char* self, const std::string& name, int rows, const fs::path& dir, int runs) {
  Result best;
  std::vector<double> times;
  for (int k = 0; k < runs; ++k) {
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      const std::string r = std::to_string(rows);
      execl(self, self, "--case", name.c_str(), "--rows", r.c_str(), "--dir", dir.c_str(), nullptr);
      _exit(127);
    }
    close(fds[1]);
    char buf[256] = {};
    const ssize_t n = read(fds[0], buf, sizeof buf - 1);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    char cname[32];
    int crows;
    Result r;
    if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(buf, "%31s %d %lf %llu %ld %ld", cname, &crows, &r.secs, &r.bytes, &r.peak, &r.base) != 6) {
      std::fprintf(stderr, "case %s %d failed\n", name.c_str(), rows);
      std::exit(1);
    }
    times.push_back(r.secs);
    best.times.push_back(r.secs);
    best.bytes = r.bytes;
    best.peak = std::max(best.peak, r.peak);
    best.base = r.base;
  }
  best.secs = Median(times);
  best.minSecs = *std::min_element(times.begin(), times.end());
  best.maxSecs = *std::max_element(times.begin(), times.end());
  return best;
}

// The files the load and raw cases read.
void WriteInputs(const fs::path& dir, int rows) {
  kve::TClientDataSet ds("PREVRETI");
  kve::FillPrevReti(ds, rows);
  ds.SaveToFile(FileOf(dir, rows, "xml"), DataPacketFormat::Xml);
  ds.SaveToFile(FileOf(dir, rows, "cds"), DataPacketFormat::Binary);
}

void Merge(Result& into, const Result& run) {
  into.times.push_back(run.secs);
  into.bytes = run.bytes;
  into.peak = std::max(into.peak, run.peak);
}

int RunPair(const char* self, const std::string& a, const std::string& b, int rows, const fs::path& dir,
            int runs) {
  Result ra, rb;
  std::vector<double> ratios;
  for (int k = 0; k < runs; ++k) {
    const Result x = Spawn(self, a, rows, dir, 1);
    const Result y = Spawn(self, b, rows, dir, 1);
    Merge(ra, x);
    Merge(rb, y);
    ratios.push_back(x.secs / y.secs);
  }
  for (const auto& [name, r] : {std::pair{a, &ra}, std::pair{b, &rb}})
    std::printf("%-9s %8d  median %8.2f ms  min %8.2f ms  max %8.2f ms  %6.2f MB\n", name.c_str(), rows,
                Median(r->times) * 1e3, *std::min_element(r->times.begin(), r->times.end()) * 1e3,
                *std::max_element(r->times.begin(), r->times.end()) * 1e3, static_cast<double>(r->bytes) / 1e6);
  std::printf("  %s / %s, %d alternated pairs: median of the ratios %.2fx (%.2fx-%.2fx); medians %.2fx\n",
              a.c_str(), b.c_str(), runs, Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()), Median(ra.times) / Median(rb.times));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  fs::path dir = fs::temp_directory_path() / "kve-bench";
  std::string one, pair;
  int runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--rows") sizes.push_back(std::atoi(argv[i + 1]));
    else if (a == "--dir") dir = argv[i + 1];
    else if (a == "--case") one = argv[i + 1];
    else if (a == "--pair") pair = argv[i + 1];
    else if (a == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
  }
  if (!one.empty()) return RunCase(one, sizes.empty() ? 10000 : sizes[0], dir);
  if (sizes.empty()) sizes = {10000, 65535, 500000};
  fs::create_directories(dir);
  if (!pair.empty()) {
    const size_t comma = pair.find(',');
    if (comma == std::string::npos) return 1;
    for (int rows : sizes) {
      WriteInputs(dir, rows);
      RunPair(argv[0], pair.substr(0, comma), pair.substr(comma + 1), rows, dir, runs);
      fs::remove(FileOf(dir, rows, "xml"));
      fs::remove(FileOf(dir, rows, "cds"));
    }
    return 0;
  }

  std::printf("%-9s %8s %9s %9s %11s %9s %10s %10s %9s %s\n", "case", "rows", "median s", "min s", "rows/s",
              "MB/s", "file MB", "peak MB", "op MB", "peak/file");
  for (int rows : sizes) {
    WriteInputs(dir, rows);
    double xmlWrite = 0, xmlLoad = 0, cdsSave = 0, cdsWrite = 0, cdsMem = 0, raw = 0, rawSync = 0;
    for (const char* name : {"xml-save", "xml-write", "xml-load", "cds-save", "cds-write", "cds-mem", "cds-load",
                             "raw", "raw-sync"}) {
      const Result r = Spawn(argv[0], name, rows, dir, runs);
      const double mb = static_cast<double>(r.bytes) / 1e6;
      std::printf("%-9s %8d %9.4f %9.4f %11.0f %9.1f %10.2f %10.1f %9.1f %9.2f\n", name, rows, r.secs,
                  r.minSecs, rows / r.secs, mb / r.secs, mb, r.peak / 1024.0, (r.peak - r.base) / 1024.0,
                  r.peak * 1024.0 / static_cast<double>(r.bytes));
      if (std::strcmp(name, "xml-write") == 0) xmlWrite = r.secs;
      if (std::strcmp(name, "xml-load") == 0) xmlLoad = r.secs;
      if (std::strcmp(name, "cds-save") == 0) cdsSave = r.secs;
      if (std::strcmp(name, "cds-write") == 0) cdsWrite = r.secs;
      if (std::strcmp(name, "cds-mem") == 0) cdsMem = r.secs;
      if (std::strcmp(name, "raw") == 0) raw = r.secs;
      if (std::strcmp(name, "raw-sync") == 0) rawSync = r.secs;
    }
    std::printf("  medians: binary save (fsync) / raw write with fsync: %.2fx;  binary write / raw write: %.2fx;"
                "  serializer alone / raw write: %.2fx\n",
                cdsSave / rawSync, cdsWrite / raw, cdsMem / raw);
    // the same bytes both ways, without the fsync a save adds
    std::printf("  medians: XML load / XML write of the same packet: %.2fx the time\n", xmlLoad / xmlWrite);
    fs::remove(FileOf(dir, rows, "xml"));
    fs::remove(FileOf(dir, rows, "cds"));
  }
  return 0;
}

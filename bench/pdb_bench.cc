// Palm databases: the generic conversion of a Palm-sized export (the 35 XML files, the largest
// tables at 65,535 rows), the writer alone, the withdrawal forecast at 65,535 rows, and a raw
// write of the same bytes, plain and fsynced (the writer fsyncs each database before putting
// it in place, so the fsynced raw write is its like-for-like baseline). Every case runs in a
// fresh process (this program re-executed with --case), so its peak memory is its own. With
// --tsv (shared/peers/gen.py's table) and --peer (shared/peers/pdbpeer.pl) it also times the
// whole TSV -> PREVRETI.pdb job against the Perl peer on the same records, as whole processes
// (wall and CPU time) and by the in-process timings both log.
//
//   pdb_bench [--dir FOLDER] [--runs R] [--tsv PREVRETI.tsv --peer pdbpeer.pl]
//   pdb_bench --case prepare|export|writer|prevreti|raw|rawsync|tsv --dir FOLDER [--tsv T]
//
// A case prints one line: case rows seconds bytes peak_rss_kib base_rss_kib cpu_seconds.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "palm/pdb_conversion.h"
#include "palm/prevreti.h"
#include "platform/fs/file_sink.h"
#include "platform/common/cp1252.h"
#include "bench/demo_table.h"

#include "measure.h"

namespace fs = std::filesystem;
using namespace kve;

namespace {

using kve::bench::CpuSeconds;
using kve::bench::ResetPeak;
using kve::bench::Seconds;
using kve::bench::StatusKib;

constexpr int kBig = 65535;
constexpr int kSmall = 2000;

uint64_t Next(uint64_t& x) {  // xorshift64*
  x ^= x >> 12;
  x ^= x << 25;
  x ^= x >> 27;
  return (x * 0x2545F4914F6CDD1DULL) >> 11;
}

// Fills one table of the export with deterministic values of its column types.
void FillTable(TClientDataSet& ds, const exporting::TableSpec& t, int rows) {
  static const char* kWords[] = {"FEIJÃO", "AÇÚCAR", "PÃO", "MAÇÃ", "CAFÉ",   "LEITE", "ÓLEO",
                                 "ARROZ",  "TIPO",   "1KG", "CX",   "FRANGO", "LIMÃO", "CHÁ"};
  exporting::CreateEmpty(ds, t);
  uint64_t x = 0x9E3779B97F4A7C15ULL ^ t.table.size();
  for (int r = 0; r < rows; ++r) {
    ds.Append();
    for (int i = 0; i < ds.FieldCount(); ++i) {
      TField f = ds.Fields(i);
      const FieldDef& d = f.Def();
      switch (d.type) {
        case FieldType::String: {
          std::string s = std::to_string(Next(x) % 100000);
          while (d.size > 12 && static_cast<int>(s.size()) < d.size - 8)
            s += std::string(" ") + kWords[Next(x) % std::size(kWords)];
          if (static_cast<int>(s.size()) > d.size) s.resize(static_cast<size_t>(d.size));
          while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0xC0) s.pop_back();
          if (d.fixed) s.resize(static_cast<size_t>(d.size), ' ');
          f.SetAsString(s);
          break;
        }
        case FieldType::Date:
        case FieldType::DateTime: {
          const CivilDate day{2005 + static_cast<int>(Next(x) % 25),
                              1 + static_cast<int>(Next(x) % 12),
                              1 + static_cast<int>(Next(x) % 28)};
          const bool timed = d.type == FieldType::DateTime && Next(x) % 10 >= 7;
          f.SetAsDateTime(TDateTime::FromDate(day, timed ? CivilTime{14, 30, 5} : CivilTime{}));
          break;
        }
        default:
          f.SetAsInteger(static_cast<int64_t>(Next(x) % 200000));
      }
    }
    ds.Post();
  }
  ds.MergeChangeLog();
}

int RowsOf(const exporting::TableSpec& t) {
  static const char* kBigTables[] = {"PRODUTO", "PROD_COD", "SOLICOMP", "ITEMAF", "DTPREVRETI"};
  for (const char* b : kBigTables)
    if (t.table == b) return kBig;
  return t.source == exporting::Source::Empty ? 0 : kSmall;
}

// The 35 XML files of a Palm export; PREVRETI.xml holds the peers' table.
void WriteExport(const fs::path& dir) {
  fs::create_directories(dir);
  for (const auto& e : exporting::PalmXmlFiles()) {
    TClientDataSet ds(std::string(e.table->table));
    if (e.table->table == "PREVRETI")
      FillPrevReti(ds, kBig);
    else
      FillTable(ds, *e.table, RowsOf(*e.table));
    ds.SaveToFile(dir / std::string(e.file), DataPacketFormat::Xml);
  }
}

// The end of the cell at `p`: the next tab or line end, or `end`. Sets `high` when a byte
// above 0x7F comes before it. Eight bytes at a time: the lowest byte flagged as zero in
// w ^ tabs or w ^ line feeds is the first tab or line feed (a borrow only flags bytes above it).
const char* CellEnd(const char* p, const char* end, bool& high) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
  while (end - p >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    const uint64_t t = w ^ (kOnes * '\t'), n = w ^ (kOnes * '\n');
    const uint64_t stop = (((t - kOnes) & ~t) | ((n - kOnes) & ~n)) & kHigh;
    const uint64_t hi = w & kHigh;
    if (stop) {
      const int k = __builtin_ctzll(stop) / 8;
      if (k > 0 && (hi << (64 - 8 * k)) != 0) high = true;
      return p + k;
    }
    if (hi) high = true;
    p += 8;
  }
  while (p < end && *p != '\t' && *p != '\n') high |= (*p++ & 0x80) != 0;
  return p;
}

// gen.py's TSV (Windows-1252 bytes; the date "yyyy-mm-dd hh:nn:ss"), mapped rather than read
// into a buffer: the bytes are scanned once and never changed.
class TsvFile {
 public:
  explicit TsvFile(const fs::path& tsv) {
    const int fd = ::open(tsv.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) throw std::runtime_error("cannot open " + tsv.string());
    size_ = static_cast<size_t>(st.st_size);
    if (size_ > 0) at_ = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (size_ > 0 && at_ == MAP_FAILED) throw std::runtime_error("cannot map " + tsv.string());
  }
  ~TsvFile() {
    if (at_ != MAP_FAILED) ::munmap(at_, size_);
  }
  TsvFile(const TsvFile&) = delete;
  TsvFile& operator=(const TsvFile&) = delete;

  // The lines that are not empty: the rows ForEachRow will give.
  int Rows() const {
    int n = 0;
    for (const char *p = Begin(), *end = p + size_; p < end;) {
      const char* q = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (!q) q = end;
      n += q > p;
      p = q + 1;
    }
    return n;
  }

  // Like the Perl peer, which splits its lines itself, this splits the TSV in one pass and
  // builds each row with RowBuilder, handing it to `take` as it is done: no table is built.
  // The texts are still converted to UTF-8 and the dates parsed.
  template <class Take>
  void ForEachRow(const std::vector<FieldDef>& defs, Take&& take) const {
    const int n = static_cast<int>(defs.size());
    std::vector<bool> isDate;
    for (const FieldDef& d : defs) isDate.push_back(d.type == FieldType::DateTime);
    RowBuilder row(n);
    std::string cell;
    const char* p = Begin();
    const char* const end = p + size_;
    while (p < end) {
      if (*p == '\n') {  // an empty line
        ++p;
        continue;
      }
      row.Reset();
      for (int i = 0; i < n; ++i) {
        bool high = false;
        const char* const q = CellEnd(p, end, high);
        const std::string_view v(p, static_cast<size_t>(q - p));
        p = q < end && *q == '\t' ? q + 1 : q;
        if (isDate[static_cast<size_t>(i)]) {
          auto num = [&](size_t at, size_t len) {
            int x = 0;
            for (char c : v.substr(at, len)) x = x * 10 + (c - '0');
            return x;
          };
          row.SetInt(i, TDateTime::FromDate({num(0, 4), num(5, 2), num(8, 2)},
                                            {num(11, 2), num(14, 2), num(17, 2)})
                            .ms());
        } else if (!high) {
          row.SetStr(i, v);
        } else {
          cell.clear();
          AppendUtf8FromCp1252(v, cell);
          row.SetStr(i, cell);
        }
      }
      while (p < end && *p != '\n') ++p;  // anything past the last column
      if (p < end) ++p;
      take(row.View());
    }
  }

 private:
  const char* Begin() const { return size_ > 0 ? static_cast<const char*>(at_) : ""; }
  void* at_ = MAP_FAILED;
  size_t size_ = 0;
};

palm::PrevRetiOptions ForecastOptions() {
  palm::PrevRetiOptions o;
  o.maskProduct = palm::ProductMaskFormatter("99.99.999.9999;0;_");
  o.operatorCode = "OP0007";
  o.separators = {',', '.'};
  return o;
}

uint64_t PdbBytes(const fs::path& dir, int* records) {
  uint64_t n = 0;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".pdb") {
      n += e.file_size();
      if (records) {
        std::ifstream in(e.path(), std::ios::binary);
        char h[78];
        in.read(h, 78);
        *records += (static_cast<unsigned char>(h[76]) << 8) | static_cast<unsigned char>(h[77]);
      }
    }
  return n;
}

int RunCase(const std::string& name, const fs::path& dir, const fs::path& tsv) {
  const fs::path exp = dir / "export";
  const fs::path out = dir / ("out-" + name);
  fs::remove_all(out);
  fs::create_directories(out);
  std::vector<std::unique_ptr<TClientDataSet>> loaded;
  std::vector<std::string> names;
  TClientDataSet forecast("PREVRETI");
  std::vector<std::pair<fs::path, std::string>> raw;
  if (name == "writer") {  // the XML parse is not this case's business
    for (const std::string& f : palm::ListXmlFiles(exp)) {
      if (f == "PREVRETI.xml") continue;
      loaded.push_back(std::make_unique<TClientDataSet>());
      loaded.back()->LoadFromFile(exp / f);
      names.push_back(f.substr(0, f.size() - 4));
    }
  } else if (name == "prevreti") {
    FillPrevReti(forecast, kBig);
  } else if (name == "prepare") {  // for profiling one case by hand
    WriteExport(exp);
    return 0;
  } else if (name == "raw" || name == "rawsync") {
    for (const char* from : {"out-export", "out-prevreti"})
      for (const auto& e : fs::directory_iterator(dir / from)) {
        std::ifstream in(e.path(), std::ios::binary);
        raw.emplace_back(out / e.path().filename(),
                         std::string(std::istreambuf_iterator<char>(in), {}));
      }
  }
  ResetPeak();
  const long base = StatusKib("VmRSS:");
  const auto t0 = std::chrono::steady_clock::now();
  const double cpu0 = CpuSeconds();
  palm::NoProgress progress;
  if (name == "export") {
    for (const std::string& f : palm::ListXmlFiles(exp))
      if (f != "PREVRETI.xml") fs::copy_file(exp / f, out / f);
    const auto t1 = std::chrono::steady_clock::now();
    palm::ConvertXmlFolder(out, progress);
    const double copy = std::chrono::duration<double>(t1 - t0).count();
    for (const std::string& f : palm::ListXmlFiles(out)) fs::remove(out / f);
    std::fprintf(stderr, "(export: %.3f s copying the XML in, not counted)\n", copy);
    const double cpu1 = CpuSeconds();
    const double secs = Seconds(t1);
    int records = 0;
    const uint64_t bytes = PdbBytes(out, &records);
    std::printf("%s %d %.6f %llu %ld %ld %.6f\n", name.c_str(), records, secs,
                static_cast<unsigned long long>(bytes), StatusKib("VmHWM:"), base, cpu1 - cpu0);
    return 0;
  }
  if (name == "writer") {
    TPDBPocketStudio pdm;
    palm::ConfigureWriter(pdm);
    FolderSync later;  // the folder flushed once for all databases, as the conversion does
    pdm.SetFolderSync(&later);
    for (size_t i = 0; i < loaded.size(); ++i) {
      palm::FieldListGuard guard(pdm);
      pdm.SetDBName(names[i]);
      palm::DefineFields(*loaded[i], pdm);
      pdm.SetDirectory(out);
      pdm.SetPDBFilename(names[i] + ".pdb");
      pdm.CreateDatabase();
      palm::ImportaPDB(*loaded[i], pdm, progress);
      pdm.CloseDatabase();
    }
    later.Sync();
  } else if (name == "prevreti") {
    palm::CriaPDBPrevReti(forecast, out, ForecastOptions(), progress);
  } else if (name == "tsv") {  // the peer's whole job, in-process part
    // each row goes into its record as it is read, as the peer's do
    const TsvFile in(tsv);
    const std::vector<FieldDef> columns = PrevRetiFields();
    palm::PrevRetiStream pdb(columns, out, ForecastOptions(), in.Rows());
    in.ForEachRow(columns, [&](RowView row) { pdb.Add(row); });
    pdb.Finish();
  } else if (name == "raw" || name == "rawsync") {
    // rawsync syncs each file as the writer does before putting a database in place
    for (const auto& [path, bytes] : raw) {
      FILE* f = std::fopen(path.c_str(), "wb");
      if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) return 2;
      if (name == "rawsync" && (std::fflush(f) != 0 || fsync(fileno(f)) != 0)) return 2;
      if (std::fclose(f) != 0) return 2;
    }
  } else {
    return 3;
  }
  const double secs = Seconds(t0);
  const double cpu = CpuSeconds() - cpu0;
  int records = 0;
  const uint64_t bytes = PdbBytes(out, &records);
  std::printf("%s %d %.6f %llu %ld %ld %.6f\n", name.c_str(), records, secs,
              static_cast<unsigned long long>(bytes), StatusKib("VmHWM:"), base, cpu);
  return 0;
}

struct Result {
  double secs = 0;  // in-process, median of the runs
  double wall = 0;  // whole process, median of the runs
  double cpu = 0;   // whole process, user + system, median of the runs
  double wallMin = 0, cpuMin = 0;  // the same, least of the runs
  int rows = 0;
  unsigned long long bytes = 0;
  long peak = 0, base = 0;
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Runs `argv` `runs` times; keeps the median in-process, wall and CPU times (the peer is
// timed the same way, so medians stand beside medians) and the largest peak.
Result Spawn(const std::vector<std::string>& args, int runs, bool parse = true) {
  Result best;
  std::vector<double> walls, cpus, secs;
  for (int k = 0; k < runs; ++k) {
    // Start with nothing dirty in the page cache: an fsync also waits for data written before
    // it (by earlier cases too, or other programs), which would otherwise land on whichever
    // case syncs first. Done here, outside the timed process, for the peer alike.
    sync();
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      std::vector<char*> av;
      for (const auto& a : args) av.push_back(const_cast<char*>(a.c_str()));
      av.push_back(nullptr);
      execvp(av[0], av.data());
      _exit(127);
    }
    close(fds[1]);
    std::string output;
    char buf[512];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
      output.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    walls.push_back(Seconds(t0));
    cpus.push_back(static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                   (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "%s failed\n", args[0].c_str());
      std::exit(1);
    }
    best.wall = Median(walls);
    best.cpu = Median(cpus);
    best.wallMin = *std::min_element(walls.begin(), walls.end());
    best.cpuMin = *std::min_element(cpus.begin(), cpus.end());
    if (!parse) continue;
    char cname[32];
    Result r;
    if (std::sscanf(output.c_str(), "%31s %d %lf %llu %ld %ld", cname, &r.rows, &r.secs, &r.bytes,
                    &r.peak, &r.base) != 6) {
      std::fprintf(stderr, "unexpected output: %s\n", output.c_str());
      std::exit(1);
    }
    secs.push_back(r.secs);
    best.secs = Median(secs);
    best.rows = r.rows;
    best.bytes = r.bytes;
    best.peak = std::max(best.peak, r.peak);
    best.base = r.base;
  }
  return best;
}

void Print(const char* name, const Result& r) {
  const double mb = static_cast<double>(r.bytes) / 1e6;
  std::printf("%-9s %8d %9.4f %11.0f %9.1f %9.2f %9.1f %9.1f\n", name, r.rows, r.secs,
              r.rows / r.secs, mb / r.secs, mb, r.peak / 1024.0, (r.peak - r.base) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  fs::path dir = fs::temp_directory_path() / "kve-pdb-bench";
  std::string one, tsv, peer;
  int runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--dir")
      dir = argv[i + 1];
    else if (a == "--case")
      one = argv[i + 1];
    else if (a == "--runs")
      runs = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--tsv")
      tsv = argv[i + 1];
    else if (a == "--peer")
      peer = argv[i + 1];
  }
  try {
    if (!one.empty()) return RunCase(one, dir, tsv);
    fs::remove_all(dir);
    WriteExport(dir / "export");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  const std::string self = fs::canonical("/proc/self/exe").string();
  auto run = [&](const char* c) {
    std::vector<std::string> args = {self, "--case", c, "--dir", dir.string()};
    if (!tsv.empty()) args.insert(args.end(), {"--tsv", tsv});
    return Spawn(args, runs);
  };
  std::printf("%-9s %8s %9s %11s %9s %9s %9s %9s\n", "case", "records", "seconds", "rows/s", "MB/s",
              "PDB MB", "peak MB", "op MB");
  const Result exportRun = run("export");
  Print("export", exportRun);
  const Result writer = run("writer");
  Print("writer", writer);
  const Result forecast = run("prevreti");
  Print("prevreti", forecast);
  const Result raw = run("raw");
  Print("raw", raw);
  const Result rawSync = run("rawsync");
  Print("rawsync", rawSync);
  // raw writes the bytes of the writer's and the forecast's databases together; the writer
  // fsyncs every database before the rename, so rawsync is the like-for-like baseline
  std::printf(
      "  writer + forecast vs raw write of the same bytes, both fsynced: %.2fx the time "
      "(with the XML parse of the export: %.2fx)\n",
      (writer.secs + forecast.secs) / rawSync.secs,
      (exportRun.secs + forecast.secs) / rawSync.secs);
  std::printf("  the same against a raw write without fsync: %.2fx (with the XML parse: %.2fx)\n",
              (writer.secs + forecast.secs) / raw.secs,
              (exportRun.secs + forecast.secs) / raw.secs);
  if (!tsv.empty() && !peer.empty()) {
    const Result ours = run("tsv");
    const fs::path log = dir / "peer.log";  // the peer appends its in-process timings here
    const Result theirs =
        Spawn({"perl", peer, tsv, (dir / "peer.pdb").string(), log.string()}, runs, false);
    // in-process: the peer's read + build + write against our read + fill + write
    std::vector<double> peerInside;
    double build = 0;
    std::ifstream in(log);
    for (std::string what; in >> what;) {
      double secs = 0;
      int rows = 0;
      in >> secs >> rows;
      if (what == "pdb_build") build = secs;
      if (what == "pdb_write") peerInside.push_back(build + secs);
    }
    const double peerMb = static_cast<double>(fs::file_size(dir / "peer.pdb")) / 1e6;
    std::printf("TSV -> PREVRETI.pdb, %d rows, whole process (median of %d):\n", ours.rows, runs);
    std::printf("  ours       wall %.4f s (%.0f rows/s, %.1f MB/s), cpu %.4f s\n", ours.wall,
                ours.rows / ours.wall, ours.bytes / 1e6 / ours.wall, ours.cpu);
    std::printf("  Perl peer  wall %.4f s (%.0f rows/s, %.1f MB/s), cpu %.4f s\n", theirs.wall,
                ours.rows / theirs.wall, peerMb / theirs.wall, theirs.cpu);
    std::printf("  ratio      wall %.1fx, cpu %.1fx (by the least of the runs: wall %.1fx, cpu %.1fx)\n",
                theirs.wall / ours.wall, theirs.cpu / ours.cpu, theirs.wallMin / ours.wallMin,
                theirs.cpuMin / ours.cpuMin);
    std::printf("in-process (TSV read, records built, file written): ours %.4f s (%.0f rows/s), "
                "peer %.4f s (%.0f rows/s): %.1fx\n",
                ours.secs, ours.rows / ours.secs, Median(peerInside), ours.rows / Median(peerInside),
                Median(peerInside) / ours.secs);
  }
  fs::remove_all(dir);
  return 0;
}

// The hand-written XML packet scanner and Windows-1252 codec beside the libraries they stand
// in for, on the same bytes in the same run: what the README's list of hand-written parts
// quotes. (The JSON reader and base64 have theirs in answer_read_bench.)
//
//   library_peers_bench                              every case, 9 interleaved repetitions
//   library_peers_bench --benchmark_filter=cp1252    the codec only
//
// XML: the PREVRETI packet our writer saves (10,000 and 65,535 rows, the most a Palm table
// holds), read from memory, a fresh copy per iteration (the copy is not timed; every reader
// parses in place). "ours" is ReadXmlPacket into a table; "pugixml parse" only builds
// pugixml's document tree, checking no value; "pugixml tree" is the tests' reference reader,
// the tree walked row by row into the same table with the same checks: the library's whole
// cost of the same work.
//
// Windows-1252: the 13 text columns of the same 65,535 rows (850,000 short texts, product
// names with accents among codes and quantities), converted each way one value at a time, as
// the packet and Palm readers and writers call the codec, and as one whole text, as a packet
// declared windows-1252 is converted; glibc iconv with one conversion descriptor, reused.
//
// Each case runs as Google Benchmark repetitions in random interleaved order, so a load on the
// shared machine falls on each alike; the end prints every peer's median beside ours.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "bench/demo_table.h"
#include "platform/common/cp1252.h"
#include "platform/dataset/dataset.h"
#include "platform/dataset/packet_format.h"
#include "platform/dataset/packet_sink.h"
#include "platform/dataset/xml_packet.h"
#include "support/xml_packet_tree_reader.h"

namespace {

using namespace kve;

// --- XML data packets ---

const std::string& PacketOf(int rows) {
  static std::map<int, std::string> cache;
  std::string& bytes = cache[rows];
  if (bytes.empty()) {
    TClientDataSet ds("PREVRETI");
    FillPrevReti(ds, rows);
    StringSink sink(bytes);
    WriteXmlPacket(ds, sink);
    // Both readers must make the same table of it, or the comparison means nothing.
    std::string a = bytes, b = bytes;
    TClientDataSet byScanner("PREVRETI"), byTree("PREVRETI");
    ReadXmlPacket(a, byScanner);
    ReadXmlPacketByTree(b, byTree);
    if (byScanner.Data() != byTree.Data() || byScanner.Data() != ds.Data()) {
      std::fprintf(stderr, "the %d-row packet reads back differently\n", rows);
      std::exit(1);
    }
  }
  return bytes;
}

// Times `read(copy of the packet)` per iteration; `read` returns the rows it found. What it
// built is dropped by `drop` outside the timing: the release is not the reader's work.
template <typename Read, typename Drop>
void TimeRead(benchmark::State& state, int rows, Read read, Drop drop) {
  const std::string& packet = PacketOf(rows);
  for (auto _ : state) {
    state.PauseTiming();
    auto buffer = std::make_unique<std::string>(packet);
    state.ResumeTiming();
    const int got = read(*buffer);
    state.PauseTiming();
    if (got != rows) state.SkipWithError("the packet read back with another row count");
    drop();
    buffer.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(packet.size()));
  state.SetItemsProcessed(state.iterations() * rows);
}

void XmlOurs(benchmark::State& state, int rows) {
  std::unique_ptr<TClientDataSet> ds;
  TimeRead(
      state, rows,
      [&](std::string& buffer) {
        ds = std::make_unique<TClientDataSet>("PREVRETI");
        ReadXmlPacket(buffer, *ds);
        return ds->RecordCount();
      },
      [&] { ds.reset(); });
}

void XmlPugiParse(benchmark::State& state, int rows) {
  std::unique_ptr<pugi::xml_document> doc;
  TimeRead(
      state, rows,
      [&](std::string& buffer) {
        packet::XmlPacketToUtf8(buffer);  // as both readers do (nothing to do here: the packet is ASCII)
        doc = std::make_unique<pugi::xml_document>();
        if (!doc->load_buffer_inplace(buffer.data(), buffer.size(), pugi::parse_default, pugi::encoding_utf8))
          return -1;
        int n = 0;
        for (pugi::xml_node r = doc->document_element().child("ROWDATA").first_child(); r; r = r.next_sibling()) ++n;
        return n;
      },
      [&] { doc.reset(); });
}

void XmlPugiTree(benchmark::State& state, int rows) {
  std::unique_ptr<TClientDataSet> ds;
  TimeRead(
      state, rows,
      [&](std::string& buffer) {
        ds = std::make_unique<TClientDataSet>("PREVRETI");
        ReadXmlPacketByTree(buffer, *ds);  // its document is dropped inside, as it goes
        return ds->RecordCount();
      },
      [&] { ds.reset(); });
}

// --- Windows-1252 <-> UTF-8 ---

struct Texts {
  std::vector<std::string> utf8, cp1252;  // value by value
  std::string utf8All, cp1252All;         // the same, end to end
};

const Texts& TextsOf() {
  static const Texts t = [] {
    Texts t;
    TClientDataSet ds("PREVRETI");
    FillPrevReti(ds, 65535);
    for (ds.First(); !ds.Eof(); ds.Next()) {
      for (int i = 0; i < ds.FieldCount(); ++i) {
        if (ds.FieldDefs()[static_cast<size_t>(i)].type != FieldType::String) continue;
        t.utf8.push_back(ds.Fields(i).AsString());
        std::string cp;
        if (AppendCp1252(t.utf8.back(), cp) != kEncodedOk) std::abort();
        t.cp1252.push_back(std::move(cp));
        t.utf8All += t.utf8.back();
        t.cp1252All += t.cp1252.back();
      }
    }
    return t;
  }();
  return t;
}

// One glibc conversion descriptor for a whole benchmark, as a program would keep one.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) std::abort();
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Replaces `out` with the conversion of `in`, at most `factor` bytes out per byte in;
  // false when iconv refuses a byte. iconv writes into a buffer kept from call to call (a
  // string would be cleared to zeros first each time), copied into `out` as ours returns it.
  bool Convert(const std::string& in, std::string& out, size_t factor) {
    if (buffer_.size() < in.size() * factor) buffer_.resize(in.size() * factor);
    char* src = const_cast<char*>(in.data());
    char* dst = buffer_.data();
    size_t inLeft = in.size(), outLeft = buffer_.size();
    if (iconv(cd_, &src, &inLeft, &dst, &outLeft) == static_cast<size_t>(-1)) return false;
    out.assign(buffer_.data(), dst);
    return true;
  }

 private:
  iconv_t cd_;
  std::vector<char> buffer_;
};

// Times `convert(text, out)` over every text of `in`, checking once that the result is
// `expect` text for text.
template <typename Convert>
void TimeTexts(benchmark::State& state, const std::vector<std::string>& in,
               const std::vector<std::string>& expect, Convert convert) {
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (!convert(in[i], out) || out != expect[i]) {
      state.SkipWithError("a text converted otherwise than expected");
      return;
    }
  }
  int64_t bytes = 0;
  for (const std::string& s : in) bytes += static_cast<int64_t>(s.size());
  for (auto _ : state) {
    for (const std::string& s : in) {
      convert(s, out);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(in.size()));
}

bool OursDecode(const std::string& in, std::string& out) {
  out.clear();
  AppendUtf8FromCp1252(in, out);
  return true;
}

bool OursEncode(const std::string& in, std::string& out) {
  out.clear();
  return AppendCp1252(in, out) == kEncodedOk;
}

void DecodeValues(benchmark::State& state, bool iconv) {
  const Texts& t = TextsOf();
  if (!iconv) return TimeTexts(state, t.cp1252, t.utf8, OursDecode);
  Iconv cd("UTF-8", "WINDOWS-1252");
  TimeTexts(state, t.cp1252, t.utf8, [&](const std::string& in, std::string& out) { return cd.Convert(in, out, 3); });
}

void EncodeValues(benchmark::State& state, bool iconv) {
  const Texts& t = TextsOf();
  if (!iconv) return TimeTexts(state, t.utf8, t.cp1252, OursEncode);
  Iconv cd("WINDOWS-1252", "UTF-8");
  TimeTexts(state, t.utf8, t.cp1252, [&](const std::string& in, std::string& out) { return cd.Convert(in, out, 1); });
}

void DecodeWhole(benchmark::State& state, bool iconv) {
  const Texts& t = TextsOf();
  if (!iconv) return TimeTexts(state, {t.cp1252All}, {t.utf8All}, OursDecode);
  Iconv cd("UTF-8", "WINDOWS-1252");
  TimeTexts(state, {t.cp1252All}, {t.utf8All}, [&](const std::string& in, std::string& out) { return cd.Convert(in, out, 3); });
}

void EncodeWhole(benchmark::State& state, bool iconv) {
  const Texts& t = TextsOf();
  if (!iconv) return TimeTexts(state, {t.utf8All}, {t.cp1252All}, OursEncode);
  Iconv cd("WINDOWS-1252", "UTF-8");
  TimeTexts(state, {t.utf8All}, {t.cp1252All}, [&](const std::string& in, std::string& out) { return cd.Convert(in, out, 1); });
}

// --- the summary ---

// The console report, then every peer's median beside ours: cases are named
// "what/input/side", and the side "ours" is the base of its "what/input".
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // `cases` in the order the summary lists them.
  RatioReporter(OutputOptions options, std::vector<std::string> cases)
      : ConsoleReporter(options), cases_(std::move(cases)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      // a single repetition has no aggregates: its one run stands in for the median
      if (!median && (r.run_type != Run::RT_Iteration || r.repetitions > 1)) continue;
      times_[r.run_name.function_name] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime(), r.repetitions};
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nmedians beside ours (wall time; CPU time in brackets)\n");
    for (const std::string& name : cases_) {
      const auto t = times_.find(name);
      const size_t cut = name.rfind('/');
      const std::string group = name.substr(0, cut), side = name.substr(cut + 1);
      const auto base = times_.find(group + "/ours");
      if (side == "ours" || t == times_.end() || base == times_.end()) continue;
      const long long n = t->second.repetitions;
      std::printf("%-28s %-14s x%.2f of ours (x%.2f)  %s%lld\n", group.c_str(), side.c_str(),
                  t->second.real / base->second.real, t->second.cpu / base->second.cpu,
                  n > 1 ? "medians of " : "runs: ", n);
    }
  }

 private:
  struct Time {
    double real = 0, cpu = 0;
    int64_t repetitions = 0;
  };
  std::vector<std::string> cases_;
  std::map<std::string, Time> times_;
};

// Registers every case; returns their names in order.
std::vector<std::string> Register() {
  std::vector<std::string> names;
  const auto add = [&](const std::string& name, auto run, auto arg) {
    benchmark::RegisterBenchmark(name.c_str(), run, arg);
    names.push_back(name);
  };
  for (int rows : {10000, 65535}) {
    const std::string input = "xml-read/" + std::to_string(rows) + " rows/";
    add(input + "ours", XmlOurs, rows);
    add(input + "pugixml parse", XmlPugiParse, rows);
    add(input + "pugixml tree", XmlPugiTree, rows);
  }
  const struct {
    const char* name;
    void (*run)(benchmark::State&, bool);
  } codec[] = {{"cp1252-decode/per value/", DecodeValues},
               {"cp1252-encode/per value/", EncodeValues},
               {"cp1252-decode/whole text/", DecodeWhole},
               {"cp1252-encode/whole text/", EncodeWhole}};
  for (const auto& c : codec) {
    add(std::string(c.name) + "ours", c.run, false);
    add(std::string(c.name) + "iconv", c.run, true);
  }
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  // Interleaved repetitions and their medians unless the command line says otherwise.
  std::vector<char*> args(argv, argv + argc);
  std::vector<std::string> defaults;
  const auto given = [&](const char* flag) {
    for (int i = 1; i < argc; ++i)
      if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) return true;
    return false;
  };
  if (!given("--benchmark_repetitions")) defaults.push_back("--benchmark_repetitions=9");
  if (!given("--benchmark_enable_random_interleaving")) defaults.push_back("--benchmark_enable_random_interleaving=true");
  if (!given("--benchmark_display_aggregates_only")) defaults.push_back("--benchmark_display_aggregates_only=true");
  for (std::string& d : defaults) args.push_back(d.data());
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 1;
  RatioReporter reporter(isatty(1) ? benchmark::ConsoleReporter::OO_Color : benchmark::ConsoleReporter::OO_None,
                         Register());
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

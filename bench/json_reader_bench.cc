// Reading a GetTabelas answer: the client's own JSON reader beside nlohmann::json::parse and
// nlohmann's SAX interface, on the same bytes in the same run.
//
//   json_reader_bench [--mb N] [--runs R]
//
// The answer is synthesised with the shape the server sends (EncodeAnswer: 26 table images as
// base64 texts, the by-reference values), the images sized like a scale-100 demo export and
// filled with deterministic bytes, about N MB on the wire (default 100). Building the demo at
// scale 100 takes minutes; the reader only sees the text's shape and size, which this keeps.
// Per reader it prints the minimum and median of R runs (default 3) and the ratio to ours.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/net/json_reader.h"
#include "platform/net/protocol.h"

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

std::string Answer(size_t wireBytes) {
  // Relative sizes of the 26 images of an export: a few large tables, many small ones.
  const int weights[26] = {40, 22, 12, 8, 5, 3, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  int total = 0;
  for (int w : weights) total += w;
  const size_t raw = wireBytes / 4 * 3;
  uint32_t x = 2463534242u;
  kve::RemoteValue v;
  std::vector<std::string> images;
  for (int w : weights) {
    std::string img(raw * w / total, '\0');
    img.replace(0, 4, "\x96\x19\xE0\xBD");
    for (size_t i = 4; i < img.size(); ++i) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      img[i] = static_cast<char>(x & 0x7F);  // packet texts are mostly ASCII; base64 hides it
    }
    images.push_back(std::move(img));
  }
  v.value = std::move(images);
  std::map<int, std::string> byref = {{2, "_0001_0002_0003"}, {10, "T"}, {11, "0"}};
  return kve::rpc::EncodeAnswer(1, v, byref);
}

// Keeps the texts, builds nothing else: the least a SAX reader must do.
struct KeepTexts : nlohmann::json_sax<json> {
  size_t bytes = 0;
  std::vector<std::string> texts;
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t& s) override {
    if (s.size() > 64) bytes += s.size();  // the images, not "2.0" or the by-reference texts
    texts.push_back(std::move(s));
    return true;
  }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
    std::fprintf(stderr, "SAX: %s\n", e.what());
    std::exit(1);
  }
};

size_t Texts(const json& j) {
  size_t n = 0;
  for (const auto& img : j["result"]["value"]) n += img.get_ref<const std::string&>().size();
  return n;
}

struct Result {
  const char* name;
  std::vector<double> ms;
};

}  // namespace

int main(int argc, char** argv) {
  size_t mb = 100;
  int runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--mb")) mb = std::strtoul(argv[i + 1], nullptr, 10);
    else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
  }
  const std::string body = Answer(mb * 1000 * 1000);
  std::printf("answer: %.1f MB, 26 images\n", body.size() / 1e6);

  size_t expect = 0;
  std::vector<Result> results = {{"ours (ReadJson)", {}}, {"nlohmann parse", {}}, {"nlohmann SAX", {}}};
  const std::function<size_t()> readers[] = {
      [&] { return Texts(kve::rpc::ReadJson(body)); },
      [&] { return Texts(json::parse(body)); },
      [&] {
        KeepTexts sax;
        json::sax_parse(body, &sax);
        return sax.bytes;
      },
  };
  // Interleaved, so a load on the shared machine falls on every reader alike.
  for (int r = 0; r < runs; ++r) {
    for (size_t k = 0; k < results.size(); ++k) {
      const auto t0 = Clock::now();
      const size_t got = readers[k]();
      results[k].ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
      if (expect == 0) expect = got;
      if (got != expect) {
        std::fprintf(stderr, "%s read %zu bytes of images, not %zu\n", results[k].name, got, expect);
        return 1;
      }
    }
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double base = median(results[0].ms);
  for (auto& res : results) {
    std::printf("%-16s min %8.1f ms  median %8.1f ms  (x%.2f of ours, median)\n", res.name,
                *std::min_element(res.ms.begin(), res.ms.end()), median(res.ms),
                median(res.ms) / base);
  }
  return 0;
}

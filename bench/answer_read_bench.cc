// Reading a GetTabelas answer: the client's own JSON reader beside nlohmann::json::parse and
// nlohmann's SAX interface, and the images' base64 (ours, both ways) beside libsodium's, on the
// same bytes in the same run. Both hand-written pieces stay only while these figures show them
// clearly faster than the library.
//
//   answer_read_bench [--mb N] [--runs R]
//
// The answer is synthesised with the shape the server sends (EncodeAnswer: 26 table images as
// base64 texts, the by-reference values), the images sized like a scale-100 demo export and
// filled with deterministic bytes, about N MB on the wire (default 100). Building the demo at
// scale 100 takes minutes; the reader only sees the text's shape and size, which this keeps.
// Per case it prints the minimum and median of R runs (default 3) and the ratio to ours.
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
#include <sodium.h>

#include "platform/net/base64.h"
#include "platform/net/json_reader.h"
#include "platform/net/protocol.h"

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

std::vector<std::string> Images(size_t wireBytes) {
  // Relative sizes of the 26 images of an export: a few large tables, many small ones.
  const int weights[26] = {40, 22, 12, 8, 5, 3, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  int total = 0;
  for (int w : weights) total += w;
  const size_t raw = wireBytes / 4 * 3;
  uint32_t x = 2463534242u;
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
  return images;
}

std::string Answer(const std::vector<std::string>& images) {
  kve::RemoteValue v;
  v.value = images;
  std::map<int, std::string> byref = {{2, "_0001_0002_0003"}, {10, "T"}, {11, "0"}};
  return kve::rpc::EncodeAnswer(1, v, byref);
}

std::string SodiumEncode(std::string_view bytes) {
  std::string out(sodium_base64_encoded_len(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                    bytes.size(), sodium_base64_VARIANT_ORIGINAL);
  out.pop_back();  // its terminating NUL
  return out;
}

std::string SodiumDecode(std::string_view text) {
  std::string out(text.size() / 4 * 3, '\0');
  size_t n = 0;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(),
                        text.size(), nullptr, &n, nullptr, sodium_base64_VARIANT_ORIGINAL) != 0) {
    std::fprintf(stderr, "libsodium refused the base64\n");
    std::exit(1);
  }
  out.resize(n);
  return out;
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

struct Case {
  const char* name;
  std::function<size_t()> run;  // the bytes it produced, the same for every case of a group
};

// Runs the cases interleaved, so a load on the shared machine falls on each alike, and prints
// each one's minimum and median beside the first one's.
void Compare(const char* group, int runs, const std::vector<Case>& cases) {
  std::vector<std::vector<double>> ms(cases.size());
  size_t expect = 0;
  for (int r = 0; r < runs; ++r) {
    for (size_t k = 0; k < cases.size(); ++k) {
      const auto t0 = Clock::now();
      const size_t got = cases[k].run();
      ms[k].push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
      if (expect == 0) expect = got;
      if (got != expect) {
        std::fprintf(stderr, "%s: %s gave %zu bytes, not %zu\n", group, cases[k].name, got, expect);
        std::exit(1);
      }
    }
  }
  const auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double base = median(ms[0]);
  for (size_t k = 0; k < cases.size(); ++k)
    std::printf("%-14s %-16s min %8.1f ms  median %8.1f ms  (x%.2f of %s, medians)\n", group,
                cases[k].name, *std::min_element(ms[k].begin(), ms[k].end()), median(ms[k]),
                median(ms[k]) / base, cases[0].name);
}

}  // namespace

int main(int argc, char** argv) {
  size_t mb = 100;
  int runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--mb")) mb = std::strtoul(argv[i + 1], nullptr, 10);
    else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
  }
  if (sodium_init() < 0) return 1;
  const std::vector<std::string> images = Images(mb * 1000 * 1000);
  const std::string body = Answer(images);
  const json parsed = json::parse(body);
  std::vector<std::string> coded;
  for (const auto& img : parsed["result"]["value"]) coded.push_back(img.get<std::string>());
  std::printf("answer: %.1f MB, 26 images\n", body.size() / 1e6);
  Compare("JSON", runs,
          {{"ours (ReadJson)", [&] { return Texts(kve::rpc::ReadJson(body)); }},
           {"nlohmann parse", [&] { return Texts(json::parse(body)); }},
           {"nlohmann SAX", [&] {
              KeepTexts sax;
              json::sax_parse(body, &sax);
              return sax.bytes;
            }}});
  const auto encodeWith = [&](std::string (*encode)(std::string_view)) {
    size_t n = 0;
    for (size_t i = 0; i < images.size(); ++i) {
      const std::string t = encode(images[i]);
      if (t != coded[i]) {
        std::fprintf(stderr, "image %zu encoded differently\n", i);
        std::exit(1);
      }
      n += t.size();
    }
    return n;
  };
  const auto decodeWith = [&](std::string (*decode)(std::string_view)) {
    size_t n = 0;
    for (size_t i = 0; i < coded.size(); ++i) {
      const std::string b = decode(coded[i]);
      if (b != images[i]) {
        std::fprintf(stderr, "image %zu decoded differently\n", i);
        std::exit(1);
      }
      n += b.size();
    }
    return n;
  };
  Compare("base64 encode", runs,
          {{"ours", [&] { return encodeWith(kve::Base64Encode); }},
           {"libsodium", [&] { return encodeWith(SodiumEncode); }}});
  Compare("base64 decode", runs,
          {{"ours", [&] { return decodeWith(kve::Base64Decode); }},
           {"libsodium", [&] { return decodeWith(SodiumDecode); }}});
  return 0;
}

#include "platform/net/json_reader.h"

#include <charconv>
#include <cstring>

#include "platform/common/cp1252.h"
#include "platform/common/error.h"

namespace kve::rpc {
namespace {

using nlohmann::json;

class Reader {
 public:
  explicit Reader(std::string_view t) : s_(t.data()), n_(t.size()) {}

  json Document() {
    json v = Value(0);
    Space();
    if (i_ != n_) Fail("text after the value");
    return v;
  }

 private:
  [[noreturn]] void Fail(const char* what) const {
    throw FormatError("JSON: offset " + std::to_string(i_) + ": " + what);
  }

  void Space() {
    while (i_ < n_ && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
  }

  bool Take(char c) {
    Space();
    if (i_ < n_ && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }

  void Expect(char c, const char* what) {
    if (!Take(c)) Fail(what);
  }

  json Value(int depth) {
    if (depth > 64) Fail("nested too deeply");
    if (++values_ > kMaxJsonValues) Fail("more values than an answer holds");
    Space();
    if (i_ == n_) Fail("value expected");
    switch (s_[i_]) {
      case '{': return Object(depth);
      case '[': return Array(depth);
      case '"': return String();
      case 't': return Literal("true", json(true));
      case 'f': return Literal("false", json(false));
      case 'n': return Literal("null", json(nullptr));
      default: return Number();
    }
  }

  json Literal(std::string_view word, json v) {
    if (std::string_view(s_ + i_, std::min(word.size(), n_ - i_)) != word) Fail("unknown word");
    i_ += word.size();
    return v;
  }

  json Object(int depth) {
    ++i_;
    json obj = json::object();
    if (Take('}')) return obj;
    do {
      Space();
      if (i_ == n_ || s_[i_] != '"') Fail("member name expected");
      std::string key = String();
      Expect(':', "':' expected");
      obj[std::move(key)] = Value(depth + 1);
    } while (Take(','));
    Expect('}', "'}' or ',' expected");
    return obj;
  }

  json Array(int depth) {
    ++i_;
    json arr = json::array();
    if (Take(']')) return arr;
    do arr.push_back(Value(depth + 1));
    while (Take(','));
    Expect(']', "']' or ',' expected");
    return arr;
  }

  unsigned Hex4() {
    if (n_ - i_ < 4) Fail("short \\u escape");
    unsigned v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = s_[i_++];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= c - '0';
      else if (c >= 'a' && c <= 'f') v |= c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') v |= c - 'A' + 10;
      else Fail("bad \\u escape");
    }
    return v;
  }

  std::string String() {
    ++i_;  // the opening quote
    std::string out;
    while (true) {
      // Copy the run up to the next quote, backslash or control character in one piece.
      size_t start = i_;
      while (i_ < n_) {
        unsigned char c = static_cast<unsigned char>(s_[i_]);
        if (c == '"' || c == '\\' || c < 0x20) break;
        ++i_;
      }
      out.append(s_ + start, i_ - start);
      if (i_ == n_) Fail("unterminated text");
      char c = s_[i_++];
      if (c == '"') break;
      if (c != '\\') {
        --i_;
        Fail("control character in a text");
      }
      if (i_ == n_) Fail("unterminated text");
      switch (s_[i_++]) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00) {
            if (n_ - i_ < 2 || s_[i_] != '\\' || s_[i_ + 1] != 'u') Fail("lone surrogate");
            i_ += 2;
            unsigned lo = Hex4();
            if (lo < 0xDC00 || lo >= 0xE000) Fail("lone surrogate");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          } else if (cp >= 0xDC00 && cp < 0xE000) {
            Fail("lone surrogate");
          }
          AppendUtf8(cp, out);
          break;
        }
        default: --i_; Fail("unknown escape");
      }
    }
    return out;
  }

  bool Digit() const { return i_ < n_ && s_[i_] >= '0' && s_[i_] <= '9'; }
  void Digits(const char* what) {
    if (!Digit()) Fail(what);
    while (Digit()) ++i_;
  }

  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
  json Number() {
    size_t start = i_;
    if (i_ < n_ && s_[i_] == '-') ++i_;
    if (!Digit()) Fail("value expected");
    if (s_[i_] == '0') ++i_;
    else Digits("digit expected");
    bool integer = true;
    if (i_ < n_ && s_[i_] == '.') {
      ++i_;
      Digits("digit expected after '.'");
      integer = false;
    }
    if (i_ < n_ && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      if (i_ < n_ && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
      Digits("digit expected in the exponent");
      integer = false;
    }
    const char* b = s_ + start;
    const char* e = s_ + i_;
    if (integer) {
      int64_t v = 0;
      auto [p, ec] = std::from_chars(b, e, v);
      if (ec == std::errc() && p == e) return json(v);
    }
    double d = 0;
    auto [p, ec] = std::from_chars(b, e, d);
    if (ec != std::errc() || p != e) Fail("number out of range");
    return json(d);
  }

  const char* s_;
  size_t n_;
  size_t i_ = 0;
  size_t values_ = 0;
};

}  // namespace

nlohmann::json ReadJson(std::string_view text) { return Reader(text).Document(); }

}  // namespace kve::rpc

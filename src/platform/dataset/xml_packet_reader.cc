// The XML data packet is read by its own scanner, in place, without a document tree: a packet
// is a small fixed shape (DATAPACKET > METADATA > FIELDS > FIELD, PARAMS; ROWDATA > ROW), and
// the bulk of it is ROW attributes, which are converted into the table as they are scanned.
// Values are decoded where they lie in the buffer (a reference is never shorter than what it
// stands for), so a value without references is never copied.
//
// The scanner checks what makes XML well-formed: matching start and end tags, quoted and
// unique attributes, white space between them, the five predefined entities and character
// references, comments, processing instructions, CDATA sections, one root element. Literal
// white space in an attribute value reads as a space, as the XML standard normalises it. A
// document type declaration is refused: no packet carries one, and its entities are not worth
// expanding here.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <fmt/format.h>

#include "platform/common/error.h"
#include "platform/common/ascii.h"
#include "platform/common/cp1252.h"
#include "platform/dataset/packet_format.h"
#include "platform/dataset/xml_packet.h"

namespace kve {
namespace {

using namespace packet;

// ---------------------------------------------------------------- the scanner

enum : uint8_t { kSpaceBit = 1, kNameStartBit = 2, kNameBit = 4 };
constexpr auto kCharBits = [] {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80)
      t[c] = kNameStartBit | kNameBit;
    else if ((c >= '0' && c <= '9') || c == '-' || c == '.')
      t[c] = kNameBit;
  }
  for (int c : {' ', '\t', '\n', '\r'}) t[c] = kSpaceBit;
  return t;
}();
inline bool Is(char c, uint8_t bit) { return (kCharBits[static_cast<uint8_t>(c)] & bit) != 0; }

// Bytes of an attribute value: most need nothing; the rest end it, start a reference, are
// forbidden, are white space to normalise, or need the value's text checked (controls,
// non-ASCII).
enum : uint8_t { kVPlain, kVQuote, kVAmp, kVLess, kVSpace, kVNul, kVCheck };
constexpr auto kValueClass = [] {
  std::array<uint8_t, 256> t{};
  for (int c = 1; c < 0x20; ++c) t[c] = kVCheck;
  for (int c = 0x80; c < 256; ++c) t[c] = kVCheck;
  t[0] = kVNul;
  t['"'] = t['\''] = kVQuote;
  t['&'] = kVAmp;
  t['<'] = kVLess;
  t['\t'] = t['\n'] = t['\r'] = kVSpace;
  return t;
}();

// Whether the `n` bytes at `a` and `b` are the same; short names, compared 8 bytes at a time.
inline bool SameBytes(const char* a, const char* b, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return false;
  }
  for (; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// Whether `p` starts with `lit`; reads no further than the first byte that differs, so never
// past the buffer's terminating NUL.
bool StartsWith(const char* p, std::string_view lit) {
  for (char c : lit)
    if (*p++ != c) return false;
  return true;
}

char* PutUtf8(char* w, uint32_t cp) {
  if (cp < 0x80) {
    *w++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *w++ = static_cast<char>(0xC0 | cp >> 6);
    *w++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *w++ = static_cast<char>(0xE0 | cp >> 12);
    *w++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    *w++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *w++ = static_cast<char>(0xF0 | cp >> 18);
    *w++ = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    *w++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    *w++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return w;
}

// A pull scanner over a NUL-terminated buffer (std::string keeps a NUL after its bytes): the
// loops stop at that NUL without counting, and a NUL before the end is an error.
class Scanner {
 public:
  enum Kind { kElement, kEndTag, kText, kEnd };

  explicit Scanner(std::string& buffer)
      : begin_(buffer.data()), p_(buffer.data()), end_(buffer.data() + buffer.size()) {}

  [[noreturn]] void Fail(const char* at, std::string_view what) const {
    throw FormatError(fmt::format("invalid XML at byte {}: {}", at - begin_, what));
  }

  // The next item of the open element's content, or of the document outside the root: a
  // start tag (its name read; its attributes come next, through Attributes or Scan), the open
  // element's end tag, a run of text or a CDATA section, or the end of the document.
  // Comments and processing instructions are checked and passed over.
  Kind Next() {
    for (;;) {
      if (*p_ != '<') {
        if (p_ == end_) {
          if (!open_.empty()) Fail(p_, fmt::format("element {} is not closed", open_.back()));
          return kEnd;
        }
        Text();
        return kText;
      }
      const char c = p_[1];
      if (c == '/') {
        EndTag();
        return kEndTag;
      }
      if (c == '!') {
        if (StartsWith(p_, "<!--")) {
          Comment();
          continue;
        }
        if (StartsWith(p_, "<![CDATA[")) {
          CData();
          return kText;
        }
        if (StartsWith(p_, "<!DOCTYPE"))
          Fail(p_, "a document type declaration is not allowed in a data packet");
        Fail(p_, "'<!' starts neither a comment nor a CDATA section");
      }
      if (c == '?') {
        Pi();
        continue;
      }
      ++p_;
      name_ = Name("element name");
      return kElement;
    }
  }

  std::string_view name() const { return name_; }  // of the start or end tag Next found
  std::string_view text() const { return text_; }  // of the text Next found, undecoded
  bool textIsSpace() const { return textIsSpace_; }
  size_t depth() const { return open_.size(); }
  const char* pos() const { return p_; }
  size_t offset() const { return static_cast<size_t>(p_ - begin_); }

  // Scans the attributes of the start tag Next found and the tag's end, calling
  // on(name, value, check) for each, with `value` decoded and `check` set when it holds a
  // byte outside printable ASCII, tab, line feed and carriage return. Returns true for an
  // empty-element tag; otherwise the element is open.
  //
  // `guess()` names the attribute likely to come next (or is empty): when it does come, its
  // name is taken by one comparison instead of byte by byte, and on() is told so.
  template <typename On, typename Guess>
  bool Scan(On&& on, Guess&& guess) {
    const std::string_view element = name_;
    for (;;) {
      const char* const before = p_;
      // Writers put one blank between attributes and none around '=': those are tested
      // directly, the general skip kept for the rest.
      if (*p_ == ' ') ++p_;
      p_ = SkipSpace(p_);
      const char c = *p_;
      if (c == '/') {
        if (p_[1] != '>') Fail(p_, fmt::format("'/' not followed by '>' in <{}>", element));
        p_ += 2;
        return true;
      }
      if (c == '>') {
        ++p_;
        open_.push_back(element);
        return false;
      }
      if (p_ == end_) Fail(p_, fmt::format("start tag <{}> is not closed", element));
      if (p_ == before) Fail(p_, fmt::format("no white space before an attribute of <{}>", element));
      std::string_view n;
      const std::string_view g = guess();
      const bool guessed = !g.empty() && static_cast<size_t>(end_ - p_) > g.size() &&
                           SameBytes(p_, g.data(), g.size()) && !Is(p_[g.size()], kNameBit);
      if (guessed) {
        n = {p_, g.size()};
        p_ += g.size();
      } else {
        n = Name("attribute name");
      }
      if (*p_ != '=') {
        p_ = SkipSpace(p_);
        if (*p_ != '=') Fail(p_, fmt::format("'=' expected after attribute {}", n));
      }
      p_ = SkipSpace(p_ + 1);
      bool check = false;
      const std::string_view v = Value(check);
      on(n, v, check, guessed);
    }
  }

  // Scans the attributes into a list, refusing one given twice.
  bool Attributes(std::vector<std::pair<std::string_view, std::string_view>>& out) {
    out.clear();
    return Scan(
        [&](std::string_view n, std::string_view v, bool, bool) {
          for (const auto& a : out)
            if (a.first == n) Fail(n.data(), fmt::format("attribute {} given twice in <{}>", n, name_));
          out.emplace_back(n, v);
        },
        [] { return std::string_view(); });
  }

  // Scans the start tag Next found and passes over the element's content.
  void Skip() {
    if (!Attributes(scratch_)) SkipOpen();
  }

  // Passes over the content of the element whose start tag was just scanned, and its end tag.
  void SkipOpen() {
    const size_t depth = open_.size();
    for (;;) {
      const Kind k = Next();
      if (k == kElement)
        Attributes(scratch_);
      else if (k == kEndTag && open_.size() < depth)
        return;
    }
  }

  // Goes back to `at`, just inside element `name`'s start tag, to read its content (again).
  void Reopen(const char* at, std::string_view name) {
    p_ = const_cast<char*>(at);
    open_.push_back(name);
  }

  // While false, values are checked but not decoded, so that the bytes can be read again.
  void SetDecoding(bool on) { decode_ = on; }

 private:
  std::string_view Name(const char* what) {
    char* const start = p_;
    if (!Is(*start, kNameStartBit)) {
      if (start == end_) Fail(start, fmt::format("{} expected at the end of the document", what));
      Fail(start, fmt::format("{} expected", what));
    }
    char* e = start + 1;
    while (Is(*e, kNameBit)) ++e;
    p_ = e;
    return {start, static_cast<size_t>(e - start)};
  }

  template <typename C>
  static C* SkipSpace(C* s) {
    while (Is(*s, kSpaceBit)) ++s;
    return s;
  }

  // An attribute value from its opening quote; the common value, with nothing to decode, is
  // found by one tight loop and returned where it lies.
  std::string_view Value(bool& check) {
    const char q = *p_;
    if (q != '"' && q != '\'') Fail(p_, "attribute value not in quotes");
    char* const v = ++p_;
    char* s = SkipPlain(v);
    if (*s == q) {
      p_ = s + 1;
      return {v, static_cast<size_t>(s - v)};
    }
    return ValueRest(v, s, q, check);
  }

  // The first byte from `s` on that is not plain in a value.
  char* SkipPlain(char* s) const {
#ifdef __SSE2__
    // 16 bytes at a time while they lie inside the buffer: the quotes, '&', '<', and (compared
    // as signed bytes) everything below 0x20 or from 0x80 up.
    const __m128i quot = _mm_set1_epi8('"'), apos = _mm_set1_epi8('\''), amp = _mm_set1_epi8('&'),
                  less = _mm_set1_epi8('<'), space = _mm_set1_epi8(0x20);
    while (end_ - s >= 16) {
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
      const __m128i hit = _mm_or_si128(
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, quot), _mm_cmpeq_epi8(b, apos)),
                       _mm_or_si128(_mm_cmpeq_epi8(b, amp), _mm_cmpeq_epi8(b, less))),
          _mm_cmplt_epi8(b, space));
      if (const int m = _mm_movemask_epi8(hit)) return s + __builtin_ctz(static_cast<unsigned>(m));
      s += 16;
    }
#endif
    while (kValueClass[static_cast<uint8_t>(*s)] == kVPlain) ++s;
    return s;
  }

  // The rest of a value from `s`, the first byte that is not plain, decoding in place.
  std::string_view ValueRest(char* v, char* s, char q, bool& check) {
    char* w = s;
    for (;;) {
      if (char* const run = SkipPlain(s); run != s) {
        if (decode_ && w != s) std::memmove(w, s, static_cast<size_t>(run - s));
        w += run - s;
        s = run;
      }
      const char c = *s;
      switch (kValueClass[static_cast<uint8_t>(c)]) {
        case kVQuote:
          if (c == q) {
            p_ = s + 1;
            return {v, static_cast<size_t>(w - v)};
          }
          [[fallthrough]];
        case kVPlain:
          break;
        case kVCheck:
          check = true;
          break;
        case kVSpace:
          if (c == '\r' && s[1] == '\n') ++s;  // one line end, one space
          if (decode_) *w = ' ';
          ++w;
          ++s;
          continue;
        case kVAmp: {
          const char* const at = s;
          const uint32_t cp = Reference(s);
          if (cp >= 0x80 || (cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r')) check = true;
          // a reference is at least as long as the UTF-8 it stands for, so w stays behind s
          if (decode_) {
            w = PutUtf8(w, cp);
          } else {
            w += s - at;
          }
          continue;
        }
        case kVLess:
          Fail(s, "'<' in an attribute value");
        default:
          if (s == end_) Fail(s, "attribute value not closed");
          Fail(s, "NUL character");
      }
      if (decode_) *w = c;
      ++w;
      ++s;
    }
  }

  // The character a reference at `s` ('&') stands for; moves `s` past its ';'.
  uint32_t Reference(char*& s) const {
    const char* const at = s;
    if (s[1] == '#') {
      uint32_t cp = 0;
      const bool hex = s[2] == 'x';
      char* d = s + (hex ? 3 : 2);
      const char* const first = d;
      for (;; ++d) {
        const char c = *d;
        unsigned digit;
        if (c >= '0' && c <= '9')
          digit = static_cast<unsigned>(c - '0');
        else if (hex && ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'))
          digit = static_cast<unsigned>((c | 0x20) - 'a' + 10);
        else
          break;
        cp = cp * (hex ? 16 : 10) + digit;
        if (cp > 0x10FFFF) Fail(at, "character reference beyond U+10FFFF");
      }
      if (d == first || *d != ';') Fail(at, "malformed character reference");
      // Control characters pass, so that a value holding one is refused with its row and field.
      if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF)
        Fail(at, fmt::format("character reference to U+{:04X}, which is no XML character", cp));
      s = d + 1;
      return cp;
    }
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto& [e, c] : kEntities)
      if (StartsWith(s, e)) {
        s += e.size();
        return static_cast<uint8_t>(c);
      }
    const char* e = s + 1;
    while (Is(*e, kNameBit) && e - s < 32) ++e;
    if (*e == ';')
      Fail(at, fmt::format("unknown entity {}", std::string_view(at, static_cast<size_t>(e + 1 - at))));
    Fail(at, "'&' that starts no reference");
  }

  void Text() {
    char* s = p_;
    bool space = true;
    for (;; ++s) {
      const char c = *s;
      if (c == '<') break;
      if (c == '\0') {
        if (s == end_) break;
        Fail(s, "NUL character");
      }
      if (!Is(c, kSpaceBit)) {
        space = false;
        if (c == '&') {
          Reference(s);
          --s;
        }
      }
    }
    if (open_.empty() && !space) Fail(p_, "text outside the root element");
    text_ = {p_, static_cast<size_t>(s - p_)};
    textIsSpace_ = space;
    p_ = s;
  }

  void EndTag() {
    char* const at = p_;
    p_ += 2;
    const std::string_view n = Name("element name");
    while (Is(*p_, kSpaceBit)) ++p_;
    if (*p_ != '>') Fail(p_, fmt::format("end tag </{}> is not closed", n));
    ++p_;
    if (open_.empty()) Fail(at, fmt::format("end tag </{}> without a start tag", n));
    if (n != open_.back()) Fail(at, fmt::format("end tag </{}> does not match <{}>", n, open_.back()));
    open_.pop_back();
    name_ = n;
  }

  // Moves past `close`, searching from `from`; fails with `what` when it never comes.
  char* Find(char* from, std::string_view close, const char* what) {
    const void* hit = memmem(from, static_cast<size_t>(end_ - from), close.data(), close.size());
    if (!hit) Fail(p_, fmt::format("{} is not closed", what));
    char* const at = static_cast<char*>(const_cast<void*>(hit));
    if (std::memchr(p_, '\0', static_cast<size_t>(at - p_))) Fail(p_, fmt::format("NUL character in a {}", what));
    return at;
  }

  void Comment() {
    char* const dashes = Find(p_ + 4, "--", "comment");
    if (dashes[2] != '>') Fail(dashes, "'--' inside a comment");
    p_ = dashes + 3;
  }

  void CData() {
    char* const from = p_ + 9;
    char* const close = Find(from, "]]>", "CDATA section");
    if (open_.empty()) Fail(p_, "CDATA section outside the root element");
    text_ = {from, static_cast<size_t>(close - from)};
    textIsSpace_ = false;  // character data, even when blank
    p_ = close + 3;
  }

  void Pi() {
    char* const at = p_;
    p_ += 2;
    const std::string_view target = Name("processing instruction target");
    // (white space before the declaration is let pass, as it always was)
    if (EqualsIgnoreCase(target, "xml") && SkipSpace(begin_) != at)
      Fail(at, "the XML declaration is only allowed at the start of the document");
    if (!Is(*p_, kSpaceBit) && !(p_[0] == '?' && p_[1] == '>'))
      Fail(p_, fmt::format("no white space after processing instruction target {}", target));
    p_ = Find(p_, "?>", "processing instruction") + 2;
  }

  const char* const begin_;
  char* p_;
  const char* const end_;
  std::vector<std::string_view> open_;  // the open elements, innermost last
  std::vector<std::pair<std::string_view, std::string_view>> scratch_;
  std::string_view name_, text_;
  bool textIsSpace_ = true;
  bool decode_ = true;
};

// ---------------------------------------------------------------- values

// `n` decimal digits at `s`, which holds at least n bytes.
bool Digits(const char* s, int n, int& out) {
  out = 0;
  for (int i = 0; i < n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

// yyyymmdd (8 bytes at `s`) -> day number
bool ParseDay(const char* s, int64_t& day) {
  int y, m, d;
  if (!Digits(s, 4, y) || !Digits(s + 4, 2, m) || !Digits(s + 6, 2, d) || !IsValidDate(y, m, d)) return false;
  day = DayNumber(CivilDate{y, m, d});
  return true;
}

// hh:nn:ss with optional milliseconds zzz, the whole of `t` -> ms of the day
bool ParseMs(std::string_view t, int64_t& ms) {
  const char* s = t.data();
  int h, n, sec, z = 0;
  if ((t.size() != 8 && t.size() != 11) || !Digits(s, 2, h) || s[2] != ':' || !Digits(s + 3, 2, n) ||
      s[5] != ':' || !Digits(s + 6, 2, sec) || (t.size() == 11 && !Digits(s + 8, 3, z)) || h > 23 || n > 59 ||
      sec > 59)
    return false;
  ms = ((h * 60 + n) * 60 + sec) * int64_t{1000} + z;
  return true;
}

bool IsTrue(std::string_view v) { return EqualsIgnoreCase(v, "true"); }

// ---------------------------------------------------------------- the packet

using Attrs = std::vector<std::pair<std::string_view, std::string_view>>;

std::string_view Find(const Attrs& attrs, std::string_view name) {
  for (const auto& [n, v] : attrs)
    if (n == name) return v;
  return {};
}

class PacketReader {
 public:
  PacketReader(std::string& buffer, TClientDataSet& into, const std::function<void(size_t, size_t)>& done)
      : sc_(buffer), into_(into), done_(done), fileBytes_(buffer.size()) {}

  void Read() {
    Scanner::Kind k;
    while ((k = sc_.Next()) == Scanner::kText) {
    }
    if (k == Scanner::kEnd) sc_.Fail(sc_.pos(), "no root element");
    if (sc_.name() != "DATAPACKET")
      throw FormatError(fmt::format("root element is {}, not DATAPACKET", sc_.name()));
    bool open = !sc_.Attributes(attrs_);
    bool metadata = false, rowdata = false;
    const char* later = nullptr;  // ROWDATA's content when it came before the fields
    while (open) {
      k = sc_.Next();
      if (k == Scanner::kEndTag) break;
      if (k != Scanner::kElement) continue;
      const std::string_view name = sc_.name();
      if (name == "METADATA" && !metadata) {
        metadata = true;
        ReadMetadata();
      } else if (name == "ROWDATA" && !rowdata) {
        rowdata = true;
        if (fieldsRead_) {
          StartRows();
          if (!sc_.Attributes(attrs_)) ReadRows();
        } else {
          if (metadata) throw FormatError("no METADATA/FIELDS element");
          sc_.SetDecoding(false);  // checked now, read once the fields are known
          if (!sc_.Attributes(attrs_)) {
            later = sc_.pos();
            sc_.SkipOpen();
          }
          sc_.SetDecoding(true);
        }
      } else {
        sc_.Skip();
      }
    }
    while ((k = sc_.Next()) != Scanner::kEnd)
      if (k == Scanner::kElement) sc_.Fail(sc_.name().data() - 1, "a second root element");
    if (!fieldsRead_) throw FormatError("no METADATA/FIELDS element");
    if (!rowdata) throw FormatError("no ROWDATA element");
    if (!started_) {
      StartRows();
      if (later) {
        sc_.Reopen(later, "ROWDATA");
        ReadRows();
      }
    }
    for (const auto& [p, s] : log_)
      if (p < 1 || p > pos_) throw FormatError(fmt::format("CHANGE_LOG names row {} of {}", p, pos_));
  }

 private:
  void ReadMetadata() {
    if (sc_.Attributes(attrs_)) return;
    bool params = false;
    for (Scanner::Kind k; (k = sc_.Next()) != Scanner::kEndTag;) {
      if (k != Scanner::kElement) continue;
      if (sc_.name() == "FIELDS" && !fieldsRead_) {
        fieldsRead_ = true;
        ReadFields();
      } else if (sc_.name() == "PARAMS" && !params) {
        params = true;
        const bool empty = sc_.Attributes(attrs_);
        log_ = ParseChangeLog(Find(attrs_, "CHANGE_LOG"));
        if (!empty) sc_.SkipOpen();
      } else {
        sc_.Skip();
      }
    }
  }

  void ReadFields() {
    if (sc_.Attributes(attrs_)) return;
    for (Scanner::Kind k; (k = sc_.Next()) != Scanner::kEndTag;) {
      if (k != Scanner::kElement) continue;
      if (sc_.name() != "FIELD") throw FormatError(fmt::format("unexpected element {} in FIELDS", sc_.name()));
      const bool empty = sc_.Attributes(attrs_);
      FieldDef d;
      d.name = Find(attrs_, "attrname");
      if (d.name.empty()) throw FormatError(fmt::format("field {} has no attrname", defs_.size() + 1));
      if (defs_.size() == kMaxFields) throw FormatError(fmt::format("more than {} fields", kMaxFields));
      names_.Add(d.name);
      d.type = XmlFieldType(Find(attrs_, "fieldtype"), d.name);
      if (d.type == FieldType::String) {
        int64_t w = 0;
        for (const auto& [n, v] : attrs_)
          if (n == "WIDTH" && !ParseInteger(v, 0, 65535, w))
            throw FormatError(fmt::format("field {}: WIDTH '{}' is not a width", d.name, v));
        d.size = static_cast<int>(w);
        d.fixed = EqualsIgnoreCase(Find(attrs_, "SUBTYPE"), "FixedChar");
      }
      d.required = IsTrue(Find(attrs_, "required"));
      d.readOnly = IsTrue(Find(attrs_, "readonly"));
      if (!empty) ReadFieldParams(d);
      defs_.push_back(std::move(d));
    }
  }

  void ReadFieldParams(FieldDef& d) {
    for (Scanner::Kind k; (k = sc_.Next()) != Scanner::kEndTag;) {
      if (k != Scanner::kElement) continue;
      if (sc_.name() != "PARAM") {
        sc_.Skip();
        continue;
      }
      const bool empty = sc_.Attributes(attrs_);
      if (Find(attrs_, "Name") == "PROVFLAGS") {
        int64_t v = 0;
        const std::string_view value = Find(attrs_, "Value");
        if (!ParseInteger(value, 0, UINT32_MAX, v))
          throw FormatError(fmt::format("field {}: PROVFLAGS '{}' is not a number", d.name, value));
        d.providerFlags = static_cast<uint32_t>(v);
      }
      if (!empty) sc_.SkipOpen();
    }
  }

  void StartRows() {
    started_ = true;
    n_ = static_cast<int>(defs_.size());
    into_.Reset(std::move(defs_));
    fd_ = &into_.FieldDefs();
    for (int i = 0; i < n_; ++i) {
      const std::string& name = (*fd_)[i].name;
      byName_.emplace(name, i);
      // an attribute RowState is the row's state, even where a field has that name
      guesses_.push_back(name == "RowState" ? std::string_view() : std::string_view(name));
    }
    row_ = std::make_unique<RowBuilder>(n_);
    seen_.assign(n_, 0);
  }

  // ROWDATA's content, its start tag read. The rows read are told to done_ as they pile up:
  // the start tags still open lie before them.
  void ReadRows() {
    const size_t from = sc_.offset();
    for (;;) {
      if (done_ && (pos_ & 4095) == 4095) done_(from, sc_.offset());
      const Scanner::Kind k = sc_.Next();
      if (k == Scanner::kEndTag) return;
      if (k == Scanner::kText) {
        if (sc_.textIsSpace()) continue;
        std::string_view t = sc_.text();
        t.remove_prefix(std::min(t.size(), t.find_first_not_of(" \t\r\n")));
        throw FormatError(fmt::format("text '{}' in ROWDATA", t.substr(0, 20)));
      }
      ++pos_;
      CheckCells(pos_, static_cast<size_t>(n_), fileBytes_);
      if (sc_.name() != "ROW") throw FormatError(fmt::format("unexpected element {} in ROWDATA", sc_.name()));
      ReadRow();
    }
  }

  [[noreturn]] void Bad(std::string_view name, std::string_view v, std::string_view what) const {
    throw FormatError(fmt::format("row {}: {}: '{}' is not a valid {}", pos_, name, v, what));
  }

  void ReadRow() {
    const auto& fd = *fd_;
    RowBuilder& row = *row_;
    std::fill(seen_.begin(), seen_.end(), 0);
    unsigned state = 0;
    if (!log_.empty())
      if (const auto it = log_.find(pos_); it != log_.end()) state = it->second;
    bool stateGiven = false;
    int next = 0;  // attributes usually come in field order
    const auto guess = [&] { return next < n_ ? guesses_[next] : std::string_view(); };
    const bool empty = sc_.Scan([&](std::string_view name, std::string_view v, bool check, bool guessed) {
      int i;
      if (guessed) {
        i = next;
      } else if (name == "RowState") {
        int64_t s;
        if (stateGiven) throw FormatError(fmt::format("row {}: RowState given twice", pos_));
        if (!ParseInteger(v, 0, 255, s)) throw FormatError(fmt::format("row {}: RowState '{}' is not a number", pos_, v));
        state = static_cast<unsigned>(s);
        stateGiven = true;
        return;
      } else {
        const auto f = byName_.find(name);
        if (f == byName_.end()) throw FormatError(fmt::format("row {}: unknown field {}", pos_, name));
        i = f->second;
      }
      next = i + 1;
      if (seen_[i]++) throw FormatError(fmt::format("row {}: {} given twice", pos_, name));
      int64_t x = 0;
      switch (fd[i].type) {
        case FieldType::String: {
          size_t chars = v.size();
          if (check) {  // a byte beyond printable ASCII: the full UTF-8 and code page check
            chars = 0;
            for (size_t k = 0; k < v.size(); ++chars) {
              const uint8_t b = static_cast<uint8_t>(v[k]);
              if (b >= 0x20 && b < 0x80) {  // printable ASCII: most of any text
                ++k;
                continue;
              }
              if ((b == 0xC2 || b == 0xC3) && k + 1 < v.size()) {  // U+00A0-U+00FF: all encodable
                const uint8_t c = static_cast<uint8_t>(v[k + 1]);
                if ((c & 0xC0) == 0x80 && (b == 0xC3 || c >= 0xA0)) {
                  k += 2;
                  continue;
                }
              }
              uint32_t cp = b;
              size_t len = 1;
              if (cp >= 0x80) {
                len = DecodeUtf8(v, k, cp);
                if (len == 0 || ((cp < 0xA0 || cp > 0xFF) && Cp1252FromCodePoint(cp) < 0))
                  throw FormatError(fmt::format("row {}: {}: {}", pos_, name, DescribeUnencodable(v, k)));
              } else if (cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') {
                throw FormatError(fmt::format("row {}: {}: control character U+{:04X}", pos_, name, cp));
              }
              k += len;
            }
          }
          if (fd[i].size > 0 && chars > static_cast<size_t>(fd[i].size))
            throw FormatError(fmt::format("row {}: {}: string of {} characters is longer than its width {}", pos_,
                                          name, chars, fd[i].size));
          row.SetStr(i, v);
          break;
        }
        case FieldType::Int16:
          if (!ParseInteger(v, INT16_MIN, INT16_MAX, x)) Bad(name, v, "i2");
          row.SetInt(i, x);
          break;
        case FieldType::Int32:
          if (!ParseInteger(v, INT32_MIN, INT32_MAX, x)) Bad(name, v, "i4");
          row.SetInt(i, x);
          break;
        case FieldType::Int64:
          if (!ParseInteger(v, INT64_MIN, INT64_MAX, x)) Bad(name, v, "i8");
          row.SetInt(i, x);
          break;
        case FieldType::Float: {
          double d = 0;
          const char* const end = v.data() + v.size();
          auto [p, ec] = std::from_chars(v.data(), end, d);
          if (v.empty() || ec != std::errc() || p != end) Bad(name, v, "r8");
          row.SetFloat(i, d);
          break;
        }
        case FieldType::Boolean:
          if (EqualsIgnoreCase(v, "true"))
            row.SetInt(i, 1);
          else if (EqualsIgnoreCase(v, "false"))
            row.SetInt(i, 0);
          else
            Bad(name, v, "boolean");
          break;
        case FieldType::Date:
          if (v.size() != 8 || !ParseDay(v.data(), x)) Bad(name, v, "date");
          row.SetInt(i, x * kMsPerDay);
          break;
        case FieldType::Time:
          if (!ParseMs(v, x)) Bad(name, v, "time");
          row.SetInt(i, x);
          break;
        case FieldType::DateTime: {
          int64_t ms = 0;
          if (v.size() < 9 || v[8] != 'T' || !ParseDay(v.data(), x) || !ParseMs(v.substr(9), ms))
            Bad(name, v, "dateTime");
          row.SetInt(i, x * kMsPerDay + ms);
          break;
        }
      }
    }, guess);
    if (!empty) sc_.SkipOpen();  // a row's content carries nothing
    RowStatus status;
    bool keep;
    if (!DecodeRowState(state, status, keep))
      throw FormatError(fmt::format("row {}: invalid RowState {}", pos_, state));
    if (keep)
      into_.AppendRow(row, status);
    else
      row.Reset();
  }

  Scanner sc_;
  TClientDataSet& into_;
  const std::function<void(size_t, size_t)>& done_;
  Attrs attrs_;
  const size_t fileBytes_;
  std::vector<FieldDef> defs_;
  FieldNames names_;
  bool fieldsRead_ = false;
  bool started_ = false;
  std::unordered_map<int64_t, unsigned> log_;
  int n_ = 0;
  const std::vector<FieldDef>* fd_ = nullptr;
  std::unordered_map<std::string_view, int> byName_;
  std::vector<std::string_view> guesses_;  // the field names, in order
  std::unique_ptr<RowBuilder> row_;
  std::vector<uint8_t> seen_;
  int64_t pos_ = 0;
};

}  // namespace

void ReadXmlPacket(std::string& buffer, TClientDataSet& into,
                   const std::function<void(size_t, size_t)>& done) {
  XmlPacketToUtf8(buffer);
  PacketReader(buffer, into, done).Read();
}

}  // namespace kve

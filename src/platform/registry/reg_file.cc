#include "platform/registry/reg_file.h"

#include <cstdint>
#include <vector>

#include "platform/common/ascii.h"
#include "platform/common/cp1252.h"
#include "platform/common/error.h"

namespace kve {
namespace {

// The bytes as UTF-8 text: UTF-16 with its byte-order mark (what the editor exports), UTF-8,
// or the Windows-1252 of the older format.
std::string Decode(std::string_view b) {
  std::string out;
  if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFF && static_cast<unsigned char>(b[1]) == 0xFE) {
    for (size_t i = 2; i + 1 < b.size(); i += 2) {
      uint32_t u = static_cast<unsigned char>(b[i]) | static_cast<unsigned char>(b[i + 1]) << 8;
      if (u >= 0xD800 && u < 0xDC00 && i + 3 < b.size()) {
        uint32_t lo = static_cast<unsigned char>(b[i + 2]) | static_cast<unsigned char>(b[i + 3]) << 8;
        if (lo >= 0xDC00 && lo < 0xE000) {
          u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
          i += 2;
        }
      }
      AppendUtf8(u, out);
    }
    return out;
  }
  if (b.size() >= 3 && b.substr(0, 3) == "\xEF\xBB\xBF") b.remove_prefix(3);
  if (IsValidUtf8(b)) return std::string(b);
  AppendUtf8FromCp1252(b, out);
  return out;
}

class Parser {
 public:
  Parser(std::string_view fileName) : file_(fileName) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw FormatError(file_ + ": line " + std::to_string(line_) + ": " + what);
  }

  // A quoted text starting at s[0] == '"'; moves `s` past the closing quote.
  std::string Quoted(std::string_view& s) const {
    std::string out;
    for (size_t i = 1; i < s.size(); ++i) {
      if (s[i] == '"') {
        s.remove_prefix(i + 1);
        return out;
      }
      if (s[i] == '\\') {
        if (i + 1 >= s.size()) break;
        char e = s[++i];
        if (e != '\\' && e != '"') Fail(std::string("unknown escape \\") + e);
        out += e;
      } else {
        out += s[i];
      }
    }
    Fail("a quote is not closed");
  }

  RegFile Parse(std::string_view bytes) {
    std::string text = Decode(bytes);
    std::vector<std::string_view> lines;
    for (size_t i = 0; i <= text.size();) {
      size_t j = text.find('\n', i);
      if (j == std::string::npos) j = text.size();
      lines.push_back(std::string_view(text).substr(i, j - i));
      i = j + 1;
    }
    RegFile out;
    bool header = false;
    std::map<std::string, RegValue>* key = nullptr;  // null outside a local-machine section
    bool inSection = false;
    for (size_t n = 0; n < lines.size(); ++n) {
      line_ = static_cast<int>(n + 1);
      std::string_view l = Trim(lines[n]);
      if (l.empty() || l.front() == ';') continue;
      if (!header) {
        if (l != "Windows Registry Editor Version 5.00" && l != "REGEDIT4") {
          Fail("not a registry export file (no \"Windows Registry Editor Version 5.00\" header)");
        }
        header = true;
        continue;
      }
      if (l.front() == '[') {
        if (l.back() != ']') Fail("a key's '[' is not closed");
        std::string_view name = l.substr(1, l.size() - 2);
        bool remove = !name.empty() && name.front() == '-';
        if (remove) name.remove_prefix(1);
        std::string path = AsciiLowered(name);
        while (!path.empty() && path.back() == '\\') path.pop_back();
        size_t slash = path.find('\\');
        std::string root = path.substr(0, slash);
        std::string rest = slash == std::string::npos ? std::string() : path.substr(slash + 1);
        // A doubled separator after the root ("HKLM\\\\K") names the same key as a single one, as
        // the key is looked up.
        while (!rest.empty() && rest.front() == '\\') rest.erase(0, 1);
        inSection = true;
        key = nullptr;
        if (root != "hkey_local_machine" && root != "hklm") continue;
        if (remove) {
          for (auto it = out.keys.begin(); it != out.keys.end();) {
            bool under = it->first == rest || it->first.rfind(rest + "\\", 0) == 0;
            it = under ? out.keys.erase(it) : std::next(it);
          }
          continue;
        }
        key = &out.keys[rest];
        continue;
      }
      if (!inSection) Fail("a value before any [key]");
      std::string_view s = l;
      std::string name;
      if (s.front() == '@') {
        s.remove_prefix(1);
      } else if (s.front() == '"') {
        name = Quoted(s);
      } else {
        Fail("neither a [key] nor a \"name\"=value line");
      }
      s = Trim(s);
      if (s.empty() || s.front() != '=') Fail("'=' expected after the value name");
      s = Trim(s.substr(1));
      RegValue v;
      bool remove = false;
      if (!s.empty() && s.front() == '"') {
        v.text = Quoted(s);
        s = Trim(s);
        if (!s.empty() && s.front() != ';') Fail("unexpected text after the closing quote");
      } else if (s == "-") {
        remove = true;
      } else if (s.rfind("dword:", 0) == 0 || s.rfind("hex", 0) == 0) {
        v.isText = false;
        v.kind = std::string(s.substr(0, s.find(':')));
        // A long binary value continues on the lines that follow its trailing '\'.
        while (!s.empty() && s.back() == '\\' && n + 1 < lines.size()) s = Trim(lines[++n]);
      } else {
        Fail("unknown kind of value");
      }
      if (!key) continue;
      if (remove) {
        key->erase(AsciiLowered(name));
      } else {
        (*key)[AsciiLowered(name)] = std::move(v);
      }
    }
    return out;
  }

 private:
  std::string file_;
  int line_ = 0;
};

}  // namespace

const RegValue* RegFile::Find(std::string_view key, std::string_view name) const {
  std::string k = AsciiLowered(key);
  while (!k.empty() && k.back() == '\\') k.pop_back();
  while (!k.empty() && k.front() == '\\') k.erase(0, 1);
  auto it = keys.find(k);
  if (it == keys.end()) return nullptr;
  auto v = it->second.find(AsciiLowered(name));
  return v == it->second.end() ? nullptr : &v->second;
}

RegFile ParseRegFile(std::string_view bytes, std::string_view fileName) {
  return Parser(fileName).Parse(bytes);
}

}  // namespace kve

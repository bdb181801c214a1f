#include "demo/client_files.h"

#include <stdexcept>
#include <utility>
#include <vector>

namespace kve::demo {
namespace {

void Put16(std::string& b, size_t at, uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
void PutBe16(std::string& b, size_t at, uint32_t v) {
  b[at] = static_cast<char>((v >> 8) & 0xFF);
  b[at + 1] = static_cast<char>(v & 0xFF);
}
void PutBe32(std::string& b, size_t at, uint32_t v) {
  PutBe16(b, at, v >> 16);
  PutBe16(b, at + 2, v & 0xFFFF);
}

constexpr uint32_t kFileAlign = 0x200, kSectionAlign = 0x1000;
constexpr uint32_t kPeAt = 0x80;           // the PE header follows the DOS header and stub
constexpr uint32_t kRsrcRva = kSectionAlign;
constexpr uint32_t kRsrcFileAt = 0x400;    // the headers, padded to the file alignment

uint32_t AlignUp(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

// The version resource: VS_VERSIONINFO with the fixed file-info block and no children.
std::string VersionInfo(ImageKind kind, std::array<uint16_t, 4> v) {
  constexpr std::u16string_view key = u"VS_VERSION_INFO";
  const size_t keyEnd = 6 + (key.size() + 1) * 2;  // length, value length, type, key + NUL
  const size_t fixedAt = (keyEnd + 3) & ~size_t{3};
  std::string b(fixedAt + 52, '\0');
  Put16(b, 0, static_cast<uint32_t>(b.size()));
  Put16(b, 2, 52);  // the fixed block's size
  Put16(b, 4, 0);   // binary value
  for (size_t i = 0; i < key.size(); ++i) Put16(b, 6 + 2 * i, key[i]);
  const uint32_t ms = uint32_t{v[0]} << 16 | v[1], ls = uint32_t{v[2]} << 16 | v[3];
  Put32(b, fixedAt, 0xFEEF04BD);           // signature
  Put32(b, fixedAt + 4, 0x00010000);       // structure version 1.0
  Put32(b, fixedAt + 8, ms);               // file version
  Put32(b, fixedAt + 12, ls);
  Put32(b, fixedAt + 16, ms);              // product version
  Put32(b, fixedAt + 20, ls);
  Put32(b, fixedAt + 24, 0x3F);            // flags mask
  Put32(b, fixedAt + 32, 0x00040004);      // Windows NT, 32-bit
  Put32(b, fixedAt + 36, kind == ImageKind::Program ? 1 : 2);  // application or library
  return b;
}

// The resource section: the type directory, then per type its name and language directories
// (id 1, Portuguese (Brazil)), then the data entries, then the data, each on four bytes.
std::string ResourceSection(const std::vector<std::pair<uint32_t, std::string>>& resources) {
  constexpr uint32_t kHigh = 0x80000000u;
  const auto count = static_cast<uint32_t>(resources.size());
  const uint32_t dirs = 16 + 8 * count, entries = dirs + 48 * count;
  uint32_t dataAt = entries + 16 * count;
  std::string b(dataAt, '\0');
  Put16(b, 14, count);  // root: numeric ids only
  auto directory = [&](uint32_t at, uint32_t id, uint32_t target) {
    Put16(b, at + 14, 1);  // one entry with a numeric id
    Put32(b, at + 16, id);
    Put32(b, at + 20, target);
  };
  for (uint32_t i = 0; i < count; ++i) {
    const auto& [type, data] = resources[i];
    const uint32_t nameDir = dirs + 48 * i, langDir = nameDir + 24, entry = entries + 16 * i;
    Put32(b, 16 + 8 * i, type);
    Put32(b, 16 + 8 * i + 4, kHigh | nameDir);
    directory(nameDir, 1, kHigh | langDir);
    directory(langDir, 0x0416, entry);
    Put32(b, entry, kRsrcRva + dataAt);  // an address in the loaded image
    Put32(b, entry + 4, static_cast<uint32_t>(data.size()));
    b += data;
    b.resize(AlignUp(static_cast<uint32_t>(b.size()), 4), '\0');
    dataAt = static_cast<uint32_t>(b.size());
  }
  return b;
}

}  // namespace

std::string WindowsImage(const WindowsImageOptions& o) {
  std::vector<std::pair<uint32_t, std::string>> resources;
  if (o.icon || !o.version) resources.emplace_back(3, std::string(16, '\0'));  // RT_ICON
  if (o.version) resources.emplace_back(16, VersionInfo(o.kind, *o.version));  // RT_VERSION
  const std::string rsrc = ResourceSection(resources);
  const uint32_t rawSize = AlignUp(static_cast<uint32_t>(rsrc.size()), kFileAlign);
  std::string b(kRsrcFileAt + rawSize, '\0');

  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, kPeAt);
  b.replace(kPeAt, 4, std::string("PE\0\0", 4));

  const uint32_t coff = kPeAt + 4;
  const uint32_t optionalSize = o.pe32plus ? 0xF0 : 0xE0;  // with 16 data directories
  Put16(b, coff, o.pe32plus ? 0x8664 : 0x014C);             // x86-64 or i386
  Put16(b, coff + 2, 1);                                    // one section
  Put16(b, coff + 16, optionalSize);
  Put16(b, coff + 18, (o.kind == ImageKind::Program ? 0x0002 : 0x2002) |  // executable (DLL)
                          (o.pe32plus ? 0x0020 : 0x0100));  // large addresses, or 32-bit

  const uint32_t opt = coff + 20;
  Put16(b, opt, o.pe32plus ? 0x020B : 0x010B);  // PE32+ or PE32
  Put32(b, opt + 8, rawSize);                  // size of initialised data
  Put32(b, opt + (o.pe32plus ? 24 : 28), 0x00400000);  // image base
  Put32(b, opt + 32, kSectionAlign);
  Put32(b, opt + 36, kFileAlign);
  Put16(b, opt + 40, 4);                       // operating system 4.0
  Put16(b, opt + 48, 4);                       // subsystem 4.0
  Put32(b, opt + 56, kRsrcRva + AlignUp(static_cast<uint32_t>(rsrc.size()), kSectionAlign));
  Put32(b, opt + 60, kRsrcFileAt);             // size of headers
  Put16(b, opt + 68, 2);                       // Windows GUI
  const uint32_t dirs = opt + (o.pe32plus ? 112 : 96);
  Put32(b, dirs - 4, 16);                      // data directories
  Put32(b, dirs + 2 * 8, kRsrcRva);            // directory 2: resources
  Put32(b, dirs + 2 * 8 + 4, static_cast<uint32_t>(rsrc.size()));

  const uint32_t sec = opt + optionalSize;
  b.replace(sec, 5, ".rsrc");
  Put32(b, sec + 8, static_cast<uint32_t>(rsrc.size()));  // virtual size
  Put32(b, sec + 12, kRsrcRva);
  Put32(b, sec + 16, rawSize);
  Put32(b, sec + 20, kRsrcFileAt);
  Put32(b, sec + 36, 0x40000040);  // initialised data, readable

  b.replace(kRsrcFileAt, rsrc.size(), rsrc);
  return b;
}

std::string PalmApplication(std::string_view name, std::string_view creator) {
  if (name.empty() || name.size() > 31 || creator.size() != 4) {
    throw std::invalid_argument("PalmApplication: a name of 1 to 31 bytes and a creator of 4");
  }
  std::string b(78 + 2, '\0');  // header, no resource entries, two bytes of gap
  b.replace(0, name.size(), name);
  PutBe16(b, 32, 0x0001);  // resource database
  PutBe16(b, 34, 1);       // version
  // Created and modified 2026-01-01, in seconds since 1904-01-01.
  constexpr uint32_t kWhen = 3850070400u;
  PutBe32(b, 36, kWhen);
  PutBe32(b, 40, kWhen);
  b.replace(60, 4, "appl");
  b.replace(64, 4, creator);
  return b;
}

}  // namespace kve::demo

#pragma once
// Small Windows executables built byte by byte for the tests and the fuzzer's seeds: a DOS
// header, a PE header (32- or 64-bit optional header) and one ".rsrc" section whose resource
// tree holds a version resource, or an icon alone when the image is to have no version.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kve::testing {

struct PeImageOptions {
  std::optional<std::array<uint16_t, 4>> version;  // nothing: no version resource
  bool pe32plus = false;                           // 64-bit optional header
  bool iconFirst = true;                           // an RT_ICON entry before RT_VERSION
};

inline std::string PeImage(const PeImageOptions& o) {
  std::string img;
  auto at = [&img](size_t off, uint64_t v, int bytes) {
    if (img.size() < off + bytes) img.resize(off + bytes, '\0');
    for (int i = 0; i < bytes; ++i) img[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  constexpr size_t kPe = 0x80, kRsrcFile = 0x400;
  constexpr uint32_t kRsrcRva = 0x1000;
  img.assign(kRsrcFile, '\0');
  img[0] = 'M';
  img[1] = 'Z';
  at(0x3C, kPe, 4);
  img.replace(kPe, 4, std::string("PE\0\0", 4));
  const size_t coff = kPe + 4;
  const uint16_t optSize = o.pe32plus ? 240 : 224;
  at(coff + 0, o.pe32plus ? 0x8664 : 0x14C, 2);  // machine
  at(coff + 2, 1, 2);                             // one section
  at(coff + 16, optSize, 2);
  at(coff + 18, 0x2102, 2);  // executable DLL
  const size_t opt = coff + 20;
  at(opt, o.pe32plus ? 0x20B : 0x10B, 2);
  const size_t dirs = opt + (o.pe32plus ? 112 : 96);
  at(dirs - 4, 16, 4);  // number of data directories

  // The resource tree, offsets relative to its root.
  std::string r;
  auto put = [&r](size_t off, uint64_t v, int bytes) {
    if (r.size() < off + bytes) r.resize(off + bytes, '\0');
    for (int i = 0; i < bytes; ++i) r[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const uint32_t sub = 0x80000000u;
  const int types = (o.version ? 1 : 0) + (o.iconFirst || !o.version ? 1 : 0);
  put(14, types, 2);  // root: ID entries only
  size_t entry = 16;
  auto type = [&](uint32_t id, uint32_t nameDir) {  // entries in the order they are added
    put(entry, id, 4);
    put(entry + 4, sub | nameDir, 4);
    entry += 8;
  };
  // Layout: root 0x00, icon name and language levels 0x20 and 0x38, version levels 0x50 and
  // 0x68, data entries 0x80 (icon) and 0x90 (version), icon bytes 0xA0, version block 0xB0.
  auto chain = [&](size_t nameDir, size_t dataEntry, uint32_t rva, uint32_t size) {
    put(nameDir + 14, 1, 2);
    put(nameDir + 16, 1, 4);
    put(nameDir + 20, sub | (nameDir + 24), 4);
    put(nameDir + 24 + 14, 1, 2);
    put(nameDir + 24 + 16, 0x416, 4);  // Portuguese (Brazil)
    put(nameDir + 24 + 20, dataEntry, 4);
    put(dataEntry, rva, 4);
    put(dataEntry + 4, size, 4);
  };
  if (o.iconFirst || !o.version) {
    type(3, 0x20);
    chain(0x20, 0x80, kRsrcRva + 0xA0, 16);
    put(0xA0 + 15, 0, 1);
  }
  if (o.version) {
    type(16, 0x50);
    const size_t v = 0xB0;
    chain(0x50, 0x90, kRsrcRva + v, 92);
    put(v + 0, 92, 2);  // length of the block
    put(v + 2, 52, 2);  // length of the fixed file-info value
    put(v + 4, 0, 2);   // binary
    size_t k = v + 6;
    for (char c : std::string_view("VS_VERSION_INFO")) {
      put(k, static_cast<unsigned char>(c), 2);
      k += 2;
    }
    put(k, 0, 2);                // terminator; the value starts at v + 40
    put(v + 40, 0xFEEF04BD, 4);  // signature
    put(v + 44, 0x00010000, 4);  // structure version
    const auto& n = *o.version;
    put(v + 48, uint32_t{n[0]} << 16 | n[1], 4);
    put(v + 52, uint32_t{n[2]} << 16 | n[3], 4);
    put(v + 56, uint32_t{n[0]} << 16 | n[1], 4);  // product version, the same
    put(v + 60, uint32_t{n[2]} << 16 | n[3], 4);
    put(v + 91, 0, 1);
  }
  const size_t dirOfResources = dirs + 2 * 8;
  at(dirOfResources, kRsrcRva, 4);
  at(dirOfResources + 4, r.size(), 4);

  const size_t section = opt + optSize;
  img.replace(section, 5, ".rsrc");
  at(section + 8, r.size(), 4);    // virtual size
  at(section + 12, kRsrcRva, 4);   // virtual address
  at(section + 16, (r.size() + 0x1FF) / 0x200 * 0x200, 4);  // raw size
  at(section + 20, kRsrcFile, 4);  // raw data
  r.resize((r.size() + 0x1FF) / 0x200 * 0x200, '\0');
  return img + r;
}

inline std::string PeImage(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  return PeImage(PeImageOptions{std::array<uint16_t, 4>{a, b, c, d}});
}

}  // namespace kve::testing

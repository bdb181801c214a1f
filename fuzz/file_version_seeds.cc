// Writes the file_version fuzzer's seeds into the folder given: executables built by the
// tests' own image builder, so the corpus holds nothing taken from elsewhere.
//   file_version_seeds fuzz/corpus/file_version
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "support/pe_image.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: file_version_seeds FOLDER\n");
    return 2;
  }
  using kve::testing::PeImage;
  using kve::testing::PeImageOptions;
  const struct {
    const char* name;
    PeImageOptions options;
  } seeds[] = {
      {"pe32_version.exe", {std::array<uint16_t, 4>{4, 2, 0, 7}, false, true}},
      {"pe32plus_version.bpl", {std::array<uint16_t, 4>{1, 10, 0, 65535}, true, true}},
      {"version_only.bpl", {std::array<uint16_t, 4>{10, 20, 300, 4000}, false, false}},
      {"icon_no_version.exe", {std::nullopt, false, true}},
  };
  // The same image as a share may hand it over: the fuzzer's first byte chooses the shape
  // (0 a file gigabytes longer, 1 replaced by shorter ones between reads, 2 reads cut short),
  // the next two its size.
  const struct {
    const char* name;
    const char prefix[3];
  } served[] = {
      {"smb_enormous.exe", {0, '\xFF', 0}},
      {"smb_replaced.exe", {1, 0, 0}},
      {"smb_cut_short.exe", {2, 0x02, 0x00}},
  };
  auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
  };
  for (const auto& s : served) {
    if (!write(s.name, std::string(s.prefix, 3) + PeImage(4, 2, 0, 7))) {
      std::fprintf(stderr, "cannot write %s\n", s.name);
      return 1;
    }
  }
  // Gigabytes long, its first section saying it holds 1 MB: read in a second piece.
  std::string wide = PeImage(4, 2, 0, 7);
  auto u32 = [&](size_t at) {
    return uint32_t(uint8_t(wide[at])) | uint32_t(uint8_t(wide[at + 1])) << 8 |
           uint32_t(uint8_t(wide[at + 2])) << 16 | uint32_t(uint8_t(wide[at + 3])) << 24;
  };
  const size_t pe = u32(0x3C), rawSize = pe + 24 + (u32(pe + 20) & 0xFFFF) + 16;
  wide[rawSize + 2] = 0x10;  // 0x100000 bytes
  if (!write("smb_enormous_section.exe", std::string("\0\xFF\0", 3) + wide)) {
    std::fprintf(stderr, "cannot write smb_enormous_section.exe\n");
    return 1;
  }
  for (const auto& s : seeds) {
    std::ofstream out(std::string(argv[1]) + "/" + s.name, std::ios::binary);
    const std::string bytes = PeImage(s.options);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", s.name);
      return 1;
    }
  }
  return 0;
}

// Writes the file_version fuzzer's seeds into the folder given: executables built by the
// tests' own image builder, so the corpus holds nothing taken from elsewhere.
//   file_version_seeds fuzz/corpus/file_version
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

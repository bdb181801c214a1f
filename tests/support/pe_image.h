#pragma once
// Windows executables for the tests and the fuzzer's seeds, as the demo builds them: a version
// resource of either header kind, after an icon by default, or an icon alone.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "demo/client_files.h"

namespace kve::testing {

struct PeImageOptions {
  std::optional<std::array<uint16_t, 4>> version;  // nothing: no version resource
  bool pe32plus = false;                           // 64-bit optional header
  bool iconFirst = true;                           // an RT_ICON entry before RT_VERSION
};

inline std::string PeImage(const PeImageOptions& o) {
  return demo::WindowsImage({demo::ImageKind::Library, o.version, o.pe32plus, o.iconFirst});
}

inline std::string PeImage(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  return PeImage(PeImageOptions{std::array<uint16_t, 4>{a, b, c, d}});
}

}  // namespace kve::testing

#pragma once
// Stand-ins for the program files the demo site installs, built by the demo so that no
// outside binary is needed: Windows images (the eeePC client and its runtime packages) that
// carry a real version resource, as the deployment check reads it, and empty Palm
// application files for the HotSync queue.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kve::demo {

enum class ImageKind { Program, Library };

struct WindowsImageOptions {
  ImageKind kind = ImageKind::Library;
  std::optional<std::array<uint16_t, 4>> version;  // nothing: no version resource
  bool pe32plus = false;                           // a 64-bit image
  bool icon = false;                               // an icon resource before the version
};

// A small but well-formed Windows image: headers, one resource section whose resource
// directory holds a version resource (type 16, id 1, Portuguese (Brazil)) with the fixed
// file-info block giving the version ({4, 2, 0, 7} is "4.2.0.7") as file and product version,
// after an icon if asked (an image without a version always has one). It has no code: it is
// for reading, not for running.
std::string WindowsImage(const WindowsImageOptions& options);
inline std::string WindowsImage(ImageKind kind, std::array<uint16_t, 4> version) {
  return WindowsImage(WindowsImageOptions{kind, version});
}

// A Palm resource database (an application file, ".prc") with no resources: the 78-byte
// header named `name` (at most 31 characters), type "appl" and the four-character creator.
std::string PalmApplication(std::string_view name, std::string_view creator);

}  // namespace kve::demo

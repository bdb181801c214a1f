// The file version of a Windows executable or package, read the way the platform reads it:
// from the fixed file-info block of the version resource, found through the PE headers, the
// section table and the resource tree. These files come from outside (an installation folder,
// another computer's share), so every offset is checked against the file before it is read.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/common/error.h"
#include "platform/fs/file_system.h"

namespace kve {
namespace {

constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kVersionResourceType = 16;  // RT_VERSION
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;

class Image {
 public:
  explicit Image(std::string_view b) : b_(b) {}

  bool Has(uint64_t at, uint64_t n) const { return at <= b_.size() && n <= b_.size() - at; }
  uint16_t U16(uint64_t at, const char* what) const {
    Need(at, 2, what);
    return static_cast<uint16_t>(Byte(at) | Byte(at + 1) << 8);
  }
  uint32_t U32(uint64_t at, const char* what) const {
    Need(at, 4, what);
    return static_cast<uint32_t>(Byte(at)) | static_cast<uint32_t>(Byte(at + 1)) << 8 |
           static_cast<uint32_t>(Byte(at + 2)) << 16 | static_cast<uint32_t>(Byte(at + 3)) << 24;
  }
  void Need(uint64_t at, uint64_t n, const char* what) const {
    if (!Has(at, n)) throw FormatError(std::string("version resource: ") + what + " lies beyond the end of the file");
  }

 private:
  uint32_t Byte(uint64_t at) const { return static_cast<unsigned char>(b_[at]); }
  std::string_view b_;
};

struct Section {
  uint32_t rva, size, file;
};

// The file offset of `rva`, found through the section that holds it in the file.
uint64_t FileOffset(const std::vector<Section>& sections, uint32_t rva, const char* what) {
  for (const Section& s : sections) {
    if (rva >= s.rva && rva - s.rva < s.size) return uint64_t{s.file} + (rva - s.rva);
  }
  throw FormatError(std::string("version resource: ") + what + " lies outside every section");
}

// The entry of a resource directory at `dir` with `id`, or its first entry when `id` is
// nothing; returns the entry's OffsetToData word, or nothing when there is no such entry.
std::optional<uint32_t> DirectoryEntry(const Image& img, uint64_t dir, std::optional<uint32_t> id) {
  const uint32_t named = img.U16(dir + 12, "a resource directory");
  const uint32_t ids = img.U16(dir + 14, "a resource directory");
  const uint64_t first = dir + 16;
  img.Need(first, uint64_t{named + ids} * 8, "a resource directory's entries");
  if (!id) {
    if (named + ids == 0) return std::nullopt;
    return img.U32(first + 4, "a resource entry");
  }
  for (uint32_t i = named; i < named + ids; ++i) {
    if (img.U32(first + 8 * i, "a resource entry") == *id) return img.U32(first + 8 * i + 4, "a resource entry");
  }
  return std::nullopt;
}

}  // namespace

std::string FileVersionOfImage(std::string_view bytes) {
  const Image img(bytes);
  // Anything but a PE image (a text file, a DOS program) simply has no version.
  if (!img.Has(0, 0x40) || bytes.substr(0, 2) != "MZ") return {};
  const uint32_t pe = img.U32(0x3C, "the PE header offset");
  if (!img.Has(pe, 4) || bytes.substr(pe, 4) != std::string_view("PE\0\0", 4)) return {};

  const uint64_t coff = uint64_t{pe} + 4;
  const uint32_t sectionCount = img.U16(coff + 2, "the file header");
  const uint32_t optSize = img.U16(coff + 16, "the file header");
  const uint64_t opt = coff + 20;
  const uint16_t magic = img.U16(opt, "the optional header");
  uint64_t dirCountAt;
  if (magic == 0x10B) {
    dirCountAt = opt + 92;
  } else if (magic == 0x20B) {
    dirCountAt = opt + 108;
  } else {
    throw FormatError("version resource: unknown optional header kind " + std::to_string(magic));
  }
  if (dirCountAt + 4 > opt + optSize) return {};  // no data directories at all
  const uint32_t dirCount = img.U32(dirCountAt, "the optional header");
  const uint64_t dirs = dirCountAt + 4;
  if (dirCount <= kResourceDirectoryIndex || dirs + 8 * (kResourceDirectoryIndex + 1) > opt + optSize) return {};
  const uint32_t rsrcRva = img.U32(dirs + 8 * kResourceDirectoryIndex, "the resource directory entry");
  if (rsrcRva == 0) return {};

  const uint64_t sectionTable = opt + optSize;
  img.Need(sectionTable, uint64_t{sectionCount} * 40, "the section table");
  std::vector<Section> sections;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint64_t s = sectionTable + 40 * uint64_t{i};
    sections.push_back({img.U32(s + 12, "a section header"), img.U32(s + 16, "a section header"),
                        img.U32(s + 20, "a section header")});
  }
  const uint64_t root = FileOffset(sections, rsrcRva, "the resource tree");

  // Type, name, language: three levels, each entry but the last a subdirectory.
  std::optional<uint32_t> entry = DirectoryEntry(img, root, kVersionResourceType);
  if (!entry) return {};
  for (int level = 0; level < 2; ++level) {
    if (!(*entry & kSubdirectoryFlag)) throw FormatError("version resource: a resource level is not a directory");
    entry = DirectoryEntry(img, root + (*entry & ~kSubdirectoryFlag), std::nullopt);
    if (!entry) return {};
  }
  if (*entry & kSubdirectoryFlag) throw FormatError("version resource: the language level holds a directory");
  const uint64_t dataEntry = root + *entry;
  const uint32_t dataRva = img.U32(dataEntry, "the version data entry");
  const uint32_t dataSize = img.U32(dataEntry + 4, "the version data entry");
  const uint64_t block = FileOffset(sections, dataRva, "the version data");
  img.Need(block, dataSize, "the version data");

  // VS_VERSIONINFO: length, value length, type, the key "VS_VERSION_INFO" in UTF-16 with its
  // terminator, padding to a four-byte boundary, then the fixed file-info block.
  const uint32_t length = img.U16(block, "the version block");
  const uint32_t valueLength = img.U16(block + 2, "the version block");
  if (length > dataSize) throw FormatError("version resource: the version block is longer than its data");
  static constexpr std::string_view kKey = "VS_VERSION_INFO";
  uint64_t at = block + 6;
  for (char c : kKey) {
    if (img.U16(at, "the version key") != static_cast<unsigned char>(c)) return {};
    at += 2;
  }
  if (img.U16(at, "the version key") != 0) return {};
  at = block + ((at + 2 - block + 3) / 4 * 4);
  if (valueLength < 16 || at + 16 > block + length) return {};  // no fixed file-info
  if (img.U32(at, "the fixed file-info") != kFixedInfoSignature)
    throw FormatError("version resource: the fixed file-info has a wrong signature");
  const uint32_t ms = img.U32(at + 8, "the fixed file-info");
  const uint32_t ls = img.U32(at + 12, "the fixed file-info");
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) +
         "." + std::to_string(ls & 0xFFFF);
}

namespace {

// How many bytes from the start of the file the version reader needs, judged from `head`:
// its headers, then every section's bytes in the file (the resource tree and the data it
// points at lie in sections; what follows them, an installer's payload, is never read).
// 0 for what is no PE image. A header that lies beyond `head` asks for the bytes up to it.
uint64_t ImageExtent(std::string_view head) {
  const Image img(head);
  if (!img.Has(0, 0x40) || head.substr(0, 2) != "MZ") return 0;
  const uint64_t pe = img.U32(0x3C, "the PE header offset");
  const uint64_t opt = pe + 24;
  if (!img.Has(pe, 24)) return opt;
  if (head.substr(pe, 4) != std::string_view("PE\0\0", 4)) return 0;
  const uint64_t sectionCount = img.U16(pe + 6, "the file header");
  const uint64_t sectionTable = opt + img.U16(pe + 20, "the file header");
  const uint64_t headers = sectionTable + 40 * sectionCount;
  if (!img.Has(0, headers)) return headers;
  uint64_t end = headers;
  for (uint64_t i = 0; i < sectionCount; ++i) {
    const uint64_t s = sectionTable + 40 * i;
    end = std::max(end, uint64_t{img.U32(s + 20, "a section header")} + img.U32(s + 16, "a section header"));
  }
  return end;
}

}  // namespace

std::string GetFileVersion(FileSystem& fs, std::string_view path) {
  if (!fs.FileExists(path)) return {};
  try {
    // The headers first, then what they say the sections need, never more than the bound:
    // the file may be enormous, or a server may say anything about it.
    constexpr size_t kHead = 64 << 10;
    std::string bytes = fs.ReadFileHead(path, kHead);
    // Three reads at most (the head, the section table, the sections), should a server hand
    // over other bytes at each.
    for (size_t asked = kHead, reads = 1; bytes.size() == asked && reads < 3; ++reads) {
      const uint64_t need = ImageExtent(bytes);
      if (need <= bytes.size()) break;
      if (need > kFileVersionMaxRead) {
        throw FormatError("version resource: the image's headers and sections reach " + std::to_string(need) +
                          " bytes into the file, past the " + std::to_string(kFileVersionMaxRead >> 20) +
                          " MB the version reader reads");
      }
      asked = static_cast<size_t>(need);
      bytes = fs.ReadFileHead(path, asked);
    }
    return FileVersionOfImage(bytes);
  } catch (const FormatError& e) {
    throw FormatError(std::string(path) + ": " + e.what());
  }
}

}  // namespace kve

// The version resource of executables built by the test: both header kinds, a tree where the
// version is not the first type, and images cut or corrupted at every structure on the way.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/common/error.h"
#include "platform/fs/file_system.h"
#include "support/pe_image.h"
#include "support/mem_fs.h"

namespace kve {
namespace {

using testing::PeImage;
using testing::PeImageOptions;

TEST(FileVersion, ReadsTheFixedFileInfoOfEveryHeaderKind) {
  struct Case {
    PeImageOptions image;
    std::string want;
  } cases[] = {
      {{std::array<uint16_t, 4>{4, 2, 0, 7}, false, true}, "4.2.0.7"},
      {{std::array<uint16_t, 4>{1, 10, 0, 65535}, true, true}, "1.10.0.65535"},
      {{std::array<uint16_t, 4>{10, 20, 300, 4000}, false, false}, "10.20.300.4000"},
      {{std::nullopt, false, true}, ""},  // an icon and no version
  };
  for (const Case& c : cases) EXPECT_EQ(FileVersionOfImage(PeImage(c.image)), c.want);
  EXPECT_EQ(FileVersionOfImage("no resource at all"), "");
  EXPECT_EQ(FileVersionOfImage("MZ" + std::string(100, '\0')), "");  // a DOS program
}

// Every prefix of a real image either still reads (the tail is padding) or fails with a
// FormatError; none reads past the end (the sanitizer build would see it).
TEST(FileVersion, ACutImageIsRefusedNotOverread) {
  const std::string whole = PeImage(4, 2, 0, 7);
  int refused = 0;
  for (size_t n = 0; n < whole.size(); ++n) {
    try {
      std::string v = FileVersionOfImage(std::string_view(whole).substr(0, n));
      EXPECT_TRUE(v.empty() || v == "4.2.0.7") << n;
    } catch (const FormatError&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
}

TEST(FileVersion, PointersOutsideTheFileAreErrorsNamingThePath) {
  std::string img = PeImage(4, 2, 0, 7);
  img[0x400 + 0x96] = '\x7F';  // the version data's size, far beyond the file
  auto fs = NewMemFileSystem();
  fs->CreateDir("C:\\Bin");
  fs->WriteFile("C:\\Bin\\RDL.exe", img);
  try {
    GetFileVersion(*fs, "C:\\Bin\\RDL.exe");
    FAIL() << "no error";
  } catch (const FormatError& e) {
    EXPECT_STREQ(e.what(), "C:\\Bin\\RDL.exe: version resource: the version data lies beyond the end of the file");
  }
}


// A file as a share may hand it over: the image followed by gigabytes (an installer's payload,
// or a server that says so). Reads are answered from the image and zeros beyond it; the reader
// must never ask for the whole file nor for more than its bound.
class EnormousFile final : public FileSystemWrapper {
 public:
  EnormousFile(FileSystem& base, std::string image) : FileSystemWrapper(base), image_(std::move(image)) {}
  bool FileExists(std::string_view) override { return true; }
  std::string ReadFile(std::string_view) override {
    ADD_FAILURE() << "the whole file was asked for";
    return image_;
  }
  std::string ReadFileHead(std::string_view, size_t n) override {
    most = std::max(most, n);
    std::string out = image_.substr(0, n);
    out.resize(n, '\0');  // 8 GB long: never shorter than asked
    return out;
  }
  size_t most = 0;

 private:
  std::string image_;
};

uint32_t U32At(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}
void PutU32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

TEST(FileVersion, ReadsOnlyTheHeadersAndSectionsOfAnEnormousFileAndRefusesSectionsPastTheBound) {
  const std::string image = PeImage(4, 2, 0, 7);
  const size_t pe = U32At(image, 0x3C);
  const size_t rawSize = pe + 24 + (U32At(image, pe + 20) & 0xFFFF) + 16;  // the first section's
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
    const char* want;  // the version, or a part of the error
    size_t most;       // the most bytes one read may ask for
  } cases[] = {
      {"a payload after the sections", 0, 0, "4.2.0.7", 64 << 10},
      {"a section of 1 MB", rawSize, 1u << 20, "4.2.0.7", (1u << 20) + (64 << 10)},
      {"a section that says 1 GB", rawSize, 1u << 30, "past the 64 MB the version reader reads", kFileVersionMaxRead},
      {"a PE header at 3 GB", 0x3C, 3u << 30, "past the 64 MB the version reader reads", kFileVersionMaxRead},
  };
  auto mem = NewMemFileSystem();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string img = image;
    if (c.at != 0) PutU32(img, c.at, c.value);
    EnormousFile fs(*mem, img);
    std::string got;
    try {
      got = GetFileVersion(fs, "\\\\PC\\Share\\Kve.exe");
    } catch (const FormatError& e) {
      got = e.what();
      EXPECT_EQ(got.rfind("\\\\PC\\Share\\Kve.exe: version resource: ", 0), 0u) << got;
    }
    EXPECT_NE(got.find(c.want), std::string::npos) << got;
    EXPECT_LE(fs.most, c.most);
  }
}

}  // namespace
}  // namespace kve

// The version resource of executables built by the test: both header kinds, a tree where the
// version is not the first type, and images cut or corrupted at every structure on the way.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kve

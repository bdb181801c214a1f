#include <gtest/gtest.h>

#include "demo/client_files.h"
#include "platform/fs/file_system.h"
#include "platform/pdb/pdb_reader.h"

namespace kve::demo {
namespace {

uint32_t Le(const std::string& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b.at(at + i));
  return v;
}

TEST(ClientFiles, AWindowsImageCarriesItsVersionWhereALoaderFindsIt) {
  std::string image = WindowsImage(ImageKind::Library, {1, 10, 0, 65535});
  EXPECT_EQ(FileVersionOfImage(image), "1.10.0.65535");

  // Follow the headers as a loader does: PE header, resource directory of the optional
  // header, the section that holds it, then type 16 -> id 1 -> language -> data entry.
  ASSERT_EQ(image.substr(0, 2), "MZ");
  uint32_t pe = Le(image, 0x3C, 4);
  ASSERT_EQ(image.substr(pe, 4), std::string("PE\0\0", 4));
  EXPECT_TRUE(Le(image, pe + 22, 2) & 0x2000);  // a library
  uint32_t opt = pe + 24;
  ASSERT_EQ(Le(image, opt, 2), 0x010Bu);
  uint32_t rsrcRva = Le(image, opt + 96 + 16, 4);
  uint32_t sec = opt + Le(image, pe + 20, 2);
  ASSERT_EQ(image.substr(sec, 5), ".rsrc");
  ASSERT_EQ(Le(image, sec + 12, 4), rsrcRva);
  uint32_t base = Le(image, sec + 20, 4);
  auto entry = [&](uint32_t dir, uint32_t id) {
    EXPECT_EQ(Le(image, base + dir + 14, 2), 1u);
    EXPECT_EQ(Le(image, base + dir + 16, 4), id);
    return Le(image, base + dir + 20, 4) & 0x7FFFFFFF;
  };
  uint32_t data = entry(entry(entry(0, 16), 1), 0x0416);
  uint32_t infoAt = base + Le(image, base + data, 4) - rsrcRva;
  EXPECT_EQ(Le(image, infoAt, 2), Le(image, base + data + 4, 4));  // the block's own length
  EXPECT_EQ(Le(image, infoAt + 40, 4), 0xFEEF04BDu);
  EXPECT_EQ(Le(image, infoAt + 48, 4), 1u << 16 | 10);
}

TEST(ClientFiles, APalmApplicationIsAnEmptyResourceDatabase) {
  std::string prc = PalmApplication("KVE", "RKVE");
  ASSERT_TRUE(pdb::IsPdb(prc));
  pdb::PdbFile f = pdb::PdbFile::Parse(prc, "KVE.prc");
  EXPECT_EQ(f.Header().name, "KVE");
  EXPECT_EQ(f.Header().type, "appl");
  EXPECT_EQ(f.Header().creator, "RKVE");
  EXPECT_EQ(f.Header().attributes & 1, 1);
  EXPECT_EQ(f.RecordCount(), 0);
}

}  // namespace
}  // namespace kve::demo

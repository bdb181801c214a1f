#include "platform/pdb/pdb_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/error.h"
#include "platform/pdb/pdb_format.h"
#include "support/temp_folder.h"

namespace kve::pdb {
namespace {

using ::testing::HasSubstr;

// A small valid database: fields S (text) and N (PSInt16), records ("ab", 7) and ("", -1).
std::string SampleFile(const testing::TempFolder& dir) {
  TPDBPocketStudio pdm;
  for (auto [name, type] :
       {std::pair{"S", TPDBPSFieldType::PSString}, std::pair{"N", TPDBPSFieldType::PSInt16}}) {
    TPDBPSField& f = pdm.Fields().Add();
    f.SetFieldName(name);
    f.SetDataType(type);
  }
  pdm.SetDBName("AMOSTRA");
  pdm.SetDirectory(dir.path());
  pdm.SetPDBFilename("AMOSTRA.pdb");
  pdm.CreateDatabase();
  pdm.Append();
  pdm.FieldByName("S").SetAsPSString("ab");
  pdm.FieldByName("N").SetAsPSInt16(7);
  pdm.Post();
  pdm.Append();
  pdm.FieldByName("N").SetAsPSInt16(-1);
  pdm.Post();
  pdm.CloseDatabase();
  return testing::ReadBytes(dir / "AMOSTRA.pdb");
}

// Offsets in SampleFile: list at 78, AppInfo at 96 ("\0\2" "\0\0\0S\0" "\2\0\0N\0"), records
// at 108 ("ab\0" 00 07) and 113 ("\0" FF FF), 116 bytes in all.
constexpr size_t kApp = 96, kRec1 = 108, kRec2 = 113, kSize = 116;

std::string ParseError(std::string bytes) {
  try {
    PdbFile f = PdbFile::Parse(std::move(bytes), "BAD.pdb");
    for (int i = 0; i < f.RecordCount(); ++i) f.Record(i);
  } catch (const FormatError& e) {
    return e.what();
  }
  return "no error";
}

TEST(PdbReader, DecodesHeaderFieldsAndRecords) {
  testing::TempFolder dir;
  const std::string bytes = SampleFile(dir);
  ASSERT_EQ(bytes.size(), kSize);
  const PdbFile f = PdbFile::Parse(bytes, "AMOSTRA.pdb");
  EXPECT_EQ(f.Header().name, "AMOSTRA");
  EXPECT_EQ(f.Header().type, "DBCS");
  EXPECT_EQ(f.Header().creator, "RKVE");
  EXPECT_EQ(f.Header().appInfoOffset, kApp);
  ASSERT_EQ(f.RecordCount(), 2);
  EXPECT_EQ(f.Entries()[0].offset, kRec1);
  EXPECT_EQ(f.Entries()[1].offset, kRec2);
  ASSERT_EQ(f.Fields().size(), 2u);
  EXPECT_EQ(f.FieldIndex("N"), 1);
  EXPECT_EQ(f.Record(0)[0].Text(), "ab");
  EXPECT_EQ(f.Record(0)[1].integer, 7);
  EXPECT_EQ(f.Record(1)[0].Text(), "");
  EXPECT_EQ(f.Record(1)[1].integer, -1);
}

TEST(PdbReader, NamesTheFileAndTheFaultOfEveryMalformedPart) {
  testing::TempFolder dir;
  const std::string good = SampleFile(dir);
  auto with = [&](size_t at, std::string patch) {
    std::string b = good;
    b.replace(at, patch.size(), patch);
    return b;
  };
  EXPECT_THAT(ParseError(good.substr(0, 77)), HasSubstr("BAD.pdb: 77 bytes are too few"));
  EXPECT_THAT(ParseError(with(kOffCount, "\x10\x00")), HasSubstr("runs past the end"));
  // a record before the list, out of order, or past the end of the file
  EXPECT_THAT(ParseError(with(78, std::string("\0\0\0\x10", 4))), HasSubstr("record 1: offset 16"));
  EXPECT_THAT(ParseError(with(86, std::string("\0\0\0\x6A", 4))),
              HasSubstr("record 2: offset 106"));
  EXPECT_THAT(ParseError(with(86, std::string("\0\0\0\x80", 4))),
              HasSubstr("record 2: offset 128"));
  // the field description
  EXPECT_THAT(ParseError(with(kOffAppInfo, std::string("\0\0\0\x70", 4))),
              HasSubstr("AppInfo offset 112"));
  EXPECT_THAT(ParseError(with(kApp, std::string("\0\x09", 2))), HasSubstr("field 3 of 9"));
  EXPECT_THAT(ParseError(with(kApp + 2, "\x07")), HasSubstr("field 1: unknown type 7"));
  EXPECT_THAT(ParseError(with(kApp + 11, "X")), HasSubstr("field 2: its name has no end"));
  // records that do not match the description
  EXPECT_THAT(ParseError(with(kRec2, "x")), HasSubstr("record 2: S: the text has no end"));
  EXPECT_THAT(ParseError(good.substr(0, kSize - 1)),
              HasSubstr("record 2: N: the record ends early"));
  EXPECT_THAT(ParseError(good + "z"), HasSubstr("record 2: 1 bytes left over"));
}

TEST(PdbReader, FileWithoutFieldDescriptionStillListsItsRecords) {
  testing::TempFolder dir;
  std::string b = SampleFile(dir);
  b.replace(kOffAppInfo, 4, std::string(4, '\0'));
  const PdbFile f = PdbFile::Parse(b, "RAW.pdb");
  EXPECT_FALSE(f.HasFieldDescription());
  EXPECT_EQ(f.RecordBytes(1), std::string("\0\xFF\xFF", 3));
  EXPECT_THROW(f.Record(0), FormatError);
}

}  // namespace
}  // namespace kve::pdb

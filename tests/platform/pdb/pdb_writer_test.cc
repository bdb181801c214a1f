#include "platform/pdb/pdb_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/error.h"
#include "platform/pdb/pdb_format.h"
#include "platform/pdb/pdb_reader.h"
#include "support/temp_folder.h"

namespace kve {
namespace {

using ::testing::HasSubstr;
using T = TPDBPSFieldType;

void AddField(TPDBPocketStudio& pdm, const char* name, std::optional<T> type) {
  TPDBPSField& f = pdm.Fields().Add();
  f.SetFieldName(name);
  if (type) f.SetDataType(*type);
  f.SetSize(0);
}

// One field of every type, and one without type, in the order the record encodes them.
void AddEveryType(TPDBPocketStudio& pdm) {
  AddField(pdm, "S", T::PSString);
  AddField(pdm, "I8", T::PSInt8);
  AddField(pdm, "I16", T::PSInt16);
  AddField(pdm, "I32", T::PSInt32);
  AddField(pdm, "D", T::PSDate);
  AddField(pdm, "F", T::PSDouble);
  AddField(pdm, "B", T::PSBoolean);
  AddField(pdm, "NONE", std::nullopt);
}

class PdbWriter : public ::testing::Test {
 protected:
  void Open(const std::string& name) {
    pdm.SetDBName(name);
    pdm.SetDirectory(dir.path());
    pdm.SetPDBFilename(name + ".pdb");
    pdm.SetTimestamp(TDateTime::FromDate({2008, 12, 25}, {14, 30, 5}));
    pdm.CreateDatabase();
  }
  std::string File(const std::string& name) { return testing::ReadBytes(dir / name); }

  testing::TempFolder dir;
  TPDBPocketStudio pdm;
};

TEST_F(PdbWriter, WritesHeaderRecordListAndEachTypeInItsWidth) {
  AddEveryType(pdm);
  Open("EFETIVOS");
  pdm.Append();
  pdm.FieldByName("S").SetAsPSString("Ab");
  pdm.FieldByName("I8").SetAsPSInt8(-1);
  pdm.FieldByName("I16").SetAsPSInt16(4464);
  pdm.FieldByName("I32").SetAsPSInt32(-2);
  pdm.FieldByName("D").SetAsPSDate(TDateTime::FromDate({2008, 12, 25}, {23, 59, 0}));
  pdm.FieldByName("F").SetAsPSSingle(1.5f);
  pdm.FieldByName("b").SetAsPSBoolean(true);  // names match in any letter case
  pdm.Post();
  pdm.Append();  // nothing assigned: every field its zero
  pdm.Post();
  pdm.CloseDatabase();

  const std::string f = File("EFETIVOS.pdb");
  EXPECT_EQ(f.substr(0, 9), std::string("EFETIVOS\0", 9));
  EXPECT_EQ(f.substr(pdb::kOffType, 8), "DBCSRKVE");
  const uint32_t stamp = pdb::ToPalmSeconds(TDateTime::FromDate({2008, 12, 25}, {14, 30, 5}));
  EXPECT_EQ(pdb::GetU32(f.data() + pdb::kOffCreated), stamp);
  EXPECT_EQ(pdb::GetU32(f.data() + pdb::kOffModified), stamp);
  EXPECT_EQ(pdb::GetU32(f.data() + pdb::kOffBackup), 0u);
  EXPECT_EQ(pdb::GetU16(f.data() + pdb::kOffCount), 2);
  EXPECT_EQ(pdb::GetU32(f.data() + pdb::kOffSeed), 3u);
  // the AppInfo block follows the two-entry list and its two zero bytes
  const size_t app = pdb::kHeaderSize + 2 * 8 + 2;
  EXPECT_EQ(pdb::GetU32(f.data() + pdb::kOffAppInfo), app);
  const std::string desc(
      "\0\x08"
      "\x00\x00\x00S\0"
      "\x01\x00\x00I8\0"
      "\x02\x00\x00I16\0"
      "\x03\x00\x00I32\0"
      "\x04\x00\x00"
      "D\0"
      "\x05\x00\x00"
      "F\0"
      "\x06\x00\x00"
      "B\0"
      "\xFF\x00\x00NONE\0",
      2 + 8 * 3 + 2 + 3 + 4 + 4 + 2 + 2 + 2 + 5);
  EXPECT_EQ(f.substr(app, desc.size()), desc);
  // each record: the fields in order, in their widths; 2008-12-25 is DateType 0xD199
  const std::string rec1(
      "Ab\0"
      "\xFF"
      "\x11\x70"
      "\xFF\xFF\xFF\xFE"
      "\xD1\x99"
      "\x3F\xF8\0\0\0\0\0\0"
      "\x01",
      3 + 1 + 2 + 4 + 2 + 8 + 1);
  const std::string rec2(1 + 1 + 2 + 4 + 2 + 8 + 1, '\0');
  const size_t data = app + desc.size();
  ASSERT_EQ(f.size(), data + rec1.size() + rec2.size());
  EXPECT_EQ(f.substr(data, rec1.size()), rec1);
  EXPECT_EQ(f.substr(data + rec1.size()), rec2);
  // record list: offsets, attributes 0, unique IDs 1 and 2
  EXPECT_EQ(f.substr(pdb::kHeaderSize, 16),
            std::string("\0\0\0", 3) + char(data) + std::string("\0\0\0\x01\0\0\0", 7) +
                char(data + rec1.size()) + std::string("\0\0\0\x02", 4));
}

TEST_F(PdbWriter, TextsAreWindows1252AndReadBackAsTheyWere) {
  AddEveryType(pdm);
  Open("PRODUTO");
  pdm.Append();
  pdm.FieldByName("S").SetAsPSString("Feijão € 1kg");
  pdm.FieldByName("F").SetAsPSSingle(0.1f);
  pdm.FieldByName("D").SetAsPSDate(TDateTime::FromDate({2031, 12, 31}));
  pdm.Post();
  pdm.CloseDatabase();

  EXPECT_THAT(File("PRODUTO.pdb"), HasSubstr("Feij\xE3o \x80 1kg"));
  const auto db = pdb::PdbFile::Load(dir / "PRODUTO.pdb");
  const auto r = db.Record(0);
  EXPECT_EQ(r[0].Text(), "Feijão € 1kg");
  EXPECT_EQ(r[5].real, static_cast<double>(0.1f));
  EXPECT_EQ(r[5].Text(), "0.1");
  EXPECT_EQ(r[4].Text(), "31/12/2031");
}

TEST_F(PdbWriter, RefusesValuesTheFieldCannotHold) {
  AddEveryType(pdm);
  Open("PRODUTO");
  pdm.Append();
  EXPECT_THROW(pdm.FieldByName("I16").SetAsPSInt8(1), ValueError);
  EXPECT_THROW(pdm.FieldByName("NONE").SetAsPSString("x"), ValueError);
  try {
    pdm.FieldByName("S").SetAsPSString("中");
    FAIL() << "a character outside the code page was accepted";
  } catch (const ValueError& e) {
    EXPECT_THAT(e.what(), HasSubstr("PRODUTO.pdb: record 1: S: character U+4E2D"));
  }
  EXPECT_THROW(pdm.FieldByName("S").SetAsPSString(std::string("a\0b", 3)), ValueError);
  EXPECT_THROW(pdm.FieldByName("D").SetAsPSDate(TDateTime{}), ValueError);  // 1899
  EXPECT_THROW(pdm.FieldByName("D").SetAsPSDate(TDateTime::FromDate({2032, 1, 1})), ValueError);
  EXPECT_THROW(pdm.FieldByName("MISSING"), Error);
}

TEST_F(PdbWriter, RefusesTheRecord65536AndNamesTheDatabase) {
  AddField(pdm, "N", T::PSInt8);
  Open("PROD_COD");
  for (int i = 0; i < 65535; ++i) {
    pdm.Append();
    pdm.Post();
  }
  try {
    pdm.Append();
    FAIL() << "record 65,536 was accepted";
  } catch (const ValueError& e) {
    EXPECT_THAT(e.what(), HasSubstr("PROD_COD.pdb"));
    EXPECT_THAT(e.what(), HasSubstr("65,535"));
  }
  pdm.CloseDatabase();  // what was accepted is still complete
  const auto db = pdb::PdbFile::Load(dir / "PROD_COD.pdb");
  EXPECT_EQ(db.RecordCount(), 65535);
  EXPECT_EQ(db.Entries().back().uniqueId, 65535u);
}

TEST_F(PdbWriter, FileAppearsOnlyWhenClosedAndCancelKeepsTheEarlierOne) {
  AddField(pdm, "N", T::PSInt16);
  testing::WriteBytes(dir / "CARDAPIO.pdb", "earlier");
  Open("CARDAPIO");
  pdm.Append();
  pdm.Post();
  EXPECT_EQ(File("CARDAPIO.pdb"), "earlier");
  pdm.CancelDatabase();
  EXPECT_EQ(File("CARDAPIO.pdb"), "earlier");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  Open("CARDAPIO");
  pdm.Append();
  pdm.Post();
  pdm.CloseDatabase();
  EXPECT_EQ(pdb::PdbFile::Load(dir / "CARDAPIO.pdb").RecordCount(), 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(PdbWriter, MegabytesOfRecordsKeepTheirOrder) {
  AddField(pdm, "N", T::PSInt32);
  AddField(pdm, "S", T::PSString);
  Open("ITEMNF");
  const std::string filler(200, 'x');
  const int n = 12000;  // about 1.3 MB of records
  for (int i = 0; i < n; ++i) {
    pdm.Append();
    pdm.FieldByName("N").SetAsPSInt32(i);
    pdm.FieldByName("S").SetAsPSString(filler.substr(0, static_cast<size_t>(i % 200)));
    pdm.Post();
  }
  pdm.CloseDatabase();
  const auto db = pdb::PdbFile::Load(dir / "ITEMNF.pdb");
  ASSERT_EQ(db.RecordCount(), n);
  for (int i = 0; i < n; i += 997) {
    const auto r = db.Record(i);
    EXPECT_EQ(r[0].integer, i);
    EXPECT_EQ(r[1].text.size(), static_cast<size_t>(i % 200));
  }
  EXPECT_EQ(db.Record(n - 1)[0].integer, n - 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Writes `n` records of about 110 bytes with `hint` given to
// ExpectRecords, or none when negative; returns the file.
std::string WriteWithHint(const std::filesystem::path& dir, int n, int hint) {
  TPDBPocketStudio pdm;
  AddField(pdm, "N", T::PSInt32);
  AddField(pdm, "S", T::PSString);
  pdm.SetDBName("ITEMNF");
  pdm.SetDirectory(dir);
  pdm.SetPDBFilename("ITEMNF.pdb");
  pdm.SetTimestamp(TDateTime::FromDate({2008, 12, 25}));
  pdm.CreateDatabase();
  if (hint >= 0) pdm.ExpectRecords(hint);
  const std::string filler(200, 'x');
  for (int i = 0; i < n; ++i) {
    pdm.Append();
    pdm.FieldByName("N").SetAsPSInt32(i);
    pdm.FieldByName("S").SetAsPSString(filler.substr(0, static_cast<size_t>(i % 200)));
    pdm.Post();
  }
  pdm.CloseDatabase();
  return testing::ReadBytes(dir / "ITEMNF.pdb");
}

TEST_F(PdbWriter, ExpectedRecordCountRightOrWrongGivesTheSameFile) {
  const int n = 12000;
  const std::string plain = WriteWithHint(dir.path(), n, -1);
  EXPECT_EQ(pdb::PdbFile::Load(dir / "ITEMNF.pdb").RecordCount(), n);
  for (int hint : {n, n - 1, n + 1, 0}) {
    SCOPED_TRACE(hint);
    EXPECT_TRUE(WriteWithHint(dir.path(), n, hint) == plain);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  }
  // an empty database told to expect records, and a small one that never leaves the buffer
  EXPECT_EQ(pdb::PdbFile::Load(dir / "ITEMNF.pdb").RecordCount(), n);
  EXPECT_TRUE(WriteWithHint(dir.path(), 0, 5) == WriteWithHint(dir.path(), 0, -1));
  EXPECT_TRUE(WriteWithHint(dir.path(), 3, 3) == WriteWithHint(dir.path(), 3, -1));
}

TEST_F(PdbWriter, RefusesBadSettingsBeforeTouchingTheFolder) {
  pdm.SetDirectory(dir.path());
  pdm.SetPDBFilename("X.pdb");
  pdm.SetDBName(std::string(32, 'A'));  // the header holds 31 characters
  EXPECT_THROW(pdm.CreateDatabase(), ValueError);
  pdm.SetDBName("X");
  pdm.SetPDBFilename("../X.pdb");
  EXPECT_THROW(pdm.CreateDatabase(), ValueError);
  pdm.SetPDBFilename("X.pdb");
  pdm.SetOpenMode(TPDBOpenMode::dmModeReadOnly);
  EXPECT_THROW(pdm.CreateDatabase(), Error);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

  pdm.SetOpenMode(TPDBOpenMode::dmModeWriteOnly);
  pdm.SetDirectory(dir / "missing");
  try {
    pdm.CreateDatabase();
    FAIL() << "a missing folder was accepted";
  } catch (const IoError& e) {
    EXPECT_THAT(e.what(), HasSubstr("missing"));
  }
  EXPECT_FALSE(pdm.Active());
}

}  // namespace
}  // namespace kve

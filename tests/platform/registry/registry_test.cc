#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "platform/common/error.h"
#include "platform/registry/reg_file.h"

namespace kve {
namespace {

const char kKey[] = "Software\\ORVANTA\\Sistemas Integrados Orvanta";

std::optional<std::string> Read(const RegFile& f, std::string_view key, std::string_view name) {
  const RegValue* v = f.Find(key, name);
  if (!v) return std::nullopt;
  return v->text;
}

TEST(RegFile, ReadsStringValuesWithEscapesMatchingKeysAndNamesWithoutCase) {
  RegFile f = ParseRegFile(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvanta\\Sistemas Integrados Orvanta]\r\n"
      "\"UninstallPath\"=\"C:\\\\Program Files\\\\Orvanta\"\r\n"
      "\"Quote\"=\"a \\\"b\\\" c\"\r\n"
      "@=\"default\"\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\ORVANTA\\Sistemas Integrados Orvanta\\WebCli]\r\n"
      "\"PALMDir\"=\"C:\\\\Palm\"\r\n",
      "registry.reg");
  EXPECT_EQ(Read(f, kKey, "uninstallpath"), "C:\\Program Files\\Orvanta");
  EXPECT_EQ(Read(f, kKey, "Quote"), "a \"b\" c");
  EXPECT_EQ(Read(f, kKey, ""), "default");
  EXPECT_EQ(Read(f, std::string(kKey) + "\\WEBCLI", "PALMDIR"), "C:\\Palm");
  EXPECT_EQ(Read(f, kKey, "PALMDir"), std::nullopt);  // a value of a subkey is not the key's
  EXPECT_EQ(Read(f, "Software\\Other", "PALMDir"), std::nullopt);
}

TEST(RegFile, DecodesUtf16AndWindows1252Files) {
  std::string text = "Windows Registry Editor Version 5.00\n[HKLM\\K]\n\"V\"=\"Cardápio\"\n";
  std::string utf16 = "\xFF\xFE";
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == 0xC3) {  // á in UTF-8 is C3 A1: U+00E1
      utf16 += '\xE1';
      utf16 += '\0';
      ++i;
      continue;
    }
    utf16 += static_cast<char>(c);
    utf16 += '\0';
  }
  EXPECT_EQ(Read(ParseRegFile(utf16, "u16.reg"), "K", "v"), "Cardápio");
  EXPECT_EQ(Read(ParseRegFile("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=\"Card\xE1pio\"\n", "old.reg"), "K", "V"),
            "Cardápio");
}

TEST(RegFile, LaterLinesWinAndDeletionsRemoveValuesAndKeys) {
  RegFile f = ParseRegFile(
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n\"y\"=\"2\"\n"
      "[HKEY_LOCAL_MACHINE\\A\\B]\n\"z\"=\"3\"\n"
      "[HKEY_CURRENT_USER\\A]\n\"x\"=\"user\"\n"
      "[HKEY_LOCAL_MACHINE\\a]\n\"X\"=\"9\"\n\"y\"=-\n"
      "[-HKEY_LOCAL_MACHINE\\A\\B]\n",
      "r.reg");
  EXPECT_EQ(Read(f, "A", "x"), "9");
  EXPECT_EQ(Read(f, "A", "y"), std::nullopt);
  EXPECT_EQ(Read(f, "A\\B", "z"), std::nullopt);
}

TEST(RegFile, ADoubledSeparatorAfterTheRootNamesTheSameKey) {
  RegFile f = ParseRegFile("REGEDIT4\n[HKEY_LOCAL_MACHINE\\\\AB]\n\"z\"=\"1\"\n", "r.reg");
  EXPECT_EQ(Read(f, "AB", "z"), "1");
}

TEST(RegFile, KeepsOtherValueKindsApartFromTexts) {
  RegFile f = ParseRegFile(
      "REGEDIT4\n[HKLM\\K]\n\"N\"=dword:00000001\n\"H\"=hex(7):41,00,\\\n  00,00\n\"S\"=\"s\"\n", "r.reg");
  ASSERT_NE(f.Find("K", "N"), nullptr);
  EXPECT_FALSE(f.Find("K", "N")->isText);
  EXPECT_EQ(f.Find("K", "H")->kind, "hex(7)");
  EXPECT_EQ(Read(f, "K", "S"), "s");  // the continuation line did not swallow it
}

TEST(RegFile, AMalformedFileNamesTheFileAndLine) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"[HKLM\\K]\n", "r.reg: line 1: not a registry export file"},
      {"REGEDIT4\n\"V\"=\"x\"\n", "r.reg: line 2: a value before any [key]"},
      {"REGEDIT4\n[HKLM\\K\n", "r.reg: line 2: a key's '[' is not closed"},
      {"REGEDIT4\n[HKLM\\K]\n\"V\"=\"open\n", "r.reg: line 3: a quote is not closed"},
      {"REGEDIT4\n[HKLM\\K]\n\"V\"=\"a\\nb\"\n", "r.reg: line 3: unknown escape \\n"},
      {"REGEDIT4\n[HKLM\\K]\n\"V\"=\"a\" junk\n", "r.reg: line 3: unexpected text"},
      {"REGEDIT4\n[HKLM\\K]\n\"V\" \"x\"\n", "r.reg: line 3: '=' expected"},
      {"REGEDIT4\n[HKLM\\K]\nV=\"x\"\n", "r.reg: line 3: neither"},
  };
  for (const Case& c : cases) {
    try {
      ParseRegFile(c.text, "r.reg");
      ADD_FAILURE() << c.text;
    } catch (const FormatError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.error, 0), 0u) << e.what();
    }
  }
  EXPECT_TRUE(ParseRegFile("", "r.reg").keys.empty());
}

class RegistryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kve-reg-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
    file_ = dir_ / "registry.reg";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Write(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }
  std::filesystem::path dir_, file_;
};

TEST_F(RegistryFile, AMissingFileReadsAsAbsentAndAnEditIsSeenAtOnce) {
  auto reg = NewRegFileRegistry(file_);
  EXPECT_EQ(reg->ReadString("K", "V"), std::nullopt);
  Write("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=\"1\"\n");
  EXPECT_EQ(reg->ReadString("K", "V"), "1");
  Write("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=\"2\"\n");
  EXPECT_EQ(reg->ReadString("k", "v"), "2");
}

TEST_F(RegistryFile, ANonTextValueIsAnErrorNotASilentAbsence) {
  Write("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"PALMDir\"=dword:00000001\n");
  EXPECT_THROW(NewRegFileRegistry(file_)->ReadString("K", "PALMDir"), ValueError);
}

TEST(MemRegistryDouble, MatchesKeysAndNamesWithoutCase) {
  MemRegistry reg;
  reg.Set("Software\\ORVANTA\\Sistemas Integrados Orvanta\\WebCli", "PALMDir", "C:\\Palm");
  EXPECT_EQ(reg.ReadString("SOFTWARE\\orvanta\\Sistemas Integrados Orvanta\\WebCli\\", "palmdir"), "C:\\Palm");
  EXPECT_EQ(reg.ReadString("Software\\ORVANTA", "PALMDir"), std::nullopt);
}

}  // namespace
}  // namespace kve

// The binary writer moves text a word at a time; these walk every length around the word size
// with the non-ASCII character at every position, against the plain codec.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/common/cp1252.h"
#include "platform/common/error.h"
#include "platform/dataset/binary_packet.h"
#include "platform/dataset/dataset.h"

namespace kve {
namespace {

// Texts of 0 to 25 characters; for each length, all ASCII and then `odd` at every position.
std::vector<std::string> Texts(const std::string& odd) {
  std::vector<std::string> out;
  for (size_t len = 0; len <= 25; ++len) {
    std::string ascii;
    for (size_t k = 0; k < len; ++k) ascii += static_cast<char>('A' + k);
    out.push_back(ascii);
    for (size_t at = 0; at < len; ++at) out.push_back(ascii.substr(0, at) + odd + ascii.substr(at + 1));
  }
  return out;
}

// A one-string-column table holding `texts`, each row followed by a null row so that the
// scratch bytes past a text's end are overwritten by what comes next, not left in the packet.
std::string PacketOf(const std::vector<std::string>& texts, int width) {
  TClientDataSet ds("T");
  ds.FieldDefs() = {StringField("S", width), StringField("N", 4)};
  ds.CreateDataSet();
  for (const std::string& t : texts) {
    ds.Append();
    ds.FieldByName("S").SetAsString(t);
    ds.FieldByName("N").SetAsString("n");
    ds.Post();
    ds.Append();
    ds.Post();
  }
  ds.MergeChangeLog();
  std::string out;
  StringSink sink(out);
  WriteBinaryPacket(ds, sink);
  return out;
}

TEST(BinaryText, EncodesEveryLengthAndPositionLikeTheCodec) {
  // a Latin-1 letter (two bytes), the euro sign (three bytes, a 0x80 byte) and plain ASCII
  for (const std::string odd : {"Ç", "€", "ÿ", "\xC2\xA0"}) {
    const std::vector<std::string> texts = Texts(odd);
    const std::string packet = PacketOf(texts, 255);
    // the rows are the packet's tail: status, null flags, then the values
    std::string rows;
    for (const std::string& t : texts) {
      std::string cp;
      ASSERT_EQ(AppendCp1252(t, cp), kEncodedOk);
      rows += std::string{'\0', '\0'} + static_cast<char>(cp.size()) + cp + "\x01n";
      rows += std::string{'\0', '\x05'};  // both null
    }
    ASSERT_GE(packet.size(), rows.size());
    EXPECT_EQ(packet.substr(packet.size() - rows.size()), rows) << odd;

    TClientDataSet back;
    back.SetData(packet);
    std::vector<std::string> read;
    for (back.First(); !back.Eof(); back.Next()) {
      if (!back.FieldByName("S").IsNull()) read.push_back(back.FieldByName("S").AsString());
    }
    EXPECT_EQ(read, texts) << odd;
  }
}

TEST(BinaryText, NamesTheFirstCharacterItCannotHoldAtAnyPosition) {
  for (const std::string& t : Texts("中")) {
    if (t.find("中") == std::string::npos) continue;
    try {
      PacketOf({"ok", t + "ж"}, 255);  // a later one must not be the one named
      FAIL() << t;
    } catch (const ValueError& e) {
      EXPECT_STREQ(e.what(), "T row 3: S: character U+4E2D has no Windows-1252 form") << t;
    }
  }
}

TEST(BinaryText, CountsTheWidthInWindows1252Bytes) {
  // 8 characters in 16 UTF-8 bytes fill a width of 8 exactly
  const std::string packet = PacketOf({"ÁÉÍÓÚÇÃÕ"}, 8);
  EXPECT_NE(packet.find("\x08\xC1\xC9\xCD\xD3\xDA\xC7\xC3\xD5\x01n"), std::string::npos);
}

}  // namespace
}  // namespace kve

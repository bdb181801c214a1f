// IsWrittenForm tells a packet that can be copied as a table's file from one that must be
// loaded and written again: exactly the packets that come back unchanged through a table.
#include <gtest/gtest.h>

#include "packet_samples.h"
#include "platform/common/error.h"
#include "platform/dataset/binary_packet.h"

namespace kve {
namespace {

// Whether the packet comes back unchanged through a table.
bool ComesBackUnchanged(const std::string& packet) {
  TClientDataSet ds;
  try {
    ReadBinaryPacket(packet, ds);
    return ds.Data() == packet;
  } catch (const Error&) {
    return false;
  }
}

std::string EveryTypePacket() {
  TClientDataSet ds;
  testing::MakeEveryType(ds);
  ds.First();
  ds.Edit();
  ds.FieldByName("OBS").SetAsString("ção");  // short, so every byte below can be varied
  ds.Post();
  ds.MergeChangeLog();
  return ds.Data();
}

TEST(WrittenForm, IsExactlyAPacketThatComesBackUnchangedThroughATable) {
  const std::string written = EveryTypePacket();
  ASSERT_TRUE(IsWrittenForm(written));
  // Every byte varied: a record state, a null flag, a boolean of 2, a timestamp off the
  // millisecond, a width, a length, a type, the header... each either still comes back
  // unchanged or is refused.
  int refused = 0;
  for (size_t at = 0; at < written.size(); ++at)
    for (unsigned char x : {0x01, 0x02, 0x80, 0xFF}) {
      std::string p = written;
      p[at] = static_cast<char>(p[at] ^ x);
      const bool expected = ComesBackUnchanged(p);
      ASSERT_EQ(IsWrittenForm(p), expected) << "byte " << at << " ^ " << int{x};
      refused += !expected;
    }
  EXPECT_GT(refused, 0);
  for (const std::string& p : {written + '\0', written.substr(0, written.size() - 1), std::string()})
    EXPECT_FALSE(IsWrittenForm(p));

  // A change log is written from the rows' states: a packet with one is loaded.
  TClientDataSet ds;
  testing::MakeEveryType(ds);
  ds.Append();
  ds.FieldByName("CDFILIAL").SetAsString("C");
  ds.Post();
  EXPECT_FALSE(IsWrittenForm(ds.Data()));
}

TEST(WrittenForm, PassesTheChosenTextsOfEveryRecord) {
  const std::string written = EveryTypePacket();
  const std::string_view columns[] = {"obs", "CDSENHAOPE"};
  std::vector<std::string> seen;
  EXPECT_TRUE(IsWrittenForm(written, columns, [&](std::span<const std::string_view> v) {
    for (std::string_view s : v) seen.push_back(s.data() ? "'" + std::string(s) + "'" : "null");
    return true;
  }));
  EXPECT_EQ(seen, (std::vector<std::string>{"'\xE7\xE3o'", "'s3nh@'", "null", "null", "null",
                                            "'tab\there\nline\r'", "null", "null"}));
  // A row refused, a column missing or not a text: no.
  EXPECT_FALSE(IsWrittenForm(written, columns, [](auto) { return false; }));
  const std::string_view missing[] = {"NOPE"}, number[] = {"QTBIG"};
  EXPECT_FALSE(IsWrittenForm(written, missing, [](auto) { return true; }));
  EXPECT_FALSE(IsWrittenForm(written, number, [](auto) { return true; }));
}

}  // namespace
}  // namespace kve

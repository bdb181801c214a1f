#include "platform/net/check_result.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/error.h"
#include "platform/dataset/dataset.h"

namespace kve {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

std::string Packet(const std::string& branch) {
  TClientDataSet t("FILIAL");
  t.FieldDefs() = {StringField("CDFILIAL", 4)};
  t.CreateDataSet();
  t.Append();
  t.FieldByName("CDFILIAL").SetAsString(branch);
  t.Post();
  t.MergeChangeLog();
  return t.Data();
}

TEST(CheckResultServ, ReturnsThePacketAndRaisesTheServersText) {
  RemoteValue packet{Packet("0002"), true};
  EXPECT_EQ(Consiste::CheckResultServ(packet, true, 0), Packet("0002"));
  RemoteValue text{std::string("GetHistPalm: database is locked"), false};
  EXPECT_THAT([&] { Consiste::CheckResultServ(text, true, 0); },
              ThrowsMessage<Error>("GetHistPalm: database is locked"));
  EXPECT_EQ(Consiste::CheckResultServ(text, false, 0), "");
  RemoteValue list{std::vector<std::string>{Packet("0002")}, false};
  EXPECT_THAT([&] { Consiste::CheckResultServ(list, true, 0); },
              ThrowsMessage<FormatError>(HasSubstr("list of tables")));
}

TEST(LoadTableImages, LoadsEachImageIntoItsSlot) {
  TClientDataSet a("FILIAL"), b("EXPFILIAL");
  TClientDataSet* slots[] = {&a, &b};
  LoadTableImages(RemoteValue{std::vector<std::string>{Packet("0002"), Packet("0003")}, false},
                  slots);
  EXPECT_EQ(a.FieldByName("CDFILIAL").AsString(), "0002");
  EXPECT_EQ(b.FieldByName("CDFILIAL").AsString(), "0003");
}

TEST(LoadTableImages, FailsWithTheServersTextOrAtTheFirstUnreadableSlot) {
  TClientDataSet a("FILIAL"), b("EXPFILIAL");
  TClientDataSet* slots[] = {&a, &b};
  EXPECT_THAT([&] { LoadTableImages(RemoteValue{std::string("sem conexão"), false}, slots); },
              ThrowsMessage<Error>("sem conexão"));
  EXPECT_THAT(
      [&] { LoadTableImages(RemoteValue{std::vector<std::string>{Packet("0002")}, false}, slots); },
      ThrowsMessage<FormatError>(HasSubstr("slot 1 (EXPFILIAL): missing, answer has 1 tables")));
  EXPECT_THAT(
      [&] {
        LoadTableImages(RemoteValue{std::vector<std::string>{Packet("0002"), "junk"}, false}, slots);
      },
      ThrowsMessage<FormatError>(HasSubstr("slot 1 (EXPFILIAL)")));
}

}  // namespace
}  // namespace kve

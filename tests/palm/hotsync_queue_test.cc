#include "palm/hotsync_queue.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kve {
namespace {

// A library that trusts the size variable and asks for far more room than a name has: the
// reader must never hand it a size beyond its buffer.
class GreedyAide final : public InstallAide {
 public:
  int PltGetUserCount() override { return 1; }
  int PltGetUser(unsigned int, char* name, std::int16_t* size) override {
    sizes.push_back(*size);
    if (*size > 0) {
      std::memset(name, 'X', static_cast<size_t>(*size - 1));
      name[*size - 1] = '\0';
    }
    *size = 200;
    return kPltOk;
  }
  int PltInstallFile(const char*, const char*) override { return kPltOk; }
  int PltRemoveInstallFile(const char*, const char*) override { return kPltOk; }
  int PltStageInstallFile(const char*, const char*, std::uint64_t*) override { return kPltOk; }
  int PltCommitStaged(const char*) override { return kPltOk; }
  int PltDiscardStaged(const char*) override { return kPltOk; }
  int PltGetInstallFileInfo(const char*, const char*, PltEntryInfo*) override { return kPltNoSuchFile; }
  std::vector<int> sizes;
};

TEST(HotSyncUserName, ReadWithThreeCallsNeverOfferingMoreThanTheBuffer) {
  GreedyAide aide;
  std::int16_t size = 0;
  EXPECT_EQ(palm::ReadHotSyncUser(aide, 0, size), std::string(31, 'X'));
  EXPECT_EQ(aide.sizes, (std::vector<int>{0, kHotSyncNameBuffer, kHotSyncNameBuffer}));
}

}  // namespace
}  // namespace kve

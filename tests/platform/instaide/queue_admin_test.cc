#include "platform/instaide/queue_admin.h"

#include <gtest/gtest.h>

#include "platform/common/error.h"
#include "support/temp_folder.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

TEST(QueueAdmin, ListShowsEntriesLeftoversAndUsersWithoutAnInstallFolder) {
  testing::TempFolder root;
  EXPECT_TRUE(ListQueues(root / "absent").empty());
  AddHotSyncUser(root.path(), "PALM 01");
  AddHotSyncUser(root.path(), "PALM 01");  // again: no error
  stdfs::create_directories(root / "B");
  testing::WriteBytes(root / "PALM 01" / "Install" / "KVE.prc", "12345");
  testing::WriteBytes(root / "PALM 01" / "Install" / ".KVE.prc.Xy12Ab", "12");
  for (const char* bad : {"", "..", "A/B", "A\\B", "A\tB"})
    EXPECT_THROW(AddHotSyncUser(root.path(), bad), ValueError) << bad;

  const std::vector<UserQueue> users = ListQueues(root.path());
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].user, "B");
  EXPECT_FALSE(users[0].hasInstallFolder);
  EXPECT_EQ(users[1].user, "PALM 01");
  ASSERT_EQ(users[1].entries.size(), 1u);
  EXPECT_EQ(users[1].entries[0].name, "KVE.prc");
  EXPECT_EQ(users[1].entries[0].bytes, 5u);
  EXPECT_EQ(users[1].leftovers, std::vector<std::string>{".KVE.prc.Xy12Ab"});

  EXPECT_EQ(ClearQueue(root.path(), "PALM 01"), 2u);
  EXPECT_TRUE(stdfs::is_empty(root / "PALM 01" / "Install"));
  EXPECT_EQ(ClearQueue(root.path(), "B"), 0u);
  EXPECT_THROW(ClearQueue(root.path(), "NOBODY"), Error);
  EXPECT_THROW(ClearQueue(root.path(), ".."), ValueError);
}

}  // namespace
}  // namespace kve

#include "platform/instaide/queue_admin.h"

#include <gtest/gtest.h>

#include "platform/common/error.h"
#include "support/temp_folder.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

TEST(QueueAdmin, ListShowsEntriesLeftoversAndUsersWithoutAnInstallFolder) {
  testing::TempFolder root;
  EXPECT_THROW(ListQueues(root / "absent"), IoError);  // a typed root is no empty queue
  AddHotSyncUser(root.path(), "PALM 01");
  AddHotSyncUser(root.path(), "PALM 01");  // again: no error
  stdfs::create_directories(root / "B");
  testing::WriteBytes(root / "PALM 01" / "Install" / "KVE.prc", "12345");
  testing::WriteBytes(root / "PALM 01" / "Install" / ".KVE.prc.Xy12Ab", "12");
  testing::WriteBytes(root / "PALM 01" / "Install" / "notes.txt", "mine");
  for (const char* bad : {"", "..", "A/B", "A\\B", "A\tB"})
    EXPECT_THROW(AddHotSyncUser(root.path(), bad), ValueError) << bad;
  EXPECT_THROW(AddHotSyncUser(root.path(), std::string(256, 'x')), ValueError);
  EXPECT_THROW(ClearQueue(root.path(), std::string(256, 'x')), ValueError);

  const std::vector<UserQueue> users = ListQueues(root.path());
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].user, "B");
  EXPECT_FALSE(users[0].hasInstallFolder);
  EXPECT_EQ(users[1].user, "PALM 01");
  ASSERT_EQ(users[1].entries.size(), 2u);
  EXPECT_EQ(users[1].entries[0].name, "KVE.prc");
  EXPECT_EQ(users[1].entries[0].bytes, 5u);
  EXPECT_EQ(users[1].leftovers, std::vector<std::string>{".KVE.prc.Xy12Ab"});

  const ClearedQueue cleared = ClearQueue(root.path(), "PALM 01");
  EXPECT_EQ(cleared.removed, 2u);
  EXPECT_EQ(cleared.kept, std::vector<std::string>{"notes.txt"});
  EXPECT_EQ(testing::ReadBytes(root / "PALM 01" / "Install" / "notes.txt"), "mine");
  EXPECT_EQ(ClearQueue(root.path(), "B").removed, 0u);
  EXPECT_THROW(ClearQueue(root.path(), "NOBODY"), Error);
  EXPECT_THROW(ClearQueue(root.path(), ".."), ValueError);
}

// A user folder or an Install folder that is a symbolic link is never followed: clearing
// refuses it and the folder it points at keeps every file; listing names it without a number.
TEST(QueueAdmin, ClearNeverFollowsALinkedUserOrInstallFolder) {
  testing::TempFolder tmp;
  const stdfs::path root = tmp / "root", decoy = tmp / "decoy";
  stdfs::create_directories(decoy / "Install");
  testing::WriteBytes(decoy / "A.pdb", "keep");
  testing::WriteBytes(decoy / "Install" / "B.pdb", "keep");
  AddHotSyncUser(root, "PALM 01");
  stdfs::create_directory_symlink(decoy, root / "PALM 09");               // the user folder
  stdfs::remove(root / "PALM 01" / "Install");
  stdfs::create_directory_symlink(decoy, root / "PALM 01" / "Install");  // its Install folder

  for (const char* user : {"PALM 01", "PALM 09"}) {
    SCOPED_TRACE(user);
    EXPECT_THROW(ClearQueue(root, user), Error);
    EXPECT_THROW(AddHotSyncUser(root, user), IoError);
  }
  EXPECT_EQ(testing::ReadBytes(decoy / "A.pdb"), "keep");
  EXPECT_EQ(testing::ReadBytes(decoy / "Install" / "B.pdb"), "keep");

  const std::vector<UserQueue> users = ListQueues(root);
  ASSERT_EQ(users.size(), 2u);
  EXPECT_NE(users[0].refused.find("Install folder is a symbolic link"), std::string::npos);
  EXPECT_NE(users[1].refused.find("user folder is a symbolic link"), std::string::npos);
  EXPECT_TRUE(users[0].entries.empty());
}

}  // namespace
}  // namespace kve

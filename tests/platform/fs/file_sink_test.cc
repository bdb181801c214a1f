#include "platform/fs/file_sink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>

#include "platform/common/error.h"
#include "support/temp_folder.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;
using ::testing::ElementsAre;

std::vector<std::string> Names(const stdfs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : stdfs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const IoError& e) {
    return e.what();
  }
  return "no error";
}

TEST(AtomicFileSink, AFailureAtAnyStepLeavesTheEarlierFileAndNoTemporary) {
  testing::TempFolder dir;
  const stdfs::path target = dir / "FILIAL.xml";
  testing::WriteBytes(target, "earlier");
  stdfs::create_directory(dir / "sub.xml");
  // the caller's own code throws half way
  EXPECT_THROW(
      {
        AtomicFileSink out(target, "C:\\Exp\\FILIAL.xml");
        out.Write("new, but only half");
        throw ValueError("a value does not fit");
      },
      ValueError);
  EXPECT_EQ(ErrorOf([&] { WriteFileAtomically(dir / "nowhere" / "X.xml", "x", "C:\\Exp\\nowhere\\X.xml"); }),
            "C:\\Exp\\nowhere\\X.xml: cannot create: No such file or directory");
  EXPECT_EQ(ErrorOf([&] { WriteFileAtomically(dir / "sub.xml", "x", "C:\\Exp\\sub.xml"); }),
            "C:\\Exp\\sub.xml: is a folder, not a file");
  EXPECT_EQ(ErrorOf([&] { ReadWholeFile(dir / "sub.xml"); }), (dir / "sub.xml").string() + ": is a folder, not a file");
  // A pipe is refused at once (not read until someone writes into it), as is a device.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(ErrorOf([&] { ReadWholeFile(dir / "fifo", "kve.toml"); }),
            "kve.toml: is not a regular file (a device, a pipe or a socket)");
  EXPECT_EQ(ErrorOf([&] { ReadWholeFile("/dev/zero", "registry"); }),
            "registry: is not a regular file (a device, a pipe or a socket)");
  stdfs::remove(dir / "fifo");
  EXPECT_EQ(testing::ReadBytes(target), "earlier");
  EXPECT_THAT(Names(dir.path()), ElementsAre("FILIAL.xml", "sub.xml"));

  FolderSync later;
  WriteFileAtomically(target, "new", {}, &later);
  EXPECT_EQ(later.Pending(), 1u);
  later.Sync();
  EXPECT_EQ(ReadWholeFile(target), "new");
}

// A run's batch notes each folder once however many files go into it; a batch opened inside
// another (a conversion within an export) leaves the flush to the outer one.
TEST(FolderSync, ABatchFlushesEachFolderOnceAndOnlyAtTheOutermostSync) {
  testing::TempFolder dir;
  stdfs::create_directory(dir / "queue");
  FolderSync batch;
  EXPECT_EQ(batch.Open(), nullptr);
  batch.Begin();
  for (const char* name : {"A.xml", "B.xml", "queue/A.pdb", "C.xml", "queue/B.pdb"})
    WriteFileAtomically(dir / name, name, {}, batch.Open());
  batch.Begin();
  WriteFileAtomically(dir / "D.xml", "D", {}, batch.Open());
  batch.SyncBatch();
  batch.End();
  EXPECT_EQ(batch.Pending(), 2u);
  batch.SyncBatch();
  EXPECT_EQ(batch.Pending(), 0u);
  batch.End();
  EXPECT_EQ(batch.Open(), nullptr);
  EXPECT_EQ(ReadWholeFile(dir / "queue/B.pdb"), "queue/B.pdb");
}

TEST(AtomicFileSink, WritersOfOneFileNeverMeetAndALinkAtAnyNameIsNotFollowed) {
  testing::TempFolder dir;
  const stdfs::path target = dir / "OUT.pdb";
  testing::WriteBytes(dir / "victim", "keep");
  for (const char* planted : {"OUT.pdb.tmp", ".OUT.pdb.tmp", "OUT.tmp"}) stdfs::create_symlink(dir / "victim", dir / planted);
  auto writer = [&](char c) {
    for (int i = 0; i < 40; ++i) WriteFileAtomically(target, std::string(4096, c));
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  const std::string last = testing::ReadBytes(target);
  EXPECT_TRUE(last == std::string(4096, 'a') || last == std::string(4096, 'b'));
  EXPECT_EQ(testing::ReadBytes(dir / "victim"), "keep");
  EXPECT_EQ(Names(dir.path()).size(), 5u);  // target, victim, the three links
}

}  // namespace
}  // namespace kve

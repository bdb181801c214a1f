// The SMB file system's own behaviour beyond the contract (which fs_contract_test runs over
// it): its credentials file, the share check against the server's list, a host that does not
// answer, and what a lost server leaves behind.

#include "platform/fs/smb_fs.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "platform/common/error.h"
#include "support/mem_fs.h"
#include "support/smb_server.h"
#include "support/temp_folder.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;
using testing::TempFolder;

const std::string kShare = std::string("\\\\") + testing::kSmbTestHost + "\\Orvanta Web";

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

TEST(SmbCredentials, ReadsTheMountCifsFormatAndRefusesAFileOthersCanRead) {
  TempFolder tmp;
  const stdfs::path file = tmp / "cred";
  std::ofstream(file) << "# kitchen\nusername = cozinha\npassword= two words \ndomain=ESCOLA\n";
  ::chmod(file.c_str(), 0600);
  SmbCredentials c = ReadSmbCredentials(file);
  EXPECT_EQ(c.username, "cozinha");
  EXPECT_EQ(c.password, " two words ");  // a password is taken as written
  EXPECT_EQ(c.domain, "ESCOLA");

  struct Case {
    const char* text;
    mode_t mode;
    const char* error;
  } cases[] = {
      {"username=a\n", 0640, "can be read by its group; refused"},
      {"username=a\n", 0604, "can be read by others; refused"},
      {"username=a\nsecret\n", 0600, "line 2: expected KEY=VALUE"},
      {"username=a\ncolour=red\n", 0600, "line 2: unknown key \"colour\""},
      {"password=x\n", 0600, "no username= line"},
  };
  for (const Case& k : cases) {
    std::ofstream(file, std::ios::trunc) << k.text;
    ::chmod(file.c_str(), k.mode);
    const std::string e = ErrorOf([&] { ReadSmbCredentials(file); });
    EXPECT_NE(e.find(file.string()), std::string::npos) << e;
    EXPECT_NE(e.find(k.error), std::string::npos) << e;
  }
  EXPECT_NE(ErrorOf([&] { ReadSmbCredentials(tmp / "none"); }).find("none"), std::string::npos);
}

TEST(SmbFileSystem, DrivePathsStayOnTheLocalFileSystemAndHostileHostsAreRefused) {
  auto mem = NewMemFileSystem();
  FileSystem* local = mem.get();
  SmbSettings s;
  s.port = 1;  // nothing is sent anywhere in this case
  auto fs = NewSmbShareFileSystem(std::move(mem), s);
  fs->CreateDir("C:\\Palm");
  fs->WriteFile("C:\\Palm\\a.xml", "x");
  EXPECT_EQ(local->ReadFile("C:\\Palm\\a.xml"), "x");
  // A name that would read as a user, a port or another server in an smb:// address.
  for (const char* host : {"user@evil", "host:99", "a%2fb"}) {
    EXPECT_THROW(fs->WriteFile(std::string("\\\\") + host + "\\share\\x", "x"), ValueError) << host;
  }
  s.hosts["NOTE"] = "10.0.0.1/evil";
  EXPECT_THROW(NewSmbShareFileSystem(NewMemFileSystem(), s), ValueError);
}

class SmbServer : public ::testing::Test {
 protected:
  void SetUp() override {
    auto s = testing::SmbTestServer::FromEnvironment();
    if (!s) GTEST_SKIP() << testing::SmbTestServer::SkipReason();
    server_ = *s;
  }
  testing::SmbTestServer server_;
};

TEST_F(SmbServer, TheShareCheckAsksTheServersListAndRefusedCredentialsAreTheirOwnError) {
  auto fs = NewSmbShareFileSystem(NewMemFileSystem(), server_.Settings());
  EXPECT_TRUE(fs->DirectoryExists(kShare));
  EXPECT_TRUE(fs->DirectoryExists(std::string("\\\\") + testing::kSmbTestHost + "\\READONLY"));
  EXPECT_FALSE(fs->DirectoryExists(std::string("\\\\") + testing::kSmbTestHost + "\\Orvanta"));
  EXPECT_FALSE(fs->DirectoryExists(std::string("\\\\") + testing::kSmbTestHost + "\\IPC$"));

  SmbSettings wrong = server_.Settings();
  wrong.credentials.password += "x";
  auto refused = NewSmbShareFileSystem(NewMemFileSystem(), wrong);
  for (auto call : std::vector<std::function<void()>>{[&] { refused->DirectoryExists(kShare); },
                                                      [&] { refused->WriteFile(kShare + "\\x.CDS", "x"); }}) {
    try {
      call();
      ADD_FAILURE() << "refused credentials went unnoticed";
    } catch (const IoError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kPermissionDenied) << e.what();
      EXPECT_NE(std::string(e.what()).find("refused the credentials of user \"" + wrong.credentials.username),
                std::string::npos)
          << e.what();
    }
  }
  EXPECT_FALSE(stdfs::exists(server_.shareDir / "x.CDS"));
}

TEST_F(SmbServer, AReadOnlyShareRefusesWritesAndKeepsItsFiles) {
  auto fs = NewSmbShareFileSystem(NewMemFileSystem(), server_.Settings());
  const std::string ro = std::string("\\\\") + testing::kSmbTestHost + "\\Readonly";
  try {
    fs->WriteFile(ro + "\\DADOS_EEPC.CDS", "x");
    FAIL() << "written to a read-only share";
  } catch (const IoError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kPermissionDenied) << e.what();
    EXPECT_EQ(std::string(e.what()).rfind(ro + "\\DADOS_EEPC.CDS: ", 0), 0u) << e.what();
  }
  EXPECT_THROW(fs->CreateDir(ro + "\\EeePc"), IoError);
  EXPECT_TRUE(stdfs::is_empty(server_.conf.parent_path() / "readonly"));
}

// The share checked, then taken off the server before anything is copied (an administrator
// stops sharing the folder): the copy fails with an error naming the file, and nothing lands
// in the folder that was shared.
TEST_F(SmbServer, AShareThatVanishesAfterTheCheckFailsTheCopy) {
  const std::string text = testing::ReadBytes(server_.conf);
  const std::string header = "[Orvanta Web]";
  const size_t at = text.find(header);
  ASSERT_NE(at, std::string::npos);
  auto listed = [&] { return NewSmbShareFileSystem(NewMemFileSystem(), server_.Settings())->DirectoryExists(kShare); };
  auto reloadUntil = [&](const std::string& conf, bool want) {
    testing::WriteBytes(server_.conf, conf);
    server_.Reload();
    for (int i = 0; i < 100 && listed() != want; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return listed() == want;
  };

  auto fs = NewSmbShareFileSystem(NewMemFileSystem(), server_.Settings());
  ASSERT_TRUE(fs->DirectoryExists(kShare));
  std::string gone = text;
  gone.replace(at, header.size(), "[Unlisted]");
  ASSERT_TRUE(reloadUntil(gone, false)) << "the server still lists the share";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // every smbd of the server reloaded
  const std::string e = ErrorOf([&] { fs->WriteFile(kShare + "\\DADOS_EEPC.CDS", "x"); });
  ASSERT_TRUE(reloadUntil(text, true)) << "the share did not come back";
  EXPECT_NE(e.find(kShare + "\\DADOS_EEPC.CDS"), std::string::npos) << e;
  EXPECT_FALSE(stdfs::exists(server_.shareDir / "DADOS_EEPC.CDS"));
}

// A host whose port takes the connection and never answers: the check says "not shared"
// after the configured timeout instead of waiting for ever.
TEST(SmbFileSystem, AHostThatDoesNotAnswerIsNotSharedAfterTheTimeout) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len), 0);
  SmbSettings s;
  s.credentials.username = "nobody";
  s.port = ntohs(a.sin_port);
  s.timeoutSeconds = 1;
  s.hosts["SILENT"] = "127.0.0.1";
  auto fs = NewSmbShareFileSystem(NewMemFileSystem(), s);
  auto check = std::async(std::launch::async, [&] { return fs->DirectoryExists("\\\\SILENT\\Orvanta Web"); });
  // Far beyond the timeout: only a hang gets here.
  ASSERT_EQ(check.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "the share check hangs";
  EXPECT_FALSE(check.get());
  ::close(fd);
}

}  // namespace
}  // namespace kve

// kve-export as an administrator runs it: the real program, on the demo workstation, against
// the application server and the demo central kitchen.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "demo/demo_data.h"
#include "demo/demo_site.h"
#include "platform/db/migrate.h"
#include "platform/fs/file_system.h"
#include "server/app_server.h"
#include "support/temp_folder.h"

namespace kve {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  nlohmann::json summary;
  std::string messages;
};

class KveExport : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new testing::TempFolder;
    std::string url = "sqlite:" + (*folder_ / "kve-demo.db").string();
    auto db = Database::Open(url);
    MigrateDatabase(*db);
    demo::DemoOptions o;
    o.today = TDateTime::FromDate({2026, 12, 7});
    demo::FillDemoDatabase(*db, o);
    server::AppServerOptions so;
    so.dbUrl = url;
    server_ = new server::AppServer(so);
    server_->Start();
  }
  static void TearDownTestSuite() {
    server_->Stop();
    delete server_;
    delete folder_;
  }

  // A fresh workstation for each test; `port` 0 means the running server's.
  fs::path Site(int port = 0) {
    demo::DemoSiteOptions o;
    o.folder = *folder_ / "site";
    o.databaseUrl = "sqlite:" + (*folder_ / "kve-demo.db").string();
    o.serverPort = port ? port : server_->Port();
    return demo::WriteDemoSite(o);
  }

  Outcome Export(const std::string& args) {
    const fs::path err = *folder_ / "stderr.txt";
    std::string cmd = std::string(KVE_EXPORT_BIN) + " --json --menu 2026-12-07:2026-12-11 " +
                      "--requests 2026-11-07:2026-12-07 --af 01/11/2026:31/12/2026 " + args +
                      " 2>'" + err.string() + "'";
    Outcome r;
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.messages = testing::ReadBytes(err);
    if (!out.empty()) r.summary = nlohmann::json::parse(out);
    return r;
  }

  static int CountEnding(const nlohmann::json& files, std::string_view ext) {
    int n = 0;
    for (const auto& f : files) n += f["name"].get<std::string>().ends_with(ext) ? 1 : 0;
    return n;
  }

  static testing::TempFolder* folder_;
  static server::AppServer* server_;
};

testing::TempFolder* KveExport::folder_ = nullptr;
server::AppServer* KveExport::server_ = nullptr;

TEST_F(KveExport, APalmExportWritesTheDatabasesAndQueuesThemForItsUser) {
  fs::path config = Site();
  Outcome r = Export("--config '" + config.string() + "' --palm 1 --whole-tree --yes");
  ASSERT_EQ(r.status, 0) << r.messages;
  const auto& s = r.summary;
  EXPECT_EQ(s["outcome"], "exported");
  EXPECT_EQ(s["device"]["code"], "001");
  EXPECT_EQ(s["device"]["name"], "Palm 01");
  EXPECT_EQ(s["folder"], "C:\\Palm\\Kve\\Exp\\");
  EXPECT_EQ(CountEnding(s["files"], ".xml"), 35);
  EXPECT_EQ(CountEnding(s["files"], ".pdb"), 35);
  EXPECT_EQ(s["queue"]["user"], "Palm 01");
  EXPECT_EQ(s["queue"]["entries"].size(), 37u);
  // Every branch is in, "0013" among them, which has no AF: the closing message warns.
  EXPECT_NE(s["closing_message"].get<std::string>(), "");
  int64_t xmlRows = -1, pdbRows = -2;
  for (const auto& f : s["files"]) {
    if (f["name"] == "PRODUTO.xml") xmlRows = f["rows"];
    if (f["name"] == "PRODUTO.pdb") pdbRows = f["rows"];
  }
  EXPECT_GT(xmlRows, 0);
  EXPECT_EQ(xmlRows, pdbRows);
}

TEST_F(KveExport, AnEeepcExportWritesItsFilesIntoTheShareAndPushesTheNewerClient) {
  fs::path config = Site();
  const fs::path share = config.parent_path() / "shares" / demo::kDemoEeepc / "Orvanta Web";
  Outcome r = Export("--config '" + config.string() + "' --eeepc 002 --nutritionist 7 --active-only");
  ASSERT_EQ(r.status, 0) << r.messages;
  const auto& s = r.summary;
  EXPECT_EQ(s["folder"], "\\\\NOTE-KITCHEN-01\\Orvanta Web\\EeePc\\Kve\\Exp\\");
  EXPECT_EQ(s["files"].size(), 35u);
  EXPECT_EQ(CountEnding(s["files"], ".xml"), 0);
  EXPECT_TRUE(fs::exists(share / "EeePc" / "Kve" / "Exp" / "DADOS_EEPC.CDS"));
  EXPECT_EQ(FileVersionOfImage(testing::ReadBytes(share / "EeePc" / "Kve" / "Bin" / "RDL.exe")),
            "4.2.0.7");
  EXPECT_FALSE(s.contains("queue"));
}

TEST_F(KveExport, TheExitStatusSaysHowTheExportEnded) {
  fs::path config = Site();
  // The whole tree asks for confirmation; without --yes the answer is No.
  Outcome no = Export("--config '" + config.string() + "' --palm 001");
  EXPECT_EQ(no.status, 1) << no.messages;
  EXPECT_EQ(no.summary["outcome"], "stopped");
  EXPECT_TRUE(no.summary["files"].empty());
  EXPECT_NE(no.messages.find("question: "), std::string::npos);

  Outcome missing = Export("--config '" + (config.parent_path() / "none.toml").string() + "' --palm 001");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.messages.find("none.toml"), std::string::npos);

  // Nothing listens on the configured port: the screen cannot start.
  int closedPort = 0;
  {
    int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&a), len), 0);
    getsockname(sock, reinterpret_cast<sockaddr*>(&a), &len);
    closedPort = ntohs(a.sin_port);
    close(sock);
  }
  Outcome down = Export("--config '" + Site(closedPort).string() + "' --palm 001 --yes");
  EXPECT_EQ(down.status, 3) << down.messages;
  EXPECT_EQ(down.summary["outcome"], "failed");
}

}  // namespace
}  // namespace kve

// kve-export as an administrator runs it: the real program, on the demo workstation, against
// the application server and the demo central kitchen.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "demo/demo_data.h"
#include "demo/demo_site.h"
#include "ledger/ledger.h"
#include "platform/db/migrate.h"
#include "platform/fs/file_system.h"
#include "server/app_server.h"
#include "support/smb_server.h"
#include "support/temp_folder.h"

namespace kve {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  nlohmann::json summary;  // standard output, when it is JSON
  std::string out, messages;
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
    return Command("--json --menu 2026-12-07:2026-12-11 --requests 2026-11-07:2026-12-07 "
                   "--af 01/11/2026:31/12/2026 " + args);
  }

  Outcome Command(const std::string& args) {
    const fs::path err = *folder_ / "stderr.txt";
    std::string cmd = std::string(KVE_EXPORT_BIN) + " " + args + " 2>'" + err.string() + "'";
    Outcome r;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.messages = testing::ReadBytes(err);
    if (!r.out.empty() && (r.out[0] == '{' || r.out[0] == '[')) r.summary = nlohmann::json::parse(r.out);
    return r;
  }

  // Calls of `method` the server has answered, as its /metrics counts them.
  static int64_t ServerCalls(const std::string& method) {
    const std::string reply =
        server_->ServeBytes("GET /metrics HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n", 1 << 20);
    int64_t n = 0;
    for (const char* outcome : {"ok", "failed"}) {
      const std::string key =
          "kve_appserver_calls_total{method=\"" + method + "\",outcome=\"" + outcome + "\"} ";
      if (size_t at = reply.find(key); at != std::string::npos) n += std::stoll(reply.substr(at + key.size()));
    }
    return n;
  }

  // Every file below `dir` with its size and time: what a run that writes nothing leaves alone.
  static std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> Tree(const fs::path& dir) {
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
      out[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
    }
    return out;
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
  // A successful export notes nothing beyond the screen's own messages.
  EXPECT_EQ(r.messages.find("kve:"), std::string::npos) << r.messages;
}

// The HotSync queue on a Windows PC's share ("smb://PC/Palm"): here a folder of the test
// Samba server's share, the PC's address given as the eeePCs' are.
TEST_F(KveExport, APalmExportQueuesItsFilesOnAPcShareOverSmb) {
  auto smb = testing::SmbTestServer::FromEnvironment();
  if (!smb) GTEST_SKIP() << testing::SmbTestServer::SkipReason();
  const fs::path config = Site();
  const std::string name = "palm-queue-" + std::to_string(::getpid());
  const fs::path user = smb->shareDir / name / "Palm 01";
  fs::create_directories(user);
  struct stat owner;
  ASSERT_EQ(::stat(smb->shareDir.c_str(), &owner), 0);
  for (const fs::path& p : {user.parent_path(), user}) ASSERT_EQ(::chown(p.c_str(), owner.st_uid, owner.st_gid), 0);
  std::string text = testing::ReadBytes(config);
  const std::string folderRoot = "hotsync_root = \"hotsync\"";
  const size_t at = text.find(folderRoot);
  ASSERT_NE(at, std::string::npos);
  text.replace(at, folderRoot.size(), "hotsync_root = \"smb://PC/Orvanta Web/" + name + "\"");
  text += "\n[smb]\ncredentials_file = \"" + smb->credentialsFile.string() + "\"\nport = " +
          std::to_string(smb->port) + "\n[smb.hosts]\n\"PC\" = \"127.0.0.1\"\n";
  std::ofstream(config, std::ios::trunc) << text;

  Outcome r = Export("--config '" + config.string() + "' --palm 1 --whole-tree --yes");
  EXPECT_EQ(r.status, 0) << r.messages;
  size_t queued = 0;
  for (const auto& e : fs::directory_iterator(user / "Install")) {
    EXPECT_NE(e.path().filename().string()[0], '.') << e.path();  // nothing staged is left
    ++queued;
  }
  EXPECT_EQ(queued, 37u);
  EXPECT_EQ(r.summary["queue"]["entries"].size(), 37u) << r.summary["queue"];
  EXPECT_FALSE(fs::exists(config.parent_path() / "hotsync" / "Palm 01" / "Install" / "PRODUTO.pdb"));
  fs::remove_all(smb->shareDir / name);
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
  // The operator's words on standard output, the technical detail only in the log and the JSON.
  const std::string port = std::to_string(closedPort);
  EXPECT_NE(down.summary.value("detail", "").find(port), std::string::npos) << down.summary;
  Outcome plain = Command("--menu 2026-12-07:2026-12-11 --requests 2026-11-07:2026-12-07 "
                          "--af 01/11/2026:31/12/2026 --config '" + Site(closedPort).string() +
                          "' --palm 001 --yes");
  EXPECT_EQ(plain.status, 3);
  EXPECT_NE(plain.out.find("servidor de aplicação"), std::string::npos) << plain.out;
  EXPECT_EQ(plain.out.find(port), std::string::npos) << plain.out;
  EXPECT_NE(plain.messages.find(port), std::string::npos) << plain.messages;
}

TEST_F(KveExport, EachExportIsRecordedInTheLedgerAndTheLastExportsFilesAreKept) {
  fs::path config = Site();
  std::ofstream(config, std::ios::app) << "[ledger]\nkeep = 2\n";
  const fs::path exp = config.parent_path() / "shares" / demo::kDemoEeepc / "Orvanta Web/EeePc/Kve/Exp";
  const std::string c = "--config '" + config.string() + "' ";
  fs::create_directories(config.parent_path() / "ledger/files/.staging-999999999-0");
  EXPECT_EQ(Export(c + "--eeepc 2").status, 1);  // the whole tree, answered No
  for (int i = 0; i < 2; ++i) ASSERT_EQ(Export(c + "--eeepc 2 --active-only").status, 0);
  ASSERT_EQ(Export(c + "--eeepc 2 --whole-tree --yes").status, 0);

  Outcome list = Command(c + "--history --device 2 --json");
  ASSERT_EQ(list.status, 0) << list.messages;
  const auto& h = list.summary;
  ASSERT_EQ(h.size(), 4u);
  EXPECT_EQ(h[0]["id"], 4);
  EXPECT_EQ(h[3]["outcome"], "stopped");
  EXPECT_EQ(h[0]["outcome"], "exported");
  EXPECT_EQ(h[0]["operator"], "000000000007");
  EXPECT_EQ(h[0]["server"], "127.0.0.1:" + std::to_string(server_->Port()));
  EXPECT_EQ(h[1]["parameters"]["active_only"], true);
  EXPECT_EQ(h[0]["parameters"]["menu"], nlohmann::json({"2026-12-07", "2026-12-11"}));
  // Only the newest two keep their files; the newest copy holds the bytes the eeePC reads,
  // and so does the ledger's hash of each.
  EXPECT_NE(h[0]["archive"], "");
  EXPECT_NE(h[1]["archive"], "");
  EXPECT_EQ(h[2]["archive"], "");
  ASSERT_EQ(h[0]["files"].size(), 35u);
  for (const auto& f : h[0]["files"]) {
    const std::string bytes = testing::ReadBytes(exp / f["name"].get<std::string>());
    EXPECT_EQ(f["sha256"], ledger::Sha256Hex(bytes)) << f["name"];
    EXPECT_EQ(testing::ReadBytes(fs::path(h[0]["archive"].get<std::string>()) / f["name"].get<std::string>()), bytes);
  }
  EXPECT_FALSE(fs::exists(exp.parent_path() / "ledger"));
  // Nothing is left in staging, not even the copy of a run that died half-way.
  for (const auto& e : fs::directory_iterator(config.parent_path() / "ledger/files"))
    EXPECT_FALSE(e.path().filename().string().starts_with(".staging")) << e.path();

  Outcome one = Command(c + "--history 4");
  EXPECT_EQ(one.status, 0);
  EXPECT_NE(one.out.find("DADOS_EEPC.CDS"), std::string::npos) << one.out;
  EXPECT_NE(one.out.find(h[0]["files"][0]["sha256"].get<std::string>()), std::string::npos);
  EXPECT_EQ(Command(c + "--history 9").status, 1);

  // Two kept exports compare as two folders: the whole tree has products the active ones lack.
  auto diff = [&](const std::string& ids) {
    return std::system((std::string(KVE_INSPECT) + " diff --brief --ledger '" + config.parent_path().string() +
                        "' " + ids + " >/dev/null 2>&1").c_str());
  };
  EXPECT_EQ(WEXITSTATUS(diff("3 4")), 1);
  EXPECT_EQ(WEXITSTATUS(diff("3 3")), 0);
  EXPECT_EQ(WEXITSTATUS(diff("2 4")), 2);  // its files are no longer kept
}

// A kept copy is the bytes as delivered, whatever the eeePC's client does to the delivered
// file afterwards; `diff --ledger` refuses a kept copy that is no longer what the ledger
// recorded. A lost ledger file does not hand out the numbers of folders still kept.
TEST_F(KveExport, KeptCopiesStayAsDeliveredAndTheirNumbersAreNeverGivenAgain) {
  fs::path config = Site();
  const fs::path data = config.parent_path();
  const fs::path exp = data / "shares" / demo::kDemoEeepc / "Orvanta Web/EeePc/Kve/Exp";
  const std::string c = "--config '" + config.string() + "' --eeepc 2 --active-only";
  Outcome first = Export(c);
  ASSERT_EQ(first.status, 0) << first.messages;
  const fs::path kept = first.summary["ledger"]["archive"].get<std::string>();
  const std::string name = first.summary["files"][0]["name"];
  const std::string delivered = testing::ReadBytes(exp / name);
  {
    // In place: the same file, its first bytes overwritten.
    std::fstream f(exp / name, std::ios::in | std::ios::out | std::ios::binary);
    f << "rewritten by the client";
  }
  ASSERT_NE(testing::ReadBytes(exp / name), delivered);
  EXPECT_EQ(testing::ReadBytes(kept / name), delivered);

  const fs::path err = data / "diff.err";
  auto diff = [&](const std::string& ids) {
    return WEXITSTATUS(std::system((std::string(KVE_INSPECT) + " diff --brief --ledger '" + data.string() + "' " +
                                    ids + " >/dev/null 2>'" + err.string() + "'")
                                       .c_str()));
  };
  EXPECT_EQ(diff("1 1"), 0) << testing::ReadBytes(err);
  testing::WriteBytes(kept / name, "tampered");
  EXPECT_EQ(diff("1 1"), 2);
  EXPECT_NE(testing::ReadBytes(err).find((kept / name).string() + ": the kept copy no longer holds what export 1"),
            std::string::npos)
      << testing::ReadBytes(err);

  // The ledger file is lost; kept folder 1 is still there. Then another device's folder holds
  // a higher number than any this ledger gave.
  for (const char* f : {"ledger.db", "ledger.db-wal", "ledger.db-shm"}) fs::remove(data / "ledger" / f);
  fs::create_directories(data / "ledger/files/eeepc-009/41");
  Outcome after = Export(c);
  ASSERT_EQ(after.status, 0) << after.messages;
  EXPECT_EQ(after.summary["ledger"]["id"], 42);
  EXPECT_EQ(testing::ReadBytes(kept / name), "tampered");  // the old copy is not overwritten
}

TEST_F(KveExport, AnExportSucceedsWhenItsLedgerOrItsCopyCannotBeWritten) {
  fs::path config = Site();
  const fs::path ledgerDir = config.parent_path() / "ledger";
  const std::string args = "--config '" + config.string() + "' --eeepc 2 --active-only";
  // A file where the copies go: the entry is recorded, no copy is kept.
  fs::create_directories(ledgerDir);
  testing::WriteBytes(ledgerDir / "files", "in the way");
  Outcome noCopy = Export(args);
  EXPECT_EQ(noCopy.status, 0) << noCopy.messages;
  EXPECT_EQ(noCopy.summary["ledger"]["id"], 1);
  EXPECT_EQ(noCopy.summary["ledger"]["archive"], "");
  EXPECT_NE(noCopy.summary["notes"][0].get<std::string>().find("keeping a copy"), std::string::npos);
  // A file where the ledger goes: nothing is recorded.
  fs::remove_all(ledgerDir);
  testing::WriteBytes(ledgerDir, "in the way");
  Outcome noLedger = Export(args);
  EXPECT_EQ(noLedger.status, 0) << noLedger.messages;
  EXPECT_FALSE(noLedger.summary.contains("ledger"));
  EXPECT_NE(noLedger.summary["notes"][0].get<std::string>().find("export ledger"), std::string::npos);
}

TEST_F(KveExport, ADryRunTellsWhatItWouldWriteAndChangesNothing) {
  fs::path config = Site();
  const std::string c = "--config '" + config.string() + "' ";
  const auto before = Tree(config.parent_path());
  const int64_t tables = ServerCalls("GetTabelas"), history = ServerCalls("InsHistPalm");
  // The eeePC's client is older than the workstation's: a real export would copy it over.
  Outcome palm = Export(c + "--palm 1 --whole-tree --yes --dry-run");
  Outcome epc = Export(c + "--eeepc 2 --active-only --dry-run");
  ASSERT_EQ(palm.status, 0) << palm.messages;
  ASSERT_EQ(epc.status, 0) << epc.messages;
  EXPECT_EQ(Tree(config.parent_path()), before);  // no file, no queue entry, no copy, no ledger
  EXPECT_EQ(ServerCalls("GetTabelas"), tables + 2);
  EXPECT_EQ(ServerCalls("InsHistPalm"), history);
  EXPECT_EQ(palm.summary["af_warning"], true);  // every branch, 0013 among them, which has no AF
  EXPECT_EQ(palm.summary["queue"]["entries"].size(), 37u);
  EXPECT_EQ(epc.summary["files"].size(), 35u);

  // What the dry run told is what the export writes.
  Outcome real = Export(c + "--palm 1 --whole-tree --yes");
  ASSERT_EQ(real.status, 0) << real.messages;
  ASSERT_EQ(real.summary["files"].size(), 70u);
  for (size_t i = 0; i < 70; ++i) {
    const auto &would = palm.summary["files"][i], &did = real.summary["files"][i];
    EXPECT_EQ(would["name"], did["name"]);
    EXPECT_EQ(would["rows"], did["rows"]) << did["name"];
    EXPECT_EQ(would["bytes"], did["bytes"]) << did["name"];
  }
}

// A central whose justifications alone pass what a Palm database holds: the server answers a
// table of 65,540 one-column rows. The export fails before it writes a file or touches the
// queue, says so in Portuguese naming the table and its rows, and records the failure; the
// dry run names the table in its summary.
TEST_F(KveExport, ATableOverThePalmRecordLimitFailsTheExportBeforeAnythingIsWritten) {
  fs::path config = Site();
  const fs::path site = config.parent_path();
  const std::string c = "--config '" + config.string() + "' ";
  auto db = Database::Open("sqlite:" + (*folder_ / "kve-demo.db").string());
  db->ExecuteScript(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 65540) "
      "INSERT INTO JUSTSOLI (CDJUSTSOLI, DSJUSTSOL) SELECT 'Z' || i, 'x' FROM n;");
  struct Undo {
    Database& db;
    ~Undo() { db.ExecuteScript("DELETE FROM JUSTSOLI WHERE CDJUSTSOLI LIKE 'Z%';"); }
  } undo{*db};
  const auto exp = Tree(site / "drive_c"), queue = Tree(site / "hotsync");
  const int64_t history = ServerCalls("InsHistPalm");

  for (const char* dry : {" --dry-run", ""}) {
    Outcome r = Export(c + "--palm 1 --whole-tree --yes" + dry);
    EXPECT_EQ(r.status, 3) << dry << r.messages;
    EXPECT_EQ(r.summary["outcome"], "failed");
    EXPECT_TRUE(r.summary["files"].empty()) << r.summary["files"];
    EXPECT_EQ(r.summary["palm_record_limit"],
              nlohmann::json::parse(R"({"limit": 65535, "tables_over": [{"table": "JUSTSOLI", "rows": 65544}]})"));
    EXPECT_NE(r.messages.find("Operação bloqueada. Um banco de dados do Palm comporta no máximo 65.535 registros, "
                              "e esta exportação geraria a tabela JUSTSOLI com 65.544 registros."),
              std::string::npos)
        << r.messages;
    EXPECT_EQ(Tree(site / "drive_c"), exp);
    EXPECT_EQ(Tree(site / "hotsync"), queue);
  }
  // The real run, and only it, records the failed export on the server.
  EXPECT_EQ(ServerCalls("InsHistPalm"), history + 1);
}

// A ledger's file, a copy and another program's half-written file left in the Palm export
// folder, names that differ only by case, and the temporaries of killed runs: the export
// converts, lists and keeps what it wrote, leaves the strays as they are (naming them in the
// log), and removes the temporaries of ended runs from the Palm folder and the eeePC's share.
TEST_F(KveExport, StrayFilesAreLeftAloneAndLeftoversOfEndedRunsRemoved) {
  fs::path config = Site();
  const std::string c = "--config '" + config.string() + "' ";
  const fs::path exp = config.parent_path() / "drive_c" / "Palm" / "Kve" / "Exp";
  const fs::path share = config.parent_path() / "shares" / demo::kDemoEeepc / "Orvanta Web" / "EeePc" / "Kve" / "Exp";
  ASSERT_EQ(Export(c + "--palm 1 --whole-tree --yes").status, 0);
  ASSERT_EQ(Export(c + "--eeepc 2 --active-only").status, 0);
  const pid_t ended = [] {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
  }();
  const std::string dead = std::to_string(ended), alive = std::to_string(::getpid());
  const std::map<std::string, std::string> strays = {
      {"JUNK.xml", "<?xml version=\"1.0\"?><DATAPACKET"},  // half-written by another program
      {"produto.xml", "not a packet"},                     // beside PRODUTO.xml
      {"produto.PDB", testing::ReadBytes(exp / "PRODUTO.pdb")},
      {".PRODUTO.xml.tmp-" + alive + "-1", "a live run's copy"}};
  for (const auto& [name, bytes] : strays) testing::WriteBytes(exp / name, bytes);
  testing::WriteBytes(exp / (".PRODUTO.xml.tmp-" + dead + "-0"), "killed");
  testing::WriteBytes(share / ("produto.cds"), "stray");
  // Strays that look as new as the export's files: written by someone else while it ran.
  const auto during = fs::file_time_type::clock::now() + std::chrono::hours(1);
  fs::last_write_time(exp / "produto.PDB", during);
  fs::last_write_time(share / "produto.cds", during);
  testing::WriteBytes(share / (".~EXPITEM.CDS.kve-staged.tmp-" + dead + "-4"), "killed");

  Outcome palm = Export(c + "--palm 1 --whole-tree --yes");
  ASSERT_EQ(palm.status, 0) << palm.messages;
  std::vector<std::string> listed;
  for (const auto& f : palm.summary["files"]) listed.push_back(f["name"]);
  EXPECT_EQ(listed.size(), 70u);
  for (const auto& [name, bytes] : strays) {
    EXPECT_EQ(testing::ReadBytes(exp / name), bytes) << name;
    EXPECT_EQ(std::count(listed.begin(), listed.end(), name), 0) << name;
  }
  EXPECT_FALSE(fs::exists(exp / "JUNK.pdb"));
  EXPECT_FALSE(fs::exists(exp / (".PRODUTO.xml.tmp-" + dead + "-0")));
  EXPECT_NE(palm.messages.find("left as they are: JUNK.xml produto.xml"), std::string::npos) << palm.messages;
  // The ledger holds what the summary listed.
  Outcome entry = Command(c + "--json --history " + std::to_string(palm.summary["ledger"]["id"].get<int64_t>()));
  ASSERT_EQ(entry.status, 0) << entry.messages;
  EXPECT_EQ(entry.summary["files"].size(), 70u) << entry.out;

  Outcome epc = Export(c + "--eeepc 2 --active-only");
  ASSERT_EQ(epc.status, 0) << epc.messages;
  EXPECT_EQ(epc.summary["files"].size(), 35u) << epc.summary["files"];
  EXPECT_EQ(testing::ReadBytes(share / "produto.cds"), "stray");
  EXPECT_FALSE(fs::exists(share / (".~EXPITEM.CDS.kve-staged.tmp-" + dead + "-4")));
}

TEST_F(KveExport, ManyDevicesAreExportedInTurnWithTheTablesFetchedOnce) {
  fs::path config = Site();
  const std::string c = "--config '" + config.string() + "' ";
  // The demo's second eeePC gets its share, so both can take the export.
  fs::create_directories(config.parent_path() / "shares/NOTE-KITCHEN-02/Orvanta Web");
  const int64_t tables = ServerCalls("GetTabelas"), history = ServerCalls("InsHistPalm");
  Outcome all = Export(c + "--eeepc all --active-only");
  ASSERT_EQ(all.status, 0) << all.messages;
  ASSERT_EQ(all.summary["exports"].size(), 2u);
  EXPECT_EQ(all.summary["exports"][1]["device"]["code"], "004");
  EXPECT_EQ(all.summary["exports"][1]["files"].size(), 35u);
  EXPECT_EQ(ServerCalls("GetTabelas"), tables + 1);
  EXPECT_EQ(ServerCalls("InsHistPalm"), history + 2);
  // The second eeePC writes the bytes the first encoded: the same files as an export of its own.
  const fs::path exp4 = config.parent_path() / "shares/NOTE-KITCHEN-02/Orvanta Web/EeePc/Kve/Exp";
  auto contents = [&] {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(exp4)) out[e.path().filename().string()] = testing::ReadBytes(e.path());
    return out;
  };
  const auto asSecond = contents();
  ASSERT_EQ(asSecond.size(), 35u);
  ASSERT_EQ(Export(c + "--eeepc 4 --active-only").status, 0);
  EXPECT_TRUE(contents() == asSecond);

  // Palm 003 has no HotSync user: it stops, and Palm 001 is exported after it.
  Outcome some = Export(c + "--palm 3,1 --whole-tree --yes");
  EXPECT_EQ(some.status, 1) << some.messages;
  EXPECT_EQ(some.summary["not_exported"], nlohmann::json({"003 (stopped)"}));
  EXPECT_EQ(some.summary["exports"][1]["outcome"], "exported");
  EXPECT_EQ(Command(c + "--history --json").summary.size(), 5u);
}

}  // namespace
}  // namespace kve

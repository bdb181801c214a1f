// The export button pressed on the screen model, as an operator does it, against the real
// application server on the demo central kitchen (every engine), a real HotSync queue and a
// real eeePC share in a temporary folder: what lands on disk, in the queue and in the
// device's history.
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "record/screen_ledger.h"
#include "demo/demo_data.h"
#include "eeepc/deployment.h"
#include "catalogue/catalogue.h"
#include "export/export_files.h"
#include "screen/frm_exp_dados.h"
#include "screen/operator_errors.h"
#include "ledger/ledger.h"
#include "palm/hotsync_queue.h"
#include "support/error_fs.h"
#include "platform/maker/config.h"
#include "platform/pdb/pdb_reader.h"
#include "platform/registry/registry.h"
#include "support/scripted_dialogs.h"
#include "server/app_server.h"
#include "server/server_fixture.h"
#include "support/pe_image.h"
#include "support/smb_server.h"
#include "support/temp_folder.h"
#include "platform/fs/smb_fs.h"

namespace kve {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

const TDateTime kToday = TDateTime::FromDate({2026, 12, 7});
constexpr const char* kShare = "NOTE-KITCHEN-01";

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> out;
  if (!fs::exists(dir)) return out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

std::map<std::string, std::string> Contents(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const std::string& n : Names(dir)) out[n] = testing::ReadBytes(dir / n);
  return out;
}

maker::HostConfig Config(int port) {
  maker::HostConfig c = maker::DefaultConfig("unused");
  c.branch = demo::kDemoCentral;
  c.operator_code = demo::kDemoNutritionist;
  c.product_mask = std::string(demo::kDemoProductMask) + ";0;_";
  c.server_host = "127.0.0.1";
  c.server_port = port;
  c.site_key = "end-to-end";
  return c;
}

// Forwards to a file system and runs `before` ahead of each write or rename of a staged
// export file, with the count of such writes and renames so far: a server lost at that point.
class StagedStepHook final : public FileSystemWrapper {
 public:
  explicit StagedStepHook(FileSystem& base) : FileSystemWrapper(base) {}
  std::function<void(int writes, int renames)> before;  // counted from the last Reset
  void Reset() { writes_ = renames_ = 0; }

  void WriteFile(std::string_view p, std::string_view data) override {
    if (Staged(p) && before) before(writes_++, renames_);
    base_.WriteFile(p, data);
  }
  void RenameFile(std::string_view f, std::string_view t) override {
    if (Staged(f) && before) before(writes_, renames_++);
    base_.RenameFile(f, t);
  }

 private:
  static bool Staged(std::string_view p) { return p.find(".kve-staged") != std::string_view::npos; }
  int writes_ = 0, renames_ = 0;
};

class ExportEndToEnd : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    data_ = std::make_unique<testing_server::ServerDb>(GetParam());
    if (data_->Skip()) GTEST_SKIP() << "KVE_TEST_PG_URL not set";
    server_ = testing_server::StartDemoServer(*data_, kToday);

    for (const char* d : {"c/Palm/Kve/Exp", "c/Palm/Kve/Bin", "c/Orvanta/Bin/Client", "hotsync/Palm 01",
                          "hotsync/Palm 02"})
      fs::create_directories(tmp_ / d);
    fs::create_directories(tmp_ / "shares" / kShare / "Orvanta Web");
    for (const char* prc : {"KVE.prc", "Relaybox.prc"}) testing::WriteBytes(tmp_ / "c/Palm/Kve/Bin" / prc, prc);
    for (const auto& f : eeepc::DeployedFiles())
      testing::WriteBytes(tmp_ / "c/Orvanta/Bin/Client" / std::string(f.file), testing::PeImage(4, 2, 0, 7));

    PathMapping m;
    m.drives = {{'C', tmp_ / "c"}};
    m.shares = tmp_ / "shares";
    if (smb_) {
      // The eeePC is the test Samba server; its share is shared by every case, so it is
      // emptied first.
      fs::remove_all(smb_->shareDir / "EeePc");
      m.shares.clear();
      SmbSettings settings = smb_->Settings(3);
      if (wrongPassword_) settings.credentials.password += "-wrong";
      posix_ = NewSmbShareFileSystem(NewPosixFileSystem(m), std::move(settings));
    } else {
      posix_ = NewPosixFileSystem(m);
    }
    hook_ = std::make_unique<StagedStepHook>(*posix_);
    files_ = std::make_unique<ErrorFileSystem>(*hook_);
    aide_ = NewFolderInstallAide(tmp_ / "hotsync", *files_);
    registry_.Set("Software\\ORVANTA\\Sistemas Integrados Orvanta\\WebCli", "PALMDir", "C:\\Palm");
    registry_.Set(eeepc::kInstallKey, eeepc::kInstallValue, "C:\\Orvanta");
    db_ = data_->Open();
    link_ = NewNetServerLink();
    maker_ = std::make_unique<maker::Services>(Config(server_->Port()));
    scope_ = std::make_unique<maker::ServicesScope>(*maker_);
    services_ = std::make_unique<ExpDadosServices>(ExpDadosServices{
        *db_, *link_, dialogs_, *files_, registry_, busy_, *aide_, {},
        [this](std::string_view line) { logged_.emplace_back(line); }});
    screen_ = std::make_unique<TfrmExpDados>(*services_);
    screen_->FormCreate();
    ASSERT_TRUE(dialogs_.Shown().empty()) << dialogs_.Texts()[0];
  }

  // The parameters an operator fills for one export: the device, a nutritionist (whose
  // branches decide the AF warning), the previous and the current month.
  void Fill(bool palm, const char* device, const char* nutritionist) {
    TfrmExpDados& s = *screen_;
    s.UserClick(palm ? s.rbtPalm : s.rbtEPc);
    s.UserType(palm ? s.medCdPalm : s.medCdEPc, device);
    s.UserType(s.medCdNutricio, nutritionist);
    for (TDateEditPlus* d : {&s.depCardIni, &s.depSoliCompIni, &s.depAFIni}) s.UserType(*d, "01112026");
    for (TDateEditPlus* d : {&s.depCardFim, &s.depSoliCompFim, &s.depAFFim}) s.UserType(*d, "31122026");
    s.UserFocus(s.medAgrupProd);
  }
  bool Press() { return screen_->UserClick(screen_->sbtImportExport); }

  // The device's history rows on the server, newest first: "kind/error".
  std::vector<std::string> History(const char* device) {
    TClientDataSet rows;
    db_->Run("SELECT IDHISTPALM, IDERROPALM FROM HISTPALM WHERE CDFILIAL = '0001' AND CDPALM = '" +
                 std::string(device) + "' ORDER BY NRSEQHISTPALM DESC",
             {}, &rows);
    std::vector<std::string> out;
    for (rows.First(); !rows.Eof(); rows.Next())
      out.push_back(rows.FieldByName("IDHISTPALM").AsString() + "/" + rows.FieldByName("IDERROPALM").AsString());
    return out;
  }
  std::string LastAlert() {
    for (auto it = dialogs_.Shown().rbegin(); it != dialogs_.Shown().rend(); ++it)
      if (it->kind == ShownDialog::Kind::Alert) return it->text;
    return {};
  }

  fs::path PalmExp() const { return tmp_ / "c/Palm/Kve/Exp"; }
  fs::path Queue(const char* user) const { return tmp_ / "hotsync" / user / "Install"; }
  fs::path EpcShare() const { return smb_ ? smb_->shareDir : tmp_ / "shares" / kShare / "Orvanta Web"; }
  fs::path EpcExp() const { return EpcShare() / "EeePc/Kve/Exp"; }

  std::optional<testing::SmbTestServer> smb_;  // set before SetUp: the shares over SMB
  bool wrongPassword_ = false;                  // with smb_: a password the server refuses
  std::unique_ptr<StagedStepHook> hook_;

  testing::TempFolder tmp_;
  std::unique_ptr<testing_server::ServerDb> data_;
  std::unique_ptr<server::AppServer> server_;
  std::unique_ptr<FileSystem> posix_;
  std::unique_ptr<ErrorFileSystem> files_;
  std::unique_ptr<InstallAide> aide_;
  MemRegistry registry_;
  std::unique_ptr<Database> db_;
  std::unique_ptr<ServerLink> link_;
  std::unique_ptr<maker::Services> maker_;
  std::unique_ptr<maker::ServicesScope> scope_;
  ScriptedDialogs dialogs_;
  RecordingBusyView busy_;
  std::vector<std::string> logged_;
  std::unique_ptr<ExpDadosServices> services_;
  std::unique_ptr<TfrmExpDados> screen_;
};

// What a view sees of the progress bar and the status caption while the export runs.
class ProgressWatch final : public FormObserver {
 public:
  explicit ProgressWatch(TfrmExpDados& s) : s_(s) {}
  void ControlChanged(TControl& c) override {
    if (&c == &s_.lblStatus && !s_.lblStatus.Caption().empty()) captions.insert(s_.lblStatus.Caption());
    if (&c == &s_.pgbProgresso) top = std::max(top, s_.pgbProgresso.Position());
  }
  void FocusChanged(TControl*) override {}
  std::set<std::string> captions;
  int top = 0;

 private:
  TfrmExpDados& s_;
};

TEST_P(ExportEndToEnd, APalmExportQueuesItsDatabasesAndIsRecordedAsCompleted) {
  Fill(true, "1", demo::kDemoNutritionist);
  ProgressWatch watch(*screen_);
  screen_->SetObserver(&watch);
  dialogs_.Answer(mrYes);  // the whole product tree
  ASSERT_TRUE(Press()) << ::testing::PrintToString(dialogs_.Texts());
  screen_->SetObserver(nullptr);
  EXPECT_TRUE(watch.captions.count("EFETCLIE.xml") && watch.captions.count("EXPFILIAL.xml"));
  EXPECT_GT(watch.top, 35);  // records of the larger databases

  std::set<std::string> xml, pdb;
  for (const std::string& n : Names(PalmExp())) (n.ends_with(".xml") ? xml : pdb).insert(n);
  EXPECT_EQ(xml.size(), 35u);
  EXPECT_EQ(pdb.size(), 35u);
  for (const std::string& n : pdb) EXPECT_NO_THROW(pdb::PdbFile::Parse(testing::ReadBytes(PalmExp() / n), n)) << n;
  std::set<std::string> queued = Names(Queue("Palm 01"));
  EXPECT_EQ(queued.size(), 37u);
  EXPECT_TRUE(queued.count("KVE.prc") && queued.count("Relaybox.prc") && queued.count("EXPFILIAL.pdb"));
  EXPECT_EQ(History("001").front(), "0/0");
  // every file went in one batch of folder flushes, synced once before the success was recorded
  EXPECT_EQ(files_->UnbatchedChanges(), 0);
  EXPECT_EQ(files_->BatchSyncs(), 1);
  EXPECT_EQ(LastAlert(), "A preparação dos dados foi realizada com sucesso. Aperte o botão de "
                         "transferência para iniciar a exportação para o Palm.");
  EXPECT_EQ(screen_->sedSolicProd.Text(), "0");  // as the server left the count
  EXPECT_EQ(screen_->lblStatus.Caption(), "");
  EXPECT_FALSE(busy_.Animating());
}

TEST_P(ExportEndToEnd, AnEeePcExportPushesItsClientAndWritesItsFilesInTheirLetterCase) {
  Fill(false, "2", "000000000008");  // branches 0008..0013: 0013 has no supply authorisation
  const fs::path bin = tmp_ / "shares" / kShare / "Orvanta Web/EeePc/Kve/Bin";
  fs::create_directories(bin);
  testing::WriteBytes(bin / "RDL.exe", testing::PeImage(4, 10, 0, 0));  // newer on the eeePC
  dialogs_.Answer(mrYes);
  ASSERT_TRUE(Press()) << ::testing::PrintToString(dialogs_.Texts());

  std::set<std::string> want;
  for (const auto& f : exporting::EeepcFiles()) want.insert(std::string(f.file));
  want.insert("DADOS_EEPC.CDS");
  EXPECT_EQ(Names(EpcExp()), want);
  EXPECT_EQ(Names(bin).size(), 8u);
  EXPECT_EQ(testing::ReadBytes(bin / "RDL.exe"), testing::PeImage(4, 10, 0, 0));
  EXPECT_EQ(testing::ReadBytes(bin / "_kor.bpl"), testing::PeImage(4, 2, 0, 7));
  TClientDataSet dados;
  dados.LoadFromFile(EpcExp() / "DADOS_EEPC.CDS");
  EXPECT_EQ(dados.FieldByName("DIREXP").AsString(), "\\\\NOTE-KITCHEN-01\\Orvanta Web\\EeePc\\Kve\\Exp\\");
  EXPECT_EQ(History("002").front(), "0/0");
  EXPECT_EQ(LastAlert(), "O lançamento de Notas Fiscais de Compra será bloqueado para as filiais que "
                         "não possuem Autorização de Fornecimento cadastrada.");
}

TEST_P(ExportEndToEnd, NoToOverwritingAnExportNeverImportedBackExportsNothingButClearsTheQueue) {
  fs::create_directories(Queue("Palm 02"));
  for (const char* queued : {"FILIAL.pdb", "EXPFILIAL.pdb"})
    testing::WriteBytes(tmp_ / "hotsync/Palm 02/Install" / queued, "earlier");
  Fill(true, "3", demo::kDemoNutritionist);
  dialogs_.Answer(mrYes);  // the whole product tree
  dialogs_.Answer(mrNo);   // overwrite the export never imported back?
  const auto before = History("003");
  ASSERT_TRUE(Press());
  EXPECT_EQ(dialogs_.Texts().back(), "Importação deve ser realizada na tela Importação de Dados.");
  EXPECT_TRUE(Names(PalmExp()).empty());
  EXPECT_THAT(Names(Queue("Palm 02")), ElementsAre("EXPFILIAL.pdb"));
  EXPECT_EQ(History("003"), before);
}

// The server's own error text reaches the operator; a Palm export is recorded as failed, an
// eeePC export not at all.
TEST_P(ExportEndToEnd, AServerErrorIsShownAndRecordedForAPalmOnly) {
  for (bool palm : {true, false}) {
    SCOPED_TRACE(palm ? "Palm" : "eeePC");
    const char* device = palm ? "001" : "002";
    Fill(palm, palm ? "1" : "2", demo::kDemoNutritionist);
    screen_->UserClick(screen_->rbtLAgreg);
    screen_->ListaAgreg = "0002";  // the server refuses a list without its separators
    dialogs_.Clear();
    dialogs_.Answer(mrYes);
    const auto before = History(device);
    screen_->sedSolicProd.SetText("7");
    EXPECT_FALSE(Press());
    ASSERT_EQ(dialogs_.Errors().size(), 1u);
    EXPECT_NE(dialogs_.Errors()[0].find("does not start with \"_\""), std::string::npos) << dialogs_.Errors()[0];
    auto after = History(device);
    if (palm) {
      ASSERT_EQ(after.size(), before.size() + 1);
      EXPECT_EQ(after.front(), "0/1");
    } else {
      EXPECT_EQ(after, before);
    }
    EXPECT_EQ(screen_->pgbProgresso.Position(), 0);
    EXPECT_EQ(screen_->lblStatus.Caption(), "");
    EXPECT_FALSE(busy_.Animating());
    EXPECT_EQ(screen_->sedSolicProd.Text(), "7");
    screen_->UserClick(screen_->rbtTAgreg);
  }
}

TEST_P(ExportEndToEnd, AShareThatFailsHalfWayLeavesTheEarlierEeePcExportWhole) {
  Fill(false, "2", demo::kDemoNutritionist);
  dialogs_.Answer(mrYes);
  ASSERT_TRUE(Press());
  const auto earlier = Contents(EpcExp());
  ASSERT_EQ(earlier.size(), 35u);

  files_->FailWritesAfter(200000);  // the share fills up half-way
  dialogs_.Clear();
  dialogs_.Answer(mrYes);
  EXPECT_FALSE(Press());
  EXPECT_EQ(dialogs_.Errors(), std::vector<std::string>{OperatorErrorText(IoError("x", ErrorKind::kNoSpace))});
  EXPECT_EQ(Contents(EpcExp()), earlier);
  ASSERT_EQ(logged_.size(), 1u);
  EXPECT_NE(logged_[0].find("No space left on device"), std::string::npos) << logged_[0];
}

// The screen in the host application records every export in the workstation's ledger as
// kve-export does: the files with their hashes and a kept copy, and a failed export as failed.
TEST_P(ExportEndToEnd, EachExportOfTheScreenIsRecordedInTheWorkstationsLedger) {
  maker::HostConfig c = Config(server_->Port());
  c.data_dir = (tmp_ / "data").string();
  services_->exportEnded = record::ScreenLedger(c, [this](std::string_view l) { logged_.emplace_back(l); });
  Fill(false, "2", demo::kDemoNutritionist);
  dialogs_.Answer(mrYes);
  ASSERT_TRUE(Press());
  const auto exported = Contents(EpcExp());
  const std::string alert = LastAlert();
  // The ledger takes an export's files by their times; an operator presses again seconds
  // later, not within the file clock's tick of the last write.
  for (const auto& f : fs::directory_iterator(EpcExp()))
    fs::last_write_time(f.path(), fs::last_write_time(f.path()) - std::chrono::seconds(2));
  files_->FailWritesAfter(200000);
  dialogs_.Clear();
  dialogs_.Answer(mrYes);
  EXPECT_FALSE(Press());

  ledger::Ledger ledger(c.data_dir, true);
  const std::vector<ledger::LedgerEntry> entries = ledger.List();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].outcome, "failed");
  EXPECT_TRUE(entries[0].files.empty());
  const ledger::LedgerEntry& e = entries[1];
  EXPECT_EQ(e.outcome, "exported");
  EXPECT_EQ(e.target + " " + e.device + " " + e.deviceName, "eeepc 002 NOTE-KITCHEN-01");
  EXPECT_EQ(e.parameters["menu"], nlohmann::json({"2026-11-01", "2026-12-31"}));
  EXPECT_EQ(e.parameters["nutritionist"], demo::kDemoNutritionist);
  EXPECT_EQ(e.closingMessage, alert);
  ASSERT_EQ(e.files.size(), exported.size());
  for (const ledger::LedgerFile& f : e.files) {
    EXPECT_EQ(f.sha256, ledger::Sha256Hex(exported.at(f.name))) << f.name;
    EXPECT_EQ(testing::ReadBytes(ledger.KeptFiles(e.id) / f.name), exported.at(f.name)) << f.name;
  }
  EXPECT_EQ(logged_.size(), 1u);  // the share's own failure, nothing of the ledger
}

// A disk that fills half way: the files before stay whole, the one being written is not at its
// name, no temporary is left, nothing is queued, and the export is recorded as failed.
TEST_P(ExportEndToEnd, APalmExportOnADiskFillingHalfWayLeavesNoPartFileAndIsRecordedAsFailed) {
  Fill(true, "1", demo::kDemoNutritionist);
  files_->FailWritesAfter(200000);
  dialogs_.Answer(mrYes);
  EXPECT_FALSE(Press());
  EXPECT_EQ(History("001").front(), "0/1");
  EXPECT_EQ(files_->BatchSyncs(), 0);
  const std::set<std::string> names = Names(PalmExp());
  EXPECT_GT(names.size(), 0u);
  EXPECT_LT(names.size(), 35u);
  for (const std::string& n : names) {
    ASSERT_TRUE(n.ends_with(".xml")) << n;
    TClientDataSet whole;
    EXPECT_NO_THROW(whole.LoadFromFile(PalmExp() / n)) << n;
  }
  EXPECT_TRUE(Names(Queue("Palm 01")).empty());
}

// The same exports with the eeePC's share on a real SMB server.
class ExportOverSmb : public ExportEndToEnd {
 protected:
  void SetUp() override {
    smb_ = testing::SmbTestServer::FromEnvironment();
    if (!smb_) GTEST_SKIP() << testing::SmbTestServer::SkipReason();
    ExportEndToEnd::SetUp();
  }
  void TearDown() override {
    // A case that failed half-way must not leave the next one without its server.
    if (smb_ && stopped_) smb_->Start();
  }
  void StopServer() {
    smb_->Stop();
    stopped_ = true;
  }
  void StartServer() {
    smb_->Start();
    stopped_ = false;
  }
  // Files a run left that are no export file: staged copies and write temporaries.
  std::set<std::string> Leftovers() {
    std::set<std::string> out;
    for (const std::string& n : Names(EpcExp()))
      if (n.find("kve-staged") != std::string::npos || n.find(".tmp-") != std::string::npos) out.insert(n);
    return out;
  }
  bool stopped_ = false;
};

TEST_P(ExportOverSmb, AnEeePcExportPushesItsClientAndWritesItsFilesOverSmb) {
  Fill(false, "2", "000000000008");
  const std::string bin = "\\\\NOTE-KITCHEN-01\\Orvanta Web\\EeePc\\Kve\\Bin";
  for (const std::string& dir : {bin.substr(0, bin.size() - 8), bin.substr(0, bin.size() - 4), bin}) files_->CreateDir(dir);
  files_->WriteFile(bin + "\\RDL.exe", testing::PeImage(4, 10, 0, 0));  // newer there
  dialogs_.Answer(mrYes);
  ASSERT_TRUE(Press()) << ::testing::PrintToString(dialogs_.Texts());
  std::set<std::string> want;
  for (const auto& f : exporting::EeepcFiles()) want.insert(std::string(f.file));
  want.insert("DADOS_EEPC.CDS");
  EXPECT_EQ(Names(EpcExp()), want);
  EXPECT_EQ(testing::ReadBytes(EpcShare() / "EeePc/Kve/Bin/RDL.exe"), testing::PeImage(4, 10, 0, 0));
  EXPECT_EQ(testing::ReadBytes(EpcShare() / "EeePc/Kve/Bin/_kor.bpl"), testing::PeImage(4, 2, 0, 7));
  TClientDataSet dados;
  dados.LoadFromFile(EpcExp() / "DADOS_EEPC.CDS");
  EXPECT_EQ(dados.FieldByName("DIREXP").AsString(), "\\\\NOTE-KITCHEN-01\\Orvanta Web\\EeePc\\Kve\\Exp\\");
  EXPECT_EQ(History("002").front(), "0/0");
}

// The server stopped while the files are staged, or between two renames into place: the
// export fails with the screen's folder message and records nothing; every file of the earlier
// export is still there and whole (untouched when the stop came before the renames); the next
// export, with the server back, succeeds and leaves nothing staged.
TEST_P(ExportOverSmb, AServerStoppedHalfWayFailsTheExportAndTheNextOneSucceeds) {
  struct Case {
    const char* name;
    int writes, renames;  // stop before this staged write, or this rename
  } cases[] = {{"while staging", 12, -1}, {"between two renames", 35, 20}};
  Fill(false, "2", demo::kDemoNutritionist);
  dialogs_.Answer(mrYes);
  ASSERT_TRUE(Press());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto earlier = Contents(EpcExp());
    ASSERT_EQ(earlier.size(), 35u);
    const auto history = History("002");
    hook_->Reset();
    hook_->before = [&](int writes, int renames) {
      if (!stopped_ && writes == c.writes && (c.renames < 0 || renames == c.renames)) StopServer();
    };
    dialogs_.Clear();
    dialogs_.Answer(mrYes);
    EXPECT_FALSE(Press());
    ASSERT_TRUE(stopped_);
    hook_->before = nullptr;
    EXPECT_EQ(dialogs_.Errors(),
              std::vector<std::string>{"Operação bloqueada. Não foi possível exportar os dados para o diretório "
                                       "\\\\NOTE-KITCHEN-01\\Orvanta Web\\EeePc\\Kve\\Exp\\. Verifique se o diretório "
                                       "NOTE-KITCHEN-01\\Orvanta Web está compartilhado."});
    EXPECT_EQ(History("002"), history);
    const auto after = Contents(EpcExp());
    for (const auto& [name, bytes] : earlier) {
      ASSERT_TRUE(after.count(name)) << name << " is gone";
      if (c.renames < 0) EXPECT_EQ(after.at(name), bytes) << name;
      TClientDataSet ds;
      EXPECT_NO_THROW(ds.LoadFromFile(EpcExp() / name)) << name;
    }

    StartServer();
    dialogs_.Clear();
    dialogs_.Answer(mrYes);
    ASSERT_TRUE(Press()) << ::testing::PrintToString(dialogs_.Texts());
    EXPECT_EQ(Leftovers(), std::set<std::string>{});
    EXPECT_EQ(Names(EpcExp()).size(), 35u);
    EXPECT_EQ(History("002").front(), "0/0");
  }
}

// A share that fills up while the files are staged: the export fails, records nothing and
// leaves the earlier export as it was; with room again the next one succeeds and leaves
// nothing staged.
TEST_P(ExportOverSmb, AFullShareFailsTheExportAndKeepsTheEarlierOneWhole) {
  if (!std::getenv("KVE_TEST_SMB_SHARE_OWN_FS")) {
    GTEST_SKIP() << "the test share is not a file system of its own";
  }
  Fill(false, "2", demo::kDemoNutritionist);
  dialogs_.Answer(mrYes);
  ASSERT_TRUE(Press());
  const auto earlier = Contents(EpcExp());
  const auto history = History("002");

  struct statvfs v;
  ASSERT_EQ(::statvfs(EpcShare().c_str(), &v), 0);
  const off_t room = static_cast<off_t>(v.f_bavail) * static_cast<off_t>(v.f_frsize);
  const fs::path filler = EpcShare() / "filler";
  const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::posix_fallocate(fd, 0, room - 64 * 1024), 0);  // room for a file or two, not 35
  ::close(fd);

  dialogs_.Clear();
  dialogs_.Answer(mrYes);
  EXPECT_FALSE(Press());
  // The share is there and shared: the operator is told it is full, not to check the sharing.
  EXPECT_EQ(dialogs_.Errors(), std::vector<std::string>{OperatorErrorText(IoError("x", ErrorKind::kNoSpace))});
  EXPECT_EQ(History("002"), history);
  EXPECT_EQ(Contents(EpcExp()), earlier);

  fs::remove(filler);
  dialogs_.Clear();
  dialogs_.Answer(mrYes);
  ASSERT_TRUE(Press()) << ::testing::PrintToString(dialogs_.Texts());
  EXPECT_EQ(Leftovers(), std::set<std::string>{});
  EXPECT_EQ(Names(EpcExp()).size(), 35u);
}

// An eeePC that refuses the workstation's password: the operator is told so (not that the
// folder is not shared), nothing is written to the share and nothing is recorded.
class ExportOverSmbRefused : public ExportOverSmb {
 protected:
  void SetUp() override {
    wrongPassword_ = true;
    ExportOverSmb::SetUp();
  }
};

TEST_P(ExportOverSmbRefused, RefusedCredentialsStopTheExportWithTheirOwnMessage) {
  const auto history = History("002");
  Fill(false, "2", demo::kDemoNutritionist);
  dialogs_.Answer(mrYes);
  EXPECT_FALSE(Press());
  EXPECT_EQ(dialogs_.Errors(), std::vector<std::string>{
                                   "Operação bloqueada. O eeePC NOTE-KITCHEN-01 recusou o usuário e a senha desta "
                                   "estação para o diretório \\\\NOTE-KITCHEN-01\\Orvanta Web. Verifique o arquivo "
                                   "de credenciais do compartilhamento."});
  EXPECT_FALSE(fs::exists(EpcShare() / "EeePc"));
  EXPECT_EQ(History("002"), history);
}

INSTANTIATE_TEST_SUITE_P(Sqlite, ExportOverSmbRefused, ::testing::Values(std::string("sqlite")));
INSTANTIATE_TEST_SUITE_P(Sqlite, ExportOverSmb, ::testing::Values(std::string("sqlite")));

// A queue that cannot take the export fails it: recorded as failed, the error naming the
// entries, and nothing of the export left queued (EXPFILIAL.pdb, which a withdrawal always
// leaves, aside). The earlier export was whole before.
TEST_P(ExportEndToEnd, AQueueThatCannotTakeTheExportFailsItAndHoldsNoPartOfIt) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& install)> plant;
    const char* named;  // in the error
  } cases[] = {
      {"the Install folder turned into a link to another folder",
       [this](const fs::path& install) {
         fs::remove_all(install);
         fs::create_directories(tmp_ / "decoy");
         fs::create_directory_symlink(tmp_ / "decoy", install);
       },
       "37 of 37 entries were not queued: EFETIVOS.pdb (the queue folder refused the change)"},
      {"a folder in the way of one entry's rename",
       [](const fs::path& install) {
         fs::remove(install / "PRODUTO.pdb");
         fs::create_directory(install / "PRODUTO.pdb");
       },
       "PRODUTO.pdb ("},
  };
  Fill(true, "1", demo::kDemoNutritionist);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.Clear();
    dialogs_.Answer(mrYes);  // the whole product tree
    const auto history = History("001");
    if (!history.empty() && history.front() == "0/0") dialogs_.Answer(mrYes);  // overwrite the earlier export
    ASSERT_TRUE(Press()) << ::testing::PrintToString(dialogs_.Texts());
    ASSERT_EQ(Names(Queue("Palm 01")).size(), 37u);
    c.plant(Queue("Palm 01"));
    dialogs_.Clear();
    dialogs_.Answer(mrYes);
    dialogs_.Answer(mrYes);
    EXPECT_FALSE(Press());
    EXPECT_EQ(History("001").front(), "0/1");
    ASSERT_EQ(dialogs_.Errors().size(), 1u);
    EXPECT_NE(dialogs_.Errors()[0].find(c.named), std::string::npos) << dialogs_.Errors()[0];
    for (const std::string& n : Names(Queue("Palm 01")))
      EXPECT_TRUE(n == "EXPFILIAL.pdb" || fs::is_directory(Queue("Palm 01") / n)) << n;
    if (fs::exists(tmp_ / "decoy")) EXPECT_TRUE(Names(tmp_ / "decoy").empty());
    fs::remove_all(Queue("Palm 01"));
    fs::create_directories(Queue("Palm 01"));
  }
}

// The close step withdraws the export this screen queued, and only while the queue holds the
// copies it left: an export kve-export queued since, or before, is kept.
TEST_P(ExportEndToEnd, ClosingWithdrawsTheScreensOwnExportButNotABatchExport) {
  const std::string told =
      "A exportação para o Palm Palm 01 ainda não foi transferida pelo HotSync. Ao fechar a tela, "
      "os 36 arquivos dela serão retirados da fila de instalação.";
  // Another program queuing the same files again, as kve-export does, through its own aide.
  auto batchExport = [this] {
    std::unique_ptr<InstallAide> other = NewFolderInstallAide(tmp_ / "hotsync", *posix_);
    const auto paths = exporting::PalmQueuePaths("C:\\Palm\\Kve\\Exp\\", "C:\\Palm\\Kve\\Bin\\");
    ASSERT_TRUE(palm::ReplaceEntries(*other, "Palm 01", paths).empty());
  };
  auto reopen = [this] {
    screen_ = std::make_unique<TfrmExpDados>(*services_);
    screen_->FormCreate();
    Fill(true, "1", demo::kDemoNutritionist);
  };
  auto exportAndClose = [&](bool screenExport, bool batchSince) {
    reopen();
    if (screenExport) {
      dialogs_.Answer(mrYes);
      dialogs_.Answer(mrYes);  // overwrite the earlier export
      ASSERT_TRUE(Press());
    }
    if (batchSince) batchExport();
    dialogs_.Clear();
    screen_->Close();
  };
  Fill(true, "1", demo::kDemoNutritionist);
  dialogs_.Answer(mrYes);
  ASSERT_TRUE(Press());  // the files a batch export queues
  screen_->Close();
  fs::remove_all(Queue("Palm 01"));

  exportAndClose(true, true);  // the screen's export replaced by a batch export: kept
  EXPECT_TRUE(dialogs_.Shown().empty());
  EXPECT_EQ(Names(Queue("Palm 01")).size(), 37u);
  exportAndClose(false, false);  // a batch export, then the screen opened and closed: kept
  EXPECT_TRUE(dialogs_.Shown().empty());
  EXPECT_EQ(Names(Queue("Palm 01")).size(), 37u);
  exportAndClose(true, false);  // the screen's own export: withdrawn, the operator told first
  EXPECT_EQ(dialogs_.Texts(), std::vector<std::string>{told});
  EXPECT_THAT(Names(Queue("Palm 01")), ElementsAre("EXPFILIAL.pdb"));
}

INSTANTIATE_TEST_SUITE_P(Engines, ExportEndToEnd, ::testing::ValuesIn(testing_server::Engines()));

}  // namespace
}  // namespace kve

// The export run without a form: driven through a view that records what it is shown, against
// the real application server on the demo central kitchen, a real HotSync queue and a real
// eeePC share in a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "demo/demo_data.h"
#include "eeepc/deployment.h"
#include "host/server_link.h"
#include "params/expdados_messages.h"
#include "platform/common/error.h"
#include "platform/maker/config.h"
#include "platform/registry/registry.h"
#include "screen/operator_errors.h"
#include "screen/export_run.h"
#include "server/app_server.h"
#include "server/server_fixture.h"
#include "support/error_fs.h"
#include "support/pe_image.h"
#include "support/scripted_dialogs.h"
#include "support/temp_folder.h"

namespace kve {
namespace {

namespace fs = std::filesystem;

const TDateTime kToday = TDateTime::FromDate({2026, 12, 7});
constexpr const char* kShare = "NOTE-KITCHEN-01";

// A view with no form behind it: every call in order (the records' steps counted apart), and
// for every box whether the wait animation was running when it came up.
class RecordingView final : public ExportRunView, public Dialogs {
 public:
  void Progress(int position, int max) override {
    Note("progress " + std::to_string(position) + "/" + std::to_string(max));
  }
  void StepProgress() override { ++steps; }
  void ClearProgress() override { Note("clear"); }
  void Status(std::string_view text) override { Note("status " + std::string(text)); }
  void Refresh() override { Note("refresh"); }
  void ToFront() override { Note("front"); }
  void FocusDevice() override { Note("focus"); }
  TMessages& Messages() override { return messages; }
  Dialogs& Boxes() override { return *this; }
  BusyView& Busy() override { return busy; }

  int MessageDlg(std::string_view text, TMsgDlgType kind, TMsgDlgButtons buttons) override {
    Box(text);
    return shown.MessageDlg(text, kind, buttons);
  }
  int Alert(std::string_view text, TMsgDlgType kind, const std::vector<std::string>& captions,
            const std::vector<int>& settings) override {
    Box(text);
    return shown.Alert(text, kind, captions, settings);
  }
  void ErrorBox(std::string_view text) override {
    Box(text);
    shown.ErrorBox(text);
  }
  std::optional<std::vector<int>> PickList(const PickRequest& request) override { return shown.PickList(request); }

  std::vector<std::string> calls;
  int steps = 0;
  std::map<std::string, bool> animatingUnder;  // box text -> animation running
  ScriptedDialogs shown;
  RecordingBusyView busy;
  TMessages messages{ExpDadosMessageLines(), *this};

 private:
  void Note(std::string call) { calls.push_back(std::move(call)); }
  void Box(std::string_view text) { animatingUnder[std::string(text)] = busy.Animating(); }
};

class ExportRunWithoutAForm : public ::testing::Test {
 protected:
  ExportRunWithoutAForm() {
    server_ = testing_server::StartDemoServer(data_, kToday);
    for (const char* d : {"c/Palm/Kve/Exp", "c/Palm/Kve/Bin", "c/Orvanta/Bin/Client", "hotsync/Palm 01"})
      fs::create_directories(tmp_ / d);
    fs::create_directories(tmp_ / "shares" / kShare / "Orvanta Web");
    for (const char* prc : {"KVE.prc", "Relaybox.prc"}) testing::WriteBytes(tmp_ / "c/Palm/Kve/Bin" / prc, prc);
    for (const auto& f : eeepc::DeployedFiles())
      testing::WriteBytes(tmp_ / "c/Orvanta/Bin/Client" / std::string(f.file), testing::PeImage(4, 2, 0, 7));
    registry_.Set(eeepc::kInstallKey, eeepc::kInstallValue, "C:\\Orvanta");

    PathMapping m;
    m.drives = {{'C', tmp_ / "c"}};
    m.shares = tmp_ / "shares";
    posix_ = NewPosixFileSystem(m);
    files_ = std::make_unique<ErrorFileSystem>(*posix_);
    aide_ = NewFolderInstallAide(tmp_ / "hotsync", *files_);
    maker::HostConfig c = maker::DefaultConfig("unused");
    c.branch = demo::kDemoCentral;
    c.operator_code = demo::kDemoNutritionist;
    c.product_mask = std::string(demo::kDemoProductMask) + ";0;_";
    maker_ = std::make_unique<maker::Services>(c);
    scope_ = std::make_unique<maker::ServicesScope>(*maker_);
    link_ = NewNetServerLink();
    link_->SetHost("127.0.0.1");
    link_->SetPort(server_->Port());
    link_->SetConnected(true);
  }

  ExportOrder Order(bool palm) {
    ExportOrder o;
    o.palm = palm;
    o.central = demo::kDemoCentral;
    o.device = palm ? "001" : "002";
    o.deviceName = palm ? "Palm 01" : kShare;
    o.cardIni = o.soliCompIni = o.afIni = TDateTime::FromDate({2026, 11, 1});
    o.cardFim = o.soliCompFim = o.afFim = TDateTime::FromDate({2026, 12, 31});
    o.activeOnly = true;
    o.dirExp = palm ? "C:\\Palm\\Kve\\Exp\\" : "";
    o.dirBin = "C:\\Palm\\Kve\\Bin\\";
    return o;
  }
  void Run(ExportOrder& order) {
    ExportRun run({*link_, *files_, registry_, *aide_, nullptr, [this](std::string_view l) { logged_.emplace_back(l); }},
                  view_, tables_, order);
    try {
      run.Run();
    } catch (...) {
      closing_ = run.ClosingMessage();
      throw;
    }
    closing_ = run.ClosingMessage();
  }
  // The device's history on the server, newest first: "kind/error".
  std::vector<std::string> History(const char* device) {
    TClientDataSet rows;
    data_.Open()->Run("SELECT IDHISTPALM, IDERROPALM FROM HISTPALM WHERE CDPALM = '" + std::string(device) +
                          "' ORDER BY NRSEQHISTPALM DESC",
                      {}, &rows);
    std::vector<std::string> out;
    for (rows.First(); !rows.Eof(); rows.Next())
      out.push_back(rows.FieldByName("IDHISTPALM").AsString() + "/" + rows.FieldByName("IDERROPALM").AsString());
    return out;
  }
  size_t FilesIn(const fs::path& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }

  testing::TempFolder tmp_;
  testing_server::ServerDb data_{"sqlite"};
  std::unique_ptr<server::AppServer> server_;
  std::unique_ptr<FileSystem> posix_;
  std::unique_ptr<ErrorFileSystem> files_;
  std::unique_ptr<InstallAide> aide_;
  MemRegistry registry_;
  std::unique_ptr<maker::Services> maker_;
  std::unique_ptr<maker::ServicesScope> scope_;
  std::unique_ptr<ServerLink> link_;
  RecordingView view_;
  exporting::TableSet tables_;
  std::vector<std::string> logged_;
  std::string closing_;
};

TEST_F(ExportRunWithoutAForm, APalmExportIsDeliveredAndShownThroughTheView) {
  ExportOrder order = Order(true);
  Run(order);

  EXPECT_EQ(FilesIn(tmp_ / "c/Palm/Kve/Exp"), 70u);  // 35 XML files, 35 databases
  EXPECT_EQ(FilesIn(tmp_ / "hotsync/Palm 01/Install"), 37u);
  EXPECT_EQ(History("001").front(), "0/0");
  EXPECT_EQ(order.listaAgreg.rfind("_0002_0003", 0), 0u) << order.listaAgreg;  // as the server gave it
  // Each file named as it is written, each database as it is built, the databases' records
  // stepped, then the HotSync notice; the bar ends full.
  ASSERT_GE(view_.calls.size(), 4u);
  EXPECT_EQ(view_.calls[0], "progress 1/35");
  EXPECT_EQ(view_.calls[1], "status EFETCLIE.xml");
  EXPECT_GT(view_.steps, 35);
  const auto named = [&](const std::string& call) {
    return std::find(view_.calls.begin(), view_.calls.end(), call) - view_.calls.begin();
  };
  EXPECT_LT(named("status ITEMAF.xml"), named("status ITEMAF.pdb"));
  EXPECT_LT(named("status ITEMAF.pdb"), named("status PREVRETI.pdb"));
  EXPECT_LT(named("status PREVRETI.pdb"), static_cast<long>(view_.calls.size()));
  const std::string hotsync = view_.messages.Msg("HOTSYNC");
  EXPECT_EQ(std::vector<std::string>(view_.calls.end() - 3, view_.calls.end()),
            (std::vector<std::string>{"status " + hotsync, "refresh", "progress 1/1"}));
  EXPECT_EQ(view_.busy.Calls(), (std::vector<std::string>{"show 6", "hide"}));
  // The closing alert comes once the animation is gone: every branch of the central, 0013
  // without a supply authorisation among them, so the warning.
  EXPECT_EQ(closing_, view_.messages.Msg("BLOQ_AF"));
  ASSERT_EQ(view_.animatingUnder.count(closing_), 1u);
  EXPECT_FALSE(view_.animatingUnder[closing_]);
  EXPECT_TRUE(logged_.empty());
}

// The notice before the eeePC's programs are replaced, and the share's failure, are read with
// the animation out of the way; the failure leaves the view cleared and in front, records
// nothing for an eeePC, and tells support what the share said.
TEST_F(ExportRunWithoutAForm, AnEeePcWhoseShareFailsIsToldOnlyWithTheAnimationStopped) {
  const auto before = History("002");
  files_->FailWritesAfter(200000);  // the share fills up half-way
  ExportOrder order = Order(false);
  EXPECT_THROW(Run(order), EAbort);

  EXPECT_EQ(order.dirExp, "\\\\NOTE-KITCHEN-01\\Orvanta Web\\EeePc\\Kve\\Exp\\");
  const std::string notice = view_.messages.Msg("Aplic_Epc");
  ASSERT_EQ(view_.shown.Errors().size(), 1u);
  const std::string error = view_.shown.Errors()[0];
  EXPECT_EQ(error, OperatorErrorText(IoError("x", ErrorKind::kNoSpace)));
  EXPECT_EQ(view_.shown.Texts(), (std::vector<std::string>{notice, error}));
  EXPECT_FALSE(view_.animatingUnder[notice]);
  EXPECT_FALSE(view_.animatingUnder[error]);
  EXPECT_EQ(view_.busy.Calls(), (std::vector<std::string>{"show 6", "hide", "show 6", "hide"}));
  EXPECT_EQ(std::vector<std::string>(view_.calls.end() - 4, view_.calls.end()),
            (std::vector<std::string>{"clear", "status ", "refresh", "front"}));
  EXPECT_EQ(History("002"), before);
  EXPECT_EQ(closing_, "");
  ASSERT_EQ(logged_.size(), 1u);
  EXPECT_NE(logged_[0].find("No space left on device"), std::string::npos) << logged_[0];
}

}  // namespace
}  // namespace kve

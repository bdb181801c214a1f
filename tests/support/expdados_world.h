#pragma once
// Everything the export screen needs, as test doubles around a real SQLite host database:
// a migrated in-memory database with a few branches, devices and nutritionists, a server link
// that answers from the test, scripted dialogs, an in-memory file system and registry, a
// HotSync install queue in a temporary folder (no users until a test adds them), and the
// host configuration. Header only, so test folders that do not use it need no link.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "screen/frm_exp_dados.h"
#include "platform/common/error.h"
#include "platform/db/migrate.h"
#include "platform/maker/config.h"
#include "support/scripted_dialogs.h"
#include "support/recording_install_aide.h"
#include "support/temp_folder.h"
#include "support/mem_fs.h"

namespace kve::testing {

// The application server as the screen sees it: records every connect and call, answers
// calls through `answer` (an error when unset).
class FakeServerLink final : public ServerLink {
 public:
  struct CallRecord {
    std::string method;
    std::vector<std::string> args;  // by-value and by-reference texts; dates as dd/mm/yyyy
  };

  void SetHost(std::string h) override { host = std::move(h); }
  void SetPort(int p) override { port = p; }
  bool Connected() const override { return connected; }
  void SetConnected(bool on) override {
    if (!on) {
      connected = false;
      return;
    }
    if (OnBeforeConnect) OnBeforeConnect();
    ++connects;
    if (refuse) throw Error(host + ":" + std::to_string(port) + ": connection refused");
    connected = true;
  }
  RemoteValue Call(const std::string& method, std::vector<RemoteArg>& args) override {
    CallRecord rec{method, {}};
    for (const RemoteArg& a : args) {
      switch (a.kind) {
        case RemoteArg::Kind::Text: rec.args.push_back(a.text); break;
        case RemoteArg::Kind::TextByRef: rec.args.push_back(*a.ref); break;
        case RemoteArg::Kind::Date: rec.args.push_back(FormatDate(a.date)); break;
      }
    }
    calls.push_back(rec);
    if (!connected) throw Error(method + ": not connected");
    if (!answer) throw Error(method + ": the test gave no answer");
    return answer(method, args);
  }

  std::string host;
  int port = 0;
  bool connected = false;
  bool refuse = false;
  int connects = 0;
  std::vector<CallRecord> calls;
  std::function<RemoteValue(const std::string&, std::vector<RemoteArg>&)> answer;
};

// One table image of string columns, as the server sends it.
inline RemoteValue TablePacket(const std::vector<std::pair<std::string, int>>& columns,
                               const std::vector<std::vector<std::string>>& rows) {
  TClientDataSet ds("PACKET");
  for (const auto& [name, size] : columns) ds.FieldDefs().push_back(StringField(name, size));
  ds.CreateDataSet();
  for (const auto& row : rows) {
    ds.Append();
    for (size_t i = 0; i < row.size(); ++i) ds.Fields(static_cast<int>(i)).SetAsString(row[i]);
    ds.Post();
  }
  ds.MergeChangeLog();
  RemoteValue v;
  v.value = ds.Data();
  v.isPacket = true;
  return v;
}

inline RemoteValue TextAnswer(std::string text) {
  RemoteValue v;
  v.value = std::move(text);
  return v;
}

// Branches: 0001 and 0005 are centrals; 0002 and 0003 belong to 0001, 0006 to 0005; 0004
// belongs to none; 0007 carries a lower-case flag; 0008 points to a central missing from the
// table. Devices of 0001: Palm 001, eeePCs 002 and 003 (a name that is no computer name);
// of 0005: eeePC 004. Nutritionists 10 (branch 0002, works for 0002), 20 (branch 0003) and
// 30 (branch 0006 of the other central).
inline constexpr const char* kSeedSql = R"(
INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDFILCENTKVE, CDFILCENTKVE) VALUES
  ('0001', 'CENTRAL NORTE', 'S', NULL),
  ('0002', 'ESCOLA AURORA', 'N', '0001'),
  ('0003', 'ESCOLA BOSQUE', 'N', '0001'),
  ('0004', 'ESCOLA AVULSA', 'N', NULL),
  ('0005', 'CENTRAL SUL', 'S', NULL),
  ('0006', 'ESCOLA CAMPO', 'N', '0005'),
  ('0007', 'FILIAL MINUSCULA', 's', NULL),
  ('0008', 'ESCOLA ORFA', 'N', '0009');
INSERT INTO PALM (CDFILIAL, CDPALM, NMPALM, IDTPPERIFEXPKVE) VALUES
  ('0001', '001', 'PALM 01', '1'),
  ('0001', '002', 'NOTE-KITCHEN-01', '2'),
  ('0001', '003', '..\EVIL', '2'),
  ('0005', '004', 'NOTE-SUL', '2');
INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR) VALUES
  ('000000000010', 'MARIA NUTRI'),
  ('000000000020', 'JOAO NUTRI'),
  ('000000000030', 'ANA DO SUL');
INSERT INTO NUTRICIO (CDNUTRICIO, CDFILIAL) VALUES
  ('000000000010', '0002'),
  ('000000000020', '0003'),
  ('000000000020', '0002'),
  ('000000000030', '0006');
INSERT INTO FILIOPER (CDFILIAL, CDOPERADOR) VALUES ('0002', '000000000010');
)";

inline maker::HostConfig WorldConfig(const std::string& branch) {
  maker::HostConfig c = maker::DefaultConfig("unused");
  c.branch = branch;
  c.server_host = "10.1.2.3";
  c.server_port = 8299;
  return c;
}

inline const char* kWebCliKey = "Software\\ORVANTA\\Sistemas Integrados Orvanta\\WebCli";

struct ExpDadosWorld {
  explicit ExpDadosWorld(const std::string& branch = "0001")
      : db(Database::Open("sqlite::memory:")),
        files(NewMemFileSystem()),
        folderAide(NewFolderInstallAide(hotsync.path(), *files)),
        installAide(*folderAide),
        maker(WorldConfig(branch)),
        scope(maker),
        services{*db, server, dialogs, *files, registry, busy, installAide,
                 [this](const std::vector<std::string>& t) { refreshed.push_back(t); },
                 [this](std::string_view line) { logged.emplace_back(line); }} {
    MigrateDatabase(*db);
    db->ExecuteScript(kSeedSql);
    registry.Set(kWebCliKey, "PALMDir", "C:\\Palm");
  }

  std::unique_ptr<Database> db;
  FakeServerLink server;
  ScriptedDialogs dialogs;
  std::unique_ptr<FileSystem> files;
  MemRegistry registry;
  RecordingBusyView busy;
  TempFolder hotsync;  // the queue's root: <hotsync>/<user>/Install/
  std::unique_ptr<InstallAide> folderAide;
  RecordingInstallAide installAide;
  std::vector<std::vector<std::string>> refreshed;
  std::vector<std::string> logged;  // the screen's log lines
  maker::Services maker;
  maker::ServicesScope scope;
  ExpDadosServices services;
};

// A screen after a successful start-up for central 0001.
struct OpenScreen : ExpDadosWorld {
  OpenScreen() : screen(services) {
    screen.FormCreate();
    dialogs.Clear();
  }
  TfrmExpDados screen;
};

}  // namespace kve::testing

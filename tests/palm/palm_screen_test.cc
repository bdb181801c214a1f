// The Palm code field and the HotSync queue as the operator meets them: the real SQLite host
// database of the world, and a real queue folder in a temporary directory.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "catalogue/catalogue.h"
#include "palm/hotsync_queue.h"
#include "support/expdados_world.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;
using Strings = std::vector<std::string>;

const std::string kLongName = "PALM DA COZINHA CENTRAL NORTE 0001";  // 34 characters
const std::string kAccented = "COZINHA DE SÃO JOÃO DO NORTE 01";  // 31 characters, 33 bytes

// Central 0001 also has Palm 007, Palm 008 whose name is too long for a HotSync user, and
// Palm 009 whose name is just short enough.
struct PalmScreen : testing::OpenScreen {
  PalmScreen() {
    db->ExecuteScript("INSERT INTO PALM (CDFILIAL, CDPALM, NMPALM, IDTPPERIFEXPKVE) VALUES "
                      "('0001', '007', 'PALM 07', '1'), ('0001', '008', '" + kLongName + "', '1'), "
                      "('0001', '009', '" + kAccented + "', '1');");
  }
  void AddUsers(const Strings& names) {
    for (const std::string& n : names) stdfs::create_directories(hotsync / n / "Install");
  }
  Strings Queued(const std::string& user) const {
    Strings names;
    for (const auto& e : stdfs::directory_iterator(hotsync / user / "Install"))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  // The export button's use of the check.
  bool CheckForExport() {
    return screen.RunEvent([this] { screen.Vd_Palm(true, true); });
  }
};

class PalmSelection : public PalmScreen, public ::testing::Test {};

TEST_F(PalmSelection, PickingFromTheListFillsCodeAndNameOfThisCentralsPalms) {
  dialogs.Pick({1});
  EXPECT_TRUE(screen.UserClick(screen.btnPalm));
  ASSERT_EQ(dialogs.Shown().size(), 1u);
  EXPECT_EQ(dialogs.Shown()[0].pick.title, "Palm");
  EXPECT_EQ(dialogs.Shown()[0].pick.rows,
            (std::vector<Strings>{{"001", "PALM 01"}, {"007", "PALM 07"}, {"008", kLongName},
                                  {"009", kAccented}}));
  EXPECT_EQ(screen.medCdPalm.Text(), "007");
  EXPECT_EQ(screen.edtNmPalm.Text(), "PALM 07");
}

TEST_F(PalmSelection, LeavingTheCodeWidensItAndNamesThePalmWithoutAskingForHotSyncUsers) {
  struct Case {
    const char* typed;
    const char* code;
    const char* name;
    Strings errors;
  } cases[] = {
      {"7", "007", "PALM 07", {}},
      {"001", "001", "PALM 01", {}},
      {"2", "002", "", {"Palm não cadastrado."}},  // an eeePC of this central
      {"4", "004", "", {"Palm não cadastrado."}},  // an eeePC of another central
      {"6", "006", "", {"Palm não cadastrado."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    dialogs.Clear();
    screen.medCdPalm.SetText("");
    screen.UserType(screen.medCdPalm, c.typed);
    EXPECT_EQ(screen.UserTab(), c.errors.empty());
    EXPECT_EQ(screen.medCdPalm.Text(), c.code);
    EXPECT_EQ(screen.edtNmPalm.Text(), c.name);
    EXPECT_EQ(dialogs.Errors(), c.errors);
    if (!c.errors.empty()) {
      EXPECT_EQ(screen.ActiveControl(), &screen.medCdPalm);
    }
  }
  screen.UserType(screen.medCdPalm, "1");  // any edit drops the name until the next check
  EXPECT_EQ(screen.edtNmPalm.Text(), "");
  EXPECT_TRUE(installAide.calls.empty());
}

TEST_F(PalmSelection, AnEmptyCodePassesOnLeavingButNotAtExport) {
  screen.UserFocus(screen.medCdPalm);
  EXPECT_TRUE(screen.UserTab());
  EXPECT_TRUE(dialogs.Shown().empty());

  EXPECT_FALSE(CheckForExport());
  EXPECT_EQ(dialogs.Errors(), Strings{"Palm deve ser informado."});
  EXPECT_EQ(screen.ActiveControl(), &screen.medCdPalm);
}

TEST(PalmAtExport, ThePalmsNameMustBeAHotSyncUserExactly) {
  struct Case {
    const char* code;
    Strings users;
    bool passes;
  } cases[] = {
      {"1", {}, false},                        // no HotSync user at all
      {"1", {"palm 01"}, false},               // letter case differs
      {"1", {"PALM 01 "}, false},
      {"1", {"A", "PALM 01", "palm 01"}, true},
      {"8", {kLongName}, false},               // read back cut to 31 characters
      {"9", {kAccented}, true},                // 31 characters in more bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.code) + " with " + std::to_string(c.users.size()) + " users");
    PalmScreen w;
    w.AddUsers(c.users);
    w.screen.medCdPalm.SetText(c.code);
    EXPECT_EQ(w.CheckForExport(), c.passes);
    EXPECT_EQ(w.dialogs.Errors(),
              c.passes ? Strings{} : Strings{"Palm não cadastrado como usuário do HotSync."});
    EXPECT_FALSE(w.screen.edtNmPalm.Text().empty()) << "the name stays shown";
    if (!c.passes) {
      EXPECT_EQ(w.screen.ActiveControl(), &w.screen.medCdPalm);
      // Every user was read, each with three calls.
      EXPECT_EQ(w.installAide.CallsOf("PltGetUser").size(), 3 * c.users.size());
    }
  }
}

// Entries another program queued (kve-export beside the screen) stay when a screen that
// exported nothing closes: no removal is even asked for, and the operator is told nothing.
// The screen's own export is withdrawn on close (export_end_to_end_test).
TEST(HotSyncClose, ClosingAScreenThatQueuedNothingKeepsEveryQueue) {
  PalmScreen w;
  w.AddUsers({"PALM 01", "OUTRO"});
  testing::WriteBytes(w.hotsync / "OUTRO" / "Install" / "OUTRO.pdb", "not ours");
  w.screen.DirExp = "C:\\Palm\\Kve\\Exp\\";
  w.screen.DirBin = "C:\\Palm\\Bin\\";
  for (const char* dir : {"C:\\Palm", "C:\\Palm\\Kve", "C:\\Palm\\Kve\\Exp", "C:\\Palm\\Bin"})
    w.files->CreateDir(dir);
  const Strings paths = exporting::PalmQueuePaths(w.screen.DirExp, w.screen.DirBin);
  for (const std::string& p : paths) w.files->WriteFile(p, "bytes of " + p);
  ASSERT_TRUE(palm::ReplaceEntries(w.installAide, "PALM 01", paths, w.services.log).empty());
  EXPECT_EQ(w.Queued("PALM 01").size(), 37u);

  w.installAide.calls.clear();
  w.screen.Close();
  EXPECT_TRUE(w.installAide.CallsOf("PltRemoveInstallFile").empty());
  EXPECT_EQ(w.Queued("PALM 01").size(), 37u);
  EXPECT_EQ(w.Queued("OUTRO"), Strings{"OUTRO.pdb"});
  EXPECT_TRUE(w.dialogs.Shown().empty());
  EXPECT_TRUE(w.logged.empty());
}

}  // namespace
}  // namespace kve

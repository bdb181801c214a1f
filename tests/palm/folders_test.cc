#include <gtest/gtest.h>

#include "palm/export_folders.h"
#include "support/expdados_world.h"

namespace kve {
namespace {

using testing::OpenScreen;

TEST(PalmFolders, ABaseWithOrWithoutItsFinalBackslashGivesTheSameFolders) {
  for (const char* base : {"C:\\Palm", "C:\\Palm\\"}) {
    SCOPED_TRACE(base);
    palm::PalmFolders f = palm::ResolvePalmFolders(base);
    EXPECT_EQ(f.display, "C:\\Palm\\Kve\\Exp");
    EXPECT_EQ(f.dirExp, "C:\\Palm\\Kve\\Exp\\");
    EXPECT_EQ(f.dirBin, "C:\\Palm\\Kve\\Bin\\");
    EXPECT_EQ(f.required[0], "C:\\Palm\\Kve");
  }
  EXPECT_EQ(palm::ResolvePalmFolders("").display, "\\Kve\\Exp");
}

class ExportFolders : public OpenScreen, public ::testing::Test {
 protected:
  void MakeDirs(std::initializer_list<const char*> dirs) {
    for (const char* d : dirs) files->CreateDir(d);
  }
  // The export button's use: checking on, the failure abandoning the click.
  bool CheckForExport() {
    return screen.RunEvent([this] { screen.Vd_Diretorios(true); });
  }
};

TEST_F(ExportFolders, AMissingRegistryValueShowsTheRootOfTheCurrentDrive) {
  MemRegistry empty;
  ExpDadosServices other{*db, server, dialogs, *files, empty, busy, installAide, {}};
  TfrmExpDados s2(other);
  s2.Vd_Diretorios(false);
  EXPECT_EQ(s2.medDiretorios.Text(), "\\Kve\\Exp");
}

TEST_F(ExportFolders, WithoutAPalmCodeOnlyTheDisplayChanges) {
  screen.DirExp = "previous\\";
  registry.Set(testing::kWebCliKey, "PALMDir", "D:\\Outro\\");
  EXPECT_TRUE(CheckForExport());
  EXPECT_EQ(screen.medDiretorios.Text(), "D:\\Outro\\Kve\\Exp");
  EXPECT_EQ(screen.DirExp, "previous\\");
  EXPECT_TRUE(dialogs.Shown().empty());
}

TEST_F(ExportFolders, OnlyTheFirstMissingFolderIsReportedAndNothingIsCreated) {
  screen.medCdPalm.SetText("001");
  EXPECT_FALSE(CheckForExport());
  EXPECT_EQ(dialogs.Errors(), (std::vector<std::string>{"Diretório C:\\Palm\\Kve não encontrado."}));
  EXPECT_FALSE(files->DirectoryExists("C:\\Palm\\Kve"));
  // The folders are taken before they are checked.
  EXPECT_EQ(screen.DirExp, "C:\\Palm\\Kve\\Exp\\");
  EXPECT_EQ(screen.DirBin, "C:\\Palm\\Kve\\Bin\\");

  dialogs.Clear();
  MakeDirs({"C:\\Palm", "C:\\Palm\\Kve", "C:\\Palm\\Kve\\Bin"});
  EXPECT_FALSE(CheckForExport());
  EXPECT_EQ(dialogs.Errors(),
            (std::vector<std::string>{"Diretório C:\\Palm\\Kve\\Exp não encontrado."}));
}

TEST_F(ExportFolders, WhenAllFoldersExistTheExportFolderIsListed) {
  MakeDirs({"C:\\Palm", "C:\\Palm\\Kve", "C:\\Palm\\Kve\\Exp", "C:\\Palm\\Kve\\Bin"});
  screen.medCdPalm.SetText("001");
  EXPECT_TRUE(CheckForExport());
  EXPECT_TRUE(dialogs.Shown().empty());
  EXPECT_EQ(screen.drlDiretorio.directory, "C:\\Palm\\Kve\\Exp\\");
}

}  // namespace
}  // namespace kve

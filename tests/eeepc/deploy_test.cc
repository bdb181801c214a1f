// The eeePC deployment on an in-memory share: the notice, the workstation's files, the folders
// created on the eeePC and the version rule that decides which files are pushed.
#include <gtest/gtest.h>

#include "eeepc/deployment.h"
#include "platform/common/error.h"
#include "support/expdados_world.h"
#include "support/pe_image.h"

namespace kve {
namespace {

using testing::OpenScreen;
using testing::PeImage;

constexpr const char* kClient = "C:\\Orvanta\\Bin\\Client";
constexpr const char* kShare = "\\\\NOTE-KITCHEN-01\\Orvanta Web";
constexpr const char* kBin = "\\\\NOTE-KITCHEN-01\\Orvanta Web\\EeePc\\Kve\\Bin";

std::string Image(std::string_view version) {
  if (version.empty()) return "a file without a version resource";
  auto v = eeepc::ParseFileVersion(version, "test");
  return PeImage(static_cast<uint16_t>(v[0]), static_cast<uint16_t>(v[1]),
                 static_cast<uint16_t>(v[2]), static_cast<uint16_t>(v[3]));
}

class EpcDeployment : public OpenScreen, public ::testing::Test {
 protected:
  EpcDeployment() {
    registry.Set("Software\\ORVANTA\\Sistemas Integrados Orvanta", "UninstallPath", "C:\\Orvanta");
    for (const char* d : {"C:\\Orvanta", "C:\\Orvanta\\Bin", kClient}) files->CreateDir(d);
    for (const auto& f : eeepc::DeployedFiles()) Workstation(f.file, "4.2.0.7");
    files->CreateDir(kShare);
    screen.UserClick(screen.rbtEPc);
    screen.UserType(screen.medCdEPc, "2");
    screen.UserTab();
    dialogs.Clear();
  }
  void Workstation(std::string_view file, std::string_view version) {
    files->WriteFile(std::string(kClient) + "\\" + std::string(file), Image(version));
  }
  bool Run() { return screen.RunEvent([this] { screen.Vd_DiretoriosEPc(); }); }
};

TEST_F(EpcDeployment, AFreshEeePcGetsItsFoldersAndEveryFileAfterTheNotice) {
  const size_t before = busy.Calls().size();
  ASSERT_TRUE(Run());
  EXPECT_EQ(screen.DirExp, "\\\\NOTE-KITCHEN-01\\Orvanta Web\\EeePc\\Kve\\Exp\\");
  EXPECT_TRUE(files->DirectoryExists(screen.DirExp));
  for (const auto& f : eeepc::DeployedFiles())
    EXPECT_EQ(GetFileVersion(*files, std::string(kBin) + "\\" + std::string(f.file)), "4.2.0.7");
  ASSERT_EQ(dialogs.Texts().size(), 1u);
  EXPECT_EQ(dialogs.Shown()[0].type, TMsgDlgType::mtInformation);
  EXPECT_EQ(dialogs.Texts()[0],
            "Antes de realizar a exportação encerre os aplicativos Orvanta no eeePc de destino.");
  EXPECT_EQ(std::vector<std::string>(busy.Calls().begin() + before, busy.Calls().end()),
            (std::vector<std::string>{"hide", "show 6"}));
}

// Field-by-field comparison; a workstation copy without a version still reaches an eeePC
// that lacks the file, since the client cannot start without it.
TEST_F(EpcDeployment, OnlyMissingOrNewerFilesArePushed) {
  struct Case {
    const char* source;
    std::optional<const char*> onEpc;
    bool copied;
  } cases[] = {
      {"4.2.0.7", std::nullopt, true},
      {"4.2.0.7", "4.2.0.7", false},
      {"1.9.0.10", "1.10.0.0", false},
      {"1.10.0.0", "1.9.0.10", true},
      {"10.20.300.4000", "10.20.300.3999", true},
      {"", std::nullopt, true},
      {"", "1.0.0.0", false},
      {"2.0.0.0", "", true},
  };
  for (const auto& f : {std::string(kShare) + "\\EeePc", std::string(kShare) + "\\EeePc\\Kve", std::string(kBin)})
    files->CreateDir(f);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " over " + (c.onEpc ? *c.onEpc : "nothing"));
    const std::string epcFile = std::string(kBin) + "\\_kor.bpl";
    files->DeleteFile(epcFile);
    if (c.onEpc) files->WriteFile(epcFile, Image(*c.onEpc) + "eeePC");
    Workstation("_kor.bpl", c.source);
    ASSERT_TRUE(Run());
    const std::string now = files->ReadFile(epcFile);
    EXPECT_EQ(now == Image(c.source), c.copied);
  }
}

TEST_F(EpcDeployment, AVersionThatIsNotFourNumbersIsAnErrorNamingTheFile) {
  for (const char* text : {"1.2.3", "1.2.3.4.5", "1..2.3", "a.b.c.d", "1.2.3.4294967296", " 1.2.3.4"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(
        try { eeepc::ParseFileVersion(text, "C:\\x\\RDL.exe"); } catch (const ValueError& e) {
          EXPECT_EQ(std::string(e.what()).rfind("C:\\x\\RDL.exe: version", 0), 0u);
          throw;
        },
        ValueError);
  }
  EXPECT_EQ(eeepc::ParseFileVersion("4294967295.0.0.1", "f"), (eeepc::FileVersionNumber{4294967295u, 0, 0, 1}));
}

TEST_F(EpcDeployment, EachFailureShowsItsMessageAndStopsTheDeployment) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string error;
    bool noticeShown;
  } cases[] = {
      {"eeePC unreachable", [this] { screen.edtNmEPC.SetText("NOTE-GONE"); },
       "Operação bloqueada. O diretório \\\\NOTE-GONE\\Orvanta Web não está compartilhado, ou não está com permissão de alteração.",
       false},
      {"no installation folder",
       [this] { registry.Set("Software\\ORVANTA\\Sistemas Integrados Orvanta", "UninstallPath", ""); },
       "Operação bloqueada. O diretório de executáveis  da Orvanta não foi encontrado.", true},
      {"a runtime file missing", [this] { files->DeleteFile(std::string(kClient) + "\\_kor.bpl"); },
       "Operação bloqueada. O arquivo _kor.bpl  não foi encontrado no diretório C:\\Orvanta\\Bin\\Client. ", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    dialogs.Clear();
    screen.DirExp = "unchanged";
    EXPECT_FALSE(Run());
    EXPECT_EQ(dialogs.Errors(), std::vector<std::string>{c.error});
    EXPECT_EQ(dialogs.Texts().size(), c.noticeShown ? 2u : 1u);
    EXPECT_EQ(screen.DirExp, "unchanged");
    EXPECT_FALSE(files->DirectoryExists(std::string(kShare) + "\\EeePc"));
    // Put back what the case took away.
    screen.edtNmEPC.SetText("NOTE-KITCHEN-01");
    registry.Set("Software\\ORVANTA\\Sistemas Integrados Orvanta", "UninstallPath", "C:\\Orvanta");
    Workstation("_kor.bpl", "4.2.0.7");
  }
}

}  // namespace
}  // namespace kve

// The host's module list with the real screen package: loading registers it (with its
// resource module when one lies beside it), unloading unregisters it and releases that, and
// a second load registers it again. The "Módulos" menu follows the list.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "module_list.h"
#include "host_window.h"
#include "screen_package.h"
#include "support/scripted_dialogs.h"
#include "support/temp_folder.h"

namespace kve::host_app {
namespace {

namespace fs = std::filesystem;

// The package copied into a folder of the test's own, where a resource module may be put.
class HostModules : public ::testing::Test {
 protected:
  void SetUp() override {
    package_ = tmp_ / "libkve07000.so";
    fs::copy_file(KVE_PACKAGE_FILE, package_);
    ModuleList::Host().SetLanguage("POR");
  }
  testing::TempFolder tmp_;
  fs::path package_;
};

TEST_F(HostModules, LoadRegistersUnloadUnregistersAndASecondLoadRegistersAgain) {
  testing::WriteBytes(fs::path(package_.string() + ".POR"), "resources");
  const ModuleList& list = ModuleList::Host();
  for (int load = 1; load <= 2; ++load) {
    SCOPED_TRACE(load);
    {
      ScreenPackage package(package_.string());
      ASSERT_EQ(list.Entries().size(), 1u);
      const ModuleList::Entry& e = list.Entries()[0];
      EXPECT_STREQ(e.module->name, "Pkg_kve07000");
      EXPECT_EQ(fs::path(e.module->file), package_);
      EXPECT_EQ(e.resourceFile, package_.string() + ".POR");
    }
    EXPECT_TRUE(list.Entries().empty());
  }
  // Without a resource module for the host's language the package registers all the same.
  ModuleList::Host().SetLanguage("ESP");
  ScreenPackage package(package_.string());
  ASSERT_EQ(list.Entries().size(), 1u);
  EXPECT_EQ(list.Entries()[0].resourceFile, "");
}

TEST_F(HostModules, TheModulesMenuListsWhatIsRegistered) {
  ScriptedDialogs dialogs;
  ScreenPackage package(package_.string());
  HostWindow window(package, dialogs);
  auto texts = [&] {
    std::vector<QString> out;
    for (QAction* a : window.menuBar()->actions()[0]->menu()->actions())
      if (!a->isSeparator()) out.push_back(a->text());
    return out;
  };
  EXPECT_EQ(texts(), (std::vector<QString>{QString::fromUtf8("&Exportação de Dados (KVE07000)"), "&Sair"}));
  package.Finalize();
  EXPECT_EQ(texts(), std::vector<QString>{"&Sair"});
}

}  // namespace
}  // namespace kve::host_app

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

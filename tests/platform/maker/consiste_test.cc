#include "platform/maker/consiste.h"

#include <gtest/gtest.h>

#include "platform/common/error.h"
#include "platform/maker/showavi.h"
#include "platform/ui/busy.h"
#include "platform/ui/form.h"
#include "support/scripted_dialogs.h"

namespace kve {
namespace {

TEST(MensErro, WithAbortShowsOneMessageAndTheLaterChecksDoNotRun) {
  ScriptedDialogs d;
  TForm form("frm", d);
  std::vector<std::string> ran;
  bool cleanedUp = false;
  auto check = [&](const std::string& name, bool fails) {
    ran.push_back(name);
    if (fails) Consiste::MensErro(d, name + " falhou.", true);
  };
  bool completed = form.RunEvent([&] {
    struct CleanUp {
      bool& flag;
      ~CleanUp() { flag = true; }
    } cleanUp{cleanedUp};
    check("datas", false);
    check("palm", true);
    check("nutricionista", true);
  });
  EXPECT_FALSE(completed);
  EXPECT_TRUE(cleanedUp);
  EXPECT_EQ(ran, (std::vector<std::string>{"datas", "palm"}));
  EXPECT_EQ(d.Texts(), std::vector<std::string>{"palm falhou."});  // the abort adds no box
}

TEST(MensErro, WithoutAbortOnlyShowsAndReturns) {
  ScriptedDialogs d;
  EXPECT_NO_THROW(Consiste::MensErro(d, "Filial não está ligada a uma central.", false));
  EXPECT_EQ(d.Errors().size(), 1u);
}

TEST(EmptyString, CountsBlanksAndTheEmptyDatePictureAsEmpty) {
  EXPECT_TRUE(Consiste::EmptyString(""));
  EXPECT_TRUE(Consiste::EmptyString("   "));
  EXPECT_TRUE(Consiste::EmptyString("  /  /    "));
  EXPECT_FALSE(Consiste::EmptyString("0"));
  EXPECT_FALSE(Consiste::EmptyString(" 7 "));
  EXPECT_FALSE(Consiste::EmptyString("/"));
  EXPECT_FALSE(Consiste::EmptyString("01/  /    "));
}

TEST(Ajusta, PadsATypedCodeWithZerosToItsColumnWidth) {
  EXPECT_EQ(Consiste::Ajusta("7", 3), "007");
  EXPECT_EQ(Consiste::Ajusta(" 7 ", 3), "007");
  EXPECT_EQ(Consiste::Ajusta("42", 12), "000000000042");
  EXPECT_EQ(Consiste::Ajusta("007", 3), "007");
  EXPECT_EQ(Consiste::Ajusta("1234", 3), "1234");  // never cut
  EXPECT_EQ(Consiste::Ajusta("   ", 3), "");        // nothing typed stays nothing
}

TEST(WaitAnimation, GuardsUndoTheAnimationAndTheCursorWhenAnErrorLeaves) {
  RecordingBusyView view;
  try {
    HourglassCursor cursor(view);
    WaitAnimation wait(view, 6);
    EXPECT_TRUE(view.Animating());
    throw IoError("server down");
  } catch (const IoError&) {
  }
  EXPECT_FALSE(view.Animating());
  EXPECT_EQ(view.Cursor(), TCursor::crDefault);
  EXPECT_EQ(view.Calls(), (std::vector<std::string>{"cursor hourglass", "show 6", "hide",
                                                    "cursor default"}));
}

TEST(WaitAnimation, ShowaviCallsReachTheViewAndHidingTwiceIsHarmless) {
  RecordingBusyView view;
  Showavi::ActiveShowAvi(view, 0);
  EXPECT_EQ(view.AnimationKind(), 0);
  Showavi::DeactiveShowAvi(view);
  Showavi::DeactiveShowAvi(view);
  EXPECT_FALSE(view.Animating());
}

}  // namespace
}  // namespace kve

#include "platform/ui/form.h"

#include <gtest/gtest.h>

#include "platform/common/error.h"
#include "platform/ui/buttons.h"
#include "platform/ui/edits.h"
#include "support/scripted_dialogs.h"

namespace kve {
namespace {

// A small screen: two edits in a group box, one edit outside it, and a label.
struct Screen {
  ScriptedDialogs dialogs;
  TForm form{"frm", dialogs};
  TGroupBox grb{&form, "grb"};
  TEdit a{&grb, "a"};
  TEdit b{&grb, "b"};
  TEdit c{&form, "c"};
  TLabel lbl{&form, "lbl"};
  std::vector<std::string> log;

  Screen() {
    for (TControl* x : std::initializer_list<TControl*>{&grb, &a, &b, &c}) {
      x->OnEnter = [this, x] { log.push_back("enter " + x->Name()); };
      x->OnExit = [this, x] { log.push_back("exit " + x->Name()); };
    }
  }
};

TEST(Focus, LeavingAControlRunsItsExitThenTheNewControlsEnter) {
  Screen s;
  ASSERT_TRUE(s.form.UserFocus(s.a));
  s.log.clear();
  ASSERT_TRUE(s.form.UserFocus(s.b));
  EXPECT_EQ(s.log, (std::vector<std::string>{"exit a", "enter b"}));
  EXPECT_TRUE(s.b.Focused());
}

TEST(Focus, LeavingAGroupRunsTheGroupsExitAfterTheControlsAndEnteringRunsItsEnterFirst) {
  Screen s;
  s.form.UserFocus(s.c);
  s.log.clear();
  s.form.UserFocus(s.a);
  EXPECT_EQ(s.log, (std::vector<std::string>{"exit c", "enter grb", "enter a"}));
  s.log.clear();
  s.form.UserFocus(s.c);
  EXPECT_EQ(s.log, (std::vector<std::string>{"exit a", "exit grb", "enter c"}));
}

TEST(Focus, AnExitThatFailsKeepsTheFocusAndShowsItsErrorOnce) {
  Screen s;
  s.form.UserFocus(s.a);
  s.a.OnExit = [] { throw ValueError("Nutricionista não cadastrado."); };
  EXPECT_FALSE(s.form.UserFocus(s.c));
  EXPECT_TRUE(s.a.Focused());
  EXPECT_EQ(s.dialogs.Errors(), std::vector<std::string>{"Nutricionista não cadastrado."});
}

TEST(Focus, AnEditRefusedToBeLeftHasItsTextSelectedSoTheNextCodeReplacesIt) {
  for (bool refocuses : {false, true}) {
    Screen s;
    s.a.SetMaxLength(3);
    s.form.UserType(s.a, "999");
    ASSERT_FALSE(s.a.Selected());
    s.a.OnExit = [&] {
      if (refocuses) s.a.SetFocus();
      throw EAbort();
    };
    EXPECT_FALSE(s.form.UserFocus(s.c));
    EXPECT_TRUE(s.a.Selected()) << refocuses;
    s.form.UserType(s.a, "12");  // the field is full: only a selection lets these in
    EXPECT_EQ(s.a.Text(), "12") << refocuses;
  }
}

TEST(Focus, AGroupExitThatFailsKeepsTheFocusInsideTheGroup) {
  Screen s;
  s.form.UserFocus(s.b);
  s.grb.OnExit = [] { throw EAbort(); };
  EXPECT_FALSE(s.form.UserFocus(s.c));
  EXPECT_TRUE(s.b.Focused());
  EXPECT_TRUE(s.dialogs.Shown().empty());  // an abort is silent
}

TEST(Focus, AnExitThatMovesTheFocusItselfWinsOverTheMoveItInterrupted) {
  Screen s;
  s.form.UserFocus(s.a);
  s.a.OnExit = [&] { s.b.SetFocus(); };
  s.form.UserFocus(s.c);
  EXPECT_TRUE(s.b.Focused());
}

TEST(Focus, AnExitThatRefocusesItsOwnControlAndAbortsLeavesTheFocusThere) {
  Screen s;
  s.form.UserFocus(s.a);
  s.a.OnExit = [&] {
    s.a.SetFocus();
    throw EAbort();
  };
  s.form.UserFocus(s.c);
  EXPECT_TRUE(s.a.Focused());
}

TEST(Focus, DisabledHiddenAndNonFocusableControlsRefuseTheFocus) {
  Screen s;
  s.grb.SetEnabled(false);  // disables what it holds
  EXPECT_THROW(s.a.SetFocus(), Error);
  s.c.SetVisible(false);
  EXPECT_THROW(s.c.SetFocus(), Error);
  EXPECT_THROW(s.lbl.SetFocus(), Error);
  EXPECT_EQ(s.form.ActiveControl(), nullptr);
}

TEST(Focus, TabFollowsKeyboardOrderAcrossContainersAndSkipsDisabledControls) {
  Screen s;
  s.c.SetTabOrder(0);  // before the group now
  s.b.SetEnabled(false);
  s.form.UserTab();
  EXPECT_TRUE(s.c.Focused());
  s.form.UserTab();
  EXPECT_TRUE(s.a.Focused());
  s.form.UserTab();
  EXPECT_TRUE(s.c.Focused());  // wraps round, b skipped
}

TEST(RunEvent, SwallowsAnAbortAndShowsAnyOtherErrorWithItsOwnText) {
  ScriptedDialogs d;
  TForm f("frm", d);
  EXPECT_FALSE(f.RunEvent([] { throw EAbort(); }));
  EXPECT_FALSE(f.RunEvent([] { throw IoError("C:\\Palm: cannot read"); }));
  EXPECT_TRUE(f.RunEvent([] {}));
  EXPECT_EQ(d.Errors(), std::vector<std::string>{"C:\\Palm: cannot read"});
}

TEST(Click, AFocusableControlTakesTheFocusFirstAndAFailedExitCancelsTheClick) {
  Screen s;
  TCheckBox chk(&s.form, "chk");
  int clicks = 0;
  chk.OnClick = [&] { ++clicks; };
  s.form.UserFocus(s.a);
  s.a.OnExit = [] { throw EAbort(); };
  s.form.UserClick(chk);
  EXPECT_EQ(clicks, 0);
  EXPECT_FALSE(chk.Checked());
  s.a.OnExit = nullptr;
  s.form.UserClick(chk);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(chk.Checked());
  EXPECT_TRUE(chk.Focused());
}

TEST(Click, ASpeedButtonLeavesTheFocusedFieldAloneAndADisabledControlIgnoresTheClick) {
  Screen s;
  TSpeedButton sbt(&s.form, "sbt");
  int clicks = 0;
  sbt.OnClick = [&] { ++clicks; };
  s.form.UserFocus(s.a);
  s.log.clear();
  s.form.UserClick(sbt);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(s.a.Focused());
  EXPECT_TRUE(s.log.empty());  // no exit ran
  sbt.SetEnabled(false);
  s.form.UserClick(sbt);
  EXPECT_EQ(clicks, 1);
}

TEST(Buttons, RadioButtonsOfOneParentFormAGroupAndClickOnlyWhenTheyBecomeChecked) {
  ScriptedDialogs d;
  TForm f("frm", d);
  TGroupBox g1(&f, "g1"), g2(&f, "g2");
  TRadioButton todos(&g1, "todos"), lista(&g1, "lista"), other(&g2, "other");
  int clicks = 0;
  todos.OnClick = [&] { ++clicks; };
  lista.OnClick = [&] { ++clicks; };
  todos.SetChecked(true);
  other.SetChecked(true);
  EXPECT_EQ(clicks, 1);
  lista.SetChecked(true);
  EXPECT_FALSE(todos.Checked());
  EXPECT_TRUE(other.Checked());  // another group
  EXPECT_EQ(clicks, 2);
  lista.SetChecked(true);  // already checked: nothing
  f.UserClick(lista);
  EXPECT_EQ(clicks, 2);
}

TEST(Buttons, CheckBoxClicksOnEveryChangeAndProgressBarStaysInItsRange) {
  ScriptedDialogs d;
  TForm f("frm", d);
  TCheckBox chk(&f, "chk");
  int clicks = 0;
  chk.OnClick = [&] { ++clicks; };
  chk.SetChecked(true);
  chk.SetChecked(true);
  chk.SetChecked(false);
  EXPECT_EQ(clicks, 2);
  TProgressBar bar(&f, "bar");
  bar.SetRange(0, 3);
  for (int i = 0; i < 5; ++i) bar.StepIt();
  EXPECT_EQ(bar.Position(), 3);
}

struct CountingObserver : FormObserver {
  int changes = 0;
  TControl* focused = nullptr;
  void ControlChanged(TControl&) override { ++changes; }
  void FocusChanged(TControl* c) override { focused = c; }
};

TEST(Observer, HearsRealPropertyChangesAndFocusMoves) {
  Screen s;
  CountingObserver o;
  s.form.SetObserver(&o);
  s.a.SetColor(clInfoBk);
  s.a.SetColor(clInfoBk);
  s.a.SetText("x");
  EXPECT_EQ(o.changes, 2);
  s.form.UserFocus(s.b);
  EXPECT_EQ(o.focused, &s.b);
}

}  // namespace
}  // namespace kve

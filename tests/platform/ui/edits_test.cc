#include "platform/ui/edits.h"

#include <gtest/gtest.h>

#include "platform/ui/form.h"
#include "support/scripted_dialogs.h"

namespace kve {
namespace {

struct Fixture : ::testing::Test {
  ScriptedDialogs dialogs;
  TForm form{"frm", dialogs};
};

using MaskTyping = Fixture;

TEST_F(MaskTyping, BranchCodeMaskUpperCasesLettersAndStopsAtFourCharacters) {
  TMaskEdit med(&form, "medCdFilial");
  med.SetEditMask(">aaaa;0; ");
  form.UserType(med, "ab-1 c9z");
  EXPECT_EQ(med.Text(), "AB1C");
}

TEST_F(MaskTyping, DigitMasksIgnoreEveryOtherKey) {
  TMaskEdit palm(&form, "medCdPalm"), nutri(&form, "medCdNutricio"), grup(&form, "medAgrupProd");
  palm.SetEditMask("999;0; ");
  nutri.SetEditMask("999999999999;0; ");
  grup.SetEditMask("9999999999;0; ");
  form.UserType(palm, "1a2.3 45");
  EXPECT_EQ(palm.Text(), "123");
  form.UserType(nutri, "12345678901234");
  EXPECT_EQ(nutri.Text(), "123456789012");
  form.UserType(grup, "-7");
  EXPECT_EQ(grup.Text(), "7");
}

TEST_F(MaskTyping, LiteralsAreInsertedAndATypedLiteralIsNotDoubled) {
  TMaskEdit dt(&form, "dt");
  dt.SetEditMask("!99/99/9999;1; ");
  form.UserType(dt, "01022024");
  EXPECT_EQ(dt.Text(), "01/02/2024");
  dt.SetText("");
  form.UserType(dt, "01/02/2024");
  EXPECT_EQ(dt.Text(), "01/02/2024");
}

TEST_F(MaskTyping, BackspaceDeletesTheLastCharacter) {
  TMaskEdit med(&form, "m");
  med.SetEditMask("999;0; ");
  form.UserType(med, "12");
  form.UserKey(med, kBackspace);
  EXPECT_EQ(med.Text(), "1");
}

using Change = Fixture;

TEST_F(Change, RunsOnlyWhenTheTextReallyChanges) {
  TMaskEdit med(&form, "med");
  med.SetEditMask("999;0; ");
  int changes = 0;
  med.OnChange = [&] { ++changes; };
  med.SetText("007");
  med.SetText("007");
  EXPECT_EQ(changes, 1);
  med.SetAutoSelect(false);
  form.UserFocus(med);
  form.UserType(med, "x");  // refused by the mask: no change
  form.UserType(med, "1");  // the mask is full: refused too
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(med.Text(), "007");
}

TEST_F(Change, AKeyPressHandlerCanDropAKeyBeforeTheControlSeesIt) {
  TEdit e(&form, "e");
  e.OnKeyPress = [](char& k) {
    if (k == 'x') k = 0;
  };
  form.UserType(e, "axb");
  EXPECT_EQ(e.Text(), "ab");
}

TEST_F(Change, ASelectedTextIsReplacedByTheFirstKeyTyped) {
  TEdit e(&form, "e"), other(&form, "other");
  e.SetText("0001");
  form.UserFocus(other);
  form.UserType(e, "7");  // entering selects all
  EXPECT_EQ(e.Text(), "7");
  form.UserType(e, "8");  // still focused: appends
  EXPECT_EQ(e.Text(), "78");
}

TEST_F(Change, TypedLengthIsLimitedButTheProgramsTextIsNot) {
  TEdit e(&form, "e");
  e.SetMaxLength(3);
  form.UserType(e, "abcdef");
  EXPECT_EQ(e.Text(), "abc");
  e.SetText("abcdef");
  EXPECT_EQ(e.Text(), "abcdef");
}

using Spin = Fixture;

TEST_F(Spin, TakesDigitsAndSignsOnlyAndReadsABadTextAsTheLowerBound) {
  TSpinEdit sed(&form, "sed");
  form.UserType(sed, "1a-2");
  EXPECT_EQ(sed.Text(), "1-2");
  EXPECT_EQ(sed.Value(), 0);
  sed.SetText("+12");
  EXPECT_EQ(sed.Value(), 12);
}

TEST_F(Spin, WithBothBoundsZeroTheArrowsGoBelowZero) {
  TSpinEdit sed(&form, "sed");
  sed.SetValue(0);
  std::vector<std::string> seen;
  sed.OnChange = [&] { seen.push_back(sed.Text()); };
  form.UserSpin(sed, -1);
  EXPECT_EQ(sed.Text(), "-1");
  form.UserSpin(sed, +3);
  EXPECT_EQ(seen, (std::vector<std::string>{"-1", "2"}));
}

TEST_F(Spin, BoundsHoldTheValueWhenTheyDiffer) {
  TSpinEdit sed(&form, "sed");
  sed.SetBounds(1, 5);
  sed.SetValue(9);
  EXPECT_EQ(sed.Text(), "5");
  sed.Spin(-10);
  EXPECT_EQ(sed.Value(), 1);
}

TEST_F(Spin, AChangeHandlerMayRewriteTheTextWithoutLooping) {
  TSpinEdit sed(&form, "sed");
  sed.SetValue(0);
  int changes = 0;
  sed.OnChange = [&] {
    ++changes;
    if (sed.Text() == "-1") sed.SetText("0");
  };
  form.UserSpin(sed, -1);
  EXPECT_EQ(sed.Text(), "0");
  EXPECT_EQ(changes, 2);
}

}  // namespace
}  // namespace kve

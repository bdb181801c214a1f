#include "platform/ui/mask.h"

#include <gtest/gtest.h>

namespace kve {
namespace {

TEST(FormatMaskText, LaysProductTreeCodesIntoTheTreeMask) {
  const char* mask = "99.99.999.9999;0;_";
  EXPECT_EQ(FormatMaskText(mask, "01020030004"), "01.02.003.0004");
  // an upper level of the tree: unreached positions become spaces, not the blank character
  EXPECT_EQ(FormatMaskText(mask, "0102"), "01.02.   .    ");
  EXPECT_EQ(FormatMaskText(mask, ""), "  .  .   .    ");
}

// Formats answers "is this text what Format gives?" for every kind of mask, never otherwise.
TEST(EditMask, FormatsTellsExactlyTheTextFormatGives) {
  for (const char* m : {"99.99.999.9999;0;_", "999.999.999-99;0;_", "!99.99;0;_", "99/99/9999;1;_", "AA-99", ""}) {
    for (const char* v : {"01020030004", "0102", "", "123456789012345", "1/2/2020", "çã-1", "\xC3"}) {
      const EditMask mask(m);
      const std::string text = mask.Format(v, " ");
      SCOPED_TRACE(std::string(m) + " / " + v);
      EXPECT_TRUE(mask.Formats(v, " ", text));
      for (const std::string& other : {text + "0", text.substr(0, text.size() ? text.size() - 1 : 0),
                                       std::string(text.size(), '#'), " " + text}) {
        if (other == text) continue;
        EXPECT_FALSE(mask.Formats(v, " ", other)) << other;
      }
    }
  }
}

TEST(FormatMaskText, LaysRegistrationNumbersIntoTheirMasks) {
  EXPECT_EQ(FormatMaskText("999.999.999-99;0;_", "12345678901"), "123.456.789-01");
  EXPECT_EQ(FormatMaskText("99.999.999/9999-99;0;_", "12345678000195"), "12.345.678/0001-95");
}

TEST(FormatMaskText, KeepsSurplusCharactersInsteadOfCuttingThem) {
  EXPECT_EQ(FormatMaskText("99.99;0;_", "123456"), "12.3456");
  EXPECT_EQ(FormatMaskText("!99.99;0;_", "123456"), "1234.56");
}

TEST(FormatMaskText, BangLaysTheValueInFromTheRight) {
  EXPECT_EQ(FormatMaskText("!99.99;0;_", "123"), " 1.23");
  EXPECT_EQ(FormatMaskText("!999;0;_", "7"), "  7");
}

TEST(FormatMaskText, ValueWithLiteralsPadsEachGroup) {
  EXPECT_EQ(FormatMaskText("99/99/9999;1;_", "1/2/2020"), "1 /2 /2020");
  EXPECT_EQ(FormatMaskText("99/99/9999;1;_", "01/02/2020"), "01/02/2020");
  EXPECT_EQ(FormatMaskText("!99/99/9999;1;_", "1/2/2020"), " 1/ 2/2020");
  // no literal in the value: it fills the groups position by position
  EXPECT_EQ(FormatMaskText("99.99;1;_", "1234"), "12.34");
  // a missing save flag means the literals are saved
  EXPECT_EQ(FormatMaskText("99-99", "1-2"), "1 -2 ");
}

TEST(FormatMaskText, EscapesAndSpecialLiterals) {
  EXPECT_EQ(FormatMaskText("\\L99;0;_", "12"), "L12");
  EXPECT_EQ(FormatMaskText("99\\;99;0;_", "1234"), "12;34");
  EXPECT_EQ(FormatMaskText("99_99;0;*", "1234"), "12 34");
  EXPECT_EQ(FormatMaskText("99:99;0;_", "1230"), "12:30");
  EXPECT_EQ(FormatMaskText("99º;0;_", "12"), "12º");
  // case markers and classes govern typing, they take no position and change nothing here
  EXPECT_EQ(FormatMaskText(">LL<ll<>cc;0;_", "aBcDeF"), "aBcDeF");
}

TEST(EditMask, ParsesFieldsClassesAndCaseMarkers) {
  EditMask m(">L<l<>A!a\\C;0;*");
  EXPECT_FALSE(m.SaveLiterals());
  EXPECT_EQ(m.Blank(), "*");
  EXPECT_TRUE(m.LeadingBlanks());
  ASSERT_EQ(m.Positions().size(), 5u);
  EXPECT_EQ(m.Positions()[0].cls, MaskClass::Letter);
  EXPECT_EQ(m.Positions()[0].letterCase, MaskCase::Upper);
  EXPECT_EQ(m.Positions()[1].letterCase, MaskCase::Lower);
  EXPECT_EQ(m.Positions()[2].letterCase, MaskCase::Keep);
  EXPECT_EQ(m.Positions()[4].cls, MaskClass::Literal);
  EXPECT_EQ(m.Positions()[4].literal, "C");
  EXPECT_EQ(m.InputCount(), 4);
  EXPECT_EQ(EditMask("99.99.999.9999;0;_").GroupCount(), 4);
  EXPECT_EQ(EditMask("99/99/99", '.').Positions()[2].literal, ".");  // locale date separator
}

TEST(EditMask, EditTextAndValueRoundTrip) {
  EditMask noSave("99.99;0;*");
  EXPECT_EQ(noSave.EditText("1"), "1*.**");
  EXPECT_EQ(noSave.ValueOf("12.3*"), "123");
  EditMask save("99.99;1;_");
  EXPECT_EQ(save.ValueOf("12.3_"), "12.3");
}

TEST(EditMask, FirstInvalidFindsMissingOrRefusedCharacters) {
  EditMask digits("00.00;0;_");
  EXPECT_EQ(digits.FirstInvalid("12.3_"), 4);
  EXPECT_EQ(digits.FirstInvalid("12.34"), -1);
  EXPECT_EQ(digits.FirstInvalid("__.__"), -1);  // untouched: an empty field
  EXPECT_EQ(EditMask("LL-00;1;_").FirstInvalid("A1-23"), 1);
  EXPECT_EQ(EditMask("99#;0;_").FirstInvalid("1_-"), -1);
  EXPECT_EQ(EditMask("ll;0;_").FirstInvalid("ç_"), -1);
}

TEST(EditMask, ApplyCaseHandlesAsciiAndLatinLetters) {
  EXPECT_EQ(EditMask::ApplyCase("a", MaskCase::Upper), "A");
  EXPECT_EQ(EditMask::ApplyCase("Q", MaskCase::Lower), "q");
  EXPECT_EQ(EditMask::ApplyCase("ç", MaskCase::Upper), "Ç");
  EXPECT_EQ(EditMask::ApplyCase("É", MaskCase::Lower), "é");
  EXPECT_EQ(EditMask::ApplyCase("÷", MaskCase::Upper), "÷");
  EXPECT_EQ(EditMask::ApplyCase("1", MaskCase::Upper), "1");
}

}  // namespace
}  // namespace kve

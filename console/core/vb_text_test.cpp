#include "vb_text.h"

#include <gtest/gtest.h>

namespace ralvek::console {
namespace {

TEST(ValTest, ReadsTheLeadingNumberOnly) {
  EXPECT_DOUBLE_EQ(Val("50"), 50);
  EXPECT_DOUBLE_EQ(Val("5abc"), 5);
  EXPECT_DOUBLE_EQ(Val("  2.5x"), 2.5);
  EXPECT_DOUBLE_EQ(Val("-3"), -3);
  EXPECT_DOUBLE_EQ(Val("1e3"), 1000);
  EXPECT_DOUBLE_EQ(Val("1e"), 1);
  EXPECT_DOUBLE_EQ(Val("abc"), 0);
  EXPECT_DOUBLE_EQ(Val(""), 0);
  EXPECT_DOUBLE_EQ(Val("."), 0);
}

TEST(NumericValueTest, WholeTextMustBeANumber) {
  EXPECT_EQ(NumericValue("258"), 258);
  EXPECT_EQ(NumericValue(" 1.5 "), 1.5);
  EXPECT_EQ(NumericValue("-7"), -7);
  EXPECT_EQ(NumericValue("2D2"), 200);
  EXPECT_FALSE(NumericValue("5abc"));
  EXPECT_FALSE(NumericValue(""));
  EXPECT_FALSE(NumericValue("-"));
  EXPECT_FALSE(NumericValue("1 2"));
}

TEST(CLngTest, RoundsHalfToEvenAndRefusesOverflow) {
  EXPECT_EQ(CLng(2.5), 2);
  EXPECT_EQ(CLng(3.5), 4);
  EXPECT_EQ(CLng(-2.5), -2);
  EXPECT_EQ(CLng(2147483647.0), 2147483647);
  EXPECT_EQ(CLng(-2147483648.0), -2147483647 - 1);
  EXPECT_THROW(CLng(2147483648.0), RunTimeError);
  EXPECT_THROW(CLng(std::string_view("1e300")), RunTimeError);
  EXPECT_THROW(CLng(std::string_view("x")), RunTimeError);
}

TEST(SplitTest, KeepsEmptyPiecesAndHonoursTheLimit) {
  EXPECT_EQ(Split("a  b", ' '), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(Split("1.2.3.4.5", '.', 4), (std::vector<std::string>{"1", "2", "3", "4.5"}));
  EXPECT_TRUE(Split("", ' ').empty());
  EXPECT_EQ(Split(" ", ' '), (std::vector<std::string>{"", ""}));
}

TEST(TextTest, CaseTrimAndReplace) {
  EXPECT_EQ(LCase("SetIP A"), "setip a");
  EXPECT_EQ(UCase("01-fe"), "01-FE");
  EXPECT_EQ(TrimSpaces("  a b \t "), "a b \t");
  EXPECT_EQ(ReplaceAll("a   b    c", "   ", " "), "a b  c");
}

}  // namespace
}  // namespace ralvek::console

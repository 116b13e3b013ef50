#include "lexer.h"

#include <gtest/gtest.h>

namespace ralvek::vbscript {
namespace {

std::string kinds(const TokenList& toks) {
  std::string out;
  for (const Token& t : toks) {
    switch (t.kind) {
      case Tok::Name: out += "N(" + t.lower + ")"; break;
      case Tok::Integer: out += "I(" + t.text + ")"; break;
      case Tok::Float: out += "F(" + t.text + ")"; break;
      case Tok::String: out += "S(" + t.text + ")"; break;
      case Tok::Date: out += "D(" + t.text + ")"; break;
      case Tok::Op: out += t.text; break;
      case Tok::EndOfLine: out += t.text == ":" ? ";" : "/"; break;
      case Tok::End: out += "$"; break;
    }
    out += " ";
  }
  return out;
}

TEST(Lexer, NamesNumbersStringsDatesAndOperators) {
  EXPECT_EQ(kinds(tokenize("If a.B(1) <= &HFF Then x = \"q\"\"t\" & #1/2/2006#")),
            "N(if) N(a) . N(b) ( I(1) ) <= I(&HFF) N(then) N(x) = S(q\"t) & D(1/2/2006) / $ ");
  EXPECT_EQ(kinds(tokenize("x = 1.5e3 + .5 - 3 \\ 2 ^ 2")), "N(x) = F(1.5e3) + F(.5) - I(3) \\ I(2) ^ I(2) / $ ");
}

TEST(Lexer, CommentsRemAndContinuationsVanish) {
  EXPECT_EQ(kinds(tokenize("a = 1 ' note\nRem all of this\nb = a + _\n  2 : c = 3")),
            "N(a) = I(1) / / N(b) = N(a) + I(2) ; N(c) = I(3) / $ ");
  EXPECT_EQ(kinds(tokenize("x.Rem = 1")), "N(x) . N(rem) = I(1) / $ ");
}

TEST(Lexer, LinesAndColumnsFollowTheSource) {
  TokenList t = tokenize("a = 1\r\n  b = _\r\n 2\n");
  ASSERT_GE(t.size(), 8u);
  EXPECT_EQ(t[4].lower, "b");
  EXPECT_EQ(t[4].line, 2);
  EXPECT_EQ(t[4].column, 3);
  EXPECT_EQ(t[6].text, "2");
  EXPECT_EQ(t[6].line, 3);
}

TEST(Lexer, MemberDotAfterANameIsNotANumber) {
  EXPECT_EQ(kinds(tokenize("a.b .c")), "N(a) . N(b) . N(c) / $ ");
  EXPECT_TRUE(tokenize("f(1) .5")[4].kind == Tok::Float);
}

TEST(Lexer, ErrorsCarryNumberAndPosition) {
  auto fails = [](const char* text, int number, int line, int column) {
    try {
      tokenize(text);
      ADD_FAILURE() << text;
    } catch (const LexError& e) {
      EXPECT_EQ(e.number, number) << text;
      EXPECT_EQ(e.line, line) << text;
      EXPECT_EQ(e.column, column) << text;
    }
  };
  fails("x = \"abc\ny", 1033, 1, 5);
  fails("x = 1\ny = $", 1032, 2, 5);
  fails("x = 12abc", 1031, 1, 5);
  fails("x = &HFFFFFFFFF", 1031, 1, 5);
  fails("x = #1/2", 1002, 1, 5);
}

}  // namespace
}  // namespace ralvek::vbscript

#include "vb/vb.h"

#include <gtest/gtest.h>

namespace ralvek::vb {
namespace {

TEST(Val, TakesTheLeadingNumberOnly) {
  EXPECT_EQ(Val("600"), 600);
  EXPECT_EQ(Val("  42abc"), 42);
  EXPECT_EQ(Val("-7"), -7);
  EXPECT_EQ(Val("2.5x"), 2.5);
  EXPECT_EQ(Val(".5"), 0.5);
  EXPECT_EQ(Val("abc"), 0);
  EXPECT_EQ(Val(""), 0);
  EXPECT_EQ(Val("-"), 0);
  EXPECT_EQ(Val("1,udp"), 1);
}

TEST(CInt, RoundsHalfToEven) {
  EXPECT_EQ(CInt(2.5), 2);
  EXPECT_EQ(CInt(3.5), 4);
  EXPECT_EQ(CInt(-2.5), -2);
  EXPECT_EQ(CInt(2.51), 3);
  EXPECT_EQ(CInt(32767.4), 32767);
}

TEST(CInt, OutOfRangeIsAnOverflow) {
  EXPECT_THROW(CInt(32767.5), VbError);
  EXPECT_THROW(CInt(-32769), VbError);
  try {
    CInt(40000);
    FAIL();
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), kOverflow);
    EXPECT_STREQ(e.what(), "Overflow");
  }
  EXPECT_EQ(CInt(-32768), -32768);
}

TEST(CLng, RangeAndRounding) {
  EXPECT_EQ(CLng(28800), 28800);
  EXPECT_EQ(CLng(0.5), 0);
  EXPECT_EQ(CLng(1.5), 2);
  EXPECT_EQ(CLng(-2147483648.0), INT32_MIN);
  EXPECT_THROW(CLng(2147483648.0), VbError);
}

TEST(CBool, NumbersAndWords) {
  EXPECT_TRUE(CBool("1"));
  EXPECT_TRUE(CBool("-1"));
  EXPECT_FALSE(CBool("0"));
  EXPECT_TRUE(CBool("True"));
  EXPECT_FALSE(CBool(" false "));
  EXPECT_THROW(CBool("yes"), VbError);
  EXPECT_THROW(CBool(""), VbError);
}

TEST(ProgramError, CarriesNumber512AndTheDescription) {
  VbError e = ProgramError("INI file not found: /x/tolvin.ini");
  EXPECT_EQ(e.number(), 512);
  EXPECT_STREQ(e.what(), "INI file not found: /x/tolvin.ini");
}

}  // namespace
}  // namespace ralvek::vb

// Operators, conversions and built-in functions, as data-driven expression tables.
#include "script_fixture.h"

namespace ralvek::vbscript::testing {
namespace {

struct ExprCase {
  const char* expression;
  const char* expected;  // what P prints (without the separator), or "ERR n"
};

class Builtins : public ScriptTest {
 protected:
  void check(const std::vector<ExprCase>& cases) {
    for (const ExprCase& c : cases) {
      std::string got = run(std::string("P ") + c.expression + "\n");
      std::string expected = std::string(c.expected);
      if (expected.rfind("ERR ", 0) == 0) {
        EXPECT_EQ(got.substr(0, expected.size() + 1), expected + ":") << c.expression;
      } else {
        EXPECT_EQ(got, expected + "|") << c.expression;
      }
    }
  }
};

TEST_F(Builtins, ArithmeticFollowsVBScriptTypesAndPromotion) {
  check({
      {"1 + 2", "3"},
      {"TypeName(1 + 2)", "Integer"},
      {"TypeName(32767 + 1)", "Long"},
      {"TypeName(2147483647 + 1)", "Double"},
      {"7 / 2", "3.5"},
      {"TypeName(4 / 2)", "Double"},
      {"7 \\ 2", "3"},
      {"-7 \\ 2", "-3"},
      {"7 Mod 3", "1"},
      {"-7 Mod 3", "-1"},
      {"7.5 Mod 2", "0"},
      {"2 ^ 10", "1024"},
      {"-2 ^ 2", "-4"},
      {"2 ^ -1", "0.5"},
      {"\"3\" + 4", "7"},
      {"\"3\" + \"4\"", "34"},
      {"\"3\" & 4", "34"},
      {"Empty + 1", "1"},
      {"True + True", "-2"},
      {"IsNull(Null + 1)", "True"},
      {"\"a\" & Null", "a"},
      {"1 / 0", "ERR 11"},
      {"\"x\" * 2", "ERR 13"},
      {"0.1 + 0.2", "0.3"},
      {"1E+20 * 10", "1E+21"},
      {"1 / 3", "0.333333333333333"},
      {"&HFF + 1", "256"},
      {"&HFFFF", "-1"},
      {"5 Xor 3", "6"},
      {"Not 0", "-1"},
      {"True And False", "False"},
      {"True Or Null", "True"},
      {"IsNull(False Or Null)", "True"},
  });
}

TEST_F(Builtins, ComparisonsOfNumbersStringsAndEmpty) {
  check({
      {"1 < 2", "True"},
      {"\"abc\" < \"abd\"", "True"},
      {"\"B\" < \"a\"", "True"},
      {"5 = \"5\"", "True"},
      {"\"10\" > 9", "True"},
      {"Empty = 0", "True"},
      {"Empty = \"\"", "True"},
      {"IsNull(Null = Null)", "True"},
      {"#1/2/2006# < #1/3/2006#", "True"},
  });
  EXPECT_EQ(run("a = 5\nb = \"5\"\nP a = b\nP a < b\n"), "False|True|");
}

TEST_F(Builtins, StringFunctions) {
  check({
      {"Len(\"hello\")", "5"},
      {"Len(12345)", "5"},
      {"Left(\"hello\", 2)", "he"},
      {"Left(\"hi\", 10)", "hi"},
      {"Right(\"hello\", 3)", "llo"},
      {"Mid(\"hello\", 2, 3)", "ell"},
      {"Mid(\"hello\", 4)", "lo"},
      {"Mid(\"hello\", 9)", ""},
      {"Mid(\"hello\", 0)", "ERR 5"},
      {"InStr(\"hello\", \"l\")", "3"},
      {"InStr(4, \"hello\", \"l\")", "4"},
      {"InStr(\"hello\", \"z\")", "0"},
      {"InStr(1, \"HeLLo\", \"ll\", vbTextCompare)", "3"},
      {"InStr(1, \"HeLLo\", \"ll\")", "0"},
      {"InStrRev(\"a/b/c\", \"/\")", "4"},
      {"InStrRev(\"a/b/c\", \"/\", 3)", "2"},
      {"Replace(\"a.b.c\", \".\", \"--\")", "a--b--c"},
      {"Replace(\"aXbxc\", \"x\", \"_\", 1, -1, vbTextCompare)", "a_b_c"},
      {"Replace(\"abcabc\", \"b\", \"\", 1, 1)", "acabc"},
      {"Replace(\"abcabc\", \"b\", \"B\", 3)", "caBc"},
      {"Join(Split(\"a,b,,c\", \",\"), \"+\")", "a+b++c"},
      {"UBound(Split(\"\", \",\"))", "-1"},
      {"UBound(Split(\"a b c\"))", "2"},
      {"Join(Split(\"a,b,c\", \",\", 2), \"|\")", "a|b,c"},
      {"\"[\" & Trim(\"  x  \") & \"]\"", "[x]"},
      {"\"[\" & LTrim(\"  x  \") & \"]\"", "[x  ]"},
      {"\"[\" & RTrim(\"  x  \") & \"]\"", "[  x]"},
      {"UCase(\"abC1\")", "ABC1"},
      {"LCase(\"ABc\")", "abc"},
      {"\"[\" & Space(3) & \"]\"", "[   ]"},
      {"String(3, \"ab\")", "aaa"},
      {"String(2, 65)", "AA"},
      {"StrComp(\"a\", \"B\")", "1"},
      {"StrComp(\"a\", \"B\", 1)", "-1"},
      {"StrComp(\"a\", \"a\")", "0"},
      {"StrReverse(\"abc\")", "cba"},
      {"Chr(65) & Asc(\"a\")", "A97"},
      {"Asc(\"\")", "ERR 5"},
      {"Len(vbCrLf) & Len(vbTab) & Len(vbNullChar)", "211"},
  });
}

TEST_F(Builtins, Conversions) {
  check({
      {"CStr(12)", "12"},
      {"CStr(1.5)", "1.5"},
      {"CStr(True)", "True"},
      {"CInt(\"42\")", "42"},
      {"CInt(2.5)", "2"},
      {"CInt(3.5)", "4"},
      {"CInt(-2.5)", "-2"},
      {"CInt(40000)", "ERR 6"},
      {"CLng(\" 123 \")", "123"},
      {"CLng(\"12abc\")", "ERR 13"},
      {"CDbl(\"1.25\") * 2", "2.5"},
      {"CBool(\"true\")", "True"},
      {"CBool(0)", "False"},
      {"CDate(\"2006-12-06 05:31:00\")", "12/6/2006 5:31:00 AM"},
      {"Int(-2.5)", "-3"},
      {"Fix(-2.5)", "-2"},
      {"Abs(-3)", "3"},
      {"Round(2.567, 2)", "2.57"},
      {"Round(2.5)", "2"},
      {"Hex(255)", "FF"},
      {"Hex(-1)", "FFFF"},
      {"Oct(8)", "10"},
      {"Sgn(-4)", "-1"},
      {"Sqr(16)", "4"},
  });
}

TEST_F(Builtins, Inspection) {
  check({
      {"IsEmpty(Empty) & IsEmpty(\"\")", "TrueFalse"},
      {"IsNull(Null)", "True"},
      {"IsNumeric(\"12.5\") & IsNumeric(\"x\") & IsNumeric(3)", "TrueFalseTrue"},
      {"IsArray(Array()) & IsArray(1)", "TrueFalse"},
      {"IsDate(\"12/6/2006\") & IsDate(\"tomorrow\")", "TrueFalse"},
      {"TypeName(\"s\") & TypeName(1.5) & TypeName(Empty) & TypeName(Null) & TypeName(Array())",
       "StringDoubleEmptyNullVariant()"},
      {"VarType(\"s\") & \" \" & VarType(Array(1))", "8 8204"},
      {"vbString", "8"},
      {"UBound(Array()) & \" \" & LBound(Array(1))", "-1 0"},
      {"UBound(1)", "ERR 13"},
  });
}

TEST_F(Builtins, DatesAndTimes) {
  check({
      {"Year(#12/6/2006#) & \"-\" & Month(#12/6/2006#) & \"-\" & Day(#12/6/2006#)", "2006-12-6"},
      {"Hour(#5:31:07 PM#) & \":\" & Minute(#5:31:07 PM#) & \":\" & Second(#5:31:07 PM#)",
       "17:31:7"},
      {"DateSerial(2006, 13, 1)", "1/1/2007"},
      {"DateSerial(2006, 3, 0)", "2/28/2006"},
      {"TimeSerial(5, 31, 0)", "5:31:00 AM"},
      {"DateAdd(\"d\", 30, #12/6/2006#)", "1/5/2007"},
      {"DateAdd(\"m\", 1, #1/31/2006#)", "2/28/2006"},
      {"DateAdd(\"h\", 5, #12/6/2006 22:00:00#)", "12/7/2006 3:00:00 AM"},
      {"DateDiff(\"d\", #12/6/2006#, #1/5/2007#)", "30"},
      {"DateDiff(\"n\", #12/6/2006 5:00#, #12/6/2006 6:30#)", "90"},
      {"DateDiff(\"yyyy\", #12/31/2006#, #1/1/2007#)", "1"},
      {"FormatDateTime(#12/6/2006 5:31:00 PM#, vbShortDate)", "12/6/2006"},
      {"FormatDateTime(#12/6/2006 5:31:00 PM#, vbLongDate)", "Wednesday, December 06, 2006"},
      {"FormatDateTime(#12/6/2006 5:31:00 PM#, vbLongTime)", "5:31:00 PM"},
      {"FormatDateTime(#12/6/2006 5:31:00 PM#, vbShortTime)", "17:31"},
      {"FormatDateTime(#12/6/2006 5:31:00 PM#)", "12/6/2006 5:31:00 PM"},
      {"Weekday(#12/6/2006#)", "4"},
      {"MonthName(12) & \" \" & WeekdayName(1, True)", "December Sun"},
      {"#12/6/2006# - #12/1/2006#", "5"},
      {"TypeName(Now) & TypeName(Date) & TypeName(Timer)", "DateDateDouble"},
      {"Year(Now) >= 2024", "True"},
      {"Year(\"2006-12-06\")", "2006"},
      {"CDate(\"June 3, 2010\")", "6/3/2010"},
      {"CDate(1E+300)", "ERR 6"},
      {"Year(1E+300)", "ERR 6"},
      {"#1/1/2000# + 1E+300", "ERR 6"},
      {"DateAdd(\"yyyy\", 1E+300, #1/1/2000#)", "ERR 5"},
  });
}

TEST_F(Builtins, TimeStampBuiltFromDateParts) {
  EXPECT_EQ(run("d = #12/6/2006 5:31:00#\n"
                "s = Year(d) & Right(\"0\" & Month(d), 2) & Right(\"0\" & Day(d), 2) & _\n"
                "    Right(\"0\" & Hour(d), 2) & Right(\"0\" & Minute(d), 2) & Right(\"0\" & "
                "Second(d), 2)\nP s\n"),
            "20061206053100|");
}

TEST_F(Builtins, FormatNumber) {
  check({
      {"FormatNumber(1234567.891)", "1,234,567.89"},
      {"FormatNumber(0.5, 0)", "0"},
      {"FormatNumber(-1234.5, 1)", "-1,234.5"},
      {"FormatNumber(0.25, 2, 0)", ".25"},
      {"FormatNumber(-3, 0, -1, -1)", "(3)"},
      {"FormatNumber(1234, 0, -1, 0, 0)", "1234"},
  });
}

TEST_F(Builtins, CreateObjectOfAnUnknownClassNamesIt) {
  EXPECT_EQ(run("Set x = CreateObject(\"Excel.Application\")\n"),
            "ERR 429: ActiveX component can't create object: 'Excel.Application' @1");
}

TEST_F(Builtins, DatePartAndDateDiffHonourFirstDayOfWeekAndFirstWeekOfYear) {
  // 12/6/2006 is a Wednesday; 1/1/2006 a Sunday.
  check({
      {"DatePart(\"w\", #12/6/2006#)", "4"},
      {"DatePart(\"w\", #12/6/2006#, vbMonday)", "3"},
      {"DatePart(\"w\", #12/6/2006#, vbSaturday)", "5"},
      {"DatePart(\"w\", #12/6/2006#, 0)", "4"},
      {"DatePart(\"ww\", #12/6/2006#)", "49"},
      {"DatePart(\"ww\", #12/6/2006#, vbMonday)", "50"},
      {"DatePart(\"ww\", #12/6/2006#, vbMonday, vbFirstFourDays)", "49"},
      {"DatePart(\"ww\", #1/2/2006#)", "1"},
      {"DatePart(\"ww\", #1/2/2006#, vbMonday)", "2"},
      {"DatePart(\"ww\", #1/2/2006#, vbMonday, vbFirstFourDays)", "1"},
      {"DatePart(\"ww\", #1/1/2006#, vbMonday, vbFirstFourDays)", "52"},
      {"DatePart(\"ww\", #1/7/2006#, vbSunday, vbFirstFullWeek)", "1"},
      {"DatePart(\"ww\", #12/6/2006#, vbMonday, vbFirstFullWeek)", "49"},
      {"DatePart(\"w\", #12/6/2006#, 8)", "ERR 5"},
      {"DatePart(\"ww\", #12/6/2006#, 1, 4)", "ERR 5"},
      {"DateDiff(\"ww\", #12/3/2006#, #12/4/2006#)", "0"},
      {"DateDiff(\"ww\", #12/3/2006#, #12/4/2006#, vbMonday)", "1"},
      {"DateDiff(\"ww\", #12/4/2006#, #12/3/2006#, vbMonday, vbFirstFourDays)", "-1"},
      {"DateDiff(\"w\", #12/3/2006#, #12/16/2006#, vbMonday)", "1"},
      {"DateDiff(\"ww\", #12/3/2006#, #12/4/2006#, 9)", "ERR 5"},
      {"Weekday(#12/6/2006#, vbMonday)", "3"},
  });
}

TEST_F(Builtins, TimeWithoutADatePrintsAsATimeMidnightToo) {
  check({
      {"TimeValue(\"00:00:00\")", "12:00:00 AM"},
      {"TimeSerial(0, 0, 0)", "12:00:00 AM"},
      {"CStr(TimeSerial(13, 5, 0))", "1:05:00 PM"},
      {"CDate(0)", "12:00:00 AM"},
      {"#12/6/2006#", "12/6/2006"},
      {"TimeValue(\"12/6/2006 0:00\") = 0", "True"},
  });
}

TEST_F(Builtins, NegativeRndArgumentReseedsWithThatNumber) {
  check({
      {"Rnd(-1) = Rnd(-1)", "True"},
      {"Int(Rnd(-1) * 1000000)", "224007"},
      {"Rnd(-5) = Rnd(-1)", "False"},
  });
  EXPECT_EQ(run("a = Rnd(-3)\nb = Rnd\nc = Rnd(-3)\nd = Rnd\nP (a = c) And (b = d) And (a <> b)\n"),
            "True|");
}

TEST_F(Builtins, StringFunctionsFollowVBScriptsNullRules) {
  check({
      {"Replace(Null, \"a\", \"b\")", "ERR 94"},
      {"Replace(\"abc\", Null, \"b\")", "ERR 94"},
      {"Replace(\"abc\", \"a\", Null)", "ERR 94"},
      {"StrReverse(Null)", "ERR 94"},
      {"Asc(Null)", "ERR 94"},
      {"Chr(Null)", "ERR 94"},
      {"Left(\"abc\", Null)", "ERR 94"},
      {"TypeName(Len(Null))", "Null"},
      {"TypeName(LenB(Null))", "Null"},
      {"TypeName(Left(Null, 1))", "Null"},
      {"TypeName(Mid(Null, 1))", "Null"},
      {"TypeName(Trim(Null))", "Null"},
      {"TypeName(UCase(Null))", "Null"},
      {"TypeName(InStr(Null, \"a\"))", "Null"},
      {"TypeName(InStr(\"a\", Null))", "Null"},
      {"TypeName(StrComp(Null, \"a\"))", "Null"},
  });
}

TEST_F(Builtins, FunctionsUsersReachFor) {
  check({
      {"Join(Filter(Array(\"ab\", \"cd\", \"ax\"), \"a\"), \",\")", "ab,ax"},
      {"Join(Filter(Array(\"ab\", \"cd\", \"ax\"), \"a\", False), \",\")", "cd"},
      {"Join(Filter(Array(\"AB\", \"cd\"), \"a\", True, vbTextCompare), \",\")", "AB"},
      {"UBound(Filter(Array(\"x\"), \"q\"))", "-1"},
      {"Filter(\"ab\", \"a\")", "ERR 13"},
      {"FormatPercent(0.256)", "25.60%"},
      {"FormatPercent(0.5, 0)", "50%"},
      {"FormatCurrency(1234.5)", "$1,234.50"},
      {"FormatCurrency(-3)", "-$3.00"},
      {"FormatCurrency(-3, 2, -1, -1)", "($3.00)"},
      {"CCur(1.23456)", "1.2346"},
      {"CCur(\"12.5\") + 1", "13.5"},
      {"CCur(1E+20)", "ERR 6"},
      {"Escape(\"a b&c/\" & Chr(252) & \"@*_+-.\")", "a%20b%26c/%FC@*_+-."},
      {"Unescape(\"a%20b%u0041%FC%zz%\") = \"a bA\" & Chr(252) & \"%zz%\"", "True"},
      {"RGB(255, 0, 0)", "255"},
      {"RGB(0, 0, 255)", "16711680"},
      {"RGB(300, 1, 0)", "511"},
      {"RGB(-1, 0, 0)", "ERR 5"},
      {"LenB(\"abc\")", "6"},
  });
}

}  // namespace
}  // namespace ralvek::vbscript::testing

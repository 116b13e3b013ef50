#include "window_text.h"

#include <gtest/gtest.h>

namespace ralvek::console {
namespace {

TEST(ConsoleSelectionToPromptTest, WordWithItsLineBreakIntoAnEmptyPrompt) {
  const auto edit = ConsoleSelectionToPrompt("dump\r\n", "", 0, 0);
  EXPECT_EQ(edit.text, " dump");
  EXPECT_EQ(edit.caret, 5u);
}

TEST(ConsoleSelectionToPromptTest, AppendedAfterTheTrimmedPromptWithoutTabs) {
  EXPECT_EQ(ConsoleSelectionToPrompt("  10.0.0.2\t\r\nrest", " setip ", 0, 0).text, "setip 10.0.0.2");
}

TEST(ConsoleSelectionToPromptTest, ReplacesThePromptSelectionWithBlanksWhereNeeded) {
  EXPECT_EQ(ConsoleSelectionToPrompt("10.0.0.2", "setip xx now", 6, 2).text, "setip 10.0.0.2 now");
  EXPECT_EQ(ConsoleSelectionToPrompt("10.0.0.2", "setipxxnow", 5, 2).text, "setip 10.0.0.2 now");
  EXPECT_EQ(ConsoleSelectionToPrompt("dump", "xx", 0, 2).text, "dump");
}

TEST(ConsoleSelectionToPromptTest, CaretStopsAt255) {
  EXPECT_EQ(ConsoleSelectionToPrompt(std::string(300, 'a'), "", 0, 0).caret, 255u);
}

TEST(ViewHintTest, HexSelectionReadAsANumber) {
  EXPECT_EQ(HexViewHint("2C 01"), "(11265)");
  EXPECT_EQ(HexViewHint("ZZ"), "(-1)");
  EXPECT_EQ(HexViewHint("01 02 03 04 05"), "");
  EXPECT_EQ(HexViewHint(""), "");
}

TEST(ViewHintTest, TextViewCountsSelectionOrAll) {
  EXPECT_EQ(AsciiViewHint("abcdef", "cd"), "2 bytes.");
  EXPECT_EQ(AsciiViewHint("abcdef", ""), "6 bytes.");
  EXPECT_EQ(AsciiViewHint("", ""), "");
}

}  // namespace
}  // namespace ralvek::console

#include "line_editor.h"

#include <gtest/gtest.h>

namespace ralvek::console {
namespace {

// Feeds every byte; returns the last event that was not kNone.
EditorResult Type(LineEditor& editor, std::string_view bytes) {
  EditorResult last;
  for (const char c : bytes) {
    const EditorResult r = editor.Feed(c);
    if (r.event != EditorEvent::kNone) last = r;
  }
  return last;
}

TEST(LineEditorTest, EditingKeysChangeTextAndCaret) {
  LineEditor e;
  Type(e, "setperod 5");
  Type(e, "\x1b[D\x1b[D\x1b[D\x1b[Di");  // Left x4, insert
  EXPECT_EQ(e.text(), "setperiod 5");
  EXPECT_EQ(e.caret(), 7u);
  Type(e, "\x1b[F\x7f" "50");  // End, Backspace
  EXPECT_EQ(e.text(), "setperiod 50");
  Type(e, "\x17");  // Ctrl+W: the word before the caret
  EXPECT_EQ(e.text(), "setperiod ");
  Type(e, "\x1b[H\x1b[3~\x04");  // Home, Delete, Ctrl+D with text: delete too
  EXPECT_EQ(e.text(), "tperiod ");
  Type(e, "\x05x\x01\x0b");  // Ctrl+E, x, Ctrl+A, Ctrl+K
  EXPECT_EQ(e.text(), "");
  Type(e, "ab\t\x80\x1b" "xc");  // tab, a non-ASCII byte and Alt+x are not typed
  EXPECT_EQ(e.text(), "abc");
}

TEST(LineEditorTest, KeysOfTheCommonTerminalsMeanTheSame) {
  struct Case {
    const char* bytes;
    EditorEvent event;
    int key;
    bool shift;
  };
  const Case cases[] = {
      {"\x1b[A", EditorEvent::kHistoryUp, 0, false},   {"\x1bOA", EditorEvent::kHistoryUp, 0, false},
      {"\x10", EditorEvent::kHistoryUp, 0, false},     {"\x1bOP", EditorEvent::kFunctionKey, 1, false},
      {"\x1b[11~", EditorEvent::kFunctionKey, 1, false}, {"\x1b[[A", EditorEvent::kFunctionKey, 1, false},
      {"\x1b[1;2P", EditorEvent::kFunctionKey, 1, true}, {"\x1bOS", EditorEvent::kFunctionKey, 4, false},
      {"\x1b[15~", EditorEvent::kFunctionKey, 5, false}, {"\x1b[21~", EditorEvent::kFunctionKey, 10, false},
      {"\x1b[23~", EditorEvent::kFunctionKey, 11, false}, {"\x1b[24~", EditorEvent::kFunctionKey, 12, false},
      {"\x1b[99~", EditorEvent::kNone, 0, false},        {"\x03", EditorEvent::kInterrupt, 0, false},
  };
  for (const Case& c : cases) {
    LineEditor e;
    const EditorResult r = Type(e, c.bytes);
    EXPECT_EQ(r.event, c.event) << c.bytes + 1;
    EXPECT_EQ(r.function_key, c.key) << c.bytes + 1;
    EXPECT_EQ(r.shift, c.shift) << c.bytes + 1;
    EXPECT_EQ(e.text(), "") << c.bytes + 1;
    EXPECT_FALSE(e.EscapePending());
  }
}

TEST(LineEditorTest, EnterEndOfInputAndTheLoneEsc) {
  LineEditor e;
  Type(e, "dump");
  EXPECT_EQ(e.Feed('\r').event, EditorEvent::kEnter);
  EXPECT_EQ(e.Feed('\n').event, EditorEvent::kNone);  // CR LF of a paste is one Enter
  EXPECT_EQ(e.Feed('\n').event, EditorEvent::kEnter);
  e.SetText("");
  EXPECT_EQ(e.Feed('\x04').event, EditorEvent::kEndOfInput);
  Type(e, "hex 1\x1b");
  EXPECT_TRUE(e.EscapePending());
  EXPECT_EQ(e.EscapeTimeout().event, EditorEvent::kChanged);
  EXPECT_EQ(e.text(), "");  // Esc empties the line, as in the window
  Type(e, "hex 1\x1b[");
  EXPECT_EQ(e.EscapeTimeout().event, EditorEvent::kNone);
  EXPECT_EQ(e.text(), "hex 1");
}

TEST(LineEditorTest, ALongLineScrollsSidewaysKeepingTheCaretInView) {
  LineEditor e;
  e.SetText("hex 1");
  EXPECT_EQ(e.Render("> ", 80), "\r> hex 1\x1b[K\r\x1b[7C");
  e.SetText(std::string(30, 'a') + "bcd");
  EXPECT_EQ(e.Render("> ", 20), "\r> " + std::string(14, 'a') + "bcd\x1b[K\r\x1b[19C");
  Type(e, "\x01");
  EXPECT_EQ(e.Render("> ", 20), "\r> " + std::string(17, 'a') + "\x1b[K\r\x1b[2C");
}

}  // namespace
}  // namespace ralvek::console

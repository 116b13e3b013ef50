// The window driven through its widgets on the offscreen platform: real key presses and mouse
// moves on the real controls, a core on test doubles behind it.
#include "form_main.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <memory>

#include "console_fakes.h"
#include "test_application.h"
#include "widget_text.h"

namespace ralvek::console {
namespace {

const bool kApplication = TestApplication::Register();

// A ConsoleSystem whose end of program closes the window, as the real one does.
class WindowSystem final : public ConsoleSystem {
 public:
  std::string Run(const std::vector<std::string>&) override { return {}; }
  void Wait(double) override {
    if (during_wait) during_wait();
  }
  std::string TimeText() override { return "08:15:02"; }
  void EndProgram() override {
    if (end) end();
  }
  std::function<void()> during_wait;
  std::function<void()> end;
};

class FormMainTest : public ::testing::Test {
 protected:
  FormMainTest() {
    form.Attach(core, system);
    form.SetOnClosed([this] { ++closed; });
    system.end = [this] { form.close(); };
    form.show();
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    form.Form_Load();
  }
  ~FormMainTest() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  template <typename T>
  T* Control(const char* name) {
    T* control = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  QLineEdit* Prompt() { return Control<QLineEdit>("TextPrompt"); }
  QPlainTextEdit* View(const char* name) { return Control<QPlainTextEdit>(name); }
  std::string Text(QLineEdit* edit) { return edit->text().toStdString(); }
  std::string Text(QPlainTextEdit* edit) { return edit->toPlainText().toStdString(); }

  // Types a line into the prompt and presses Enter there.
  void Enter(const std::string& line) {
    Prompt()->setFocus();
    Prompt()->clear();
    QTest::keyClicks(Prompt(), QString::fromStdString(line));
    QTest::keyClick(Prompt(), Qt::Key_Return);
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
  }
  // Selects the first occurrence of text in a view and gives the view the focus.
  void Select(QPlainTextEdit* view, const QString& text, int extra = 0) {
    const auto at = view->toPlainText().indexOf(text);
    ASSERT_GE(at, 0) << text.toStdString();
    QTextCursor cursor = view->textCursor();
    cursor.setPosition(static_cast<int>(at));
    cursor.setPosition(static_cast<int>(at + text.size()) + extra, QTextCursor::KeepAnchor);
    view->setTextCursor(cursor);
    view->setFocus();
  }
  std::string HintAfterMouseMove(QPlainTextEdit* view, Qt::MouseButtons buttons = Qt::NoButton) {
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), view->viewport()->mapToGlobal(QPointF(5, 5)),
                     Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    return view->toolTip().toStdString();
  }
  void BoxSettingsArrive() {
    Bytes settings(34, '\0');
    settings[0] = 7;
    settings[1] = 0;
    core.WSReceive_DataArrival(settings, "127.0.0.2");
  }

  std::filesystem::path dir = [] {
    auto path = std::filesystem::temp_directory_path() /
                ("console_window_test_" +
                 std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(path);
    return path;
  }();
  FakeEndpoint client, server, receive;
  FakeStore store;
  WindowSystem system;
  FormMain form{FormMain::ErrorBoxes::kNonModal};
  ConsoleCore core{
      ConsoleEnvironment{client, server, receive, store, system, form, dir, '.', dir / "arp"}};
  int closed = 0;
};

TEST_F(FormMainTest, ControlsAfterStart) {
  EXPECT_EQ(form.windowTitle().toStdString(), "Ralvek Configuration Console  V1.0.0");
  EXPECT_TRUE(Control<QPushButton>("cmdRun")->isDefault());
  EXPECT_EQ(Control<QLabel>("labelIncome0")->text().toStdString(), "Message from ");
  EXPECT_EQ(Control<QLabel>("labelIncome1")->text().toStdString(), "Ascii View ");
  QPlainTextEdit* console = View("TextConsole");
  EXPECT_TRUE(console->isReadOnly());
  EXPECT_TRUE(console->textInteractionFlags() & Qt::TextSelectableByMouse);
  EXPECT_EQ(console->palette().color(QPalette::Text), QColor(Qt::white));
  EXPECT_EQ(console->palette().color(QPalette::Base), QColor(Qt::black));
  EXPECT_TRUE(QFontInfo(console->font()).fixedPitch());
  EXPECT_EQ(Prompt()->palette().color(QPalette::Text), QColor(Qt::white));
  EXPECT_TRUE(Prompt()->hasFocus());
  EXPECT_EQ(Text(console).substr(0, 29), "Ralvek Configuration Console ");
  // Typing into the console changes nothing.
  console->setFocus();
  QTest::keyClicks(console, "xyz");
  EXPECT_EQ(Text(console).find("xyz"), std::string::npos);
}

TEST_F(FormMainTest, Timer1FillsTheTimeOnceAfterStart) {
  auto* timer = form.findChild<QTimer*>("Timer1");
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->isActive());
  EXPECT_TRUE(timer->isSingleShot());
  EXPECT_EQ(timer->interval(), 1000);
  EXPECT_TRUE(Control<QLineEdit>("TextTime")->text().isEmpty());
  QSignalSpy fired(timer, &QTimer::timeout);
  EXPECT_TRUE(fired.wait(5000));
  EXPECT_EQ(Text(Control<QLineEdit>("TextTime")), "08:15:02");
  EXPECT_FALSE(timer->isActive());
}

TEST_F(FormMainTest, EnterRunsTheLineAndAnAcceptedLineLeavesThePrompt) {
  Enter("hex 255");
  EXPECT_NE(Text(View("TextConsole")).find("FF"), std::string::npos);
  EXPECT_TRUE(Prompt()->text().isEmpty());
  EXPECT_TRUE(Prompt()->hasFocus());
  EXPECT_EQ(core.CommandHistory()[0], "hex 255");
}

TEST_F(FormMainTest, RefusedLineStaysInThePromptAndIsNotRemembered) {
  Enter("bogus 1");
  EXPECT_EQ(Text(Prompt()), "bogus 1");
  EXPECT_EQ(Prompt()->cursorPosition(), 7);
  EXPECT_TRUE(core.CommandHistory()[0].empty());
  EXPECT_NE(Text(View("TextConsole")).find("Invalid Command"), std::string::npos);
}

TEST_F(FormMainTest, RunButtonActsForThePromptOnly) {
  QTest::keyClicks(Prompt(), "hex 16");
  QTest::mouseClick(Control<QPushButton>("cmdRun"), Qt::LeftButton);
  EXPECT_TRUE(Prompt()->text().isEmpty());
  EXPECT_EQ(core.CommandHistory()[0], "hex 16");

  QTest::keyClicks(Prompt(), "hex 17");
  View("TextMsg")->setFocus();
  QTest::mouseClick(Control<QPushButton>("cmdRun"), Qt::LeftButton);
  EXPECT_EQ(Text(Prompt()), "hex 17");
  EXPECT_EQ(core.CommandHistory()[0], "hex 16");
}

TEST_F(FormMainTest, EnterOnAnEmptyPromptClearsTheThreeViews) {
  BoxSettingsArrive();
  EXPECT_FALSE(View("TextMsg")->toPlainText().isEmpty());
  EXPECT_FALSE(View("TextAsc")->toPlainText().isEmpty());
  const std::string console_before = Text(View("TextConsole"));
  Enter("");
  EXPECT_TRUE(View("TextMsg")->toPlainText().isEmpty());
  EXPECT_TRUE(View("TextMsg2")->toPlainText().isEmpty());
  EXPECT_TRUE(View("TextAsc")->toPlainText().isEmpty());
  EXPECT_EQ(Text(View("TextConsole")), console_before);
}

TEST_F(FormMainTest, UpShowsTheLastTenNewestFirstAndWraps) {
  for (int i = 1; i <= 11; ++i) Enter("hex " + std::to_string(i));
  for (int expected = 11; expected >= 2; --expected) {
    Key(Qt::Key_Up);
    EXPECT_EQ(Text(Prompt()), "hex " + std::to_string(expected));
    EXPECT_EQ(Prompt()->cursorPosition(), Prompt()->text().size());
  }
  Key(Qt::Key_Up);
  EXPECT_EQ(Text(Prompt()), "hex 11");
}

TEST_F(FormMainTest, UpWrapsAtTheFirstEmptyEntryAndANewCommandStartsAgain) {
  Enter("hex 1");
  Enter("hex 2");
  Key(Qt::Key_Up);
  Key(Qt::Key_Up);
  EXPECT_EQ(Text(Prompt()), "hex 1");
  Key(Qt::Key_Up);
  EXPECT_EQ(Text(Prompt()), "hex 2");
  Enter("hex 3");
  Key(Qt::Key_Up);
  EXPECT_EQ(Text(Prompt()), "hex 3");
}

TEST_F(FormMainTest, DownMovesTheCaretAndEscEmptiesThePrompt) {
  QTest::keyClicks(Prompt(), "setperiod 50");
  Prompt()->setCursorPosition(2);
  Key(Qt::Key_Down);
  EXPECT_EQ(Prompt()->cursorPosition(), 12);
  Key(Qt::Key_Escape);
  EXPECT_TRUE(Prompt()->text().isEmpty());
  EXPECT_TRUE(Prompt()->hasFocus());
}

TEST_F(FormMainTest, EscInAnotherControlGivesThePromptTheFocus) {
  for (const char* name : {"TextConsole", "TextMsg", "TextAsc"}) {
    QTest::keyClicks(Prompt(), "abc");
    View(name)->setFocus();
    ASSERT_FALSE(Prompt()->hasFocus()) << name;
    Key(Qt::Key_Escape);
    EXPECT_TRUE(Prompt()->hasFocus()) << name;
    EXPECT_FALSE(Prompt()->text().isEmpty()) << name;
    Prompt()->clear();
  }
}

struct KeyCase {
  int key;
  Qt::KeyboardModifiers modifiers;
  const char* expected;
};

TEST_F(FormMainTest, FunctionKeysFillTheTemplatesOfAClearedRecord) {
  const KeyCase cases[] = {
      {Qt::Key_F1, Qt::NoModifier, "Dump"},
      {Qt::Key_F4, Qt::NoModifier, "SetSendParams FF-FF-FF-FF-FF-FF 255.255.255.255 2552"},
      {Qt::Key_F9, Qt::NoModifier, "SetUDP On"},
      {Qt::Key_F10, Qt::NoModifier, "SetCOM On"},
      {Qt::Key_F11, Qt::NoModifier, "Send 01-FE-03-00-01-01-FE-15-FF-00-00-00"},
      {Qt::Key_F12, Qt::NoModifier, "Ack 0"},
      {Qt::Key_F1, Qt::ShiftModifier, "SetResetInterval 0"},
  };
  for (const auto& c : cases) {
    Prompt()->setText("old text");
    Prompt()->setCursorPosition(0);
    Key(c.key, c.modifiers);
    EXPECT_EQ(Text(Prompt()), c.expected) << c.key;
    EXPECT_EQ(Prompt()->cursorPosition(), Prompt()->text().size()) << c.key;
    EXPECT_TRUE(Prompt()->hasFocus());
  }
}

TEST_F(FormMainTest, ShiftWithAnyKeyButF1ControlKeysAndKeysElsewhereLeaveThePrompt) {
  Prompt()->setText("kept");
  Key(Qt::Key_F2, Qt::ShiftModifier);
  Key(Qt::Key_F12, Qt::ShiftModifier);
  Key(Qt::Key_F1, Qt::ControlModifier);
  View("TextMsg")->setFocus();
  Key(Qt::Key_F1);
  EXPECT_EQ(Text(Prompt()), "kept");
}

TEST_F(FormMainTest, RunIsNotTheDefaultButtonWhileTheConsoleHasTheFocus) {
  auto* run = Control<QPushButton>("cmdRun");
  View("TextConsole")->setFocus();
  EXPECT_FALSE(run->isDefault());
  View("TextMsg")->setFocus();
  EXPECT_TRUE(run->isDefault());
}

TEST_F(FormMainTest, SelectionWithItsLineBreakGoesToAnEmptyPromptAfterABlank) {
  core.PutToConsole({"dump", "next"});
  Select(View("TextConsole"), "dump", 1);
  ASSERT_TRUE(View("TextConsole")->textCursor().selectedText().endsWith(QChar(0x2029)));
  Key(Qt::Key_Return);
  EXPECT_EQ(Text(Prompt()), " dump");
  EXPECT_EQ(Prompt()->cursorPosition(), 5);
  EXPECT_TRUE(Prompt()->hasFocus());
  EXPECT_TRUE(core.CommandHistory()[1].empty());  // nothing was run
}

struct SelectionCase {
  const char* prompt;
  int selection_start;  // -1: no selection in the prompt
  int selection_length;
  const char* console_selection;
  const char* expected;
};

TEST_F(FormMainTest, ConsoleSelectionGoesIntoThePromptWithBlanksWhereNeeded) {
  core.PutToConsole({"Send IP\\t\\t:10.0.0.9", "  dump  "});
  const SelectionCase cases[] = {
      {"  use  ", -1, 0, "\t:10.0.0.9", "use :10.0.0.9"},      // appended, tabs removed
      {"setip x.y;", 6, 3, ":10.0.0.9", "setip :10.0.0.9 ;"},  // replaces, blank after only
      {"setipx.y", 5, 3, "10.0.0.9", "setip 10.0.0.9"},        // blank before, none at the end
      {"use 1.2.3.4", 0, 3, "  dump  ", "dump 1.2.3.4"},       // at the first character
  };
  for (const auto& c : cases) {
    Prompt()->setText(c.prompt);
    if (c.selection_start >= 0) Prompt()->setSelection(c.selection_start, c.selection_length);
    Select(View("TextConsole"), c.console_selection);
    Key(Qt::Key_Return);
    EXPECT_EQ(Text(Prompt()), c.expected) << c.prompt;
    EXPECT_EQ(Prompt()->cursorPosition(), Prompt()->text().size()) << c.prompt;
    EXPECT_TRUE(Prompt()->hasFocus());
  }
}

TEST_F(FormMainTest, CaretGoesToPosition255AtMost) {
  const std::string word(300, 'a');
  core.PutToConsole({word});
  Select(View("TextConsole"), QString::fromStdString(word));
  Key(Qt::Key_Return);
  EXPECT_EQ(Prompt()->text().size(), 301);
  EXPECT_EQ(Prompt()->cursorPosition(), 255);
}

TEST_F(FormMainTest, EnterInTheConsoleWithoutSelectionOnlyMovesTheFocus) {
  Prompt()->setText("kept");
  View("TextConsole")->setFocus();
  Key(Qt::Key_Return);
  EXPECT_EQ(Text(Prompt()), "kept");
  EXPECT_TRUE(Prompt()->hasFocus());
}

TEST_F(FormMainTest, HexViewHintReadsTheSelectionAsHex) {
  core.WSReceive_DataArrival(Bytes("\x01\x02\x2C\x01\x05", 5), "127.0.0.2");
  QPlainTextEdit* hex = View("TextMsg2");
  EXPECT_EQ(Text(hex), "01 02 2C 01 05");
  EXPECT_EQ(HintAfterMouseMove(hex), "");
  Select(hex, "2C 01");
  EXPECT_EQ(HintAfterMouseMove(hex), "(11265)");
  EXPECT_EQ(HintAfterMouseMove(hex, Qt::LeftButton), "(11265)");
  Select(hex, "02 2C 01 05");
  EXPECT_EQ(HintAfterMouseMove(hex, Qt::LeftButton),
            "(11265)");  // unchanged while a button is down
  EXPECT_EQ(HintAfterMouseMove(hex), "(36438277)");
  Select(hex, "01 02 2C 01 05");
  EXPECT_EQ(HintAfterMouseMove(hex), "");  // ten digits
  Bytes odd("\x0A\x0B", 2);
  core.WSReceive_DataArrival(odd, "127.0.0.2");
  Select(hex, "0A 0B");
  EXPECT_EQ(HintAfterMouseMove(hex), "(2571)");
}

TEST_F(FormMainTest, InvalidHexSelectionShowsMinusOne) {
  core.PutToConsole({"x"});
  core.WSReceive_DataArrival(Bytes("\x01\x02\x2C\x01\x05", 5), "127.0.0.2");
  QPlainTextEdit* hex = View("TextMsg2");
  // The view is read-only; a selection of letters is only possible where it shows some.
  hex->setPlainText("ZZ 01");
  Select(hex, "ZZ");
  EXPECT_EQ(HintAfterMouseMove(hex), "(-1)");
}

TEST_F(FormMainTest, TextViewHintCountsSelectedOrAllCharacters) {
  QPlainTextEdit* ascii = View("TextAsc");
  EXPECT_EQ(HintAfterMouseMove(ascii), "");
  core.WSReceive_DataArrival(Bytes("ab\r\ncdef", 8), "127.0.0.2");
  EXPECT_EQ(Text(ascii), "ab??cdef");
  EXPECT_EQ(HintAfterMouseMove(ascii), "8 bytes.");
  Select(ascii, "??c");
  EXPECT_EQ(HintAfterMouseMove(ascii), "3 bytes.");
  EXPECT_EQ(Control<QLabel>("labelIncome1")->text().toStdString(),
            "Ascii View (127.0.0.2:2552 08:15:02 (8 bytes)");
}

TEST_F(FormMainTest, ConsoleIsCutToItsLastPartPastFiftyThousandCharacters) {
  QPlainTextEdit* console = View("TextConsole");
  core.PutToConsole(
      {std::string(50000 - core.TextConsole().size() - 2, 'a')});  // 50000 with its CR LF
  EXPECT_EQ(core.TextConsole().size(), 50000u);
  EXPECT_EQ(FromWidgetText(console->toPlainText()), core.TextConsole());
  core.PutToConsole({"bcd"});  // 50005 characters: from character 45000 on
  EXPECT_EQ(core.TextConsole().size(), 50005u - 44999u);
  EXPECT_EQ(FromWidgetText(console->toPlainText()), core.TextConsole());
  EXPECT_TRUE(console->toPlainText().endsWith("a\nbcd\n"));
}

TEST_F(FormMainTest, EveryWriteScrollsToTheEndAndDropsTheSelection) {
  for (int i = 0; i < 200; ++i) core.PutToConsole({"line " + std::to_string(i)});
  QPlainTextEdit* console = View("TextConsole");
  Select(console, "line 10");
  console->verticalScrollBar()->setValue(0);
  core.PutToConsole({"last"});
  QApplication::processEvents();
  EXPECT_FALSE(console->textCursor().hasSelection());
  EXPECT_EQ(console->textCursor().position(), console->document()->characterCount() - 1);
  EXPECT_EQ(console->verticalScrollBar()->value(), console->verticalScrollBar()->maximum());
  EXPECT_GT(console->verticalScrollBar()->maximum(), 0);
}

TEST_F(FormMainTest, ErrorBoxIsCriticalTitledErrorWithLabelAndDescription) {
  Enter("setperiod 50abc");
  QMessageBox* box = form.findChild<QMessageBox*>();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(box->windowTitle().toStdString(), "Error");
  EXPECT_EQ(box->icon(), QMessageBox::Critical);
  EXPECT_EQ(box->text().toStdString(), "KZUConfig->MakeHex\nType mismatch");
}

TEST_F(FormMainTest, MenuQuitClosesDeletesTheTemporaryFileAndClosesTheSockets) {
  std::ofstream(core.TempFile()) << "x";
  auto* quit = form.findChild<QAction*>("menuQUIT");
  ASSERT_NE(quit, nullptr);
  EXPECT_EQ(quit->text().toStdString(), "Quit");
  quit->trigger();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(std::filesystem::exists(core.TempFile()));
  EXPECT_EQ(server.state, 0);
}

TEST_F(FormMainTest, QuitCommandAndTheCloseButtonEndTheProgramOnce) {
  Enter("quit");
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(server.state, 0);
  std::ofstream(core.TempFile()) << "x";
  form.close();  // a second close does not unload again
  EXPECT_TRUE(std::filesystem::exists(core.TempFile()));
}

TEST_F(FormMainTest, EnterDuringAWaitingCommandRunsAfterItAndKeepsWhatWasTyped) {
  int waits = 0;
  system.during_wait = [&] {
    ++waits;
    Prompt()->setText("hex 5");
    QTest::keyClick(Prompt(), Qt::Key_Return);
    EXPECT_TRUE(core.CommandHistory()[0].empty());  // nothing runs inside the waiting command
  };
  Enter("open 2553");  // moving the receive port pauses
  system.during_wait = nullptr;
  EXPECT_EQ(waits, 1);
  EXPECT_EQ(core.CommandHistory()[0], "open 2553");
  EXPECT_EQ(Text(Prompt()), "hex 5");
  for (int i = 0; i < 100 && !core.CommandHistory()[1].size(); ++i) QTest::qWait(10);
  EXPECT_EQ(core.CommandHistory()[0], "hex 5");
  EXPECT_EQ(core.CommandHistory()[1], "open 2553");
  EXPECT_TRUE(Prompt()->text().isEmpty());
}

}  // namespace
}  // namespace ralvek::console

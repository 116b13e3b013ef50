// The console's window in this process (offscreen platform) with its real UDP endpoints, against
// pbxsim box on 127.0.0.2; and the built console program choosing its window when a display is set.
// Every key is pressed on the real widgets; every wait is bounded.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <functional>
#include <memory>

#include "console_core.h"
#include "console_fixture.h"
#include "form_main.h"
#include "ini_settings_store.h"
#include "qt_console_system.h"
#include "qt_udp_endpoint.h"
#include "test_application.h"

namespace ralvek::console_e2e {
namespace {

const bool kApplication = console::TestApplication::Register();

using console::ConsoleCore;
using console::ConsoleEnvironment;
using console::FormMain;
using console::IniSettingsStore;
using console::QtConsoleSystem;
using console::QtUdpEndpoint;

bool WaitUntil(const std::function<bool()>& done, int timeout_ms = 5000) {
  for (int waited = 0; waited <= timeout_ms; waited += 10) {
    if (done()) return true;
    QTest::qWait(10);
  }
  return done();
}

// Looks the port up in the kernel's table rather than binding it, which would race the program.
bool PortBound(int port) {
  QFile table("/proc/net/udp");
  if (!table.open(QIODevice::ReadOnly)) return false;
  const QByteArray needle =
      ":" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0') + " ";
  for (const QByteArray& line : table.readAll().split('\n')) {
    const QList<QByteArray> fields = line.simplified().split(' ');
    if (fields.size() > 1 && (fields[1] + " ").endsWith(needle)) return true;
  }
  return false;
}

// The console's pieces as run_window.cpp wires them, with error boxes that do not wait for a click.
struct WindowConsole {
  explicit WindowConsole(const QString& dir)
      : settings((dir + "/config/ralvek/console.ini").toStdString()),
        core(ConsoleEnvironment{client, server, receive, settings, system, form,
                                dir.toStdString()}) {
    server.SetReceiver(
        [this](const console::Bytes& d, const std::string& s) { core.WServer_DataArrival(d, s); });
    receive.SetReceiver([this](const console::Bytes& d, const std::string& s) {
      core.WSReceive_DataArrival(d, s);
    });
    form.SetOnClosed([this] { ++closed; });
    form.Attach(core, system);
    form.show();
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    form.Form_Load();
  }
  ~WindowConsole() { form.close(); }

  FormMain form{FormMain::ErrorBoxes::kNonModal};
  QtUdpEndpoint client, server, receive;
  IniSettingsStore settings;
  QtConsoleSystem system{[this] { form.close(); }};
  ConsoleCore core;
  int closed = 0;
};

class WindowTest : public ConsoleTest {
 protected:
  // The application is the test environment's; the terminal tests' one must not be made.
  static void SetUpTestSuite() {}
  void TearDown() override {
    window_.reset();
    ConsoleTest::TearDown();
  }

  WindowConsole& StartWindow() {
    window_ = std::make_unique<WindowConsole>(dir_.path());
    return *window_;
  }
  template <typename T>
  T* Control(const char* name) {
    T* control = window_->form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  QLineEdit* Prompt() { return Control<QLineEdit>("TextPrompt"); }
  std::string ConsoleText() {
    return Control<QPlainTextEdit>("TextConsole")->toPlainText().toStdString();
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(Prompt(), static_cast<Qt::Key>(key), modifiers);
  }
  // Types a line into the prompt, presses Enter and waits until the console shows `expected`.
  bool Type(const std::string& line, const std::string& expected) {
    const std::size_t mark = ConsoleText().size();
    Prompt()->setFocus();
    QTest::keyClicks(Prompt(), QString::fromStdString(line));
    Key(Qt::Key_Return);
    const bool shown =
        WaitUntil([&] { return ConsoleText().find(expected, mark) != std::string::npos; });
    EXPECT_TRUE(shown) << line << " -> " << expected << "\n" << ConsoleText().substr(mark);
    return shown;
  }
  std::string Template(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    Key(key, modifiers);
    return Prompt()->text().toStdString();
  }

  std::unique_ptr<WindowConsole> window_;
};

TEST_F(WindowTest, FunctionKeysCarryTheBoxSettingsAfterDump) {
  StartBox();
  StartWindow();
  Type("use 127.0.0.2", "Current IP: 127.0.0.2\n");
  Type("setperiod 50", "Period: 50\n");
  Type("setlen 60", "Entry Lenght: 60\n");
  Type("setsiteid 1000", "SiteID: 1000\n");
  Type("setbaud 19200", "Baud: 19200\n");
  Type("setip2 10.0.0.4", "Second IP: 10.0.0.4\n");
  Type("setresetinterval 9", "Reset Interval: 9\n");
  Type("setsendparams 00-11-22-33-44-55 127.0.0.1 2552", "SendPort: 2552\n");
  EXPECT_EQ(Template(Qt::Key_F1), "Dump");
  const std::size_t mark = ConsoleText().size();
  Key(Qt::Key_Return);
  ASSERT_TRUE(
      WaitUntil([&] { return ConsoleText().find("UDPSend\t\tOn\n", mark) != std::string::npos; }));
  EXPECT_EQ(Control<QPlainTextEdit>("TextMsg")->toPlainText().left(13).toStdString(),
            "Message from ");
  EXPECT_EQ(Control<QPlainTextEdit>("TextAsc")->toPlainText().size(), 38);

  EXPECT_EQ(Template(Qt::Key_F2), "SetIP 127.0.0.2");
  EXPECT_EQ(Template(Qt::Key_F3), "SetIP2 10.0.0.4");
  EXPECT_EQ(Template(Qt::Key_F4), "SetSendParams 00-11-22-33-44-55 127.0.0.1 2552");
  EXPECT_EQ(Template(Qt::Key_F5), "SetPeriod 50");
  EXPECT_EQ(Template(Qt::Key_F6), "SetLen 60");
  EXPECT_EQ(Template(Qt::Key_F7), "SetSiteID 1000");
  EXPECT_EQ(Template(Qt::Key_F8), "SetBaud 19200");
  EXPECT_EQ(Template(Qt::Key_F9), "SetUDP On");
  EXPECT_EQ(Template(Qt::Key_F10), "SetCOM On");
  EXPECT_EQ(Template(Qt::Key_F11), "Send 01-FE-03-00-01-01-FE-15-FF-00-00-00");
  EXPECT_EQ(Template(Qt::Key_F12), "Ack 1");  // no packet yet: the oldest the box holds
  EXPECT_EQ(Template(Qt::Key_F1, Qt::ShiftModifier), "SetResetInterval 9");

  // A template runs as typed: F5 and Enter set the period the box already has.
  Key(Qt::Key_F5);
  const std::size_t box_mark = box_->Out().size();
  Key(Qt::Key_Return);
  EXPECT_TRUE(WaitUntil([&] { return box_->Contains("box: period 50", box_mark); }));

  const QByteArray shot = qgetenv("RALVEK_WINDOW_SCREENSHOT");
  if (!shot.isEmpty()) {
    Type("dump", "UDPSend\t\tOn\n");
    EXPECT_TRUE(WaitUntil([&] { return !Control<QLineEdit>("TextTime")->text().isEmpty(); }));
    Prompt()->setText("setperiod 50");
    EXPECT_TRUE(window_->form.grab().save(QString::fromLocal8Bit(shot)));
  }
}

TEST_F(WindowTest, DataPacketsFillTheViewsAndF12AcknowledgesThem) {
  StartBox({"--records", "2", "--period", "1"});
  StartWindow();
  Type("use 127.0.0.2", "Current IP: 127.0.0.2\n");
  auto* caption = Control<QLabel>("labelIncome0");
  ASSERT_TRUE(
      WaitUntil([&] { return caption->text().startsWith("Message from (127.0.0.2: 2552 "); }));
  ASSERT_TRUE(WaitUntil(
      [&] { return Control<QPlainTextEdit>("TextAsc")->toPlainText().contains("CALL 00001"); }));
  EXPECT_TRUE(Control<QLabel>("labelIncome1")->text().startsWith("Ascii View (127.0.0.2:2552 "));
  EXPECT_EQ(Template(Qt::Key_F12), "Ack 1");
  const std::size_t mark = box_->Out().size();
  Key(Qt::Key_Return);
  EXPECT_TRUE(WaitUntil([&] { return box_->Contains("box: ack 1 removed", mark); }));
  EXPECT_TRUE(WaitUntil([&] { return Template(Qt::Key_F12) == "Ack 2"; }));
}

// The built program: with a display set it opens its window (nothing on standard output, the
// ports bound); SIGTERM closes it as Quit does.
TEST_F(WindowTest, ProgramChoosesTheWindowWhenADisplayIsSet) {
  QFile tmp(dir_.filePath("console.tmp"));
  ASSERT_TRUE(tmp.open(QIODevice::WriteOnly));
  tmp.close();
  QProcessEnvironment env = Environment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  console_ = std::make_unique<Program>(CONSOLE_EXE, QStringList{}, env);
  EXPECT_TRUE(WaitUntil([] { return PortBound(2554); }));
  console_->Pump(300);
  EXPECT_EQ(console_->Out().find("Ralvek Configuration Console"), std::string::npos);
  console_->Terminate();
  EXPECT_EQ(console_->WaitExit(), 0);
  EXPECT_FALSE(QFile::exists(dir_.filePath("console.tmp")));
}

}  // namespace
}  // namespace ralvek::console_e2e

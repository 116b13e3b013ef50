#pragma once
// FormMain: the console's Qt Widgets window. It shows what ConsoleCore writes (console text, the
// traffic views and their captions, error boxes) and turns the operator's keys and mouse into the
// core's calls: Enter in the prompt, the history keys, the function-key templates, Enter in the
// console with a selection, and the pop-up hints of the hex and text views.
// The window knows nothing of sockets or processes; run_window.cpp wires it to the core.
// Single-threaded: everything runs on the GUI thread.
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "console_core.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace ralvek::console {

class FormMain final : public QMainWindow, public ConsoleView {
 public:
  // Modal error boxes block like a message box; tests use non-modal ones so nothing waits for a
  // click.
  enum class ErrorBoxes { kModal, kNonModal };

  explicit FormMain(ErrorBoxes error_boxes = ErrorBoxes::kModal);
  ~FormMain() override;

  // REQUIRES: called once, before Form_Load; core and system must outlive the window's use of them
  // (until the window is closed or destroyed).
  void Attach(ConsoleCore& core, ConsoleSystem& system);
  // Start: the core's start (ports, settings, header), the caption, and Timer1.
  void Form_Load();
  // Runs once the window has closed (menu Quit, close button, or the quit command).
  void SetOnClosed(std::function<void()> on_closed) { on_closed_ = std::move(on_closed); }

  // The default button's action: runs the prompt's line when the prompt has the focus.
  void cmdRun_Click();

  // ConsoleView
  void ConsoleAppended(std::string_view text) override;
  void ConsoleReplaced(std::string_view whole_text) override;
  void ViewChanged(ViewId view) override;
  void ShowErrorBox(std::string_view label, std::string_view description) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void Watch(QObject* object);
  void RunPrompt(bool from_key);
  bool Form_KeyDown(int key, Qt::KeyboardModifiers modifiers);
  void TextConsole_Enter();
  void TextMsg2_MouseMove(Qt::MouseButtons buttons);
  void TextAsc_MouseMove();
  void Timer1_Timer();
  void PromptCaretToEnd();
  void ReportKeyError(const std::exception& e);

  ConsoleCore* core_ = nullptr;
  ConsoleSystem* system_ = nullptr;
  ErrorBoxes error_boxes_;
  std::function<void()> on_closed_;

  // Controls, owned by Qt's parent tree.
  QPlainTextEdit* TextConsole = nullptr;
  QLineEdit* TextPrompt = nullptr;
  QPushButton* cmdRun = nullptr;
  QPlainTextEdit* TextMsg = nullptr;
  QPlainTextEdit* TextMsg2 = nullptr;
  QPlainTextEdit* TextAsc = nullptr;
  std::array<QLabel*, 2> labelIncome{};
  QLineEdit* TextTime = nullptr;
  QMenu* menuFILE = nullptr;
  QAction* menuQUIT = nullptr;
  QTimer Timer1;

  std::vector<QObject*> watched_;
  // The prompt loses its selection with the focus; Enter in the console still needs it.
  int prompt_selection_start_ = -1;
  int prompt_selection_length_ = 0;
  bool running_command_ = false;  // a command that waits lets events run: no second one inside it
  bool enter_pending_ = false;
  bool closed_ = false;
  int open_modal_boxes_ = 0;
};

}  // namespace ralvek::console

#include "form_main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>
#include <memory>
#include <optional>

#include "widget_text.h"
#include "window_text.h"

namespace ralvek::console {
namespace {

QFont FixedFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

QFont ProportionalFont() {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  return font;
}

void SetColours(QWidget* widget, const QColor& text, const QColor& base) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Base, base);
  widget->setPalette(palette);
}

QPlainTextEdit* MakeView(const QString& name, QWidget* parent) {
  auto* view = new QPlainTextEdit(parent);
  view->setObjectName(name);
  view->setReadOnly(true);
  view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  view->setFocusPolicy(Qt::StrongFocus);
  view->setUndoRedoEnabled(false);
  view->setFont(FixedFont());
  // Tabs every eight characters, so the settings blocks line up as in a terminal.
  view->setTabStopDistance(8 * QFontMetricsF(view->font()).horizontalAdvance(QLatin1Char(' ')));
  view->setWordWrapMode(QTextOption::WrapAnywhere);
  view->viewport()->setMouseTracking(true);
  return view;
}

QFrame* MakeLine(const QString& name, QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setObjectName(name);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

std::optional<FunctionKey> ToFunctionKey(int key) {
  if (key < Qt::Key_F1 || key > Qt::Key_F12) return std::nullopt;
  return static_cast<FunctionKey>(key - Qt::Key_F1 + 1);
}

}  // namespace

FormMain::FormMain(ErrorBoxes error_boxes) : error_boxes_(error_boxes) {
  setObjectName(QStringLiteral("FormMain"));
  BuildControls();
  Timer1.setObjectName(QStringLiteral("Timer1"));
  Timer1.setParent(this);
  Timer1.setInterval(1000);
  Timer1.setSingleShot(true);
  connect(&Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
}

FormMain::~FormMain() {
  // The controls outlive this body; their last focus events must not reach a half-destroyed window.
  for (QObject* object : watched_) object->removeEventFilter(this);
}

void FormMain::BuildControls() {
  auto* central = new QWidget(this);
  auto* splitter = new QSplitter(Qt::Horizontal, central);
  auto* outer = new QVBoxLayout(central);
  outer->addWidget(splitter);
  setCentralWidget(central);

  auto* left = new QWidget(splitter);
  auto* left_layout = new QVBoxLayout(left);
  left_layout->setContentsMargins(0, 0, 0, 0);
  TextConsole = MakeView(QStringLiteral("TextConsole"), left);
  TextConsole->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  SetColours(TextConsole, Qt::white, Qt::black);
  left_layout->addWidget(TextConsole, 1);
  auto* prompt_row = new QHBoxLayout;
  TextPrompt = new QLineEdit(left);
  TextPrompt->setObjectName(QStringLiteral("TextPrompt"));
  TextPrompt->setFont(ProportionalFont());
  SetColours(TextPrompt, Qt::white, QColor(64, 64, 64));
  cmdRun = new QPushButton(QStringLiteral("Run"), left);
  cmdRun->setObjectName(QStringLiteral("cmdRun"));
  cmdRun->setDefault(true);
  // A click must leave the focus where it is: the button only acts for the prompt.
  cmdRun->setFocusPolicy(Qt::NoFocus);
  connect(cmdRun, &QPushButton::clicked, this, [this] { cmdRun_Click(); });
  prompt_row->addWidget(TextPrompt, 1);
  prompt_row->addWidget(cmdRun);
  left_layout->addLayout(prompt_row);

  auto* right = new QWidget(splitter);
  auto* right_layout = new QVBoxLayout(right);
  right_layout->setContentsMargins(0, 0, 0, 0);
  TextTime = new QLineEdit(right);
  TextTime->setObjectName(QStringLiteral("TextTime"));
  TextTime->setReadOnly(true);
  TextTime->setFont(ProportionalFont());
  right_layout->addWidget(TextTime);
  right_layout->addWidget(MakeLine(QStringLiteral("Line1"), right));
  for (std::size_t i = 0; i < labelIncome.size(); ++i) {
    labelIncome[i] = new QLabel(right);
    labelIncome[i]->setObjectName(QStringLiteral("labelIncome%1").arg(i));
    labelIncome[i]->setTextFormat(Qt::PlainText);
  }
  TextMsg2 = MakeView(QStringLiteral("TextMsg2"), right);
  TextAsc = MakeView(QStringLiteral("TextAsc"), right);
  TextMsg = MakeView(QStringLiteral("TextMsg"), right);
  right_layout->addWidget(labelIncome[0]);
  right_layout->addWidget(TextMsg2, 2);
  right_layout->addWidget(labelIncome[1]);
  right_layout->addWidget(TextAsc, 2);
  right_layout->addWidget(MakeLine(QStringLiteral("Line2"), right));
  right_layout->addWidget(TextMsg, 1);

  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  splitter->setSizes({620, 400});
  resize(1040, 640);

  menuFILE = menuBar()->addMenu(QStringLiteral("File"));
  menuFILE->setObjectName(QStringLiteral("menuFILE"));
  menuQUIT = menuFILE->addAction(QStringLiteral("Quit"));
  menuQUIT->setObjectName(QStringLiteral("menuQUIT"));
  connect(menuQUIT, &QAction::triggered, this, [this] { close(); });

  for (QObject* object :
       std::initializer_list<QObject*>{TextPrompt, TextConsole, TextMsg, TextMsg2, TextAsc,
                                       TextTime, TextMsg2->viewport(), TextAsc->viewport()}) {
    Watch(object);
  }
  TextPrompt->setFocus();
}

void FormMain::Watch(QObject* object) {
  object->installEventFilter(this);
  watched_.push_back(object);
}

void FormMain::Attach(ConsoleCore& core, ConsoleSystem& system) {
  core_ = &core;
  system_ = &system;
}

void FormMain::Form_Load() {
  core_->Load();
  setWindowTitle(QString::fromLatin1(core_->Caption().c_str()));
  Timer1.start();
  TextPrompt->setFocus();
}

void FormMain::cmdRun_Click() {
  RunPrompt(false);
}

void FormMain::RunPrompt(bool from_key) {
  if (!TextPrompt->hasFocus() || core_ == nullptr) return;
  if (running_command_) {
    enter_pending_ = true;
    return;
  }
  const QString typed = TextPrompt->text();
  const std::string line = FromWidgetText(typed);
  running_command_ = true;
  std::string after = line;
  try {
    after = core_->PromptEnter(line);
  } catch (const std::exception& e) {
    ReportKeyError(e);
  }
  running_command_ = false;
  if (closed_) return;
  // What the operator typed while the command waited is kept.
  if (after != line && TextPrompt->text() == typed) TextPrompt->setText(ToWidgetText(after));
  if (from_key) PromptCaretToEnd();
  if (enter_pending_) {
    enter_pending_ = false;
    QTimer::singleShot(0, this, [this] { RunPrompt(true); });
  }
}

void FormMain::PromptCaretToEnd() {
  TextPrompt->deselect();
  TextPrompt->setCursorPosition(static_cast<int>(TextPrompt->text().size()));
  TextPrompt->setFocus();
}

bool FormMain::Form_KeyDown(int key, Qt::KeyboardModifiers modifiers) {
  try {
    switch (key) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        if (cmdRun->isDefault()) RunPrompt(true);
        return true;
      case Qt::Key_Up:
        TextPrompt->setText(ToWidgetText(core_->HistoryUp()));
        TextPrompt->setCursorPosition(static_cast<int>(TextPrompt->text().size()));
        return true;
      case Qt::Key_Down:
        PromptCaretToEnd();
        return true;
      case Qt::Key_Escape:
        TextPrompt->clear();
        PromptCaretToEnd();
        return true;
      default:
        break;
    }
    const auto function_key = ToFunctionKey(key);
    if (!function_key || (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
      return false;
    const auto line =
        core_->FunctionKeyTemplate(*function_key, modifiers.testFlag(Qt::ShiftModifier));
    if (!line) return false;
    TextPrompt->setText(ToWidgetText(*line));
    PromptCaretToEnd();
    return true;
  } catch (const std::exception& e) {
    ReportKeyError(e);
    return true;
  }
}

void FormMain::ReportKeyError(const std::exception& e) {
  core_->PutToConsole({"Error:" + std::string(e.what()), "Procedure: Keydown"});
}

void FormMain::TextConsole_Enter() {
  const QTextCursor cursor = TextConsole->textCursor();
  if (cursor.hasSelection()) {
    std::size_t start = 0;
    std::size_t length = 0;
    if (TextPrompt->hasSelectedText()) {
      start = static_cast<std::size_t>(TextPrompt->selectionStart());
      length = static_cast<std::size_t>(TextPrompt->selectedText().size());
    } else if (prompt_selection_start_ >= 0) {
      start = static_cast<std::size_t>(prompt_selection_start_);
      length = static_cast<std::size_t>(prompt_selection_length_);
    }
    const std::string prompt = FromWidgetText(TextPrompt->text());
    if (start + length > prompt.size()) start = length = 0;
    const PromptEdit edit =
        ConsoleSelectionToPrompt(FromWidgetText(cursor.selectedText()), prompt, start, length);
    TextPrompt->setText(ToWidgetText(edit.text));
    TextPrompt->setCursorPosition(static_cast<int>(edit.caret));
  }
  prompt_selection_start_ = -1;
  TextPrompt->setFocus();
}

void FormMain::TextMsg2_MouseMove(Qt::MouseButtons buttons) {
  if (buttons != Qt::NoButton) return;
  const QString hint =
      ToWidgetText(HexViewHint(FromWidgetText(TextMsg2->textCursor().selectedText())));
  TextMsg2->setToolTip(hint);
}

void FormMain::TextAsc_MouseMove() {
  const std::string text = FromWidgetText(TextAsc->toPlainText());
  const std::string selection = FromWidgetText(TextAsc->textCursor().selectedText());
  TextAsc->setToolTip(ToWidgetText(AsciiViewHint(text, selection)));
}

void FormMain::Timer1_Timer() {
  Timer1.stop();
  if (system_ != nullptr) TextTime->setText(ToWidgetText(system_->TimeText()));
}

bool FormMain::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (core_ == nullptr) return false;
      if (watched == TextPrompt) return Form_KeyDown(key->key(), key->modifiers());
      if (watched == TextConsole && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        TextConsole_Enter();
        return true;
      }
      if (key->key() == Qt::Key_Escape) {
        TextPrompt->setFocus();
        return true;
      }
      return false;
    }
    case QEvent::FocusIn:
      if (watched == TextConsole) cmdRun->setDefault(false);
      if (watched == TextPrompt) prompt_selection_start_ = -1;
      return false;
    case QEvent::FocusOut:
      if (watched == TextConsole) cmdRun->setDefault(true);
      if (watched == TextPrompt && TextPrompt->hasSelectedText()) {
        prompt_selection_start_ = TextPrompt->selectionStart();
        prompt_selection_length_ = static_cast<int>(TextPrompt->selectedText().size());
      }
      return false;
    case QEvent::MouseMove: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (watched == TextMsg2->viewport()) TextMsg2_MouseMove(mouse->buttons());
      if (watched == TextAsc->viewport()) TextAsc_MouseMove();
      return false;
    }
    default:
      return false;
  }
}

void FormMain::ConsoleAppended(std::string_view text) {
  QTextCursor end(TextConsole->document());
  end.movePosition(QTextCursor::End);
  end.insertText(ToWidgetText(text));
  TextConsole->setTextCursor(end);
  TextConsole->ensureCursorVisible();
}

void FormMain::ConsoleReplaced(std::string_view whole_text) {
  TextConsole->setPlainText(ToWidgetText(whole_text));
  TextConsole->moveCursor(QTextCursor::End);
  TextConsole->ensureCursorVisible();
}

void FormMain::ViewChanged(ViewId view) {
  if (core_ == nullptr) return;
  const QString text = ToWidgetText(core_->View(view));
  switch (view) {
    case ViewId::kTextMsg:
      TextMsg->setPlainText(text);
      break;
    case ViewId::kTextMsg2:
      TextMsg2->setPlainText(text);
      break;
    case ViewId::kTextAsc:
      TextAsc->setPlainText(text);
      break;
    case ViewId::kLabelIncome0:
      labelIncome[0]->setText(text);
      break;
    case ViewId::kLabelIncome1:
      labelIncome[1]->setText(text);
      break;
  }
}

void FormMain::ShowErrorBox(std::string_view label, std::string_view description) {
  auto box = std::make_unique<QMessageBox>(
      QMessageBox::Critical, QStringLiteral("Error"),
      ToWidgetText(std::string(label) + "\r\n" + std::string(description)), QMessageBox::Ok, this);
  box->setTextFormat(Qt::PlainText);
  // A second error while a modal box waits is shown beside it rather than in a deeper nested loop.
  if (error_boxes_ == ErrorBoxes::kNonModal || open_modal_boxes_ > 0) {
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box.release()->show();  // owned by this window (its parent) and deleted when closed
    return;
  }
  ++open_modal_boxes_;
  box->exec();
  --open_modal_boxes_;
}

void FormMain::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    closed_ = true;
    Timer1.stop();
    try {
      if (core_ != nullptr) core_->Unload();
    } catch (...) {
      // closing ignores every failure
    }
  }
  event->accept();
  if (on_closed_) on_closed_();
}

}  // namespace ralvek::console

#include "app/views/terminal_view.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QSaveFile>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/message_presenter.h"
#include "app/views/speed_button.h"
#include "logic/transfer/application_title.h"

namespace tolvane {
namespace {

constexpr const char* SendCaption = "Send";
constexpr const char* SendHint = "Send";
constexpr const char* ClearCaption = "Clear";
constexpr const char* ClearHint = "Clear Terminal";
constexpr const char* SaveLogCaption = "Save Log...";
constexpr const char* SaveLogHint = "Save the terminal log to a file";
constexpr const char* SaveLogTitle = "Save Log";
constexpr const char* SaveLogFilter = "Text files (*.txt *.log);;All files (*)";
constexpr const char* SaveLogFailed = "Unable to write to %1: %2";
constexpr const char* LineEndName = "Line end";
constexpr const char* LineEndHint = "Added to each line sent";
constexpr int LogFontHeight = 12;
constexpr int Margin = 8;
constexpr int Spacing = 7;

QString EscapedControlByte(unsigned char Byte) {
  switch (Byte) {
    case '\r':
      return QStringLiteral("\\r");
    case '\n':
      return QStringLiteral("\\n");
    case '\t':
      return QStringLiteral("\\t");
    case '\0':
      return QStringLiteral("\\0");
    default:
      return QString::asprintf("\\x%02X", static_cast<unsigned>(Byte));
  }
}

QFont LogFont() {
  QFont Font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  Font.setPixelSize(LogFontHeight);
  return Font;
}

QString AskForLogFile(QWidget* Parent) {
  return QFileDialog::getSaveFileName(Parent, SaveLogTitle, "terminal.log", SaveLogFilter);
}

}  // namespace

QString LogLineOf(std::string_view Packet) {
  QString Line;
  Line.reserve(static_cast<qsizetype>(Packet.size()));
  for (const char Character : Packet) {
    const auto Byte = static_cast<unsigned char>(Character);
    if (Byte < 0x20 || Byte == 0x7F) {
      Line += EscapedControlByte(Byte);
    } else {
      Line += QChar(Byte);
    }
  }
  return Line;
}

QString TimedLogLine(const QTime& Time, const char* Mark, std::string_view Packet) {
  return Time.toString("HH:mm:ss.zzz") + ' ' + Mark + ' ' + LogLineOf(Packet);
}

TTerminalView::TTerminalView(QWidget* Parent)
    : QFrame(Parent), Clock_([] { return QTime::currentTime(); }), ChooseSaveFile_(AskForLogFile) {
  setObjectName("PanelTerminal");
  setGeometry(0, 0, 457, 169);

  Memo = new QPlainTextEdit(this);
  Memo->setObjectName("Memo");
  Memo->setReadOnly(true);
  Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo->setFont(LogFont());
  Memo->setMinimumHeight(60);

  Edit_Data = new QLineEdit(this);
  Edit_Data->setObjectName("Edit_Data");
  Edit_Data->setMinimumWidth(120);
  Edit_Data->setAccessibleName("Send line");
  Edit_Data->installEventFilter(this);

  LineEndChoice = new QComboBox(this);
  LineEndChoice->setObjectName("LineEndChoice");
  for (const TLineEndRow& Row : LineEnds) {
    LineEndChoice->addItem(QString::fromUtf8(Row.Name.data(), qsizetype(Row.Name.size())));
  }
  LineEndChoice->setAccessibleName(LineEndName);
  LineEndChoice->setToolTip(LineEndHint);
  connect(LineEndChoice, &QComboBox::activated, this, [this] {
    if (OnLineEndChanged) OnLineEndChanged(LineEnd());
  });

  Button4 = MakeSpeedButton(this, "Button4", SendCaption, SendHint, QIcon(), QRect(0, 0, 73, 25));
  Button4->setEnabled(false);
  Button5 = MakeSpeedButton(this, "Button5", ClearCaption, ClearHint, QIcon(), QRect(0, 0, 73, 25));
  Button5->setEnabled(false);
  ButtonSaveLog = MakeSpeedButton(this, "ButtonSaveLog", SaveLogCaption, SaveLogHint, QIcon(),
                                  QRect(0, 0, 73, 25));

  // Return in the send line is Send; a disabled Send ignores it.
  connect(Edit_Data, &QLineEdit::returnPressed, Button4, &QToolButton::click);
  connect(ButtonSaveLog, &QToolButton::clicked, this, [this] { SaveLogClick(); });

  auto* SendRow = new QHBoxLayout;
  SendRow->setSpacing(Spacing);
  SendRow->addWidget(Edit_Data, 1);
  SendRow->addWidget(LineEndChoice);
  SendRow->addWidget(Button4);
  SendRow->addWidget(Button5);
  SendRow->addWidget(ButtonSaveLog);

  // Every pixel the window grows by goes to the log.
  auto* Column = new QVBoxLayout(this);
  Column->setContentsMargins(Margin, Margin, Margin, Margin);
  Column->setSpacing(Spacing);
  Column->addWidget(Memo, 1);
  Column->addLayout(SendRow);

  setTabOrder(Edit_Data, LineEndChoice);
  setTabOrder(LineEndChoice, Button4);
  setTabOrder(Button4, Button5);
  setTabOrder(Button5, ButtonSaveLog);
  setTabOrder(ButtonSaveLog, Memo);
}

void TTerminalView::AppendLine(const char* Mark, std::string_view Packet) {
  // The log follows its newest line, unless the operator has scrolled back to read.
  QScrollBar* Bar = Memo->verticalScrollBar();
  const bool Following = !isVisible() || Bar->value() == Bar->maximum();
  Memo->appendPlainText(TimedLogLine(Clock_(), Mark, Packet));
  if (Following) Bar->setValue(Bar->maximum());
}

void TTerminalView::showEvent(QShowEvent* Event) {
  QFrame::showEvent(Event);
  // Coming into view: the send line takes the keys, and the log shows its newest lines once
  // it has its size.
  Edit_Data->setFocus();
  QTimer::singleShot(0, Memo, [this] { ScrollToNewest(); });
}

void TTerminalView::ScrollToNewest() {
  Memo->verticalScrollBar()->setValue(Memo->verticalScrollBar()->maximum());
}

TLineEnd TTerminalView::LineEnd() const {
  return LineEnds.at(std::size_t(std::max(0, LineEndChoice->currentIndex()))).LineEnd;
}

void TTerminalView::SetLineEnd(TLineEnd LineEnd) {
  LineEndChoice->setCurrentIndex(int(LineEnd));
}

void TTerminalView::LineSent() {
  const QString Line = Edit_Data->text();
  if (SentLines_.empty() || SentLines_.back() != Line) SentLines_.push_back(Line);
  if (SentLines_.size() > SentLineMemory) SentLines_.pop_front();
  Recalled_ = SentLines_.size();
  Edit_Data->selectAll();
}

void TTerminalView::RecallSentLine(bool Older) {
  if (Older) {
    if (Recalled_ == 0) return;
    --Recalled_;
  } else {
    if (Recalled_ >= SentLines_.size()) return;
    ++Recalled_;
  }
  Edit_Data->setText(Recalled_ < SentLines_.size() ? SentLines_[Recalled_] : QString());
}

bool TTerminalView::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == Edit_Data && Event->type() == QEvent::KeyPress) {
    const int Key = static_cast<QKeyEvent*>(Event)->key();
    if (Key == Qt::Key_Up || Key == Qt::Key_Down) {
      RecallSentLine(Key == Qt::Key_Up);
      return true;
    }
  }
  return QFrame::eventFilter(Watched, Event);
}

void TTerminalView::AppendPacket(std::string_view Packet) {
  AppendLine(ReceivedMark, Packet);
  ++LogLines_;
  if (LogLines_ == LogLineLimit) ClearLog();
}

void TTerminalView::AppendSent(const std::string& Packet) {
  AppendLine(SentMark, Packet);
}

void TTerminalView::AppendNote(const std::string& Note) {
  AppendLine(NoteMark, Note);
}

void TTerminalView::ClearLog() {
  Memo->clear();
  LogLines_ = 0;
}

void TTerminalView::SaveLogClick() {
  const QString FileName = ChooseSaveFile_(this);
  if (FileName.isEmpty()) return;
  QSaveFile File(FileName);
  QByteArray Text = Memo->toPlainText().toUtf8();
  if (!Text.isEmpty()) Text += '\n';
  if (!File.open(QIODevice::WriteOnly) || File.write(Text) != Text.size() || !File.commit()) {
    ShowErrorBox(QString::fromUtf8(ApplicationTitle),
                 QString(SaveLogFailed).arg(FileName, File.errorString()));
  }
}

}  // namespace tolvane

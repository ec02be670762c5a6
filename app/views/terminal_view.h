// The terminal view: the log of the packets sent and received, the send line and its Send, Clear
// and Save Log buttons.
#pragma once

#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTime>
#include <QToolButton>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "logic/files/line_end.h"

namespace tolvane {

// The log is emptied when an appended received line makes this many received lines.
inline constexpr int LogLineLimit = 1023;
// Up and Down in the send line walk back through this many lines sent.
inline constexpr std::size_t SentLineMemory = 50;
inline constexpr const char* SentMark = ">";
inline constexpr const char* ReceivedMark = "<";
inline constexpr const char* NoteMark = "!";

// The packet as one line of the log. Packets are byte strings; a control byte is shown escaped
// ("\r", "\n", "\t", "\0", else "\xNN") so that a packet holding a line end still takes exactly
// one line, and every other byte is shown as the Latin-1 character of that value.
QString LogLineOf(std::string_view Packet);

// "14:02:11.305 > ST0012;": the time, the direction mark and the packet.
QString TimedLogLine(const QTime& Time, const char* Mark, std::string_view Packet);

class TTerminalView : public QFrame {
  Q_OBJECT

 public:
  using TClock = std::function<QTime()>;
  // Asks for the file the log is saved to; an empty name cancels. Replaced by tests.
  using TSaveFileChooser = std::function<QString(QWidget* Parent)>;

  explicit TTerminalView(QWidget* Parent);

  // Appends a packet received (without its ";"); the 1023rd received line empties the log.
  void AppendPacket(std::string_view Packet);
  // Appends a packet as it was written to the port.
  void AppendSent(const std::string& Packet);
  // Appends a remark about the line itself (the device's note), not a packet.
  void AppendNote(const std::string& Note);
  void ClearLog();
  // Received lines in the log since it was last emptied.
  int LogLineCount() const { return LogLines_; }

  // What Send adds to the line: the choice beside the send line.
  TLineEnd LineEnd() const;
  // Shows the choice; the operator's own picks are told to OnLineEndChanged.
  void SetLineEnd(TLineEnd LineEnd);
  std::function<void(TLineEnd)> OnLineEndChanged;
  // The send line's text was sent: it is remembered for Up and Down and selected whole, so the
  // next typing replaces it.
  void LineSent();

  void SetClock(TClock Clock) { Clock_ = std::move(Clock); }
  void SetSaveFileChooser(TSaveFileChooser Chooser) { ChooseSaveFile_ = std::move(Chooser); }
  // Asks for a file and writes the log to it, one line per packet; a failure is shown in an
  // error box and the log stays.
  void SaveLogClick();

  QPlainTextEdit* Memo;
  QLineEdit* Edit_Data;
  QComboBox* LineEndChoice;
  QToolButton* Button4;  // Send
  QToolButton* Button5;  // Clear
  QToolButton* ButtonSaveLog;

 protected:
  void showEvent(QShowEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void AppendLine(const char* Mark, std::string_view Packet);
  void ScrollToNewest();
  // Up (Older) or Down through the lines sent; past the newest the line is empty again.
  void RecallSentLine(bool Older);

  int LogLines_ = 0;
  std::deque<QString> SentLines_;  // oldest first
  std::size_t Recalled_ = 0;       // SentLines_.size() while no sent line is shown
  TClock Clock_;
  TSaveFileChooser ChooseSaveFile_;
};

}  // namespace tolvane

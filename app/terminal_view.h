// The terminal view: the log of received packets, the send line and its Send and Clear buttons.
#pragma once

#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <string>

namespace tolvane {

// The log is emptied when an appended line makes it this long.
inline constexpr int LogLineLimit = 1023;

// The packet as one line of the log. Packets are byte strings; a control byte is shown escaped
// ("\r", "\n", "\t", "\0", else "\xNN") so that a packet holding a line end still takes exactly
// one line, and every other byte is shown as the Latin-1 character of that value.
QString LogLineOf(const std::string& Packet);

class TTerminalView : public QFrame {
  Q_OBJECT

 public:
  explicit TTerminalView(QWidget* Parent);

  // Appends Packet as one line; the line that makes the log 1023 lines long empties it.
  void AppendPacket(const std::string& Packet);
  void ClearLog();
  int LogLineCount() const { return LogLines_; }

  QPlainTextEdit* Memo;
  QLineEdit* Edit_Data;
  QToolButton* Button4;  // Send
  QToolButton* Button5;  // Clear

 private:
  int LogLines_ = 0;
};

}  // namespace tolvane

#include "app/terminal_view.h"

#include "app/speed_button.h"
#include "app/window_fonts.h"

namespace tolvane {
namespace {

constexpr const char* SendCaption = "Send";
constexpr const char* SendHint = "Send";
constexpr const char* ClearCaption = "Clear";
constexpr const char* ClearHint = "Clear Terminal";
constexpr int LogFontHeight = 8;

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

}  // namespace

QString LogLineOf(const std::string& Packet) {
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

TTerminalView::TTerminalView(QWidget* Parent) : QFrame(Parent) {
  setObjectName("PanelTerminal");
  setGeometry(0, 0, 457, 169);

  Memo = new QPlainTextEdit(this);
  Memo->setObjectName("Memo");
  Memo->setGeometry(8, 8, 441, 121);
  Memo->setReadOnly(true);
  Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo->setFont(SerifFont(LogFontHeight));

  Edit_Data = new QLineEdit(this);
  Edit_Data->setObjectName("Edit_Data");
  Edit_Data->setGeometry(8, 139, 281, 21);

  Button4 =
      MakeSpeedButton(this, "Button4", SendCaption, SendHint, QIcon(), QRect(296, 136, 73, 25));
  Button4->setEnabled(false);
  Button5 =
      MakeSpeedButton(this, "Button5", ClearCaption, ClearHint, QIcon(), QRect(376, 136, 73, 25));
  Button5->setEnabled(false);
}

void TTerminalView::AppendPacket(const std::string& Packet) {
  Memo->appendPlainText(LogLineOf(Packet));
  ++LogLines_;
  if (LogLines_ == LogLineLimit) ClearLog();
}

void TTerminalView::ClearLog() {
  Memo->clear();
  LogLines_ = 0;
}

}  // namespace tolvane

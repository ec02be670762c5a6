#include "app/views/terminal_view.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>

#include "recorded_messages.h"

namespace tolvane {
namespace {

int VisibleLines(const TTerminalView& View) {
  return View.Memo->document()->isEmpty() ? 0 : View.Memo->document()->blockCount();
}

// A terminal whose clock stands still, so its lines do not depend on the time of the run.
struct StoppedClockTerminal : testing::Test {
  StoppedClockTerminal() {
    View.SetClock([] { return QTime(14, 2, 11, 305); });
  }
  TTerminalView View{nullptr};
};

using TerminalLog = StoppedClockTerminal;

TEST_F(TerminalLog, EmptiesItselfWhenThe1023rdLineIsAppended) {
  for (int Line = 1; Line < LogLineLimit; ++Line) View.AppendPacket("ST001203200");
  EXPECT_EQ(VisibleLines(View), 1022);

  View.AppendPacket("ID200");
  EXPECT_EQ(VisibleLines(View), 0);
  EXPECT_EQ(View.LogLineCount(), 0);

  View.AppendPacket("ID200");
  EXPECT_EQ(VisibleLines(View), 1);
  EXPECT_EQ(View.Memo->toPlainText(), "14:02:11.305 < ID200");
}

TEST_F(TerminalLog, SentLinesShowTheirDirectionAndLeaveTheLimitToReceivedLines) {
  View.AppendSent("ST0012;");
  View.SetClock([] { return QTime(14, 2, 11, 342); });
  View.AppendPacket("ST001202900");
  EXPECT_EQ(View.Memo->toPlainText(), "14:02:11.305 > ST0012;\n14:02:11.342 < ST001202900");

  for (int Line = 2; Line < LogLineLimit; ++Line) {
    View.AppendSent("ID;");
    View.AppendPacket("ID200");
  }
  EXPECT_EQ(View.LogLineCount(), 1022);
  EXPECT_EQ(VisibleLines(View), 2 * 1022);
  View.AppendSent("ID;");
  EXPECT_EQ(VisibleLines(View), 2 * 1022 + 1);
  View.AppendPacket("ID200");
  EXPECT_EQ(VisibleLines(View), 0);
}

TEST_F(TerminalLog, APacketHoldingLineEndsOrNullsStaysOneLine) {
  View.AppendPacket(std::string("\r\nID200\0x", 9));
  View.AppendPacket("");
  EXPECT_EQ(VisibleLines(View), 2);
  EXPECT_EQ(View.Memo->document()->firstBlock().text(), "14:02:11.305 < \\r\\nID200\\0x");
  EXPECT_EQ(View.Memo->document()->lastBlock().text(), "14:02:11.305 < ");
}

TEST_F(TerminalLog, AmountOfLinesCountsPacketsWithLineEndsOnce) {
  for (int Line = 1; Line < LogLineLimit; ++Line) View.AppendPacket("\r\n");
  EXPECT_EQ(VisibleLines(View), 1022);
  View.AppendPacket("\n");
  EXPECT_EQ(VisibleLines(View), 0);
}

TEST_F(TerminalLog, ShowsEveryOtherByteAsItsLatin1Character) {
  EXPECT_EQ(LogLineOf("ST0012\xB0\x7F\x1B"), QString("ST0012") + QChar(0xB0) + "\\x7F\\x1B");
  EXPECT_EQ(LogLineOf("a\tb\\"), "a\\tb\\");
}

TEST_F(TerminalLog, ClearEmptiesTheLogAndRestartsTheCount) {
  for (int Line = 0; Line < 1000; ++Line) View.AppendPacket("x");
  View.ClearLog();
  for (int Line = 1; Line < LogLineLimit; ++Line) View.AppendPacket("y");
  EXPECT_EQ(VisibleLines(View), 1022);
}

TEST_F(TerminalLog, SaveLogWritesEveryLineToTheChosenFile) {
  QTemporaryDir Directory;
  const QString Chosen = Directory.filePath("session.log");
  int Asked = 0;
  View.SetSaveFileChooser([&](QWidget* Parent) {
    ++Asked;
    EXPECT_EQ(Parent, &View);
    return Chosen;
  });
  View.AppendSent("ST0012;");
  View.AppendPacket(std::string("ST0012\xB0", 7));
  View.ButtonSaveLog->click();

  EXPECT_EQ(Asked, 1);
  QFile Saved(Chosen);
  ASSERT_TRUE(Saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(Saved.readAll()),
            "14:02:11.305 > ST0012;\n14:02:11.305 < ST0012" + QString(QChar(0xB0)) + "\n");
  EXPECT_EQ(VisibleLines(View), 2) << "saving keeps the log";
}

TEST_F(TerminalLog, SaveLogCancelledWritesNothingAndAFailureIsShown) {
  TRecordedMessages Messages;
  QTemporaryDir Directory;
  View.AppendPacket("ID200");
  View.SetSaveFileChooser([](QWidget*) { return QString(); });
  View.SaveLogClick();
  EXPECT_TRUE(Messages.Boxes.empty());
  EXPECT_TRUE(QDir(Directory.path()).isEmpty());

  const QString Unreachable = Directory.filePath("missing/session.log");
  View.SetSaveFileChooser([&](QWidget*) { return Unreachable; });
  View.SaveLogClick();
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_TRUE(Messages.Boxes[0].Text.startsWith("Unable to write to " + Unreachable))
      << Messages.Boxes[0].Text.toStdString();
}

}  // namespace
}  // namespace tolvane

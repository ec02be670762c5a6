#include "app/terminal_view.h"

#include <gtest/gtest.h>

#include <QTextBlock>

namespace tolvane {
namespace {

int VisibleLines(const TTerminalView& View) {
  return View.Memo->document()->isEmpty() ? 0 : View.Memo->document()->blockCount();
}

TEST(TerminalLog, EmptiesItselfWhenThe1023rdLineIsAppended) {
  TTerminalView View(nullptr);
  for (int Line = 1; Line < LogLineLimit; ++Line) View.AppendPacket("ST001203200");
  EXPECT_EQ(VisibleLines(View), 1022);

  View.AppendPacket("ID200");
  EXPECT_EQ(VisibleLines(View), 0);
  EXPECT_EQ(View.LogLineCount(), 0);

  View.AppendPacket("ID200");
  EXPECT_EQ(VisibleLines(View), 1);
  EXPECT_EQ(View.Memo->toPlainText(), "ID200");
}

TEST(TerminalLog, APacketHoldingLineEndsOrNullsStaysOneLine) {
  TTerminalView View(nullptr);
  View.AppendPacket(std::string("\r\nID200\0x", 9));
  View.AppendPacket("");
  EXPECT_EQ(VisibleLines(View), 2);
  EXPECT_EQ(View.Memo->document()->firstBlock().text(), "\\r\\nID200\\0x");
  EXPECT_EQ(View.Memo->document()->lastBlock().text(), "");
}

TEST(TerminalLog, AmountOfLinesCountsPacketsWithLineEndsOnce) {
  TTerminalView View(nullptr);
  for (int Line = 1; Line < LogLineLimit; ++Line) View.AppendPacket("\r\n");
  EXPECT_EQ(VisibleLines(View), 1022);
  View.AppendPacket("\n");
  EXPECT_EQ(VisibleLines(View), 0);
}

TEST(TerminalLog, ShowsEveryOtherByteAsItsLatin1Character) {
  EXPECT_EQ(LogLineOf("ST0012\xB0\x7F\x1B"), QString("ST0012") + QChar(0xB0) + "\\x7F\\x1B");
  EXPECT_EQ(LogLineOf("a\tb\\"), "a\\tb\\");
}

TEST(TerminalLog, ClearEmptiesTheLogAndRestartsTheCount) {
  TTerminalView View(nullptr);
  for (int Line = 0; Line < 1000; ++Line) View.AppendPacket("x");
  View.ClearLog();
  for (int Line = 1; Line < LogLineLimit; ++Line) View.AppendPacket("y");
  EXPECT_EQ(VisibleLines(View), 1022);
}

}  // namespace
}  // namespace tolvane

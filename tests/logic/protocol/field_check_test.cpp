#include "logic/protocol/field_check.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "logic/protocol/controller_protocol.h"
#include "logic/protocol/register_table.h"

namespace tolvane {
namespace {

using namespace std::string_literals;

struct TFieldCase {
  std::string Text;
  bool Integer;
  bool Valid;
};

std::ostream& operator<<(std::ostream& Out, const TFieldCase& Case) {
  Out << '"';
  for (unsigned char Character : Case.Text) {
    if (Character >= 32 && Character < 127) {
      Out << Character;
    } else {
      Out << "\\x" << std::hex << static_cast<int>(Character) << std::dec;
    }
  }
  return Out << '"';
}

class FieldCheckTest : public testing::TestWithParam<TFieldCase> {};

TEST_P(FieldCheckTest, ChecksIntegerSyntaxThenLength) {
  EXPECT_EQ(IsWholeInteger(GetParam().Text), GetParam().Integer);
  EXPECT_EQ(IsValidFieldText(GetParam().Text), GetParam().Valid);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FieldCheckTest,
    testing::Values(
        // Five-character integers pass, written as typed.
        TFieldCase{"03200", true, true}, TFieldCase{" 1234", true, true},
        TFieldCase{"-0001", true, true}, TFieldCase{"+0001", true, true},
        TFieldCase{"$00FF", true, true}, TFieldCase{"$00ff", true, true},
        TFieldCase{"0x0Ab", true, true}, TFieldCase{"0X0aB", true, true},
        TFieldCase{"x00FF", true, true}, TFieldCase{"X00FF", true, true},
        TFieldCase{"-$0FF", true, true}, TFieldCase{"   -1", true, true},
        TFieldCase{"99999", true, true},
        // Integers of another length.
        TFieldCase{"3200", true, false}, TFieldCase{"032000", true, false},
        TFieldCase{"0", true, false}, TFieldCase{"$FF", true, false},
        // Not integers.
        TFieldCase{"", false, false}, TFieldCase{"     ", false, false},
        TFieldCase{"0320A", false, false}, TFieldCase{"1234 ", false, false},
        TFieldCase{"12;34", false, false}, TFieldCase{"0123;", false, false},
        TFieldCase{"0x", false, false}, TFieldCase{"$", false, false},
        TFieldCase{"   0x", false, false}, TFieldCase{"+-123", false, false},
        TFieldCase{"--123", false, false}, TFieldCase{"+", false, false},
        TFieldCase{"$-123", false, false}, TFieldCase{"0x$12", false, false},
        TFieldCase{"\t1234", false, false}, TFieldCase{"1.234", false, false},
        TFieldCase{"$00FG", false, false}, TFieldCase{"0b101", false, false},
        TFieldCase{"\xC3\xA9"
                   "123",
                   false, false},
        TFieldCase{"\xD9"
                   "1234",
                   false, false},
        TFieldCase{"12\0"s
                   "34",
                   false, false},
        TFieldCase{"\xFF\xFF\xFF\xFF\xFF", false, false}, TFieldCase{"1234\n", false, false},
        // Longer texts: the 32-bit range.
        TFieldCase{"2147483647", true, false}, TFieldCase{"-2147483648", true, false},
        TFieldCase{"2147483648", false, false}, TFieldCase{"$7FFFFFFF", true, false},
        TFieldCase{"$80000000", false, false}, TFieldCase{"-$80000000", true, false},
        TFieldCase{"99999999999999999999", false, false}));

// Putting every byte value at every position of several passing texts: only the characters of
// the integer syntax ever pass, so no ";" (or line end, or NUL) can reach a write packet.
TEST(FieldCheckPacketTest, NoPassingTextCanBreakTheWritePacketFrame) {
  std::string Allowed(256, '.');
  for (const std::string& Template : {"03200"s, " 1234"s, "-0001"s, "$00FF"s, "0x0Ab"s}) {
    for (std::size_t Position = 0; Position < Template.size(); ++Position) {
      for (int Code = 0; Code < 256; ++Code) {
        std::string Text = Template;
        Text[Position] = static_cast<char>(Code);
        if (IsValidFieldText(Text)) Allowed[static_cast<std::size_t>(Code)] = 'y';
      }
    }
  }
  std::string Passing;
  for (std::size_t Code = 0; Code < Allowed.size(); ++Code) {
    if (Allowed[Code] == 'y') Passing += static_cast<char>(Code);
  }
  EXPECT_EQ(Passing, " $+-0123456789ABCDEFXabcdefx");

  // So a write packet made from a passing text is always "ST" + address + 5 characters + ";".
  for (const std::string& Value : {"03200"s, " 1234"s, "-0001"s, "$00FF"s, "0xfff"s}) {
    ASSERT_TRUE(IsValidFieldText(Value));
    for (std::size_t Row = 0; Row < RegisterTable.size(); ++Row) {
      const std::string Packet = RegisterWritePacket(Row, Value);
      EXPECT_EQ(Packet.size(), 2 + 4 + FieldTextLength + 1);
      EXPECT_EQ(Packet.find(';'), Packet.size() - 1);
      EXPECT_EQ(Packet.substr(0, 6), "ST" + std::string(RegisterTable[Row].Address));
    }
  }
}

}  // namespace
}  // namespace tolvane

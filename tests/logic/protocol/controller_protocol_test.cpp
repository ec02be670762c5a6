#include "logic/protocol/controller_protocol.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "logic/protocol/register_table.h"

namespace tolvane {
namespace {

using namespace std::string_literals;

TEST(RegisterTableTest, AddressesRunEvenFrom0012To0032InStepOrder) {
  int ExpectedAddress = 12;
  for (std::size_t Row = 0; Row < RegisterTable.size(); ++Row) {
    EXPECT_EQ(RegisterTable[Row].Step, static_cast<int>(Row) + 1);
    EXPECT_EQ(std::stoi(std::string(RegisterTable[Row].Address)), ExpectedAddress);
    EXPECT_EQ(RegisterTable[Row].Address.size(), 4u);
    ExpectedAddress += 2;
  }
}

TEST(ControllerProtocolTest, BuildsRequestsAndWritesForEveryRow) {
  EXPECT_EQ(RegisterReadPacket(0), "ST0012;");
  EXPECT_EQ(RegisterReadPacket(1), "ST0014;");
  EXPECT_EQ(RegisterReadPacket(10), "ST0032;");
  EXPECT_EQ(RegisterWritePacket(0, "03200"), "ST001203200;");
  EXPECT_EQ(RegisterWritePacket(10, "00050"), "ST003200050;");
  EXPECT_EQ(IdentifyPacket, "ID;");
  EXPECT_EQ(DisconnectPacket, "DI;");
}

struct TPacketCase {
  std::string Name;
  std::string Packet;
  bool Confirms;
  std::optional<TFieldUpdate> Update;
};

std::ostream& operator<<(std::ostream& Out, const TPacketCase& Case) {
  return Out << Case.Name;
}

class InterpretPacketTest : public testing::TestWithParam<TPacketCase> {};

TEST_P(InterpretPacketTest, GivesTheExpectedMeaning) {
  const TPacketCase& Case = GetParam();
  const TPacketMeaning Meaning = InterpretPacket(Case.Packet);
  EXPECT_EQ(Meaning.IdentificationConfirmed, Case.Confirms);
  EXPECT_EQ(Meaning.FieldUpdate, Case.Update);
}

INSTANTIATE_TEST_SUITE_P(
    Packets, InterpretPacketTest,
    testing::Values(TPacketCase{"RegisterValue", "ST001203200", false, TFieldUpdate{0, "03200"}},
                    TPacketCase{"LastRegister", "ST003200050", false, TFieldUpdate{10, "00050"}},
                    TPacketCase{"NineCharactersAtMost", "ST0014123456789012", false,
                                TFieldUpdate{1, "123456789"}},
                    TPacketCase{"ShortValueAsItComes", "ST00167", false, TFieldUpdate{2, "7"}},
                    TPacketCase{"AddressAloneGivesEmptyText", "ST0012", false, TFieldUpdate{0, ""}},
                    TPacketCase{"OddAddress", "ST001303200", false, std::nullopt},
                    TPacketCase{"AddressOutsideTable", "ST003400050", false, std::nullopt},
                    TPacketCase{"IncompleteAddress", "ST001", false, std::nullopt},
                    TPacketCase{"CommandOnly", "ST", false, std::nullopt},
                    TPacketCase{"LowerCaseCommand", "st001203200", false, std::nullopt},
                    TPacketCase{"LineEndBeforeCommand", "\r\nST001203200", false, std::nullopt},
                    TPacketCase{"Identified", "ID200", true, std::nullopt},
                    TPacketCase{"IdentifiedWithMore", "ID2001", true, std::nullopt},
                    TPacketCase{"OtherStatus", "ID201", false, std::nullopt},
                    TPacketCase{"LowerCaseIdentify", "id200", false, std::nullopt},
                    TPacketCase{"ShortStatus", "ID20", false, std::nullopt},
                    TPacketCase{"IdentifyOnly", "ID", false, std::nullopt},
                    TPacketCase{"Empty", "", false, std::nullopt},
                    TPacketCase{"OneCharacter", "S", false, std::nullopt},
                    TPacketCase{"NulInValue",
                                "ST0012\0\xFF"
                                "12"s,
                                false,
                                TFieldUpdate{0,
                                             "\0\xFF"
                                             "12"s}},
                    TPacketCase{"NulInAddress",
                                "ST00\0"s
                                "2032",
                                false, std::nullopt},
                    TPacketCase{"NulInStatus",
                                "ID2\0"s
                                "0",
                                false, std::nullopt},
                    TPacketCase{"HighByteCommand", "\xFFST001203200", false, std::nullopt}),
    [](const testing::TestParamInfo<TPacketCase>& Info) { return Info.param.Name; });

}  // namespace
}  // namespace tolvane

#include "serialport/base/value_names.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "serialport/base/integer_text.h"

namespace tolvane {
namespace {

// Every name of every table parses back to its own ordinal, in any letter case.
template <typename Enum, std::size_t Count>
void ExpectNamesRoundTrip(const std::array<const char*, Count>& Names, std::string (*ToName)(Enum),
                          Enum (*FromName)(const std::string&)) {
  for (std::size_t Ordinal = 0; Ordinal < Count; ++Ordinal) {
    const auto Value = static_cast<Enum>(Ordinal);
    const std::string Name = ToName(Value);
    EXPECT_EQ(Name, Names[Ordinal]);
    EXPECT_EQ(FromName(Name), Value) << Name;
    std::string Lower = Name;
    for (char& Letter : Lower) Letter = static_cast<char>(std::tolower(Letter));
    EXPECT_EQ(FromName(Lower), Value) << Lower;
  }
}

TEST(ValueNamesTest, EveryNameRoundTripsCaseInsensitively) {
  ExpectNamesRoundTrip(BaudRateNames, BaudRateToName, NameToBaudRate);
  ExpectNamesRoundTrip(StopBitsNames, StopBitsToName, NameToStopBits);
  ExpectNamesRoundTrip(DataBitsNames, DataBitsToName, NameToDataBits);
  ExpectNamesRoundTrip(ParityNames, ParityToName, NameToParity);
  ExpectNamesRoundTrip(FlowControlNames, FlowControlToName, NameToFlowControl);
  ExpectNamesRoundTrip(DTRControlNames, DTRControlToName, NameToDTRControl);
  ExpectNamesRoundTrip(RTSControlNames, RTSControlToName, NameToRTSControl);
}

TEST(ValueNamesTest, UnknownTextGivesEachTypesFallback) {
  EXPECT_EQ(NameToBaudRate("custom"), TBaudRate::brCustom);
  EXPECT_EQ(NameToBaudRate("31250"), TBaudRate::br9600);
  EXPECT_EQ(NameToBaudRate(" 19200"), TBaudRate::br9600);  // no trimming
  EXPECT_EQ(NameToBaudRate(""), TBaudRate::br9600);
  EXPECT_EQ(NameToStopBits("1.50"), TStopBits::sbOneStopBit);
  EXPECT_EQ(NameToDataBits("9"), TDataBits::dbEight);
  EXPECT_EQ(NameToParity("Parity"), TParityBits::prNone);
  EXPECT_EQ(NameToFlowControl("none"), TFlowControl::fcNone);
  EXPECT_EQ(NameToFlowControl("RTS"), TFlowControl::fcCustom);
  EXPECT_EQ(NameToDTRControl("on"), TDTRFlowControl::dtrDisable);
  EXPECT_EQ(NameToRTSControl("toggle "), TRTSFlowControl::rtsDisable);
}

TEST(ValueNamesTest, AValueOutsideTheTableHasNoName) {
  EXPECT_EQ(BaudRateToName(static_cast<TBaudRate>(16)), "");
  EXPECT_EQ(RTSControlToName(static_cast<TRTSFlowControl>(200)), "");
}

TEST(ValueNamesTest, OnlyYesInAnyCaseIsTrue) {
  EXPECT_EQ(BoolToName(true), "Yes");
  EXPECT_EQ(BoolToName(false), "No");
  for (const char* Text : {"Yes", "yes", "YES", "yEs"}) EXPECT_TRUE(NameToBool(Text)) << Text;
  for (const char* Text : {"True", "1", "", "No", " yes", "yes "}) {
    EXPECT_FALSE(NameToBool(Text)) << Text;
  }
}

TEST(ValueNamesTest, CharactersAreThemselvesFrom33To127AndCodesOtherwise) {
  struct Row {
    int Code;
    const char* Name;
  };
  const std::vector<Row> Rows = {{0, "#0"},     {13, "#13"},  {32, "#32"},   {33, "!"},
                                 {'A', "A"},    {'~', "~"},   {127, "\x7f"}, {128, "#128"},
                                 {200, "#200"}, {255, "#255"}};
  for (const Row& Case : Rows) {
    const char Value = static_cast<char>(Case.Code);
    EXPECT_EQ(CharToName(Value), Case.Name) << Case.Code;
    EXPECT_EQ(NameToChar(Case.Name), Value) << Case.Name;
  }
}

TEST(ValueNamesTest, NameToCharReadsCodesFirstCharactersAndBadText) {
  struct Row {
    const char* Name;
    int Code;
  };
  const std::vector<Row> Rows = {
      {"#13", 13}, {"#", '#'},   {"A", 'A'},     {"", 0},     {"#A", 0},           {"#300", 44},
      {"ab", 'a'}, {"#-1", 255}, {"#0x41", 'A'}, {"#1 3", 0}, {"#99999999999", 0},
  };
  for (const Row& Case : Rows) {
    EXPECT_EQ(static_cast<unsigned char>(NameToChar(Case.Name)), Case.Code) << Case.Name;
  }
}

TEST(IntegerTextTest, DecimalAndHexadecimalOnly) {
  struct Row {
    const char* Text;
    std::optional<std::int32_t> Value;
  };
  const std::vector<Row> Rows = {
      {"0", 0},
      {"42", 42},
      {"-42", -42},
      {"+7", 7},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"0x1F", 31},
      {"0XfF", 255},
      {"0xFFFFFFFF", -1},
      {"2147483648", std::nullopt},
      {"0x100000000", std::nullopt},
      {"0x", std::nullopt},
      {"0x-1", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"+-1", std::nullopt},
      {" 1", std::nullopt},
      {"1 ", std::nullopt},
      {"12abc", std::nullopt},
      {"$1F", std::nullopt},
  };
  for (const Row& Case : Rows) EXPECT_EQ(ParseInteger(Case.Text), Case.Value) << Case.Text;
}

}  // namespace
}  // namespace tolvane

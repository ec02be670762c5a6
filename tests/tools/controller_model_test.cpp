#include "tools/controller_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "logic/protocol/register_table.h"

namespace tolvane {
namespace {

struct TAnswerCase {
  std::string Packet;
  std::string Reply;
};

TEST(ControllerModelTest, AnswersEachPacketLikeTheController) {
  const std::vector<TAnswerCase> Cases = {
      {"ID", "ID200;"},
      {"ST0012", "ST001202900;"},
      {"ST0014", "ST001400850;"},
      {"ST0016", "ST001600550;"},
      {"ST0018", "ST001800200;"},
      {"ST0020", "ST002000025;"},
      {"ST0022", "ST002200060;"},
      {"ST0024", "ST002400005;"},
      {"ST0026", "ST002600020;"},
      {"ST0028", "ST002800003;"},
      {"ST0030", "ST003000015;"},
      {"ST0032", "ST003200030;"},
      {"ST001201234", "ST001201234;"},  // a write is answered with the new value
      {"\r\nST0012", "ST001202900;"},   // line ends typed at a terminal do not matter
      {"DI", ""},
      {"ST0013", ""},        // odd address
      {"ST0034", ""},        // beyond the table
      {"ST00", ""},          // too short
      {"ST00x2", ""},        // not digits
      {"ST00120123", ""},    // value too short
      {"ST0012012345", ""},  // value too long
      {"ST0012\x01\x02\x03\x04\x05", ""},
      {"st0012", ""},  // case matters
      {"id", ""},
      {"IDX", ""},
      {"", ""},
      {"XYZ", ""},
  };
  for (const TAnswerCase& Case : Cases) {
    SCOPED_TRACE(Case.Packet);
    TControllerModel Model;
    const TControllerEvent Event = Model.Answer(Case.Packet);
    EXPECT_EQ(Event.Packet, Case.Packet);
    EXPECT_EQ(Event.Reply, Case.Reply);
    EXPECT_FALSE(Event.Note.empty());
  }
}

TEST(ControllerModelTest, WriteIsStoredAndReadBack) {
  TControllerModel Model;
  EXPECT_TRUE(Model.Answer("ST0030 1 2 ").Stored);
  EXPECT_EQ(Model.Registers().at("0030"), " 1 2 ");
  EXPECT_EQ(Model.Answer("ST0030").Reply, "ST0030 1 2 ;");
  EXPECT_FALSE(Model.Answer("ST0030").Stored);
  EXPECT_FALSE(Model.Answer("ST0031abcde").Stored);
  EXPECT_EQ(Model.Registers(), [] {
    TRegisterMap Expected = DefaultRegisters();
    Expected["0030"] = " 1 2 ";
    return Expected;
  }());
}

TEST(ControllerModelTest, FaultyRegistersStaySilentOrKeepTheirOldValue) {
  TControllerModel Model({}, DefaultRegisters(), {{"0016"}, {"0020"}, {}});
  EXPECT_EQ(Model.Answer("ST0016").Reply, "");
  EXPECT_EQ(Model.Answer("ST001600001").Reply, "");
  const TControllerEvent Write = Model.Answer("ST002000099");
  EXPECT_EQ(Write.Reply, "ST002000099;") << "the write is answered as if stored";
  EXPECT_FALSE(Write.Stored);
  EXPECT_EQ(Model.Answer("ST0020").Reply, "ST002000025;") << "reading back shows the old value";
  EXPECT_EQ(Model.Registers(), DefaultRegisters());

  TControllerModel Garbled({}, DefaultRegisters(), {{}, {}, {{"0012", "12x45"}}});
  EXPECT_EQ(Garbled.Answer("ST0012").Reply, "ST001212x45;") << "a read gets the text given";
  EXPECT_EQ(Garbled.Answer("ST001203000").Reply, "ST001203000;") << "a write is stored";
  EXPECT_EQ(Garbled.Registers().at("0012"), "03000");
}

TEST(ControllerModelTest, FactoryValuesAreNumbersThatDifferFromTheUtilitysDefaults) {
  const TRegisterMap Factory = DefaultRegisters();
  ASSERT_EQ(Factory.size(), RegisterTable.size());
  for (const TRegisterRow& Row : RegisterTable) {
    const std::string& Value = Factory.at(std::string(Row.Address));
    EXPECT_NE(Value, Row.Default) << Row.Address;
    EXPECT_EQ(Value.size(), RegisterValueLength) << Row.Address;
    EXPECT_TRUE(std::all_of(Value.begin(), Value.end(), [](unsigned char C) {
      return std::isdigit(C) != 0;
    })) << Row.Address;
  }
}

TEST(ControllerModelTest, DisconnectNoticeIsNoted) {
  TControllerModel Model;
  const TControllerEvent Event = Model.Answer("DI");
  EXPECT_EQ(Event.Note, "DI noted");
  EXPECT_TRUE(Event.Reply.empty());
}

struct TIdentifyCase {
  const char* Name;
  TIdentifyRule Rule;
  std::vector<std::string> Replies;  // to five polls in a row
};

TEST(ControllerModelTest, IdentificationFollowsItsRule) {
  const std::vector<TIdentifyCase> Cases = {
      {"at once", {}, {"ID200;", "ID200;", "ID200;", "ID200;", "ID200;"}},
      {"from the third poll", {3, false, "200"}, {"", "", "ID200;", "ID200;", "ID200;"}},
      {"never", {1, true, "200"}, {"", "", "", "", ""}},
      {"another status", {1, false, "503"}, {"ID503;", "ID503;", "ID503;", "ID503;", "ID503;"}},
  };
  for (const TIdentifyCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TControllerModel Model(Case.Rule);
    std::vector<std::string> Replies;
    for (int Poll = 0; Poll < 5; ++Poll) Replies.push_back(Model.Answer("ID").Reply);
    EXPECT_EQ(Replies, Case.Replies);
  }
}

TEST(ControllerModelTest, PollCountStartsAgainAfterDisconnectAndRestart) {
  TControllerModel Model({2, false, "200"});
  EXPECT_EQ(Model.Answer("ID").Reply, "");
  EXPECT_EQ(Model.Answer("ID").Reply, "ID200;");
  Model.Answer("DI");
  EXPECT_EQ(Model.Answer("ID").Reply, "");
  EXPECT_EQ(Model.Answer("ID").Reply, "ID200;");
  Model.Restart();
  EXPECT_EQ(Model.Answer("ID").Reply, "");
}

std::vector<std::string> Packets(const std::vector<TControllerEvent>& Events) {
  std::vector<std::string> Result;
  for (const TControllerEvent& Event : Events) Result.push_back(Event.Packet);
  return Result;
}

TEST(ControllerModelTest, ReceivedBytesAreCutAtEverySemicolon) {
  const std::string Text = "ID;ST0012;DI;";
  for (std::size_t Split = 0; Split <= Text.size(); ++Split) {
    SCOPED_TRACE(Split);
    TControllerModel Model;
    std::vector<std::string> Seen = Packets(Model.Receive(Text.substr(0, Split)));
    for (const std::string& Packet : Packets(Model.Receive(Text.substr(Split)))) {
      Seen.push_back(Packet);
    }
    EXPECT_EQ(Seen, (std::vector<std::string>{"ID", "ST0012", "DI"}));
  }
}

TEST(ControllerModelTest, OverlongPacketIsDroppedUpToItsEnd) {
  TControllerModel Model;
  std::string Noise(TControllerModel::MaxPacketLength * 3, '\xFF');
  Noise[7] = '\0';
  const std::vector<TControllerEvent> Events = Model.Receive(Noise + ";ID;");
  ASSERT_EQ(Events.size(), 2u);
  EXPECT_EQ(Events[0].Reply, "");
  EXPECT_LE(Events[0].Packet.size(), TControllerModel::MaxPacketLength + 1);
  // The tail of the noise does not join the next packet.
  EXPECT_EQ(Events[1].Packet, "ID");
  EXPECT_EQ(Events[1].Reply, "ID200;");
}

TEST(ControllerModelTest, PacketOfTheLongestAllowedLengthIsKept) {
  TControllerModel Model;
  const std::string Longest(TControllerModel::MaxPacketLength, 'x');
  EXPECT_EQ(Packets(Model.Receive(Longest + ";")), std::vector<std::string>{Longest});
  EXPECT_EQ(Model.Receive(std::string(TControllerModel::MaxPacketLength + 1, 'x')).size(), 1u);
  EXPECT_TRUE(Model.Receive("x;").empty());
}

TEST(ControllerModelTest, RestartForgetsAPartialPacket) {
  TControllerModel Model;
  EXPECT_TRUE(Model.Receive("ST00").empty());
  Model.Restart();
  EXPECT_EQ(Packets(Model.Receive("ID;")), std::vector<std::string>{"ID"});
}

}  // namespace
}  // namespace tolvane

#include "serialport/device/network/telnet_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvane {
namespace {

using namespace telnet;
using TBytes = std::vector<std::uint8_t>;
constexpr std::uint8_t Nop = 241;

TTelnetInput DecodeInTwo(const TBytes& Wire, std::size_t Split) {
  TTelnetCodec Codec;
  TTelnetInput Input;
  Codec.Decode(Wire.data(), Split, Input);
  Codec.Decode(Wire.data() + Split, Wire.size() - Split, Input);
  return Input;
}

TEST(TelnetCodec, EveryCommandAndEscapeSurvivesASplitAtAnyPoint) {
  // Data with a doubled IAC, a NOP, an option command and a subnegotiation whose payload holds
  // a doubled IAC, then more data.
  const TBytes Wire = {'a',     Iac, Iac, 'b', Iac, 241, Iac, Will, Binary, Iac, Sb,
                       ComPort, 101, 0,   0,   Iac, Iac, 0,   Iac,  Se,     'c'};
  for (std::size_t Split = 0; Split <= Wire.size(); ++Split) {
    const TTelnetInput Input = DecodeInTwo(Wire, Split);
    EXPECT_EQ(Input.Data, (TBytes{'a', Iac, 'b', 'c'})) << "split at " << Split;
    ASSERT_EQ(Input.Subnegotiations.size(), 1u) << "split at " << Split;
    EXPECT_EQ(Input.Subnegotiations[0].Option, ComPort);
    EXPECT_EQ(Input.Subnegotiations[0].Payload, (TBytes{101, 0, 0, Iac, 0}));
  }
}

// Only IAC SE ends a subnegotiation: a command inside one is the server's error, counted once,
// and the broken subnegotiation is never handed out as a (cut-off) answer, at any split.
TEST(TelnetCodec, OnlyIacSeEndsASubnegotiationAndACommandInsideOneIsAnError) {
  const TBytes Wire = {Iac, Sb,  ComPort, 101,     0,   Iac, Will, Echo, 0,   Iac, Nop, 0,  Iac,
                       Se,  Iac, Sb,      ComPort, 101, 0,   0,    37,   128, Iac, Se,  'x'};
  for (std::size_t Split = 0; Split <= Wire.size(); ++Split) {
    const TTelnetInput Input = DecodeInTwo(Wire, Split);
    EXPECT_EQ(Input.ProtocolErrors, 1u) << "split at " << Split;
    ASSERT_EQ(Input.Subnegotiations.size(), 1u) << "split at " << Split;
    EXPECT_EQ(Input.Subnegotiations[0].Payload, (TBytes{101, 0, 0, 37, 128}));
    EXPECT_EQ(Input.Data, TBytes{'x'}) << "split at " << Split;
    EXPECT_TRUE(Input.Replies.empty()) << "a command inside is no negotiation";
  }
}

TEST(TelnetCodec, TheClientTakesASerialServersOffersAndRefusesEcho) {
  TTelnetCodec Codec;
  EXPECT_EQ(Codec.Offers(), (TBytes{Iac, Will, ComPort, Iac, Will, Binary, Iac, Will,
                                    SuppressGoAhead, Iac, Do, Binary, Iac, Do, SuppressGoAhead}));
  EXPECT_FALSE(Codec.ComPortAgreed());
  // What a serial server sends when a client connects.
  const TBytes Offers = {
      Iac, Will, SuppressGoAhead, Iac, Do,   SuppressGoAhead, Iac, Will, Echo,   Iac, Dont, Echo,
      Iac, Do,   Binary,          Iac, Will, Binary,          Iac, Do,   ComPort};
  TTelnetInput Input;
  Codec.Decode(Offers.data(), Offers.size(), Input);
  EXPECT_EQ(Input.Replies, (TBytes{Iac, Dont, Echo})) << "agreements are not answered again";
  EXPECT_TRUE(Codec.ComPortAgreed());
  EXPECT_TRUE(Input.Data.empty());

  // Asked again, an agreed option gets no answer, so two peers cannot loop; an unknown one is
  // refused; withdrawing an agreed one is acknowledged once.
  const TBytes Later = {Iac, Do, ComPort, Iac, Do, 24, Iac, Dont, Binary, Iac, Dont, Binary};
  TTelnetInput Next;
  Codec.Decode(Later.data(), Later.size(), Next);
  EXPECT_EQ(Next.Replies, (TBytes{Iac, Wont, 24, Iac, Wont, Binary}));
}

TEST(TelnetCodec, AnOverlongSubnegotiationIsDroppedAndTheStreamGoesOn) {
  TBytes Wire = {Iac, Sb, ComPort};
  Wire.insert(Wire.end(), TTelnetCodec::LongestPayload + 10, 7);
  Wire.insert(Wire.end(), {Iac, Se, 'z'});
  TTelnetCodec Codec;
  TTelnetInput Input;
  Codec.Decode(Wire.data(), Wire.size(), Input);
  EXPECT_TRUE(Input.Subnegotiations.empty());
  EXPECT_EQ(Input.Data, TBytes{'z'});
}

TEST(TelnetCodec, OutgoingDataAndPayloadsDoubleTheIac) {
  const TBytes Data = {1, Iac, 2};
  TBytes Wire;
  TTelnetCodec::AppendData(Wire, Data.data(), Data.size());
  EXPECT_EQ(Wire, (TBytes{1, Iac, Iac, 2}));
  Wire.clear();
  TTelnetCodec::AppendSubnegotiation(Wire, ComPort, {1, 0, 0, 0, Iac});
  EXPECT_EQ(Wire, (TBytes{Iac, Sb, ComPort, 1, 0, 0, 0, Iac, Iac, Iac, Se}));
}

}  // namespace
}  // namespace tolvane

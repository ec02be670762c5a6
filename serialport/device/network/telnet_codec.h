// Telnet framing and option negotiation as a client of a serial-port server needs them: data
// with the IAC byte (255) doubled, option commands (WILL, WONT, DO, DONT) answered by the rules
// of RFC 1143 so that no two peers can loop, and subnegotiations (IAC SB ... IAC SE) handed out
// whole. A subnegotiation ends only at IAC SE; inside it IAC IAC is one 0xFF, and any other
// command is the peer's protocol error: counted once, and the subnegotiation is dropped at its
// end instead of being handed out. The decoder keeps its state between calls, so a
// command, a subnegotiation or a doubled IAC may arrive split across any number of reads. Plain
// C++: no socket, so tests drive it directly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolvane {

namespace telnet {
inline constexpr std::uint8_t Iac = 255;
inline constexpr std::uint8_t Dont = 254;
inline constexpr std::uint8_t Do = 253;
inline constexpr std::uint8_t Wont = 252;
inline constexpr std::uint8_t Will = 251;
inline constexpr std::uint8_t Sb = 250;
inline constexpr std::uint8_t Se = 240;

inline constexpr std::uint8_t Binary = 0;
inline constexpr std::uint8_t Echo = 1;
inline constexpr std::uint8_t SuppressGoAhead = 3;
inline constexpr std::uint8_t ComPort = 44;
}  // namespace telnet

struct TSubnegotiation {
  std::uint8_t Option = 0;
  std::vector<std::uint8_t> Payload;  // with doubled IACs undone
};

// What one call of Decode produced, in the order the bytes came.
struct TTelnetInput {
  std::vector<std::uint8_t> Data;
  std::vector<TSubnegotiation> Subnegotiations;
  std::vector<std::uint8_t> Replies;  // negotiation answers to send back to the server
  std::size_t ProtocolErrors = 0;     // subnegotiations with another command inside
};

class TTelnetCodec {
 public:
  // The client's side of the negotiation: it will do COM-PORT-OPTION, BINARY and SUPPRESS-GO-AHEAD
  // and asks the server to do BINARY and SUPPRESS-GO-AHEAD; everything else it refuses, ECHO too.
  TTelnetCodec();

  // The offers a client sends as soon as it is connected.
  std::vector<std::uint8_t> Offers();

  void Decode(const std::uint8_t* Raw, std::size_t Count, TTelnetInput& Input);

  // True once the server has agreed that this client speaks COM-PORT-OPTION.
  bool ComPortAgreed() const { return Local_[telnet::ComPort] == TState::Yes; }
  // True once the server has said DONT COM-PORT-OPTION: it will not take the line's settings.
  bool ComPortRefused() const { return ComPortRefused_; }

  static void AppendData(std::vector<std::uint8_t>& Out, const std::uint8_t* Data,
                         std::size_t Count);
  static void AppendSubnegotiation(std::vector<std::uint8_t>& Out, std::uint8_t Option,
                                   const std::vector<std::uint8_t>& Payload);

  // A subnegotiation longer than this is a broken peer's; it is dropped, not stored.
  static constexpr std::size_t LongestPayload = 256;

 private:
  enum class TParse : std::uint8_t { Data, Iac, Option, SbOption, Sb, SbIac };
  enum class TState : std::uint8_t { No, WantYes, Yes };

  void Negotiate(std::uint8_t Verb, std::uint8_t Option, std::vector<std::uint8_t>& Replies);
  // The byte after an IAC outside a subnegotiation.
  void TakeCommand(std::uint8_t Byte, TTelnetInput& Input);
  void AddToPayload(std::uint8_t Byte);
  static bool WeWill(std::uint8_t Option);
  static bool WeWantServerTo(std::uint8_t Option);

  TParse Parse_ = TParse::Data;
  std::uint8_t Verb_ = 0;
  TSubnegotiation Sub_;
  bool SubTooLong_ = false;
  bool SubBroken_ = false;  // a command came inside it
  bool ComPortRefused_ = false;
  std::array<TState, 256> Local_{};   // options this client does
  std::array<TState, 256> Remote_{};  // options the server does
};

}  // namespace tolvane

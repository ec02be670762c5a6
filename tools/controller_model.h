// The amplifier controller as the simulator plays it: cuts the received bytes into packets that
// end in ";", answers identification polls and register reads and writes from its own register
// map, and notes the disconnect notice. Pure logic without I/O, so it is tested directly.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// Address ("0012") to the register's 5-character value ("03200").
using TRegisterMap = std::map<std::string, std::string>;

inline constexpr std::size_t RegisterAddressLength = 4;
inline constexpr std::size_t RegisterValueLength = 5;

// The eleven registers at the factory values of a typical amplifier. Each differs from the
// utility's default for its field, so that a first Read against the simulator shows a change.
TRegisterMap DefaultRegisters();
// True for a value the controller stores: 5 printable ASCII characters other than ";".
bool IsRegisterValue(std::string_view Value);

// How the controller answers "ID;": the polls before FirstAnsweredPoll stay unanswered, and a
// controller that never identifies answers none. The count starts again after "DI;".
struct TIdentifyRule {
  int FirstAnsweredPoll = 1;
  bool Never = false;
  std::string Status = "200";
};

// Registers that misbehave: silent ones never answer a read or a write, unstored ones answer a
// write with the value sent but keep their old value, as a worn EEPROM cell would.
// Replaced ones answer a read with the text given instead of their value, as a controller with a
// garbled reply would.
struct TRegisterFaults {
  std::set<std::string> Silent;
  std::set<std::string> Unstored;
  std::map<std::string, std::string> Replaced;
};

// What the controller made of one packet.
struct TControllerEvent {
  std::string Packet;   // as received, without ";"
  std::string Reply;    // the whole reply packet with ";"; empty when nothing is answered
  std::string Note;     // a line for the log
  bool Stored = false;  // a register took a new value
};

class TControllerModel {
 public:
  // A packet longer than this is line noise: it is dropped up to its ";".
  static constexpr std::size_t MaxPacketLength = 64;

  explicit TControllerModel(TIdentifyRule Rule = {}, TRegisterMap Registers = DefaultRegisters(),
                            TRegisterFaults Faults = {});

  // Takes received bytes and returns one event per packet they complete, in order.
  std::vector<TControllerEvent> Receive(std::string_view Bytes);
  // Answers one packet (without ";").
  TControllerEvent Answer(const std::string& Packet);
  // Forgets a partial packet and the identification polls, as when the line is reopened.
  void Restart();

  const TRegisterMap& Registers() const { return Registers_; }
  int IdentificationPolls() const { return Polls_; }

 private:
  TControllerEvent AnswerIdentification(TControllerEvent Event);
  TControllerEvent AnswerRegister(TControllerEvent Event, std::string_view Packet);

  TIdentifyRule Rule_;
  TRegisterMap Registers_;
  TRegisterFaults Faults_;
  std::string Pending_;
  bool SkippingOverlong_ = false;
  int Polls_ = 0;
};

}  // namespace tolvane

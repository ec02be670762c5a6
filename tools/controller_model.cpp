#include "tools/controller_model.h"

#include <algorithm>
#include <utility>

namespace tolvane {

namespace {

constexpr std::string_view IdentifyCommand = "ID";
constexpr std::string_view DisconnectCommand = "DI";
constexpr std::string_view RegisterCommand = "ST";
constexpr char PacketEnd = ';';

bool IsLineSpace(char C) {
  return C == '\r' || C == '\n';
}

// Someone typing at a terminal sends line ends between packets; they are no part of a command.
// Blanks are kept: they may belong to a value.
std::string_view TrimLineSpace(std::string_view Text) {
  while (!Text.empty() && IsLineSpace(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsLineSpace(Text.back())) Text.remove_suffix(1);
  return Text;
}

bool IsDigits(std::string_view Text) {
  return std::all_of(Text.begin(), Text.end(), [](char C) { return C >= '0' && C <= '9'; });
}

}  // namespace

TRegisterMap DefaultRegisters() {
  return {{"0012", "02900"}, {"0014", "00850"}, {"0016", "00550"}, {"0018", "00200"},
          {"0020", "00025"}, {"0022", "00060"}, {"0024", "00005"}, {"0026", "00020"},
          {"0028", "00003"}, {"0030", "00015"}, {"0032", "00030"}};
}

bool IsRegisterValue(std::string_view Value) {
  return Value.size() == RegisterValueLength && std::all_of(Value.begin(), Value.end(), [](char C) {
           return C >= ' ' && C <= '~' && C != PacketEnd;
         });
}

TControllerModel::TControllerModel(TIdentifyRule Rule, TRegisterMap Registers,
                                   TRegisterFaults Faults)
    : Rule_(std::move(Rule)), Registers_(std::move(Registers)), Faults_(std::move(Faults)) {}

std::vector<TControllerEvent> TControllerModel::Receive(std::string_view Bytes) {
  std::vector<TControllerEvent> Events;
  for (const char C : Bytes) {
    if (C == PacketEnd) {
      if (SkippingOverlong_) {
        SkippingOverlong_ = false;
      } else {
        Events.push_back(Answer(Pending_));
      }
      Pending_.clear();
      continue;
    }
    if (SkippingOverlong_) continue;
    Pending_ += C;
    if (Pending_.size() > MaxPacketLength) {
      Events.push_back({Pending_, "", "overlong packet dropped up to its \";\""});
      Pending_.clear();
      SkippingOverlong_ = true;
    }
  }
  return Events;
}

TControllerEvent TControllerModel::Answer(const std::string& Packet) {
  TControllerEvent Event{Packet, "", ""};
  const std::string_view Command = TrimLineSpace(Packet);
  if (Command == IdentifyCommand) return AnswerIdentification(std::move(Event));
  if (Command == DisconnectCommand) {
    Polls_ = 0;
    Event.Note = "DI noted";
    return Event;
  }
  if (Command.starts_with(RegisterCommand)) return AnswerRegister(std::move(Event), Command);
  Event.Note = "ignored";
  return Event;
}

TControllerEvent TControllerModel::AnswerIdentification(TControllerEvent Event) {
  ++Polls_;
  const std::string Poll = "identification poll " + std::to_string(Polls_);
  if (Rule_.Never) {
    Event.Note = Poll + " unanswered (never identifies)";
  } else if (Polls_ < Rule_.FirstAnsweredPoll) {
    Event.Note =
        Poll + " unanswered (answers from poll " + std::to_string(Rule_.FirstAnsweredPoll) + ")";
  } else {
    Event.Reply = std::string(IdentifyCommand) + Rule_.Status + PacketEnd;
    Event.Note = Poll + " answered";
  }
  return Event;
}

TControllerEvent TControllerModel::AnswerRegister(TControllerEvent Event, std::string_view Packet) {
  const std::string_view Body = Packet.substr(RegisterCommand.size());
  const std::string_view Address = Body.substr(0, RegisterAddressLength);
  const std::string_view Value = Body.substr(Address.size());
  const bool IsRead = Value.empty();
  if (Address.size() != RegisterAddressLength || !IsDigits(Address) ||
      (!IsRead && !IsRegisterValue(Value))) {
    Event.Note = "ignored (malformed register packet)";
    return Event;
  }
  const auto Register = Registers_.find(std::string(Address));
  if (Register == Registers_.end()) {
    Event.Note = "ignored (no register " + std::string(Address) + ")";
    return Event;
  }
  if (Faults_.Silent.contains(Register->first)) {
    Event.Note = "register " + Register->first + " silent";
    return Event;
  }
  if (const auto Replaced = Faults_.Replaced.find(Register->first);
      IsRead && Replaced != Faults_.Replaced.end()) {
    Event.Note = "register " + Register->first + " read, answered with " + Replaced->second;
    Event.Reply = std::string(RegisterCommand) + Register->first + Replaced->second + PacketEnd;
    return Event;
  }
  if (IsRead) {
    Event.Note = "register " + Register->first + " read";
  } else if (Faults_.Unstored.contains(Register->first)) {
    Event.Note =
        "register " + Register->first + " kept " + Register->second + ", not " + std::string(Value);
    Event.Reply = std::string(RegisterCommand) + Register->first + std::string(Value) + PacketEnd;
    return Event;
  } else {
    Register->second = std::string(Value);
    Event.Stored = true;
    Event.Note = "register " + Register->first + " set to " + Register->second;
  }
  Event.Reply = std::string(RegisterCommand) + Register->first + Register->second + PacketEnd;
  return Event;
}

void TControllerModel::Restart() {
  Pending_.clear();
  SkippingOverlong_ = false;
  Polls_ = 0;
}

}  // namespace tolvane

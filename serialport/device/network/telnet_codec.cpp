#include "serialport/device/network/telnet_codec.h"

namespace tolvane {

using namespace telnet;

TTelnetCodec::TTelnetCodec() {
  Local_.fill(TState::No);
  Remote_.fill(TState::No);
}

bool TTelnetCodec::WeWill(std::uint8_t Option) {
  return Option == ComPort || Option == Binary || Option == SuppressGoAhead;
}

bool TTelnetCodec::WeWantServerTo(std::uint8_t Option) {
  return Option == Binary || Option == SuppressGoAhead;
}

std::vector<std::uint8_t> TTelnetCodec::Offers() {
  std::vector<std::uint8_t> Out;
  for (std::uint8_t Option : {ComPort, Binary, SuppressGoAhead}) {
    if (Local_[Option] != TState::No) continue;
    Local_[Option] = TState::WantYes;
    Out.insert(Out.end(), {Iac, Will, Option});
  }
  for (std::uint8_t Option : {Binary, SuppressGoAhead}) {
    if (Remote_[Option] != TState::No) continue;
    Remote_[Option] = TState::WantYes;
    Out.insert(Out.end(), {Iac, Do, Option});
  }
  return Out;
}

// An answer goes out only when a state changes, so an agreement is never answered twice and
// two peers cannot ping-pong the same option.
void TTelnetCodec::Negotiate(std::uint8_t Verb, std::uint8_t Option,
                             std::vector<std::uint8_t>& Replies) {
  const bool AboutUs = Verb == Do || Verb == Dont;
  TState& State = AboutUs ? Local_[Option] : Remote_[Option];
  const bool Enable = Verb == Do || Verb == Will;
  const bool Wanted = AboutUs ? WeWill(Option) : WeWantServerTo(Option);
  const std::uint8_t Yes = AboutUs ? Will : Do;
  const std::uint8_t No = AboutUs ? Wont : Dont;
  if (Enable) {
    if (State == TState::Yes) return;
    if (State == TState::WantYes) {
      State = TState::Yes;
      return;
    }
    if (Wanted) {
      State = TState::Yes;
      Replies.insert(Replies.end(), {Iac, Yes, Option});
    } else {
      Replies.insert(Replies.end(), {Iac, No, Option});
    }
    return;
  }
  if (AboutUs && Option == ComPort) ComPortRefused_ = true;
  if (State == TState::Yes) Replies.insert(Replies.end(), {Iac, No, Option});
  State = TState::No;
}

void TTelnetCodec::TakeCommand(std::uint8_t Byte, TTelnetInput& Input) {
  Parse_ = TParse::Data;
  if (Byte == Iac) {
    Input.Data.push_back(Iac);
  } else if (Byte >= Will && Byte <= Dont) {
    Verb_ = Byte;
    Parse_ = TParse::Option;
  } else if (Byte == Sb) {
    Parse_ = TParse::SbOption;
  }
  // NOP, data mark, go ahead and the other single-byte commands mean nothing here.
}

void TTelnetCodec::AddToPayload(std::uint8_t Byte) {
  if (Sub_.Payload.size() < LongestPayload)
    Sub_.Payload.push_back(Byte);
  else
    SubTooLong_ = true;
}

void TTelnetCodec::Decode(const std::uint8_t* Raw, std::size_t Count, TTelnetInput& Input) {
  for (std::size_t I = 0; I < Count; ++I) {
    const std::uint8_t Byte = Raw[I];
    switch (Parse_) {
      case TParse::Data:
        if (Byte == Iac)
          Parse_ = TParse::Iac;
        else
          Input.Data.push_back(Byte);
        break;
      case TParse::Iac:
        TakeCommand(Byte, Input);
        break;
      case TParse::Option:
        Negotiate(Verb_, Byte, Input.Replies);
        Parse_ = TParse::Data;
        break;
      case TParse::SbOption:
        Sub_ = {Byte, {}};
        SubTooLong_ = false;
        SubBroken_ = false;
        Parse_ = TParse::Sb;
        break;
      case TParse::Sb:
        if (Byte == Iac)
          Parse_ = TParse::SbIac;
        else
          AddToPayload(Byte);
        break;
      case TParse::SbIac:
        if (Byte == Iac) {
          AddToPayload(Iac);
          Parse_ = TParse::Sb;
        } else if (Byte == Se) {
          if (!SubTooLong_ && !SubBroken_) Input.Subnegotiations.push_back(std::move(Sub_));
          Sub_ = {};
          Parse_ = TParse::Data;
        } else {
          // A command before the SE is the peer's error, not the end: the subnegotiation still
          // runs to its IAC SE, and is dropped there rather than taken as a cut-off answer.
          if (!SubBroken_) ++Input.ProtocolErrors;
          SubBroken_ = true;
          Parse_ = TParse::Sb;
        }
        break;
    }
  }
}

void TTelnetCodec::AppendData(std::vector<std::uint8_t>& Out, const std::uint8_t* Data,
                              std::size_t Count) {
  for (std::size_t I = 0; I < Count; ++I) {
    Out.push_back(Data[I]);
    if (Data[I] == Iac) Out.push_back(Iac);
  }
}

void TTelnetCodec::AppendSubnegotiation(std::vector<std::uint8_t>& Out, std::uint8_t Option,
                                        const std::vector<std::uint8_t>& Payload) {
  Out.insert(Out.end(), {Iac, Sb, Option});
  AppendData(Out, Payload.data(), Payload.size());
  Out.insert(Out.end(), {Iac, Se});
}

}  // namespace tolvane

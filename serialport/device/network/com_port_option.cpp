#include "serialport/device/network/com_port_option.h"

#include <algorithm>

namespace tolvane {
namespace {

constexpr char Dc1 = 0x11;
constexpr char Dc3 = 0x13;

// SET-CONTROL values.
constexpr std::uint8_t NoFlow = 1;
constexpr std::uint8_t XonXoffFlow = 2;
constexpr std::uint8_t HardwareFlow = 3;
constexpr std::uint8_t DtrOn = 8;
constexpr std::uint8_t DtrOff = 9;
constexpr std::uint8_t RtsOn = 11;
constexpr std::uint8_t RtsOff = 12;

// NOTIFY-MODEMSTATE bits: the line, and its change bit.
struct TModemLine {
  std::uint8_t State;
  std::uint8_t Change;
  std::uint32_t Status;
  std::uint32_t Event;
};
constexpr TModemLine ModemLines[] = {
    {16, 1, MS_CTS_ON, EV_CTS},
    {32, 2, MS_DSR_ON, EV_DSR},
    {64, 4, MS_RING_ON, EV_RING},
    {128, 8, MS_RLSD_ON, EV_RLSD},
};

// NOTIFY-LINESTATE bits.
constexpr std::uint8_t BreakDetected = 16;
constexpr std::uint8_t FramingError = 8;
constexpr std::uint8_t ParityError = 4;
constexpr std::uint8_t OverrunError = 2;

TComPortCommand Byte(std::uint8_t Code, std::uint8_t Value, bool AwaitsAnswer) {
  return {Code, {Value}, AwaitsAnswer};
}

std::uint8_t ParityCode(std::uint8_t Parity) {
  return static_cast<std::uint8_t>(Parity + 1);  // none, odd, even, mark, space: 1 to 5
}

std::uint8_t StopSizeCode(std::uint8_t StopBits) {
  switch (StopBits) {
    case ONE5STOPBITS:
      return 3;
    case TWOSTOPBITS:
      return 2;
    default:
      return 1;
  }
}

std::uint8_t FlowCode(const TDcb& Dcb) {
  if (Dcb.fOutxCtsFlow) return HardwareFlow;
  if (Dcb.fOutX) return XonXoffFlow;
  return NoFlow;
}

}  // namespace

std::vector<std::uint8_t> TComPortCommand::Payload() const {
  std::vector<std::uint8_t> Out(Value.size() + 1, Code);
  std::copy(Value.begin(), Value.end(), Out.begin() + 1);
  return Out;
}

int CheckDcbIsSane(const TDcb& Dcb) {
  if (Dcb.BaudRate == 0 || Dcb.ByteSize < 5 || Dcb.ByteSize > 8 || Dcb.Parity > SPACEPARITY ||
      Dcb.StopBits > TWOSTOPBITS)
    return InvalidArgumentErrorCode;
  return 0;
}

int CheckDcbForComPort(const TDcb& Dcb) {
  if (const int Error = CheckDcbIsSane(Dcb)) return Error;
  if (Dcb.fOutX != Dcb.fInX) return InvalidArgumentErrorCode;
  if ((Dcb.fOutX || Dcb.fInX) && (Dcb.XonChar != Dc1 || Dcb.XoffChar != Dc3))
    return InvalidArgumentErrorCode;
  if (Dcb.fOutxCtsFlow != (Dcb.fRtsControl == RTS_CONTROL_HANDSHAKE))
    return InvalidArgumentErrorCode;
  if (Dcb.fOutxCtsFlow && Dcb.fOutX) return InvalidArgumentErrorCode;  // one flow control at a time
  if (Dcb.fOutxDsrFlow || Dcb.fDsrSensitivity || Dcb.fAbortOnError) return InvalidArgumentErrorCode;
  if (Dcb.fDtrControl > DTR_CONTROL_ENABLE || Dcb.fRtsControl > RTS_CONTROL_HANDSHAKE)
    return InvalidArgumentErrorCode;
  if (Dcb.fParity && Dcb.fErrorChar) return InvalidArgumentErrorCode;
  return 0;
}

std::vector<TComPortCommand> ComPortCommandsFor(const TDcb& Dcb,
                                                const std::optional<TDcb>& Applied) {
  std::vector<TComPortCommand> Commands;
  if (!Applied || Applied->BaudRate != Dcb.BaudRate) {
    const std::uint32_t Rate = Dcb.BaudRate;
    Commands.push_back(
        {comport::SetBaudRate,
         {static_cast<std::uint8_t>(Rate >> 24), static_cast<std::uint8_t>(Rate >> 16),
          static_cast<std::uint8_t>(Rate >> 8), static_cast<std::uint8_t>(Rate)},
         true});
  }
  if (!Applied || Applied->ByteSize != Dcb.ByteSize)
    Commands.push_back(Byte(comport::SetDataSize, Dcb.ByteSize, true));
  if (!Applied || Applied->Parity != Dcb.Parity)
    Commands.push_back(Byte(comport::SetParity, ParityCode(Dcb.Parity), true));
  if (!Applied || Applied->StopBits != Dcb.StopBits)
    Commands.push_back(
        Byte(comport::SetStopSize, StopSizeCode(Dcb.StopBits), Dcb.StopBits != ONE5STOPBITS));
  if (!Applied || FlowCode(*Applied) != FlowCode(Dcb))
    Commands.push_back(Byte(comport::SetControl, FlowCode(Dcb), true));
  if (!Applied || Applied->fDtrControl != Dcb.fDtrControl)
    Commands.push_back(
        Byte(comport::SetControl, Dcb.fDtrControl == DTR_CONTROL_ENABLE ? DtrOn : DtrOff, false));
  // Under hardware handshake the server drives RTS itself.
  if (Dcb.fRtsControl != RTS_CONTROL_HANDSHAKE &&
      (!Applied || Applied->fRtsControl != Dcb.fRtsControl))
    Commands.push_back(
        Byte(comport::SetControl, Dcb.fRtsControl == RTS_CONTROL_ENABLE ? RtsOn : RtsOff, false));
  return Commands;
}

TComPortCommand BaudRateQuery() {
  return {comport::SetBaudRate, {0, 0, 0, 0}, true};
}

TComPortCommand LineStateMaskFor(std::uint32_t EventMask) {
  std::uint8_t Mask = 0;
  if (EventMask & EV_ERR) Mask |= FramingError | ParityError | OverrunError;
  if (EventMask & EV_BREAK) Mask |= BreakDetected;
  return Byte(comport::SetLineStateMask, Mask, false);
}

TComPortCommand ModemStateMaskFor(std::uint32_t EventMask) {
  std::uint8_t Mask = 0;
  for (const TModemLine& Line : ModemLines)
    if (EventMask & Line.Event) Mask |= Line.State | Line.Change;
  return Byte(comport::SetModemStateMask, Mask, false);
}

TComPortCommand PurgeCommandFor(std::uint32_t PurgeFlags) {
  const bool Receive = (PurgeFlags & PURGE_RXCLEAR) != 0;
  const bool Transmit = (PurgeFlags & PURGE_TXCLEAR) != 0;
  if (!Receive && !Transmit) return {};
  const std::uint8_t What = Receive && Transmit ? comport::PurgeBoth
                            : Receive           ? comport::PurgeReceive
                                                : comport::PurgeTransmit;
  return Byte(comport::PurgeData, What, false);
}

std::uint32_t ModemStatusOf(std::uint8_t ModemState) {
  std::uint32_t Status = 0;
  for (const TModemLine& Line : ModemLines)
    if (ModemState & Line.State) Status |= Line.Status;
  return Status;
}

std::uint32_t ModemEventsOf(std::uint8_t ModemState, std::uint8_t Previous) {
  std::uint32_t Events = 0;
  for (const TModemLine& Line : ModemLines)
    if ((ModemState & Line.Change) || ((ModemState ^ Previous) & Line.State)) Events |= Line.Event;
  return Events;
}

std::uint32_t LineErrorsOf(std::uint8_t LineState) {
  std::uint32_t Errors = 0;
  if (LineState & FramingError) Errors |= CE_FRAME;
  if (LineState & ParityError) Errors |= CE_RXPARITY;
  if (LineState & OverrunError) Errors |= CE_OVERRUN;
  if (LineState & BreakDetected) Errors |= CE_BREAK;
  return Errors;
}

std::uint32_t LineEventsOf(std::uint8_t LineState) {
  std::uint32_t Events = 0;
  if (LineState & (FramingError | ParityError | OverrunError)) Events |= EV_ERR;
  if (LineState & BreakDetected) Events |= EV_BREAK;
  return Events;
}

}  // namespace tolvane

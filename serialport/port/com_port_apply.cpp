#include "serialport/port/com_port_apply.h"

#include <algorithm>
#include <array>

#include "serialport/port/com_port.h"

namespace tolvane {
namespace {

constexpr std::array<std::uint32_t, 16> BaudRates = {0,     110,    300,    600,   1200,  2400,
                                                     4800,  9600,   14400,  19200, 38400, 56000,
                                                     57600, 115200, 128000, 256000};
constexpr std::array<std::uint8_t, 4> ByteSizes = {5, 6, 7, 8};

// A value outside a table (an enumeration cast from a bad number) maps to 0, which no device
// accepts as a speed or byte size, so applying it fails with the device's error.
template <typename Table, typename Enum>
constexpr typename Table::value_type Lookup(const Table& Values, Enum Value) {
  const auto Ordinal = static_cast<std::size_t>(Value);
  return Ordinal < Values.size() ? Values[Ordinal] : typename Table::value_type{0};
}

// XON/XOFF limits are 16-bit; a queue too large for them gets the largest limit, not a wrapped
// one.
std::uint16_t FlowLimit(std::int32_t InputSize) {
  return static_cast<std::uint16_t>(std::clamp(InputSize / 4, 0, 0xFFFF));
}

std::uint32_t TimeoutValue(std::int32_t Milliseconds) {
  return Milliseconds == -1 ? MAXDWORD : static_cast<std::uint32_t>(Milliseconds);
}

}  // namespace

std::uint32_t BaudRateValue(TBaudRate BaudRate, std::int32_t CustomBaudRate) {
  if (BaudRate == TBaudRate::brCustom) return static_cast<std::uint32_t>(CustomBaudRate);
  return Lookup(BaudRates, BaudRate);
}

TDcb BuildDcb(const TCustomComPort& Port) {
  const TComParity& Parity = Port.Parity();
  const TComFlowControl& Flow = Port.FlowControl();
  const bool ReplaceErrors = Parity.Check() && Parity.Replace();

  TDcb Dcb;  // every field not set below stays zero
  Dcb.DCBlength = 28;
  Dcb.BaudRate = BaudRateValue(Port.BaudRate(), Port.CustomBaudRate());
  Dcb.fBinary = true;
  Dcb.fParity = Parity.Check();
  Dcb.fOutxCtsFlow = Flow.OutCTSFlow();
  Dcb.fOutxDsrFlow = Flow.OutDSRFlow();
  // The DTR_CONTROL_, RTS_CONTROL_, parity and stop-bit constants follow the ordinals.
  Dcb.fDtrControl = static_cast<std::uint8_t>(Flow.ControlDTR());
  Dcb.fDsrSensitivity = Flow.DSRSensitivity();
  Dcb.fTXContinueOnXoff = Flow.TxContinueOnXoff();
  Dcb.fOutX = Flow.XonXoffOut();
  Dcb.fInX = Flow.XonXoffIn();
  Dcb.fErrorChar = ReplaceErrors;
  Dcb.fNull = Port.DiscardNull();
  Dcb.fRtsControl = static_cast<std::uint8_t>(Flow.ControlRTS());
  Dcb.fAbortOnError = false;
  Dcb.XonLim = FlowLimit(Port.Buffer().InputSize());
  Dcb.XoffLim = Dcb.XonLim;
  Dcb.ByteSize = Lookup(ByteSizes, Port.DataBits());
  Dcb.Parity = static_cast<std::uint8_t>(Parity.Bits());
  Dcb.StopBits = static_cast<std::uint8_t>(Port.StopBits());
  Dcb.XonChar = Flow.XonChar();
  Dcb.XoffChar = Flow.XoffChar();
  Dcb.ErrorChar = ReplaceErrors ? Parity.ReplaceChar() : char{0};
  Dcb.EofChar = 0;
  Dcb.EvtChar = Port.EventChar();
  return Dcb;
}

TCommTimeouts BuildCommTimeouts(const TComTimeouts& Timeouts) {
  TCommTimeouts Result;
  Result.ReadIntervalTimeout = TimeoutValue(Timeouts.ReadInterval());
  Result.ReadTotalTimeoutMultiplier = TimeoutValue(Timeouts.ReadTotalMultiplier());
  Result.ReadTotalTimeoutConstant = TimeoutValue(Timeouts.ReadTotalConstant());
  Result.WriteTotalTimeoutMultiplier = TimeoutValue(Timeouts.WriteTotalMultiplier());
  Result.WriteTotalTimeoutConstant = TimeoutValue(Timeouts.WriteTotalConstant());
  return Result;
}

}  // namespace tolvane

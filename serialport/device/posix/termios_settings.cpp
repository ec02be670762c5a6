#include "serialport/device/posix/termios_settings.h"

#include <array>
#include <cerrno>
#include <utility>

namespace tolvane {
namespace {

struct TStandardRate {
  std::uint32_t Rate;
  speed_t Speed;
};

constexpr std::array<TStandardRate, 30> StandardRates{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

}  // namespace

void ApplyRawMode(termios& Termios) {
  Termios.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR |
                                            ICRNL | IUCLC | IXON | IXOFF | IXANY | IMAXBEL | INPCK);
  Termios.c_iflag |= PARMRK;
  Termios.c_oflag = 0;
  Termios.c_lflag = 0;
  Termios.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  Termios.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;
  Termios.c_cc[VMIN] = 1;
  Termios.c_cc[VTIME] = 0;
}

std::optional<speed_t> StandardSpeedFor(std::uint32_t Rate) {
  for (const TStandardRate& Entry : StandardRates)
    if (Entry.Rate == Rate) return Entry.Speed;
  return std::nullopt;
}

int ApplyBaudRate(termios& Termios, std::uint32_t Rate, bool& NeedsCustomRate) {
  if (Rate == 0) return EINVAL;
  const std::optional<speed_t> Speed = StandardSpeedFor(Rate);
  NeedsCustomRate = !Speed;
  // The placeholder keeps the termios value valid until the custom rate replaces it.
  const speed_t Chosen = Speed.value_or(B38400);
  cfsetispeed(&Termios, Chosen);
  cfsetospeed(&Termios, Chosen);
  return 0;
}

int ApplyDataBits(termios& Termios, std::uint8_t ByteSize) {
  tcflag_t Size = 0;
  switch (ByteSize) {
    case 5:
      Size = CS5;
      break;
    case 6:
      Size = CS6;
      break;
    case 7:
      Size = CS7;
      break;
    case 8:
      Size = CS8;
      break;
    default:
      return EINVAL;
  }
  Termios.c_cflag = (Termios.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | Size;
  return 0;
}

int ApplyStopBits(termios& Termios, std::uint8_t StopBits, std::uint8_t ByteSize) {
  switch (StopBits) {
    case ONESTOPBIT:
      Termios.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
      return 0;
    case TWOSTOPBITS:
      Termios.c_cflag |= CSTOPB;
      return 0;
    case ONE5STOPBITS:
      if (ByteSize != 5) return EINVAL;
      Termios.c_cflag |= CSTOPB;
      return 0;
    default:
      return EINVAL;
  }
}

int ApplyParity(termios& Termios, std::uint8_t Parity, bool Check) {
  tcflag_t Flags = 0;
  switch (Parity) {
    case NOPARITY:
      break;
    case ODDPARITY:
      Flags = PARENB | PARODD;
      break;
    case EVENPARITY:
      Flags = PARENB;
      break;
    case MARKPARITY:
      Flags = PARENB | CMSPAR | PARODD;
      break;
    case SPACEPARITY:
      Flags = PARENB | CMSPAR;
      break;
    default:
      return EINVAL;
  }
  Termios.c_cflag = (Termios.c_cflag & ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR)) | Flags;
  if (Check)
    Termios.c_iflag |= INPCK;
  else
    Termios.c_iflag &= ~static_cast<tcflag_t>(INPCK);
  return 0;
}

int ApplyFlowControl(termios& Termios, const TDcb& Dcb) {
  if (Dcb.fOutxDsrFlow || Dcb.fDsrSensitivity || Dcb.fAbortOnError) return EINVAL;
  if (Dcb.fDtrControl > DTR_CONTROL_ENABLE || Dcb.fRtsControl > RTS_CONTROL_HANDSHAKE)
    return EINVAL;
  const bool RtsHandshake = Dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
  // CRTSCTS always works both ways: output waits for CTS and the kernel drives RTS.
  if (RtsHandshake != Dcb.fOutxCtsFlow) return EINVAL;
  if ((Dcb.fOutX || Dcb.fInX) && Dcb.XonChar == Dcb.XoffChar) return EINVAL;
  // fTXContinueOnXoff needs nothing: the kernel keeps sending after it has sent XOFF, which is
  // what the flag asks for, and without it only our own output would pause while our input is
  // full, a pause the kernel cannot make and the far end does not rely on.

  if (RtsHandshake)
    Termios.c_cflag |= CRTSCTS;
  else
    Termios.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  Termios.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  if (Dcb.fOutX) Termios.c_iflag |= IXON;
  if (Dcb.fInX) Termios.c_iflag |= IXOFF;
  Termios.c_cc[VSTART] = static_cast<cc_t>(Dcb.XonChar);
  Termios.c_cc[VSTOP] = static_cast<cc_t>(Dcb.XoffChar);
  return 0;
}

TModemOutputs ModemOutputsFor(const TDcb& Dcb) {
  TModemOutputs Outputs;
  Outputs.Dtr = Dcb.fDtrControl == DTR_CONTROL_ENABLE ? TLineLevel::On : TLineLevel::Off;
  switch (Dcb.fRtsControl) {
    case RTS_CONTROL_ENABLE:
      Outputs.Rts = TLineLevel::On;
      break;
    case RTS_CONTROL_HANDSHAKE:
      Outputs.Rts = TLineLevel::KernelDriven;
      break;
    default:
      Outputs.Rts = TLineLevel::Off;
      break;
  }
  return Outputs;
}

int TermiosForDcb(const TDcb& Dcb, termios& Termios, bool& NeedsCustomRate) {
  // Text mode (fBinary off) does not exist on this platform.
  if (!Dcb.fBinary) return EINVAL;
  termios Built = Termios;
  bool Custom = false;
  ApplyRawMode(Built);
  if (int Error = ApplyBaudRate(Built, Dcb.BaudRate, Custom)) return Error;
  if (int Error = ApplyDataBits(Built, Dcb.ByteSize)) return Error;
  if (int Error = ApplyStopBits(Built, Dcb.StopBits, Dcb.ByteSize)) return Error;
  if (int Error = ApplyParity(Built, Dcb.Parity, Dcb.fParity)) return Error;
  if (int Error = ApplyFlowControl(Built, Dcb)) return Error;
  Termios = Built;
  NeedsCustomRate = Custom;
  return 0;
}

}  // namespace tolvane

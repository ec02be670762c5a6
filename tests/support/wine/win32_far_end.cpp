#include "tests/support/wine/win32_far_end.h"

#include "serialport/device/win32/win32_device.h"

// Winsock before windows.h, after the component's headers.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace tolvane::test {
namespace {

constexpr int ReceiveWaitMs = 3000;

const char* Environment(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value != nullptr && *Value != '\0' ? Value : nullptr;
}

}  // namespace

TWin32FarEnd::TWin32FarEnd() : Socket_(INVALID_SOCKET) {
  const char* Port = Environment("TOLVANE_FAR_END_PORT");
  const char* Com = Environment("TOLVANE_FAR_END_COM");
  if (Port == nullptr || Com == nullptr) {
    Unavailable_ = "no far end: TOLVANE_FAR_END_PORT and TOLVANE_FAR_END_COM name none";
    return;
  }
  PortName_ = std::string("\\\\.\\") + Com;
  WSADATA Data;
  WSAStartup(MAKEWORD(2, 2), &Data);
  SOCKET Socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_port = htons(static_cast<u_short>(std::atoi(Port)));
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const DWORD Wait = ReceiveWaitMs;
  setsockopt(Socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&Wait), sizeof Wait);
  const BOOL On = TRUE;
  setsockopt(Socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&On), sizeof On);
  if (connect(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0) {
    Unavailable_ = std::string("the far end at 127.0.0.1:") + Port + " does not answer";
    closesocket(Socket);
    return;
  }
  Socket_ = Socket;
  // The helper says so once the line is linked as the COM port.
  std::string Ready;
  char Byte = 0;
  while (Ready.size() < 6 && recv(Socket, &Byte, 1, 0) == 1) Ready += Byte;
  if (Ready != "ready\n") Unavailable_ = "the far end made no line";
}

TWin32FarEnd::~TWin32FarEnd() {
  Drop();
}

std::unique_ptr<TComDevice> TWin32FarEnd::NewDevice() {
  return std::make_unique<TWin32Device>();
}

void TWin32FarEnd::Send(std::string_view Bytes) {
  send(static_cast<SOCKET>(Socket_), Bytes.data(), static_cast<int>(Bytes.size()), 0);
}

std::string TWin32FarEnd::Received(std::size_t Count) {
  std::string Bytes;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ReceiveWaitMs);
  char Buffer[256];
  while (Bytes.size() < Count && std::chrono::steady_clock::now() < Deadline) {
    const int Got = recv(static_cast<SOCKET>(Socket_), Buffer,
                         static_cast<int>(std::min(sizeof Buffer, Count - Bytes.size())), 0);
    if (Got <= 0) break;
    Bytes.append(Buffer, static_cast<std::size_t>(Got));
  }
  return Bytes;
}

void TWin32FarEnd::Drop() {
  if (Socket_ == INVALID_SOCKET) return;
  closesocket(static_cast<SOCKET>(Socket_));
  Socket_ = INVALID_SOCKET;
}

}  // namespace tolvane::test

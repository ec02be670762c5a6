// The network device's system calls, behind one narrow interface: a TCP connection made with a
// time-out and a cancel, sends and receives that say when the socket has no room or no input,
// wake-ups, and one wait for "the socket is readable or writable, or one of these wake-ups is
// signalled, within a time-out". The device's logic (network_device*.cpp) is written against it
// alone; each platform implements it once: network_socket_posix.cpp (BSD sockets, poll() and
// eventfds) and network_socket_win32.cpp (Winsock 2, WSAEventSelect and event handles).
//
// Error codes are the platform's system codes: errno on POSIX, WSAGetLastError's on Windows,
// whose texts and causes system_error_cause.h gives like those of every other call.
//
// Threads: a connection is used by several threads at once (one receives, others send and wait
// for room); Send, Receive and Wait are safe together. Connect and Close are the owner's, while
// nothing else uses the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "serialport/device/network/network_address.h"

// The platform's name-lookup record (<netdb.h>, <ws2tcpip.h>), for the lookup a test replaces.
struct addrinfo;

namespace tolvane {

// The codes of what a connection reports, in the platform's numbering.
extern const int ConnectionResetErrorCode;       // the peer ended or reset the connection
extern const int ConnectionRefusedErrorCode;     // a server said no (nobody listens, or it refused)
extern const int TimedOutErrorCode;              // no answer in time
extern const int ProtocolNotSupportedErrorCode;  // the server does not speak the protocol asked

// A wake-up that a Wait sees: an eventfd on POSIX, a manual-reset event on Windows. It stays
// signalled until consumed.
class TSocketWake {
 public:
  TSocketWake();  // Error() tells whether the system gave one
  ~TSocketWake();
  TSocketWake(const TSocketWake&) = delete;
  TSocketWake& operator=(const TSocketWake&) = delete;

  int Error() const { return Error_; }
  // Harmless when it is signalled already.
  void Signal() const;
  // The next Wait blocks again.
  void Consume() const;
  bool IsSignalled() const;
  // What Wait takes: the descriptor or the handle, as a number.
  std::intptr_t Native() const { return Native_; }

 private:
  std::intptr_t Native_ = -1;
  int Error_ = 0;
};

// What a Send or Receive did.
struct TSocketIo {
  enum TStatus : std::uint8_t {
    Done,        // Count bytes went or came
    WouldBlock,  // no room for output, or no input, just now
    Ended,       // Receive: the peer closed the connection
    Failed,      // Error says why
  };
  TStatus Status = Done;
  std::size_t Count = 0;
  int Error = 0;
};

// What a Wait saw. Readable: input, the end of the stream or an error (Receive tells which);
// Writable: room for output, or an error (Send tells). HungUp: the connection is gone.
struct TSocketReady {
  bool Readable = false;
  bool Writable = false;
  bool HungUp = false;
  std::uint32_t Woken = 0;  // bit i: Wakes[i] is signalled
};

inline constexpr unsigned WaitReadable = 1;
inline constexpr unsigned WaitWritable = 2;

class TTcpSocket {
 public:
  TTcpSocket();
  ~TTcpSocket();  // closes
  TTcpSocket(const TTcpSocket&) = delete;
  TTcpSocket& operator=(const TTcpSocket&) = delete;

  bool IsOpen() const;
  // Connects to Address within TimeoutMs, the name's lookup included, and sets the connection up
  // so that a dead peer is noticed (see network_socket_posix.cpp). 0, or the error: TimedOut
  // when the lookup or every address took too long, the system's "address not available"
  // (EADDRNOTAVAIL, WSAEADDRNOTAVAIL) with the resolver's words in Reason for a name that cannot
  // be resolved, CancelledErrorCode once Cancel (may be
  // null) is signalled. At most one lookup of a name runs at a time: a connection to a name
  // being looked up waits for that lookup, also when the connection that started it gave up.
  int Connect(const TNetworkAddress& Address, int TimeoutMs, const TSocketWake* Cancel,
              std::string& Reason);
  void Close();

  // Without waiting: as much of Count bytes as the socket takes now.
  TSocketIo Send(const std::uint8_t* Data, std::size_t Count);
  TSocketIo Receive(std::uint8_t* Data, std::size_t Count);

  // Waits until the socket is what Want asks (WaitReadable, WaitWritable; 0: the socket is not
  // watched), one of WakeCount wake-ups (TSocketWake::Native, TStopSignal::NativeHandle) is
  // signalled, or TimeoutMs have passed (-1: no limit; Ready is then all clear). 0, or the
  // system's error. Signalled wake-ups stay so: the caller consumes its own.
  int Wait(unsigned Want, const std::intptr_t* Wakes, std::size_t WakeCount, int TimeoutMs,
           TSocketReady& Ready);

 private:
  friend int WaitForWakes(const std::intptr_t* Wakes, std::size_t WakeCount, int TimeoutMs,
                          TSocketReady& Ready);
  struct TSystem;  // the platform's socket and whatever its waits need
  std::unique_ptr<TSystem> System_;
};

// Waits for one of the wake-ups, as TTcpSocket::Wait without a socket.
int WaitForWakes(const std::intptr_t* Wakes, std::size_t WakeCount, int TimeoutMs,
                 TSocketReady& Ready);

// The name lookup Connect uses, the system's getaddrinfo unless replaced (by a test's resolver
// that never answers, say); nullptr restores getaddrinfo. A lookup already under way keeps the
// one it began with. A failed lookup's result is a code of the resolver (EAI_ on POSIX, a
// Winsock code on Windows).
using TAddressLookup = int (*)(const char* Host, const char* Service, const addrinfo* Hints,
                               addrinfo** Found);
void SetAddressLookup(TAddressLookup Lookup);

}  // namespace tolvane

// The network device against the in-process server, for what the shared device contract does
// not cover: the settings on the wire, answers that never come or differ, notifications,
// refusals and names. The port's opening through it is here too.
#include "serialport/device/network/network_device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serialport/base/system_error_codes.h"
#include "serialport/device/device_factory.h"
#include "serialport/device/network/com_port_option.h"
#include "serialport/device/network/network_address.h"
#include "serialport/device/network/network_socket.h"
#include "serialport/device/network/telnet_codec.h"
#include "serialport/dispatch/stop_signal.h"
#include "serialport/port/background_opening.h"
#include "serialport/port/com_port.h"
#include "tests/support/fake_comport_server.h"
#include "tests/support/main_window_dcb.h"

namespace tolvane {
namespace {

using test::TFakeComPortServer;
using TCommand = TFakeComPortServer::TCommand;

TEST(NetworkAddress, NamesAreReadAsTypedAndMalformedOnesRefused) {
  EXPECT_EQ(ParseNetworkAddress("rfc2217://127.0.0.1:7000"),
            (TNetworkAddress{TNetworkProtocol::Rfc2217, "127.0.0.1", 7000}));
  EXPECT_EQ(ParseNetworkAddress("SOCKET://station.local:4001/"),
            (TNetworkAddress{TNetworkProtocol::RawTcp, "station.local", 4001}));
  EXPECT_EQ(ParseNetworkAddress("rfc2217://[::1]:7000"),
            (TNetworkAddress{TNetworkProtocol::Rfc2217, "::1", 7000}));
  for (const char* Bad : {"rfc2217://host", "rfc2217://:7000", "rfc2217://host:0",
                          "rfc2217://host:65536", "rfc2217://host:70x", "rfc2217://::1:7000",
                          "socket://a b:7000", "rfc2217://host/x:7000", "/dev/ttyUSB0", "COM1"})
    EXPECT_EQ(ParseNetworkAddress(Bad), std::nullopt) << Bad;
  // Any scheme goes to the network device, which names what it cannot open; a tty stays a tty.
  EXPECT_EQ(DeviceAddressFor("http://station:80"), "http://station:80");
#ifndef _WIN32
  EXPECT_EQ(DeviceAddressFor("ttyUSB0"), "/dev/ttyUSB0");
#endif
  TNetworkDevice Device;
  EXPECT_EQ(Device.Open("http://station:80"), InvalidArgumentErrorCode);
  EXPECT_NE(Device.ErrorReason().find("rfc2217://HOST:PORT"), std::string::npos);
}

// A resolver that does not answer until the test lets it, and counts the lookups asked of it.
struct TStalledResolver {
  static inline std::mutex Mutex;
  static inline std::condition_variable Changed;
  static inline bool Released = false;
  static inline int Asked = 0;
  static inline int Answered = 0;

  static int Lookup(const char*, const char*, const addrinfo*, addrinfo**) {
    std::unique_lock Lock(Mutex);
    ++Asked;
    Changed.wait(Lock, [] { return Released; });
    ++Answered;
    Changed.notify_all();
    return 1;  // any failure: every Connect has given up by then
  }
};

TEST(NetworkNameLookup, ConnectsToANameThatIsNotAnsweredShareOneLookup) {
  SetAddressLookup(&TStalledResolver::Lookup);
  const TNetworkAddress Stalled{TNetworkProtocol::Rfc2217, "stalled.invalid", 7000};
  for (int Connect = 0; Connect < 5; ++Connect) {
    TTcpSocket Socket;
    std::string Reason;
    EXPECT_EQ(Socket.Connect(Stalled, 30, nullptr, Reason), TimedOutErrorCode);
    EXPECT_NE(Reason.find("stalled.invalid"), std::string::npos) << Reason;
  }
  std::unique_lock Lock(TStalledResolver::Mutex);
  EXPECT_EQ(TStalledResolver::Asked, 1) << "one lookup, however many Connects";
  TStalledResolver::Released = true;
  TStalledResolver::Changed.notify_all();
  TStalledResolver::Changed.wait(Lock, [] { return TStalledResolver::Answered == 1; });
  Lock.unlock();
  SetAddressLookup(nullptr);
}

// The reader and a writer wait on one connection at once. Room that appears while only the
// reader waits (it sees the report and goes on waiting for input) must still be there for the
// writer's next wait, also after the reader has taken a later report (Windows hands each report
// of a socket to one waiter only).
TEST(NetworkSocket, RoomReportedWhileOnlyTheReaderWaitedIsThereForTheNextWaitForRoom) {
  test::TQuietPeer Peer;
  TTcpSocket Socket;
  std::string Reason;
  ASSERT_EQ(
      Socket.Connect({TNetworkProtocol::RawTcp, "127.0.0.1", Peer.Port()}, 3000, nullptr, Reason),
      0)
      << Reason;
  ASSERT_TRUE(Peer.Accept());
  const std::vector<std::uint8_t> Chunk(64 * 1024, 0x55);
  std::size_t Sent = 0;
  for (;;) {
    const TSocketIo Out = Socket.Send(Chunk.data(), Chunk.size());
    ASSERT_NE(Out.Status, TSocketIo::Failed) << Out.Error;
    if (Out.Status == TSocketIo::WouldBlock) break;
    Sent += Out.Count;
    ASSERT_LT(Sent, std::size_t{256} << 20) << "the connection never filled";
  }
  TSocketReady ReaderSaw;
  int ReaderError = -1;
  std::thread Reader(
      [&] { ReaderError = Socket.Wait(WaitReadable, nullptr, 0, 10000, ReaderSaw); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(Peer.Drain(Sent), Sent);  // room: reported while the reader waits
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Peer.Send("x");  // a later report, which ends the reader's wait
  Reader.join();
  EXPECT_EQ(ReaderError, 0);
  EXPECT_TRUE(ReaderSaw.Readable);
  TSocketReady WriterSaw;
  ASSERT_EQ(Socket.Wait(WaitWritable, nullptr, 0, 2000, WriterSaw), 0);
  EXPECT_TRUE(WriterSaw.Writable) << "the room was lost to the reader's wait";
}

class NetworkDevice : public testing::Test {
 protected:
  void Open() {
    ASSERT_EQ(Device.Open(Server.PortName()), 0) << Device.ErrorReason();
    ASSERT_EQ(Device.SetCommState(test::MainWindowDcb()), 0);
  }

  TFakeComPortServer Server;
  TNetworkDevice Device;
  TStopSignal Stop;
};

TEST_F(NetworkDevice, TheLineSettingsAndTheEscapedDataReachTheServer) {
  Open();
  EXPECT_TRUE(Server.AwaitCommand({comport::SetBaudRate, 0, 0, 0, 0})) << "the opening's query";
  for (const TCommand& Sent : {TCommand{comport::SetBaudRate, 0, 0, 0x25, 0x80},
                               TCommand{comport::SetDataSize, 8}, TCommand{comport::SetParity, 1},
                               TCommand{comport::SetStopSize, 1}, TCommand{comport::SetControl, 1},
                               TCommand{comport::SetControl, 8}, TCommand{comport::SetControl, 12}})
    EXPECT_TRUE(Server.AwaitCommand(Sent)) << "command " << int(Sent[0]) << " " << int(Sent[1]);
  // 0xFF travels doubled both ways and arrives single.
  TOverlapped Overlapped;
  ASSERT_EQ(Device.WriteFile("a\xff"
                             "b",
                             3, Overlapped),
            0);
  EXPECT_EQ(Overlapped.Transferred, 3u);
  EXPECT_EQ(Server.Received(3),
            "a\xff"
            "b");
  Server.Send("\xff\xff");
  ASSERT_EQ(Device.SetCommTimeouts({0, 0, 5000, 0, 0}), 0);
  char Got[2] = {};
  ASSERT_EQ(Device.ReadFile(Got, 2, Overlapped), 0);
  EXPECT_EQ(std::string(Got, Overlapped.Transferred), "\xff\xff");
}

// Far more than the socket's buffers take: the write waits for room again and again while the
// reader thread waits on the same socket for input, and it must neither stall nor cut the data.
TEST_F(NetworkDevice, AWriteLargerThanTheSocketTakesWaitsForRoomAndArrivesWhole) {
  Open();
  std::string Data(2 << 20, '\0');
  for (std::size_t Index = 0; Index < Data.size(); ++Index)
    Data[Index] = static_cast<char>(Index * 7 % 256);  // 0xFF among them, doubled on the wire
  ASSERT_EQ(Device.SetCommTimeouts({0, 0, 0, 0, 20000}), 0);
  TOverlapped Overlapped;
  ASSERT_EQ(Device.WriteFile(Data.data(), static_cast<std::uint32_t>(Data.size()), Overlapped), 0);
  EXPECT_EQ(Overlapped.Transferred, Data.size()) << "the write ran out of time waiting for room";
  EXPECT_TRUE(Server.Received(Data.size()) == Data) << "the data arrived changed or cut";
}

TEST_F(NetworkDevice, AServerThatNeverAnswersDoesNotFailTheSettingsButAWrongAnswerDoes) {
  Server.SetAnswerRule([](const TCommand& Command) -> std::optional<std::vector<std::uint8_t>> {
    if (Command[0] == comport::SetBaudRate && Command[4] == 0) return {{0, 0, 0x25, 0x80}};
    if (Command[0] == comport::SetBaudRate) return {{0, 0, 0x25, 0x80}};  // keeps 9600
    return std::nullopt;                                                  // answers nothing else
  });
  ASSERT_EQ(Device.Open(Server.PortName()), 0);
  TDcb Dcb = test::MainWindowDcb();
  EXPECT_EQ(Device.SetCommState(Dcb), 0) << "silence is noted, and the port goes on";
  EXPECT_NE(Device.TakeNote().find("did not answer"), std::string::npos);
  Dcb.ByteSize = 7;
  EXPECT_EQ(Device.SetCommState(Dcb), 0);
  EXPECT_EQ(Device.TakeNote(), "") << "noted once per opening";
  Dcb.BaudRate = 250000;
  EXPECT_EQ(Device.SetCommState(Dcb), InvalidArgumentErrorCode) << "the server kept another rate";
  EXPECT_EQ(Device.SetCommState(Dcb), InvalidArgumentErrorCode)
      << "and is asked again, not assumed to have it";
}

TEST_F(NetworkDevice, ARefusalBecomesTheOpeningsReason) {
  Server.RefuseNextWith("Port already in use");
  EXPECT_EQ(Device.Open(Server.PortName()), ConnectionRefusedErrorCode);
  EXPECT_EQ(Device.ErrorReason(), "Port already in use");
  EXPECT_FALSE(Device.IsOpen());
  ASSERT_EQ(Device.Open(Server.PortName()), 0) << "the next client is served";
  EXPECT_EQ(Device.ErrorReason(), "");
}

TEST_F(NetworkDevice, ModemAndLineNotificationsRaiseTheEventsTheMaskAsksFor) {
  Open();
  ASSERT_EQ(Device.SetCommMask(EV_CTS | EV_ERR), 0);
  EXPECT_TRUE(Server.AwaitCommand({comport::SetLineStateMask, 0x0E}));
  EXPECT_TRUE(Server.AwaitCommand({comport::SetModemStateMask, 0x11}));
  Server.Notify(comport::NotifyModemState, 0x20);  // DSR only: not asked for
  Server.Notify(comport::NotifyModemState, 0x31);
  std::uint32_t Mask = 0;
  ASSERT_EQ(Device.WaitCommEvent(Mask, Stop), TWaitResult::Event);
  EXPECT_EQ(Mask, EV_CTS);
  std::uint32_t Status = 0;
  ASSERT_EQ(Device.GetCommModemStatus(Status), 0);
  EXPECT_EQ(Status, MS_CTS_ON | MS_DSR_ON);
  Server.Notify(comport::NotifyLineState, 0x08);
  ASSERT_EQ(Device.WaitCommEvent(Mask, Stop), TWaitResult::Event);
  EXPECT_EQ(Mask, EV_ERR);
  std::uint32_t Errors = 0;
  std::uint32_t Queued = 0;
  ASSERT_EQ(Device.ClearCommError(Errors, Queued), 0);
  EXPECT_EQ(Errors, CE_FRAME);
  ASSERT_EQ(Device.ClearCommError(Errors, Queued), 0);
  EXPECT_EQ(Errors, 0u) << "reading the errors clears them";
}

// An RFC 2217 opening stands only on the rate's answer; when that does not come, the reason says
// what the server did instead, and the advice about socket:// comes only with a refusal.
TEST(NetworkDeviceOpening, SucceedsOnlyOnTheRatesAnswerAndOtherwiseSaysWhatTheServerDid) {
  using TRule = TFakeComPortServer::TAnswerRule;
  struct TCase {
    const char* What;
    bool Telnet;
    TRule Rule;
    std::vector<std::uint8_t> Sent;  // put on the wire once the client is there
    int Error;
    std::string Reason;
  };
  const TRule Silent = [](const TCommand&) -> std::optional<std::vector<std::uint8_t>> {
    return std::nullopt;
  };
  const TRule EmptyRate = [](const TCommand&) -> std::optional<std::vector<std::uint8_t>> {
    return std::vector<std::uint8_t>{};
  };
  const TCase Cases[] = {
      {"agrees, then silent", true, Silent, {}, TimedOutErrorCode, "the server did not answer"},
      {"an empty rate answer", true, EmptyRate, {}, TimedOutErrorCode, "the server did not answer"},
      {"accepts and sends nothing",
       false,
       {},
       {},
       TimedOutErrorCode,
       "the server did not answer within 3 s"},
      {"one byte of the negotiation",
       false,
       {},
       {telnet::Iac},
       TimedOutErrorCode,
       "the server did not answer within 3 s"},
      {"refuses the option",
       false,
       {},
       {telnet::Iac, telnet::Dont, telnet::ComPort},
       ProtocolNotSupportedErrorCode,
       "the server does not speak RFC 2217 (for raw TCP use socket://)"},
  };
  for (const TCase& Case : Cases) {
    TFakeComPortServer Server(Case.Telnet);
    if (Case.Rule) Server.SetAnswerRule(Case.Rule);
    std::thread Speaker([&] {
      if (!Case.Sent.empty() && Server.AwaitClient()) Server.SendWire(Case.Sent);
    });
    TNetworkDevice Device;
    const std::string Name = "rfc2217://127.0.0.1:" + std::to_string(Server.Port());
    const auto Began = std::chrono::steady_clock::now();
    EXPECT_EQ(Device.Open(Name), Case.Error) << Case.What;
    const auto Took = std::chrono::steady_clock::now() - Began;
    EXPECT_EQ(Device.ErrorReason(), Case.Reason) << Case.What;
    EXPECT_LT(Took, std::chrono::milliseconds(TNetworkDevice::OpeningTimeoutMs + 500)) << Case.What;
    EXPECT_FALSE(Device.IsOpen());
    Speaker.join();
  }
}

// A server that does not take the connection (its backlog is full, so the SYN goes unanswered):
// the connect waits for its time-out and says so, and a cancel ends it at once.
TEST(NetworkDeviceOpening, AConnectionNobodyTakesEndsAtTheConnectTimeOutOrAtOnceOnACancel) {
  const test::TFullListener Listener;
  const std::string Name = "socket://127.0.0.1:" + std::to_string(Listener.Port());
  using TClock = std::chrono::steady_clock;
  {
    TNetworkDevice Device;
    const auto Began = TClock::now();
    EXPECT_EQ(Device.Open(Name), TimedOutErrorCode);
    const auto Took = TClock::now() - Began;
    EXPECT_GE(Took, std::chrono::milliseconds(TNetworkDevice::ConnectTimeoutMs - 100));
    EXPECT_LT(Took, std::chrono::milliseconds(TNetworkDevice::ConnectTimeoutMs + 1000));
    EXPECT_FALSE(Device.IsOpen());
  }
  TNetworkDevice Device;
  int Result = 0;
  TClock::time_point Ended;
  std::thread Opening([&] {
    Result = Device.Open(Name);
    Ended = TClock::now();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto Cancelled = TClock::now();
  Device.CancelOpening();
  Opening.join();
  EXPECT_EQ(Result, CancelledErrorCode);
  EXPECT_LT(Ended - Cancelled, std::chrono::milliseconds(TNetworkDevice::ConnectTimeoutMs / 2))
      << "the cancel does not wait for the connect's time-out";
  EXPECT_FALSE(Device.IsOpen());
}

TEST_F(NetworkDevice, APortOpeningARefusingServerNamesTheServersWords) {
  Server.RefuseNextWith("Device open failure: Value or file not found");
  TComPort Port(nullptr);
  Port.SetPort(Server.PortName());
  try {
    Port.OpenPort();
    FAIL() << "the opening succeeded";
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.ErrorNumber(), CError_OpenFailed);
    EXPECT_EQ(Error.Detail(), Server.PortName() + ": Device open failure: Value or file not found");
  }
  EXPECT_FALSE(Port.Connected());
}

// The window's way to a network port: the device opens on a thread of its own, and the owner
// opens the port on it once told, or ends the opening without waiting for the server.
TEST_F(NetworkDevice, ABackgroundOpeningHandsTheOwnerAnOpenDeviceOrEndsAtOnce) {
  TComPort Port(nullptr);
  Port.SetPort(Server.PortName());
  std::mutex Mutex;
  std::condition_variable Changed;
  bool Done = false;
  const auto Tell = [&] {
    std::lock_guard Lock(Mutex);
    Done = true;
    Changed.notify_all();
  };
  {
    TBackgroundOpening Opening(Port, Tell);
    std::unique_lock Lock(Mutex);
    ASSERT_TRUE(Changed.wait_for(Lock, std::chrono::seconds(5), [&] { return Done; }));
    ASSERT_TRUE(Opening.Finished());
    Opening.Finish(Port);
  }
  ASSERT_TRUE(Port.Connected());
  Port.WriteString("ID;");
  EXPECT_EQ(Server.Received(3), "ID;");
  Port.ClosePort();

  Server.SetAnswerRule(
      [](const TCommand&) -> std::optional<std::vector<std::uint8_t>> { return std::nullopt; });
  Done = false;
  TBackgroundOpening Stalled(Port, Tell);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(Stalled.Finished()) << "the server has not answered the rate yet";
  const auto Began = std::chrono::steady_clock::now();
  Stalled.Cancel();
  EXPECT_LT(std::chrono::steady_clock::now() - Began,
            std::chrono::milliseconds(TNetworkDevice::OpeningTimeoutMs))
      << "the cancel does not wait for the opening's time limit";
  EXPECT_FALSE(Port.Connected());

  Server.RefuseNextWith("Port already in use");
  Done = false;
  TBackgroundOpening Refused(Port, Tell);
  {
    std::unique_lock Lock(Mutex);
    ASSERT_TRUE(Changed.wait_for(Lock, std::chrono::seconds(5), [&] { return Done; }));
  }
  try {
    Refused.Finish(Port);
    FAIL() << "a refused opening opened the port";
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.ErrorNumber(), CError_OpenFailed);
    EXPECT_EQ(Error.Detail(), Server.PortName() + ": Port already in use");
  }
  EXPECT_FALSE(Port.Connected());
}

}  // namespace
}  // namespace tolvane

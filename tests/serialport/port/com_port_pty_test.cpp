// The port on the real platform device, with a pseudo-terminal playing the far end.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "serialport/dispatch/com_dispatcher.h"
#include "serialport/port/com_port.h"
#include "tests/support/port_recorder.h"
#include "tests/support/pty_pair.h"

namespace tolvane {
namespace {

TEST(ComPortPtyTest, WritesReachTheFarEndAndItsRepliesReachTheLink) {
  test::TPtyPair Pty;
  TComDispatcher Dispatcher;
  std::string Received;
  TComLink Link;
  Link.OnRxBuf = [&Received](TObject*, const void* Buffer, std::int32_t Count) {
    Received.append(static_cast<const char*>(Buffer), Count);
  };
  TComPort Port(nullptr);
  Port.SetDispatcher(Dispatcher);
  Port.AttachLink(&Link);
  Port.SetPort(Pty.SlavePath());
  Port.OpenPort();
  ASSERT_TRUE(Port.Connected());

  EXPECT_EQ(Port.WriteString("ID;"), 3);
  EXPECT_EQ(Pty.Receive(3), "ID;");

  Pty.Send("ID200;");
  Dispatcher.ServeUntil([&Received] { return Received.size() >= 6; });
  EXPECT_EQ(Received, "ID200;");
  Port.ClosePort();
  EXPECT_FALSE(Port.Connected());
}

// The transmit-empty of a reply written by a handler comes while the delivery still runs; it is
// delivered after it in the same hand-over instead of waking both threads once more.
TEST(ComPortPtyTest, AReplyAndItsTransmitEmptyShareOneHandOver) {
  test::TPtyPair Pty;
  TComDispatcher Dispatcher;
  TComPort Port(nullptr);
  std::vector<std::string> Heard;
  TComLink Link;
  Link.OnRxBuf = [&](TObject*, const void*, std::int32_t) {
    Heard.push_back("RxBuf");
    Port.WriteString("OK;");
  };
  Port.OnTxEmpty = [&Heard](TObject*) { Heard.push_back("TxEmpty"); };
  Port.SetDispatcher(Dispatcher);
  Port.AttachLink(&Link);
  Port.SetPort(Pty.SlavePath());
  Port.OpenPort();
  Pty.Send("ID;");
  Dispatcher.ServeUntil([&Heard] { return Heard.size() >= 2; });
  EXPECT_EQ(Heard, (std::vector<std::string>{"RxBuf", "TxEmpty"}));
  EXPECT_EQ(Pty.Receive(3), "OK;");
  Port.ClosePort();  // the event thread has ended: its hand-overs are all counted
  EXPECT_EQ(Dispatcher.Counts().Queued, 1u);
}

// A far end that never pauses keeps the port on its busy-line paths (reading again between
// deliveries, waiting on the device during a delivery, deliveries that follow one another in one
// hand-over): every byte still reaches the link once and in order, in every SyncMethod.
TEST(ComPortPtyTest, AFloodReachesTheLinkWholeAndInOrderInEverySyncMethod) {
  std::string Flood;
  for (int Packet = 0; Flood.size() < 512 * 1024; ++Packet) {
    Flood += "ST" + std::to_string(Packet) + ";";
  }
  for (const TSyncMethod Sync :
       {TSyncMethod::smThreadSync, TSyncMethod::smWindowSync, TSyncMethod::smNone}) {
    SCOPED_TRACE(static_cast<int>(Sync));
    test::TPtyPair Pty;
    TComDispatcher Dispatcher;
    std::string Received;  // the delivering thread's; read here once the port has closed
    std::atomic<std::size_t> ReceivedSize{0};
    TComLink Link;
    Link.OnRxBuf = [&](TObject*, const void* Buffer, std::int32_t Count) {
      Received.append(static_cast<const char*>(Buffer), Count);
      ReceivedSize.store(Received.size());
    };
    TComPort Port(nullptr);
    Port.SetDispatcher(Dispatcher);
    Port.SetSyncMethod(Sync);
    Port.AttachLink(&Link);
    Port.SetPort(Pty.SlavePath());
    Port.OpenPort();
    std::thread FarEnd([&] { Pty.Send(Flood); });
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ReceivedSize.load() < Flood.size() && std::chrono::steady_clock::now() < Deadline) {
      Dispatcher.Drain();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FarEnd.join();
    Port.ClosePort();
    EXPECT_EQ(Received.size(), Flood.size());
    EXPECT_TRUE(Received == Flood);
  }
}

// The last packet before closing (the disconnect notice) must reach the far end even though
// the far end reads it only after the port has closed.
TEST(ComPortPtyTest, BytesWrittenJustBeforeClosingAreNotThrownAway) {
  test::TPtyPair Pty;
  TComDispatcher Dispatcher;
  for (int Round = 0; Round < 20; ++Round) {
    TComPort Port(nullptr);
    Port.SetDispatcher(Dispatcher);
    Port.SetPort(Pty.SlavePath());
    Port.OpenPort();
    ASSERT_EQ(Port.WriteString("DI;"), 3);
    Port.ClosePort();
    EXPECT_EQ(Pty.Receive(3), "DI;") << "round " << Round;
  }
}

TEST(ComPortPtyTest, ASecondPortCannotOpenTheSameLine) {
  test::TPtyPair Pty;
  TComPort First(nullptr);
  TComPort Second(nullptr);
  First.SetEvents({});
  Second.SetEvents({});
  First.SetPort(Pty.SlavePath());
  Second.SetPort(Pty.SlavePath());
  First.OpenPort();
  const EComPort Error = CatchComPortError([&] { Second.OpenPort(); });
  EXPECT_EQ(Error.ErrorNumber(), 1);
  EXPECT_EQ(Error.SystemErrorCode(), EBUSY);
  EXPECT_FALSE(Second.Connected());
  EXPECT_TRUE(First.Connected());
}

TEST(ComPortPtyTest, NamesThatAreNoSerialPortGiveAnOpenError) {
  const std::string Names[] = {"",          std::string(5000, 'x'), "no such port",  "COM0",
                               "../../etc", "/etc/hostname",        "tty\x01\xff*?", "/dev/null"};
  for (const std::string& Name : Names) {
    TComPort Port(nullptr);
    Port.SetEvents({});
    Port.SetPort(Name);
    const EComPort Error = CatchComPortError([&] { Port.OpenPort(); });
    EXPECT_EQ(Error.ErrorNumber(), 1) << Name.substr(0, 40);
    EXPECT_GT(Error.SystemErrorCode(), 0) << Name.substr(0, 40);
    EXPECT_FALSE(Port.Connected()) << Name.substr(0, 40);
  }
}

}  // namespace
}  // namespace tolvane

// The network device against the in-process server, for what the shared device contract does
// not cover: the settings on the wire, answers that never come or differ, notifications,
// refusals and names. The port's opening through it is here too.
#include "serialport/device/network/network_device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "serialport/device/device_factory.h"
#include "serialport/device/network/com_port_option.h"
#include "serialport/device/network/network_address.h"
#include "serialport/dispatch/stop_signal.h"
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
  EXPECT_EQ(DeviceAddressFor("ttyUSB0"), "/dev/ttyUSB0");
  TNetworkDevice Device;
  EXPECT_EQ(Device.Open("http://station:80"), EINVAL);
  EXPECT_NE(Device.ErrorReason().find("rfc2217://HOST:PORT"), std::string::npos);
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
  EXPECT_EQ(Device.SetCommState(Dcb), EINVAL) << "the server kept another rate";
  EXPECT_EQ(Device.SetCommState(Dcb), EINVAL) << "and is asked again, not assumed to have it";
}

TEST_F(NetworkDevice, ARefusalBecomesTheOpeningsReason) {
  Server.RefuseNextWith("Port already in use");
  EXPECT_EQ(Device.Open(Server.PortName()), ECONNREFUSED);
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

}  // namespace
}  // namespace tolvane

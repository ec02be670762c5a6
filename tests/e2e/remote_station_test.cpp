// The utility reaching the controller at a remote station: the simulator's line behind the real
// ser2net on loopback, the window's port named rfc2217://127.0.0.1:PORT (or socket://...), with
// the window's own port, event thread and timer. What the server does to the device is read back
// from the simulator's pseudo-terminal.
#include <QAction>
#include <QToolButton>
#include <csignal>
#include <fstream>

#include "tests/e2e/utility_session.h"
#include "tests/support/line_shape.h"
#include "tests/support/ser2net_server.h"

namespace tolvane {
namespace {

using testing_support::LineShapeOf;
using testing_support::ShapeText;
using testing_support::TLineShape;
using testing_support::TLoopbackClient;
using testing_support::TSer2netServer;
using testing_support::TServerProtocol;

class RemoteStation : public UtilitySession {
 protected:
  // The window lets go of its connection before the server is killed.
  ~RemoteStation() override { CloseWindow(); }

  void StartStation(TServerProtocol Protocol = TServerProtocol::Rfc2217) {
    StartSimulator({}, StoredRegisters());
    Server = std::make_unique<TSer2netServer>(Simulator->SlavePath(), Protocol, Directory.Path());
    ASSERT_TRUE(Server->Start()) << Server->Error();
  }

  // The settings file names the server, with more keys of the port's section if given.
  void OpenWindowOnTheStation(const std::string& MorePortKeys = "") {
    std::ofstream(SettingsPath) << "[ComPort]\nPort=" << Server->Url() << "\n" << MorePortKeys;
    OpenWindow();
  }

  bool Disconnected() const { return !Form->ComPort().Connected(); }

  // ser2net opens the device for each client and closes it when the client has gone.
  bool DeviceOpenedTimes(int Times) {
    return ProcessEventsUntil([&] { return LogCount("line opened") >= Times; });
  }
  bool DeviceClosedTimes(int Times) {
    return ProcessEventsUntil([&] { return LogCount("line closed") >= Times; });
  }

  // The device's settings, once they have become Expected (the server applies them a moment
  // after it is asked); what they are otherwise.
  TLineShape DeviceShapeBecoming(const TLineShape& Expected) {
    std::optional<TLineShape> Shape;
    ProcessEventsUntil([&] {
      Shape = LineShapeOf(Simulator->Pid(), Simulator->SlavePath());
      return Shape == Expected;
    });
    EXPECT_TRUE(Shape.has_value()) << Simulator->SlavePath();
    return Shape.value_or(TLineShape{});
  }

  void ExpectReadGivesTheControllersValues() {
    Read();
    EXPECT_TRUE(FieldsBecome(TextsOf(StoredRegisters()))) << SimulatorLog();
  }

  std::unique_ptr<TSer2netServer> Server;
};

TEST_F(RemoteStation, ConnectReadWriteAndDisconnectThroughRfc2217) {
  StartStation();
  OpenWindowOnTheStation();
  ConnectAndIdentify();
  EXPECT_EQ(LogCount("line opened"), 1) << "one connection to the server";
  ExpectReadGivesTheControllersValues();

  std::vector<std::string> Edited = TextsOf(StoredRegisters());
  Edited[0] = "03100";
  Edited[10] = "00045";
  SetFieldTexts(Edited);
  Write();
  EXPECT_TRUE(ProcessEventsUntil([&] {
    const std::string Registers = RegisterFileText();
    return Registers.find("0012=03100\n") != std::string::npos &&
           Registers.find("0032=00045\n") != std::string::npos;
  })) << RegisterFileText();
  EXPECT_EQ(LogCount("register 0012 set to 03100"), 1) << SimulatorLog();

  ClickConnect();
  EXPECT_TRUE(Disconnected());
  EXPECT_TRUE(ProcessEventsUntil([this] { return LogCount(PacketSeen("DI") + " DI noted") == 1; }))
      << SimulatorLog();
  EXPECT_TRUE(DeviceClosedTimes(1)) << "the server let go of the device: " << SimulatorLog();
  EXPECT_TRUE(Messages.Boxes.empty());
}

// The pseudo-terminal keeps what ser2net set on it: the window's rate at the connection, and an
// odd rate with two stop bits and hardware flow control, as set with the port closed, at the next.
TEST_F(RemoteStation, TheWindowsLineSettingsReachTheDeviceBehindTheServer) {
  StartStation();
  OpenWindowOnTheStation("BaudRate=19200\n");
  ConnectAndIdentify();
  const TLineShape At19200{19200, false, false, false};
  const TLineShape AtConnect = DeviceShapeBecoming(At19200);
  EXPECT_EQ(AtConnect, At19200) << ShapeText(AtConnect);

  ClickConnect();
  ASSERT_TRUE(DeviceClosedTimes(1)) << SimulatorLog();
  TCustomComPort& Port = Form->ComPort();
  Port.SetCustomBaudRate(250000);
  Port.SetBaudRate(TBaudRate::brCustom);
  Port.SetStopBits(TStopBits::sbTwoStopBits);
  Port.FlowControl().SetFlowControl(TFlowControl::fcHardware);
  ConnectAndIdentify();
  const TLineShape Odd{250000, true, true, false};
  const TLineShape Seen = DeviceShapeBecoming(Odd);
  EXPECT_EQ(Seen, Odd) << ShapeText(Seen);
  ExpectReadGivesTheControllersValues();
  EXPECT_TRUE(Messages.Boxes.empty()) << Messages.Boxes[0].Text.toStdString();
}

// A server that dies (politely or not) looks like a pulled cable: one box naming the address, the
// window disconnected; the same server back, Connect works again.
TEST_F(RemoteStation, AKilledServerGivesOneLostBoxAndAStartedOneIdentifiesAgain) {
  StartStation();
  OpenWindowOnTheStation();
  const std::string Lost = "Connection to " + Server->Url() + " lost: ";
  std::size_t Boxes = 0;
  for (const int Signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(Signal == SIGTERM ? "SIGTERM" : "SIGKILL");
    ConnectAndIdentify();
    Server->Kill(Signal);
    ASSERT_TRUE(ProcessEventsUntil([this] { return Disconnected(); }));
    ASSERT_EQ(Messages.Boxes.size(), ++Boxes);
    const std::string Text = Messages.Boxes.back().Text.toStdString();
    EXPECT_TRUE(Text.starts_with(Lost)) << Text;
    EXPECT_GT(Text.size(), Lost.size()) << "a reason follows";
    EXPECT_FALSE(Find<QToolButton>("Button_Open")->isChecked());
    EXPECT_EQ(DisplayedCaption(Find<QAction>("MMConnect")->text()), "Connect");
    EXPECT_FALSE(Find<QToolButton>("Button6")->isEnabled());
    EXPECT_FALSE(Form->Sequencer().WaitID());
    ProcessEventsFor(300ms);
    EXPECT_EQ(Messages.Boxes.size(), Boxes) << "the box stays the only one";

    ASSERT_TRUE(Server->Start()) << Server->Error();
  }
  ConnectAndIdentify();
  ExpectReadGivesTheControllersValues();
  EXPECT_EQ(Messages.Boxes.size(), Boxes);
}

// The station's adapter pulled: the simulator's line vanishes under ser2net, which drops the
// connection. While it is away the server refuses with its reason; once it is back behind the
// same link, Connect works again.
TEST_F(RemoteStation, TheDeviceVanishingUnderTheServerIsALostLineAndARefusalUntilItIsBack) {
  const std::string Link = (Directory.Path() / "controller").string();
  StartSimulator({"--link", Link, "--vanish-after", "6"}, StoredRegisters());
  Server = std::make_unique<TSer2netServer>(Link, TServerProtocol::Rfc2217, Directory.Path());
  ASSERT_TRUE(Server->Start()) << Server->Error();
  OpenWindowOnTheStation();
  ConnectAndIdentify();
  Find<QToolButton>("Button6")->click();
  ASSERT_TRUE(ProcessEventsUntil([this] { return Disconnected(); })) << SimulatorLog();
  EXPECT_EQ(LogCount("line vanished (after 6 packets)"), 1);
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_TRUE(Messages.Boxes[0].Text.startsWith(
      QString::fromStdString("Connection to " + Server->Url() + " lost: ")))
      << Messages.Boxes[0].Text.toStdString();
  EXPECT_FALSE(SequenceRunning());

  ClickConnect();
  ASSERT_TRUE(ProcessEventsUntil([this] { return Messages.Boxes.size() == 2; }));
  EXPECT_TRUE(Disconnected());
  EXPECT_NE(Messages.Boxes[1].Text.toStdString().find(Server->Url() + ": Device open failure"),
            std::string::npos)
      << Messages.Boxes[1].Text.toStdString();

  ASSERT_EQ(::kill(Simulator->Pid(), SIGUSR2), 0);
  ASSERT_TRUE(ProcessEventsUntil([this] { return LogCount("line back as") == 1; }));
  ConnectAndIdentify();
  ExpectReadGivesTheControllersValues();
  EXPECT_EQ(Messages.Boxes.size(), 2u);
}

TEST_F(RemoteStation, ARawTcpSessionConnectsAndReads) {
  StartStation(TServerProtocol::RawTcp);
  OpenWindowOnTheStation();
  ConnectAndIdentify();
  ExpectReadGivesTheControllersValues();
  EXPECT_TRUE(Messages.Boxes.empty());
}

// ser2net serves one client; the second is told so in words, which the box passes on.
TEST_F(RemoteStation, ASecondClientIsRefusedWithTheServersWordsUntilTheFirstLeaves) {
  StartStation();
  OpenWindowOnTheStation();
  auto First = std::make_unique<TLoopbackClient>(Server->Port());
  ASSERT_TRUE(First->Connected());
  ASSERT_TRUE(DeviceOpenedTimes(1)) << SimulatorLog();

  ClickConnect();
  ASSERT_TRUE(ProcessEventsUntil([this] { return !Messages.Boxes.empty(); }));
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  const std::string Text = Messages.Boxes[0].Text.toStdString();
  EXPECT_NE(Text.find(Server->Url() + ": Port already in use"), std::string::npos) << Text;
  EXPECT_TRUE(Disconnected());
  EXPECT_FALSE(Find<QToolButton>("Button_Open")->isChecked());
  EXPECT_EQ(LogCount(PacketSeen("ID")), 0) << SimulatorLog();

  First.reset();
  ASSERT_TRUE(DeviceClosedTimes(1)) << SimulatorLog();
  ConnectAndIdentify();
  EXPECT_EQ(Messages.Boxes.size(), 1u);
}

}  // namespace
}  // namespace tolvane

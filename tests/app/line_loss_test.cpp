// The line going away under a connected window, on a real pseudo-terminal reached through a link
// (as /dev/serial/by-id/... reaches an adapter): closing the far end is pulling the cable, a new
// terminal behind the same link is plugging it back in.
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "logic/transfer/application_title.h"
#include "main_window_fixture.h"
#include "serialport/base/gettext_translator.h"
#include "serialport/base/translation.h"
#include "serialport/dispatch/com_dispatcher.h"
#include "tests/support/pty_pair.h"
#include "write_log_device.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

class LineLoss : public MainWindowTest {
 protected:
  LineLoss() {
    PlugIn();
    Form->ComPort().SetPort(LinkPath);
  }

  void PlugIn() {
    Controller = std::make_unique<test::TPtyPair>();
    std::filesystem::remove(LinkPath);
    std::filesystem::create_symlink(Controller->SlavePath(), LinkPath);
  }

  void PullTheCable() {
    Controller.reset();
    WritesBeforeLoss = Device.Writes().size();
  }

  // Serves the port's deliveries until Done() holds; the bound only ends a wait that would hang.
  bool ServeUntil(const std::function<bool()>& Done) {
    const auto Bound = std::chrono::steady_clock::now() + 20s;
    for (;;) {
      TComDispatcher::Default().Drain();
      if (Done()) return true;
      if (std::chrono::steady_clock::now() >= Bound) return false;
      std::this_thread::sleep_for(1ms);
    }
  }

  void Connect() {
    Find<QToolButton>("Button_Open")->click();
    ASSERT_TRUE(Form->ComPort().Connected());
  }

  void ConnectAndIdentify() {
    Connect();
    Form->StatusTimer();
    Controller->Send("ID200;");
    ASSERT_TRUE(ServeUntil([this] { return !Form->Sequencer().WaitID(); }));
  }

  void Ticks(int Count) {
    for (int Tick = 0; Tick < Count; ++Tick) Form->StatusTimer();
  }

  std::vector<std::string> WritesAfterLoss() const {
    const std::vector<std::string> All = Device.Writes();
    return {All.begin() + static_cast<std::ptrdiff_t>(WritesBeforeLoss), All.end()};
  }

  // One box, the window disconnected with nothing left running, and never a "DI;". A Write cut
  // short adds its lines to the box.
  void ExpectLostOnce(const std::string& StoppedWrite = {}) {
    ASSERT_EQ(Messages.Boxes.size(), 1u);
    EXPECT_EQ(Messages.Boxes[0].Caption.toStdString(), ApplicationTitle);
    EXPECT_EQ(SplitBackupLines(Messages.Boxes[0].Text.toStdString()).first,
              "Connection to " + LinkPath + " lost: Input/output error" +
                  (StoppedWrite.empty() ? "" : "\n\n" + StoppedWrite));
    EXPECT_FALSE(Form->ComPort().Connected());
    EXPECT_FALSE(Find<QToolButton>("Button_Open")->isChecked());
    EXPECT_EQ(DisplayedCaption(Find<QAction>("MMConnect")->text()), "Connect");
    EXPECT_TRUE(Find<QAction>("MMCOMPortSettings")->isEnabled());
    for (const char* Button : {"Button4", "Button5", "Button6", "Button7"}) {
      EXPECT_FALSE(Find<QToolButton>(Button)->isEnabled()) << Button;
    }
    EXPECT_FALSE(Form->Sequencer().Running());
    EXPECT_FALSE(Form->Sequencer().WaitID());
    EXPECT_TRUE(Find<QWidget>("PaneProgress")->isHidden());
    const std::vector<std::string> Writes = Device.Writes();
    EXPECT_EQ(std::ranges::count(Writes, "DI;"), 0);

    // Nothing more: the port's own notice finds the port closed, and ticks send nothing.
    ServeUntil([] { return true; });
    Ticks(5);
    EXPECT_EQ(Messages.Boxes.size(), 1u);
    EXPECT_EQ(Device.Writes().size(), Writes.size());
  }

  void ExpectReconnectIdentifies() {
    PlugIn();
    ConnectAndIdentify();
    EXPECT_EQ(Controller->EverythingSent(), "ID;");
    EXPECT_EQ(Messages.Boxes.size(), 1u);
  }

  const std::string LinkPath = Directory.filePath("controller").toStdString();
  TWriteLogDevice& Device = InstallWriteLogDevice(Form->ComPort());
  std::unique_ptr<test::TPtyPair> Controller;
  std::size_t WritesBeforeLoss = 0;
};

TEST_F(LineLoss, WhileIdentifiedThePortsNoticeDisconnectsTheWindow) {
  ConnectAndIdentify();
  PullTheCable();
  ASSERT_TRUE(ServeUntil([this] { return !Form->ComPort().Connected(); }));
  ExpectLostOnce();
  EXPECT_TRUE(WritesAfterLoss().empty());
  ExpectReconnectIdentifies();
}

// The next request meets the dead line before the port's notice is served: the sequence ends
// after that one write, with one box.
TEST_F(LineLoss, DuringReadTheFailedRequestEndsTheSequence) {
  ConnectAndIdentify();
  Find<QToolButton>("Button6")->click();
  Ticks(3);
  PullTheCable();
  Form->StatusTimer();
  EXPECT_EQ(WritesAfterLoss(), std::vector<std::string>{"ST0018;"});
  ExpectLostOnce();
  ExpectReconnectIdentifies();
  Ticks(3);
  EXPECT_FALSE(Form->Sequencer().Running()) << "the read must not resume after reconnecting";
}

TEST_F(LineLoss, DuringWriteThePortsNoticeEndsTheSequence) {
  ConnectAndIdentify();
  ReadTheController();
  Find<QToolButton>("Button7")->click();
  Ticks(2);
  PullTheCable();
  ASSERT_TRUE(ServeUntil([this] { return !Form->ComPort().Connected(); }));
  ExpectLostOnce(
      "Write stopped because the line was lost after 2 of 11 registers; none verified.\n"
      "Written, not verified: Ua max, V; Ia max, mA.\n"
      "Not written: Ug max, V; Ig max, mA; Time ON; Time OFF; Time Light; Time Sleep; SWR HI; "
      "VOX Delay; Switch Delay.");
  EXPECT_TRUE(WritesAfterLoss().empty());
  ExpectReconnectIdentifies();
}

TEST_F(LineLoss, DuringIdentificationTheFailedPollEndsIt) {
  Connect();
  Ticks(3);
  PullTheCable();
  Form->StatusTimer();
  EXPECT_EQ(WritesAfterLoss(), std::vector<std::string>{"ID;"});
  ExpectLostOnce();
  Ticks(160);
  EXPECT_EQ(Messages.Boxes.size(), 1u) << "no \"No connection\" for a line already let go";
  ExpectReconnectIdentifies();
}

// Disconnect pressed before the port's notice was served: "DI;" cannot go out, which is
// reported once, and the port is let go anyway.
TEST_F(LineLoss, DisconnectOnADeadLineReleasesThePort) {
  ConnectAndIdentify();
  PullTheCable();
  Find<QToolButton>("Button_Open")->click();
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_EQ(Messages.Boxes[0].Text.toStdString(),
            "Connection to " + LinkPath + " lost: Input/output error");
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_EQ(WritesAfterLoss(), std::vector<std::string>{"DI;"});
  ServeUntil([] { return true; });
  EXPECT_EQ(Messages.Boxes.size(), 1u);
  ExpectReconnectIdentifies();
}

// The lost-line box in one language: German from the utility's own catalogs, and English as a
// whole when the catalog lacks the reason.
TEST_F(LineLoss, TheBoxSpeaksOneLanguage) {
  const char* Lang = std::getenv("LANG");
  const std::string SavedLang = Lang != nullptr ? Lang : "";
  ::setenv("LANG", "de_DE.UTF-8", 1);
  InstallTranslations(TOLVANE_BUILT_APP_DIR);
  Connect();
  PullTheCable();
  ServeUntil([this] { return !Form->ComPort().Connected(); });
  RemoveTranslations();
  Lang != nullptr ? ::setenv("LANG", SavedLang.c_str(), 1) : ::unsetenv("LANG");
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_EQ(Messages.Boxes[0].Text.toStdString(),
            "Verbindung zu " + LinkPath + " verloren: Eingabe-/Ausgabefehler");

  SetTranslator([](const std::string& Text) {
    return Text == "Connection to %s lost: %s" ? std::string("Verbindung zu %s verloren: %s")
                                               : Text;
  });
  PlugIn();
  Connect();
  PullTheCable();
  ServeUntil([this] { return !Form->ComPort().Connected(); });
  SetTranslator({});
  ASSERT_EQ(Messages.Boxes.size(), 2u);
  EXPECT_EQ(Messages.Boxes[1].Text.toStdString(),
            "Connection to " + LinkPath + " lost: Input/output error");
}

// The status line through a whole session: the device always, the state as it changes.
TEST_F(LineLoss, TheStatusLineFollowsConnectIdentificationLossAndDisconnect) {
  TStatusLine& Line = *Form->StatusLine;
  Ticks(1);  // the port was named behind the window's back; a tick shows the new name
  EXPECT_EQ(Line.PortText().toStdString(), LinkPath);
  EXPECT_EQ(Line.StateText(), "Disconnected");

  Connect();
  EXPECT_EQ(Line.StateText(), "Identifying");
  Ticks(2);
  EXPECT_EQ(Line.StateText(), "Identifying (poll 2 of 150)");
  Controller->Send("ID200;");
  ASSERT_TRUE(ServeUntil([this] { return !Form->Sequencer().WaitID(); }));
  EXPECT_EQ(Line.StateText(), "Identified");
  Ticks(2);
  EXPECT_EQ(Line.StateText(), "Identified");

  PullTheCable();
  ASSERT_TRUE(ServeUntil([this] { return !Form->ComPort().Connected(); }));
  EXPECT_EQ(Line.StateText(), "Connection lost");
  Ticks(2);
  EXPECT_EQ(Line.StateText(), "Connection lost") << "the loss stays in view until a new Connect";

  PlugIn();
  Connect();
  EXPECT_EQ(Line.StateText(), "Identifying");
  Find<QToolButton>("Button_Open")->click();
  EXPECT_EQ(Line.StateText(), "Disconnected");

  Line.SetTransferResult("Read: 11 of 11 registers");
  EXPECT_EQ(Line.TransferText(), "Read: 11 of 11 registers");
  EXPECT_EQ(Line.StateText(), "Disconnected");
}

// A controller that never answers but keeps its line is no lost line: a Read waits for the
// identification, which gives up after 150 polls as ever, and not one register packet goes out.
TEST_F(LineLoss, AControllerThatStaysSilentIsNoLostLine) {
  Connect();
  Find<QToolButton>("Button6")->click();
  Ticks(12);
  EXPECT_TRUE(Form->Sequencer().Running());
  EXPECT_TRUE(Messages.Boxes.empty());
  Ticks(139);
  ServeUntil([] { return true; });
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_EQ(Messages.Boxes[0].Text, "No connection");
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_EQ(std::ranges::count(Device.Writes(), "ID;"), 150);
  EXPECT_EQ(Device.Writes().size(), 150u) << "nothing but the polls";
  EXPECT_FALSE(Form->Sequencer().Running());
  EXPECT_EQ(Form->StatusLine->StateText(), "Disconnected");
}

}  // namespace
}  // namespace tolvane

// What only a real windowing platform shows: the title of each window and the menu that keys typed
// on the keyboard open. Qt formats the title it hands to the window system (an application
// display name is appended to it), and the offscreen platform never shows that form; so these
// tests run the utility's start-up on the xcb platform against an X server of their own, read
// each top-level window's _NET_WM_NAME, which Qt sets from that form, and type through the
// server's XTEST extension.
#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/application_start.h"
#include "app/error_report.h"
#include "app/form_main.h"
#include "app/message_presenter.h"
#include "logic/transfer/application_title.h"
#include "logic/transfer/transfer_sequencer.h"
#include "portsetup/com_select.h"
#include "serialport/base/com_error.h"
#include "tests/app/virtual_display.h"
#include "tests/support/sysfs_tree.h"

namespace tolvane {
namespace {

xcb_atom_t Atom(xcb_connection_t* Connection, const char* Name) {
  const xcb_intern_atom_cookie_t Cookie =
      xcb_intern_atom(Connection, 0, static_cast<std::uint16_t>(std::strlen(Name)), Name);
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> Reply(
      xcb_intern_atom_reply(Connection, Cookie, nullptr), &std::free);
  return Reply ? Reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The window's _NET_WM_NAME as the X server holds it. The request goes out on Qt's own
// connection, behind the requests with which Qt set the property.
std::string NetWmName(QWidget& Window) {
  auto* X11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (X11 == nullptr) return "<not on X11>";
  xcb_connection_t* Connection = X11->connection();
  const xcb_get_property_cookie_t Cookie =
      xcb_get_property(Connection, 0, static_cast<xcb_window_t>(Window.winId()),
                       Atom(Connection, "_NET_WM_NAME"), Atom(Connection, "UTF8_STRING"), 0, 1024);
  std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> Reply(
      xcb_get_property_reply(Connection, Cookie, nullptr), &std::free);
  if (!Reply) return "<no reply>";
  return std::string(static_cast<const char*>(xcb_get_property_value(Reply.get())),
                     static_cast<std::size_t>(xcb_get_property_value_length(Reply.get())));
}

// The first key code that produces Symbol in the server's keyboard map.
xcb_keycode_t KeyCodeOf(xcb_connection_t* Connection, xcb_keysym_t Symbol) {
  const xcb_setup_t* Setup = xcb_get_setup(Connection);
  const int Count = Setup->max_keycode - Setup->min_keycode + 1;
  std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)> Map(
      xcb_get_keyboard_mapping_reply(Connection,
                                     xcb_get_keyboard_mapping(Connection, Setup->min_keycode,
                                                              static_cast<std::uint8_t>(Count)),
                                     nullptr),
      &std::free);
  if (!Map) return 0;
  const xcb_keysym_t* Symbols = xcb_get_keyboard_mapping_keysyms(Map.get());
  for (int Code = 0; Code < Count; ++Code) {
    for (int Level = 0; Level < Map->keysyms_per_keycode; ++Level) {
      if (Symbols[Code * Map->keysyms_per_keycode + Level] == Symbol)
        return static_cast<xcb_keycode_t>(Setup->min_keycode + Code);
    }
  }
  return 0;
}

// Presses the keys in order and releases them in reverse, through the X server's test extension,
// so the key events reach the window the way a keyboard's do.
void PressChord(std::initializer_list<xcb_keysym_t> Symbols) {
  xcb_connection_t* Connection =
      qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
  std::vector<xcb_keycode_t> Codes;
  for (const xcb_keysym_t Symbol : Symbols) Codes.push_back(KeyCodeOf(Connection, Symbol));
  for (const xcb_keycode_t Code : Codes) {
    xcb_test_fake_input(Connection, XCB_KEY_PRESS, Code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  }
  for (auto Code = Codes.rbegin(); Code != Codes.rend(); ++Code) {
    xcb_test_fake_input(Connection, XCB_KEY_RELEASE, *Code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  }
  xcb_flush(Connection);
}

// Runs Action, which shows a window modally, and gives the title of that window, which is
// closed again as soon as it has been read.
std::string TitleOfModalWindow(const std::function<void()>& Action) {
  std::string Title = "<no modal window>";
  QTimer::singleShot(0, [&] {
    QWidget* Window = QApplication::activeModalWidget();
    if (Window == nullptr) return;
    Title = NetWmName(*Window);
    Window->close();
  });
  Action();
  return Title;
}

class WindowTitlesUnderX11 : public testing::Test {
 protected:
  void SetUp() override {
    Ports.AddPort("ttyS0", "4");
    SetPortListPlaces(Ports.Places());
    Form->show();
  }
  void TearDown() override { SetPortListPlaces(TPortPlaces()); }

  void Trigger(const char* Action) { Form->findChild<QAction*>(Action)->trigger(); }

  TSysfsTree Ports;
  QTemporaryDir Directory;
  std::unique_ptr<TForm1> Form = std::make_unique<TForm1>(Directory.filePath("Settings.ini"));
};

TEST_F(WindowTitlesUnderX11, TheMainWindowTheAboutBoxAndTheSetupDialogShowTheirCaptions) {
  EXPECT_EQ(NetWmName(*Form), WindowCaption);
  EXPECT_EQ(TitleOfModalWindow([&] { Trigger("MMAbout"); }), WindowCaption);
  EXPECT_EQ(TitleOfModalWindow([&] { Trigger("MMCOMPortSettings"); }), "Setup");
}

// Alt+F typed on the X server's keyboard opens the File menu; Escape closes it again.
TEST_F(WindowTitlesUnderX11, AltFOnTheKeyboardOpensTheFileMenu) {
  constexpr xcb_keysym_t AltKey = 0xffe9;  // XK_Alt_L
  constexpr xcb_keysym_t FKey = 0x66;      // XK_f
  constexpr xcb_keysym_t EscapeKey = 0xff1b;
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  PressChord({AltKey, FKey});
  EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
  EXPECT_EQ(QApplication::activePopupWidget(), Form->findChild<QMenu*>("MMFile"));
  PressChord({EscapeKey});
  EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
}

// F10 opens the menus; one Escape closes them and gives the keys back to the field that had
// them, so Tab moves on from there at once.
TEST_F(WindowTitlesUnderX11, EscapeAfterF10ReturnsTheFocusWhereItWas) {
  constexpr xcb_keysym_t F10Key = 0xffc7;
  constexpr xcb_keysym_t EscapeKey = 0xff1b;
  constexpr xcb_keysym_t TabKey = 0xff09;
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  QWidget* Field = Form->findChild<QWidget*>("Edit_Ia_max");
  Field->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == Field; }));
  PressChord({F10Key});
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
  PressChord({EscapeKey});
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == Field; }))
      << "focus on " << QApplication::focusWidget()->objectName().toStdString();
  PressChord({TabKey});
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return QApplication::focusWidget() == Form->findChild<QWidget*>("Edit_Ug_max"); }));
}

TEST_F(WindowTitlesUnderX11, ErrorBoxesShowTheirCaptions) {
  EXPECT_EQ(TitleOfModalWindow([] {
              ReportException(std::make_exception_ptr(EComPort(CError_OpenFailed, ENOENT)));
            }),
            ApplicationTitle);
  EXPECT_EQ(TitleOfModalWindow([] {
              ShowErrorBox(QString::fromUtf8(WrongDataTitle.data(), WrongDataTitle.size()),
                           "Wrong Data");
            }),
            "Error");
}

}  // namespace
}  // namespace tolvane

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const tolvane::TVirtualDisplay XServer(TOLVANE_XVFB);
  qputenv("QT_QPA_PLATFORM", "xcb");
  // The windows need no desktop session bus, and looking for one leaks a buffer in libdbus.
  qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
  QApplication Application(argc, argv);
  tolvane::PrepareApplication();
  return RUN_ALL_TESTS();
}

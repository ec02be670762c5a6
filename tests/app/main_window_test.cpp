#include <QAccessible>
#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest/QTest>

#include "logic/transfer/application_title.h"
#include "logic/transfer/transfer_report.h"
#include "main_window_fixture.h"
#include "window_pictures.h"

namespace tolvane {
namespace {

using MainWindow = MainWindowTest;

TEST_F(MainWindow, StartsAsDesigned) {
  EXPECT_EQ(Form->windowTitle().toStdString(), WindowCaption);
  EXPECT_EQ(Form->centralWidget()->size(), QSize(457, 169));
  EXPECT_EQ(Form->pos(), QPoint(224, 129));
  // Resizable: it can be maximised, and shrinks no further than its views need.
  EXPECT_TRUE(Form->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(Form->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(Form->Status->interval(), 100);

  EXPECT_EQ(Form->ComPort().Port(), "COM1");
  EXPECT_TRUE(Form->ComPort().DiscardNull());
  EXPECT_EQ(Form->ComPort().Events(), AllComEvents);
  EXPECT_EQ(Form->ComPort().FlowControl().ControlDTR(), TDTRFlowControl::dtrEnable);
  EXPECT_EQ(Form->ComPort().FlowControl().ControlRTS(), TRTSFlowControl::rtsDisable);
  EXPECT_FALSE(Form->ComPort().Connected());
}

TEST_F(MainWindow, MenuItemsStartInTheirDesignedState) {
  EXPECT_EQ(DisplayedCaption(Find<QAction>("MMConnect")->text()), "Connect");
  EXPECT_FALSE(Find<QAction>("MMControl")->isVisible());
  EXPECT_FALSE(Find<QAction>("MMControl")->isChecked());
  EXPECT_FALSE(Find<QAction>("MMTerminal")->isChecked());
  EXPECT_TRUE(Find<QAction>("MMAdjustments")->isChecked());
  EXPECT_FALSE(Find<QAction>("MMColor")->isVisible());
  EXPECT_TRUE(Find<QAction>("MMCOMPortSettings")->isEnabled());
  for (const char* WithBitmap :
       {"MMConnect", "MMExit", "MMColor", "MMCOMPortSettings", "MMAbout"}) {
    EXPECT_FALSE(Find<QAction>(WithBitmap)->icon().isNull()) << WithBitmap;
  }
}

TEST_F(MainWindow, StartsWithTheSettingsFieldsAndEverythingElseDisconnected) {
  const std::pair<const char*, const char*> Expected[] = {
      {"Edit_Ua_max", "03200"},     {"Edit_Ia_max", "00999"},      {"Edit_Ug_max", "00650"},
      {"Edit_Ig_max", "00250"},     {"Edit_Time_ON", "00020"},     {"Edit_Time_OFF", "00040"},
      {"Edit_Time_Light", "00002"}, {"Edit_Time_Sleep", "00010"},  {"Edit_SWR_HI", "00005"},
      {"Edit_VOX_Delay", "00010"},  {"Edit_Switch_Delay", "00050"}};
  for (const auto& [Name, Text] : Expected) {
    EXPECT_EQ(Find<QLineEdit>(Name)->text(), Text) << Name;
    EXPECT_TRUE(Find<QLineEdit>(Name)->isEnabled()) << Name;
  }
  for (int Reserved = 9; Reserved <= 17; ++Reserved) {
    const QByteArray Name = "Edit" + QByteArray::number(Reserved);
    EXPECT_EQ(Find<QLineEdit>(Name)->text(), "0") << Name.data();
    EXPECT_FALSE(Find<QLineEdit>(Name)->isEnabled()) << Name.data();
  }
  for (const char* Button : {"Button4", "Button5", "Button6", "Button7"}) {
    EXPECT_FALSE(Find<QToolButton>(Button)->isEnabled()) << Button;
  }
  EXPECT_FALSE(Find<QToolButton>("Button_Open")->isChecked());
  EXPECT_EQ(Find<QToolButton>("Button_Open")->toolTip(), "Connect to TRX");
  EXPECT_TRUE(Find<QWidget>("PaneProgress")->isHidden());
}

TEST_F(MainWindow, StartingWithoutASettingsFileCreatesItAndLoadsItBack) {
  QFile Settings(Form->SettingsPath());
  ASSERT_TRUE(Settings.open(QIODevice::ReadOnly));
  const QByteArray Text = Settings.readAll();
  EXPECT_TRUE(Text.contains("[ComPort]"));
  EXPECT_TRUE(Text.contains("UaMAX=03200"));
  EXPECT_TRUE(Messages.Boxes.empty());

  // A second window loads what the file holds.
  Find<QLineEdit>("Edit_Ua_max")->setText("01234");
  Form->StoreSet();
  TForm1 Second(Form->SettingsPath());
  EXPECT_EQ(Second.findChild<QLineEdit*>("Edit_Ua_max")->text(), "01234");
}

// The menus as the keyboard reaches them: Alt and the underlined letter, F10, and Ctrl+Q.
class MainWindowKeys : public MainWindowTest {
 protected:
  MainWindowKeys() {
    Form->show();
    QApplication::setActiveWindow(Form.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  }

  QMenu* OpenMenu() const { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }
  void CloseMenu() {
    if (QMenu* Open = OpenMenu()) Open->close();
  }
};

TEST_F(MainWindowKeys, AltAndTheUnderlinedLetterOpenEachMenuAndF10TheFirst) {
  const std::pair<Qt::Key, const char*> Menus[] = {{Qt::Key_F, "MMFile"},
                                                   {Qt::Key_V, "MMView"},
                                                   {Qt::Key_S, "MMSettings"},
                                                   {Qt::Key_H, "MMHelp"}};
  for (const auto& [Letter, Name] : Menus) {
    QTest::keyClick(Form.get(), Letter, Qt::AltModifier);
    EXPECT_EQ(OpenMenu(), Find<QMenu>(Name)) << Name;
    CloseMenu();
  }
  QTest::keyClick(Form.get(), Qt::Key_F10);
  EXPECT_EQ(OpenMenu(), Find<QMenu>("MMFile"));
  CloseMenu();

  // The captions read as designed; the "&" only underlines.
  EXPECT_EQ(DisplayedCaption(Find<QMenu>("MMFile")->title()), "File");
  EXPECT_EQ(DisplayedCaption(Find<QAction>("MMCOMPortSettings")->text()), "COM Port Settings...");
}

TEST_F(MainWindowKeys, AnItemIsChosenByItsLetterAndCtrlQExits) {
  QTest::keyClick(Form.get(), Qt::Key_V, Qt::AltModifier);
  ASSERT_EQ(OpenMenu(), Find<QMenu>("MMView"));
  QTest::keyClick(OpenMenu(), Qt::Key_T);
  EXPECT_TRUE(Find<QAction>("MMTerminal")->isChecked());
  EXPECT_FALSE(Find<QWidget>("PanelTerminal")->isHidden());

  QTest::keyClick(Form.get(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(Form->isVisible());
  EXPECT_TRUE(Messages.Boxes.empty());
}

TEST_F(MainWindow, ReturnEnterAndSpaceClickAFocusedSpeedButton) {
  auto* Read = Find<QToolButton>("Button6");
  Read->setEnabled(true);
  QSignalSpy Clicked(Read, &QToolButton::clicked);
  for (const Qt::Key Key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
    QTest::keyClick(Read, Key);
  }
  EXPECT_EQ(Clicked.count(), 3);
  EXPECT_EQ(Find<QToolButton>("Button_Open")->focusPolicy(), Qt::StrongFocus);
}

TEST_F(MainWindow, TabRunsThroughTheElevenFieldsThenConnectReadAndWrite) {
  QStringList Order;
  QWidget* Current = Find<QLineEdit>("Edit_Ua_max");
  while (Order.size() < int(RegisterCount) + 3) {
    if (Current->focusPolicy() & Qt::TabFocus) Order << Current->objectName();
    Current = Current->nextInFocusChain();
  }
  QStringList Expected;
  for (const TRegisterRow& Row : RegisterTable) Expected << QString::fromUtf8(Row.FieldName.data());
  Expected << "Button_Open"
           << "Button6"
           << "Button7";
  EXPECT_EQ(Order, Expected);
}

// A file that exists but cannot be read is no fresh start: one box names it with the reason, and
// every field shows it holds a default. Root reads any file, so a directory stands in for it.
TEST_F(MainWindow, AnUnreadableSettingsFileIsReportedAndTheDefaultsMarked) {
  const QString Path = Directory.filePath("Unreadable.ini");
  ASSERT_TRUE(QDir().mkdir(Path));
  TForm1 Window(Path);
  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_EQ(Messages.Boxes[0].Text.toStdString(),
            "Settings.ini could not be read, so the fields show the default values.\n" +
                Path.toStdString() + ": Is a directory");
  for (const TRegisterRow& Row : RegisterTable) {
    QLineEdit* Field = Window.findChild<QLineEdit*>(QString::fromUtf8(Row.FieldName));
    EXPECT_EQ(Field->text().toStdString(), Row.Default);
    EXPECT_TRUE(Field->property(FieldMarkProperty).toBool()) << Row.FieldName;
    EXPECT_EQ(Field->toolTip(), "Default value: Settings.ini could not be read.");
  }
}

// A screen reader names each field by its label, not by the group around it, and each label
// gives its field an Alt letter no menu, button or other field uses.
TEST_F(MainWindow, EveryFieldIsNamedByItsLabelAndHasAnAltLetterOfItsOwn) {
  QString Letters = "fvshcrw";
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    QLineEdit* Field = Form->PanelTuning->Fields[Row];
    QLabel* Label = Form->PanelTuning->Labels[Row];
    SCOPED_TRACE(RegisterTable[Row].FieldName);
    QAccessibleInterface* Reader = QAccessible::queryAccessibleInterface(Field);
    ASSERT_NE(Reader, nullptr);
    EXPECT_EQ(Reader->text(QAccessible::Name).toStdString(), RegisterTable[Row].Label);
    EXPECT_FALSE(Reader->text(QAccessible::Description).isEmpty());
    const qsizetype Mark = Label->text().indexOf('&');
    ASSERT_GE(Mark, 0) << Label->text().toStdString();
    const QChar Letter = Label->text()[Mark + 1].toLower();
    EXPECT_FALSE(Letters.contains(Letter)) << Label->text().toStdString();
    Letters += Letter;
  }
  for (const char* Button : {"Button_Open", "Button6", "Button7"}) {
    QAccessibleInterface* Reader = QAccessible::queryAccessibleInterface(Find<QToolButton>(Button));
    EXPECT_FALSE(Reader->text(QAccessible::Name).contains('&')) << Button;
  }
}

TEST_F(MainWindow, TabOrderRunsDownTheColumns) {
  std::vector<QString> Order;
  QWidget* Current = Find<QLineEdit>("Edit_Ua_max");
  for (int Step = 0; Step < FieldCount; ++Step) {
    Order.push_back(Current->objectName());
    Current = Current->nextInFocusChain();
    while (qobject_cast<QLineEdit*>(Current) == nullptr) Current = Current->nextInFocusChain();
  }
  ASSERT_EQ(Order.size(), FieldPlaces.size());
  for (std::size_t Index = 0; Index < Order.size(); ++Index) {
    EXPECT_EQ(Order[Index].toStdString(), FieldPlaces[Index].Field) << Index;
  }
}

struct TViewCase {
  bool Control, Terminal, Adjustments;
  const char* Shown;
};

void PrintTo(const TViewCase& Case, std::ostream* Out) {
  *Out << Case.Control << Case.Terminal << Case.Adjustments << " shows " << Case.Shown;
}

class ViewMenuRules : public MainWindowTest, public testing::WithParamInterface<TViewCase> {};

TEST_P(ViewMenuRules, TheLastCheckedItemInMenuOrderWins) {
  Find<QAction>("MMControl")->setChecked(GetParam().Control);
  Find<QAction>("MMTerminal")->setChecked(GetParam().Terminal);
  Find<QAction>("MMAdjustments")->setChecked(GetParam().Adjustments);
  Form->ViewFace();
  for (const char* Panel : {"PanelControl", "PanelTerminal", "PanelTuning"}) {
    EXPECT_EQ(Find<QWidget>(Panel)->isHidden(), std::string(Panel) != GetParam().Shown) << Panel;
  }
}

INSTANTIATE_TEST_SUITE_P(Checks, ViewMenuRules,
                         testing::Values(TViewCase{true, false, false, "PanelControl"},
                                         TViewCase{false, true, false, "PanelTerminal"},
                                         TViewCase{false, false, true, "PanelTuning"},
                                         TViewCase{true, true, false, "PanelTerminal"},
                                         TViewCase{true, false, true, "PanelTuning"},
                                         TViewCase{true, true, true, "PanelTuning"}));

TEST_F(MainWindow, AViewCommandChecksOnlyItsOwnItem) {
  Find<QAction>("MMTerminal")->trigger();
  EXPECT_TRUE(Find<QAction>("MMTerminal")->isChecked());
  EXPECT_FALSE(Find<QAction>("MMAdjustments")->isChecked());
  EXPECT_FALSE(Find<QWidget>("PanelTerminal")->isHidden());
  EXPECT_TRUE(Find<QWidget>("PanelTuning")->isHidden());

  // Choosing the shown view again keeps it checked and shown.
  Find<QAction>("MMTerminal")->trigger();
  EXPECT_TRUE(Find<QAction>("MMTerminal")->isChecked());
  EXPECT_FALSE(Find<QWidget>("PanelTerminal")->isHidden());

  Form->MMControlClick();
  EXPECT_TRUE(Find<QAction>("MMControl")->isChecked());
  EXPECT_FALSE(Find<QAction>("MMTerminal")->isChecked());
  EXPECT_FALSE(Find<QWidget>("PanelControl")->isHidden());
  EXPECT_TRUE(Find<QWidget>("PanelTerminal")->isHidden());
}

TEST_F(MainWindow, TheAboutBoxIsCreatedOnceAndShownModallyEachTime) {
  EXPECT_EQ(Form->About(), nullptr);
  Find<QAction>("MMAbout")->trigger();
  Find<QAction>("MMAbout")->trigger();

  ASSERT_EQ(ModalDialogs.size(), 2u);
  EXPECT_EQ(ModalDialogs[0], ModalDialogs[1]);
  EXPECT_EQ(ModalDialogs[0], Form->About());
  EXPECT_EQ(Form->About()->parentWidget(), Form.get());
  EXPECT_EQ(Form->findChildren<TFormAbout*>().size(), 1);
}

TEST_F(MainWindow, EscapeAndReturnCloseTheAboutBox) {
  Form->MMAboutClick();
  TFormAbout* About = Form->About();
  ASSERT_NE(About, nullptr);
  QSignalSpy Finished(About, &QDialog::finished);
  for (const Qt::Key Key : {Qt::Key_Escape, Qt::Key_Return}) {
    About->show();
    QTest::keyClick(About, Key);
    EXPECT_FALSE(About->isVisible()) << Key;
  }
  EXPECT_EQ(Finished.count(), 2);
}

TEST_F(MainWindow, TheAboutBoxSitsInTheMiddleOfTheWindow) {
  Form->MMAboutClick();
  ASSERT_NE(Form->About(), nullptr);
  const QPoint Offset = Form->About()->geometry().center() - Form->frameGeometry().center();
  EXPECT_LE(Offset.manhattanLength(), 2);
}

TEST_F(MainWindow, TheColourCommandPaintsOnlyTheVisiblePanel) {
  ModalAnswer = [](QDialog& Dialog) {
    static_cast<QColorDialog&>(Dialog).setCurrentColor(QColor(10, 120, 200));
    return int(QDialog::Accepted);
  };
  Form->MMColorClick();

  ASSERT_EQ(ModalDialogs.size(), 1u);
  EXPECT_EQ(ModalDialogs[0], Form->ColorDialog1);
  EXPECT_EQ(Find<QWidget>("PanelTuning")->palette().color(QPalette::Window), QColor(10, 120, 200));
  EXPECT_NE(Find<QWidget>("PanelTerminal")->palette().color(QPalette::Window),
            QColor(10, 120, 200));
}

TEST_F(MainWindow, ACancelledColourChoiceChangesNothing) {
  const QColor Before = Find<QWidget>("PanelTuning")->palette().color(QPalette::Window);
  ModalAnswer = [](QDialog& Dialog) {
    static_cast<QColorDialog&>(Dialog).setCurrentColor(Qt::black);
    return int(QDialog::Rejected);
  };
  Form->MMColorClick();
  EXPECT_EQ(Find<QWidget>("PanelTuning")->palette().color(QPalette::Window), Before);
}

TEST_F(MainWindow, ExitClosesTheWindow) {
  Form->show();
  Find<QAction>("MMExit")->trigger();
  EXPECT_FALSE(Form->isVisible());
  EXPECT_TRUE(Messages.Boxes.empty());
}

// Every control of every view inside the window, and every button visible, at the smallest size
// the window takes; at the designed size the client area is exactly the designed one.
TEST_F(MainWindow, AtItsMinimumSizeEveryViewIsWhole) {
  Form->show();
  EXPECT_EQ(Form->centralWidget()->size(), QSize(457, 169));
  Form->resize(1, 1);
  EXPECT_EQ(Form->size(), Form->minimumSize());
  EXPECT_GT(Form->minimumWidth(), 300);
  EXPECT_GT(Form->minimumHeight(), 169);
  for (const char* Item : {"MMAdjustments", "MMTerminal", "MMControl"}) {
    Find<QAction>(Item)->trigger();
    EXPECT_TRUE(ControlsOutsideTheirParent(*Form).isEmpty())
        << Item << ": " << ControlsOutsideTheirParent(*Form).join(", ").toStdString();
    for (QAbstractButton* Button : Form->findChildren<QAbstractButton*>()) {
      if (!Button->isVisibleTo(Form.get())) continue;
      const QRect InWindow(Button->mapTo(Form.get(), QPoint(0, 0)), Button->size());
      EXPECT_TRUE(Form->rect().contains(InWindow))
          << Item << ": " << Button->objectName().toStdString();
      EXPECT_FALSE(InWindow.intersects(Form->statusBar()->geometry()))
          << Button->objectName().toStdString();
    }
  }
  for (const char* Name : {"Button_Open", "Button6", "Button7"}) {
    Find<QAction>("MMAdjustments")->trigger();
    EXPECT_TRUE(Find<QToolButton>(Name)->isVisibleTo(Form.get())) << Name;
  }
  for (const char* Name : {"Button4", "Button5", "ButtonSaveLog"}) {
    Find<QAction>("MMTerminal")->trigger();
    EXPECT_TRUE(Find<QToolButton>(Name)->isVisibleTo(Form.get())) << Name;
  }
}

TEST_F(MainWindow, TheTerminalComesIntoViewAtItsNewestLineWithTheSendLineFocused) {
  Form->show();
  for (int Line = 0; Line < 50; ++Line) Form->PanelTerminal->AppendPacket("ST001203200");
  Find<QAction>("MMTerminal")->trigger();
  QCoreApplication::processEvents();
  const QScrollBar* Bar = Find<QPlainTextEdit>("Memo")->verticalScrollBar();
  EXPECT_GT(Bar->maximum(), 0);
  EXPECT_EQ(Bar->value(), Bar->maximum());
  EXPECT_EQ(Form->focusWidget(), Find<QLineEdit>("Edit_Data"));
}

TEST_F(MainWindow, ExtraRoomGoesToTheTerminalLog) {
  Form->show();
  Find<QAction>("MMTerminal")->trigger();
  const QSize LogBefore = Find<QWidget>("Memo")->size();
  const int SendLineHeight = Find<QWidget>("Edit_Data")->height();
  Form->resize(Form->size() + QSize(300, 200));
  EXPECT_EQ(Find<QWidget>("Memo")->size(), LogBefore + QSize(300, 200));
  EXPECT_EQ(Find<QWidget>("Edit_Data")->height(), SendLineHeight);
}

// Each view at the starting size, at the smallest size and large, with every control inside its
// parent. The terminal shows a short exchange.
TEST_F(MainWindow, PicturesOfEachView) {
  Form->show();
  Form->PanelTerminal->SetClock([] { return QTime(14, 2, 11, 305); });
  for (const char* Sent : {"ID;", "ST0012;"}) Form->PanelTerminal->AppendSent(Sent);
  Form->PanelTerminal->AppendPacket("ID200");
  Form->PanelTerminal->AppendPacket("ST001203200");
  Form->StatusLine->SetTransferResult(
      BackupReadStoppedResultText(TTransferStop::LineLost, "14:02"));
  const QSize Starting = Form->size();
  const std::pair<QSize, const char*> Sizes[] = {
      {Starting, ""}, {QSize(1, 1), "_minimum"}, {QSize(900, 600), "_900x600"}};
  const std::pair<const char*, const char*> Views[] = {{"MMAdjustments", "main_window_adjustments"},
                                                       {"MMTerminal", "main_window_terminal"},
                                                       {"MMControl", "main_window_control"}};
  for (const auto& [Size, Suffix] : Sizes) {
    Form->resize(Size);
    for (const auto& [Item, Picture] : Views) {
      Find<QAction>(Item)->trigger();
      EXPECT_TRUE(ControlsOutsideTheirParent(*Form).isEmpty())
          << ControlsOutsideTheirParent(*Form).join(", ").toStdString();
      SavePicture(*Form, QString(Picture) + Suffix);
    }
  }
}

// The longest result a transfer leaves, a Write stopped by a lost line before its backup, is
// whole at the starting size, beside a USB adapter's name and the lost line's state.
TEST_F(MainWindow, TheLongestResultIsWholeAtTheStartingSize) {
  Form->show();
  TStatusLine& Line = *Form->StatusLine;
  Line.ShowPort("/dev/ttyUSB0");
  Line.ShowLineLost();
  const std::string Result = BackupReadStoppedResultText(TTransferStop::LineLost, "14:02");
  Line.SetTransferResult(Result);
  QApplication::processEvents();
  const QRect Room = Line.TransferLabel->contentsRect();
  const QRect Needed = Line.TransferLabel->fontMetrics().boundingRect(
      Room, int(Line.TransferLabel->alignment()) | Qt::TextWordWrap,
      QString::fromStdString(Result));
  EXPECT_TRUE(Room.contains(Needed)) << "room " << Room.width() << "x" << Room.height()
                                     << ", needed " << Needed.width() << "x" << Needed.height();
  EXPECT_TRUE(ControlsOutsideTheirParent(*Form).isEmpty());
}

}  // namespace
}  // namespace tolvane

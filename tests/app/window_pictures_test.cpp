// Pictures of every view and dialog, written to the build directory for a person to look at,
// and the check that every control lies wholly inside the control that holds it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTimer>

#include "app/error_report.h"
#include "app/form_about.h"
#include "app/message_presenter.h"
#include "app/views/adjustments_view.h"
#include "app/views/control_view.h"
#include "app/views/glyphs.h"
#include "app/views/terminal_view.h"
#include "app/views/window_fonts.h"
#include "logic/transfer/plausibility_guard.h"
#include "serialport/port/com_port.h"
#include "window_pictures.h"

namespace tolvane {
namespace {

// Puts a view on a plain parent with the main window's font and the designed client size, laid
// out as it is in the window.
struct TViewHost {
  TViewHost() {
    Host.setFont(SansFont(11));
    Host.setFixedSize(457, 169);
    new QGridLayout(&Host);
    Host.layout()->setContentsMargins(0, 0, 0, 0);
  }
  template <class View>
  View* Add(View* Shown) {
    Host.layout()->addWidget(Shown);
    Host.show();
    return Shown;
  }
  QWidget Host;
};

// Where the group box draws its frame line and its caption.
QRect GroupPart(const QGroupBox& Group, QStyle::SubControl Part) {
  QStyleOptionGroupBox Option;
  Option.initFrom(&Group);
  Option.text = Group.title();
  Option.lineWidth = 1;
  Option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  Option.textAlignment = Group.alignment();
  return Group.style()->subControlRect(QStyle::CC_GroupBox, &Option, Part, &Group);
}

TEST(WindowPictures, AdjustmentsView) {
  TViewHost Host;
  auto* View = Host.Add(new TAdjustmentsView(nullptr));
  View->PaneProgress->show();
  View->ProgressBar1->setValue(275);
  View->LabelProgress->setText("99%");
  EXPECT_TRUE(ControlsOutsideTheirParent(Host.Host).isEmpty())
      << ControlsOutsideTheirParent(Host.Host).join(", ").toStdString();
  // No label touches the group's frame or caption, nor runs into the next column.
  const QRect Frame = GroupPart(*View->GroupSettings, QStyle::SC_GroupBoxFrame);
  const QRect Caption = GroupPart(*View->GroupSettings, QStyle::SC_GroupBoxLabel);
  for (std::size_t Index = 0; Index < View->Labels.size(); ++Index) {
    const QLabel* Label = View->Labels[Index];
    const QRect Text(Label->pos(), Label->fontMetrics().size(0, Label->text()));
    SCOPED_TRACE(Label->text().toStdString());
    EXPECT_GT(Text.top(), Caption.bottom());
    EXPECT_GT(Text.top(), Frame.top() + 1);
    EXPECT_GT(Text.left(), Frame.left() + 1);
    EXPECT_LT(Text.bottom(), View->Fields[Index]->y());
    if (Index + FieldRows < View->Labels.size()) {
      EXPECT_LT(Text.right(), View->Labels[Index + FieldRows]->x());
    }
  }
  SavePicture(Host.Host, "adjustments_view_progress");
  View->PaneProgress->hide();
  SavePicture(Host.Host, "adjustments_view");
}

TEST(WindowPictures, TerminalView) {
  TViewHost Host;
  auto* View = Host.Add(new TTerminalView(nullptr));
  View->SetClock([] { return QTime(14, 2, 11, 305); });
  View->AppendSent("ID;");
  for (const char* Packet : {"ID200", "ST001203200", "\r\nST001400999", ""}) {
    View->AppendPacket(Packet);
  }
  View->Edit_Data->setText("ST0012;");
  EXPECT_TRUE(ControlsOutsideTheirParent(Host.Host).isEmpty())
      << ControlsOutsideTheirParent(Host.Host).join(", ").toStdString();
  SavePicture(Host.Host, "terminal_view");
}

TEST(WindowPictures, ControlView) {
  TViewHost Host;
  Host.Add(new TControlView(nullptr));
  EXPECT_TRUE(ControlsOutsideTheirParent(Host.Host).isEmpty())
      << ControlsOutsideTheirParent(Host.Host).join(", ").toStdString();
  SavePicture(Host.Host, "control_view");
}

TEST(WindowPictures, AboutBox) {
  TFormAbout About(nullptr);
  EXPECT_EQ(About.size(), QSize(220, 113));
  EXPECT_TRUE(ControlsOutsideTheirParent(About).isEmpty())
      << ControlsOutsideTheirParent(About).join(", ").toStdString();
  SavePicture(About, "about_box");
}

TEST(WindowPictures, ErrorBoxForAMissingPortNamesTheDeviceAndTheReason) {
  TComPort Port(nullptr);
  Port.SetPort("ttyUSB97");  // no such adapter
  QString Text;
  QTimer::singleShot(0, [&] {
    auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(Box, nullptr);
    Text = Box->text();
    SavePicture(*Box, "error_box_missing_port");
    Box->close();
  });
  Guarded([&] { Port.OpenPort(); });
  EXPECT_EQ(Text,
            "Unable to open com port (error code: 2)\n/dev/ttyUSB97: No such file or directory");
}

// The question before an implausible Write, as the default presenter runs it: a warning whose
// whole text is plain, its buttons in order; Escape gives the escape button, a click its own.
TEST(WindowPictures, TheQuestionBeforeAnImplausibleWriteIsPlainAndAnswersItsButtons) {
  TRegisterTexts Present = {"02900", "00850", "00550", "00200", "00025", "00060",
                            "00005", "00020", "00003", "00015", "00030"};
  TRegisterTexts Values = Present;
  Values[0] = "29000";
  TMessageBox Question{
      "Tolvane", QString::fromStdString(ImplausibleChangesText(ChangesBetween(Present, Values)))};
  Question.Buttons = {"Write", "Cancel"};
  Question.DefaultButton = 1;
  Question.EscapeButton = 1;
  for (const bool Escape : {true, false}) {
    QString Shown;
    QStringList Buttons;
    QTimer::singleShot(0, [&] {
      auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(Box, nullptr);
      EXPECT_EQ(Box->textFormat(), Qt::PlainText);
      EXPECT_EQ(Box->icon(), QMessageBox::Warning);
      EXPECT_EQ(Box->defaultButton()->text(), "Cancel");
      Shown = Box->text();
      for (QAbstractButton* Button : Box->buttons()) Buttons << Button->text();
      if (Escape) {
        SavePicture(*Box, "implausible_write_question");
        QKeyEvent Key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(Box, &Key);
      } else {
        Box->buttons().at(Buttons.indexOf("Write"))->click();
      }
    });
    EXPECT_EQ(AskQuestion(Question), Escape ? 1 : 0);
    EXPECT_EQ(Shown, Question.Text);
    EXPECT_TRUE(Shown.contains("Ua max, V: 02900 -> 29000 (10 times the present value)"));
    Buttons.sort();
    EXPECT_EQ(Buttons, QStringList({"Cancel", "Write"}));
  }
}

TEST(WindowPictures, GlyphSheet) {
  // Each glyph in its normal and disabled look, then the icon and the dial, enlarged four times.
  const QIcon Glyphs[] = {ConnectGlyph(), ReadGlyph(),  WriteGlyph(), ExitBitmap(),
                          ColorBitmap(),  PortBitmap(), AboutBitmap()};
  QPixmap Sheet(7 * 20 + 40 + DialPictureSize + 6, 72);
  Sheet.fill(QColor(240, 240, 240));
  QPainter Painter(&Sheet);
  int Left = 2;
  for (const QIcon& Glyph : Glyphs) {
    EXPECT_FALSE(Glyph.isNull());
    Painter.drawPixmap(Left, 2, Glyph.pixmap(GlyphSize, QIcon::Normal));
    Painter.drawPixmap(Left, 22, Glyph.pixmap(GlyphSize, QIcon::Disabled));
    Left += 20;
  }
  Painter.drawPixmap(Left, 2, ApplicationIcon().pixmap(32));
  Painter.drawPixmap(Left + 40, 2, DialPicture());
  Painter.end();
  QDir().mkpath(TOLVANE_PICTURE_DIR);
  EXPECT_TRUE(
      Sheet.scaled(Sheet.size() * 4).save(QDir(TOLVANE_PICTURE_DIR).filePath("glyphs.png")));
}

}  // namespace
}  // namespace tolvane

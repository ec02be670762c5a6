#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest/QTest>

#include "portsetup/com_setup_form.h"
#include "portsetup/mnemonics.h"
#include "tests/support/sysfs_tree.h"

namespace tolvane {
namespace {

class SetupFormLayoutTest : public testing::Test {
 protected:
  void SetUp() override {
    Tree.AddPort("ttyS0", "4");
    Tree.AddPort("ttyUSB0");
    SetPortListPlaces(Tree.Places());
    Form = std::make_unique<TComSetupFrm>();
  }
  void TearDown() override {
    Form.reset();
    SetPortListPlaces(TPortPlaces());
  }

  TSysfsTree Tree;
  std::unique_ptr<TComSetupFrm> Form;
};

TEST_F(SetupFormLayoutTest, ControlsSitWhereTheFormPutsThem) {
  // Wider than designed by what the port list needs beyond its designed 129 pixels.
  const int Wider = Form->Combo1->width() - 129;
  EXPECT_GE(Wider, 0);
  EXPECT_EQ(Form->size(), QSize(231 + Wider, 216));
  EXPECT_EQ(Form->windowTitle(), "Setup");
  EXPECT_EQ(Form->GroupBox1->parentWidget(), Form.get());
  EXPECT_EQ(Form->GroupBox1->geometry(), QRect(8, 8, 217 + Wider, 169));
  EXPECT_EQ(Form->GroupBox1->title(), " Settings ");

  const QLabel* Labels[] = {Form->Label1, Form->Label2, Form->Label3,
                            Form->Label4, Form->Label5, Form->Label6};
  // Each with an Alt letter of its own, and naming its list.
  const char* LabelTexts[] = {"&Port",      "&Baud rate", "&Data bits",
                              "&Stop bits", "P&arity",    "&Flow control"};
  const TComProperty Properties[] = {TComProperty::cpPort,     TComProperty::cpBaudRate,
                                     TComProperty::cpDataBits, TComProperty::cpStopBits,
                                     TComProperty::cpParity,   TComProperty::cpFlowControl};
  for (int Row = 0; Row < 6; ++Row) {
    const QLabel* Label = Labels[Row];
    const TComComboBox* Combo = Form->Combos()[static_cast<std::size_t>(Row)];
    SCOPED_TRACE(Row);
    EXPECT_EQ(Label->objectName(), QString("Label%1").arg(Row + 1));
    EXPECT_EQ(Label->parentWidget(), Form->GroupBox1);
    EXPECT_EQ(Label->pos(), QPoint(8, 24 + 24 * Row));
    EXPECT_EQ(Label->text(), LabelTexts[Row]);
    EXPECT_EQ(Label->buddy(), Combo);
    // The whole text fits before the lists begin.
    const int TextWidth = Label->fontMetrics().horizontalAdvance(DisplayedCaption(Label->text()));
    EXPECT_LE(Label->x() + TextWidth, 80);
    EXPECT_GE(Label->width(), TextWidth);

    EXPECT_EQ(Combo->objectName(), QString("Combo%1").arg(Row + 1));
    EXPECT_EQ(Combo->parentWidget(), Form->GroupBox1);
    EXPECT_EQ(Combo->pos(), QPoint(80, 16 + 24 * Row));
    EXPECT_EQ(Combo->width(), Row == 0 ? 129 + Wider : 129);
    EXPECT_EQ(Combo->ComProperty(), Properties[Row]);
    EXPECT_FALSE(Combo->AutoApply());
    EXPECT_EQ(Combo->isEditable(), Row == 0);  // a port's name can also be typed
    EXPECT_EQ(Combo->currentIndex(), 0);       // no port bound yet
    EXPECT_LE(Combo->geometry().bottom(), Form->GroupBox1->height());
  }

  EXPECT_EQ(Form->Button1->geometry(), QRect(70 + Wider, 184, 75, 25));
  EXPECT_EQ(Form->Button1->text(), "OK");
  EXPECT_TRUE(Form->Button1->isDefault());
  EXPECT_EQ(Form->Button2->geometry(), QRect(150 + Wider, 184, 75, 25));
  EXPECT_EQ(Form->Button2->text(), "Cancel");
  EXPECT_FALSE(Form->Button2->isDefault());
  EXPECT_LE(Form->Button2->geometry().right(), Form->width() - 1);
}

TEST_F(SetupFormLayoutTest, AnAdaptersStableNameFitsThePortListWhichShowsItWhole) {
  Tree.AddById("usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0", "ttyUSB0");
  Form = std::make_unique<TComSetupFrm>();
  const QString Stable = "serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0";
  ASSERT_GE(Form->Combo1->findText(Stable), 0);
  Form->Combo1->setCurrentIndex(Form->Combo1->findText(Stable));
  EXPECT_EQ(Form->Combo1->toolTip(), Stable);

  // In the port box's edit field, with the cursor at the end of the name, its first character
  // is still the one at the left edge: the field did not scroll (it does so as it paints).
  Form->show();
  QLineEdit* Edit = Form->Combo1->lineEdit();
  ASSERT_NE(Edit, nullptr);
  Edit->setText(LongestExpectedPortName);
  Edit->end(false);
  Edit->grab();
  EXPECT_EQ(Edit->cursorPositionAt(QPoint(Edit->contentsRect().left() + 1, Edit->height() / 2)), 0);
  EXPECT_LE(Form->Combo1->geometry().right(), Form->GroupBox1->width() - 1);
}

TEST_F(SetupFormLayoutTest, UsesTheClosestInstalledSansFaceAtElevenPixels) {
  const QStringList Installed = QFontDatabase::families();
  QString Expected;
  for (const char* Family : {"MS Sans Serif", "Liberation Sans", "DejaVu Sans"}) {
    if (Installed.contains(Family)) {
      Expected = Family;
      break;
    }
  }
  ASSERT_FALSE(Expected.isEmpty()) << "no sans face installed";
  EXPECT_EQ(Form->font().family(), Expected);
  EXPECT_EQ(Form->font().pixelSize(), 11);
  EXPECT_EQ(Form->Label6->font().pixelSize(), 11);
}

TEST_F(SetupFormLayoutTest, TabGoesThroughTheListsThenOkThenCancel) {
  QStringList Order;
  QWidget* Widget = Form->Combo1;
  do {
    // Tab passes over a widget that hands its focus to another (the port box's edit field).
    if ((Widget->focusPolicy() & Qt::TabFocus) && Widget->focusProxy() == nullptr) {
      Order << Widget->objectName();
    }
    Widget = Widget->nextInFocusChain();
  } while (Widget != Form->Combo1);
  EXPECT_EQ(Order, (QStringList{"Combo1", "Combo2", "Combo3", "Combo4", "Combo5", "Combo6",
                                "Button1", "Button2"}));
}

TEST_F(SetupFormLayoutTest, EscapeCancelsAndReturnPressesTheFocusedButton) {
  QSignalSpy Finished(Form.get(), &QDialog::finished);
  Form->show();
  Form->Combo3->setFocus();
  QTest::keyClick(Form->Combo3, Qt::Key_Return);  // "OK" is the default button
  ASSERT_EQ(Finished.count(), 1);
  EXPECT_EQ(Form->result(), QDialog::Accepted);

  Form->show();
  QTest::keyClick(Form.get(), Qt::Key_Escape);
  ASSERT_EQ(Finished.count(), 2);
  EXPECT_EQ(Form->result(), QDialog::Rejected);
  EXPECT_FALSE(Form->isVisible());

  Form->show();
  Form->Button2->setFocus();
  QTest::keyClick(Form->Button2, Qt::Key_Return);
  ASSERT_EQ(Finished.count(), 3);
  EXPECT_EQ(Form->result(), QDialog::Rejected);
}

}  // namespace
}  // namespace tolvane

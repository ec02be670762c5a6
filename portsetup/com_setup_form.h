// The setup dialog: six drop-down lists, one per line setting of a port (port, baud rate, data
// bits, stop bits, parity, flow control), in a group, with "OK" and "Cancel". The port's list
// can also be typed in (any device name, a network name too). Escape cancels the dialog, Return
// presses the focused button ("OK" when no button has the focus, also while typing a name).
#pragma once

#include <QDialog>
#include <array>

#include "portsetup/com_combo_box.h"
#include "serialport/base/gettext_translator.h"

class QGroupBox;
class QLabel;
class QPushButton;

namespace tolvane {

// The text domain of the dialog's catalog.
inline constexpr const char* SetupDialogDomain = PortTextDomain;
// The port box is made wide enough for a name as long as this adapter's stable name.
inline constexpr const char* LongestExpectedPortName =
    "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0";

class TComSetupFrm : public QDialog {
  Q_OBJECT

 public:
  // Fills the six lists (the port list is read now: EComPort 23 when it cannot be) and
  // translates the dialog's own texts. No port is bound yet.
  explicit TComSetupFrm(QWidget* Parent = nullptr);

  // Combo1 to Combo6, in the order the port's settings are applied.
  std::array<TComComboBox*, 6> Combos() const;

  QGroupBox* GroupBox1;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLabel* Label6;
  TComComboBox* Combo1;
  TComComboBox* Combo2;
  TComComboBox* Combo3;
  TComComboBox* Combo4;
  TComComboBox* Combo5;
  TComComboBox* Combo6;
  QPushButton* Button1;
  QPushButton* Button2;

 private:
  QLabel* AddLabel(const char* Name, const char* Text, int Top);
  TComComboBox* AddCombo(const char* Name, TComProperty Property, int Top);
  QPushButton* AddButton(const char* Name, const char* Text, int Left);
  void FormCreate();
};

}  // namespace tolvane

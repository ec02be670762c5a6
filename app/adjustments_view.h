// The adjustments view: the group "Settings" with twenty labelled value fields (eleven
// controller settings and nine reserved places), the Connect, Read and Write buttons and the
// progress panel of the transfer sequences.
#pragma once

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QToolButton>
#include <array>

namespace tolvane {

inline constexpr int ProgressMaximum = 1000;
// How far one tick of a transfer sequence advances the progress bar.
inline constexpr int ProgressStep = 25;

inline constexpr const char* ConnectCaption = "Connect";
inline constexpr const char* ConnectHint = "Connect to TRX";
inline constexpr const char* ConnectedHint = "Disconnect";
inline constexpr const char* DisconnectedHint = "Connect";

// One place of the field grid: its label, the field's name and text at start, and whether
// it holds a controller setting (enabled) or a reserved place (disabled).
struct TFieldPlace {
  const char* Label;
  const char* Field;
  const char* InitialText;
  bool Enabled;
};

inline constexpr int FieldCount = 20;
inline constexpr int FieldRows = 4;
// Column by column, top to bottom: the grid order is the tab order.
extern const std::array<TFieldPlace, FieldCount> FieldPlaces;

class TAdjustmentsView : public QFrame {
  Q_OBJECT

 public:
  explicit TAdjustmentsView(QWidget* Parent);

  // The field of the given name (Edit_Ua_max ... Edit17), or nullptr.
  QLineEdit* Field(const QString& Name) const;

  QGroupBox* GroupSettings;
  std::array<QLabel*, FieldCount> Labels{};
  std::array<QLineEdit*, FieldCount> Fields{};
  QToolButton* Button_Open;
  QToolButton* Button6;  // Read
  QToolButton* Button7;  // Write
  QFrame* PaneProgress;
  QLabel* LabProgress;
  QProgressBar* ProgressBar1;
  QLabel* LabelProgress;

 private:
  void BuildFields();
  void BuildProgressPanel();
};

}  // namespace tolvane

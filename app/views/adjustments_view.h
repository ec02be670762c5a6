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
#include <string_view>

#include "logic/protocol/register_table.h"

namespace tolvane {

inline constexpr const char* ConnectCaption = "Connect";
// The buttons' captions with their Alt letters (Alt+C, Alt+R, Alt+W).
inline constexpr const char* ConnectButtonCaption = "&Connect";
inline constexpr const char* ReadButtonCaption = "&Read";
inline constexpr const char* WriteButtonCaption = "&Write";
// Alt letters the fields' labels must leave alone: the menus' (File, View, Settings, Help) and
// the buttons'.
inline constexpr const char* AdjustmentsTakenLetters = "fvshcrw";
inline constexpr const char* ConnectHint = "Connect to TRX";
inline constexpr const char* ConnectedHint = "Disconnect";
inline constexpr const char* DisconnectedHint = "Connect";

// One place of the field grid: its label, the field's name and text at start, and whether
// it holds a controller setting (enabled) or a reserved place (disabled).
struct TFieldPlace {
  std::string_view Label;
  std::string_view Field;
  std::string_view InitialText;
  bool Enabled;
};

inline constexpr int FieldCount = 20;
inline constexpr int FieldRows = 4;
inline constexpr std::size_t ReservedCount = FieldCount - RegisterCount;

inline constexpr std::array<TFieldPlace, ReservedCount> ReservedPlaces = {{
    {"Setting1", "Edit9", "0", false},
    {"Setting2", "Edit10", "0", false},
    {"Setting3", "Edit11", "0", false},
    {"Setting4", "Edit12", "0", false},
    {"Setting5", "Edit13", "0", false},
    {"Setting6", "Edit14", "0", false},
    {"Setting7", "Edit15", "0", false},
    {"Setting8", "Edit16", "0", false},
    {"Setting9", "Edit17", "0", false},
}};

// Column by column, top to bottom, the grid order being the tab order: the eleven registers in
// table order, so field n shows register row n, then the reserved places.
constexpr std::array<TFieldPlace, FieldCount> MakeFieldPlaces() {
  std::array<TFieldPlace, FieldCount> Places{};
  for (std::size_t Row = 0; Row < RegisterCount; ++Row) {
    const TRegisterRow& Register = RegisterTable[Row];
    Places[Row] = {Register.Label, Register.FieldName, Register.Default, true};
  }
  for (std::size_t Place = 0; Place < ReservedCount; ++Place) {
    Places[RegisterCount + Place] = ReservedPlaces[Place];
  }
  return Places;
}
inline constexpr std::array<TFieldPlace, FieldCount> FieldPlaces = MakeFieldPlaces();

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
  void LayOut();
};

}  // namespace tolvane

// The controller's eleven settings registers. One row ties a register address to the window
// field that shows it, the field's label, the key in the settings file and the default value.
// The table order is the order of the read and write sequences, of the field check and of the
// settings file.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tolvane {

struct TRegisterRow {
  int Step;                    // 1 to 11, the sequence step that transfers this register
  std::string_view Address;    // four decimal digits as they travel in packets
  std::string_view Label;      // caption above the field
  std::string_view FieldName;  // the window's edit control
  std::string_view FileKey;    // key in the "Settings" section
  std::string_view Default;    // the field's initial text and the value of a missing key
};

inline constexpr std::size_t RegisterCount = 11;

inline constexpr std::array<TRegisterRow, RegisterCount> RegisterTable{{
    {1, "0012", "Ua max, V", "Edit_Ua_max", "UaMAX", "03200"},
    {2, "0014", "Ia max, mA", "Edit_Ia_max", "IaMAX", "00999"},
    {3, "0016", "Ug max, V", "Edit_Ug_max", "UgMax", "00650"},
    {4, "0018", "Ig max, mA", "Edit_Ig_max", "IgMax", "00250"},
    {5, "0020", "Time ON", "Edit_Time_ON", "T__ON", "00020"},
    {6, "0022", "Time OFF", "Edit_Time_OFF", "T_OFF", "00040"},
    {7, "0024", "Time Light", "Edit_Time_Light", "T_Lig", "00002"},
    {8, "0026", "Time Sleep", "Edit_Time_Sleep", "T_Slp", "00010"},
    {9, "0028", "SWR HI", "Edit_SWR_HI", "SWR_H", "00005"},
    {10, "0030", "VOX Delay", "Edit_VOX_Delay", "VOX_D", "00010"},
    {11, "0032", "Switch Delay", "Edit_Switch_Delay", "SWH_D", "00050"},
}};

}  // namespace tolvane

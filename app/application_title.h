// The titles the utility shows: the task bar's (capital "V") and the windows' (small "v").
#pragma once

namespace tolvane {

inline constexpr const char* ApplicationTitle = "Tolvane Settings Utility V.0.0.1 Beta";
inline constexpr const char* WindowCaption = "Tolvane Settings Utility v.0.0.1 Beta";

// Sets the application title on the running QApplication.
void SetApplicationTitle();

}  // namespace tolvane

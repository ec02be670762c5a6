// The titles the utility shows. The application title (capital "V") is the caption of the
// general error report and of "No connection"; every window carries its own caption (small "v"
// for the main window and the About box), and nothing is appended to it.
#pragma once

namespace tolvane {

inline constexpr const char* ApplicationTitle = "Tolvane Settings Utility V.0.0.1 Beta";
inline constexpr const char* WindowCaption = "Tolvane Settings Utility v.0.0.1 Beta";

}  // namespace tolvane

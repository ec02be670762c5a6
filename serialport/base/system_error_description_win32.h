// The system's own words for its errors in another language than English. Windows only: there
// the catalogs cannot hold the system's texts (each release words them anew), so a translated
// box takes them from FormatMessageW in the catalogs' language.
#pragma once

#include <optional>
#include <string>

namespace tolvane {

// The text Windows gives in Language ("de_DE", "de") for the error whose English description
// SystemErrorDescription returned as Description; nothing when Description is no such text or
// the system has no text in that language.
std::optional<std::string> SystemErrorDescriptionIn(const std::string& Description,
                                                    const std::string& Language);

}  // namespace tolvane

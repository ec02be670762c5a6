// Translation of the component's texts through GNU gettext catalogs beside the executable:
// <dir>/locale/<language>/LC_MESSAGES/<domain>.mo, where the language comes from LANG (the part
// before its first ".") or else the user's locale, and the two-letter language is tried when
// the full one has no catalog. An installed copy has no "locale" beside it; its catalogs lie in
// <dir>/../share/locale (/usr/share/locale for /usr/bin). The domain "default" holds the port's
// error texts and other resource strings, "cport" the setup dialog's texts. A missing catalog
// is no error: the English texts stand.
//
// The language usually names a locale that is not installed, and glibc ignores catalogs while
// the message locale is "C". InstallTranslations therefore sets the process's LC_MESSAGES
// category to C.UTF-8 when the wanted locale is not available, and names the wanted languages
// in LANGUAGE, which gettext consults before everything else. Both are process-wide: call it
// once at start on the main thread, after the GUI library has set up its locale (a
// QApplication calls setlocale itself), before other threads run.
#pragma once

#include <string>

namespace tolvane {

inline constexpr const char* DefaultTextDomain = "default";
inline constexpr const char* PortTextDomain = "cport";

// Binds both domains to <ExecutableDir>/locale, or to <ExecutableDir>/../share/locale when the
// former is no directory, installs a translator that looks a text up in "default" and then in
// "cport" (SetTranslator), and translates the port error table.
void InstallTranslations(const std::string& ExecutableDir);

// Undoes InstallTranslations: the identity translator, English error texts, and the message
// locale and LANGUAGE as they were before.
void RemoveTranslations();

// The language InstallTranslations would use: LANG up to its first ".", else the user's
// message locale; empty for the untranslated "C" and "POSIX".
std::string TranslationLanguage();

// Looks Text up in one domain only; the identity until translations are installed.
std::string TranslateIn(const char* Domain, const std::string& Text);

}  // namespace tolvane

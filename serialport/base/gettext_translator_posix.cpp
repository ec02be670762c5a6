#include "serialport/base/gettext_translator.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "serialport/base/com_error.h"
#include "serialport/base/translation.h"

namespace tolvane {
namespace {

constexpr const char* LanguageVariable = "LANG";
constexpr const char* LanguageListVariable = "LANGUAGE";
constexpr const char* CatalogDirectory = "locale";
// Where an installed copy's catalogs lie, seen from its bin/ folder: <prefix>/share/locale.
constexpr const char* InstalledCatalogDirectory = "../share/locale";
constexpr const char* CatalogCodeset = "UTF-8";
constexpr const char* UntranslatedLocales[] = {"C", "POSIX"};
// Any of these keeps gettext working while no locale of the wanted language is installed.
constexpr const char* NeutralMessageLocales[] = {"C.UTF-8", "C.utf8"};
constexpr std::size_t ShortLanguageLength = 2;

// What InstallTranslations changed, so that RemoveTranslations can put it back.
struct TSavedState {
  std::string MessageLocale;
  std::optional<std::string> LanguageList;
};

std::optional<TSavedState>& Saved() {
  static std::optional<TSavedState> State;
  return State;
}

std::string BeforeFirstDot(const std::string& Name) {
  return Name.substr(0, Name.find('.'));
}

bool IsUntranslated(const std::string& Language) {
  if (Language.empty()) return true;
  for (const char* Name : UntranslatedLocales) {
    if (Language == Name) return true;
  }
  return false;
}

// The languages to search in order: "de_DE:de" for de_DE, "de" for de.
std::string LanguageList(const std::string& Language) {
  if (Language.size() <= ShortLanguageLength) return Language;
  return Language + ":" + Language.substr(0, ShortLanguageLength);
}

// gettext ignores LANGUAGE under the "C" message locale; a locale of the wanted language, if
// installed, or else C.UTF-8 lifts that.
void EnableMessageLookup() {
  const char* Current = std::setlocale(LC_MESSAGES, nullptr);
  if (Current != nullptr && !IsUntranslated(BeforeFirstDot(Current))) return;
  if (std::setlocale(LC_MESSAGES, "") != nullptr &&
      !IsUntranslated(BeforeFirstDot(std::setlocale(LC_MESSAGES, nullptr)))) {
    return;
  }
  for (const char* Neutral : NeutralMessageLocales) {
    if (std::setlocale(LC_MESSAGES, Neutral) != nullptr) return;
  }
}

std::string Lookup(const char* Domain, const std::string& Text) {
  // gettext answers the empty text with the catalog's header.
  if (Text.empty()) return Text;
  return dgettext(Domain, Text.c_str());
}

std::string TranslateResourceString(const std::string& Text) {
  if (Text.empty()) return Text;
  const char* InDefault = dgettext(DefaultTextDomain, Text.c_str());
  if (Text != InDefault) return InDefault;
  return dgettext(PortTextDomain, Text.c_str());
}

// The catalogs beside the executable when it has them (a copy run from its build or unpacked
// folder), else those of an installed copy.
std::filesystem::path CatalogRoot(const std::string& ExecutableDir) {
  std::error_code Ignored;
  const std::filesystem::path Directory(ExecutableDir);
  const std::filesystem::path Beside =
      std::filesystem::absolute(Directory / CatalogDirectory, Ignored);
  if (std::filesystem::is_directory(Beside, Ignored)) return Beside;
  return std::filesystem::absolute(Directory / InstalledCatalogDirectory, Ignored)
      .lexically_normal();
}

}  // namespace

std::string TranslationLanguage() {
  std::string Language;
  if (const char* Lang = std::getenv(LanguageVariable); Lang != nullptr) {
    Language = BeforeFirstDot(Lang);
  }
  if (Language.empty()) {
    // The user's locale as the environment names it; querying does not change ours.
    const std::string Current = std::setlocale(LC_MESSAGES, nullptr);
    const char* User = std::setlocale(LC_MESSAGES, "");
    if (User != nullptr) Language = BeforeFirstDot(User);
    std::setlocale(LC_MESSAGES, Current.c_str());
  }
  return IsUntranslated(Language) ? std::string() : Language;
}

void InstallTranslations(const std::string& ExecutableDir) {
  const std::string Language = TranslationLanguage();
  if (Language.empty()) return;

  if (!Saved()) {
    TSavedState State;
    State.MessageLocale = std::setlocale(LC_MESSAGES, nullptr);
    if (const char* List = std::getenv(LanguageListVariable)) State.LanguageList = List;
    Saved() = State;
  }

  ::setenv(LanguageListVariable, LanguageList(Language).c_str(), 1);
  EnableMessageLookup();
  const std::filesystem::path Catalogs = CatalogRoot(ExecutableDir);
  for (const char* Domain : {DefaultTextDomain, PortTextDomain}) {
    // Binding also makes gettext forget what it cached for an earlier language.
    bindtextdomain(Domain, Catalogs.c_str());
    bind_textdomain_codeset(Domain, CatalogCodeset);
  }
  SetTranslator(TranslateResourceString);
  TranslatePortErrorTexts();
}

void RemoveTranslations() {
  SetTranslator({});
  TranslatePortErrorTexts();
  if (!Saved()) return;
  if (Saved()->LanguageList) {
    ::setenv(LanguageListVariable, Saved()->LanguageList->c_str(), 1);
  } else {
    ::unsetenv(LanguageListVariable);
  }
  std::setlocale(LC_MESSAGES, Saved()->MessageLocale.c_str());
  Saved().reset();
}

std::string TranslateIn(const char* Domain, const std::string& Text) {
  if (!Saved()) return Text;
  return Lookup(Domain, Text);
}

}  // namespace tolvane

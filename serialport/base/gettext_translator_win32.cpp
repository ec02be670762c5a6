// Windows has no GNU gettext here: the catalogs are read by the component itself (mo_catalog.h),
// found where gettext would find them, and looked up the same way. The language comes from LANG
// or else the user's locale ("de-DE" becomes "de_DE").
#include "serialport/base/gettext_translator.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "serialport/base/com_error.h"
#include "serialport/base/mo_catalog.h"
#include "serialport/base/system_error_description_win32.h"
#include "serialport/base/translation.h"
#include "serialport/base/win32_text.h"

namespace tolvane {
namespace {

constexpr const char* LanguageVariable = "LANG";
constexpr const char* CatalogDirectory = "locale";
constexpr const char* InstalledCatalogDirectory = "../share/locale";
constexpr const char* UntranslatedLocales[] = {"C", "POSIX"};
constexpr std::size_t ShortLanguageLength = 2;

// The catalogs read by InstallTranslations, by domain; none before it, or without a language.
std::optional<std::map<std::string, TMoCatalog>>& Catalogs() {
  static std::optional<std::map<std::string, TMoCatalog>> Loaded;
  return Loaded;
}

// The language of the catalogs read.
std::string& CatalogLanguage() {
  static std::string Language;
  return Language;
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

std::string UserLanguage() {
  wchar_t Name[LOCALE_NAME_MAX_LENGTH] = {};
  if (GetUserDefaultLocaleName(Name, LOCALE_NAME_MAX_LENGTH) == 0) return {};
  std::string Language = Utf8Text(Name);
  for (char& Character : Language) {
    if (Character == '-') Character = '_';
  }
  return Language;
}

std::optional<TMoCatalog> ReadCatalog(const std::filesystem::path& Path) {
  std::ifstream File(Path, std::ios::binary);
  if (!File) return std::nullopt;
  const std::string Bytes((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
  return TMoCatalog::Parse(Bytes);
}

std::filesystem::path CatalogRoot(const std::string& ExecutableDir) {
  std::error_code Ignored;
  const std::filesystem::path Directory(WideText(ExecutableDir));
  const std::filesystem::path Beside = Directory / CatalogDirectory;
  if (std::filesystem::is_directory(Beside, Ignored)) return Beside;
  return (Directory / InstalledCatalogDirectory).lexically_normal();
}

// <root>/<language>/LC_MESSAGES/<domain>.mo, then the same for the two-letter language.
std::optional<TMoCatalog> FindCatalog(const std::filesystem::path& Root,
                                      const std::string& Language, const char* Domain) {
  for (const std::string& Name : {Language, Language.substr(0, ShortLanguageLength)}) {
    const std::filesystem::path Path =
        Root / WideText(Name) / "LC_MESSAGES" / (WideText(Domain) + L".mo");
    if (auto Catalog = ReadCatalog(Path)) return Catalog;
  }
  return std::nullopt;
}

std::string Lookup(const char* Domain, const std::string& Text) {
  if (!Catalogs() || Text.empty()) return Text;
  const auto Catalog = Catalogs()->find(Domain);
  if (Catalog == Catalogs()->end()) return Text;
  const std::string* Found = Catalog->second.Find(Text);
  return Found != nullptr ? *Found : Text;
}

// The catalogs first, then the system's own words for its errors in the catalogs' language:
// only while a catalog is read, so that a system text is never the one translated line of a box.
std::string TranslateResourceString(const std::string& Text) {
  const std::string InDefault = Lookup(DefaultTextDomain, Text);
  if (InDefault != Text) return InDefault;
  const std::string InPort = Lookup(PortTextDomain, Text);
  if (InPort != Text || !Catalogs() || Catalogs()->empty()) return InPort;
  return SystemErrorDescriptionIn(Text, CatalogLanguage()).value_or(Text);
}

}  // namespace

std::string TranslationLanguage() {
  std::string Language;
  if (const char* Lang = std::getenv(LanguageVariable); Lang != nullptr) {
    Language = BeforeFirstDot(Lang);
  }
  if (Language.empty()) Language = UserLanguage();
  return IsUntranslated(Language) ? std::string() : Language;
}

void InstallTranslations(const std::string& ExecutableDir) {
  const std::string Language = TranslationLanguage();
  if (Language.empty()) return;
  const std::filesystem::path Root = CatalogRoot(ExecutableDir);
  std::map<std::string, TMoCatalog> Loaded;
  for (const char* Domain : {DefaultTextDomain, PortTextDomain}) {
    if (auto Catalog = FindCatalog(Root, Language, Domain)) Loaded.emplace(Domain, *Catalog);
  }
  Catalogs() = std::move(Loaded);
  CatalogLanguage() = Language;
  SetTranslator(TranslateResourceString);
  TranslatePortErrorTexts();
}

void RemoveTranslations() {
  SetTranslator({});
  TranslatePortErrorTexts();
  Catalogs().reset();
}

std::string TranslateIn(const char* Domain, const std::string& Text) {
  return Lookup(Domain, Text);
}

}  // namespace tolvane

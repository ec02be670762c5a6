// Windows has no GNU gettext here: the texts stay English, as they do on any system without
// catalogs. The functions keep their meaning for a program that calls them.
#include "serialport/base/gettext_translator.h"

namespace tolvane {

void InstallTranslations(const std::string&) {}

void RemoveTranslations() {}

std::string TranslationLanguage() {
  return {};
}

std::string TranslateIn(const char*, const std::string& Text) {
  return Text;
}

}  // namespace tolvane

#include "serialport/translation.h"

#include <utility>

namespace tolvane {
namespace {

TTranslator& InstalledTranslator() {
  static TTranslator Installed;
  return Installed;
}

}  // namespace

void SetTranslator(TTranslator Translator) {
  InstalledTranslator() = std::move(Translator);
}

std::string Translate(const std::string& Text) {
  const TTranslator& Translator = InstalledTranslator();
  return Translator ? Translator(Text) : Text;
}

}  // namespace tolvane

#include "serialport/base/translation.h"

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

TTranslator OneLanguageLookup(const std::vector<std::string>& Texts) {
  for (const std::string& Text : Texts) {
    if (Translate(Text) == Text) return [](const std::string& Same) { return Same; };
  }
  return [](const std::string& Text) { return Translate(Text); };
}

std::string TranslateFilled(const std::string& Format, const std::string& Placeholder,
                            const std::string& Value) {
  std::string Text = Translate(Format);
  const std::size_t At = Text.find(Placeholder);
  if (At != std::string::npos) Text.replace(At, Placeholder.size(), Value);
  return Text;
}

}  // namespace tolvane

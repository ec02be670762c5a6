// The hook through which the component's texts are translated. Until a translator is installed
// every text stands as written.
#pragma once

#include <functional>
#include <string>

namespace tolvane {

using TTranslator = std::function<std::string(const std::string& Text)>;

// Installs the translator used from now on; an empty function restores the identity.
void SetTranslator(TTranslator Translator);
// Looks Text up with the installed translator.
std::string Translate(const std::string& Text);
// Translates Format and puts Value in place of the first Placeholder ("%s", "%d") in it; a
// catalog's text without the placeholder stands as it is.
std::string TranslateFilled(const std::string& Format, const std::string& Placeholder,
                            const std::string& Value);

}  // namespace tolvane

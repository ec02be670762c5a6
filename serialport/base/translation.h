// The hook through which the component's texts are translated. Until a translator is installed
// every text stands as written.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tolvane {

using TTranslator = std::function<std::string(const std::string& Text)>;

// Installs the translator used from now on; an empty function restores the identity.
void SetTranslator(TTranslator Translator);
// Looks Text up with the installed translator.
std::string Translate(const std::string& Text);
// The lookup for the texts of one box: the installed translator when it translates every one of
// Texts, else the identity. A box built through it shows one language, never an English reason
// under a translated message or the other way round.
TTranslator OneLanguageLookup(const std::vector<std::string>& Texts);

// Translates Format and puts Value in place of the first Placeholder ("%s", "%d") in it; a
// catalog's text without the placeholder stands as it is.
std::string TranslateFilled(const std::string& Format, const std::string& Placeholder,
                            const std::string& Value);

}  // namespace tolvane

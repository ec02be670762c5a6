// The catalogs on Windows, read by the component's own reader: the build's German catalogs
// (built with the host's msgfmt into TOLVANE_CATALOG_PARENT/locale) under Wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "serialport/base/com_error.h"
#include "serialport/base/gettext_translator.h"

namespace tolvane {
namespace {

TEST(TranslationWin32Test, TheBuildsGermanCatalogsTranslateAndRemovingThemRestoresEnglish) {
  _putenv_s("LANG", "de_DE.UTF-8");
  EXPECT_EQ(TranslationLanguage(), "de_DE");
  InstallTranslations(TOLVANE_CATALOG_PARENT);
  EXPECT_EQ(PortErrorTexts()[CError_OpenFailed], "COM-Port kann nicht geöffnet werden")
      << "found under the two-letter name, in the domain \"default\"";
  EXPECT_EQ(TranslateIn(PortTextDomain, "Baud rate"), "Baudrate");
  EXPECT_EQ(TranslateIn(DefaultTextDomain, "Baud rate"), "Baud rate") << "one domain only";
  RemoveTranslations();
  EXPECT_EQ(PortErrorTexts()[CError_OpenFailed], "Unable to open com port");
  EXPECT_EQ(TranslateIn(PortTextDomain, "Baud rate"), "Baud rate");
  _putenv_s("LANG", "");
}

}  // namespace
}  // namespace tolvane

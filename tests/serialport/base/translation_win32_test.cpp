// The catalogs on Windows, read by the component's own reader: the build's German catalogs
// (built with the host's msgfmt into TOLVANE_CATALOG_PARENT/locale) under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "serialport/base/com_error.h"
#include "serialport/base/gettext_translator.h"
#include "serialport/base/system_error_cause.h"

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

// The catalogs cannot hold Windows' own texts: a translated box takes them from the system in the
// catalogs' language, so that message and reason are one language; without a catalog both stay
// English.
TEST(TranslationWin32Test, ASystemReasonIsInTheCatalogsLanguageOrTheBoxStaysEnglish) {
  const std::string English = SystemErrorReason(ERROR_FILE_NOT_FOUND);
  _putenv_s("LANG", "de_DE.UTF-8");
  InstallTranslations(TOLVANE_CATALOG_PARENT);
  const EComPort German(CError_OpenFailed, ERROR_FILE_NOT_FOUND, "COM9");
  EXPECT_EQ(German.Message().rfind("COM-Port kann nicht geöffnet werden", 0), 0)
      << German.Message();
  EXPECT_NE(German.Detail().find(SystemErrorReason(ERROR_FILE_NOT_FOUND)), std::string::npos)
      << German.Detail();
  EXPECT_NE(SystemErrorReason(ERROR_FILE_NOT_FOUND), English);
  RemoveTranslations();

  _putenv_s("LANG", "fr_FR.UTF-8");
  InstallTranslations(TOLVANE_CATALOG_PARENT);
  EXPECT_EQ(SystemErrorReason(ERROR_FILE_NOT_FOUND), English) << "no French catalog here";
  RemoveTranslations();
  _putenv_s("LANG", "");
}

}  // namespace
}  // namespace tolvane

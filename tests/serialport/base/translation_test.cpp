#include "serialport/base/gettext_translator.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "serialport/base/com_error.h"
#include "serialport/base/mo_catalog.h"
#include "serialport/base/translation.h"
#include "tests/support/settings_files_fixture.h"

namespace tolvane {
namespace {

using testing::ReadWholeFile;
using testing::TScratchDirectory;
using testing::WriteWholeFile;

constexpr const char* GermanErrorTexts = R"po(
msgid ""
msgstr "Content-Type: text/plain; charset=UTF-8\n"

msgid "Unable to open com port"
msgstr "Kann COM-Port nicht öffnen"

msgid "Failed to store settings"
msgstr "Einstellungen konnten nicht gespeichert werden"

msgid " (error code: %d)"
msgstr " (Fehlercode: %d)"

msgid "No such file or directory"
msgstr "Datei oder Verzeichnis nicht gefunden"
)po";

constexpr const char* GermanDialogTexts = R"po(
msgid ""
msgstr "Content-Type: text/plain; charset=UTF-8\n"

msgid "Unable to write to %s"
msgstr "Kann nicht in %s schreiben"

msgid "Baud rate"
msgstr "Baudrate"
)po";

// Puts LANG, the translator, the error table and the message locale back after each test:
// all of them are process-wide.
class TranslationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* Lang = std::getenv("LANG")) SavedLang = Lang;
    SavedMessageLocale = std::setlocale(LC_MESSAGES, nullptr);
  }
  void TearDown() override {
    RemoveTranslations();
    SavedLang ? ::setenv("LANG", SavedLang->c_str(), 1) : ::unsetenv("LANG");
    EXPECT_EQ(std::setlocale(LC_MESSAGES, nullptr), SavedMessageLocale);
    EXPECT_EQ(PortErrorTexts()[CError_OpenFailed], "Unable to open com port");
  }

  // Compiles Po into <scratch>/<Root>/<Language>/LC_MESSAGES/<Domain>.mo.
  void AddCatalog(const std::string& Language, const std::string& Domain, const char* Po,
                  const std::string& Root = "locale") {
    const std::string Directory = Scratch.File(Root + "/" + Language + "/LC_MESSAGES");
    std::filesystem::create_directories(Directory);
    const std::string Source = Scratch.File(Domain + ".po");
    WriteWholeFile(Source, Po);
    const std::string Command = "msgfmt -o '" + Directory + "/" + Domain + ".mo' '" + Source + "'";
    ASSERT_EQ(std::system(Command.c_str()), 0) << Command;
  }

  TScratchDirectory Scratch;
  std::optional<std::string> SavedLang;
  std::string SavedMessageLocale;
};

TEST_F(TranslationTest, GermanCatalogsTranslateErrorTextsAndDialogTexts) {
  AddCatalog("de", "default", GermanErrorTexts);    // found through the two-letter name
  AddCatalog("de_DE", "cport", GermanDialogTexts);  // found under the full name
  ::setenv("LANG", "de_DE.UTF-8", 1);               // not installed on this machine
  EXPECT_EQ(TranslationLanguage(), "de_DE");
  InstallTranslations(Scratch.Path());

  EXPECT_STREQ(EComPort(CError_OpenFailed, 2).what(), "Kann COM-Port nicht öffnen (Fehlercode: 2)");
  EXPECT_STREQ(EComPort(CError_StoreFailed).what(),
               "Einstellungen konnten nicht gespeichert werden");
  EXPECT_STREQ(EComPort(CError_LoadFailed).what(), "Failed to load settings");  // not in catalog
  // The system's reason under an error about a device comes from the catalogs too.
  EXPECT_EQ(EComPort(CError_OpenFailed, ENOENT, "/dev/ttyS0").Detail(),
            "/dev/ttyS0: Datei oder Verzeichnis nicht gefunden");
  // Resource strings fall back from "default" to "cport".
  EXPECT_EQ(Translate("Unable to write to %s"), "Kann nicht in %s schreiben");
  EXPECT_EQ(Translate(""), "");
  EXPECT_EQ(TranslateIn(PortTextDomain, "Baud rate"), "Baudrate");
  EXPECT_EQ(TranslateIn(DefaultTextDomain, "Baud rate"), "Baud rate");
}

// An installed copy (<prefix>/bin/tolvane) has no catalogs beside it and reads those under
// <prefix>/share/locale; a "locale" folder beside the executable is preferred to them.
TEST_F(TranslationTest, AnInstalledCopyFindsItsCatalogsUnderShareLocale) {
  AddCatalog("de", "default", GermanErrorTexts, "share/locale");
  const std::string Bin = Scratch.File("bin");
  std::filesystem::create_directory(Bin);
  ::setenv("LANG", "de_DE.UTF-8", 1);
  InstallTranslations(Bin);
  EXPECT_STREQ(EComPort(CError_StoreFailed).what(),
               "Einstellungen konnten nicht gespeichert werden");

  std::filesystem::create_directory(Bin + "/locale");
  InstallTranslations(Bin);
  EXPECT_STREQ(EComPort(CError_StoreFailed).what(), "Failed to store settings");
}

TEST_F(TranslationTest, WithoutACatalogTheEnglishTextsStand) {
  ::setenv("LANG", "de_DE.UTF-8", 1);
  InstallTranslations(Scratch.Path());
  EXPECT_STREQ(EComPort(CError_OpenFailed, 2).what(), "Unable to open com port (error code: 2)");
  EXPECT_EQ(TranslateIn(PortTextDomain, "Baud rate"), "Baud rate");
}

TEST_F(TranslationTest, TheCLocaleTranslatesNothing) {
  AddCatalog("de", "default", GermanErrorTexts);
  for (const char* Lang : {"C", "POSIX", "C.UTF-8"}) {
    ::setenv("LANG", Lang, 1);
    EXPECT_EQ(TranslationLanguage(), "") << Lang;
  }
  InstallTranslations(Scratch.Path());
  EXPECT_STREQ(EComPort(CError_StoreFailed).what(), "Failed to store settings");
  EXPECT_EQ(TranslateIn(PortTextDomain, "Baud rate"), "Baud rate");
}

TEST_F(TranslationTest, RemovingTranslationsRestoresEnglish) {
  AddCatalog("de", "default", GermanErrorTexts);
  ::setenv("LANG", "de.UTF-8", 1);
  InstallTranslations(Scratch.Path());
  ASSERT_EQ(PortErrorTexts()[CError_StoreFailed], "Einstellungen konnten nicht gespeichert werden");
  RemoveTranslations();
  EXPECT_EQ(PortErrorTexts()[CError_StoreFailed], "Failed to store settings");
  EXPECT_EQ(Translate(" (error code: %d)"), " (error code: %d)");
  EXPECT_EQ(std::getenv("LANGUAGE"), nullptr);
}

// The component's own catalog reader (Windows has no gettext) reads what msgfmt writes, in
// either byte order, and refuses what is not a whole catalog.
TEST_F(TranslationTest, TheOwnCatalogReaderReadsWhatMsgfmtWrites) {
  const std::string Source = Scratch.File("plural.po");
  WriteWholeFile(Source, std::string(GermanErrorTexts) + R"po(
msgid "%d register"
msgid_plural "%d registers"
msgstr[0] "%d Register"
msgstr[1] "%d Register (mehrere)"
)po");
  for (const char* Order : {"little", "big"}) {
    const std::string Catalog = Scratch.File(std::string(Order) + ".mo");
    const std::string Command =
        "msgfmt --endianness=" + std::string(Order) + " -o '" + Catalog + "' '" + Source + "'";
    ASSERT_EQ(std::system(Command.c_str()), 0) << Command;
    const std::string Bytes = ReadWholeFile(Catalog);
    const std::optional<TMoCatalog> Read = TMoCatalog::Parse(Bytes);
    ASSERT_TRUE(Read) << Order;
    EXPECT_EQ(Read->Size(), 5u) << Order << ": the header is no text";
    const std::string* Open = Read->Find("Unable to open com port");
    ASSERT_NE(Open, nullptr) << Order;
    EXPECT_EQ(*Open, "Kann COM-Port nicht öffnen") << Order;
    const std::string* Plural = Read->Find("%d register");
    ASSERT_NE(Plural, nullptr) << Order;
    EXPECT_EQ(*Plural, "%d Register") << Order << ": the first form";
    EXPECT_EQ(Read->Find("Baud rate"), nullptr) << Order;
    EXPECT_FALSE(TMoCatalog::Parse(Bytes.substr(0, Bytes.size() / 2))) << Order << ": cut short";
  }
  EXPECT_FALSE(TMoCatalog::Parse("[Settings]\nUaMAX=03200\n")) << "no catalog at all";
}

}  // namespace
}  // namespace tolvane

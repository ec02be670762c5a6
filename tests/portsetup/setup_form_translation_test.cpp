#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "portsetup/com_setup_form.h"
#include "serialport/base/gettext_translator.h"
#include "tests/support/sysfs_tree.h"

namespace tolvane {
namespace {

constexpr const char* GermanDialogTexts = R"po(
msgid ""
msgstr "Content-Type: text/plain; charset=UTF-8\n"

msgid "Setup"
msgstr "Einrichtung"

msgid " Settings "
msgstr " Einstellungen "

msgid "Port"
msgstr "Anschluss"

msgid "Flow control"
msgstr "Flusssteuerung"

msgid "OK"
msgstr "Übernehmen"

msgid "None"
msgstr "Keine"

msgid "Hardware"
msgstr "Geräte"

msgid "Custom"
msgstr "Eigene"

msgid "ttyS0"
msgstr "Schnittstelle"
)po";

// Only "cport" holds the dialog's texts; this one must not reach it.
constexpr const char* GermanDefaultTexts = R"po(
msgid ""
msgstr "Content-Type: text/plain; charset=UTF-8\n"

msgid "Cancel"
msgstr "Abbrechen"
)po";

// Compiles German catalogs beside a made-up executable and installs them for one test; LANG
// and the translations are process-wide, so both are put back afterwards.
class SetupFormTranslationTest : public testing::Test {
 protected:
  void SetUp() override {
    Tree.AddPort("ttyS0", "4");
    SetPortListPlaces(Tree.Places());
    AddCatalog("cport", GermanDialogTexts);
    AddCatalog("default", GermanDefaultTexts);
    if (const char* Lang = std::getenv("LANG")) SavedLang = Lang;
    ::setenv("LANG", "de_DE.UTF-8", 1);
    InstallTranslations(Tree.Base().string());
  }
  void TearDown() override {
    RemoveTranslations();
    SavedLang ? ::setenv("LANG", SavedLang->c_str(), 1) : ::unsetenv("LANG");
    SetPortListPlaces(TPortPlaces());
  }

  void AddCatalog(const std::string& Domain, const char* Po) {
    const std::filesystem::path Directory = Tree.Base() / "locale" / "de" / "LC_MESSAGES";
    std::filesystem::create_directories(Directory);
    const std::filesystem::path Source = Tree.Base() / (Domain + ".po");
    std::ofstream(Source) << Po;
    const std::string Command =
        "msgfmt -o '" + (Directory / (Domain + ".mo")).string() + "' '" + Source.string() + "'";
    ASSERT_EQ(std::system(Command.c_str()), 0) << Command;
  }

  TSysfsTree Tree;
  std::optional<std::string> SavedLang;
};

TEST_F(SetupFormTranslationTest, TranslatesTheFormsTextsInItsDomainButNotTheLists) {
  TComSetupFrm Form;
  EXPECT_EQ(Form.windowTitle(), "Einrichtung");
  EXPECT_EQ(Form.GroupBox1->title(), " Einstellungen ");
  // The Alt letters come from the words shown.
  EXPECT_EQ(Form.Label1->text(), "&Anschluss");
  EXPECT_EQ(Form.Label2->text(), "&Baud rate");  // no entry: the English text stands
  EXPECT_EQ(Form.Label6->text(), "&Flusssteuerung");
  EXPECT_EQ(Form.Button1->text(), "Übernehmen");
  EXPECT_EQ(Form.Button2->text(), "Cancel");  // only in "default"
  // The lists keep the names the selectors parse back.
  EXPECT_EQ(Form.Combo1->itemText(0), "ttyS0");
  EXPECT_EQ(Form.Combo2->itemText(0), "Custom");
  EXPECT_EQ(Form.Combo5->itemText(0), "None");
  EXPECT_EQ(Form.Combo6->itemText(0), "Hardware");
}

}  // namespace
}  // namespace tolvane

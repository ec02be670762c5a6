// The utility in German: LANG=de_DE.UTF-8, a locale that need not be installed on the machine,
// with the project's own catalogs as the build ships them beside the executable.
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "app/message_presenter.h"
#include "portsetup/com_setup_form.h"
#include "serialport/base/com_error.h"
#include "serialport/base/gettext_translator.h"
#include "tests/e2e/utility_session.h"

namespace tolvane {
namespace {

class German : public UtilitySession {
 protected:
  void SetUp() override {
    if (const char* Lang = std::getenv("LANG")) SavedLang = Lang;
    ::setenv("LANG", "de_DE.UTF-8", 1);
    InstallTranslations(std::filesystem::path(TOLVANE_EXECUTABLE).parent_path().string());
  }
  void TearDown() override {
    RemoveTranslations();
    SavedLang ? ::setenv("LANG", SavedLang->c_str(), 1) : ::unsetenv("LANG");
  }

  std::optional<std::string> SavedLang;
};

TEST_F(German, AFailedConnectReportsTheErrorInGerman) {
  PointSettingsAt((Directory.Path() / "no-such-line").string());
  OpenWindow();
  ClickConnect();

  ASSERT_EQ(Messages.Boxes.size(), 1u);
  EXPECT_TRUE(Messages.Boxes[0].Text.startsWith(
      QString::fromUtf8("COM-Port kann nicht geöffnet werden (Fehlercode: 2)")))
      << Messages.Boxes[0].Text.toStdString();
  EXPECT_FALSE(Form->ComPort().Connected());
}

TEST_F(German, TheSetupDialogShowsItsCaptionsInGerman) {
  TComSetupFrm Dialog;
  EXPECT_EQ(Dialog.windowTitle(), "Einrichtung");
  EXPECT_EQ(Dialog.GroupBox1->title(), " Einstellungen ");
  const std::vector<std::pair<QLabel*, const char*>> Labels = {
      {Dialog.Label1, "&Anschluss"}, {Dialog.Label2, "&Baudrate"}, {Dialog.Label3, "&Datenbits"},
      {Dialog.Label4, "&Stoppbits"}, {Dialog.Label5, "&Parität"},  {Dialog.Label6, "&Handshake"}};
  // Alt letters of the German words.
  for (const auto& [Label, Caption] : Labels) EXPECT_EQ(Label->text(), QString::fromUtf8(Caption));
  EXPECT_EQ(Dialog.Button1->text(), "OK");
  EXPECT_EQ(Dialog.Button2->text(), "Abbrechen");
  // The value lists keep the names the dialog parses back.
  EXPECT_EQ(Dialog.Combo5->itemText(0), "None");
}

// Every operator text of the translated domains has a German entry: the port's error texts and
// everything the setup dialog shows but its value lists. "OK" reads the same in German.
TEST_F(German, EveryTextOfTheTranslatedDomainsHasAGermanEntry) {
  RemoveTranslations();
  const auto English = PortErrorTexts();
  TComSetupFrm EnglishDialog;
  const std::filesystem::path Executable(TOLVANE_EXECUTABLE);
  InstallTranslations(Executable.parent_path().string());
  for (std::size_t Row = 1; Row < English.size(); ++Row) {
    EXPECT_NE(PortErrorTexts()[Row], English[Row]) << "no German entry: " << English[Row];
  }
  TComSetupFrm Dialog;
  EXPECT_NE(Dialog.windowTitle(), EnglishDialog.windowTitle());
  const auto Texts = [](TComSetupFrm& Setup) {
    QStringList Shown = {Setup.GroupBox1->title()};
    for (QLabel* Label : Setup.findChildren<QLabel*>()) Shown << Label->text();
    for (QPushButton* Button : Setup.findChildren<QPushButton*>()) Shown << Button->text();
    return Shown;
  };
  // Qt's own button texts of a translated box come from Debian's Qt translations.
  EXPECT_EQ(QtOwnText("QPlatformTheme", "Cancel"), "Abbrechen");
  const QStringList Before = Texts(EnglishDialog);
  const QStringList After = Texts(Dialog);
  ASSERT_EQ(Before.size(), After.size());
  for (qsizetype Index = 0; Index < Before.size(); ++Index) {
    if (Before[Index] == "OK") continue;
    EXPECT_NE(After[Index], Before[Index]) << "no German entry: " << Before[Index].toStdString();
  }
}

}  // namespace
}  // namespace tolvane

#include "app/message_presenter.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <optional>
#include <string>
#include <utility>

#include "serialport/base/gettext_translator.h"

namespace tolvane {
namespace {

void RunMessageBox(const TMessageBox& Box) {
  NewErrorBox(Box, QApplication::activeWindow())->exec();
}

// Loaded for the language the catalogs are read in (again when that changes); not installed in
// the application, so that the window's own (English) controls keep Qt's English texts.
const QTranslator& QtTranslations() {
  static QTranslator Translations;
  static std::optional<std::string> LoadedLanguage;
  const std::string Language = TranslationLanguage();
  if (LoadedLanguage != Language) {
    LoadedLanguage = Language;
    if (Language.empty() ||
        !Translations.load(QString::fromStdString("qtbase_" + Language),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
      (void)Translations.load(QString());
    }
  }
  return Translations;
}

TMessagePresenter& InstalledPresenter() {
  static TMessagePresenter Installed;
  return Installed;
}

TQuestionPresenter& InstalledQuestionPresenter() {
  static TQuestionPresenter Installed;
  return Installed;
}

}  // namespace

std::unique_ptr<QMessageBox> NewErrorBox(const TMessageBox& Box, QWidget* Parent) {
  auto Dialog = std::make_unique<QMessageBox>(QMessageBox::Critical, Box.Caption, QString(),
                                              QMessageBox::Ok, Parent);
  Dialog->setTextFormat(Qt::PlainText);
  Dialog->setText(Box.Text);
  Dialog->button(QMessageBox::Ok)
      ->setText(Box.Translated ? QtOwnText("QPlatformTheme", "OK") : QStringLiteral("OK"));
  return Dialog;
}

std::unique_ptr<QMessageBox> NewQuestionBox(const TQuestionBox& Box, QWidget* Parent) {
  auto Dialog = std::make_unique<QMessageBox>(QMessageBox::Warning, Box.Caption, QString(),
                                              QMessageBox::NoButton, Parent);
  Dialog->setTextFormat(Qt::PlainText);
  Dialog->setText(Box.Text);
  Dialog->addButton(Box.Proceed, QMessageBox::AcceptRole);
  QPushButton* Keep = Dialog->addButton(Box.Keep, QMessageBox::RejectRole);
  Dialog->setDefaultButton(Keep);
  Dialog->setEscapeButton(Keep);
  return Dialog;
}

void SetQuestionPresenter(TQuestionPresenter Presenter) {
  InstalledQuestionPresenter() = std::move(Presenter);
}

bool AskQuestion(const TQuestionBox& Box) {
  const TQuestionPresenter& Presenter = InstalledQuestionPresenter();
  if (Presenter) return Presenter(Box);
  const std::unique_ptr<QMessageBox> Dialog = NewQuestionBox(Box, QApplication::activeWindow());
  Dialog->exec();
  return Dialog->buttonRole(Dialog->clickedButton()) == QMessageBox::AcceptRole;
}

void SetMessagePresenter(TMessagePresenter Presenter) {
  InstalledPresenter() = std::move(Presenter);
}

QString QtOwnText(const char* Context, const char* Text) {
  const QString Translated = QtTranslations().translate(Context, Text);
  return Translated.isEmpty() ? QString::fromUtf8(Text) : Translated;
}

void ShowErrorBox(const QString& Caption, const QString& Text, bool Translated) {
  const TMessageBox Box{Caption, Text, Translated};
  const TMessagePresenter& Presenter = InstalledPresenter();
  if (Presenter) {
    Presenter(Box);
  } else {
    RunMessageBox(Box);
  }
}

}  // namespace tolvane

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

void RunMessageBox(TMessageBox& Box) {
  if (Box.Buttons.isEmpty()) {
    NewErrorBox(Box, QApplication::activeWindow())->exec();
    return;
  }
  const std::unique_ptr<QMessageBox> Dialog = NewQuestionBox(Box, QApplication::activeWindow());
  Dialog->exec();
  // Each button is named after its index; closing the box presses the escape button.
  bool Numbered = false;
  const QAbstractButton* Pressed = Dialog->clickedButton();
  const int Index = Pressed != nullptr ? Pressed->objectName().toInt(&Numbered) : 0;
  if (Numbered) Box.Answer = Index;
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

void Present(TMessageBox& Box) {
  const TMessagePresenter& Presenter = InstalledPresenter();
  if (Presenter) {
    Presenter(Box);
  } else {
    RunMessageBox(Box);
  }
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

std::unique_ptr<QMessageBox> NewQuestionBox(const TMessageBox& Box, QWidget* Parent) {
  auto Dialog = std::make_unique<QMessageBox>(QMessageBox::Warning, Box.Caption, QString(),
                                              QMessageBox::NoButton, Parent);
  Dialog->setTextFormat(Qt::PlainText);
  Dialog->setText(Box.Text);
  for (int Index = 0; Index < Box.Buttons.size(); ++Index) {
    QPushButton* Button =
        Dialog->addButton(Box.Buttons[Index], Index == Box.EscapeButton ? QMessageBox::RejectRole
                                                                        : QMessageBox::AcceptRole);
    Button->setObjectName(QString::number(Index));
    if (Index == Box.DefaultButton) Dialog->setDefaultButton(Button);
    if (Index == Box.EscapeButton) Dialog->setEscapeButton(Button);
  }
  return Dialog;
}

void SetMessagePresenter(TMessagePresenter Presenter) {
  InstalledPresenter() = std::move(Presenter);
}

QString QtOwnText(const char* Context, const char* Text) {
  const QString Translated = QtTranslations().translate(Context, Text);
  return Translated.isEmpty() ? QString::fromUtf8(Text) : Translated;
}

void ShowErrorBox(const QString& Caption, const QString& Text, bool Translated) {
  TMessageBox Box{Caption, Text, Translated};
  Present(Box);
}

int AskQuestion(TMessageBox Question) {
  Question.Answer = Question.EscapeButton;
  Present(Question);
  return Question.Answer;
}

}  // namespace tolvane

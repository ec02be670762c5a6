// Every modal message box of the utility goes through one presenter: an error box (error icon,
// a caption, a text and a single "OK" button) or a question (warning icon, a caption, a text and
// buttons of its own). The default presenter runs a QMessageBox; tests install one that records
// the boxes, and answers the questions, instead of blocking.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace tolvane {

struct TMessageBox {
  QString Caption;
  QString Text;
  // The text is in the operator's language (the catalogs' texts): the button is then Qt's own
  // in that language too, from Debian's Qt translations. The window's own boxes are English.
  bool Translated = false;
  // A question's buttons, left to right; empty for an error box with its single "OK".
  QStringList Buttons = {};
  int DefaultButton = 0;  // Return presses it
  int EscapeButton = 0;   // Escape, and closing the box, press it
  // The button pressed, set by the presenter; a presenter that does not set it has pressed the
  // escape button.
  int Answer = 0;
};

using TMessagePresenter = std::function<void(TMessageBox& Box)>;

// The box the default presenter runs. Its text is plain text: it may hold what a network server
// said, and markup there must show as it came, not be rendered.
std::unique_ptr<QMessageBox> NewErrorBox(const TMessageBox& Box, QWidget* Parent);
// A question's box, with the warning icon, its buttons in order and its plain text.
std::unique_ptr<QMessageBox> NewQuestionBox(const TMessageBox& Box, QWidget* Parent);

// Installs Presenter; an empty function restores the QMessageBox presenter.
void SetMessagePresenter(TMessagePresenter Presenter);
// Shows an error box through the installed presenter and returns once it is closed.
void ShowErrorBox(const QString& Caption, const QString& Text, bool Translated = false);
// Asks Question through the installed presenter and returns the index of the button pressed.
int AskQuestion(TMessageBox Question);
// Qt's own text (a button's) in the language of the translations, from Debian's Qt translations
// (qtbase_<language>.qm); the English text without them.
QString QtOwnText(const char* Context, const char* Text);

}  // namespace tolvane

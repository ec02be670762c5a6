// Every modal message box of the utility goes through one presenter: an error icon, a caption,
// a text and a single "OK" button. A question with two buttons goes through a presenter of its
// own. The default presenters run a QMessageBox; tests install ones that record the boxes (and
// answer the questions) instead of blocking.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>

namespace tolvane {

struct TMessageBox {
  QString Caption;
  QString Text;
  // The text is in the operator's language (the catalogs' texts): the button is then Qt's own
  // in that language too, from Debian's Qt translations. The window's own boxes are English.
  bool Translated = false;
};

using TMessagePresenter = std::function<void(const TMessageBox& Box)>;

// The box the default presenter runs. Its text is plain text: it may hold what a network server
// said, and markup there must show as it came, not be rendered.
std::unique_ptr<QMessageBox> NewErrorBox(const TMessageBox& Box, QWidget* Parent);

// Installs Presenter; an empty function restores the QMessageBox presenter.
void SetMessagePresenter(TMessagePresenter Presenter);
// Shows an error box through the installed presenter and returns once it is closed.
void ShowErrorBox(const QString& Caption, const QString& Text, bool Translated = false);
// A question of the window's own (English): Proceed does what the operator asked for, Keep leaves
// things as they are and is the default button and the Escape key.
struct TQuestionBox {
  QString Caption;
  QString Text;
  QString Proceed;
  QString Keep;
};

// Returns true for Proceed.
using TQuestionPresenter = std::function<bool(const TQuestionBox& Box)>;

// The box the default question presenter runs, with a warning icon.
std::unique_ptr<QMessageBox> NewQuestionBox(const TQuestionBox& Box, QWidget* Parent);
// Installs Presenter; an empty function restores the QMessageBox presenter.
void SetQuestionPresenter(TQuestionPresenter Presenter);
// Asks through the installed presenter; true when the operator chose Proceed.
bool AskQuestion(const TQuestionBox& Box);

// Qt's own text (a button's) in the language of the translations, from Debian's Qt translations
// (qtbase_<language>.qm); the English text without them.
QString QtOwnText(const char* Context, const char* Text);

}  // namespace tolvane

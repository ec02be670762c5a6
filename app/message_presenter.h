// Every modal message box of the utility goes through one presenter: an error icon, a caption,
// a text and a single "OK" button. The default presenter runs a QMessageBox; tests install one
// that records the boxes instead of blocking.
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
// Qt's own text (a button's) in the language of the translations, from Debian's Qt translations
// (qtbase_<language>.qm); the English text without them.
QString QtOwnText(const char* Context, const char* Text);

}  // namespace tolvane

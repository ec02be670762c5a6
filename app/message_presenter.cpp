#include "app/message_presenter.h"

#include <QApplication>
#include <QMessageBox>
#include <utility>

namespace tolvane {
namespace {

void RunMessageBox(const TMessageBox& Box) {
  QMessageBox Dialog(QMessageBox::Critical, Box.Caption, Box.Text, QMessageBox::Ok,
                     QApplication::activeWindow());
  Dialog.exec();
}

TMessagePresenter& InstalledPresenter() {
  static TMessagePresenter Installed;
  return Installed;
}

}  // namespace

void SetMessagePresenter(TMessagePresenter Presenter) {
  InstalledPresenter() = std::move(Presenter);
}

void ShowErrorBox(const QString& Caption, const QString& Text) {
  const TMessageBox Box{Caption, Text};
  const TMessagePresenter& Presenter = InstalledPresenter();
  if (Presenter) {
    Presenter(Box);
  } else {
    RunMessageBox(Box);
  }
}

}  // namespace tolvane

#include "app/message_presenter.h"

#include <QApplication>
#include <utility>

namespace tolvane {
namespace {

void RunMessageBox(const TMessageBox& Box) {
  NewErrorBox(Box, QApplication::activeWindow())->exec();
}

TMessagePresenter& InstalledPresenter() {
  static TMessagePresenter Installed;
  return Installed;
}

}  // namespace

std::unique_ptr<QMessageBox> NewErrorBox(const TMessageBox& Box, QWidget* Parent) {
  auto Dialog = std::make_unique<QMessageBox>(QMessageBox::Critical, Box.Caption, QString(),
                                              QMessageBox::Ok, Parent);
  Dialog->setTextFormat(Qt::PlainText);
  Dialog->setText(Box.Text);
  return Dialog;
}

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

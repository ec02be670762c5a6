// The About box: the utility's title and an OK button, shown modally over the main window.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace tolvane {

class TFormAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TFormAbout(QWidget* Owner);

  // Puts the box in the middle of its owner window.
  void CentreOverOwner();

  QLabel* TitleLabel;
  QPushButton* Button_OK;

 private:
  void Button_OKClick();
};

}  // namespace tolvane

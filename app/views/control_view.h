// The control view: a static two-channel display of voltage, current and power read-outs beside
// a dial picture. Nothing writes to the read-outs.
#pragma once

#include <QFrame>
#include <QLabel>

namespace tolvane {

class TControlView : public QFrame {
  Q_OBJECT

 public:
  explicit TControlView(QWidget* Parent);

  QFrame* Panel1;
  QFrame* Panel2;
  QLabel* img1;
};

}  // namespace tolvane

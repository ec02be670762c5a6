// A label whose new texts a screen reader speaks: to the accessibility bus it is a notification,
// and Announce shows it anew, which a screen reader (Orca) takes as a notification to read out.
// Setting its text without Announce changes what is shown and read on request, silently.
#pragma once

#include <QLabel>

namespace tolvane {

class TAnnouncedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TAnnouncedLabel(QWidget* Parent);

  // Shows Text and has it spoken (nothing is spoken for an empty text).
  void Announce(const QString& Text);
};

}  // namespace tolvane

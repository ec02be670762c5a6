#include "app/views/announced_label.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace tolvane {
namespace {

// A notification named by the label's present text.
class TAnnouncedLabelAccessible : public QAccessibleWidget {
 public:
  explicit TAnnouncedLabelAccessible(QWidget* Label)
      : QAccessibleWidget(Label, QAccessible::Notification) {}

  QString text(QAccessible::Text Kind) const override {
    if (Kind == QAccessible::Name) return static_cast<QLabel*>(widget())->text();
    return QAccessibleWidget::text(Kind);
  }
};

QAccessibleInterface* AnnouncedLabelFactory(const QString& ClassName, QObject* Object) {
  if (ClassName == QLatin1String("tolvane::TAnnouncedLabel") && Object->isWidgetType())
    return new TAnnouncedLabelAccessible(static_cast<QWidget*>(Object));
  return nullptr;
}

}  // namespace

TAnnouncedLabel::TAnnouncedLabel(QWidget* Parent) : QLabel(Parent) {
  static const bool Installed = [] {
    QAccessible::installFactory(AnnouncedLabelFactory);
    return true;
  }();
  (void)Installed;
}

void TAnnouncedLabel::Announce(const QString& Text) {
  setText(Text);
  if (Text.isEmpty() || !isVisible()) return;
  // Showing it again is the notification's "showing" change a screen reader speaks; both happen
  // before the next paint, so nothing flickers.
  QAccessibleEvent Hidden(this, QAccessible::ObjectHide);
  QAccessible::updateAccessibility(&Hidden);
  QAccessibleEvent Shown(this, QAccessible::ObjectShow);
  QAccessible::updateAccessibility(&Shown);
}

}  // namespace tolvane

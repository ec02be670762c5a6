#include "app/application_title.h"

#include <QApplication>

namespace tolvane {

void SetApplicationTitle() {
  QApplication::setApplicationDisplayName(ApplicationTitle);
}

}  // namespace tolvane

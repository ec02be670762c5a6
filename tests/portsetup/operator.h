// What an operator does to a combo box: pick an item from its drop-down list.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QString>

namespace tolvane {

// Selects the item with exactly Text and reports it as activated, as the drop-down list does
// when the operator clicks an item.
inline void Pick(QComboBox& Combo, const QString& Text) {
  const int Index = Combo.findText(Text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  ASSERT_GE(Index, 0) << Text.toStdString() << " is not in " << Combo.objectName().toStdString();
  Combo.setCurrentIndex(Index);
  emit Combo.activated(Index);
}

}  // namespace tolvane

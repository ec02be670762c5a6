// What an operator does to a combo box: pick an item from its drop-down list, or type over the
// text of an editable one.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <QtTest/QTest>

namespace tolvane {

// Selects the item with exactly Text and reports it as activated, as the drop-down list does
// when the operator clicks an item.
inline void Pick(QComboBox& Combo, const QString& Text) {
  const int Index = Combo.findText(Text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  ASSERT_GE(Index, 0) << Text.toStdString() << " is not in " << Combo.objectName().toStdString();
  Combo.setCurrentIndex(Index);
  emit Combo.activated(Index);
}

// Marks the whole text of an editable combo box and types Text over it, key by key.
inline void Type(QComboBox& Combo, const QString& Text) {
  ASSERT_NE(Combo.lineEdit(), nullptr) << Combo.objectName().toStdString() << " is not editable";
  Combo.lineEdit()->selectAll();
  QTest::keyClicks(&Combo, Text);
}

}  // namespace tolvane

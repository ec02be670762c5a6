// Translation of a form's texts: its caption and the texts of the controls on it.
#pragma once

#include <QSet>
#include <QString>
#include <QWidget>
#include <functional>

namespace tolvane {

using TTextLookup = std::function<QString(const QString& Text)>;

// Passes the caption of Form and the texts of every control below it (label and button texts,
// group titles, list items) through Lookup. Controls whose object name is in Excluded keep
// their texts, and so do the controls inside them. Empty texts are left alone.
void TranslateForm(QWidget& Form, const QSet<QString>& Excluded, const TTextLookup& Lookup);

}  // namespace tolvane

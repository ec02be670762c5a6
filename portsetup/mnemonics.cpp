#include "portsetup/mnemonics.h"

namespace tolvane {

QString WithMnemonic(const QString& Text, QString& Taken) {
  QString Escaped = Text;
  Escaped.replace('&', "&&");
  for (qsizetype At = 0; At < Escaped.size(); ++At) {
    const QChar Letter = Escaped[At];
    if (!Letter.isLetter() || Taken.contains(Letter, Qt::CaseInsensitive)) continue;
    Taken += Letter.toLower();
    return Escaped.left(At) + '&' + Escaped.mid(At);
  }
  return Escaped;
}

QString DisplayedCaption(const QString& Caption) {
  QString Shown;
  for (qsizetype At = 0; At < Caption.size(); ++At) {
    if (Caption[At] == '&' && At + 1 < Caption.size()) ++At;
    Shown += Caption[At];
  }
  return Shown;
}

}  // namespace tolvane

#include "portsetup/mnemonics.h"

#include <algorithm>
#include <numeric>
#include <vector>

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

QStringList WithMnemonics(const QStringList& Texts, QString Taken) {
  const auto FreeLetters = [&Taken](const QString& Text) {
    QString Free;
    for (const QChar Letter : Text.toLower()) {
      if (Letter.isLetter() && !Taken.contains(Letter) && !Free.contains(Letter)) Free += Letter;
    }
    return Free.size();
  };
  std::vector<qsizetype> Order(static_cast<std::size_t>(Texts.size()));
  std::iota(Order.begin(), Order.end(), 0);
  std::stable_sort(Order.begin(), Order.end(), [&](qsizetype Left, qsizetype Right) {
    return FreeLetters(Texts[Left]) < FreeLetters(Texts[Right]);
  });
  QStringList Marked = Texts;
  for (const qsizetype Index : Order) Marked[Index] = WithMnemonic(Texts[Index], Taken);
  return Marked;
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

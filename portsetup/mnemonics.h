// Alt letters for captions whose text comes from elsewhere (a catalog, the register table): each
// caption gets the first of its letters that no other control of the window uses yet, so that a
// translated caption gets a letter of its own words.
#pragma once

#include <QString>
#include <QStringList>

namespace tolvane {

// Text with a "&" before its first letter that is not in Taken (compared without regard to
// case), and that letter added to Taken. A "&" in Text is doubled so it shows as itself; without
// a free letter Text gets no Alt letter.
QString WithMnemonic(const QString& Text, QString& Taken);

// WithMnemonic for each of Texts, the captions with the fewest free letters choosing first, so
// that a short caption is not left without one by a longer one that had others.
QStringList WithMnemonics(const QStringList& Texts, QString Taken);

// A caption as the operator reads it: without the mnemonic's "&" ("&&" shows one "&").
QString DisplayedCaption(const QString& Caption);

}  // namespace tolvane

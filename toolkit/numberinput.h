#pragma once
// The one rule for a number typed by hand — in a grid cell, a data-aware edit or a numeric edit —
// under the default locale (pt_BR in this application): digits, the decimal separator and a
// leading minus. The thousands separator is never part of a typed number: "1.500" is refused,
// never read as 1500 (a user who types it may well have meant 1,5).

#include "toolkit_export.h"

#include <QChar>
#include <QString>
#include <Qt>

#include <optional>

namespace toolkit {

// What a typed character puts into a number: the keypad's point types the decimal separator;
// a character no number is written with gives QChar() (the key is dropped). The thousands
// separator goes in as typed, so that the text it makes is refused rather than read otherwise.
TOOLKIT_EXPORT QChar numberInputChar(QChar typed, Qt::KeyboardModifiers modifiers);

// The number a typed text holds, surrounding blanks aside; nullopt when it holds none (an empty
// text included).
TOOLKIT_EXPORT std::optional<double> readTypedNumber(const QString &text);

// The same, for a text that must be a number: throws Error naming the text otherwise.
TOOLKIT_EXPORT double typedNumber(const QString &text);

} // namespace toolkit

#pragma once
// Three-section edit masks, "mask;keepLiterals;blank", as the forms declare
// them: ">aaaa;0; " (up to four letters or digits, upper-cased), "ccccc;0; " (up to five of any
// character), "9.99.999.9999;0; " (digits in fixed positions, the dots only shown).
//
// Mask characters: '>' upper-case and '<' lower-case what follows ("<>" ends either), '\' takes
// the next character as a literal, 'L'/'l' a letter, 'A'/'a' a letter or digit, 'C'/'c' any
// character, '0'/'9' a digit, '#' a digit or sign, '_' a shown blank; the upper-case (or '0')
// form is required, the other optional. Anything else is a literal. The second section "0"
// keeps the literals out of the text; the third is the character shown in unfilled positions.
//
// A mask without literals edits like a plain field (a validator, a maximum length and case
// conversion); Qt's input mask is used only where literals are shown.

#include "toolkit_export.h"

#include <QList>
#include <QString>

namespace toolkit {

enum class MaskChar : quint8 { Literal, Digit, DigitOrSign, Letter, LetterOrDigit, Any };
enum class MaskCase : quint8 { Keep, Upper, Lower };

struct MaskPosition {
    MaskChar kind = MaskChar::Literal;
    bool required = false;
    MaskCase letterCase = MaskCase::Keep;
    QChar literal;                      // for MaskChar::Literal
};

class TOOLKIT_EXPORT EditMask {
public:
    EditMask() = default;
    // Parses a three-section mask; an empty text gives an empty mask (no restriction).
    static EditMask parse(const QString &mask);

    bool isEmpty() const { return m_positions.isEmpty(); }
    const QString &source() const { return m_source; }
    const QList<MaskPosition> &positions() const { return m_positions; }
    bool keepLiterals() const { return m_keepLiterals; }
    QChar blank() const { return m_blank; }
    bool hasLiterals() const { return m_inputLength != m_positions.size(); }
    int inputLength() const { return m_inputLength; }          // positions that take a character
    int requiredLength() const;                                 // up to the last required position

    // The n-th input position (literals not counted): whether it takes `c`, once converted.
    bool accepts(int inputIndex, QChar c) const;
    QChar convert(int inputIndex, QChar c) const;

    // Qt's input mask for a mask with literals ("" for an empty mask).
    QString qtInputMask() const;
    // From the full masked text (literals and blank characters in place) to the stored form:
    // literals dropped unless kept, blanks as spaces, trailing blanks trimmed.
    QString storedText(const QString &maskedText) const;
    // From a stored text to the full masked text (blank character where nothing was given).
    QString maskedText(const QString &stored) const;

private:
    QString m_source;
    QList<MaskPosition> m_positions;
    QList<int> m_inputPositions;       // index into m_positions of each input position
    int m_inputLength = 0;
    bool m_keepLiterals = true;
    QChar m_blank = QLatin1Char('_');
};

// The reusable parser, as the grid's cell editor and the framework use it.
TOOLKIT_EXPORT EditMask parseEditMask(const QString &mask);
// A stored value shown through a mask, literals in place (what a display of the value uses).
TOOLKIT_EXPORT QString formatMaskText(const QString &mask, const QString &value);

} // namespace toolkit

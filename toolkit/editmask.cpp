#include "editmask.h"

namespace toolkit {

// ---------------------------------------------------------------------------------------------
// EditMask

EditMask EditMask::parse(const QString &text)
{
    EditMask mask;
    mask.m_source = text;
    if (text.isEmpty())
        return mask;

    // The picture runs up to the first ';' that is not escaped; the rest are the two settings.
    qsizetype end = 0;
    while (end < text.size() && text.at(end) != QLatin1Char(';')) {
        if (text.at(end) == QLatin1Char('\\'))
            ++end;
        ++end;
    }
    const QString picture = text.left(end);
    if (end < text.size()) {
        const QStringList sections = text.mid(end + 1).split(QLatin1Char(';'));
        mask.m_keepLiterals = sections.value(0) != QLatin1String("0");
        if (sections.size() > 1 && !sections.at(1).isEmpty())
            mask.m_blank = sections.at(1).at(0);
    }

    MaskCase letterCase = MaskCase::Keep;
    for (qsizetype i = 0; i < picture.size(); ++i) {
        const QChar c = picture.at(i);
        MaskPosition p;
        p.letterCase = letterCase;
        switch (c.unicode()) {
        case '>':
            letterCase = MaskCase::Upper;
            continue;
        case '<':
            if (i + 1 < picture.size() && picture.at(i + 1) == QLatin1Char('>')) {
                ++i;
                letterCase = MaskCase::Keep;
            } else {
                letterCase = MaskCase::Lower;
            }
            continue;
        case '!':
            continue;   // "drop leading blanks": the stored form is trimmed anyway
        case '\\':
            if (++i >= picture.size())
                continue;
            p.literal = picture.at(i);
            break;
        case 'L': p.kind = MaskChar::Letter; p.required = true; break;
        case 'l': p.kind = MaskChar::Letter; break;
        case 'A': p.kind = MaskChar::LetterOrDigit; p.required = true; break;
        case 'a': p.kind = MaskChar::LetterOrDigit; break;
        case 'C': p.kind = MaskChar::Any; p.required = true; break;
        case 'c': p.kind = MaskChar::Any; break;
        case '0': p.kind = MaskChar::Digit; p.required = true; break;
        case '9': p.kind = MaskChar::Digit; break;
        case '#': p.kind = MaskChar::DigitOrSign; break;
        case '_': p.literal = QLatin1Char(' '); break;
        default: p.literal = c; break;
        }
        if (p.kind != MaskChar::Literal)
            mask.m_inputPositions.append(int(mask.m_positions.size()));
        mask.m_positions.append(p);
    }
    mask.m_inputLength = int(mask.m_inputPositions.size());
    return mask;
}

int EditMask::requiredLength() const
{
    for (int i = m_inputLength - 1; i >= 0; --i)
        if (m_positions.at(m_inputPositions.at(i)).required)
            return i + 1;
    return 0;
}

QChar EditMask::convert(int inputIndex, QChar c) const
{
    if (inputIndex < 0 || inputIndex >= m_inputLength)
        return c;
    switch (m_positions.at(m_inputPositions.at(inputIndex)).letterCase) {
    case MaskCase::Upper: return c.toUpper();
    case MaskCase::Lower: return c.toLower();
    case MaskCase::Keep: break;
    }
    return c;
}

bool EditMask::accepts(int inputIndex, QChar c) const
{
    if (inputIndex < 0 || inputIndex >= m_inputLength)
        return false;
    switch (m_positions.at(m_inputPositions.at(inputIndex)).kind) {
    case MaskChar::Digit: return c.isDigit();
    case MaskChar::DigitOrSign: return c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-');
    case MaskChar::Letter: return c.isLetter();
    case MaskChar::LetterOrDigit: return c.isLetterOrNumber();
    case MaskChar::Any: return c.isPrint();
    case MaskChar::Literal: return false;
    }
    return false;
}

QString EditMask::qtInputMask() const
{
    if (isEmpty())
        return QString();
    static const QString meta = QStringLiteral("AaNnXx90Dd#HhBb><!{}[]\\;");
    QString out;
    MaskCase current = MaskCase::Keep;
    for (const MaskPosition &p : m_positions) {
        if (p.kind != MaskChar::Literal && p.letterCase != current) {
            out += p.letterCase == MaskCase::Upper ? QLatin1Char('>') : p.letterCase == MaskCase::Lower ? QLatin1Char('<') : QLatin1Char('!');
            current = p.letterCase;
        }
        switch (p.kind) {
        case MaskChar::Literal:
            if (meta.contains(p.literal))
                out += QLatin1Char('\\');
            out += p.literal;
            break;
        case MaskChar::Digit: out += p.required ? QLatin1Char('9') : QLatin1Char('0'); break;
        case MaskChar::DigitOrSign: out += QLatin1Char('#'); break;
        case MaskChar::Letter: out += p.required ? QLatin1Char('A') : QLatin1Char('a'); break;
        case MaskChar::LetterOrDigit: out += p.required ? QLatin1Char('N') : QLatin1Char('n'); break;
        case MaskChar::Any: out += p.required ? QLatin1Char('X') : QLatin1Char('x'); break;
        }
    }
    out += QLatin1Char(';');
    out += m_blank;
    return out;
}

QString EditMask::storedText(const QString &masked) const
{
    if (isEmpty())
        return masked;
    QString out;
    out.reserve(m_positions.size());
    for (qsizetype i = 0; i < m_positions.size(); ++i) {
        const MaskPosition &p = m_positions.at(i);
        const QChar c = i < masked.size() ? masked.at(i) : m_blank;
        if (p.kind == MaskChar::Literal) {
            if (m_keepLiterals)
                out += p.literal;
        } else {
            out += c == m_blank ? QLatin1Char(' ') : c;
        }
    }
    while (!out.isEmpty() && out.back() == QLatin1Char(' '))
        out.chop(1);
    return out;
}

QString EditMask::maskedText(const QString &stored) const
{
    if (isEmpty())
        return stored;
    QString out;
    out.reserve(m_positions.size());
    qsizetype at = 0;
    for (const MaskPosition &p : m_positions) {
        if (p.kind == MaskChar::Literal) {
            out += p.literal;
            // A stored text that keeps its literals carries them in place.
            if (m_keepLiterals && at < stored.size() && stored.at(at) == p.literal)
                ++at;
            continue;
        }
        const QChar c = at < stored.size() ? stored.at(at++) : QChar();
        out += (c.isNull() || c == QLatin1Char(' ')) ? m_blank : c;
    }
    return out;
}

EditMask parseEditMask(const QString &mask)
{
    return EditMask::parse(mask);
}

QString formatMaskText(const QString &mask, const QString &value)
{
    const EditMask m = EditMask::parse(mask);
    return m.isEmpty() ? value : m.maskedText(value);
}

} // namespace toolkit

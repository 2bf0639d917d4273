#include "maskedit.h"

#include "controls.h"
#include "error.h"

#include <QKeyEvent>
#include <QSignalBlocker>
#include <QValidator>

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

// ---------------------------------------------------------------------------------------------
// MaskEdit

namespace {

// For masks without literals: each typed character must fit its position; letters are
// converted as the mask says while typing.
class MaskValidator : public QValidator {
public:
    MaskValidator(const EditMask &mask, QObject *parent) : QValidator(parent), m_mask(mask) {}
    State validate(QString &input, int &) const override
    {
        if (input.size() > m_mask.inputLength())
            return Invalid;
        for (int i = 0; i < input.size(); ++i) {
            const QChar c = m_mask.convert(i, input.at(i));
            if (!m_mask.accepts(i, c))
                return Invalid;
            input[i] = c;
        }
        return input.size() >= m_mask.requiredLength() ? Acceptable : Intermediate;
    }

private:
    EditMask m_mask;
};


} // namespace

MaskEdit::MaskEdit(QWidget *parent, const QString &name) : QLineEdit(parent)
{
    setObjectName(name);
    connect(this, &QLineEdit::textChanged, this, [this] { guarded([this] { onChange(this); }); });
    FocusTracker::instance()->add(this, this);
}

MaskEdit::~MaskEdit()
{
    FocusTracker::instance()->remove(this);
}

void MaskEdit::setEditMask(const QString &mask)
{
    if (mask == m_mask.source())
        return;
    const QString stored = text();
    m_mask = EditMask::parse(mask);
    applyMask();
    setText(stored);
}

void MaskEdit::applyMask()
{
    delete validator();
    setValidator(nullptr);
    if (m_mask.hasLiterals()) {
        setInputMask(m_mask.qtInputMask());
        m_maskSetLength = false;
        return;
    }
    setInputMask(QString());
    if (m_mask.isEmpty()) {
        if (m_maskSetLength)
            setMaxLength(32767);
        m_maskSetLength = false;
        return;
    }
    setValidator(new MaskValidator(m_mask, this));
    setMaxLength(m_mask.inputLength());
    m_maskSetLength = true;
}

QString MaskEdit::text() const
{
    if (m_mask.isEmpty())
        return QLineEdit::text();
    if (m_mask.hasLiterals())
        return m_mask.storedText(QLineEdit::displayText());
    QString t = QLineEdit::text();
    while (!t.isEmpty() && t.back() == QLatin1Char(' '))
        t.chop(1);
    return t;
}

void MaskEdit::setText(const QString &text)
{
    if (m_mask.isEmpty()) {
        QLineEdit::setText(text);
        return;
    }
    if (!m_mask.hasLiterals()) {
        QString t = text.left(m_mask.inputLength());
        for (int i = 0; i < t.size(); ++i)
            t[i] = m_mask.convert(i, t.at(i));
        QLineEdit::setText(t);
        return;
    }
    const QString before = this->text();
    {
        // Qt's input mask closes up a blank given inside the text: write each character into
        // its own position instead, and tell the change once.
        const QSignalBlocker quiet(this);
        QLineEdit::setText(QString());
        const QString masked = m_mask.maskedText(text);
        const auto &positions = m_mask.positions();
        for (int i = 0; i < masked.size() && i < positions.size(); ++i) {
            if (positions.at(i).kind == MaskChar::Literal || masked.at(i) == m_mask.blank())
                continue;
            setCursorPosition(i);
            insert(QString(masked.at(i)));
        }
        setCursorPosition(0);
        setModified(false);
    }
    if (this->text() != before) {
        emit textChanged(QLineEdit::text());
    }
}

bool MaskEdit::isComplete() const
{
    if (m_mask.isEmpty())
        return true;
    if (m_mask.hasLiterals())
        return hasAcceptableInput();
    return QLineEdit::text().size() >= m_mask.requiredLength();
}

void MaskEdit::keyPressEvent(QKeyEvent *event)
{
    const QChar original = typedChar(event);
    QChar c = original;
    if (!c.isNull()) {
        if (!guarded([&] { onKeyPress(this, c); }) || c.isNull()) {
            event->accept();
            return;
        }
    }
    if (!keyAccepted(event, c)) {
        event->accept();
        return;
    }
    if (c != original && !c.isNull()) {
        QKeyEvent replaced(event->type(), event->key(), event->modifiers(), QString(c), event->isAutoRepeat());
        QLineEdit::keyPressEvent(&replaced);
        event->setAccepted(replaced.isAccepted());
        return;
    }
    QLineEdit::keyPressEvent(event);
}

bool MaskEdit::keyAccepted(QKeyEvent *, QChar &)
{
    return true;
}

void MaskEdit::focusEntered()
{
    onEnter(this);
}

void MaskEdit::focusExited()
{
    onExit(this);
}

} // namespace toolkit

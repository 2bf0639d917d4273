#include "maskedit.h"

#include "controls.h"
#include "error.h"

#include <QKeyEvent>
#include <QSignalBlocker>
#include <QValidator>

namespace toolkit {

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

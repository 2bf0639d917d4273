#include "numberedit.h"

#include <QKeyEvent>
#include <QLocale>

#include <cmath>

namespace framework {

namespace {

QString currencyPrefix() { return QStringLiteral("R$ "); }

} // namespace

TNumberEdit::TNumberEdit(QWidget *parent, const QString &name) : toolkit::MaskEdit(parent, name)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

bool TNumberEdit::hasNumber() const
{
    QString text = QLineEdit::text().trimmed();
    if (text.startsWith(currencyPrefix().trimmed()))
        text = text.mid(currencyPrefix().trimmed().size()).trimmed();
    return !text.isEmpty() && text != QLatin1String("-");
}

double TNumberEdit::GetNumber() const
{
    QString text = QLineEdit::text().trimmed();
    const QString sign = currencyPrefix().trimmed();
    if (text.startsWith(sign))
        text = text.mid(sign.size()).trimmed();
    if (text.isEmpty() || text == QLatin1String("-"))
        return 0.0;
    const QLocale locale;
    text.remove(locale.groupSeparator());
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    return ok ? value : 0.0;
}

void TNumberEdit::SetNumber(double value)
{
    setText(format(value));
}

QString TNumberEdit::format(double value) const
{
    QLocale locale;
    if (!m_thousands)
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
    const QString number = locale.toString(value, 'f', m_decimals);
    return m_currency ? currencyPrefix() + number : number;
}

void TNumberEdit::setCurrency(bool on)
{
    m_currency = on;
    reformat();
}

void TNumberEdit::setThousands(bool on)
{
    m_thousands = on;
    reformat();
}

void TNumberEdit::setDecimals(int decimals)
{
    m_decimals = qBound(0, decimals, 10);
    reformat();
}

void TNumberEdit::reformat()
{
    if (hasNumber())
        setText(format(GetNumber()));
}

bool TNumberEdit::keyAccepted(QKeyEvent *event, QChar &c)
{
    if (c.isNull())
        return toolkit::MaskEdit::keyAccepted(event, c);
    const QLocale locale;
    const QString decimal = locale.decimalPoint();
    if (c.isDigit())
        return toolkit::MaskEdit::keyAccepted(event, c);
    // The numeric keypad's point types the decimal comma, as users of this locale expect.
    if (c == QLatin1Char('.') && (event->modifiers() & Qt::KeypadModifier))
        c = decimal.at(0);
    if (QString(c) == decimal) {
        if (m_decimals == 0 || QLineEdit::text().contains(decimal))
            return false;
        return toolkit::MaskEdit::keyAccepted(event, c);
    }
    if (c == QLatin1Char('-')) {
        if (cursorPosition() != 0 || QLineEdit::text().contains(QLatin1Char('-')))
            return false;
        return toolkit::MaskEdit::keyAccepted(event, c);
    }
    return false;
}

void TNumberEdit::focusExited()
{
    reformat();
    toolkit::MaskEdit::focusExited();
}

} // namespace framework

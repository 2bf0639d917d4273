#include "numberedit.h"

#include <toolkit/numberinput.h>

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

// The text without the currency sign.
QString TNumberEdit::numberText() const
{
    QString text = QLineEdit::text().trimmed();
    const QString sign = currencyPrefix().trimmed();
    if (text.startsWith(sign))
        text = text.mid(sign.size()).trimmed();
    return text;
}

// The edit's own formatting (thousands separators included) reads back as the number it shows;
// anything else is read as typed, under the one rule for typed numbers.
std::optional<double> TNumberEdit::number() const
{
    if (m_formatted && QLineEdit::text() == m_formatted->first)
        return m_formatted->second;
    return toolkit::readTypedNumber(numberText());
}

bool TNumberEdit::hasNumber() const
{
    return number().has_value();
}

double TNumberEdit::GetNumber() const
{
    return number().value_or(0.0);
}

void TNumberEdit::SetNumber(double value)
{
    const QString text = format(value);
    m_formatted = std::make_pair(text, value);
    setText(text);
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
    // A text that holds no number (a thousands separator typed) stays as typed.
    if (const std::optional<double> value = number())
        SetNumber(*value);
}

bool TNumberEdit::keyAccepted(QKeyEvent *event, QChar &c)
{
    if (c.isNull())
        return toolkit::MaskEdit::keyAccepted(event, c);
    c = toolkit::numberInputChar(c, event->modifiers());
    if (c.isNull())
        return false;
    const QString decimal = QLocale().decimalPoint();
    if (c.isDigit())
        return toolkit::MaskEdit::keyAccepted(event, c);
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
    // The thousands separator goes in as typed: the text then holds no number, never a
    // thousand times the one meant.
    return toolkit::MaskEdit::keyAccepted(event, c);
}

void TNumberEdit::focusExited()
{
    reformat();
    toolkit::MaskEdit::focusExited();
}

} // namespace framework

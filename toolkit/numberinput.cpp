#include "numberinput.h"

#include "error.h"

#include <QLocale>

namespace toolkit {

QChar numberInputChar(QChar typed, Qt::KeyboardModifiers modifiers)
{
    const QLocale locale;
    const QChar decimal = locale.decimalPoint().at(0);
    if (typed == QLatin1Char('.') && (modifiers & Qt::KeypadModifier))
        return decimal;
    const QString group = locale.groupSeparator();
    if (typed.isDigit() || typed == decimal || typed == QLatin1Char('-') || (!group.isEmpty() && typed == group.at(0)))
        return typed;
    return QChar();
}

std::optional<double> readTypedNumber(const QString &text)
{
    const QString t = text.trimmed();
    const QLocale locale;
    const QChar decimal = locale.decimalPoint().at(0);
    // [-]digits[<decimal>digits], at least one digit: nothing else (no grouping, no exponent).
    qsizetype i = t.startsWith(QLatin1Char('-')) ? 1 : 0;
    int digits = 0;
    bool point = false;
    for (; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c.isDigit() && c.unicode() < 128) {
            ++digits;
        } else if (c == decimal && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0)
        return std::nullopt;
    QLocale reading = locale;
    reading.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = reading.toDouble(t, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

double typedNumber(const QString &text)
{
    if (const std::optional<double> value = readTypedNumber(text))
        return *value;
    throw Error(QStringLiteral("'%1' não é um valor numérico válido.").arg(text.trimmed()));
}

} // namespace toolkit

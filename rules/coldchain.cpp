#include "coldchain.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace rules::cold {

namespace {
const QString kMinuteFormat = QStringLiteral("dd/MM/yyyy HH:mm");
} // namespace

std::optional<Conservation> conservationFromCode(const QString &code)
{
    const QString c = code.trimmed().toUpper();
    if (c == QLatin1String("Q"))
        return Conservation::Hot;
    if (c == QLatin1String("R"))
        return Conservation::Chilled;
    if (c == QLatin1String("C"))
        return Conservation::Frozen;
    if (c == QLatin1String("A"))
        return Conservation::Ambient;
    return std::nullopt;
}

QString conservationCode(Conservation mode)
{
    switch (mode) {
    case Conservation::Hot:
        return QStringLiteral("Q");
    case Conservation::Chilled:
        return QStringLiteral("R");
    case Conservation::Frozen:
        return QStringLiteral("C");
    case Conservation::Ambient:
        return QStringLiteral("A");
    }
    return {};
}

QString conservationName(Conservation mode)
{
    switch (mode) {
    case Conservation::Hot:
        return QStringLiteral("quente");
    case Conservation::Chilled:
        return QStringLiteral("refrigerado");
    case Conservation::Frozen:
        return QStringLiteral("congelado");
    case Conservation::Ambient:
        return QStringLiteral("ambiente");
    }
    return {};
}

double limitHours(Conservation mode)
{
    switch (mode) {
    case Conservation::Hot:
        return 6;
    case Conservation::Chilled:
        return 5 * 24;
    // Frozen food keeps for months; a transported container is not stored that long.
    case Conservation::Frozen:
        return 90 * 24;
    // Ready food out of any temperature control: two hours, the usual limit of the kitchens.
    case Conservation::Ambient:
        return 2;
    }
    return 0;
}

double safeHours(std::optional<Conservation> mode, std::optional<double> dishHours, std::optional<double> branchHours)
{
    if (!mode)
        return std::min({ limitHours(Conservation::Hot), limitHours(Conservation::Chilled),
            limitHours(Conservation::Frozen), limitHours(Conservation::Ambient) });
    double hours = limitHours(*mode);
    for (const std::optional<double> &shorter : { dishHours, branchHours })
        if (shorter && std::isfinite(*shorter) && *shorter > 0)
            hours = std::min(hours, *shorter);
    return hours;
}

QDateTime useBy(const QDateTime &prepared, double hours)
{
    if (!prepared.isValid())
        return {};
    const QDateTime end = prepared.addSecs(qint64(std::floor(hours * 3600)));
    return QDateTime(end.date(), QTime(end.time().hour(), end.time().minute()), end.timeSpec());
}

QString useByText(const QDateTime &useBy)
{
    return QStringLiteral("Consumir até ") + useBy.toString(kMinuteFormat);
}

QString preparedText(const QDateTime &prepared)
{
    return QStringLiteral("Preparo: ") + prepared.toString(kMinuteFormat);
}

QString celsiusText(double celsius)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(celsius, 'f', 1) + QStringLiteral(" °C");
}

QString instruction(std::optional<Conservation> mode)
{
    if (!mode)
        return QStringLiteral("Conservação não cadastrada");
    switch (*mode) {
    case Conservation::Hot:
        return QStringLiteral("Manter acima de 60 °C");
    case Conservation::Chilled:
        return QStringLiteral("Manter abaixo de 5 °C");
    case Conservation::Frozen:
        return QStringLiteral("Manter a −18 °C ou menos");
    case Conservation::Ambient:
        return QStringLiteral("Manter em temperatura ambiente");
    }
    return {};
}

bool inSafeRange(Conservation mode, double celsius)
{
    if (!std::isfinite(celsius))
        return false;
    switch (mode) {
    case Conservation::Hot:
        return celsius > 60;
    case Conservation::Chilled:
        return celsius < 5;
    case Conservation::Frozen:
        return celsius <= -18;
    case Conservation::Ambient:
        return true;
    }
    return false;
}

} // namespace rules::cold

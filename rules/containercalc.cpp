#include "containercalc.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace rules::calc {

std::optional<Real> minimumFill(std::optional<Real> dishPercent, std::optional<Real> branchDefault)
{
    if (dishPercent)
        return *dishPercent > 0 ? dishPercent : std::nullopt;
    if (branchDefault && *branchDefault > 0)
        return branchDefault;
    return std::nullopt;
}

Real dinersLimit(Real perContainer, Real perPerson)
{
    return perContainer * 9999 / perPerson;
}

namespace {

// Quantities at the stored precision are counted in thousandths, where the arithmetic is exact:
// 120 × 0.15 is 18 and 10 × 0.3 is 3, never a hair either side.
using Milli = long long;
constexpr Milli kScale = 1000;

Milli toMilli(double value) { return std::llround(static_cast<long double>(value) * kScale); }
double fromMilli(Milli value) { return double(value) / kScale; }
// a / b, halves away from zero (b > 0)
Milli dividedRounded(Milli a, Milli b) { return Milli(a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b)); }

bool belowPercent(Milli part, double percent, Milli whole)
{
    return static_cast<long double>(part) * 100 < static_cast<long double>(percent) * whole;
}

LabelInputs labelsOf(Milli total, Milli container, Milli registered, std::optional<double> dishPercent)
{
    LabelInputs l;
    if (total <= 0)
        return l;
    if (registered > total) {
        l.partialQuantity = fromMilli(total);
        l.partialCount = 1;
        return l;
    }
    const Milli full = total / container;
    const Milli rest = total % container;
    l.full = Real(full);
    l.partialQuantity = fromMilli(rest);
    if (rest > 0) {
        l.partialCount = 1;
        // two partial containers share the rest with the last full one, when there is one
        if (full > 0 && dishPercent && *dishPercent > 0 && belowPercent(rest, *dishPercent, container)) {
            l.partialQuantity = fromMilli(dividedRounded(container + rest, 2));
            l.partialCount = 2;
            l.full = Real(full - 1);
        }
    }
    return l;
}

} // namespace

double storedQuantity(Real value)
{
    const Milli milli = std::llround(value * kScale);
    return milli == 0 ? 0.0 : fromMilli(milli);   // never a negative zero
}

QString implausibleInput(const RowInputs &in)
{
    const auto beyond = [](double value, double limit) { return !std::isfinite(value) || std::fabs(value) > limit; };
    const auto limitText = [](double limit) { return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(limit, 'f', 0); };
    const auto refusal = [&](const char *what, double limit) {
        return QStringLiteral("%1 fora dos limites: informe um valor de até %2.").arg(QString::fromUtf8(what), limitText(limit));
    };
    if (beyond(in.diners, kMaxDiners))
        return refusal("Comensais", kMaxDiners);
    if (beyond(in.perPerson, kMaxQuantity))
        return refusal("Quantidade por pessoa", kMaxQuantity);
    if (beyond(in.container, kMaxQuantity))
        return refusal("Quantidade por container", kMaxQuantity);
    if (toMilli(in.container) <= 0)
        return QStringLiteral("Quatidade por container deve ser maior que zero.");
    if (beyond(in.sample, kMaxQuantity))
        return refusal("Amostra", kMaxQuantity);
    if (in.step && beyond(*in.step, kMaxQuantity))
        return refusal("Arredondamento do prato", kMaxQuantity);
    if (beyond(in.registeredContainer, kMaxQuantity))
        return refusal("Quantidade por container do prato", kMaxQuantity);
    for (const std::optional<double> &percent : {in.dishPercent, in.branchPercent})
        if (percent && !std::isfinite(*percent))
            return refusal("Percentual mínimo do container", 100);
    return {};
}

RowFigures rowFigures(const RowInputs &in)
{
    RowFigures f;
    // Inputs beyond what a kitchen means are refused before they come here; the bounds also keep
    // the product of thousandths within 64 bits.
    if (in.diners <= 0 || !implausibleInput(in).isEmpty())
        return f;
    const Milli container = toMilli(in.container);
    // diners × quantity per person, from their stored three decimals, back to three decimals
    const Milli product = dividedRounded(toMilli(in.diners) * toMilli(in.perPerson), kScale);

    Milli total = product;
    const Milli step = in.step ? toMilli(*in.step) : 0;
    if (step > 0 && total > 0 && total % step != 0)
        total = (total / step + 1) * step;
    f.total = fromMilli(total);

    if (total > 0) {
        if (total < container) {
            f.containers = 1;   // one container holding everything, whatever the minimum
            f.partial = fromMilli(total);
        } else {
            const Milli rest = total % container;
            f.containers = double(total / container);
            f.complete = f.containers;
            f.partial = fromMilli(rest);
            if (rest > 0) {
                f.containers += 1;
                const std::optional<Real> minimum =
                    minimumFill(in.dishPercent ? std::optional<Real>(*in.dishPercent) : std::nullopt,
                                in.branchPercent ? std::optional<Real>(*in.branchPercent) : std::nullopt);
                if (minimum && belowPercent(rest, double(*minimum), container)) {
                    f.partial = fromMilli(dividedRounded(container + rest, 2));
                    f.complete -= 1;
                }
            }
        }
    }

    const Milli registered = toMilli(in.registeredContainer);
    f.withSample = labelsOf(product + toMilli(in.sample), container, registered, in.dishPercent);
    f.withoutSample = labelsOf(product, container, registered, in.dishPercent);
    return f;
}

} // namespace rules::calc

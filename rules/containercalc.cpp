#include "containercalc.h"

#include <algorithm>
#include <cmath>

namespace rules::calc {

namespace {

Real settled(Real value)
{
    const Real whole = std::round(value);
    return std::fabs(value - whole) <= 1e-9L * std::max<Real>(1, std::fabs(whole)) ? whole : value;
}

} // namespace

Real intPart(Real value) { return std::trunc(settled(value)); }

Real fracPart(Real value)
{
    const Real v = settled(value);
    return v - std::trunc(v);
}

Real roundDec(Real value, int decimals)
{
    const Real scale = std::pow(10.0L, Real(decimals));
    return std::round(value * scale) / scale;
}

Real roundedTotal(Real diners, Real perPerson, std::optional<Real> step)
{
    Real total = diners * perPerson;
    if (step && *step != 0) {
        const Real q = total / *step;
        if (total > 0 && fracPart(q) > 0)
            total = (intPart(q) + 1) * *step;
    }
    return total;
}

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

ContainerSplit splitContainers(Real total, Real container, std::optional<Real> minimumPercent)
{
    ContainerSplit s;
    if (total < container) {
        // one container holding everything, whatever the minimum
        s.partial = total;
        s.containers = 1;
        s.complete = 0;
        return s;
    }
    const Real q = total / container;
    s.partial = fracPart(q) * container;
    s.containers = intPart(q);
    s.complete = s.containers;
    if (s.partial > 0) {
        s.containers += 1;
        if (minimumPercent && s.partial < *minimumPercent / 100 * container) {
            s.partial = (s.partial + container) / 2;
            s.complete -= 1;
        }
    }
    return s;
}

LabelInputs labelInputs(Real total, Real container, Real registeredContainer, std::optional<Real> dishPercent)
{
    LabelInputs in;
    if (registeredContainer > total) {
        // the dish's registered container holds it all: one partial container
        in.partialQuantity = total;
        in.full = 0;
        in.partialCount = 1;
        return in;
    }
    const Real n = intPart(total / container);
    // A quotient a hair below whole (80 × 0.15 in containers of 3) is taken as whole; what is
    // left is then a hair below zero, and a quantity is never negative.
    in.partialQuantity = std::max<Real>(0, total - container * n);
    in.full = n;
    if (roundDec(in.partialQuantity, 3) > 0) {
        in.partialCount = 1;
        if (dishPercent && *dishPercent > 0 && *dishPercent / 100 * container > in.partialQuantity) {
            in.partialQuantity = (container + in.partialQuantity) / 2;
            in.partialCount = 2;
            in.full -= 1;
        }
    }
    return in;
}

} // namespace rules::calc

#pragma once
// The container arithmetic of transported dishes, shared by every place that needs it: the split
// of a row's total into complete and partial containers, and the label inputs from which the
// container labels are made. Pure functions in extended precision; callers round to double when
// they store a result.

#include <optional>

namespace rules::calc {

using Real = long double;

// Integer and fractional parts of a quotient. Decimal quantities (0.55, 0.1, 0.4) have no exact
// binary form, so a quotient of them that should be whole comes out a hair off (2 × 0.55 / 0.1 is
// 11.0000000000000003, 1.2 / 0.4 is 2.9999999999999997): a quotient within a relative 1e-9 of an
// integer is taken as that integer. Any true remainder, however small in the units of the dish
// (0.0004 of a kilogram), is far above that and stays one.
Real intPart(Real value);
Real fracPart(Real value);
// A value rounded to a number of decimals, halves away from zero.
Real roundDec(Real value, int decimals);

// diners × quantity per person, rounded up to the dish's rounding step. A null or zero step, a
// total already on the step, and a total of 0 or less are left as they are.
Real roundedTotal(Real diners, Real perPerson, std::optional<Real> step);

// The minimum fill percentage of a last container: the dish's own when it has one (0 or less
// meaning none), the branch's default only when the dish has none at all.
std::optional<Real> minimumFill(std::optional<Real> dishPercent, std::optional<Real> branchDefault);

// Largest number of diners whose containers still fit the 4-digit label numbers.
Real dinersLimit(Real perContainer, Real perPerson);

struct ContainerSplit {
    Real containers = 0;   // complete and partial (QTTOTACONTST)
    Real complete = 0;     // QTCONTCOMPST
    Real partial = 0;      // quantity in each partial container (QTPARCPRATST)
};

// The containers of a row's total. A remainder under the minimum fill is shared with the last
// complete container, so two partial containers hold (container + remainder) / 2 each.
// container must be above 0.
ContainerSplit splitContainers(Real total, Real container, std::optional<Real> minimumPercent);

struct LabelInputs {
    Real full = 0;              // containers filled to the container quantity
    Real partialQuantity = 0;   // quantity in each partial container
    Real partialCount = 0;      // 0, 1 or 2 partial containers
};

// The label inputs of a saved row: total = diners × quantity per person (+ the sample for the
// set with sample), container = the row's quantity per container, registeredContainer = the
// dish's registered one (0 when none), dishPercent = the dish's own minimum fill.
LabelInputs labelInputs(Real total, Real container, Real registeredContainer, std::optional<Real> dishPercent);

} // namespace rules::calc

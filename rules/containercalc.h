#pragma once
// The container arithmetic of transported dishes, shared by every place that needs it: the split
// of a row's total into complete and partial containers, and the label inputs from which the
// container labels are made. Pure functions; quantities are figured in exact thousandths, the
// precision they are stored with.

#include <QString>
#include <optional>

namespace rules::calc {

using Real = long double;

// The minimum fill percentage of a last container: the dish's own when it has one (0 or less
// meaning none), the branch's default only when the dish has none at all.
std::optional<Real> minimumFill(std::optional<Real> dishPercent, std::optional<Real> branchDefault);

// Largest number of diners whose containers still fit the 4-digit label numbers.
Real dinersLimit(Real perContainer, Real perPerson);

struct LabelInputs {
    Real full = 0;              // containers filled to the container quantity
    Real partialQuantity = 0;   // quantity in each partial container
    Real partialCount = 0;      // 0, 1 or 2 partial containers
};

// Quantities are stored with three decimals; a stored quantity never carries binary noise below
// them (3 kg, not 2.9999999999999996 kg).
constexpr int kQuantityDecimals = 3;
double storedQuantity(Real value);

// The largest quantity (per person, per container, sample, step) and number of diners a kitchen
// can mean; anything beyond, or not finite, is refused where it enters.
constexpr double kMaxQuantity = 1e6;
constexpr double kMaxDiners = 1e6;

// What a dish row's figures are made from, as stored (doubles) and as the dish is registered.
struct RowInputs {
    double diners = 0;                    // QTCOMESTIST
    double perPerson = 0;                 // QTPADRAOST
    double container = 0;                 // QTCONTAIST, above 0
    double sample = 0;                    // QTAMOSTRAST
    std::optional<double> step;           // the dish's rounding step (PRATO.VRARREDTRANS)
    double registeredContainer = 0;       // the dish's registered quantity per container (0: none)
    std::optional<double> dishPercent;    // the dish's own minimum fill (PRATOSERV.PERCENTUAL)
    std::optional<double> branchPercent;  // the branch's default (PARAMFILI.VRPEMINCONT)
};

// The first input that is not finite or beyond what a kitchen can mean, in the words of the
// screen ("Quantidade por pessoa"); empty when all are plausible.
QString implausibleInput(const RowInputs &in);

// Everything stored of a dish row and its labels, each quantity at the stored precision (the
// share of two partial containers rounded half away from zero).
struct RowFigures {
    double total = 0;        // QTTOTAPRATST
    double containers = 0;   // QTTOTACONTST
    double complete = 0;     // QTCONTCOMPST
    double partial = 0;      // QTPARCPRATST
    LabelInputs withSample, withoutSample;   // partialQuantity rounded like a stored quantity
};

// The one calculation of a row, whatever path it takes (posting on the screen, the labels after
// a save, the server's recalculation of a day): the inputs at the stored precision, the total
// rounded up to the step, the container split, and the label inputs with and without the
// sample, all in exact thousandths. No diners (0 or less) means no container and no label; two
// partial containers share a rest only with a full container there to share.
RowFigures rowFigures(const RowInputs &in);

} // namespace rules::calc

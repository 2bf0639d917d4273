#pragma once
// How a dish travels from the kitchen: its conservation mode, how long it stays safe, what its
// label tells the receiver (the instruction and the use-by) and whether a temperature read at
// dispatch or arrival is safe for it. Written once for the server, the labels and the reports.
//
// The limits follow the food-service rules the kitchens work under: hot food above 60 °C for at
// most 6 hours, chilled food below 5 °C for at most 5 days, frozen food at −18 °C or less. A dish
// may set a shorter time of its own and a branch a shorter one per mode; never a longer one.

#include <QDateTime>
#include <QString>
#include <optional>

namespace rules::cold {

enum class Conservation { Hot, Chilled, Frozen, Ambient };

// The stored code of a mode (CONSPRATO.IDCONSERV): "Q" quente, "R" refrigerado, "C" congelado,
// "A" ambiente. Any other code is no mode.
std::optional<Conservation> conservationFromCode(const QString &code);
QString conservationCode(Conservation mode);
// "quente", "refrigerado", "congelado", "ambiente"
QString conservationName(Conservation mode);

// The longest time a mode allows, in hours.
double limitHours(Conservation mode);
// The time a dish of this mode stays safe: the mode's limit, shortened by the dish's own time and
// by the branch's time for the mode (each counts only when above zero). A dish without a mode
// gets the shortest limit of all.
double safeHours(std::optional<Conservation> mode, std::optional<double> dishHours = std::nullopt,
    std::optional<double> branchHours = std::nullopt);

// The moment a dish prepared at `prepared` stops being safe, to the minute (seconds dropped, so
// that the label's minute is never later than the true one).
QDateTime useBy(const QDateTime &prepared, double hours);
// "Consumir até 08/12/2026 16:30"
QString useByText(const QDateTime &useBy);
// "Preparo: 08/12/2026 10:30"
QString preparedText(const QDateTime &prepared);

// A temperature as the kitchen reads it, at one decimal: "4,5 °C", "-18,0 °C".
QString celsiusText(double celsius);

// What the label tells whoever keeps the container: "Manter acima de 60 °C"...
QString instruction(std::optional<Conservation> mode);

// Whether a temperature in °C is safe for the mode: above 60 °C hot, below 5 °C chilled, −18 °C or
// less frozen; ambient food has no range. A value that is not finite never is.
bool inSafeRange(Conservation mode, double celsius);

} // namespace rules::cold

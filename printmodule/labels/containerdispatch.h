#pragma once
// The containers' cold chain: each container of a day with the temperature its label left the
// kitchen with and the one it arrived with at its delivery point, as the application server
// records them (GetExpedicao; SetExpedicao at the kitchen), and whether a temperature is safe for
// the dish's conservation mode.

#include "containerlabel.h"

#include <rules/coldchain.h>

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace framework {
class TNetConnection;
}

namespace printlabels {

struct ContainerDispatch {
    ContainerLabel label;
    std::optional<double> celsius;   // the latest entry's temperature; none while not dispatched
    QDateTime dispatched;            // when (the server's wall clock)
    QString operatorCode;
    QString reason;                  // of the latest correction
    int entries = 0;                 // the dispatch and its corrections
    QDateTime departed;              // the first entry's time: when the container left

    // Its receipt at the delivery point: the latest entry's temperature, receiver and reason, the
    // first entry's time (when it arrived); none while not received.
    std::optional<double> receivedCelsius;
    QDateTime received;
    QString receiver;
    QString receiptReason;
    int receipts = 0;                // the receipt and its corrections
};

// Every container of the service on the day, in print order, with its dispatch. Throws
// toolkit::Error with the server's text when it refuses or cannot be reached.
QList<ContainerDispatch> dispatchOfDay(framework::TNetConnection &server, const QString &branch, const QString &service,
                                       QDate day);
// Records a container's temperature: the dispatch, or with a reason a correction of it. Throws
// toolkit::Error with the server's text when it refuses.
void recordDispatch(framework::TNetConnection &server, const ContainerLabel &label, double celsius,
                    const QString &reason = QString());

// A temperature as typed at the kitchen, "4,5" or "-18" (a point is taken too); none when the
// text is not a number.
std::optional<double> typedCelsius(const QString &text);
using rules::cold::celsiusText;   // "4,5 °C"
// Empty when the temperature is safe for the mode (or the dish has no mode, or travels at room
// temperature); otherwise "Fora da faixa: manter abaixo de 5 °C".
QString rangeWarning(std::optional<rules::cold::Conservation> mode, double celsius);

} // namespace printlabels

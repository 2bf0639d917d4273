#pragma once
// Reading what the labels need: the transported services of a branch from the shared database
// (reference data, read-only), and the stored labels of a service on a day from the application
// server, which checks the operator's branch as for the screen.

#include "containerlabel.h"

#include <QList>
#include <QSet>
#include <QStringList>

namespace framework {
class TNetConnection;
}

namespace printlabels {

struct ServiceChoice {
    QString code;   // CDSERVFILI
    QString name;   // NMSERVICO
};

// The services of the branch whose rows are transported (IDSERVTRAN 'S'), without the
// kind 'A' ones, by code.
QList<ServiceChoice> transportedServices(const QString &branch);

// The branch's name; empty for a branch that does not exist.
QString branchName(const QString &branch);

// Every stored label of the service on the day (GetEtiquetasImpressao), by delivery point,
// client, dish row and label number, each with its place among its dish row's labels. A label
// whose branch, service or client is not registered comes with the code in place of the name,
// and `missing` (when given) says which, each once: "cliente 0000101". Throws toolkit::Error when
// the server refuses or cannot be reached.
QList<ContainerLabel> labelsOfDay(framework::TNetConnection &server, const QString &branch, const QString &service,
                                  QDate day, QStringList *missing = nullptr);
// The same out of a packet of labels already read (GetEtiquetasImpressao's, or GetExpedicao's,
// which adds each container's dispatch), in the packet's order.
QList<ContainerLabel> labelsOfPacket(const QVariant &payload, const QString &branch, const QString &service, QDate day,
                                     QStringList *missing = nullptr);

// What the user chose to print among the day's labels.
struct LabelSelection {
    QString point;            // CDDESTFILI; empty: every point
    QStringList dishes;       // CDPRATO; empty: every dish
};
QList<ContainerLabel> selectLabels(const QList<ContainerLabel> &day, const LabelSelection &selection);

// The delivery points and the dishes among the labels, as (code, name), in their first order.
struct NamedCode {
    QString code;
    QString name;
    friend bool operator==(const NamedCode &, const NamedCode &) = default;
};
QList<NamedCode> pointsOf(const QList<ContainerLabel> &labels);
// Each code once, with the name it first came with, in the items' order (the labels here, the
// kitchen lists' dish rows too).
template <typename Item, typename Key>
QList<NamedCode> distinctCodes(const QList<Item> &items, Key key)
{
    QList<NamedCode> found;
    QSet<QString> seen;
    for (const Item &item : items) {
        const NamedCode named = key(item);
        if (!seen.contains(named.code)) {
            seen.insert(named.code);
            found.append(named);
        }
    }
    return found;
}
QList<NamedCode> dishesOf(const QList<ContainerLabel> &labels);

} // namespace printlabels

#pragma once
// The kitchen's two lists of a day, built from the data packets the application server sends
// (delivery points and dish rows of GetDados), with no window and no connection:
//  - the delivery list: per delivery point, what goes on its vehicle, dish by dish;
//  - the division list: per dish, how its production is shared among the points.
// Every figure is the one stored in the dish row; the lists only group, order and add them up.

#include <labels/labelsource.h>
#include <protocol/packet.h>

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace printlists {

// A stored dish row with the names of its client and delivery point.
struct DishRow {
    QString clientCode; // CDCLIENTE
    QString clientName; // NMRAZSOCCLIE of the point
    QString pointCode; // CDDESTFILI
    QString pointName; // NMDESTFILI of the point
    QString dishCode; // CDPRATO
    QString dishOwner; // CDFILAUXPRAT
    QString dishName; // NMPRATO
    QString unit; // SGUNIDADE
    QString rowNumber; // NRSERVTRAN
    QString diet; // CDDIETPADST
    int pointOrder = 0; // the point's place in the server's list of the day's points
    double diners = 0; // QTCOMESTIST
    double perPerson = 0; // QTPADRAOST
    double quantity = 0; // QTTOTAPRATST, without the sample
    double sample = 0; // QTAMOSTRAST
    double perContainer = 0; // QTCONTAIST
    double containers = 0; // QTTOTACONTST, complete and partial
    double fullContainers = 0; // QTCONTCOMPST
    double partialQuantity = 0; // QTPARCPRATST, in each partial container
    double containersWithSample = 0; // QTTOTACONTSTCAMOS
    double fullContainersWithSample = 0; // QTCONTCOMPSTCAMOS

    double quantityWithSample() const;
    double partialContainers() const { return containers - fullContainers; }
    double partialContainersWithSample() const { return containersWithSample - fullContainersWithSample; }
};

// The dish rows of the day out of GetDados's delivery points (element 0) and dish rows
// (element 1), in the server's order. toolkit::Error when a packet is not what the server sends.
QList<DishRow> dishRowsFromPackets(const protocol::DataPacket &points, const protocol::DataPacket &dishes);

enum class ListKind { Delivery, Division };

// What the list is of.
struct ListDay {
    QString branch;
    QString branchName;
    QString service;
    QString serviceName;
    QDate date;
};

// Which rows go in: empty fields take every point or every dish.
struct ListFilter {
    QString point; // CDDESTFILI
    QStringList dishes; // CDPRATO
};

enum class LineKind { Row, GroupTotal, GrandTotal };

// A line of a list: a dish row, or the sums of a group's (or the whole list's) rows of one unit.
// A total line carries the group's client, point or dish, the unit and the sums; its per-person
// and per-container figures and its partial quantity mean nothing and are not shown.
struct ListLine {
    LineKind kind = LineKind::Row;
    DishRow row;
    int rows = 1; // the dish rows summed (1 for a row)
};

// A delivery point (delivery list) or a dish (division list): its rows, then one total a unit.
struct ListGroup {
    QString title;
    QList<ListLine> lines;
    int rowCount() const;
};

struct KitchenList {
    ListKind kind = ListKind::Delivery;
    ListDay day;
    QList<ListGroup> groups;
    QList<ListLine> totals; // the whole list, one line a unit
    int rowCount() const;
};

// The list of that kind of the chosen rows. The delivery list keeps the points in the order the
// server lists them (as the screen shows them) and each point's dishes in the rows' order; the
// division list orders the dishes by name and each dish's points as the server lists them.
KitchenList buildList(ListKind kind, const ListDay &day, const QList<DishRow> &rows, const ListFilter &filter = {});

QString listTitle(ListKind kind);
// A delivery point's title over its lines: "Ponto de entrega 001 - Ala · Cliente: Hospital"
QString pointTitle(const QString &pointCode, const QString &pointName, const QString &clientName);

// The delivery points and the dishes among the rows, as (code, name): points by code, dishes by
// name (as the labels' choices are).
using printlabels::NamedCode;
QList<NamedCode> pointsOf(const QList<DishRow> &rows);
QList<NamedCode> dishesOf(const QList<DishRow> &rows);

} // namespace printlists

#include "kitchenlist.h"

#include <toolkit/error.h>

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace printlists {

namespace {

// Field positions of a decoded packet, looked up once; a missing field is a server fault.
class Columns {
public:
    Columns(const protocol::PacketContent &content, const char *packet)
        : m_content(content)
        , m_packet(packet)
    {
    }

    int at(const char *field) const
    {
        const int index = m_content.fieldIndex(QString::fromLatin1(field));
        if (index < 0)
            throw toolkit::Error(QStringLiteral("O servidor de aplicação enviou %1 sem o campo %2.")
                                     .arg(QString::fromLatin1(m_packet), QString::fromLatin1(field)));
        return index;
    }

private:
    const protocol::PacketContent &m_content;
    const char *m_packet;
};

protocol::PacketContent decode(const protocol::DataPacket &packet, const char *what)
{
    try {
        return protocol::decodePacket(packet);
    } catch (const protocol::PacketError &e) {
        throw toolkit::Error(QStringLiteral("O servidor de aplicação enviou %1 ilegível: %2")
                                 .arg(QString::fromLatin1(what), e.message()));
    }
}

QString text(const protocol::PacketRow &row, int column)
{
    return row.values.at(column).toString().trimmed();
}

// A null figure is stored as nothing, and adds nothing.
double number(const protocol::PacketRow &row, int column)
{
    return row.values.at(column).toDouble();
}

QString pointKey(const DishRow &row)
{
    return row.clientCode + QLatin1Char('\x1f') + row.pointCode;
}

QString dishKey(const DishRow &row)
{
    return row.dishCode + QLatin1Char('\x1f') + row.dishOwner;
}

bool chosen(const DishRow &row, const ListFilter &filter)
{
    return (filter.point.isEmpty() || row.pointCode == filter.point)
        && (filter.dishes.isEmpty() || filter.dishes.contains(row.dishCode));
}

// A sum of stored figures without the binary noise of adding decimals (13.8 + 0.3 is
// 14.100000000000001 in doubles): figures are kept to far fewer than nine decimals.
double cleanSum(double value)
{
    return std::round(value * 1e9) / 1e9;
}

void add(DishRow &sum, const DishRow &row)
{
    sum.diners += row.diners;
    sum.quantity += row.quantity;
    sum.sample += row.sample;
    sum.containers += row.containers;
    sum.fullContainers += row.fullContainers;
    sum.containersWithSample += row.containersWithSample;
    sum.fullContainersWithSample += row.fullContainersWithSample;
}

// One total line a unit, units in their first order. `like` gives the line the group's texts.
QList<ListLine> totalsByUnit(const QList<ListLine> &rows, LineKind kind, const DishRow &like)
{
    QList<ListLine> totals;
    for (const ListLine &line : rows) {
        auto found = std::find_if(
            totals.begin(), totals.end(), [&](const ListLine &t) { return t.row.unit == line.row.unit; });
        if (found == totals.end()) {
            ListLine total;
            total.kind = kind;
            total.row = like;
            total.row.unit = line.row.unit;
            total.rows = 0;
            totals.append(total);
            found = totals.end() - 1;
        }
        add(found->row, line.row);
        found->rows += 1;
    }
    for (ListLine &total : totals) {
        DishRow &sum = total.row;
        for (double *figure : { &sum.diners, &sum.quantity, &sum.sample, &sum.containers, &sum.fullContainers,
                 &sum.containersWithSample, &sum.fullContainersWithSample })
            *figure = cleanSum(*figure);
    }
    return totals;
}

QString pointTitle(const DishRow &row)
{
    return printlists::pointTitle(row.pointCode, row.pointName, row.clientName);
}

QString dishTitle(const DishRow &row)
{
    return QStringLiteral("Prato %1 - %2").arg(row.dishCode, row.dishName);
}

} // namespace

QList<DishRow> dishRowsFromPackets(const protocol::DataPacket &points, const protocol::DataPacket &dishes)
{
    const protocol::PacketContent pointContent = decode(points, "os pontos de entrega");
    const Columns p(pointContent, "os pontos de entrega");
    const int pClient = p.at("CDCLIENTE"), pClientName = p.at("NMRAZSOCCLIE"), pPoint = p.at("CDDESTFILI"),
              pPointName = p.at("NMDESTFILI");
    struct Names {
        QString client, point;
        int order = 0;
    };
    QHash<QString, Names> names;
    for (const protocol::PacketRow &row : pointContent.rows) {
        DishRow key;
        key.clientCode = text(row, pClient);
        key.pointCode = text(row, pPoint);
        names.insert(pointKey(key), { text(row, pClientName), text(row, pPointName), int(names.size()) });
    }

    const protocol::PacketContent dishContent = decode(dishes, "os pratos");
    const Columns d(dishContent, "os pratos");
    const int client = d.at("CDCLIENTE"), point = d.at("CDDESTFILI"), dish = d.at("CDPRATO"),
              owner = d.at("CDFILAUXPRAT"), dishName = d.at("NMPRATO"), unit = d.at("SGUNIDADE"),
              rowNumber = d.at("NRSERVTRAN"), diet = d.at("CDDIETPADST"), diners = d.at("QTCOMESTIST"),
              perPerson = d.at("QTPADRAOST"), quantity = d.at("QTTOTAPRATST"), sample = d.at("QTAMOSTRAST"),
              perContainer = d.at("QTCONTAIST"), containers = d.at("QTTOTACONTST"), full = d.at("QTCONTCOMPST"),
              partial = d.at("QTPARCPRATST"), containersWithSample = d.at("QTTOTACONTSTCAMOS"),
              fullWithSample = d.at("QTCONTCOMPSTCAMOS");
    QList<DishRow> rows;
    rows.reserve(dishContent.rows.size());
    for (const protocol::PacketRow &values : dishContent.rows) {
        DishRow row;
        row.clientCode = text(values, client);
        row.pointCode = text(values, point);
        // A row whose point the server did not list goes after the listed ones.
        const Names named = names.value(pointKey(row), Names { QString(), QString(), int(names.size()) });
        row.clientName = named.client;
        row.pointName = named.point;
        row.pointOrder = named.order;
        row.dishCode = text(values, dish);
        row.dishOwner = text(values, owner);
        row.dishName = text(values, dishName);
        row.unit = text(values, unit);
        row.rowNumber = text(values, rowNumber);
        row.diet = text(values, diet);
        row.diners = number(values, diners);
        row.perPerson = number(values, perPerson);
        row.quantity = number(values, quantity);
        row.sample = number(values, sample);
        row.perContainer = number(values, perContainer);
        row.containers = number(values, containers);
        row.fullContainers = number(values, full);
        row.partialQuantity = number(values, partial);
        row.containersWithSample = number(values, containersWithSample);
        row.fullContainersWithSample = number(values, fullWithSample);
        rows.append(row);
    }
    return rows;
}

double DishRow::quantityWithSample() const
{
    return cleanSum(quantity + sample);
}

int ListGroup::rowCount() const
{
    return int(std::count_if(lines.begin(), lines.end(), [](const ListLine &l) { return l.kind == LineKind::Row; }));
}

int KitchenList::rowCount() const
{
    int count = 0;
    for (const ListGroup &group : groups)
        count += group.rowCount();
    return count;
}

KitchenList buildList(ListKind kind, const ListDay &day, const QList<DishRow> &rows, const ListFilter &filter)
{
    KitchenList list;
    list.kind = kind;
    list.day = day;

    const auto keyOf = kind == ListKind::Delivery ? &pointKey : &dishKey;
    QList<DishRow> sorted;
    for (const DishRow &row : rows)
        if (chosen(row, filter))
            sorted.append(row);
    std::stable_sort(
        sorted.begin(), sorted.end(), [](const DishRow &a, const DishRow &b) { return a.pointOrder < b.pointOrder; });

    QList<QString> order;
    QHash<QString, QList<ListLine>> members;
    for (const DishRow &row : sorted) {
        const QString key = keyOf(row);
        if (!members.contains(key))
            order.append(key);
        members[key].append(ListLine { LineKind::Row, row, 1 });
    }
    if (kind == ListKind::Division) {
        std::stable_sort(order.begin(), order.end(), [&](const QString &a, const QString &b) {
            return QString::localeAwareCompare(members[a].first().row.dishName, members[b].first().row.dishName) < 0;
        });
    }

    QList<ListLine> every;
    for (const QString &key : order) {
        const QList<ListLine> &lines = members[key];
        const DishRow &first = lines.first().row;
        // A total keeps what its group is about: the point and client, or the dish.
        DishRow like;
        if (kind == ListKind::Delivery) {
            like.clientCode = first.clientCode;
            like.clientName = first.clientName;
            like.pointCode = first.pointCode;
            like.pointName = first.pointName;
        } else {
            like.dishCode = first.dishCode;
            like.dishOwner = first.dishOwner;
            like.dishName = first.dishName;
        }
        ListGroup group;
        group.title = kind == ListKind::Delivery ? pointTitle(first) : dishTitle(first);
        group.lines = lines;
        group.lines += totalsByUnit(lines, LineKind::GroupTotal, like);
        list.groups.append(group);
        every += lines;
    }
    list.totals = totalsByUnit(every, LineKind::GrandTotal, DishRow {});
    return list;
}

QString listTitle(ListKind kind)
{
    return kind == ListKind::Delivery ? QStringLiteral("Lista de Entrega") : QStringLiteral("Lista de Divisão");
}

QString pointTitle(const QString &pointCode, const QString &pointName, const QString &clientName)
{
    return QStringLiteral("Ponto de entrega %1 - %2 · Cliente: %3").arg(pointCode, pointName, clientName);
}

QList<NamedCode> pointsOf(const QList<DishRow> &rows)
{
    QList<NamedCode> points = printlabels::distinctCodes(rows, [](const DishRow &r) { return NamedCode { r.pointCode, r.pointName }; });
    std::sort(points.begin(), points.end(), [](const NamedCode &a, const NamedCode &b) { return a.code < b.code; });
    return points;
}

QList<NamedCode> dishesOf(const QList<DishRow> &rows)
{
    QList<NamedCode> dishes = printlabels::distinctCodes(rows, [](const DishRow &r) { return NamedCode { r.dishCode, r.dishName }; });
    std::stable_sort(dishes.begin(), dishes.end(),
        [](const NamedCode &a, const NamedCode &b) { return QString::localeAwareCompare(a.name, b.name) < 0; });
    return dishes;
}

} // namespace printlists

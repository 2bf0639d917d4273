#include "listcolumns.h"

namespace printlists {

namespace {

// The figures every list shows, after what its lines are about.
const QList<Column> kFigures = {
    Column::Unit,
    Column::Diners,
    Column::PerPerson,
    Column::Quantity,
    Column::Sample,
    Column::QuantityWithSample,
    Column::PerContainer,
    Column::Containers,
    Column::FullContainers,
    Column::PartialContainers,
    Column::PartialQuantity,
    Column::ContainersWithSample,
    Column::FullContainersWithSample,
    Column::PartialContainersWithSample,
};

} // namespace

QList<Column> pageColumns(ListKind kind)
{
    QList<Column> columns = kind == ListKind::Delivery
        ? QList<Column> { Column::DishCode, Column::DishName }
        : QList<Column> { Column::PointCode, Column::PointName, Column::ClientName };
    return columns + kFigures;
}

QList<Column> spreadsheetColumns(ListKind kind)
{
    const QList<Column> point = { Column::ClientCode, Column::ClientName, Column::PointCode, Column::PointName };
    const QList<Column> dish = { Column::DishCode, Column::DishName };
    QList<Column> columns = { Column::Line, Column::Date, Column::Branch, Column::Service };
    columns += kind == ListKind::Delivery ? point + dish : dish + point;
    return columns + kFigures;
}

QString columnTitle(Column column)
{
    switch (column) {
    case Column::Line:
        return QStringLiteral("Linha");
    case Column::Date:
        return QStringLiteral("Data");
    case Column::Branch:
        return QStringLiteral("Filial");
    case Column::Service:
        return QStringLiteral("Serviço");
    case Column::ClientCode:
        return QStringLiteral("Cód. Cliente");
    case Column::ClientName:
        return QStringLiteral("Cliente");
    case Column::PointCode:
        return QStringLiteral("Cód. Ponto");
    case Column::PointName:
        return QStringLiteral("Ponto de Entrega");
    case Column::DishCode:
        return QStringLiteral("Cód. Prato");
    case Column::DishName:
        return QStringLiteral("Prato");
    case Column::Unit:
        return QStringLiteral("UN");
    case Column::Diners:
        return QStringLiteral("Comensais");
    case Column::PerPerson:
        return QStringLiteral("Qtde. por Pessoa");
    case Column::Quantity:
        return QStringLiteral("Quantidade");
    case Column::Sample:
        return QStringLiteral("Amostra");
    case Column::QuantityWithSample:
        return QStringLiteral("Qtde. com Amostra");
    case Column::PerContainer:
        return QStringLiteral("Qtde. por Container");
    case Column::Containers:
        return QStringLiteral("Containers");
    case Column::FullContainers:
        return QStringLiteral("Completos");
    case Column::PartialContainers:
        return QStringLiteral("Parciais");
    case Column::PartialQuantity:
        return QStringLiteral("Qtde. no Parcial");
    case Column::ContainersWithSample:
        return QStringLiteral("Containers c/ Amostra");
    case Column::FullContainersWithSample:
        return QStringLiteral("Completos c/ Amostra");
    case Column::PartialContainersWithSample:
        return QStringLiteral("Parciais c/ Amostra");
    }
    return {};
}

bool isNumeric(Column column)
{
    return column >= Column::Diners;
}

int columnDecimals(Column column)
{
    switch (column) {
    case Column::Diners:
    case Column::Containers:
    case Column::FullContainers:
    case Column::PartialContainers:
    case Column::ContainersWithSample:
    case Column::FullContainersWithSample:
    case Column::PartialContainersWithSample:
        return 0;
    default:
        return isNumeric(column) ? 3 : 0;
    }
}

double columnWeight(Column column)
{
    // The texts of both lists weigh about the same (6.8 and 7.4), so their figures keep a width.
    switch (column) {
    case Column::DishName:
        return 4;
    case Column::PointName:
        return 3;
    case Column::ClientName:
        return 2.6;
    case Column::DishCode:
        return 2;
    case Column::PointCode:
        return 1;
    case Column::Unit:
        return 0.8;
    default:
        return isNumeric(column) ? 1.6 : 2;
    }
}

QVariant cellValue(const KitchenList &list, const ListLine &line, Column column)
{
    const DishRow &row = line.row;
    const bool total = line.kind != LineKind::Row;
    switch (column) {
    case Column::Line:
        return lineText(list.kind, line.kind);
    case Column::Date:
        return list.day.date.toString(QStringLiteral("dd/MM/yyyy"));
    case Column::Branch:
        return list.day.branch;
    case Column::Service:
        return list.day.service;
    case Column::ClientCode:
        return row.clientCode;
    case Column::ClientName:
        return row.clientName;
    case Column::PointCode:
        return row.pointCode;
    case Column::PointName:
        return row.pointName;
    case Column::DishCode:
        return row.dishCode;
    case Column::DishName:
        return row.dishName;
    case Column::Unit:
        return row.unit;
    case Column::Diners:
        // Diners add up over the points of one dish, not over different dishes.
        return line.kind == LineKind::Row || (line.kind == LineKind::GroupTotal && list.kind == ListKind::Division)
            ? QVariant(row.diners)
            : QVariant();
    case Column::PerPerson:
        return total ? QVariant() : QVariant(row.perPerson);
    case Column::Quantity:
        return row.quantity;
    case Column::Sample:
        return row.sample;
    case Column::QuantityWithSample:
        return row.quantityWithSample();
    case Column::PerContainer:
        return total ? QVariant() : QVariant(row.perContainer);
    case Column::Containers:
        return row.containers;
    case Column::FullContainers:
        return row.fullContainers;
    case Column::PartialContainers:
        return row.partialContainers();
    case Column::PartialQuantity:
        return total ? QVariant() : QVariant(row.partialQuantity);
    case Column::ContainersWithSample:
        return row.containersWithSample;
    case Column::FullContainersWithSample:
        return row.fullContainersWithSample;
    case Column::PartialContainersWithSample:
        return row.partialContainersWithSample();
    }
    return {};
}

QString lineText(ListKind kind, LineKind line)
{
    switch (line) {
    case LineKind::Row:
        return kind == ListKind::Delivery ? QStringLiteral("Prato") : QStringLiteral("Ponto");
    case LineKind::GroupTotal:
        return kind == ListKind::Delivery ? QStringLiteral("Total do ponto") : QStringLiteral("Total do prato");
    case LineKind::GrandTotal:
        return QStringLiteral("Total geral");
    }
    return {};
}

} // namespace printlists

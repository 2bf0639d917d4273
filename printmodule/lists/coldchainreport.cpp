#include "coldchainreport.h"

#include "listcsv.h"

#include <rules/coldchain.h>

#include <QLocale>
#include <QStringList>
#include <cmath>

using printlabels::ContainerDispatch;
using printlabels::ContainerLabel;

namespace printlists {

namespace {

bool outOfRange(const ContainerLabel &label, const std::optional<double> &celsius)
{
    return celsius && label.conservation && !rules::cold::inSafeRange(*label.conservation, *celsius);
}

QString flagsText(const ContainerDispatch &container)
{
    QStringList texts;
    for (ColdChainFlag flag : flagsOf(container))
        texts << flagText(flag);
    return texts.join(QStringLiteral(", "));
}

QString modeText(const ContainerLabel &label)
{
    return label.conservation ? rules::cold::conservationName(*label.conservation) : QStringLiteral("não cadastrada");
}

// A moment on paper: its time, and its day too when it is not the service's.
QString pageMoment(const QDateTime &moment, QDate day)
{
    if (!moment.isValid())
        return QString();
    return moment.toString(moment.date() == day ? QStringLiteral("HH:mm") : QStringLiteral("dd/MM HH:mm"));
}

QString csvMoment(const QDateTime &moment)
{
    return moment.isValid() ? moment.toString(QStringLiteral("dd/MM/yyyy HH:mm")) : QString();
}

QString pageCelsius(const std::optional<double> &celsius)
{
    return celsius ? QLocale(QLocale::Portuguese, QLocale::Brazil).toString(*celsius, 'f', 1) : QString();
}

QVariant number(const std::optional<double> &value)
{
    return value ? QVariant(*value) : QVariant();
}

QVariant minutes(const std::optional<qint64> &value)
{
    return value ? QVariant(double(*value)) : QVariant();
}

QString transitCell(const std::optional<qint64> &value)
{
    return value ? transitText(*value) : QString();
}

void count(PointSummary &summary, const ContainerDispatch &container)
{
    ++summary.containers;
    summary.dispatched += container.celsius.has_value();
    summary.received += container.receivedCelsius.has_value();
    summary.flagged += !flagsOf(container).isEmpty();
    if (const std::optional<qint64> transit = transitMinutes(container))
        summary.longestTransit = std::max(summary.longestTransit.value_or(*transit), *transit);
}

} // namespace

QString flagText(ColdChainFlag flag)
{
    switch (flag) {
    case ColdChainFlag::OutOfRangeAtDispatch:
        return QStringLiteral("Fora da faixa na expedição");
    case ColdChainFlag::OutOfRangeAtReceipt:
        return QStringLiteral("Fora da faixa no recebimento");
    case ColdChainFlag::ExpiredAtReceipt:
        return QStringLiteral("Vencido no recebimento");
    case ColdChainFlag::NotDispatched:
        return QStringLiteral("Não expedido");
    case ColdChainFlag::NotReceived:
        return QStringLiteral("Não recebido");
    }
    return {};
}

QList<ColdChainFlag> flagsOf(const ContainerDispatch &container)
{
    QList<ColdChainFlag> flags;
    const ContainerLabel &label = container.label;
    if (outOfRange(label, container.celsius))
        flags << ColdChainFlag::OutOfRangeAtDispatch;
    if (outOfRange(label, container.receivedCelsius))
        flags << ColdChainFlag::OutOfRangeAtReceipt;
    if (container.received.isValid() && label.useBy.isValid() && container.received > label.useBy)
        flags << ColdChainFlag::ExpiredAtReceipt;
    if (!container.celsius)
        flags << ColdChainFlag::NotDispatched;
    if (!container.receivedCelsius)
        flags << ColdChainFlag::NotReceived;
    return flags;
}

std::optional<qint64> transitMinutes(const ContainerDispatch &container)
{
    if (!container.departed.isValid() || !container.received.isValid())
        return std::nullopt;
    return qint64(std::llround(double(container.departed.secsTo(container.received)) / 60));
}

QString transitText(qint64 minutes)
{
    const qint64 whole = std::abs(minutes);
    return QStringLiteral("%1%2:%3")
        .arg(minutes < 0 ? QStringLiteral("-") : QString())
        .arg(whole / 60)
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

int correctionsOf(const ContainerDispatch &container)
{
    return std::max(container.entries - 1, 0) + std::max(container.receipts - 1, 0);
}

ColdChainReport buildColdChainReport(
    const ListDay &day, const QList<ContainerDispatch> &containers, const printlabels::LabelSelection &selection)
{
    ColdChainReport report;
    report.day = day;
    for (const ContainerDispatch &container : containers) {
        const ContainerLabel &label = container.label;
        if (!selection.point.isEmpty() && label.pointCode != selection.point)
            continue;
        if (!selection.dishes.isEmpty() && !selection.dishes.contains(label.dishCode))
            continue;
        auto point = std::find_if(report.points.begin(), report.points.end(), [&label](const ColdChainPoint &p) {
            return p.summary.pointCode == label.pointCode && p.summary.clientCode == label.clientCode;
        });
        if (point == report.points.end()) {
            ColdChainPoint added;
            added.summary.clientCode = label.clientCode;
            added.summary.clientName = label.clientName;
            added.summary.pointCode = label.pointCode;
            added.summary.pointName = label.pointName;
            report.points.append(added);
            point = report.points.end() - 1;
        }
        point->containers.append(container);
        count(point->summary, container);
        count(report.total, container);
    }
    return report;
}

QString coldChainTitle()
{
    return QStringLiteral("Relatório da Cadeia Fria");
}

TableDocument coldChainDocument(const ColdChainReport &report)
{
    const auto text = [](const QString &title, double weight) { return TableColumn { title, weight, false }; };
    const auto figure = [](const QString &title, double weight) { return TableColumn { title, weight, true }; };
    const QList<TableColumn> containerColumns = {
        text(QStringLiteral("Prato"), 3.4),
        text(QStringLiteral("Etiqueta"), 1.5),
        text(QStringLiteral("Conservação"), 1.4),
        figure(QStringLiteral("Expedição"), 1.3),
        figure(QStringLiteral("Temp. Expedição (°C)"), 1.2),
        figure(QStringLiteral("Recebimento"), 1.3),
        figure(QStringLiteral("Temp. Recebimento (°C)"), 1.3),
        text(QStringLiteral("Recebedor"), 2.2),
        figure(QStringLiteral("Trânsito"), 1),
        figure(QStringLiteral("Correções"), 1),
        text(QStringLiteral("Alertas"), 3.4),
    };
    TableDocument document;
    document.title = coldChainTitle();
    document.day = report.day;
    for (const ColdChainPoint &point : report.points) {
        const PointSummary &p = point.summary;
        TableGroup group { pointTitle(p.pointCode, p.pointName, p.clientName), containerColumns, 0, {} };
        for (const ContainerDispatch &c : point.containers) {
            const ContainerLabel &l = c.label;
            group.lines.append(TableLine { LineKind::Row, QString(),
                { l.dishName.isEmpty() ? l.dishCode : l.dishName,
                    QStringLiteral("%1 (%2)").arg(l.sequence, printlabels::positionText(l)), modeText(l),
                    pageMoment(c.departed, report.day.date), pageCelsius(c.celsius),
                    pageMoment(c.received, report.day.date), pageCelsius(c.receivedCelsius), c.receiver,
                    transitCell(transitMinutes(c)), double(correctionsOf(c)), flagsText(c) } });
        }
        document.groups.append(group);
    }

    document.closing.title = QStringLiteral("Resumo por ponto");
    document.closing.columns = {
        text(QStringLiteral("Ponto de Entrega"), 3.4),
        text(QStringLiteral("Cliente"), 3),
        figure(QStringLiteral("Containers"), 1.2),
        figure(QStringLiteral("Expedidos"), 1.2),
        figure(QStringLiteral("Recebidos"), 1.2),
        figure(QStringLiteral("Com alerta"), 1.2),
        figure(QStringLiteral("Maior trânsito"), 1.2),
    };
    document.closing.labelColumns = 2;
    const auto figures = [](const PointSummary &p) {
        return QList<QVariant> { double(p.containers), double(p.dispatched), double(p.received), double(p.flagged),
            transitCell(p.longestTransit) };
    };
    for (const ColdChainPoint &point : report.points) {
        const PointSummary &p = point.summary;
        document.closing.lines.append(TableLine { LineKind::Row, QString(),
            QList<QVariant> { QStringLiteral("%1 - %2").arg(p.pointCode, p.pointName), p.clientName } + figures(p) });
    }
    if (!report.points.isEmpty())
        document.closing.lines.append(TableLine { LineKind::GrandTotal, QStringLiteral("Total do dia"),
            QList<QVariant> { QVariant(), QVariant() } + figures(report.total) });
    return document;
}

QByteArray coldChainCsv(const ColdChainReport &report)
{
    const QStringList titles = { QStringLiteral("Linha"), QStringLiteral("Data"), QStringLiteral("Filial"),
        QStringLiteral("Serviço"), QStringLiteral("Cód. Cliente"), QStringLiteral("Cliente"),
        QStringLiteral("Cód. Ponto"), QStringLiteral("Ponto de Entrega"), QStringLiteral("Cód. Prato"),
        QStringLiteral("Prato"), QStringLiteral("Etiqueta"), QStringLiteral("Conservação"), QStringLiteral("Expedição"),
        QStringLiteral("Temp. Expedição (°C)"), QStringLiteral("Recebimento"), QStringLiteral("Temp. Recebimento (°C)"),
        QStringLiteral("Recebedor"), QStringLiteral("Trânsito (min)"), QStringLiteral("Correções"),
        QStringLiteral("Alertas"), QStringLiteral("Containers"), QStringLiteral("Expedidos"),
        QStringLiteral("Recebidos"), QStringLiteral("Com alerta"), QStringLiteral("Maior trânsito (min)") };
    const ListDay &day = report.day;
    const QList<QVariant> dayCells = { day.date.toString(QStringLiteral("dd/MM/yyyy")), day.branch, day.service };
    const QList<QVariant> noContainer(12, QVariant()); // a summary has no dish nor label
    const auto summaryCells = [](const PointSummary &p) {
        return QList<QVariant> { double(p.containers), double(p.dispatched), double(p.received), double(p.flagged),
            minutes(p.longestTransit) };
    };
    QList<QList<QVariant>> lines;
    for (const ColdChainPoint &point : report.points) {
        const PointSummary &p = point.summary;
        const QList<QVariant> where = { p.clientCode, p.clientName, p.pointCode, p.pointName };
        for (const ContainerDispatch &c : point.containers) {
            const ContainerLabel &l = c.label;
            lines.append(QList<QVariant> { QStringLiteral("Container") } + dayCells + where
                + QList<QVariant> { l.dishCode, l.dishName, l.sequence, modeText(l), csvMoment(c.departed),
                    number(c.celsius), csvMoment(c.received), number(c.receivedCelsius), c.receiver,
                    minutes(transitMinutes(c)), double(correctionsOf(c)), flagsText(c) }
                + QList<QVariant>(5, QVariant()));
        }
        lines.append(
            QList<QVariant> { QStringLiteral("Resumo do ponto") } + dayCells + where + noContainer + summaryCells(p));
    }
    lines.append(QList<QVariant> { QStringLiteral("Total do dia") } + dayCells + QList<QVariant>(4, QVariant())
        + noContainer + summaryCells(report.total));
    return csvTable(titles, lines);
}

void writeColdChainCsv(const ColdChainReport &report, const QString &path)
{
    writeCsvFile(coldChainCsv(report), path);
}

} // namespace printlists

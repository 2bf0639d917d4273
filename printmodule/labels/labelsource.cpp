#include "labelsource.h"

#include <framework/adoibquery.h>

#include <QSet>

namespace printlabels {

namespace {

QString text(TADOIBQuery &query, const char *field)
{
    return query.FieldByName(QString::fromLatin1(field))->asString().trimmed();
}

} // namespace

QList<ServiceChoice> transportedServices(const QString &branch)
{
    TADOIBQuery query(nullptr, QStringLiteral("qryServicos"));
    query.SQL << QStringLiteral("SELECT CDSERVFILI, NMSERVICO FROM SERVICO")
              << QStringLiteral(" WHERE CDFILIAL = :P_CDFILIAL AND IDSERVTRAN = 'S' AND IDTIPOSERV <> 'A'")
              << QStringLiteral(" ORDER BY CDSERVFILI");
    query.ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(branch);
    query.Open();
    QList<ServiceChoice> services;
    for (query.First(); !query.Eof(); query.Next())
        services.append({text(query, "CDSERVFILI"), text(query, "NMSERVICO")});
    return services;
}

QString branchName(const QString &branch)
{
    TADOIBQuery query(nullptr, QStringLiteral("qryFilial"));
    query.SQL << QStringLiteral("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL");
    query.ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(branch);
    query.Open();
    return query.IsEmpty() ? QString() : text(query, "NMFILIAL");
}

QList<ContainerLabel> labelsOfDay(const QString &branch, const QString &service, QDate day)
{
    TADOIBQuery query(nullptr, QStringLiteral("qryEtiquetas"));
    query.SQL
        << QStringLiteral("SELECT E.CDDIETPADST, E.NRSERVTRAN, E.NRSEQUETIQTR, E.QTPRATETIQTR, E.CDDESTFILI, E.CDPRATO,")
        << QStringLiteral("       F.NMFILIAL, S.NMSERVICO, C.NMRAZSOCCLIE, C.NMFANTCLIE, D.NMDESTFILI,")
        << QStringLiteral("       COALESCE(T.NMPRATO, P.NMPRATO) AS NMPRATO, COALESCE(T.SGUNIDADE, P.SGUNIDADE) AS SGUNIDADE")
        << QStringLiteral("  FROM ETIQSERVTRAN E")
        << QStringLiteral("  JOIN SERVTRAN T ON T.CDFILIAL = E.CDFILIAL AND T.CDSERVFILI = E.CDSERVFILI")
        << QStringLiteral("   AND T.DTSERVTRAN = E.DTSERVTRAN AND T.CDDIETPADST = E.CDDIETPADST AND T.NRSERVTRAN = E.NRSERVTRAN")
        << QStringLiteral("  JOIN FILIAL F ON F.CDFILIAL = E.CDFILIAL")
        << QStringLiteral("  JOIN SERVICO S ON S.CDFILIAL = E.CDFILIAL AND S.CDSERVFILI = E.CDSERVFILI")
        << QStringLiteral("  JOIN CLIENTE C ON C.CDCLIENTE = E.CDCLIENTE")
        << QStringLiteral("  LEFT JOIN DESTFILI D ON D.CDFILIAL = E.CDFILIAL AND D.CDDESTFILI = E.CDDESTFILI")
        << QStringLiteral("  LEFT JOIN PRATO P ON P.CDPRATO = E.CDPRATO AND P.CDFILAUXPRAT = E.CDFILAUXPRAT")
        << QStringLiteral(" WHERE E.CDFILIAL = :P_CDFILIAL AND E.CDSERVFILI = :P_CDSERVFILI AND E.DTSERVTRAN = :P_DTSERVTRAN")
        << QStringLiteral(" ORDER BY E.CDDESTFILI, C.NMRAZSOCCLIE, E.CDCLIENTE, E.CDDIETPADST, E.NRSERVTRAN, E.NRSEQUETIQTR");
    query.ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(branch);
    query.ParamByName(QStringLiteral("P_CDSERVFILI"))->setAsString(service);
    // A date binds as ISO text on SQLite (where the column is text) and as a date elsewhere.
    query.ParamByName(QStringLiteral("P_DTSERVTRAN"))->setValue(day);
    query.Open();

    QList<ContainerLabel> labels;
    for (query.First(); !query.Eof(); query.Next()) {
        ContainerLabel label;
        label.branch = branch;
        label.service = service;
        label.date = day;
        label.diet = text(query, "CDDIETPADST");
        label.rowNumber = text(query, "NRSERVTRAN");
        label.sequence = text(query, "NRSEQUETIQTR");
        label.quantity = query.FieldByName(QStringLiteral("QTPRATETIQTR"))->value().toDouble();
        label.pointCode = text(query, "CDDESTFILI");
        label.dishCode = text(query, "CDPRATO");
        label.branchName = text(query, "NMFILIAL");
        label.serviceName = text(query, "NMSERVICO");
        label.clientName = text(query, "NMFANTCLIE");
        if (label.clientName.isEmpty())
            label.clientName = text(query, "NMRAZSOCCLIE");
        label.pointName = text(query, "NMDESTFILI");
        label.dishName = text(query, "NMPRATO");
        label.unit = text(query, "SGUNIDADE");
        labels.append(label);
    }

    // A dish row's labels come together, in label order: number them and count them.
    for (qsizetype first = 0; first < labels.size();) {
        qsizetype end = first;
        while (end < labels.size() && labels[end].diet == labels[first].diet && labels[end].rowNumber == labels[first].rowNumber)
            ++end;
        for (qsizetype i = first; i < end; ++i) {
            labels[i].index = int(i - first + 1);
            labels[i].count = int(end - first);
        }
        first = end;
    }
    return labels;
}

QList<ContainerLabel> selectLabels(const QList<ContainerLabel> &day, const LabelSelection &selection)
{
    QList<ContainerLabel> chosen;
    for (const ContainerLabel &label : day) {
        if (!selection.point.isEmpty() && label.pointCode != selection.point)
            continue;
        if (!selection.dishes.isEmpty() && !selection.dishes.contains(label.dishCode))
            continue;
        chosen.append(label);
    }
    return chosen;
}

QList<NamedCode> pointsOf(const QList<ContainerLabel> &labels)
{
    return distinctCodes(labels, [](const ContainerLabel &l) { return NamedCode{l.pointCode, l.pointName}; });
}

QList<NamedCode> dishesOf(const QList<ContainerLabel> &labels)
{
    QList<NamedCode> dishes = distinctCodes(labels, [](const ContainerLabel &l) { return NamedCode{l.dishCode, l.dishName}; });
    std::sort(dishes.begin(), dishes.end(), [](const NamedCode &a, const NamedCode &b) {
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });
    return dishes;
}

} // namespace printlabels

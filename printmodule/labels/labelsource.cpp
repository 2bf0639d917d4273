#include "labelsource.h"

#include <framework/adoibquery.h>
#include <framework/consiste.h>
#include <framework/netconnection.h>
#include <protocol/packet.h>
#include <protocol/value.h>
#include <toolkit/error.h>

#include <QHash>

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

QList<ContainerLabel> labelsOfDay(framework::TNetConnection &server, const QString &branch, const QString &service,
                                  QDate day, QStringList *missing)
{
    const QVariant payload = CheckResultServ(
        server.call(QStringLiteral("GetEtiquetasImpressao"), QVariantList{branch, service, protocol::wallClock(day)}), false, 0);
    return labelsOfPacket(payload, branch, service, day, missing);
}

QList<ContainerLabel> labelsOfPacket(const QVariant &payload, const QString &branch, const QString &service, QDate day,
                                     QStringList *missing)
{
    if (payload.metaType() != QMetaType::fromType<protocol::DataPacket>())
        throw toolkit::Error(QStringLiteral("O servidor de aplicação não devolveu as etiquetas do dia."));
    protocol::PacketContent content;
    try {
        content = protocol::decodePacket(payload.value<protocol::DataPacket>());
    } catch (const protocol::PacketError &e) {
        throw toolkit::Error(QStringLiteral("Etiquetas do dia ilegíveis: %1").arg(e.message()));
    }
    QHash<QString, qsizetype> column;
    for (qsizetype i = 0; i < content.fields.size(); ++i)
        column.insert(content.fields[i].name, i);
    QStringList absent;
    const auto noteMissing = [&absent](const QString &what) {
        if (!absent.contains(what))
            absent << what;
    };

    QList<ContainerLabel> labels;
    for (const protocol::PacketRow &row : std::as_const(content.rows)) {
        const auto value = [&](const char *field) {
            return row.values.value(column.value(QLatin1String(field), -1)).toString().trimmed();
        };
        ContainerLabel label;
        label.branch = branch;
        label.service = service;
        label.date = day;
        label.diet = value("CDDIETPADST");
        label.rowNumber = value("NRSERVTRAN");
        label.sequence = value("NRSEQUETIQTR");
        label.quantity = row.values.value(column.value(QStringLiteral("QTPRATETIQTR"), -1)).toDouble();
        label.pointCode = value("CDDESTFILI");
        label.dishCode = value("CDPRATO");
        label.branchName = value("NMFILIAL");
        label.serviceName = value("NMSERVICO");
        label.clientName = value("NMFANTCLIE");
        if (label.clientName.isEmpty())
            label.clientName = value("NMRAZSOCCLIE");
        label.pointName = value("NMDESTFILI");
        label.dishName = value("NMPRATO");
        label.unit = value("SGUNIDADE");
        label.conservation = rules::cold::conservationFromCode(value("IDCONSERV"));
        // date-times travel as the server's wall clock
        const auto wallClock = [&](const char *field) {
            const QDateTime moment = row.values.value(column.value(QLatin1String(field), -1)).toDateTime();
            return moment.isValid() ? QDateTime(moment.date(), moment.time()) : QDateTime();
        };
        label.prepared = wallClock("DTHRPREPARO");
        label.useBy = wallClock("DTHRVALIDADE");
        label.link = value("DSLINK");
        // what is not registered prints with its code
        if (label.branchName.isEmpty()) {
            label.branchName = branch;
            noteMissing(QStringLiteral("filial %1").arg(branch));
        }
        if (label.serviceName.isEmpty()) {
            label.serviceName = service;
            noteMissing(QStringLiteral("serviço %1").arg(service));
        }
        if (label.clientName.isEmpty()) {
            label.clientName = value("CDCLIENTE");
            noteMissing(QStringLiteral("cliente %1").arg(label.clientName));
        }
        labels.append(label);
    }
    if (missing)
        *missing = absent;

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

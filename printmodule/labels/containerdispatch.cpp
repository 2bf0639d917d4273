#include "containerdispatch.h"

#include "labelsource.h"

#include <framework/consiste.h>
#include <framework/netconnection.h>
#include <protocol/packet.h>
#include <protocol/value.h>
#include <toolkit/error.h>

#include <cmath>

namespace printlabels {

QList<ContainerDispatch> dispatchOfDay(framework::TNetConnection &server, const QString &branch, const QString &service,
                                       QDate day)
{
    const QVariant payload = framework::CheckResultServ(
        server.call(QStringLiteral("GetExpedicao"), QVariantList{branch, service, protocol::wallClock(day)}), false, 0);
    const QList<ContainerLabel> labels = labelsOfPacket(payload, branch, service, day);
    const protocol::PacketContent content = protocol::decodePacket(payload.value<protocol::DataPacket>());
    const auto column = [&content](const char *name) {
        const int index = content.fieldIndex(QLatin1String(name));
        if (index < 0)
            throw toolkit::Error(QStringLiteral("A expedição do servidor não tem o campo %1.").arg(QLatin1String(name)));
        return index;
    };
    const int celsius = column("VRTEMPERATURA"), when = column("DTHREXPEDICAO"), who = column("CDOPERADOR"),
              reason = column("DSMOTIVO"), entries = column("QTEXPEDICOES"), departed = column("DTHRSAIDA"),
              receivedCelsius = column("VRTEMPRECEB"), received = column("DTHRRECEBIMENTO"),
              receiver = column("NMRECEBEDOR"), receiptReason = column("DSMOTIVORECEB"),
              receipts = column("QTRECEBIMENTOS");
    // date-times travel as the kitchen's wall clock
    const auto wallClock = [](const QVariant &value) {
        const QDateTime moment = value.toDateTime();
        return moment.isValid() ? QDateTime(moment.date(), moment.time()) : QDateTime();
    };
    QList<ContainerDispatch> containers;
    for (qsizetype i = 0; i < labels.size() && i < content.rows.size(); ++i) {
        const QList<QVariant> &values = content.rows[i].values;
        ContainerDispatch c;
        c.label = labels[i];
        if (!values.value(celsius).isNull())
            c.celsius = values.value(celsius).toDouble();
        c.dispatched = wallClock(values.value(when));
        c.operatorCode = values.value(who).toString().trimmed();
        c.reason = values.value(reason).toString();
        c.entries = int(values.value(entries).toDouble());
        c.departed = wallClock(values.value(departed));
        if (!values.value(receivedCelsius).isNull())
            c.receivedCelsius = values.value(receivedCelsius).toDouble();
        c.received = wallClock(values.value(received));
        c.receiver = values.value(receiver).toString().trimmed();
        c.receiptReason = values.value(receiptReason).toString();
        c.receipts = int(values.value(receipts).toDouble());
        containers << c;
    }
    return containers;
}

void recordDispatch(framework::TNetConnection &server, const ContainerLabel &label, double celsius, const QString &reason)
{
    framework::CheckResultServ(server.call(QStringLiteral("SetExpedicao"),
                                           QVariantList{label.branch, label.service, protocol::wallClock(label.date),
                                                        label.diet, label.rowNumber, label.sequence, celsius, reason}),
                               false, 0);
}

std::optional<double> typedCelsius(const QString &text)
{
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = t.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString rangeWarning(std::optional<rules::cold::Conservation> mode, double celsius)
{
    if (!mode || *mode == rules::cold::Conservation::Ambient || rules::cold::inSafeRange(*mode, celsius))
        return QString();
    QString keep = rules::cold::instruction(mode);
    if (!keep.isEmpty())
        keep[0] = keep[0].toLower();
    return QStringLiteral("Fora da faixa: %1").arg(keep);
}

} // namespace printlabels

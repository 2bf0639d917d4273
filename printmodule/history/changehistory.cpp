#include "changehistory.h"

#include <framework/consiste.h>
#include <framework/netconnection.h>
#include <protocol/packet.h>
#include <toolkit/error.h>

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace printlabels {

QList<HistoryEntry> readHistory(framework::TNetConnection &server, const QString &branch, const QString &service,
                                QDate day)
{
    // The server answers a day's history a page at a time; the next page starts after the last
    // entry read, and an empty page is the end.
    QList<HistoryEntry> entries;
    double after = 0;
    for (;;) {
        const QVariant answer = server.call(QStringLiteral("GetHistorico"),
                                            QVariantList{branch, service, protocol::wallClock(day), after});
        const QList<HistoryEntry> page = historyEntries(framework::CheckResultServ(answer, false, 0));
        if (page.isEmpty() || page.last().entryNumber <= after)
            return entries;
        after = page.last().entryNumber;
        entries += page;
    }
}

QList<HistoryEntry> historyEntries(const QVariant &packet)
{
    const protocol::PacketContent content = protocol::decodePacket(packet.value<protocol::DataPacket>());
    const auto column = [&content](const char *name) {
        const int index = content.fieldIndex(QLatin1String(name));
        if (index < 0)
            throw toolkit::Error(QStringLiteral("O histórico do servidor não tem o campo %1.").arg(QLatin1String(name)));
        return index;
    };
    const int moment = column("DTHRALTERACAO"), operatorCode = column("CDOPERADOR"), operatorName = column("NMOPERADOR"),
              address = column("DSENDERECO"), method = column("NMMETODO"), kind = column("IDALTERACAO"),
              number = column("NRSERVTRAN"), client = column("CDCLIENTE"), clientName = column("NMRAZSOCCLIE"),
              point = column("CDDESTFILI"), pointName = column("NMDESTFILI"), dish = column("CDPRATO"),
              dishName = column("NMPRATO"), before = column("DSANTES"), after = column("DSDEPOIS"),
              entryNumber = column("NRHISTSERVTRAN");
    QList<HistoryEntry> entries;
    entries.reserve(content.rows.size());
    for (const protocol::PacketRow &row : content.rows) {
        const auto text = [&row](int i) { return row.values[i].toString(); };
        HistoryEntry e;
        e.moment = row.values[moment].toDateTime();
        e.operatorCode = text(operatorCode);
        e.operatorName = text(operatorName);
        e.address = text(address);
        e.method = text(method);
        e.kind = text(kind).isEmpty() ? QChar() : text(kind).at(0);
        e.number = text(number);
        e.client = text(client);
        e.clientName = text(clientName);
        e.point = text(point);
        e.pointName = text(pointName);
        e.dish = text(dish);
        e.dishName = text(dishName);
        e.before = text(before);
        e.after = text(after);
        e.entryNumber = row.values[entryNumber].toDouble();
        entries << e;
    }
    return entries;
}

QString kindName(QChar kind)
{
    switch (kind.unicode()) {
    case 'I':
        return QStringLiteral("Inclusão");
    case 'A':
        return QStringLiteral("Alteração");
    case 'E':
        return QStringLiteral("Exclusão");
    }
    return QString(kind);
}

QString describeValues(const QString &json)
{
    // The columns a kitchen user changes or reads, by the names the screen gives them.
    static const QHash<QString, QString> names = {
        {QStringLiteral("QTCOMECLIST"), QStringLiteral("Comensais estimados")},
        {QStringLiteral("QTEFETCLIST"), QStringLiteral("Efetivos p/ faturamento")},
        {QStringLiteral("QTCOMESTIST"), QStringLiteral("Comensais")},
        {QStringLiteral("QTPADRAOST"), QStringLiteral("Qtde. p/ pessoa")},
        {QStringLiteral("QTCONTAIST"), QStringLiteral("Qtde. p/ container")},
        {QStringLiteral("QTTOTAPRATST"), QStringLiteral("Total")},
        {QStringLiteral("QTTOTACONTST"), QStringLiteral("Containers")},
        {QStringLiteral("QTCONTCOMPST"), QStringLiteral("Containers completos")},
        {QStringLiteral("QTPARCPRATST"), QStringLiteral("Parcial")},
        {QStringLiteral("QTAMOSTRAST"), QStringLiteral("Amostra")},
        {QStringLiteral("VRPECONSST"), QStringLiteral("% consumo")},
        {QStringLiteral("QTTOTACONTSTCAMOS"), QStringLiteral("Containers c/ amostra")},
        {QStringLiteral("QTCONTCOMPSTCAMOS"), QStringLiteral("Completos c/ amostra")},
        {QStringLiteral("NMPRATO"), QStringLiteral("Prato")},
        {QStringLiteral("SGUNIDADE"), QStringLiteral("Unidade")},
        {QStringLiteral("NRSERVTRAN"), QStringLiteral("Número")},
        {QStringLiteral("ETIQUETAS"), QStringLiteral("Etiquetas")},
    };
    if (json.isEmpty())
        return QString();
    const QJsonObject values = QJsonDocument::fromJson(json.toUtf8()).object();
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    QStringList parts;
    for (auto it = values.begin(); it != values.end(); ++it) {
        const QString value = it->isDouble() ? brazil.toString(it->toDouble(), 'f', 3)
                              : it->isNull() ? QStringLiteral("(vazio)")
                                             : it->toString();
        parts << names.value(it.key(), it.key()) + QStringLiteral(": ") + value;
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace printlabels

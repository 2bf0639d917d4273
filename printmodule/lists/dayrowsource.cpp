#include "dayrowsource.h"

#include <framework/consiste.h>
#include <toolkit/error.h>

namespace printlists {

namespace {

protocol::DataPacket packetAt(const QVariant &payload, int index)
{
    const QVariantList array = payload.toList();
    if (payload.metaType().id() != QMetaType::QVariantList || index >= array.size()
        || array.at(index).metaType() != QMetaType::fromType<protocol::DataPacket>())
        throw toolkit::Error(QStringLiteral("O servidor de aplicação não devolveu os dados do dia."));
    return array.at(index).value<protocol::DataPacket>();
}

} // namespace

QList<DishRow> readDishRows(TNetConnection &connection, const QString &branch, const QString &service, QDate date)
{
    const QVariantList args { branch, service, protocol::wallClock(date) };
    const QVariant payload = CheckResultServ(connection.call(QStringLiteral("GetDados"), args), true, 0);
    return dishRowsFromPackets(packetAt(payload, 0), packetAt(payload, 1));
}

} // namespace printlists

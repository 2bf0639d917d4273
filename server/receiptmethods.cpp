// The containers' receipt at their delivery points, by the links their labels carry: the phone
// page's reading of a label (GetRecebimento) and its record of the temperature on arrival and who
// received it (SetRecebimento). A link names its label and day for good, signed by the server.

#include "arguments.h"
#include "database.h"
#include "labelentries.h"
#include "labellinks.h"
#include "service.h"

#include <protocol/remoteresult.h>

#include <QJsonObject>

namespace server {

namespace {

constexpr int kMaxReceiver = 60;
constexpr int kMaxAddress = 64;
// Any text the request may hold: one too long to be a link is refused as a link, not as a call.
constexpr int kMaxLinkArgument = int(ServTranService::kMaxSmallRequest);

} // namespace

LabelKey ServTranService::linkedLabel(const QString &token)
{
    const LabelKey label = labelOfToken(m_db, token);
    allowBranch(label.branch);
    refuseExpiredLink(label);
    return label;
}

// The label a link names, as one row of GetExpedicao: what it is, where it goes, its dispatch and
// its receipt so far.
QVariant ServTranService::getRecebimento(const QVariantList &list)
{
    const Arguments args(QStringLiteral("GetRecebimento"), list, 1);
    const LabelKey label = linkedLabel(args.text(0, "link", kMaxLinkArgument));
    labelOwner(m_db, label, QStringLiteral("Link de etiqueta inválido."));   // signed once, deleted since
    return protocol::resultOk(containersPacket({label.branch, label.service, label.date}, &label));
}

// Records a container's receipt: the label's first entry, or with a reason a correction after it,
// never overwriting. Each entry is a change of the row in the history of changes, its receipt value
// ("RECEBIMENTO <label>") going from the last temperature to the new one, with who received it.
QVariant ServTranService::setRecebimento(const QVariantList &list)
{
    const Arguments args(QStringLiteral("SetRecebimento"), list, 5);
    const QString token = args.text(0, "link", kMaxLinkArgument);
    const double celsius = args.number(1, "temperatura");
    const QString receiver = args.text(2, "recebedor", 4 * kMaxReceiver).trimmed();
    const QString reason = args.text(3, "motivo", kMaxReason).trimmed();
    const QString phone = args.text(4, "endereco", kMaxAddress).trimmed();
    const LabelKey key = linkedLabel(token);
    const double stored = storedCelsius(celsius);
    if (receiver.isEmpty())
        throw Refusal(QStringLiteral("Informe o nome de quem recebe."));
    if (receiver.size() > kMaxReceiver)
        throw Refusal(QStringLiteral("O nome de quem recebe deve ter no máximo %1 caracteres.").arg(kMaxReceiver));

    Transaction transaction(m_db);
    const LabelOwner owner = labelOwner(m_db, key, QStringLiteral("Link de etiqueta inválido."));
    Query entries(m_db, QStringLiteral("SELECT NRSEQRECEB, VRTEMPERATURA, NMRECEBEDOR, DTHRRECEBIMENTO FROM RECESERVTRAN "
                                       "WHERE ") + labelCondition() + QStringLiteral(" ORDER BY NRSEQRECEB"));
    bindLabel(entries, key);
    entries.exec();
    int count = 0;
    double before = 0;   // the last entry's
    QString receivedBy;
    QDateTime arrived;   // the first entry's
    while (entries.next()) {
        count = int(entries.count(0));
        before = entries.value(1).toDouble();
        receivedBy = entries.text(2);
        if (!arrived.isValid())
            arrived = m_db.dateTimeFromSql(entries.value(3)).toLocalTime();
    }
    const bool received = count > 0;
    if (received && reason.isEmpty())
        throw Refusal(QStringLiteral("A etiqueta %1 já foi recebida a %2 por %3 às %4; para corrigir, informe o motivo.")
                          .arg(key.label, celsiusText(before), receivedBy, arrived.toString(QStringLiteral("HH:mm"))));
    if (!received && !reason.isEmpty())
        throw Refusal(QStringLiteral("A etiqueta %1 ainda não foi recebida; não há o que corrigir.").arg(key.label));

    Query insert(m_db, QStringLiteral(
        "INSERT INTO RECESERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, NRSEQUETIQTR, NRSEQRECEB, "
        "VRTEMPERATURA, NMRECEBEDOR, DTHRRECEBIMENTO, CDOPERADOR, DSENDERECO, DSMOTIVO) VALUES (:CDFILIAL, :CDSERVFILI, "
        ":DTSERVTRAN, :CDDIETPADST, :NRSERVTRAN, :NRSEQUETIQTR, :NRSEQRECEB, :VRTEMPERATURA, :NMRECEBEDOR, "
        ":DTHRRECEBIMENTO, :CDOPERADOR, :DSENDERECO, :DSMOTIVO)"));
    bindLabel(insert, key);
    insert.bind(QStringLiteral("NRSEQRECEB"), count + 1)
        .bind(QStringLiteral("VRTEMPERATURA"), stored)
        .bind(QStringLiteral("NMRECEBEDOR"), receiver)
        .bind(QStringLiteral("DTHRRECEBIMENTO"), m_db.toSql(QDateTime::currentDateTimeUtc()))
        .bind(QStringLiteral("CDOPERADOR"), context().operatorCode)
        // the phone's address as the web front saw it; a caller that gives none is the one
        .bind(QStringLiteral("DSENDERECO"), phone.isEmpty() ? context().peerAddress.left(kMaxAddress) : phone)
        .bind(QStringLiteral("DSMOTIVO"), reason.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(reason));
    insert.exec();

    const QString column = QStringLiteral("RECEBIMENTO ") + key.label;
    QJsonObject was, is;
    if (received) {
        was.insert(column, before);
        was.insert(QStringLiteral("RECEBEDOR"), receivedBy);
    }
    is.insert(column, stored);
    is.insert(QStringLiteral("RECEBEDOR"), receiver);
    if (!reason.isEmpty())
        is.insert(QStringLiteral("MOTIVO"), reason);
    recordLabelChange(m_db, context(), QStringLiteral("SetRecebimento"), key, owner, was, is);
    transaction.commit();
    return protocol::resultOk(true);
}

} // namespace server

#include "labelentries.h"

#include "callcontext.h"
#include "database.h"

#include <QJsonDocument>
#include <cmath>

namespace server {

const QString &labelCondition()
{
    static const QString condition = QStringLiteral(
        "CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI AND DTSERVTRAN = :DTSERVTRAN "
        "AND CDDIETPADST = :CDDIETPADST AND NRSERVTRAN = :NRSERVTRAN AND NRSEQUETIQTR = :NRSEQUETIQTR");
    return condition;
}

void bindLabel(Query &query, const LabelKey &key)
{
    query.bind(QStringLiteral("CDFILIAL"), key.branch)
        .bind(QStringLiteral("CDSERVFILI"), key.service)
        .bindDate(QStringLiteral("DTSERVTRAN"), key.date)
        .bind(QStringLiteral("CDDIETPADST"), key.diet)
        .bind(QStringLiteral("NRSERVTRAN"), key.number)
        .bind(QStringLiteral("NRSEQUETIQTR"), key.label);
}

double storedCelsius(double celsius)
{
    if (!std::isfinite(celsius) || celsius < kMinCelsius || celsius > kMaxCelsius)
        throw Refusal(QStringLiteral("A temperatura deve estar entre %1 e %2.")
                          .arg(celsiusText(kMinCelsius), celsiusText(kMaxCelsius)));
    return std::round(celsius * 10) / 10;
}

LabelOwner labelOwner(Database &db, const LabelKey &key, const QString &missing)
{
    Query label(db, QStringLiteral("SELECT CDCLIENTE, CDDESTFILI, CDPRATO, CDFILAUXPRAT FROM ETIQSERVTRAN WHERE ")
                        + labelCondition());
    bindLabel(label, key);
    label.exec();
    if (!label.next())
        throw Refusal(missing);
    return {label.text(0), label.text(1), label.text(2), label.text(3)};
}

void recordLabelChange(Database &db, const CallContext &context, const QString &method, const LabelKey &key,
                       const LabelOwner &owner, const QJsonObject &before, const QJsonObject &after)
{
    const auto json = [](const QJsonObject &o) {
        return o.isEmpty() ? QVariant(QMetaType::fromType<QString>())
                           : QVariant(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
    };
    Query history(db, QStringLiteral(
        "INSERT INTO HISTSERVTRAN (DTHRALTERACAO, CDOPERADOR, DSENDERECO, NMMETODO, IDALTERACAO, CDFILIAL, CDSERVFILI, "
        "DTSERVTRAN, CDDIETPADST, NRSERVTRAN, CDCLIENTE, CDDESTFILI, CDPRATO, CDFILAUXPRAT, DSANTES, DSDEPOIS) VALUES "
        "(:DTHRALTERACAO, :CDOPERADOR, :DSENDERECO, :NMMETODO, 'A', :CDFILIAL, :CDSERVFILI, :DTSERVTRAN, "
        ":CDDIETPADST, :NRSERVTRAN, :CDCLIENTE, :CDDESTFILI, :CDPRATO, :CDFILAUXPRAT, :DSANTES, :DSDEPOIS)"));
    history.bind(QStringLiteral("DTHRALTERACAO"), db.toSql(QDateTime::currentDateTimeUtc()))
        .bind(QStringLiteral("CDOPERADOR"), context.operatorCode)
        .bind(QStringLiteral("DSENDERECO"), context.peerAddress.left(64))
        .bind(QStringLiteral("NMMETODO"), method)
        .bind(QStringLiteral("CDFILIAL"), key.branch)
        .bind(QStringLiteral("CDSERVFILI"), key.service)
        .bindDate(QStringLiteral("DTSERVTRAN"), key.date)
        .bind(QStringLiteral("CDDIETPADST"), key.diet)
        .bind(QStringLiteral("NRSERVTRAN"), key.number)
        .bind(QStringLiteral("CDCLIENTE"), owner.client)
        .bind(QStringLiteral("CDDESTFILI"), owner.point)
        .bind(QStringLiteral("CDPRATO"), owner.dish)
        .bind(QStringLiteral("CDFILAUXPRAT"), owner.dishOwner)
        .bind(QStringLiteral("DSANTES"), json(before))
        .bind(QStringLiteral("DSDEPOIS"), json(after));
    history.exec();
}

} // namespace server

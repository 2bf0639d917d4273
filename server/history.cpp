#include "history.h"

#include "arguments.h"
#include "callcontext.h"
#include "database.h"
#include "packets.h"
#include "service.h"

#include <protocol/remoteresult.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>

namespace server {

namespace {

using protocol::FieldKind;

// The row key: the first five columns of a dish row's primary key, as columns() orders them.
const QStringList kKeyColumns = {QStringLiteral("CDFILIAL"), QStringLiteral("CDSERVFILI"),
                                 QStringLiteral("DTSERVTRAN"), QStringLiteral("CDDIETPADST"),
                                 QStringLiteral("NRSERVTRAN")};

// What a history row names of its dish row: the key, then the client, point and dish.
const QStringList &identityColumns()
{
    static const QStringList list = kKeyColumns + QStringList{QStringLiteral("CDCLIENTE"), QStringLiteral("CDDESTFILI"),
                                                              QStringLiteral("CDPRATO"), QStringLiteral("CDFILAUXPRAT")};
    return list;
}

QJsonValue jsonOf(const QVariant &value, FieldKind kind)
{
    if (value.isNull())
        return QJsonValue::Null;
    return kind == FieldKind::Float ? QJsonValue(value.toDouble()) : QJsonValue(value.toString());
}

// The columns of a dish row with their kinds, the key first.
const QList<protocol::PacketField> &rowColumns()
{
    static const QList<protocol::PacketField> list = [] {
        QList<protocol::PacketField> columns;
        for (const QString &key : kKeyColumns)
            for (const protocol::PacketField &f : fields::servTran())
                if (f.name == key)
                    columns << f;
        for (const protocol::PacketField &f : fields::servTran())
            if (!kKeyColumns.contains(f.name))
                columns << f;
        return columns;
    }();
    return list;
}

} // namespace

const QStringList &ChangeHistory::columns()
{
    static const QStringList list = [] {
        QStringList names;
        for (const protocol::PacketField &f : rowColumns())
            names << f.name;
        return names;
    }();
    return list;
}

ChangeHistory::ChangeHistory(Database &db, const CallContext &caller, QString method)
    : m_db(db), m_caller(caller), m_method(std::move(method))
{
}

void ChangeHistory::readBefore(const QString &condition, const Binder &bind) { read(condition, bind, m_before, m_order); }

void ChangeHistory::readAfter(const QString &condition, const Binder &bind) { read(condition, bind, m_after, m_order); }

// Values are kept as the history writes them: numbers as doubles, texts as texts, the day as ISO
// text, so that a row read twice compares equal whatever the driver returned.
void ChangeHistory::read(const QString &condition, const Binder &bind, QHash<QString, Values> &into,
                         QList<QString> &order)
{
    Query query(m_db, QStringLiteral("SELECT %1 FROM SERVTRAN WHERE %2").arg(columns().join(QStringLiteral(", ")), condition));
    bind(query);
    query.exec();
    while (query.next()) {
        Values values;
        values.reserve(columns().size());
        for (int i = 0; i < columns().size(); ++i) {
            const QVariant v = query.value(i);
            if (v.isNull())
                values << QVariant();
            else if (columns()[i] == QLatin1String("DTSERVTRAN"))
                values << m_db.dateFromSql(v).toString(Qt::ISODate);
            else if (rowColumns()[i].kind == FieldKind::Float)
                values << v.toDouble();
            else
                values << v.toString();
        }
        QStringList keyParts;
        for (int i = 0; i < kKeyColumns.size(); ++i)
            keyParts << values[i].toString();
        const QString key = keyParts.join(QChar(0x1f));
        if (!m_before.contains(key) && !m_after.contains(key))
            order << key;
        into.insert(key, values);
    }
}

void ChangeHistory::write()
{
    std::optional<Query> insert;   // prepared once, when the first changed row comes
    for (const QString &key : std::as_const(m_order)) {
        const auto before = m_before.constFind(key);
        const auto after = m_after.constFind(key);
        const bool wasThere = before != m_before.cend();
        const bool isThere = after != m_after.cend();
        QJsonObject was, is;
        for (int i = 0; i < columns().size(); ++i) {
            const FieldKind kind = rowColumns()[i].kind;
            const QVariant old = wasThere ? before->at(i) : QVariant();
            const QVariant now = isThere ? after->at(i) : QVariant();
            if (wasThere && isThere && old == now)
                continue;
            if (wasThere && (isThere || !old.isNull()))
                was.insert(columns()[i], jsonOf(old, kind));
            if (isThere && (wasThere || !now.isNull()))
                is.insert(columns()[i], jsonOf(now, kind));
        }
        if (wasThere && isThere && was.isEmpty())
            continue;   // read again, unchanged
        if (!insert)
            insert.emplace(prepareInsert());
        const QChar kind = !wasThere ? QLatin1Char('I') : !isThere ? QLatin1Char('E') : QLatin1Char('A');
        const auto text = [](const QJsonObject &o) {
            return o.isEmpty() ? QVariant(QMetaType::fromType<QString>())
                               : QVariant(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
        };
        insert->bind(QStringLiteral("IDALTERACAO"), QString(kind))
            .bind(QStringLiteral("DSANTES"), text(was))
            .bind(QStringLiteral("DSDEPOIS"), text(is));
        const Values &row = isThere ? *after : *before;
        for (const QString &c : identityColumns()) {
            const QVariant &v = row[columns().indexOf(c)];
            insert->bind(c, c == QLatin1String("DTSERVTRAN") ? m_db.toSql(QDate::fromString(v.toString(), Qt::ISODate)) : v);
        }
        insert->exec();
    }
    m_before.clear();
    m_after.clear();
    m_order.clear();
}

// The history's insert with who, when, from where and how bound: the same for every row of a write.
Query ChangeHistory::prepareInsert()
{
    QStringList placeholders;
    for (const QString &c : identityColumns())
        placeholders << QLatin1Char(':') + c;
    Query query(m_db, QStringLiteral(
        "INSERT INTO HISTSERVTRAN (DTHRALTERACAO, CDOPERADOR, DSENDERECO, NMMETODO, IDALTERACAO, %1, DSANTES, DSDEPOIS) "
        "VALUES (:DTHRALTERACAO, :CDOPERADOR, :DSENDERECO, :NMMETODO, :IDALTERACAO, %2, :DSANTES, :DSDEPOIS)")
                          .arg(identityColumns().join(QStringLiteral(", ")), placeholders.join(QStringLiteral(", "))));
    query.bind(QStringLiteral("DTHRALTERACAO"), m_db.toSql(QDateTime::currentDateTimeUtc()))
        .bind(QStringLiteral("CDOPERADOR"), m_caller.operatorCode)
        .bind(QStringLiteral("DSENDERECO"), m_caller.peerAddress.left(64))
        .bind(QStringLiteral("NMMETODO"), m_method);
    return query;
}

// ---- Reading the history ----------------------------------------------------------------------

// The history of a day, oldest first, with the names of the operator, client, point and dish as
// they are now. The moments go out as the server's wall-clock time, like every date of a packet.
QVariant ServTranService::getHistorico(const QVariantList &list)
{
    const Day day = dayArguments(Arguments(QStringLiteral("GetHistorico"), list, 3));
    Query query(m_db, QStringLiteral(
        "SELECT H.DTHRALTERACAO, H.CDOPERADOR, O.NMOPERADOR, H.DSENDERECO, H.NMMETODO, H.IDALTERACAO, "
        "       H.CDDIETPADST, H.NRSERVTRAN, H.CDCLIENTE, C.NMRAZSOCCLIE, H.CDDESTFILI, D.NMDESTFILI, "
        "       H.CDPRATO, P.NMPRATO, H.DSANTES, H.DSDEPOIS "
        "FROM HISTSERVTRAN H "
        "LEFT JOIN OPERADOR O ON O.CDOPERADOR = H.CDOPERADOR "
        "LEFT JOIN CLIENTE C ON C.CDCLIENTE = H.CDCLIENTE "
        "LEFT JOIN DESTFILI D ON D.CDFILIAL = H.CDFILIAL AND D.CDDESTFILI = H.CDDESTFILI "
        "LEFT JOIN PRATO P ON P.CDPRATO = H.CDPRATO AND P.CDFILAUXPRAT = H.CDFILAUXPRAT "
        "WHERE H.CDFILIAL = :CDFILIAL AND H.CDSERVFILI = :CDSERVFILI AND H.DTSERVTRAN = :DTSERVTRAN "
        "ORDER BY H.NRHISTSERVTRAN"));
    query.bind(QStringLiteral("CDFILIAL"), day.branch)
        .bind(QStringLiteral("CDSERVFILI"), day.service)
        .bindDate(QStringLiteral("DTSERVTRAN"), day.date);
    query.exec();
    const QList<protocol::PacketField> &f = fields::historico();
    protocol::PacketWriter packet(f);
    while (query.next()) {
        packet.startRow();
        packet.appendDateTime(protocol::wallClock(m_db.dateTimeFromSql(query.value(0)).toLocalTime()));
        for (int i = 1; i < f.size(); ++i) {
            const QVariant v = query.value(i);
            if (v.isNull())
                packet.appendNull();
            else
                packet.appendText(v.toString().left(f[i].size));
        }
        packet.endRow();
    }
    return protocol::resultOk(packetValue(packet.finish()));
}

} // namespace server

// Saving a change log of dish rows, and deleting a delivery point's or a dish's rows.

#include "arguments.h"
#include <rules/containercalc.h>
#include "database.h"
#include "history.h"
#include "packets.h"
#include "service.h"

#include <protocol/remoteresult.h>

#include <cmath>

namespace server {

namespace {

using protocol::FieldKind;
using protocol::PacketContent;
using protocol::PacketRow;
using protocol::RowChange;

const QString kChangedByOther = QStringLiteral("O serviço transportado foi alterado ou excluído por outro usuário.");

// The row key, then the client, point and dish: what identifies a row and what its labels refer to.
const QStringList &identityColumns()
{
    static const QStringList columns = {
        QStringLiteral("CDFILIAL"),  QStringLiteral("CDSERVFILI"), QStringLiteral("DTSERVTRAN"),
        QStringLiteral("CDDIETPADST"), QStringLiteral("NRSERVTRAN"), QStringLiteral("CDCLIENTE"),
        QStringLiteral("CDDESTFILI"), QStringLiteral("CDPRATO"),   QStringLiteral("CDFILAUXPRAT")};
    return columns;
}
constexpr int kKeyColumns = 5;   // the first five of identityColumns()

// A change log of dish rows, checked against the columns of SERVTRAN.
class DishDelta {
public:
    DishDelta(const Database &db, const PacketContent &content) : m_db(db), m_content(content)
    {
        if (!content.delta)
            throw Fault(QStringLiteral("SetServTran espera o log de alterações (delta) de cdsServTran."));
        for (const protocol::PacketField &f : content.fields) {
            const int known = protocolIndex(f.name);
            if (known < 0)
                throw Fault(QStringLiteral("SetServTran: o campo %1 não é um campo de cdsServTran.").arg(f.name));
            if (fields::servTran()[known].kind != f.kind)
                throw Fault(QStringLiteral("SetServTran: o campo %1 deveria ser do tipo %2.")
                                .arg(f.name, protocol::fieldKindName(fields::servTran()[known].kind)));
        }
        for (const QString &column : identityColumns())
            if (content.fieldIndex(column) < 0)
                throw Fault(QStringLiteral("SetServTran: falta o campo %1 no log de alterações.").arg(column));
        for (const PacketRow &row : content.rows) {
            checkValues(row.values);
            if (row.change != RowChange::Inserted)
                checkValues(row.original);
        }
    }

    const QList<protocol::PacketField> &fields() const { return m_content.fields; }

    // A value as it is bound: a day as the database keeps it, a number or text as it is.
    QVariant sqlValue(const QList<QVariant> &values, int field) const
    {
        const QVariant &v = values[field];
        switch (m_content.fields[field].kind) {
        case FieldKind::DateTime:
            return v.isNull() ? m_db.toSql(QDate()) : m_db.toSql(v.toDateTime().date());
        case FieldKind::Float:
            return v.isNull() ? QVariant(QMetaType::fromType<double>()) : v;
        case FieldKind::String:
            return v.isNull() ? QVariant(QMetaType::fromType<QString>()) : v;
        }
        return v;
    }
    QVariant sqlValue(const QList<QVariant> &values, const QString &column) const
    {
        return sqlValue(values, m_content.fieldIndex(column));
    }

    // A row to store must name its key, client, point and dish.
    void checkIdentity(const QList<QVariant> &values) const
    {
        for (const QString &column : identityColumns()) {
            const QVariant &v = values[m_content.fieldIndex(column)];
            if (v.isNull() || v.toString().trimmed().isEmpty())
                throw Refusal(QStringLiteral("O serviço transportado não tem %1 informado.").arg(column));
        }
    }

private:
    static int protocolIndex(const QString &name)
    {
        const auto &known = fields::servTran();
        for (int i = 0; i < known.size(); ++i)
            if (known[i].name == name)
                return i;
        return -1;
    }

    void checkValues(const QList<QVariant> &values) const
    {
        for (int i = 0; i < values.size(); ++i) {
            const QVariant &v = values[i];
            if (v.isNull())
                continue;
            const protocol::PacketField &column = fields::servTran()[protocolIndex(m_content.fields[i].name)];
            if (column.kind == FieldKind::String && v.toString().size() > column.size)
                throw Fault(QStringLiteral("SetServTran: o valor de %1 tem mais de %2 caracteres.")
                                .arg(column.name)
                                .arg(column.size));
            if (column.kind == FieldKind::Float && !std::isfinite(v.toDouble()))
                throw Fault(QStringLiteral("SetServTran: o valor de %1 não é um número válido.").arg(column.name));
            if (column.kind == FieldKind::Float)
                refuseImplausible(column.name, v.toDouble());
            if (column.kind == FieldKind::DateTime && (v.toDateTime().date().year() < 1900 || v.toDateTime().date().year() > 9999))
                throw Fault(QStringLiteral("SetServTran: a data de %1 está fora do intervalo aceito.").arg(column.name));
        }
    }

    // The inputs of a row's figures within what a kitchen can mean, as the screen refuses them.
    static void refuseImplausible(const QString &column, double value)
    {
        rules::calc::RowInputs in;
        in.container = 1;
        if (column == QLatin1String("QTCOMESTIST"))
            in.diners = value;
        else if (column == QLatin1String("QTPADRAOST"))
            in.perPerson = value;
        else if (column == QLatin1String("QTCONTAIST"))
            in.container = value;
        else if (column == QLatin1String("QTAMOSTRAST"))
            in.sample = value;
        else
            return;
        if (const QString message = rules::calc::implausibleInput(in); !message.isEmpty())
            throw Refusal(message);
    }

    const Database &m_db;
    const PacketContent &m_content;
};

QString identityCondition(const QString &prefix, int count = int(identityColumns().size()))
{
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << identityColumns()[i] + QStringLiteral(" = :") + prefix + identityColumns()[i];
    return parts.join(QStringLiteral(" AND "));
}

void bindIdentity(Query &query, const DishDelta &delta, const QList<QVariant> &values, const QString &prefix,
                  int count = int(identityColumns().size()))
{
    for (int i = 0; i < count; ++i)
        query.bind(prefix + identityColumns()[i], delta.sqlValue(values, identityColumns()[i]));
}

QString duplicateMessage(const QString &number)
{
    return QStringLiteral("Já existe o serviço transportado número %1 neste dia; grave novamente.").arg(number);
}

// The key columns of a row as they are bound.
QList<QVariant> keyValues(const DishDelta &delta, const QList<QVariant> &values)
{
    QList<QVariant> key;
    for (int i = 0; i < kKeyColumns; ++i)
        key << delta.sqlValue(values, identityColumns()[i]);
    return key;
}

bool keyExists(Database &db, const DishDelta &delta, const QList<QVariant> &values)
{
    Query query(db, QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE ") + identityCondition(QStringLiteral("K_"), kKeyColumns));
    bindIdentity(query, delta, values, QStringLiteral("K_"), kKeyColumns);
    query.exec();
    return query.next() && query.count(0) > 0;
}

// ON CONFLICT DO NOTHING rather than a failed insert: in PostgreSQL a failed statement spoils the
// whole transaction, and two servers may race for the same number between check and insert.
void insertRow(Database &db, ChangeHistory &history, const DishDelta &delta, const PacketRow &row)
{
    delta.checkIdentity(row.values);
    QStringList columns, values;
    for (const protocol::PacketField &f : delta.fields()) {
        columns << f.name;
        values << QLatin1Char(':') + f.name;
    }
    Query insert(db, QStringLiteral("INSERT INTO SERVTRAN (%1) VALUES (%2) ON CONFLICT DO NOTHING")
                         .arg(columns.join(QStringLiteral(", ")), values.join(QStringLiteral(", "))));
    for (int i = 0; i < delta.fields().size(); ++i)
        insert.bind(delta.fields()[i].name, delta.sqlValue(row.values, i));
    if (history.runInsert(insert) != 1)
        throw Refusal(duplicateMessage(delta.sqlValue(row.values, QStringLiteral("NRSERVTRAN")).toString()));
}

// A modified row is found by its original key, client, point and dish; when another user changed
// or removed it meanwhile, nothing matches and the whole change log is refused.
void updateRow(Database &db, ChangeHistory &history, const DishDelta &delta, const PacketRow &row)
{
    delta.checkIdentity(row.values);
    bool renumbered = false;
    for (int i = 0; i < kKeyColumns; ++i) {
        const QString &column = identityColumns()[i];
        renumbered = renumbered || delta.sqlValue(row.values, column) != delta.sqlValue(row.original, column);
    }
    if (renumbered && keyExists(db, delta, row.values))
        throw Refusal(duplicateMessage(delta.sqlValue(row.values, QStringLiteral("NRSERVTRAN")).toString()));
    QStringList assignments;
    for (const protocol::PacketField &f : delta.fields())
        assignments << f.name + QStringLiteral(" = :N_") + f.name;
    Query update(db, QStringLiteral("UPDATE SERVTRAN SET %1 WHERE %2%3")
                         .arg(assignments.join(QStringLiteral(", ")), identityCondition(QStringLiteral("O_")),
                              history.returning()));
    for (int i = 0; i < delta.fields().size(); ++i)
        update.bind(QStringLiteral("N_") + delta.fields()[i].name, delta.sqlValue(row.values, i));
    bindIdentity(update, delta, row.original, QStringLiteral("O_"));
    if (history.run(update, keyValues(delta, row.original)) != 1)
        throw Refusal(kChangedByOther);
}

// A deleted row that is already gone is what the caller wanted (the screen deletes a dish with
// DeletePrato first and then sends the deletion in its change log). Only a row that now holds
// another client, point or dish under the same number is refused.
void deleteRow(Database &db, ChangeHistory &history, const DishDelta &delta, const PacketRow &row)
{
    Query remove(db, QStringLiteral("DELETE FROM SERVTRAN WHERE ") + identityCondition(QStringLiteral("O_")));
    bindIdentity(remove, delta, row.original, QStringLiteral("O_"));
    remove.exec();
    if (remove.rowsAffected() == 0 && keyExists(db, delta, row.original))
        throw Refusal(kChangedByOther);
    history.deleted(keyValues(delta, row.original));
}

} // namespace

// Applies a change log of cdsServTran: all of it in one transaction, or nothing.
QVariant ServTranService::setServTran(const QVariantList &list)
{
    const Arguments args(QStringLiteral("SetServTran"), list, 1);
    // no more fields than cdsServTran has (a duplicate is refused anyway), no more rows than a day
    const PacketContent content = protocol::decodePacket(
        args.packet(0, "delta"), {fields::servTran().size(), kMaxChangeLogRows});
    const DishDelta delta(m_db, content);
    // every branch the log touches, as it is now and as it was loaded, before anything is written
    const int branchField = content.fieldIndex(QStringLiteral("CDFILIAL"));
    for (const PacketRow &row : content.rows) {
        allowBranch(row.values[branchField].toString());
        if (row.change != RowChange::Inserted)
            allowBranch(row.original[branchField].toString());
    }

    Transaction transaction(m_db);
    ChangeHistory history(m_db, context(), QStringLiteral("SetServTran"));
    for (const PacketRow &row : content.rows) {
        if (row.change == RowChange::Modified || row.change == RowChange::Deleted)
            history.readBefore(identityCondition(QStringLiteral("H_")), [&](Query &query) {
                bindIdentity(query, delta, row.original, QStringLiteral("H_"));
            });
    }
    for (const PacketRow &row : content.rows) {
        switch (row.change) {
        case RowChange::Inserted:
            insertRow(m_db, history, delta, row);
            break;
        case RowChange::Modified:
            updateRow(m_db, history, delta, row);
            break;
        case RowChange::Deleted:
            deleteRow(m_db, history, delta, row);   // its labels go with it (ON DELETE CASCADE)
            break;
        case RowChange::Unchanged:
            break;
        }
    }
    // (the rows after the write are what the inserts bound and what the updates returned)
    history.write();
    transaction.commit();
    return QString();
}

// Deletes every dish row of a delivery point that day, with their labels; answers the day's
// points and dishes as they are now.
QVariant ServTranService::delServTran(const QVariantList &list)
{
    const Arguments args(QStringLiteral("DelServTran"), list, 5);
    const Day day = dayArguments(args);
    const QString point = args.text(3, "CDDESTFILI", 3);
    const QString client = args.text(4, "CDCLIENTE", 21);
    {
        Transaction transaction(m_db);
        const QString condition = QStringLiteral(
            "CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI "
            "AND DTSERVTRAN = :DTSERVTRAN AND CDDESTFILI = :CDDESTFILI AND CDCLIENTE = :CDCLIENTE");
        const auto bind = [&](Query &query) {
            query.bind(QStringLiteral("CDFILIAL"), day.branch)
                .bind(QStringLiteral("CDSERVFILI"), day.service)
                .bindDate(QStringLiteral("DTSERVTRAN"), day.date)
                .bind(QStringLiteral("CDDESTFILI"), point)
                .bind(QStringLiteral("CDCLIENTE"), client);
        };
        ChangeHistory history(m_db, context(), QStringLiteral("DelServTran"));
        history.readBefore(condition, bind);
        Query remove(m_db, QStringLiteral("DELETE FROM SERVTRAN WHERE ") + condition);
        bind(remove);
        remove.exec();
        history.write();
        transaction.commit();
    }
    Transaction snapshot(m_db, Transaction::Read);
    const QVariantList packets = {pointsPacket(m_db, day), dishesPacket(m_db, day)};
    snapshot.commit();
    return protocol::resultOk(packets);
}

// Deletes a dish of a delivery point that day, in every diet, with its labels.
QVariant ServTranService::deletePrato(const QVariantList &list)
{
    const Arguments args(QStringLiteral("DeletePrato"), list, 7);
    allowBranch(args.text(2, "CDFILIAL", 4));
    const QString condition = QStringLiteral(
        "CDFILAUXPRAT = :CDFILAUXPRAT AND CDPRATO = :CDPRATO "
        "AND CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI AND CDDESTFILI = :CDDESTFILI "
        "AND CDCLIENTE = :CDCLIENTE AND DTSERVTRAN = :DTSERVTRAN");
    const auto bind = [&](Query &query) {
        query.bind(QStringLiteral("CDFILAUXPRAT"), args.text(0, "CDFILAUXPRAT", 4))
            .bind(QStringLiteral("CDPRATO"), args.text(1, "CDPRATO", 10))
            .bind(QStringLiteral("CDFILIAL"), args.text(2, "CDFILIAL", 4))
            .bind(QStringLiteral("CDSERVFILI"), args.text(3, "CDSERVFILI", 5))
            .bind(QStringLiteral("CDDESTFILI"), args.text(4, "CDDESTFILI", 3))
            .bind(QStringLiteral("CDCLIENTE"), args.text(5, "CDCLIENTE", 21))
            .bindDate(QStringLiteral("DTSERVTRAN"), args.date(6, "DTSERVTRAN"));
    };
    Transaction transaction(m_db);
    ChangeHistory history(m_db, context(), QStringLiteral("DeletePrato"));
    history.readBefore(condition, bind);
    Query remove(m_db, QStringLiteral("DELETE FROM SERVTRAN WHERE ") + condition);
    bind(remove);
    remove.exec();
    history.write();
    transaction.commit();
    return protocol::resultOk(true);
}

} // namespace server

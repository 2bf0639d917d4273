#include "adoibquery.h"

#include "dtmdbgeral.h"

#include <protocol/packet.h>
#include <toolkit/error.h>

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace framework {

namespace {

bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

// The ":NAME" placeholders of a text, in order of first appearance, as written. Quoted text and
// PostgreSQL's "::" casts are not placeholders.
QStringList placeholders(const QString &sql)
{
    QStringList names;
    bool quoted = false;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted || c != QLatin1Char(':'))
            continue;
        if (i + 1 < sql.size() && sql.at(i + 1) == QLatin1Char(':')) {
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < sql.size() && isNameChar(sql.at(end)))
            ++end;
        if (end == i + 1)
            continue;
        const QString name = sql.mid(i + 1, end - i - 1);
        bool seen = false;
        for (const QString &n : std::as_const(names))
            seen = seen || n.compare(name, Qt::CaseInsensitive) == 0;
        if (!seen)
            names.append(name);
        i = end - 1;
    }
    return names;
}

int columnOf(const QSqlRecord &record, const QString &name)
{
    // PostgreSQL folds unquoted names to lower case: match without regard to case.
    for (int i = 0; i < record.count(); ++i)
        if (record.fieldName(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

toolkit::FieldKind kindOf(const QSqlField &field)
{
    switch (field.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return toolkit::FieldKind::Float;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return toolkit::FieldKind::DateTime;
    default:
        return toolkit::FieldKind::String;
    }
}

} // namespace

TADOIBQuery::TADOIBQuery(QObject *parent, const QString &name) : toolkit::ClientDataSet(parent, name) {}

TADOIBQuery::~TADOIBQuery()
{
    qDeleteAll(m_params);
}

TADOIBStringField *TADOIBQuery::addStringField(const QString &name, int size)
{
    toolkit::Field *f = addField(name, toolkit::FieldKind::String, size);
    f->setReadOnly(true);
    return f;
}

toolkit::Field *TADOIBQuery::addFloatField(const QString &name)
{
    toolkit::Field *f = addField(name, toolkit::FieldKind::Float);
    f->setReadOnly(true);
    return f;
}

toolkit::Field *TADOIBQuery::addDateTimeField(const QString &name)
{
    toolkit::Field *f = addField(name, toolkit::FieldKind::DateTime);
    f->setReadOnly(true);
    return f;
}

QStringList TADOIBQuery::paramNames() const
{
    QStringList names;
    for (const QStringList *text : {&SQL, &SQL_ORACLE, &SQL_MSSQL, &SQL_IB}) {
        for (const QString &name : placeholders(text->join(QLatin1Char('\n')))) {
            bool seen = false;
            for (const QString &n : std::as_const(names))
                seen = seen || n.compare(name, Qt::CaseInsensitive) == 0;
            if (!seen)
                names.append(name);
        }
    }
    return names;
}

TADOIBParam *TADOIBQuery::ParamByName(const QString &name)
{
    for (TADOIBParam *p : std::as_const(m_params))
        if (p->name().compare(name, Qt::CaseInsensitive) == 0)
            return p;
    for (const QString &known : paramNames()) {
        if (known.compare(name, Qt::CaseInsensitive) == 0) {
            auto *p = new TADOIBParam(known);
            m_params.append(p);
            return p;
        }
    }
    throw toolkit::Error(QStringLiteral("Parâmetro %1 não encontrado na consulta %2.").arg(name, objectName()));
}

QString TADOIBQuery::sqlFor(const QSqlDatabase &db) const
{
    const QStringList *text = &SQL;
    switch (databaseKind(db)) {
    case DatabaseKind::Oracle:
        text = &SQL_ORACLE;
        break;
    case DatabaseKind::MsSql:
        text = &SQL_MSSQL;
        break;
    case DatabaseKind::InterBase:
        text = &SQL_IB;
        break;
    case DatabaseKind::Default:
        break;
    }
    // A variant left empty runs the default text.
    if (text->join(QString()).trimmed().isEmpty())
        text = &SQL;
    return text->join(QLatin1Char('\n'));
}

void TADOIBQuery::Open()
{
    if (active())
        return;
    QSqlDatabase db = m_connectionName.isEmpty() ? sharedDatabase() : QSqlDatabase::database(m_connectionName, false);
    if (!db.isOpen())
        throw toolkit::Error(QStringLiteral("A conexão com o banco de dados não está aberta."));
    const QString sql = sqlFor(db);
    if (sql.trimmed().isEmpty())
        throw toolkit::Error(QStringLiteral("A consulta %1 não tem SQL.").arg(objectName()));

    protocol::PacketContent content;
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.prepare(sql))
            throw toolkit::Error(query.lastError().text());
        for (const QString &name : placeholders(sql)) {
            TADOIBParam *param = nullptr;
            for (TADOIBParam *p : std::as_const(m_params))
                if (p->name().compare(name, Qt::CaseInsensitive) == 0)
                    param = p;
            if (!param || !param->isBound())
                throw toolkit::Error(QStringLiteral("Parâmetro %1 da consulta %2 sem valor.").arg(name, objectName()));
            QVariant value = param->value();
            // An empty text is a text, not NULL: the drivers bind a null QString as NULL.
            if (value.metaType().id() == QMetaType::QString && value.toString().isNull())
                value = QStringLiteral("");
            query.bindValue(QLatin1Char(':') + name, value);
        }
        if (!query.exec())
            throw toolkit::Error(query.lastError().text());

        const QSqlRecord record = query.record();
        if (fields().isEmpty()) {
            for (int i = 0; i < record.count(); ++i) {
                const QSqlField f = record.field(i);
                const toolkit::FieldKind kind = kindOf(f);
                const int size = kind == toolkit::FieldKind::String ? (f.length() > 0 ? f.length() : 255) : 0;
                addField(f.name().toUpper(), kind, size)->setReadOnly(true);
            }
        }
        QList<int> columns;
        for (toolkit::Field *f : fields()) {
            const int column = columnOf(record, f->fieldName());
            if (column < 0)
                throw toolkit::Error(QStringLiteral("Campo %1 não encontrado no resultado da consulta %2.")
                                         .arg(f->fieldName(), objectName()));
            columns.append(column);
            content.fields.append({f->fieldName(), f->kind(), f->kind() == toolkit::FieldKind::String ? f->size() : 0,
                                   f->required(), true});
        }
        while (query.next()) {
            protocol::PacketRow row;
            row.values.reserve(columns.size());
            for (qsizetype i = 0; i < columns.size(); ++i) {
                const QVariant v = query.value(columns.at(i));
                const toolkit::Field *f = fields().at(i);
                if (v.isNull()) {
                    row.values.append(QVariant());
                    continue;
                }
                switch (f->kind()) {
                case toolkit::FieldKind::String: {
                    QString text = v.toString();
                    if (f->size() > 0 && text.size() > f->size())
                        text.truncate(f->size());
                    row.values.append(text);
                    break;
                }
                case toolkit::FieldKind::Float:
                    row.values.append(v.toDouble());
                    break;
                case toolkit::FieldKind::DateTime:
                    row.values.append(v.metaType().id() == QMetaType::QDate ? protocol::wallClock(v.toDate())
                                                                            : protocol::wallClock(v.toDateTime()));
                    break;
                }
            }
            content.rows.append(row);
        }
        if (query.lastError().isValid())
            throw toolkit::Error(query.lastError().text());
    }
    setData(protocol::encodePacket(content));
}

} // namespace framework

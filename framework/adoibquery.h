#pragma once
// The read-only query component: SQL on the shared database connection (dtmDBGeral), whose rows
// are loaded into the persistent fields it declares, so that data sources, grids and lookups
// show it like any client dataset. It holds one SQL text per database kind; the one that runs
// is chosen by the driver of the connection.

#include "framework_export.h"

#include <toolkit/clientdataset.h>

#include <QSqlDatabase>
#include <QStringList>

namespace framework {

// A persistent field of a query (strings and the other kinds alike): the dataset's Field.
using TADOIBStringField = toolkit::Field;

class FRAMEWORK_EXPORT TADOIBParam {
public:
    explicit TADOIBParam(const QString &name) : m_name(name) {}
    const QString &name() const { return m_name; }
    void setAsString(const QString &value) { m_value = value; m_bound = true; }
    // Bound as its decimal text, so that it compares with a text column on every database.
    void setAsInteger(qint64 value) { setAsString(QString::number(value)); }
    void setValue(const QVariant &value) { m_value = value; m_bound = true; }
    void clear() { m_value = QVariant(); m_bound = true; }
    const QVariant &value() const { return m_value; }
    QString asString() const { return m_value.toString(); }
    bool isBound() const { return m_bound; }

private:
    QString m_name;
    QVariant m_value;
    bool m_bound = false;
};

class FRAMEWORK_EXPORT TADOIBQuery : public toolkit::ClientDataSet {
    Q_OBJECT
public:
    explicit TADOIBQuery(QObject *parent = nullptr, const QString &name = QString());
    ~TADOIBQuery() override;

    // The four texts, in lines: the default and the Oracle, MS SQL Server and InterBase variants.
    QStringList SQL;
    QStringList SQL_ORACLE;
    QStringList SQL_MSSQL;
    QStringList SQL_IB;

    // Persistent fields, read-only. A query without any takes the columns of its result.
    TADOIBStringField *addStringField(const QString &name, int size);
    toolkit::Field *addFloatField(const QString &name);
    toolkit::Field *addDateTimeField(const QString &name);

    // A parameter of the SQL (":NAME"), matched without regard to case. Naming a parameter that
    // none of the four texts has is a programming error: toolkit::Error.
    TADOIBParam *ParamByName(const QString &name);
    QStringList paramNames() const;

    // Runs the text for the connection's database kind with the parameters bound and loads the
    // rows (the dataset opens: after-open, after-scroll). Every parameter of that text must have
    // been set. Database errors travel as toolkit::Error with the driver's text.
    void Open();
    void Close() { close(); }
    bool Active() const { return active(); }
    toolkit::Field *FieldByName(const QString &name) const { return fieldByName(name); }
    void First() { first(); }
    void Next() { next(); }
    bool Eof() const { return eof(); }
    bool IsEmpty() const { return isEmpty(); }

    // The text that runs on `db`, as one string.
    QString sqlFor(const QSqlDatabase &db) const;
    // Another connection than the shared one (tools and tests); empty: the shared connection.
    void setConnectionName(const QString &name) { m_connectionName = name; }

private:
    QList<TADOIBParam *> m_params;
    QString m_connectionName;
};

} // namespace framework

using framework::TADOIBParam;
using framework::TADOIBQuery;
using framework::TADOIBStringField;

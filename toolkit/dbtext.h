#pragma once
// A label showing the display text of a field of a data source's current row.

#include "clientdataset.h"
#include "toolkit_export.h"

#include <QLabel>
#include <QPointer>

namespace toolkit {

class TOOLKIT_EXPORT DBText : public QLabel {
    Q_OBJECT
public:
    explicit DBText(QWidget *parent = nullptr, const QString &name = QString());

    DataSource *dataSource() const { return m_source; }
    void setDataSource(DataSource *source);
    const QString &dataField() const { return m_fieldName; }
    void setDataField(const QString &fieldName);

private:
    void rebind();
    void refresh();

    QPointer<DataSource> m_source;
    QString m_fieldName;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace toolkit

#pragma once
// First / prior / next / last buttons over a data source's dataset; a button that would not
// move (at the first or the last row, or with nothing to show) is disabled.

#include "clientdataset.h"
#include "toolkit_export.h"

#include <QPointer>
#include <QWidget>

class QToolButton;

namespace toolkit {

class TOOLKIT_EXPORT DBNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last };

    explicit DBNavigator(QWidget *parent = nullptr, const QString &name = QString());

    DataSource *dataSource() const { return m_source; }
    void setDataSource(DataSource *source);
    QToolButton *button(Button which) const { return m_buttons[which]; }
    // Runs the button's move (what a click does); refusals go to the application's error handling.
    void click(Button which);

private:
    void rebind();
    void refresh();

    QPointer<DataSource> m_source;
    QToolButton *m_buttons[4] = {};
    QList<QMetaObject::Connection> m_connections;
};

} // namespace toolkit

#include "dbnavigator.h"

#include "error.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

namespace toolkit {

DBNavigator::DBNavigator(QWidget *parent, const QString &name) : QWidget(parent)
{
    setObjectName(name);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    struct ButtonInfo {
        const char *name;
        const char *hint;
        QStyle::StandardPixmap icon;
    };
    const ButtonInfo buttons[4] = {
        {"btnFirst", "Primeiro", QStyle::SP_MediaSkipBackward},
        {"btnPrior", "Anterior", QStyle::SP_MediaSeekBackward},
        {"btnNext", "Próximo", QStyle::SP_MediaSeekForward},
        {"btnLast", "Último", QStyle::SP_MediaSkipForward},
    };
    for (int i = 0; i < 4; ++i) {
        auto *b = new QToolButton(this);
        b->setObjectName(QLatin1String(buttons[i].name));
        b->setToolTip(QString::fromUtf8(buttons[i].hint));
        b->setIcon(style()->standardIcon(buttons[i].icon));
        b->setFocusPolicy(Qt::TabFocus);
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, [this, i] { click(Button(i)); });
        layout->addWidget(b);
        m_buttons[i] = b;
    }
    refresh();
}

void DBNavigator::setDataSource(DataSource *source)
{
    if (m_source == source)
        return;
    m_source = source;
    rebind();
}

void DBNavigator::click(Button which)
{
    if (!m_source || !m_source->enabled() || !m_source->dataSet())
        return;
    ClientDataSet *ds = m_source->dataSet();
    guarded([ds, which] {
        switch (which) {
        case First: ds->first(); break;
        case Prior: ds->prior(); break;
        case Next: ds->next(); break;
        case Last: ds->last(); break;
        }
    });
    refresh();
}

void DBNavigator::rebind()
{
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    if (DataSource *s = m_source) {
        const auto update = [this] { refresh(); };
        m_connections << connect(s, &DataSource::dataSetChanged, this, update);
        m_connections << connect(s, &DataSource::currentChanged, this, update);
        m_connections << connect(s, &DataSource::layoutChanged, this, update);
        m_connections << connect(s, &DataSource::stateChanged, this, update);
    }
    refresh();
}

void DBNavigator::refresh()
{
    const ClientDataSet *ds = (m_source && m_source->enabled()) ? m_source->dataSet() : nullptr;
    const bool open = ds && ds->active() && ds->viewRowCount() > 0;
    const int at = open ? ds->viewCurrentRow() : -1;
    const int count = open ? ds->viewRowCount() : 0;
    m_buttons[First]->setEnabled(open && at > 0);
    m_buttons[Prior]->setEnabled(open && at > 0);
    m_buttons[Next]->setEnabled(open && at < count - 1);
    m_buttons[Last]->setEnabled(open && at < count - 1);
}

} // namespace toolkit

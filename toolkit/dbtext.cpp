#include "dbtext.h"

#include "error.h"

namespace toolkit {

DBText::DBText(QWidget *parent, const QString &name) : QLabel(parent)
{
    setObjectName(name);
    setTextFormat(Qt::PlainText);
}

void DBText::setDataSource(DataSource *source)
{
    if (m_source == source)
        return;
    m_source = source;
    rebind();
}

void DBText::setDataField(const QString &fieldName)
{
    m_fieldName = fieldName;
    refresh();
}

void DBText::rebind()
{
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    if (DataSource *s = m_source) {
        const auto update = [this] { refresh(); };
        m_connections << connect(s, &DataSource::dataSetChanged, this, update);
        // Cursor and layout news while the row is being edited come from a post, cancel or delete
        // under way: the state change that follows refreshes.
        const auto moved = [this] {
            if (!(m_source && m_source->dataSet() && m_source->dataSet()->isEditing()))
                refresh();
        };
        m_connections << connect(s, &DataSource::currentChanged, this, moved);
        m_connections << connect(s, &DataSource::layoutChanged, this, moved);
        m_connections << connect(s, &DataSource::stateChanged, this, update);
        m_connections << connect(s, &DataSource::fieldChanged, this, [this](Field *f) {
            if (!f || f->fieldName().compare(m_fieldName, Qt::CaseInsensitive) == 0)
                refresh();
        });
    }
    refresh();
}

void DBText::refresh()
{
    QString text;
    if (m_source && m_source->enabled() && m_source->dataSet())
        if (const Field *f = m_source->dataSet()->findField(m_fieldName))
            guarded([&] { text = f->displayText(); });
    setText(text);
}

} // namespace toolkit

// A dataset's controls: the data sources that relay its changes to them and to the screen's
// state-change handler, suspended notifications, and the editors whose typing a post writes first.

#include "clientdataset.h"

namespace toolkit {

void ClientDataSet::disableControls() { ++m_disableCount; }

void ClientDataSet::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount > 0)
        return;
    m_pendingLayout = false;
    emit layoutChanged();
    emit stateChanged();
    const auto sources = m_sources;
    for (const auto &source : sources)
        if (source)
            emit source->layoutChanged();
    for (const auto &source : sources)
        if (source)
            source->updateState();
}

void ClientDataSet::resync() { notifyLayout(); }

void ClientDataSet::notifyLayout()
{
    if (m_disableCount > 0) {
        m_pendingLayout = true;
        return;
    }
    emit layoutChanged();
    const auto sources = m_sources;   // a listener may attach or detach sources meanwhile
    for (const auto &source : sources)
        if (source)
            emit source->layoutChanged();
}

void ClientDataSet::notifyCurrent()
{
    if (m_disableCount > 0)
        return;
    emit currentChanged();
    const auto sources = m_sources;
    for (const auto &source : sources)
        if (source) {
            emit source->currentChanged();
            source->onDataChange(source.data(), nullptr);
        }
}

void ClientDataSet::notifyField(Field *field)
{
    if (m_disableCount > 0)
        return;
    emit fieldChanged(field);
    const auto sources = m_sources;
    for (const auto &source : sources)
        if (source) {
            emit source->fieldChanged(field);
            source->onDataChange(source.data(), field);
        }
}

void ClientDataSet::attach(DataSource *source)
{
    if (!m_sources.contains(source))
        m_sources.append(source);
}

void ClientDataSet::detach(DataSource *source)
{
    m_sources.removeAll(source);
}

void ClientDataSet::registerEditor(QObject *control, std::function<void()> commit)
{
    unregisterEditor(control);
    m_editors.append({QPointer<QObject>(control), std::move(commit)});
}

void ClientDataSet::unregisterEditor(QObject *control)
{
    m_editors.removeIf([control](const auto &e) { return e.first.isNull() || e.first.data() == control; });
}

void ClientDataSet::updateRecord()
{
    const auto editors = m_editors;
    for (const auto &e : editors)
        if (e.first && e.second)
            e.second();
}

DataSource::DataSource(QObject *parent, const QString &name) : QObject(parent)
{
    setObjectName(name);
}

DataSource::~DataSource()
{
    if (m_dataSet)
        m_dataSet->detach(this);
}

void DataSource::setDataSet(ClientDataSet *dataSet)
{
    if (m_dataSet == dataSet)
        return;
    if (m_dataSet)
        m_dataSet->detach(this);
    m_dataSet = dataSet;
    if (m_dataSet)
        m_dataSet->attach(this);
    m_lastState = state();
    emit dataSetChanged();
}

void DataSource::setEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    emit dataSetChanged();
    updateState();
}

DataSetState DataSource::state() const
{
    return (m_enabled && m_dataSet) ? m_dataSet->state() : DataSetState::Inactive;
}

void DataSource::updateState()
{
    const DataSetState now = state();
    if (now == m_lastState)
        return;
    m_lastState = now;
    emit stateChanged();
    onStateChange(this);
}

void DataSource::notifyStateChange()
{
    onStateChange(this);
}

} // namespace toolkit

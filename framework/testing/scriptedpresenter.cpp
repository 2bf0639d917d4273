#include "scriptedpresenter.h"

#include <toolkit/clientdataset.h>

namespace framework::testing {

ScriptedPresenter::ScriptedPresenter() : m_previous(setPresenter(this)) {}

ScriptedPresenter::~ScriptedPresenter()
{
    setPresenter(m_previous);
}

void ScriptedPresenter::record(const Shown &shown)
{
    m_log.append(shown);
    if (onShown)
        onShown(shown);
}

QList<Shown> ScriptedPresenter::entries(Shown::Kind kind) const
{
    QList<Shown> out;
    for (const Shown &s : m_log)
        if (s.kind == kind)
            out.append(s);
    return out;
}

QStringList ScriptedPresenter::texts(Shown::Kind kind) const
{
    QStringList out;
    for (const Shown &s : m_log)
        if (s.kind == kind)
            out.append(s.text);
    return out;
}

QStringList ScriptedPresenter::messages() const
{
    QStringList out;
    for (const Shown &s : m_log)
        if (s.kind == Shown::Error || s.kind == Shown::Information || s.kind == Shown::Confirmation)
            out.append(s.text);
    return out;
}

int ScriptedPresenter::busyShows() const
{
    return int(entries(Shown::BusyShow).size());
}

int ScriptedPresenter::busyHides() const
{
    return int(entries(Shown::BusyHide).size());
}

bool ScriptedPresenter::busyBalanced() const
{
    return !m_unbalanced && m_depth == 0;
}

void ScriptedPresenter::clear()
{
    m_log.clear();
    m_confirms.clear();
    m_lookups.clear();
    m_lastSelected.clear();
    m_lastRowCount = 0;
    m_depth = 0;
    m_unbalanced = false;
}

void ScriptedPresenter::error(const QString &text)
{
    record({Shown::Error, text, -1, DialogType::Error});
}

void ScriptedPresenter::information(const QString &text)
{
    record({Shown::Information, text, -1, DialogType::Information});
}

int ScriptedPresenter::confirm(const QString &text, DialogType type, MsgButtons, int)
{
    if (m_confirms.empty()) {
        record({Shown::Unexpected, QStringLiteral("confirmation: ") + text, -1, type});
        return mrCancel;
    }
    const int answer = m_confirms.front();
    m_confirms.pop_front();
    record({Shown::Confirmation, text, -1, type});
    return answer;
}

int ScriptedPresenter::answerRow(toolkit::ClientDataSet *dataSet, const QString &title, Shown::Kind kind)
{
    m_lastRowCount = dataSet ? dataSet->recordCount() : 0;
    if (m_lookups.empty()) {
        record({Shown::Unexpected, QStringLiteral("lookup: ") + title});
        return -1;
    }
    const LookupAnswer answer = m_lookups.front();
    m_lookups.pop_front();
    record({kind, title});
    switch (answer.kind) {
    case LookupAnswer::Row:
        return answer.row < m_lastRowCount ? answer.row : -1;
    case LookupAnswer::Match: {
        const toolkit::Field *field = dataSet->findField(answer.field);
        if (!field)
            return -1;
        for (int r = 0; r < m_lastRowCount; ++r)
            if (dataSet->valueAt(r, field->index()).toString() == answer.value.toString())
                return r;
        return -1;
    }
    case LookupAnswer::Keys:
    case LookupAnswer::Cancel:
        break;
    }
    return -1;
}

int ScriptedPresenter::pick(toolkit::ClientDataSet *dataSet, const QString &title)
{
    return answerRow(dataSet, title, Shown::Pick);
}

int ScriptedPresenter::search(toolkit::ClientDataSet *dataSet, const QString &title)
{
    return answerRow(dataSet, title, Shown::Search);
}

std::optional<QStringList> ScriptedPresenter::pickList(toolkit::ClientDataSet *dataSet, const QString &keyField,
                                                       const QString &title, const QStringList &selected)
{
    m_lastSelected = selected;
    m_lastRowCount = dataSet ? dataSet->recordCount() : 0;
    if (m_lookups.empty()) {
        record({Shown::Unexpected, QStringLiteral("list lookup: ") + title});
        return std::nullopt;
    }
    const LookupAnswer answer = m_lookups.front();
    m_lookups.pop_front();
    record({Shown::PickList, title});
    if (answer.kind != LookupAnswer::Keys)
        return std::nullopt;
    // Only keys the dataset offers can be ticked, in the dataset's order.
    const toolkit::Field *key = dataSet->fieldByName(keyField);
    QStringList chosen;
    for (int r = 0; r < m_lastRowCount; ++r) {
        const QString k = dataSet->valueAt(r, key->index()).toString();
        if (answer.keys.contains(k))
            chosen.append(k);
    }
    return chosen;
}

void ScriptedPresenter::showBusy(QWidget *, int kind)
{
    ++m_depth;
    record({Shown::BusyShow, QString(), kind});
}

void ScriptedPresenter::hideBusy()
{
    if (m_depth == 0)
        m_unbalanced = true;
    else
        --m_depth;
    record({Shown::BusyHide, QString()});
}

} // namespace framework::testing

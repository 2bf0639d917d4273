#include "messages.h"

#include <toolkit/error.h>

namespace framework {

TMessages::TMessages(QObject *parent, const QString &name) : QObject(parent)
{
    setObjectName(name);
}

void TMessages::addEntry(const QString &key, const QString &text)
{
    for (auto &entry : m_entries) {
        if (entry.first == key) {
            entry.second = text;
            return;
        }
    }
    m_entries.append({key, text});
}

bool TMessages::contains(const QString &key) const
{
    for (const auto &entry : m_entries)
        if (entry.first == key)
            return true;
    return false;
}

QString TMessages::Msg(const QString &key) const
{
    for (const auto &entry : m_entries)
        if (entry.first == key)
            return entry.second;
    throw toolkit::Error(QStringLiteral("Mensagem \"%1\" não cadastrada em %2.").arg(key, objectName()));
}

int TMessages::ShowMsg(const QString &key, DialogType type, MsgButtons buttons, int helpContext) const
{
    const QString text = Msg(key);
    if (!buttons || buttons == MsgButtons(MsgButton::OK)) {
        if (type == DialogType::Error || type == DialogType::Warning)
            presenter().error(text);
        else
            presenter().information(text);
        return mrOk;
    }
    return presenter().confirm(text, type, buttons, helpContext);
}

} // namespace framework

#pragma once
// A screen's message table: entries of a key and a text, filled by the screen, read by key.

#include "framework_export.h"
#include "presenter.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

namespace framework {

class FRAMEWORK_EXPORT TMessages : public QObject {
    Q_OBJECT
public:
    explicit TMessages(QObject *parent = nullptr, const QString &name = QString());

    // Adds an entry, or replaces the text of an entry with the same key.
    void addEntry(const QString &key, const QString &text);
    bool contains(const QString &key) const;
    const QList<QPair<QString, QString>> &entries() const { return m_entries; }

    // The text of the entry with that key (matched exactly, case included). An unknown key is a
    // programming error: toolkit::Error naming the key.
    QString Msg(const QString &key) const;
    // Shows the entry's text in a modal dialog through the presenter; the modal result.
    // Buttons OK alone make a plain message (error or information by the dialog type).
    int ShowMsg(const QString &key, DialogType type, MsgButtons buttons, int helpContext = 0) const;

private:
    QList<QPair<QString, QString>> m_entries;
};

} // namespace framework

using framework::TMessages;

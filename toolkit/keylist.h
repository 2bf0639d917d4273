#pragma once

#include "toolkit_export.h"

#include <QHash>
#include <QList>
#include <QString>

namespace toolkit {

// The host's key list: string keys with an integer value, found by hashing.
class TOOLKIT_EXPORT KeyList {
public:
    int Add(const QString &key, int value);   // the key's position
    int IndexOf(const QString &key) const;    // position, or -1 when absent
    int Count() const { return int(m_keys.size()); }
    void Clear();
    int value(int position) const { return m_values.at(position); }

private:
    QList<QString> m_keys;
    QList<int> m_values;
    QHash<QString, int> m_positions;
};

} // namespace toolkit

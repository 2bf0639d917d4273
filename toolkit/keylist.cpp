#include "keylist.h"

namespace toolkit {

int KeyList::Add(const QString &key, int value)
{
    const int position = int(m_keys.size());
    m_keys.append(key);
    m_values.append(value);
    if (!m_positions.contains(key))   // a repeated key is found at its first position
        m_positions.insert(key, position);
    return position;
}

int KeyList::IndexOf(const QString &key) const
{
    return m_positions.value(key, -1);
}

void KeyList::Clear()
{
    m_keys.clear();
    m_values.clear();
    m_positions.clear();
}

} // namespace toolkit

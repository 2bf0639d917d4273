#pragma once
// Positional arguments of a remote call, checked one by one: a wrong count, a wrong kind, a text
// longer than its column or a date that is not a date is a Fault, so nothing gets written.

#include "errors.h"

#include <protocol/packet.h>

#include <QDate>
#include <QVariantList>

namespace server {

class Arguments {
public:
    Arguments(const QString &method, const QVariantList &values, int expectedCount);

    // Text of at most maxLength characters; null reads as empty text.
    QString text(int index, const char *name, int maxLength) const;
    // A date-time value; its date (the time of day is not part of a day's key).
    QDate date(int index, const char *name) const;
    QDateTime dateTime(int index, const char *name) const;
    // A finite number.
    double number(int index, const char *name) const;
    protocol::DataPacket packet(int index, const char *name) const;

private:
    [[noreturn]] void fail(int index, const char *name, const QString &problem) const;
    const QVariant &at(int index) const { return m_values[index]; }

    QString m_method;
    QVariantList m_values;
};

} // namespace server

#pragma once
// The remote-result convention: a checked method answers either with its payload or with an
// error text. The host's CheckResultServ reads it on the client; the server builds it.
//
// On the wire a checked result is a map holding exactly one of "payload" (any value) or
// "error" (non-empty text).

#include <QString>
#include <QVariant>

namespace protocol {

QVariant resultOk(const QVariant &payload);
QVariant resultError(const QString &message);

bool isResult(const QVariant &raw);
// Empty when the result is a payload; the error text otherwise. A value that is not a result
// at all is reported as an error too, so that a confused peer can never pass for success.
QString resultErrorText(const QVariant &raw);
QVariant resultPayload(const QVariant &raw);

} // namespace protocol

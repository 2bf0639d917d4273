#include "hello.h"

#include "packet.h"

#include <QCborMap>
#include <QCborValue>

namespace protocol {

namespace {
const QString kHello = QStringLiteral("hello");
const QString kOperator = QStringLiteral("operator");
const QString kToken = QStringLiteral("token");
const QString kPassword = QStringLiteral("password");

QString textOf(const QCborMap &m, const QString &key, qsizetype maxLength)
{
    const QCborValue v = m.value(key);
    if (!v.isString())
        throw PacketError(QStringLiteral("malformed hello: \"%1\" must be a text").arg(key));
    QString text = v.toString();
    if (text.size() > maxLength)
        throw PacketError(QStringLiteral("malformed hello: \"%1\" longer than %2 characters").arg(key).arg(maxLength));
    return text;
}
} // namespace

QByteArray encodeHello(const Hello &hello)
{
    QCborMap m;
    m.insert(kHello, kHelloVersion);
    m.insert(kOperator, hello.operatorCode);
    m.insert(kToken, hello.token);
    m.insert(kPassword, hello.password);
    return m.toCborValue().toCbor();
}

Hello decodeHello(const QByteArray &payload)
{
    if (payload.size() > kMaxHelloSize)
        throw PacketError(QStringLiteral("malformed hello: %1 bytes").arg(payload.size()));
    QCborParserError error;
    const QCborValue v = QCborValue::fromCbor(payload, &error);
    if (error.error != QCborError::NoError)
        throw PacketError(QStringLiteral("malformed hello: ") + error.errorString());
    if (!v.isMap() || !v.toMap().value(kHello).isInteger())
        throw PacketError(QStringLiteral("not a hello"));
    const QCborMap m = v.toMap();
    if (m.value(kHello).toInteger() != kHelloVersion)
        throw PacketError(QStringLiteral("hello of version %1; this side speaks %2")
                              .arg(m.value(kHello).toInteger())
                              .arg(kHelloVersion));
    return {textOf(m, kOperator, kMaxOperatorLength), textOf(m, kToken, kMaxTokenLength),
            m.contains(kPassword) ? textOf(m, kPassword, kMaxPasswordLength) : QString()};
}

QString tokenOfFile(const QByteArray &contents)
{
    return QString::fromUtf8(contents).section(QLatin1Char('\n'), 0, 0).trimmed();
}

} // namespace protocol

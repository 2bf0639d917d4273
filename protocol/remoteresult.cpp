#include "remoteresult.h"

namespace protocol {

namespace {
const QString kPayload = QStringLiteral("payload");
const QString kError = QStringLiteral("error");
}

QVariant resultOk(const QVariant &payload)
{
    return QVariantMap{{kPayload, payload}};
}

QVariant resultError(const QString &message)
{
    return QVariantMap{{kError, message.isEmpty() ? QStringLiteral("Erro no servidor de aplicação.") : message}};
}

bool isResult(const QVariant &raw)
{
    if (raw.metaType().id() != QMetaType::QVariantMap)
        return false;
    const QVariantMap m = raw.toMap();
    return m.size() == 1 && (m.contains(kPayload) || (m.contains(kError) && !m.value(kError).toString().isEmpty()));
}

QString resultErrorText(const QVariant &raw)
{
    if (!isResult(raw))
        return QStringLiteral("Resposta inválida do servidor de aplicação.");
    return raw.toMap().value(kError).toString();
}

QVariant resultPayload(const QVariant &raw)
{
    return isResult(raw) ? raw.toMap().value(kPayload) : QVariant();
}

} // namespace protocol

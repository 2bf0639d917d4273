#include "arguments.h"

#include <cmath>

namespace server {

Arguments::Arguments(const QString &method, const QVariantList &values, int expectedCount)
    : m_method(method), m_values(values)
{
    if (values.size() != expectedCount)
        throw Fault(QStringLiteral("%1 espera %2 argumentos e recebeu %3.")
                        .arg(method)
                        .arg(expectedCount)
                        .arg(values.size()));
}

void Arguments::fail(int index, const char *name, const QString &problem) const
{
    throw Fault(QStringLiteral("%1, argumento %2 (%3): %4")
                    .arg(m_method)
                    .arg(index + 1)
                    .arg(QLatin1String(name), problem));
}

QString Arguments::text(int index, const char *name, int maxLength) const
{
    const QVariant &v = at(index);
    if (v.isNull())
        return {};
    if (v.metaType().id() != QMetaType::QString)
        fail(index, name, QStringLiteral("deve ser um texto."));
    const QString s = v.toString();
    if (s.size() > maxLength)
        fail(index, name, QStringLiteral("texto com mais de %1 caracteres.").arg(maxLength));
    return s;
}

QDateTime Arguments::dateTime(int index, const char *name) const
{
    const QVariant &v = at(index);
    if (v.metaType().id() != QMetaType::QDateTime || !v.toDateTime().isValid())
        fail(index, name, QStringLiteral("não é uma data."));
    return protocol::wallClock(v.toDateTime());
}

QDate Arguments::date(int index, const char *name) const
{
    const QDate d = dateTime(index, name).date();
    if (d.year() < 1900 || d.year() > 9999)
        fail(index, name, QStringLiteral("data fora do intervalo aceito."));
    return d;
}

double Arguments::number(int index, const char *name) const
{
    const QVariant &v = at(index);
    if (v.metaType().id() != QMetaType::Double)
        fail(index, name, QStringLiteral("deve ser um número."));
    const double d = v.toDouble();
    if (!std::isfinite(d))
        fail(index, name, QStringLiteral("número inválido."));
    return d;
}

protocol::DataPacket Arguments::packet(int index, const char *name) const
{
    const QVariant &v = at(index);
    if (v.metaType() != QMetaType::fromType<protocol::DataPacket>())
        fail(index, name, QStringLiteral("deve ser um pacote de dados."));
    return v.value<protocol::DataPacket>();
}

} // namespace server

#include "receiptpage.h"

#include <protocol/packet.h>

#include <QLocale>

#include <cmath>

namespace web {

namespace cold = rules::cold;

namespace {

const QLocale &brazil()
{
    static const QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    return locale;
}

// Escaped, and a temperature's unit kept on its number's line.
QString html(const QString &text)
{
    return text.toHtmlEscaped().replace(QStringLiteral(" °C"), QStringLiteral("&nbsp;°C"));
}

QString when(const QDateTime &t)
{
    return t.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

// One small stylesheet: large type and touch targets, colours that read in the sun.
const char kStyle[]
    = "body{font-family:sans-serif;font-size:18px;line-height:1.4;margin:0;padding:12px;color:#111;background:#fff}"
      "main{max-width:40em;margin:auto}h1{font-size:1.5em;margin:.2em 0}h2{font-size:1.2em;margin:1em 0 .3em}"
      "dl{display:grid;grid-template-columns:auto 1fr;gap:.2em .8em;margin:.5em 0}dt{font-weight:bold}dd{margin:0}"
      ".instrucao{font-weight:bold;font-size:1.15em;border:2px solid #333;padding:.4em;border-radius:6px}"
      ".alerta{background:#b00020;color:#fff;padding:.7em;border-radius:6px;font-weight:bold;font-size:1.1em}"
      ".ok{background:#1b5e20;color:#fff;padding:.7em;border-radius:6px;font-weight:bold}"
      ".erro{background:#fff3cd;color:#5c3c00;border:2px solid #b00020;padding:.7em;border-radius:6px}"
      "label{display:block;font-weight:bold;margin:.8em 0 .2em}"
      "input{box-sizing:border-box;width:100%;min-height:52px;font-size:1.2em;padding:.3em .5em;border:2px solid #333;"
      "border-radius:6px}"
      "button{width:100%;min-height:56px;font-size:1.2em;margin-top:1em;border:0;border-radius:6px;background:#0b4f8a;"
      "color:#fff;font-weight:bold}"
      "input:focus,button:focus{outline:4px solid #f9a825;outline-offset:2px}";

QString document(const QString &title, const QString &body)
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"pt-BR\"><head><meta charset=\"utf-8\">"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                          "<title>%1</title><style>%2</style></head><body><main>%3</main></body></html>\n")
        .arg(html(title), QLatin1String(kStyle), body);
}

QString row(const QString &term, const QString &value)
{
    return QStringLiteral("<dt>%1</dt><dd>%2</dd>").arg(html(term), html(value));
}

// The warnings of a reading: each in words, with what to do.
QString verdictBox(const Container &c, std::optional<double> reading, const QDateTime &at)
{
    const Verdict verdict = judge(c, reading, at);
    QStringList alerts;
    if (verdict.outOfRange)
        alerts << QStringLiteral("Temperatura fora da faixa segura: %1 (%2).")
                      .arg(cold::celsiusText(*reading), cold::instruction(c.mode));
    if (verdict.expired)
        alerts << QStringLiteral("Prazo de consumo vencido em %1.").arg(when(c.useBy));
    if (!alerts.isEmpty())
        return QStringLiteral("<p class=\"alerta\" role=\"alert\" id=\"alerta\">%1 Não servir; avise a cozinha.</p>")
            .arg(html(alerts.join(QLatin1Char(' '))));
    if (reading && c.mode && c.mode != cold::Conservation::Ambient)
        return QStringLiteral("<p class=\"ok\" id=\"situacao\">Temperatura dentro da faixa segura (%1).</p>")
            .arg(html(cold::instruction(c.mode)));
    return {};
}

QString input(const char *id, const QString &labelText, const QString &value, const QString &attributes)
{
    return QStringLiteral("<label for=\"%1\">%2</label><input id=\"%1\" name=\"%1\" type=\"text\" value=\"%3\" %4>")
        .arg(QLatin1String(id), html(labelText), html(value), attributes);
}

QString form(const Container &c, const QString &action, const FormEntry &entry)
{
    const bool correction = c.receipts > 0;
    QString body = correction ? QStringLiteral("<h2>Corrigir o registro</h2><p>A correção é gravada com o seu motivo; "
                                               "o registro anterior continua guardado.</p>")
                              : QStringLiteral("<h2>Registrar o recebimento</h2>");
    if (!entry.error.isEmpty())
        body += QStringLiteral("<p class=\"erro\" role=\"alert\" id=\"erro\">%1</p>").arg(html(entry.error));
    body += QStringLiteral("<form method=\"post\" action=\"%1\">").arg(html(action));
    body += input("temperatura", QStringLiteral("Temperatura na chegada (°C)"), entry.temperature,
        QStringLiteral("inputmode=\"decimal\" autocomplete=\"off\" required"));
    body += input("recebedor", QStringLiteral("Nome de quem recebe"), entry.receiver,
        QStringLiteral("maxlength=\"60\" autocomplete=\"name\" required"));
    if (correction)
        body += input("motivo", QStringLiteral("Motivo da correção"), entry.reason,
            QStringLiteral("maxlength=\"200\" autocomplete=\"off\""));
    body += QStringLiteral("<button type=\"submit\">%1</button></form>")
                .arg(correction ? QStringLiteral("Registrar correção") : QStringLiteral("Registrar recebimento"));
    return body;
}

const QVariant &valueOf(const protocol::PacketContent &content, const char *name)
{
    static const QVariant none;
    const int i = content.fieldIndex(QLatin1String(name));
    return i < 0 ? none : content.rows.constFirst().values.at(i);
}

std::optional<double> number(const QVariant &v)
{
    return v.isNull() || !v.isValid() ? std::nullopt : std::optional<double>(v.toDouble());
}

} // namespace

Container containerFromPayload(const QVariant &payload)
{
    if (!payload.canConvert<protocol::DataPacket>())
        throw protocol::PacketError(QStringLiteral("a resposta não é um pacote de dados"));
    const protocol::PacketContent content = protocol::decodePacket(payload.value<protocol::DataPacket>());
    if (content.rows.size() != 1)
        throw protocol::PacketError(QStringLiteral("o pacote tem %1 linhas em vez de uma").arg(content.rows.size()));
    const auto text = [&](const char *name) { return valueOf(content, name).toString().trimmed(); };
    Container c;
    c.dish = text("NMPRATO");
    c.point = text("NMDESTFILI");
    c.client = text("NMFANTCLIE").isEmpty() ? text("NMRAZSOCCLIE") : text("NMFANTCLIE");
    c.unit = text("SGUNIDADE");
    c.quantity = valueOf(content, "QTPRATETIQTR").toDouble();
    c.labelNumber = text("NRSEQUETIQTR").toInt();
    c.labelCount = int(valueOf(content, "QTETIQUETAS").toDouble());
    c.mode = cold::conservationFromCode(text("IDCONSERV"));
    c.useBy = valueOf(content, "DTHRVALIDADE").toDateTime();
    c.dispatchedAt = valueOf(content, "DTHRSAIDA").toDateTime();
    if (!c.dispatchedAt.isValid())
        c.dispatchedAt = valueOf(content, "DTHREXPEDICAO").toDateTime();
    c.dispatchTemperature = number(valueOf(content, "VRTEMPERATURA"));
    c.receipts = int(valueOf(content, "QTRECEBIMENTOS").toDouble());
    c.receivedAt = valueOf(content, "DTHRRECEBIMENTO").toDateTime();
    c.receivedTemperature = number(valueOf(content, "VRTEMPRECEB"));
    c.receiver = text("NMRECEBEDOR");
    c.reason = text("DSMOTIVORECEB");
    return c;
}

Verdict judge(const Container &container, std::optional<double> celsius, const QDateTime &at)
{
    Verdict verdict;
    verdict.outOfRange = celsius && container.mode && !cold::inSafeRange(*container.mode, *celsius);
    verdict.expired = container.useBy.isValid() && at.isValid() && at > container.useBy;
    return verdict;
}

QString containerPage(const Container &c, const QString &action, const QDateTime &now, const FormEntry &entry)
{
    QString body = QStringLiteral("<h1>%1</h1>").arg(html(c.dish.isEmpty() ? QStringLiteral("Recipiente") : c.dish));
    // the verdict first, where the phone shows it without scrolling: on the reading recorded, or
    // before any, on the use-by alone
    body += c.receipts > 0 ? verdictBox(c, c.receivedTemperature, c.receivedAt) : verdictBox(c, std::nullopt, now);
    body += QStringLiteral("<dl>");
    body += row(QStringLiteral("Ponto de entrega"), c.point);
    body += row(QStringLiteral("Cliente"), c.client);
    body += row(QStringLiteral("Quantidade"),
        QString(brazil().toString(c.quantity, 'g', 10) + QLatin1Char(' ') + c.unit).trimmed());
    if (c.labelNumber > 0)
        body += row(QStringLiteral("Etiqueta"),
            c.labelCount > 0 ? QStringLiteral("Etiqueta %1 de %2").arg(c.labelNumber).arg(c.labelCount)
                             : QStringLiteral("Etiqueta %1").arg(c.labelNumber));
    body += QStringLiteral("</dl>");
    if (c.mode)
        body += QStringLiteral("<p class=\"instrucao\" id=\"instrucao\">%1</p>").arg(html(cold::instruction(c.mode)));
    body += QStringLiteral("<dl>");
    body += row(QStringLiteral("Consumir até"), c.useBy.isValid() ? when(c.useBy) : QStringLiteral("não informado"));
    const QString dispatchedAt = c.dispatchTemperature
        ? when(c.dispatchedAt) + QStringLiteral(" a ") + cold::celsiusText(*c.dispatchTemperature)
        : when(c.dispatchedAt);
    body += row(QStringLiteral("Saída da cozinha"),
        c.dispatchedAt.isValid() ? dispatchedAt : QStringLiteral("não registrada"));
    body += QStringLiteral("</dl>");

    if (c.receipts > 0) {
        body += QStringLiteral("<section id=\"recebido\"><h2>Recebido</h2><dl>");
        body += row(QStringLiteral("Chegada"), when(c.receivedAt));
        body += row(QStringLiteral("Temperatura"),
            c.receivedTemperature ? cold::celsiusText(*c.receivedTemperature) : QString());
        body += row(QStringLiteral("Recebido por"), c.receiver);
        if (c.receipts > 1)
            body += row(QStringLiteral("Correções"), QString::number(c.receipts - 1))
                + row(QStringLiteral("Motivo"), c.reason);
        body += QStringLiteral("</dl></section>");
    }
    body += form(c, action, entry);
    return document(QStringLiteral("Recebimento: ") + c.dish, body);
}

QString messagePage(const QString &title, const QString &message)
{
    return document(title,
        QStringLiteral("<h1>%1</h1><p class=\"erro\" role=\"alert\" id=\"erro\">%2</p>")
            .arg(html(title), html(message)));
}

std::optional<double> parseTemperature(const QString &text)
{
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.')).replace(QChar(0x2212), QLatin1Char('-')); // the minus sign
    if (t.isEmpty() || t.size() > 12)
        return std::nullopt;
    bool ok = false;
    const double value = t.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace web

#include "changehistory.h"

#include <framework/consiste.h>
#include <framework/netconnection.h>
#include <protocol/packet.h>
#include <rules/coldchain.h>
#include <toolkit/error.h>

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <algorithm>
#include <optional>

namespace printlabels {

QList<HistoryEntry> readHistory(framework::TNetConnection &server, const QString &branch, const QString &service,
                                QDate day)
{
    // The server answers a day's history a page at a time; the next page starts after the last
    // entry read, and an empty page is the end.
    QList<HistoryEntry> entries;
    double after = 0;
    for (;;) {
        const QVariant answer = server.call(QStringLiteral("GetHistorico"),
                                            QVariantList{branch, service, protocol::wallClock(day), after});
        const QList<HistoryEntry> page = historyEntries(framework::CheckResultServ(answer, false, 0));
        if (page.isEmpty() || page.last().entryNumber <= after)
            return entries;
        after = page.last().entryNumber;
        entries += page;
    }
}

QList<HistoryEntry> historyEntries(const QVariant &packet)
{
    const protocol::PacketContent content = protocol::decodePacket(packet.value<protocol::DataPacket>());
    const auto column = [&content](const char *name) {
        const int index = content.fieldIndex(QLatin1String(name));
        if (index < 0)
            throw toolkit::Error(QStringLiteral("O histórico do servidor não tem o campo %1.").arg(QLatin1String(name)));
        return index;
    };
    const int moment = column("DTHRALTERACAO"), operatorCode = column("CDOPERADOR"), operatorName = column("NMOPERADOR"),
              address = column("DSENDERECO"), method = column("NMMETODO"), kind = column("IDALTERACAO"),
              number = column("NRSERVTRAN"), client = column("CDCLIENTE"), clientName = column("NMRAZSOCCLIE"),
              point = column("CDDESTFILI"), pointName = column("NMDESTFILI"), dish = column("CDPRATO"),
              dishName = column("NMPRATO"), before = column("DSANTES"), after = column("DSDEPOIS"),
              entryNumber = column("NRHISTSERVTRAN");
    QList<HistoryEntry> entries;
    entries.reserve(content.rows.size());
    for (const protocol::PacketRow &row : content.rows) {
        const auto text = [&row](int i) { return row.values[i].toString(); };
        HistoryEntry e;
        e.moment = row.values[moment].toDateTime();
        e.operatorCode = text(operatorCode);
        e.operatorName = text(operatorName);
        e.address = text(address);
        e.method = text(method);
        e.kind = text(kind).isEmpty() ? QChar() : text(kind).at(0);
        e.number = text(number);
        e.client = text(client);
        e.clientName = text(clientName);
        e.point = text(point);
        e.pointName = text(pointName);
        e.dish = text(dish);
        e.dishName = text(dishName);
        e.before = text(before);
        e.after = text(after);
        e.entryNumber = row.values[entryNumber].toDouble();
        entries << e;
    }
    return entries;
}

QString kindName(QChar kind)
{
    switch (kind.unicode()) {
    case 'I':
        return QStringLiteral("Inclusão");
    case 'A':
        return QStringLiteral("Alteração");
    case 'E':
        return QStringLiteral("Exclusão");
    }
    return QString(kind);
}

namespace {

enum class Format { Whole, Quantity, Percent, Text, Celsius };

struct ScreenField {
    QString column, name;
    Format format;
};

// The figures of a dish row as the screen shows them, in its order: diners as whole numbers,
// quantities with three decimals, the share of the service with two.
const QList<ScreenField> &screenFields()
{
    static const QList<ScreenField> fields = [] {
        const struct {
            const char *column, *name;
            Format format;
        } table[] = {
            {"NMPRATO", "Nome do Prato", Format::Text},
            {"QTCOMECLIST", "Comensais Estimados", Format::Whole},
            {"QTEFETCLIST", "Efetivos p/ Fatur.", Format::Whole},
            {"QTCOMESTIST", "Comensais", Format::Whole},
            {"QTPADRAOST", "Qtde. por Pessoa", Format::Quantity},
            {"QTCONTAIST", "Qtde. por Container", Format::Quantity},
            {"QTTOTAPRATST", "Quantidade", Format::Quantity},
            {"SGUNIDADE", "Unidade", Format::Text},
            {"QTAMOSTRAST", "Amostra", Format::Quantity},
            {"QTTOTACONTST", "Containers", Format::Whole},
            {"QTCONTCOMPST", "Containers Completos", Format::Whole},
            {"QTPARCPRATST", "Qtde. no Container Parcial", Format::Quantity},
            {"QTTOTACONTSTCAMOS", "Qtde. de Containers", Format::Whole},
            {"QTCONTCOMPSTCAMOS", "Containers Completos c/ Amostra", Format::Whole},
            {"VRPECONSST", "% do Serviço", Format::Percent},
            {"ETIQUETAS", "Etiquetas", Format::Text},
        };
        QList<ScreenField> list;
        for (const auto &f : table)
            list << ScreenField{QString::fromLatin1(f.column), QString::fromUtf8(f.name), f.format};
        return list;
    }();
    return fields;
}

// What a container's dispatch and receipt record beside the row's figures: the temperature of a
// label ("EXPEDICAO 0001", "RECEBIMENTO 0001"), who received it and the reason of a correction.
std::optional<ScreenField> containerField(const QString &column)
{
    static const struct {
        QLatin1String prefix;
        const char *name;
    } temperatures[] = {{QLatin1String("EXPEDICAO "), "Temperatura na expedição, etiqueta %1"},
                        {QLatin1String("RECEBIMENTO "), "Temperatura no recebimento, etiqueta %1"}};
    for (const auto &t : temperatures)
        if (column.startsWith(t.prefix))
            return ScreenField{column, QString::fromUtf8(t.name).arg(column.mid(t.prefix.size())), Format::Celsius};
    if (column == QLatin1String("RECEBEDOR"))
        return ScreenField{column, QStringLiteral("Recebido por"), Format::Text};
    if (column == QLatin1String("MOTIVO"))
        return ScreenField{column, QStringLiteral("Motivo da correção"), Format::Text};
    return std::nullopt;
}

// The row's identity, shown in columns of their own.
bool isKey(const QString &column)
{
    static const QStringList keys = {
        QStringLiteral("CDFILIAL"),  QStringLiteral("CDSERVFILI"), QStringLiteral("DTSERVTRAN"),
        QStringLiteral("CDDIETPADST"), QStringLiteral("NRSERVTRAN"), QStringLiteral("CDCLIENTE"),
        QStringLiteral("CDDESTFILI"), QStringLiteral("CDPRATO"),   QStringLiteral("CDFILAUXPRAT")};
    return keys.contains(column);
}

QString valueText(const QJsonValue &value, Format format)
{
    if (value.isNull() || value.isUndefined())
        return QStringLiteral("(vazio)");
    if (!value.isDouble())
        return value.toVariant().toString();
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    const double v = value.toDouble();
    switch (format) {
    case Format::Whole:
        return brazil.toString(v, 'f', 0);
    case Format::Percent:
        return brazil.toString(v, 'f', 2);
    case Format::Celsius:
        return rules::cold::celsiusText(v);
    case Format::Quantity:
    case Format::Text:
        break;
    }
    return brazil.toString(v, 'f', 3);
}

// The columns of both objects as the screen lists them: its own fields first, in its order, then
// a container's temperature, receiver and reason, then any other non-key column by its code.
QList<ScreenField> fieldsOf(const QJsonObject &a, const QJsonObject &b)
{
    QList<ScreenField> fields;
    QStringList known;
    for (const ScreenField &f : screenFields()) {
        known << f.column;
        if (a.contains(f.column) || b.contains(f.column))
            fields << f;
    }
    QStringList columns = a.keys() + b.keys();
    columns.removeDuplicates();
    // the temperature first, then who received it and why it was corrected
    std::stable_sort(columns.begin(), columns.end(), [](const QString &x, const QString &y) {
        const auto rank = [](const QString &c) { return c == QLatin1String("RECEBEDOR") ? 1 : c == QLatin1String("MOTIVO") ? 2 : 0; };
        return rank(x) < rank(y);
    });
    for (const QString &column : std::as_const(columns))
        if (const std::optional<ScreenField> field = containerField(column)) {
            known << column;
            fields << *field;
        }
    for (const QJsonObject *o : {&a, &b})
        for (const QString &column : o->keys())
            if (!known.contains(column) && !isKey(column)) {
                known << column;
                fields << ScreenField{column, column, Format::Quantity};
            }
    return fields;
}

QJsonObject objectOf(const QString &json)
{
    return json.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(json.toUtf8()).object();
}

} // namespace

QString describeValues(const QString &json)
{
    const QJsonObject values = objectOf(json);
    QStringList parts;
    for (const ScreenField &f : fieldsOf(values, {}))
        parts << f.name + QStringLiteral(": ") + valueText(values.value(f.column), f.format);
    return parts.join(QStringLiteral("; "));
}

QList<HistoryLine> historyLines(const HistoryEntry &entry)
{
    if (entry.kind != QLatin1Char('A'))
        return {{QString(), describeValues(entry.before), describeValues(entry.after)}};
    const QJsonObject before = objectOf(entry.before), after = objectOf(entry.after);
    QList<HistoryLine> lines;
    for (const ScreenField &f : fieldsOf(before, after))
        lines << HistoryLine{f.name, valueText(before.value(f.column), f.format), valueText(after.value(f.column), f.format)};
    return lines;
}

} // namespace printlabels

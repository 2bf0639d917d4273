// What the browser test asks of the system besides the phone's page, through the application
// server as an operator of the kitchen would:
//   webtool HOST PORT OPERATOR PASSWORD-FILE labels BRANCH SERVICE dd/MM/yyyy OUT.pdf
//     the day's labels as the print module prints them (A4 sheet), into a PDF file
//   webtool HOST PORT OPERATOR PASSWORD-FILE receipt TOKEN
//     GetRecebimento's row of a label's link, as one JSON object on standard output
//   webtool HOST PORT OPERATOR PASSWORD-FILE dispatch BRANCH SERVICE dd/MM/yyyy DIET ROW LABEL CELSIUS
//     the container's dispatch at the kitchen, as the dispatch window records it (SetExpedicao)

#include <framework/netconnection.h>
#include <labels/labellayout.h>
#include <labels/labelrenderer.h>
#include <labels/labelsource.h>
#include <protocol/packet.h>
#include <protocol/remoteresult.h>
#include <toolkit/error.h>

#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPdfWriter>

#include <cstdio>

namespace {

int labels(framework::TNetConnection &server, const QStringList &args)
{
    const QDate day = QDate::fromString(args[2], QStringLiteral("dd/MM/yyyy"));
    const QList<printlabels::ContainerLabel> dayLabels = printlabels::labelsOfDay(server, args[0], args[1], day);
    if (dayLabels.isEmpty())
        throw toolkit::Error(QStringLiteral("nenhuma etiqueta"));
    QPdfWriter pdf(args[3]);
    pdf.setResolution(600);
    if (!printlabels::renderLabels(pdf, dayLabels, printlabels::LabelLayout {}))
        return 1;
    std::printf("%lld\n", static_cast<long long>(dayLabels.size()));
    return 0;
}

int receipt(framework::TNetConnection &server, const QString &token)
{
    const QVariant raw = server.call(QStringLiteral("GetRecebimento"), QVariantList { token });
    if (const QString refusal = protocol::resultErrorText(raw); !refusal.isEmpty())
        throw toolkit::Error(refusal);
    const protocol::PacketContent content
        = protocol::decodePacket(protocol::resultPayload(raw).value<protocol::DataPacket>());
    if (content.rows.size() != 1)
        throw toolkit::Error(QStringLiteral("%1 linhas").arg(content.rows.size()));
    QJsonObject row;
    for (qsizetype i = 0; i < content.fields.size(); ++i) {
        const QVariant &v = content.rows.constFirst().values.at(i);
        row.insert(content.fields.at(i).name,
            v.isNull()                                      ? QJsonValue()
                : v.metaType().id() == QMetaType::QDateTime ? QJsonValue(v.toDateTime().toString(Qt::ISODate))
                                                            : QJsonValue::fromVariant(v));
    }
    std::printf("%s\n", QJsonDocument(row).toJson(QJsonDocument::Compact).constData());
    return 0;
}

int dispatch(framework::TNetConnection &server, const QStringList &args)
{
    const QVariant raw = server.call(QStringLiteral("SetExpedicao"),
        QVariantList { args[0], args[1], protocol::wallClock(QDate::fromString(args[2], QStringLiteral("dd/MM/yyyy"))),
            args[3], args[4], args[5], args[6].toDouble(), QString() });
    if (const QString refusal = protocol::resultErrorText(raw); !refusal.isEmpty())
        throw toolkit::Error(refusal);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool isLabels = args.size() == 10 && args[5] == QLatin1String("labels");
    const bool isReceipt = args.size() == 7 && args[5] == QLatin1String("receipt");
    const bool isDispatch = args.size() == 13 && args[5] == QLatin1String("dispatch");
    if (!isLabels && !isReceipt && !isDispatch) {
        std::fprintf(stderr,
            "uso: webtool HOST PORTA OPERADOR ARQUIVO-DA-SENHA labels FILIAL SERVIÇO dd/MM/yyyy SAÍDA.pdf\n"
            "     webtool HOST PORTA OPERADOR ARQUIVO-DA-SENHA receipt TOKEN\n"
            "     webtool HOST PORTA OPERADOR ARQUIVO-DA-SENHA dispatch FILIAL SERVIÇO dd/MM/yyyy DIETA LINHA ETIQUETA "
            "°C\n");
        return 2;
    }
    QFile secret(args[4]);
    if (!secret.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "webtool: %s ilegível\n", qUtf8Printable(args[4]));
        return 2;
    }
    framework::TNetConnection server;
    server.setServerName(QStringLiteral("Pla04100.rdmServTran"));
    server.setHost(args[1]);
    server.setPort(args[2].toInt());
    server.setTls(false);
    server.setAccessToken(QString());
    server.setOperatorCode(args[3]);
    server.setPassword(QString::fromUtf8(secret.readLine()).trimmed());
    server.setCallTimeout(30000);
    try {
        if (isLabels)
            return labels(server, args.mid(6));
        return isReceipt ? receipt(server, args[6]) : dispatch(server, args.mid(6));
    } catch (const toolkit::Error &e) {
        std::fprintf(stderr, "webtool: %s\n", qUtf8Printable(e.message()));
    } catch (const protocol::PacketError &e) {
        std::fprintf(stderr, "webtool: %s\n", qUtf8Printable(e.message()));
    }
    return 1;
}

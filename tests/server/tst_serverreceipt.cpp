// The containers' receipt at their delivery points: each label's link names its label and day,
// signed by the server; GetRecebimento reads the label it names and SetRecebimento records the
// temperature on arrival once, corrections only with their reason, each entry in the history.
// A link altered in any part, past its day, or of a branch the operator may not use is refused,
// and the web front's operator may call nothing else.

#include "testsupport.h"

#include <protocol/remoteresult.h>
#include <server/labellinks.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <latch>
#include <thread>

using namespace servertest;

namespace {

const QString kWebUrl = QStringLiteral("https://127.0.0.1:8443");
const QString kInvalid = QStringLiteral("Link de etiqueta inválido.");

server::ServerSettings signingLinks()
{
    server::ServerSettings settings;
    settings.service.webUrl = kWebUrl;
    return settings;
}

// The demo day's rows moved to a day relative to today, so that links serve or expire by the clock.
QDate serviceDayFromToday(server::Database &db, int days)
{
    const QDate date = QDate::currentDate().addDays(days);
    scalar(db, QStringLiteral("UPDATE SERVTRAN SET DTSERVTRAN = :TO WHERE DTSERVTRAN = :FROM"),
           {{QStringLiteral("TO"), date}, {QStringLiteral("FROM"), demoDay()}});
    return date;
}

QList<QVariantMap> containers(TestClient &client, QDate date)
{
    return table(client.payload(QStringLiteral("GetExpedicao"), {QStringLiteral("0001"), QStringLiteral("00001"), day(date)}))
        .rows;
}

QString tokenOf(const QVariantMap &container)
{
    const QString link = container.value(QStringLiteral("DSLINK")).toString();
    if (!link.startsWith(kWebUrl + QStringLiteral("/e/")))
        QTest::qFail(qPrintable(QStringLiteral("not a link: ") + link), __FILE__, __LINE__);
    return link.mid(kWebUrl.size() + 3);
}

// The token with one part of its signed text changed, its signature kept; or its signature changed.
QString tampered(const QString &token, const QString &part)
{
    constexpr auto base64 = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
    const QString payload = token.section(QLatin1Char('.'), 0, 0);
    QString signature = token.section(QLatin1Char('.'), 1);
    if (part == QLatin1String("signature")) {
        signature[5] = signature[5] == QLatin1Char('A') ? QLatin1Char('B') : QLatin1Char('A');
        return payload + QLatin1Char('.') + signature;
    }
    QStringList fields = QString::fromUtf8(QByteArray::fromBase64(payload.toLatin1(), base64)).split(QLatin1Char('|'));
    const int index = part == QLatin1String("branch") ? 1 : part == QLatin1String("day") ? 3 : part == QLatin1String("label") ? 6 : 7;
    fields[index] = part == QLatin1String("branch") ? QStringLiteral("0002")
                    : part == QLatin1String("day")  ? QDate::fromString(fields[3], Qt::ISODate).addDays(1).toString(Qt::ISODate)
                    : part == QLatin1String("label") ? QStringLiteral("0002")
                                                     : QStringLiteral("2");
    return QString::fromLatin1(fields.join(QLatin1Char('|')).toUtf8().toBase64(base64)) + QLatin1Char('.') + signature;
}

QString answerOf(const protocol::Reply &reply)
{
    return reply.failed() ? reply.fault : protocol::resultErrorText(reply.value);
}

qint64 count(server::Database &db, const char *table)
{
    return scalar(db, QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))).toLongLong();
}

QJsonObject json(const QVariant &text) { return QJsonDocument::fromJson(text.toString().toUtf8()).object(); }

QVariantList receiptArgs(const QString &token, double celsius, const QString &receiver, const QString &reason = {})
{
    return {token, celsius, receiver, reason, QStringLiteral("10.0.0.7")};
}

} // namespace

class TestServerReceipt : public QObject {
    Q_OBJECT
private slots:
    void receiptIsRecordedOnceThenCorrected_data() { addBackendRows(); }
    void receiptIsRecordedOnceThenCorrected();
    void refusedReceiptWritesNothing_data();
    void refusedReceiptWritesNothing();
    void receiptOperatorDoesOnlyReceipts_data();
    void receiptOperatorDoesOnlyReceipts();
    void serversMakingTheFirstKeyTogetherSignAlike_data() { addBackendRows(); }
    void serversMakingTheFirstKeyTogetherSignAlike();
};

// A container leaves at 4.5 °C; at the point Maria scans its label and records 6.0 °C; recording it
// again is refused with what was recorded; a correction with its reason adds an entry. The label's
// row in GetExpedicao and GetRecebimento shows when it left and arrived; the history has both.
void TestServerReceipt::receiptIsRecordedOnceThenCorrected()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend, signingLinks());
    const QDate date = serviceDayFromToday(f.db(), 0);
    const QVariantMap label = containers(f.client(), date).at(1);
    const QString number = label.value(QStringLiteral("NRSEQUETIQTR")).toString();
    QCOMPARE(f.client().error(QStringLiteral("SetExpedicao"),
                              {QStringLiteral("0001"), QStringLiteral("00001"), day(date), label.value(QStringLiteral("CDDIETPADST")),
                               label.value(QStringLiteral("NRSERVTRAN")), number, 4.5, QString()}),
             QString());
    const qint64 historyBefore = count(f.db(), "HISTSERVTRAN");

    TestClient phone(f.port(), helloOf(QStringLiteral("RECEB")));
    const QString token = tokenOf(label);
    Table read = table(phone.payload(QStringLiteral("GetRecebimento"), {token}));
    QCOMPARE(read.names(), table(f.client().payload(QStringLiteral("GetExpedicao"),
                                                    {QStringLiteral("0001"), QStringLiteral("00001"), day(date)}))
                               .names());
    QCOMPARE(read.rows.size(), 1);
    QCOMPARE(read.rows[0].value(QStringLiteral("NRSERVTRAN")), label.value(QStringLiteral("NRSERVTRAN")));
    QCOMPARE(read.rows[0].value(QStringLiteral("NRSEQUETIQTR")).toString(), number);
    QCOMPARE(read.rows[0].value(QStringLiteral("QTRECEBIMENTOS")).toDouble(), 0.0);
    // "Etiqueta i de n" on the phone as on the label: the row's labels counted alike for the day and the link
    QCOMPARE(read.rows[0].value(QStringLiteral("QTETIQUETAS")).toDouble(), label.value(QStringLiteral("QTETIQUETAS")).toDouble());
    QCOMPARE(label.value(QStringLiteral("QTETIQUETAS")).toDouble(),
             scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE NRSERVTRAN = :N AND DTSERVTRAN = :D"),
                    {{QStringLiteral("N"), label.value(QStringLiteral("NRSERVTRAN"))}, {QStringLiteral("D"), date}})
                 .toDouble());
    QVERIFY(read.rows[0].value(QStringLiteral("DTHRSAIDA")).toDateTime().secsTo(QDateTime::currentDateTime()) < 60);

    QCOMPARE(phone.error(QStringLiteral("SetRecebimento"), receiptArgs(token, 6.04, QStringLiteral("  Maria "))), QString());
    const QVariantMap received = table(phone.payload(QStringLiteral("GetRecebimento"), {token})).rows.value(0);
    QCOMPARE(received.value(QStringLiteral("VRTEMPRECEB")).toDouble(), 6.0);
    QCOMPARE(received.value(QStringLiteral("NMRECEBEDOR")).toString(), QStringLiteral("Maria"));
    QCOMPARE(received.value(QStringLiteral("QTRECEBIMENTOS")).toDouble(), 1.0);
    const QDateTime arrived = received.value(QStringLiteral("DTHRRECEBIMENTO")).toDateTime();
    QVERIFY(arrived.secsTo(QDateTime::currentDateTime()) < 60);

    const QString again = phone.error(QStringLiteral("SetRecebimento"), receiptArgs(token, 9.0, QStringLiteral("João")));
    QCOMPARE(again, QStringLiteral("A etiqueta %1 já foi recebida a 6,0 °C por Maria às %2; para corrigir, informe o motivo.")
                        .arg(number, arrived.toString(QStringLiteral("HH:mm"))));
    QCOMPARE(phone.error(QStringLiteral("SetRecebimento"),
                         receiptArgs(token, 7.5, QStringLiteral("João"), QStringLiteral("lido antes de abrir a caixa"))),
             QString());
    const QVariantMap corrected = containers(f.client(), date).at(1);
    QCOMPARE(corrected.value(QStringLiteral("VRTEMPRECEB")).toDouble(), 7.5);
    QCOMPARE(corrected.value(QStringLiteral("NMRECEBEDOR")).toString(), QStringLiteral("João"));
    QCOMPARE(corrected.value(QStringLiteral("DSMOTIVORECEB")).toString(), QStringLiteral("lido antes de abrir a caixa"));
    QCOMPARE(corrected.value(QStringLiteral("QTRECEBIMENTOS")).toDouble(), 2.0);
    QCOMPARE(corrected.value(QStringLiteral("DTHRRECEBIMENTO")).toDateTime(), arrived);   // when it arrived, still
    QCOMPARE(corrected.value(QStringLiteral("VRTEMPERATURA")).toDouble(), 4.5);           // its dispatch, untouched

    // both entries stand, by the web front's operator, from the phone's address
    QCOMPARE(rows(f.db(), QStringLiteral("SELECT NRSEQRECEB, CDOPERADOR, DSENDERECO FROM RECESERVTRAN ORDER BY NRSEQRECEB")),
             (QList<QVariantList>{{1, QStringLiteral("RECEB"), QStringLiteral("10.0.0.7")},
                                  {2, QStringLiteral("RECEB"), QStringLiteral("10.0.0.7")}}));
    const QList<QVariantMap> history =
        table(f.client().payload(QStringLiteral("GetHistorico"), {QStringLiteral("0001"), QStringLiteral("00001"), day(date)}))
            .rows.mid(historyBefore);
    QCOMPARE(history.size(), 2);
    const QString column = QStringLiteral("RECEBIMENTO ") + number;
    QCOMPARE(history[0].value(QStringLiteral("NMMETODO")).toString(), QStringLiteral("SetRecebimento"));
    QCOMPARE(history[0].value(QStringLiteral("CDOPERADOR")).toString(), QStringLiteral("RECEB"));
    QVERIFY(json(history[0].value(QStringLiteral("DSANTES"))).isEmpty());
    QCOMPARE(json(history[0].value(QStringLiteral("DSDEPOIS"))),
             (QJsonObject{{column, 6.0}, {QStringLiteral("RECEBEDOR"), QStringLiteral("Maria")}}));
    QCOMPARE(json(history[1].value(QStringLiteral("DSANTES"))),
             (QJsonObject{{column, 6.0}, {QStringLiteral("RECEBEDOR"), QStringLiteral("Maria")}}));
    QCOMPARE(json(history[1].value(QStringLiteral("DSDEPOIS"))),
             (QJsonObject{{column, 7.5}, {QStringLiteral("RECEBEDOR"), QStringLiteral("João")},
                          {QStringLiteral("MOTIVO"), QStringLiteral("lido antes de abrir a caixa")}}));
}

void TestServerReceipt::refusedReceiptWritesNothing_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<int>("serviceDay");   // from today
    QTest::addColumn<QString>("tamper");   // the part of the link changed; empty: none
    QTest::addColumn<double>("celsius");
    QTest::addColumn<QString>("receiver");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("error");    // empty: recorded
    const QString maria = QStringLiteral("Maria");
    for (const QString &b : backends()) {
        for (const char *part : {"branch", "day", "label", "key number", "signature"})
            newRow(b, qPrintable(QStringLiteral("link's %1 altered").arg(QLatin1String(part))))
                << 0 << QString::fromLatin1(part) << 5.0 << maria << QString() << kInvalid;
        newRow(b, "not a link") << 0 << QStringLiteral("garbage") << 5.0 << maria << QString() << kInvalid;
        newRow(b, "far too long for a link") << 0 << QStringLiteral("long") << 5.0 << maria << QString() << kInvalid;
        newRow(b, "yesterday's service still served") << -1 << QString() << 5.0 << maria << QString() << QString();
        newRow(b, "expired: the service two days ago")
            << -2 << QString() << 5.0 << maria << QString()
            << QStringLiteral("Link de etiqueta vencido em %1.")
                   .arg(QDate::currentDate().addDays(-1).toString(QStringLiteral("dd/MM/yyyy")));
        newRow(b, "boiling oil") << 0 << QString() << 180.0 << maria << QString()
                                 << QStringLiteral("A temperatura deve estar entre -60,0 °C e 130,0 °C.");
        newRow(b, "nobody received it") << 0 << QString() << 5.0 << QStringLiteral("   ") << QString()
                                        << QStringLiteral("Informe o nome de quem recebe.");
        newRow(b, "correction before any receipt") << 0 << QString() << 5.0 << maria << QStringLiteral("engano")
                                                   << QStringLiteral("ainda não foi recebida");
    }
}

void TestServerReceipt::refusedReceiptWritesNothing()
{
    QFETCH(QString, backend);
    QFETCH(int, serviceDay);
    QFETCH(QString, tamper);
    QFETCH(double, celsius);
    QFETCH(QString, receiver);
    QFETCH(QString, reason);
    QFETCH(QString, error);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend, signingLinks());
    const QDate date = serviceDayFromToday(f.db(), serviceDay);
    QString token = tokenOf(containers(f.client(), date).constFirst());
    if (tamper == QLatin1String("garbage"))
        token = QStringLiteral("e30.e30");
    else if (tamper == QLatin1String("long"))
        token = token + QString(2000, u'A');
    else if (!tamper.isEmpty())
        token = tampered(token, tamper);
    const qint64 history = count(f.db(), "HISTSERVTRAN");
    TestClient phone(f.port(), helloOf(QStringLiteral("RECEB")));
    const QString answer = answerOf(phone.call(QStringLiteral("SetRecebimento"), receiptArgs(token, celsius, receiver, reason)));
    QVERIFY2(error.isEmpty() ? answer.isEmpty() : answer.contains(error), qPrintable(answer));
    if (error.isEmpty())
        return;
    if (error == kInvalid || error.startsWith(QLatin1String("Link")))   // nor is such a link read
        QCOMPARE(answerOf(phone.call(QStringLiteral("GetRecebimento"), {token})), error);
    QCOMPARE(count(f.db(), "RECESERVTRAN"), 0);
    QCOMPARE(count(f.db(), "HISTSERVTRAN"), history);
}

void TestServerReceipt::receiptOperatorDoesOnlyReceipts_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("receiptOperator");   // the server's --receipt-operator
    QTest::addColumn<QString>("caller");
    QTest::addColumn<QString>("method");
    QTest::addColumn<bool>("withoutBranch");         // the caller loses the link's branch first
    QTest::addColumn<QString>("fault");               // empty: answered
    const QString onlyReceipts = QStringLiteral("O operador %1 só consulta e registra o recebimento das etiquetas.");
    const QString receb = QStringLiteral("RECEB"), oper1 = QStringLiteral("OPER1");
    for (const QString &b : backends()) {
        for (const char *method : {"GetExpedicao", "GetDados", "SetExpedicao", "GetHistorico", "DelServTran"})
            newRow(b, qPrintable(QStringLiteral("web front calls %1").arg(QLatin1String(method))))
                << receb << receb << QString::fromLatin1(method) << false << onlyReceipts.arg(receb);
        newRow(b, "web front reads a link") << receb << receb << QStringLiteral("GetRecebimento") << false << QString();
        newRow(b, "web front without the link's branch")
            << receb << receb << QStringLiteral("GetRecebimento") << true << QStringLiteral("Operador sem acesso à filial 0001.");
        newRow(b, "operator without the link's branch")
            << receb << oper1 << QStringLiteral("SetRecebimento") << true << QStringLiteral("Operador sem acesso à filial 0001.");
        newRow(b, "another receipt operator named") << oper1 << oper1 << QStringLiteral("GetDados") << false
                                                     << onlyReceipts.arg(oper1);
        newRow(b, "RECEB not named is an operator") << oper1 << receb << QStringLiteral("GetExpedicao") << false << QString();
    }
}

void TestServerReceipt::receiptOperatorDoesOnlyReceipts()
{
    QFETCH(QString, backend);
    QFETCH(QString, receiptOperator);
    QFETCH(QString, caller);
    QFETCH(QString, method);
    QFETCH(bool, withoutBranch);
    QFETCH(QString, fault);
    SKIP_UNLESS_BACKEND(backend);
    server::ServerSettings settings = signingLinks();
    settings.service.receiptOperator = receiptOperator;
    Fixture f(backend, settings);
    const QDate date = serviceDayFromToday(f.db(), 0);
    const QVariantMap label = containers(f.client(), date).constFirst();
    const QVariantList dayArgs = {QStringLiteral("0001"), QStringLiteral("00001"), day(date)};
    if (withoutBranch) {
        scalar(f.db(), QStringLiteral("DELETE FROM OPERFILI WHERE CDOPERADOR = :OP"), {{QStringLiteral("OP"), caller}});
        scalar(f.db(), QStringLiteral("INSERT INTO OPERFILI (CDOPERADOR, CDFILIAL) VALUES (:OP, '0002')"),
               {{QStringLiteral("OP"), caller}});
    }
    const QVariantList args =
        method == QLatin1String("GetRecebimento") ? QVariantList{tokenOf(label)}
        : method == QLatin1String("SetRecebimento") ? receiptArgs(tokenOf(label), 5.0, QStringLiteral("Maria"))
        : method == QLatin1String("SetExpedicao")
            ? dayArgs + QVariantList{label.value(QStringLiteral("CDDIETPADST")), label.value(QStringLiteral("NRSERVTRAN")),
                                     label.value(QStringLiteral("NRSEQUETIQTR")), 4.0, QString()}
        : method == QLatin1String("DelServTran") ? dayArgs + QVariantList{QStringLiteral("006"), QStringLiteral("0000104")}
                                                 : dayArgs;
    const qint64 stored = count(f.db(), "SERVTRAN") + count(f.db(), "EXPESERVTRAN") + count(f.db(), "RECESERVTRAN");
    TestClient client(f.port(), helloOf(caller));
    const protocol::Reply reply = client.call(method, args);
    if (fault.isEmpty()) {
        QVERIFY2(!reply.failed() && answerOf(reply).isEmpty(), qPrintable(answerOf(reply)));
        return;
    }
    QCOMPARE(reply.fault, fault);
    QCOMPARE(count(f.db(), "SERVTRAN") + count(f.db(), "EXPESERVTRAN") + count(f.db(), "RECESERVTRAN"), stored);
}

// Two servers signing their first links at the same moment both make a key 1: one is stored, and
// both sign with it, so every printed link checks.
void TestServerReceipt::serversMakingTheFirstKeyTogetherSignAlike()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const server::LabelKey label{QStringLiteral("0001"), QStringLiteral("00001"), demoDay(),
                                 QStringLiteral("XXXX"), QStringLiteral("0000000001"), QStringLiteral("0001")};
    for (int round = 0; round < 10; ++round) {
        scalar(f.db(), QStringLiteral("DELETE FROM CHAVELINK"));
        std::latch start(2);
        QString links[2];
        const auto sign = [&](int i) {
            try {
                server::Database db(f.connection());
                start.arrive_and_wait();
                links[i] = server::LinkSigner(db, kWebUrl).url(label);
            } catch (const std::exception &e) {
                links[i] = QString::fromUtf8(e.what());
            }
        };
        std::thread first(sign, 0), second(sign, 1);
        first.join();
        second.join();
        QVERIFY2(links[0].startsWith(kWebUrl), qPrintable(links[0]));
        QCOMPARE(links[1], links[0]);
        QCOMPARE(count(f.db(), "CHAVELINK"), 1);
        QCOMPARE(server::labelOfToken(f.db(), links[0].mid(kWebUrl.size() + 3)).number, label.number);
    }
}

QTEST_GUILESS_MAIN(TestServerReceipt)
#include "tst_serverreceipt.moc"

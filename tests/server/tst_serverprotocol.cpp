// What the server does with requests it cannot take, frames it cannot read, and clients that
// go away: a fault or a closed connection for that client, nothing written, and every other
// client still served.

#include "testsupport.h"

#include <protocol/frame.h>
#include <protocol/remoteresult.h>

#include <QCborValue>
#include <QRegularExpression>
#include <QTest>
#include <QtEndian>

using namespace servertest;

namespace {

QVariantList dayArgs() { return {QStringLiteral("0001"), QStringLiteral("00001"), day()}; }

qint64 count(server::Database &db, const char *table)
{
    return scalar(db, QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))).toLongLong();
}

// The client still gets a whole day.
bool serving(TestClient &client)
{
    return tables(client.payload(QStringLiteral("GetDados"), dayArgs())).value(1).rows.size() >= 9;
}

} // namespace

class TestServerProtocol : public QObject {
    Q_OBJECT
private slots:
    void faults_data();
    void faults();
    void malformedFrames_data();
    void malformedFrames();
    void oversizedFrame_data() { addBackendRows(); }
    void oversizedFrame();
    void clientGoneMidCall_data();
    void clientGoneMidCall();
};

void TestServerProtocol::faults_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("args");
    const QString rdm = serverName();
    const QVariantList labelArgs = {QStringLiteral("0001"), QStringLiteral("00001"), QStringLiteral("003"),
                                    QStringLiteral("0000000007"), QStringLiteral("0000105"), QStringLiteral("XXXX"), day(),
                                    QStringLiteral("P"), QStringLiteral("1010010001"), 0.0, 4.0, 2.0, 0.0, 2.0, 1.0};
    QVariantList labelWithText = labelArgs;
    labelWithText[10] = QStringLiteral("4");
    for (const QString &b : backends()) {
        newRow(b, "unknown server") << "Pla04100.rdmOutro" << "GetDados" << dayArgs();
        newRow(b, "unknown method") << rdm << "GetTudo" << dayArgs();
        newRow(b, "method name in the wrong case") << rdm << "getdados" << dayArgs();
        newRow(b, "too few arguments") << rdm << "GetDados" << QVariantList{QStringLiteral("0001"), QStringLiteral("00001")};
        newRow(b, "too many arguments") << rdm << "GetPadrao" << (dayArgs() << QStringLiteral("x"));
        newRow(b, "number for a text") << rdm << "GetDados" << QVariantList{1.0, QStringLiteral("00001"), day()};
        newRow(b, "branch too long") << rdm << "GetDados" << QVariantList{QStringLiteral("00001"), QStringLiteral("00001"), day()};
        newRow(b, "client too long") << rdm << "DelServTran"
                               << (dayArgs() << QStringLiteral("001") << QString(22, QLatin1Char('1')));
        newRow(b, "date as text") << rdm << "GetDados" << QVariantList{QStringLiteral("0001"), QStringLiteral("00001"), QStringLiteral("2026-12-08")};
        newRow(b, "date as number") << rdm << "DeletePrato"
                              << QVariantList{QStringLiteral("P"), QStringLiteral("1010010001"), QStringLiteral("0001"),
                                              QStringLiteral("00001"), QStringLiteral("003"), QStringLiteral("0000105"), 46364.0};
        newRow(b, "null date") << rdm << "GetSeqServTran" << QVariantList{QStringLiteral("0001"), QStringLiteral("00001"), QVariant(), QStringLiteral("XXXX")};
        newRow(b, "unknown point mode") << rdm << "GetPtoEntrega" << QVariantList{QStringLiteral("0001"), QString(), QStringLiteral("X")};
        newRow(b, "text for a packet") << rdm << "SetServTran" << QVariantList{QStringLiteral("delta")};
        newRow(b, "text for a number") << rdm << "CalcEtiqueta" << labelWithText;
        newRow(b, "boolean for a text") << rdm << "PratoAux"
                                  << QVariantList{true, QStringLiteral("P"), QStringLiteral("0001"), QStringLiteral("00001"), day(),
                                                  QStringLiteral("0000105"), QStringLiteral("003")};
        newRow(b, "list for a text") << rdm << "CalcServTrans"
                               << QVariantList{QVariantList{QStringLiteral("0001")}, QStringLiteral("_000100001_"), day(), day(),
                                               QStringLiteral("ADMIN"), day()};
    }
}

void TestServerProtocol::faults()
{
    QFETCH(QString, backend);
    QFETCH(QString, server);
    QFETCH(QString, method);
    QFETCH(QVariantList, args);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const protocol::Reply reply = f.client().call(method, args, server);
    QVERIFY(reply.failed());
    qDebug().noquote() << reply.fault;
    QCOMPARE(count(f.db(), "SERVTRAN"), 9);
    QCOMPARE(count(f.db(), "ETIQSERVTRAN"), 28);
    QVERIFY(serving(f.client()));
}

void TestServerProtocol::malformedFrames_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QByteArray>("payload");
    QCborMap noMethod;
    noMethod.insert(QStringLiteral("server"), serverName());
    noMethod.insert(QStringLiteral("args"), QCborArray());
    QCborMap argsNotArray = noMethod;
    argsNotArray.insert(QStringLiteral("method"), QStringLiteral("GetDados"));
    argsNotArray.insert(QStringLiteral("args"), 5);
    QCborMap unknownTag = argsNotArray;
    unknownTag.insert(QStringLiteral("args"), QCborArray{QCborValue(QCborTag(99999), QCborValue(1))});
    for (const QString &b : backends()) {
        newRow(b, "not CBOR") << QByteArrayLiteral("\xff\xff\xff\xff");
        newRow(b, "truncated CBOR") << QCborValue(QStringLiteral("a long enough text")).toCbor().left(5);
        newRow(b, "empty frame") << QByteArray();
        newRow(b, "not a map") << QCborValue(42).toCbor();
        newRow(b, "no method") << noMethod.toCborValue().toCbor();
        newRow(b, "arguments not an array") << argsNotArray.toCborValue().toCbor();
        newRow(b, "unknown value kind") << unknownTag.toCborValue().toCbor();
    }
}

void TestServerProtocol::malformedFrames()
{
    QFETCH(QString, backend);
    QFETCH(QByteArray, payload);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    f.client().send(protocol::frame(payload));
    const protocol::Reply reply = f.client().receive();
    QVERIFY(reply.failed());
    qDebug().noquote() << reply.fault;
    QVERIFY(serving(f.client()));   // the same connection goes on
}

void TestServerProtocol::oversizedFrame()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    TestClient other(f.port());
    QByteArray header(4, Qt::Uninitialized);
    qToBigEndian<quint32>(protocol::kMaxFrameSize + 1, header.data());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("over the size limit")));
    f.client().send(header + QByteArray(1024, 'x'));
    QVERIFY(f.client().closedByPeer());
    QVERIFY(serving(other));
    TestClient again(f.port());
    QVERIFY(serving(again));
}

// Each call's writes are one transaction, and the server finishes a call before it notices that
// its client went away: a client that disconnects leaves the whole call or nothing.
void TestServerProtocol::clientGoneMidCall_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("abort");   // reset at once rather than close after sending
    for (const QString &b : backends()) {
        newRow(b, "closes after sending") << false;
        newRow(b, "resets the connection") << true;
    }
}

void TestServerProtocol::clientGoneMidCall()
{
    QFETCH(QString, backend);
    QFETCH(bool, abort);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    constexpr int kRows = 300;
    QList<Change> inserts;
    for (int i = 0; i < kRows; ++i)
        inserts << Change{protocol::RowChange::Inserted,
                          newDish(QStringLiteral("%1").arg(100 + i, 10, 10, QLatin1Char('0')), QStringLiteral("0000102"),
                                  QStringLiteral("004"), QStringLiteral("1010010002")),
                          {}};
    {
        TestClient leaving(f.port());
        leaving.send(protocol::frame(protocol::encodeRequest({serverName(), QStringLiteral("SetServTran"), {dishDelta(inserts)}})));
        if (abort)
            leaving.socket().abort();
        else
            leaving.socket().disconnectFromHost();
    }
    // other clients are served meanwhile; the call of the one that left is whole or absent
    QVERIFY(serving(f.client()));
    const auto stored = [&] { return count(f.db(), "SERVTRAN") - 9; };
    if (!abort)
        QTRY_COMPARE_WITH_TIMEOUT(stored(), qint64(kRows), 30000);
    for (int i = 0; i < 20; ++i) {
        const qint64 now = stored();
        QVERIFY2(now == 0 || now == kRows, qPrintable(QString::number(now)));
        QTest::qWait(25);
    }
}

QTEST_GUILESS_MAIN(TestServerProtocol)
#include "tst_serverprotocol.moc"

// Requests of hostile sizes: each is refused by a limit checked before the work it would cause
// (counts before loops, a size limit per method), the server keeps serving, and nothing is written.

#include "testsupport.h"

#include <protocol/frame.h>
#include <protocol/remoteresult.h>

#include <QCborStreamWriter>
#include <QTest>
#include <QtEndian>

using namespace servertest;

namespace {

QVariantList dayArgs() { return {QStringLiteral("0001"), QStringLiteral("00001"), day()}; }

// A change log in raw CBOR: the given field names (all floats), then `rows` inserted rows of nulls.
QVariant rawDelta(const QStringList &fieldNames, int rows)
{
    QByteArray out;
    QCborStreamWriter w(&out);
    w.startMap(4);
    w.append(QStringLiteral("packet"));
    w.append(protocol::kPacketVersion);
    w.append(QStringLiteral("delta"));
    w.append(true);
    w.append(QStringLiteral("fields"));
    w.startArray(quint64(fieldNames.size()));
    for (const QString &name : fieldNames) {
        w.startArray(4);
        w.append(name);
        w.append(QStringLiteral("float"));
        w.append(0);
        w.append(0);
        w.endArray();
    }
    w.endArray();
    w.append(QStringLiteral("rows"));
    w.startArray(quint64(rows));
    for (int r = 0; r < rows; ++r) {
        w.startArray(3);
        w.append(1);
        w.startArray(quint64(fieldNames.size()));
        for (qsizetype i = 0; i < fieldNames.size(); ++i)
            w.append(nullptr);
        w.endArray();
        w.append(nullptr);
        w.endArray();
    }
    w.endArray();
    w.endMap();
    return QVariant::fromValue(protocol::DataPacket(out));
}

QStringList numberedNames(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("CAMPO%1").arg(i);
    return names;
}

QStringList servTranNames()
{
    QStringList names;
    for (const protocol::PacketField &f : cdsServTran())
        names << f.name;
    return names;
}

QString serviceList(int count)
{
    QString list = QStringLiteral("_");
    for (int i = 0; i < count; ++i)
        list += QStringLiteral("0001%1_").arg(i, 5, 10, QLatin1Char('0'));
    return list;
}

QVariantList calcArgs(const QString &services, int days = 1)
{
    return {QStringLiteral("_0001_"), services, day(), day(demoDay().addDays(days - 1)), QStringLiteral("ADMIN"),
            protocol::wallClock(QDateTime::currentDateTime())};
}

} // namespace

class TestServerLimits : public QObject {
    Q_OBJECT
private slots:
    void hostileRequests_data();
    void hostileRequests();
    void requestOverTheServersFrameLimit_data() { addBackendRows(); }
    void requestOverTheServersFrameLimit();
};

void TestServerLimits::hostileRequests_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("fault");   // a part of the fault, or empty when a result is expected
    QTest::addColumn<QString>("answer");  // a part of the method's own answer
    for (const QString &b : backends()) {
        newRow(b, "a packet of 40,000 fields") << "SetServTran" << QVariantList{rawDelta(numberedNames(40000), 0)}
                                              << "more than 24 fields" << "";
        newRow(b, "8 MB of empty rows") << "SetServTran" << QVariantList{rawDelta(servTranNames(), 280000)}
                                        << "more than 20000 rows" << "";
        newRow(b, "rows of no fields") << "SetServTran" << QVariantList{rawDelta({}, 10000)} << "rows but no fields" << "";
        newRow(b, "a change log over its size limit")
            << "SetServTran" << QVariantList{QVariant::fromValue(protocol::DataPacket(QByteArray(9 << 20, '\0')))}
            << "excede o limite" << "";
        newRow(b, "a day over its size limit") << "GetDados" << QVariantList{QString(100000, QLatin1Char('0')), QStringLiteral("00001"), day()}
                                               << "excede o limite" << "";
        newRow(b, "100,000 values") << "GetDados" << QVariantList{QVariant(QVariantList(100000, QVariant()))}
                                    << "too many values" << "";
        newRow(b, "a 200 KB service list") << "CalcServTrans" << calcArgs(serviceList(20000)) << "excede o limite" << "";
        newRow(b, "1,001 services") << "CalcServTrans" << calcArgs(serviceList(1001)) << ""
                                    << "Lista de serviços com mais de 1000 itens.";
        newRow(b, "1,000 services for a year") << "CalcServTrans" << calcArgs(serviceList(1000), 366) << ""
                                               << "no máximo 36600 dias de serviço";
        newRow(b, "1,000 services, one repeated, for a day") << "CalcServTrans"
            << calcArgs(serviceList(999) + serviceList(1).mid(1)) << "" << "não cadastrado";
        // each day of each service would hold a worker, and the answer say it was done
        newRow(b, "100 services that do not exist for a year") << "CalcServTrans" << calcArgs(serviceList(100), 365) << ""
                                                               << "Serviço 00000 da filial 0001 não cadastrado.";
    }
}

void TestServerLimits::hostileRequests()
{
    QFETCH(QString, backend);
    QFETCH(QString, method);
    QFETCH(QVariantList, args);
    QFETCH(QString, fault);
    QFETCH(QString, answer);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const protocol::Reply reply = f.client().call(method, args);
    if (!fault.isEmpty()) {
        QVERIFY2(reply.failed() && reply.fault.contains(fault), qPrintable(reply.fault));
    } else {
        QVERIFY2(!reply.failed(), qPrintable(reply.fault));
        const QString error = protocol::resultErrorText(reply.value);
        if (answer.isEmpty())
            QVERIFY2(error.isEmpty(), qPrintable(error));
        else
            QVERIFY2(error.contains(answer), qPrintable(error));
    }
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM SERVTRAN")).toLongLong(), 9);
    QCOMPARE(table(f.client().payload(QStringLiteral("GetServTran"), dayArgs())).rows.size(), 9);
}

void TestServerLimits::requestOverTheServersFrameLimit()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    TestClient hostile(f.port());
    QByteArray header(4, Qt::Uninitialized);
    qToBigEndian<quint32>(17u << 20, header.data());   // far below the wire's limit, over the server's
    hostile.send(header + QByteArray(1024, 'x'));
    QVERIFY(hostile.closedByPeer());
    QCOMPARE(table(f.client().payload(QStringLiteral("GetServTran"), dayArgs())).rows.size(), 9);
}

QTEST_GUILESS_MAIN(TestServerLimits)
#include "tst_serverlimits.moc"

// Frames, call values and the remote-result convention shared by client and server.

#include <protocol/frame.h>
#include <protocol/packet.h>
#include <protocol/remoteresult.h>
#include <protocol/value.h>

#include <QCborMap>
#include <QTest>

using namespace protocol;

namespace {
// Messages as Qt's CBOR tree writes them: the bytes clients of every version read.
QByteArray treeEncoded(const Request &r)
{
    QCborMap m;
    m.insert(QStringLiteral("server"), r.server);
    m.insert(QStringLiteral("method"), r.method);
    m.insert(QStringLiteral("args"), toCbor(r.args));
    return m.toCborValue().toCbor();
}
QByteArray treeEncoded(const Reply &r)
{
    QCborMap m;
    if (r.failed()) {
        m.insert(QStringLiteral("fault"), r.fault);
    } else {
        m.insert(QStringLiteral("value"), toCbor(r.value));
        m.insert(QStringLiteral("refs"), toCbor(r.refs));
    }
    return m.toCborValue().toCbor();
}
} // namespace

class TestWire : public QObject {
    Q_OBJECT
private slots:
    void framesArriveWholeWhateverTheChunking()
    {
        const QByteArray a = frame(QByteArray("first")), b = frame(QByteArray(70000, 'x')), c = frame(QByteArray());
        const QByteArray stream = a + b + c;
        for (int chunk : {1, 3, 4, 5, 4096, int(stream.size())}) {
            FrameBuffer buffer;
            QList<QByteArray> got;
            for (qsizetype at = 0; at < stream.size(); at += chunk) {
                buffer.append(stream.mid(at, chunk));
                while (auto payload = buffer.take())
                    got.append(*payload);
            }
            QCOMPARE(got.size(), 3);
            QCOMPARE(got[0], QByteArray("first"));
            QCOMPARE(got[1].size(), 70000);
            QCOMPARE(got[2], QByteArray());
            QCOMPARE(buffer.pendingBytes(), 0);
        }
    }

    void oversizedFrameIsRefused()
    {
        FrameBuffer buffer;
        buffer.append(QByteArray::fromHex("7fffffff") + "abc");
        QVERIFY(!buffer.take());
        QVERIFY(buffer.oversized());
    }

    void requestAndReplyRoundTrip()
    {
        PacketContent pc;
        pc.fields = {{QStringLiteral("SEQUSERV"), FieldKind::String, 10, false, true}};
        pc.rows = {{{QStringLiteral("0000000041")}, RowChange::Unchanged, {}}};
        const DataPacket packet = encodePacket(pc);
        Request req{QStringLiteral("Pla04100.rdmServTran"), QStringLiteral("CalcEtiqueta"),
                    {QStringLiteral("0001"), 4.0, wallClock(QDate(2026, 12, 8)), QVariant(), true,
                     QVariant::fromValue(packet), QVariantList{QStringLiteral("x"), QVariantList{1.5}}}};
        const Request back = decodeRequest(encodeRequest(req));
        QCOMPARE(back.server, req.server);
        QCOMPARE(back.method, req.method);
        QCOMPARE(back.args.size(), req.args.size());
        QCOMPARE(back.args[0].toString(), QStringLiteral("0001"));
        QCOMPARE(back.args[1].toDouble(), 4.0);
        QCOMPARE(back.args[2].toDateTime(), wallClock(QDate(2026, 12, 8)));
        QVERIFY(back.args[3].isNull());
        QCOMPARE(back.args[4].toBool(), true);
        QCOMPARE(back.args[5].value<DataPacket>(), packet);
        QCOMPARE(back.args[6].toList()[1].toList()[0].toDouble(), 1.5);

        Reply ok{resultOk(QVariantList{QVariant::fromValue(packet)}), {QStringLiteral("0000000001"), 3.0}, {}};
        const Reply okBack = decodeReply(encodeReply(ok));
        QVERIFY(!okBack.failed());
        QCOMPARE(resultErrorText(okBack.value), QString());
        QCOMPARE(resultPayload(okBack.value).toList()[0].value<DataPacket>(), packet);
        QCOMPARE(okBack.refs[1].toDouble(), 3.0);

        const Reply fault = decodeReply(encodeReply(Reply{{}, {}, QStringLiteral("Método desconhecido")}));
        QVERIFY(fault.failed());
        QCOMPARE(fault.fault, QStringLiteral("Método desconhecido"));
    }

    // Messages are written straight into their bytes; those bytes must stay exactly the ones Qt's
    // CBOR tree writes, head sizes at every boundary, text beyond ASCII and packets included.
    void messagesKeepTheirBytes_data()
    {
        QTest::addColumn<QVariantList>("values");
        PacketContent pc;
        pc.fields = {{QStringLiteral("NMPRATO"), FieldKind::String, 40, false, false}};
        pc.rows = {{{QStringLiteral("Feijão")}, RowChange::Unchanged, {}}};
        QTest::newRow("scalars") << QVariantList{QVariant(), true, false, 0, 23, 24, 255, 256, 65535, 65536, -1, -24, -25,
                                                 qint64(1) << 40, -(qint64(1) << 40), 0.5, -1e300, 4.0};
        QTest::newRow("text lengths") << QVariantList{QString(), QString(23, u'a'), QString(24, u'b'), QString(255, u'c'),
                                                      QString(256, u'd'), QString(70000, u'e'), QString(9, QChar(0xe7)),
                                                      QString(86, QChar(0x20ac)), QStringLiteral("Serviços 😀")};
        QTest::newRow("dates") << QVariantList{wallClock(QDate(2026, 12, 8)), wallClock(QDate(1899, 12, 30), QTime(13, 45, 10, 250)),
                                               QDate(2027, 1, 4)};
        QTest::newRow("nested") << QVariantList{QVariantList{}, QVariantList{1.5, QVariantList{QStringLiteral("x")}},
                                                QVariantMap{{QStringLiteral("payload"), 1}, {QStringLiteral("error"), QString()}},
                                                QVariantMap{}};
        QTest::newRow("packets") << QVariantList{QVariant::fromValue(encodePacket(pc)),
                                                 QVariant::fromValue(DataPacket(QByteArray(300, 'p')))};
    }
    void messagesKeepTheirBytes()
    {
        QFETCH(QVariantList, values);
        const Request request{QStringLiteral("Pla04100.rdmServTran"), QStringLiteral("GetDados"), values};
        QCOMPARE(encodeRequest(request).toHex(), treeEncoded(request).toHex());
        const Reply reply{QVariantMap{{QStringLiteral("payload"), values}}, values, {}};
        QCOMPARE(encodeReply(reply).toHex(), treeEncoded(reply).toHex());
        const Reply fault{{}, {}, values.value(1).toString() + QStringLiteral("Método desconhecido")};
        QCOMPARE(encodeReply(fault).toHex(), treeEncoded(fault).toHex());
    }

    void remoteResultNeverPassesAForeignValueForSuccess_data()
    {
        QTest::addColumn<QVariant>("raw");
        QTest::addColumn<bool>("isError");
        QTest::newRow("payload") << resultOk(true) << false;
        QTest::newRow("null payload") << resultOk(QVariant()) << false;
        QTest::newRow("error") << resultError(QStringLiteral("Falhou")) << true;
        QTest::newRow("bare value") << QVariant(true) << true;
        QTest::newRow("other map") << QVariant(QVariantMap{{QStringLiteral("x"), 1}}) << true;
    }

    void remoteResultNeverPassesAForeignValueForSuccess()
    {
        QFETCH(QVariant, raw);
        QFETCH(bool, isError);
        // Through the wire too: the convention must survive encoding.
        const QVariant received = decodeReply(encodeReply(Reply{raw, {}, {}})).value;
        QCOMPARE(!resultErrorText(received).isEmpty(), isError);
    }

    void malformedMessagesAreReported_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("garbage") << QByteArray("\xff\xfe", 2);
        QTest::newRow("array") << QByteArray::fromHex("80");
        QTest::newRow("no method") << QByteArray::fromHex("a1667365727665726161");
        QTest::newRow("deep nesting") << QByteArray(40, char(0x81)) + QByteArray::fromHex("01");
        // a frame of one-byte values builds many times its size: refused before it is built
        QTest::newRow("100,000 values")
            << encodeRequest({QStringLiteral("S"), QStringLiteral("M"), {QVariant(QVariantList(100000, QVariant()))}});
        QTest::newRow("values in an unending array")
            << QByteArray::fromHex("a3667365727665726153666d6574686f64614d6461726773819f") + QByteArray(20000, char(0xf6));
    }

    void largeMessagesOfFewValuesAreTaken()
    {
        // a data packet counts as one value, whatever its size
        const QVariant packet = QVariant::fromValue(DataPacket(QByteArray(4 << 20, 'x')));
        const Request r = decodeRequest(encodeRequest({QStringLiteral("S"), QStringLiteral("M"), {packet, QVariantList(9000, 1.0)}}));
        QCOMPARE(r.args.value(0), packet);
        QCOMPARE(r.args.value(1).toList().size(), 9000);
    }

    // A call's arguments read every integer CBOR writes, as data packets read them.
    void requestIntegersAsPacketsReadThem_data()
    {
        QTest::addColumn<QByteArray>("item");
        QTest::addColumn<double>("value");
        QTest::newRow("-2^64") << QByteArray::fromHex("3bffffffffffffffff") << -18446744073709551616.0;
        QTest::newRow("-2^64 + 1") << QByteArray::fromHex("3bfffffffffffffffe") << -18446744073709551615.0;
        QTest::newRow("-2^63") << QByteArray::fromHex("3b7fffffffffffffff") << -9223372036854775808.0;
        QTest::newRow("2^64 - 1") << QByteArray::fromHex("1bffffffffffffffff") << 18446744073709551615.0;
    }
    void requestIntegersAsPacketsReadThem()
    {
        QFETCH(QByteArray, item);
        QFETCH(double, value);
        // {"server": "S", "method": "M", "args": [item, item]}
        const QByteArray request = QByteArray::fromHex("a3667365727665726153666d6574686f64614d646172677382") + item + item;
        const Request r = decodeRequest(request);
        QCOMPARE(r.args, (QVariantList{value, value}));
        PacketContent c;
        c.fields = {{QStringLiteral("Q"), FieldKind::Float, 0, false, false}};
        c.rows = {{{1.0}, RowChange::Unchanged, {}}};
        QByteArray packet = encodePacket(c).bytes();
        packet.replace(packet.lastIndexOf(QByteArray::fromHex("fb3ff0000000000000")), 9, item);   // the row's 1.0
        QCOMPARE(decodePacket(DataPacket(packet)).rows.value(0).values.value(0), QVariant(value));
    }

    // A message's packets are taken out before Qt's tree reads the rest, and put back where they
    // were; a packet's tag over anything but its bytes stays the fault it always was.
    void packetsComeBackWhereTheyWere_data()
    {
        QTest::addColumn<QByteArray>("args");
        QTest::addColumn<QVariantList>("expected");   // empty: refused
        const QByteArray tag = QByteArray::fromHex("da61746164");   // kDataPacketTag
        const auto packet = [](const char *bytes) { return QVariant::fromValue(DataPacket(QByteArray(bytes))); };
        QTest::newRow("packets around -2^64 and in a map")
            << QByteArray::fromHex("84") + tag + QByteArray::fromHex("43616263") + QByteArray::fromHex("3bffffffffffffffff")
                   + QByteArray::fromHex("a1617a") + tag + QByteArray::fromHex("426465") + tag + QByteArray::fromHex("40")
            << QVariantList{packet("abc"), -18446744073709551616.0, QVariantMap{{QStringLiteral("z"), packet("de")}}, packet("")};
        QTest::newRow("a packet in chunks") << QByteArray::fromHex("81") + tag + QByteArray::fromHex("5f4261624163ff")
                                            << QVariantList{packet("abc")};
        QTest::newRow("a packet's tag over a number beside a packet")
            << QByteArray::fromHex("82") + tag + QByteArray::fromHex("43616263") + tag + QByteArray::fromHex("00") << QVariantList{};
    }
    void packetsComeBackWhereTheyWere()
    {
        QFETCH(QByteArray, args);
        QFETCH(QVariantList, expected);
        // {"server": "S", "method": "M", "args": args}
        const QByteArray request = QByteArray::fromHex("a3667365727665726153666d6574686f64614d6461726773") + args;
        if (expected.isEmpty())
            QVERIFY_THROWS_EXCEPTION(PacketError, decodeRequest(request));
        else
            QCOMPARE(decodeRequest(request).args, expected);
    }

    void malformedMessagesAreReported()
    {
        QFETCH(QByteArray, payload);
        QVERIFY_THROWS_EXCEPTION(PacketError, decodeRequest(payload));
    }
};

QTEST_APPLESS_MAIN(TestWire)
#include "tst_wire.moc"

// Data packets: round trips of every field kind, nulls against empty text, deltas, and
// malformed or truncated input that must be reported, never crashed on.

#include <protocol/packet.h>

#include <QCborStreamWriter>
#include <QRandomGenerator>
#include <QTest>

using namespace protocol;

namespace {

PacketContent sample()
{
    PacketContent c;
    c.fields = {{QStringLiteral("NMPRATO"), FieldKind::String, 40, true, false},
                {QStringLiteral("QTTOTAPRATST"), FieldKind::Float, 0, false, false},
                {QStringLiteral("DTSERVTRAN"), FieldKind::DateTime, 0, false, true}};
    c.rows.append({{QStringLiteral("1010010001"), 17.5, wallClock(QDate(2026, 12, 8))}, RowChange::Unchanged, {}});
    c.rows.append({{QVariant(), QVariant(), QVariant()}, RowChange::Unchanged, {}});
    c.rows.append({{QStringLiteral(""), -0.001, wallClock(QDate(1899, 12, 30), QTime(13, 45, 10, 250))}, RowChange::Unchanged, {}});
    c.rows.append({{QStringLiteral("Feijão 'à' \"carioca\""), 1e300, wallClock(QDate(2100, 2, 28))}, RowChange::Unchanged, {}});
    return c;
}

QByteArray corrupt(QByteArray bytes, qsizetype at, char value)
{
    bytes[at] = value;
    return bytes;
}

// A packet as Qt's streaming writer writes it: the bytes every client reads.
QByteArray streamWritten(const PacketContent &c)
{
    QByteArray out;
    QCborStreamWriter w(&out);
    w.startMap(c.delta ? 4 : 3);
    w.append(QStringLiteral("packet"));
    w.append(kPacketVersion);
    if (c.delta) {
        w.append(QStringLiteral("delta"));
        w.append(true);
    }
    w.append(QStringLiteral("fields"));
    w.startArray(quint64(c.fields.size()));
    for (const PacketField &f : c.fields) {
        w.startArray(4);
        w.append(f.name);
        w.append(fieldKindName(f.kind));
        w.append(quint64(f.size));
        w.append(quint64((f.required ? 1 : 0) | (f.readOnly ? 2 : 0)));
        w.endArray();
    }
    w.endArray();
    w.append(QStringLiteral("rows"));
    w.startArray(quint64(c.rows.size()));
    const auto row = [&](const QList<QVariant> &values) {
        w.startArray(quint64(values.size()));
        for (qsizetype i = 0; i < values.size(); ++i) {
            const QVariant &v = values[i];
            if (v.isNull()) {
                w.append(nullptr);
            } else if (c.fields[i].kind == FieldKind::String) {
                w.append(v.toString());
            } else if (c.fields[i].kind == FieldKind::Float) {
                w.append(v.toDouble());
            } else {
                const qint64 ms = v.toDateTime().toMSecsSinceEpoch();
                w.append(QCborTag(1));
                if (ms % 1000 == 0)
                    w.append(ms / 1000);
                else
                    w.append(double(ms) / 1000.0);
            }
        }
        w.endArray();
    };
    for (const PacketRow &r : c.rows) {
        if (!c.delta) {
            row(r.values);
            continue;
        }
        w.startArray(3);
        w.append(quint64(r.change));
        row(r.values);
        if (r.change == RowChange::Inserted)
            w.append(nullptr);
        else
            row(r.original);
        w.endArray();
    }
    w.endArray();
    w.endMap();
    return out;
}

} // namespace

class TestPacket : public QObject {
    Q_OBJECT
private slots:
    void roundTripKeepsEveryKindAndNull()
    {
        const PacketContent in = sample();
        const PacketContent out = decodePacket(encodePacket(in));
        QCOMPARE(out.fields, in.fields);
        QCOMPARE(out.delta, false);
        QCOMPARE(out.rows.size(), in.rows.size());
        for (qsizetype r = 0; r < in.rows.size(); ++r)
            for (qsizetype f = 0; f < in.fields.size(); ++f) {
                const QVariant a = in.rows[r].values[f], b = out.rows[r].values[f];
                QCOMPARE(b.isNull(), a.isNull());
                if (!a.isNull())
                    QCOMPARE(b, a);
            }
        // Empty text stays text, null stays null.
        QVERIFY(out.rows[1].values[0].isNull());
        QVERIFY(!out.rows[2].values[0].isNull());
        QCOMPARE(out.rows[2].values[0].toString(), QString());
    }

    // Recurring texts are shared between rows: each row must still get its own value, whether
    // its text came before, collides with another in the decoder's cache, or is new.
    void recurringTextsKeepEachRowsValue_data()
    {
        QTest::addColumn<int>("distinct");
        QTest::addColumn<int>("rows");
        QTest::newRow("a few, repeating") << 5 << 200;
        QTest::newRow("more than the cache holds") << 500 << 3000;
        QTest::newRow("every one new") << 3000 << 3000;
    }
    void recurringTextsKeepEachRowsValue()
    {
        QFETCH(int, distinct);
        QFETCH(int, rows);
        PacketContent in;
        in.fields = {{QStringLiteral("CODE"), FieldKind::String, 12, false, false},
                     {QStringLiteral("NAME"), FieldKind::String, 60, false, false}};
        for (int r = 0; r < rows; ++r) {
            const int v = (r * 7919) % distinct;
            in.rows.append({{QString::number(v), QStringLiteral("Prato número %1 ção").arg(v, 4, 10, QLatin1Char('0'))},
                            RowChange::Unchanged, {}});
        }
        const PacketContent out = decodePacket(encodePacket(in));
        QCOMPARE(out.rows.size(), in.rows.size());
        for (qsizetype r = 0; r < in.rows.size(); ++r)
            QCOMPARE(out.rows[r].values, in.rows[r].values);
    }

    void deltaCarriesChangeKindsAndOriginals()
    {
        PacketContent c = sample();
        c.delta = true;
        c.rows = {{{QStringLiteral("A"), 1.0, QVariant()}, RowChange::Inserted, {}},
                  {{QStringLiteral("B"), 2.0, QVariant()}, RowChange::Modified, {QStringLiteral("B0"), QVariant(), QVariant()}},
                  {{QStringLiteral("C"), 3.0, QVariant()}, RowChange::Deleted, {QStringLiteral("C"), 3.0, QVariant()}}};
        const PacketContent out = decodePacket(encodePacket(c));
        QVERIFY(out.delta);
        QCOMPARE(out.rows.size(), 3);
        QCOMPARE(out.rows[0].change, RowChange::Inserted);
        QVERIFY(out.rows[0].original.isEmpty());
        QCOMPARE(out.rows[1].change, RowChange::Modified);
        QCOMPARE(out.rows[1].original[0].toString(), QStringLiteral("B0"));
        QVERIFY(out.rows[1].original[1].isNull());
        QCOMPARE(out.rows[2].change, RowChange::Deleted);
        QCOMPARE(out.rows[2].original[1].toDouble(), 3.0);
    }

    // Packets are written byte by byte by our own writer: the bytes must stay Qt's.
    void packetsKeepTheirBytes()
    {
        PacketContent c = sample();
        c.rows.append({{QString(24, u'x'), 65536.0, wallClock(QDate(1970, 1, 1))}, RowChange::Unchanged, {}});
        c.rows.append({{QString(40, QChar(0x20ac)), -0.0, wallClock(QDate(1969, 12, 31), QTime(23, 59, 59, 1))}, RowChange::Unchanged, {}});
        QCOMPARE(encodePacket(c).bytes().toHex(), streamWritten(c).toHex());
        c.delta = true;
        c.rows = {{{QStringLiteral("A"), 1.0, QVariant()}, RowChange::Inserted, {}},
                  {{QStringLiteral("B"), 2.0, QVariant()}, RowChange::Modified, {QStringLiteral("Bç"), QVariant(), QVariant()}},
                  {{QStringLiteral("C"), 3.0, QVariant()}, RowChange::Deleted, {QStringLiteral("C"), 3.0, QVariant()}}};
        QCOMPARE(encodePacket(c).bytes().toHex(), streamWritten(c).toHex());
    }

    void encodingRefusesInconsistentRows()
    {
        PacketContent c = sample();
        c.rows[0].values.removeLast();
        QVERIFY_THROWS_EXCEPTION(PacketError, encodePacket(c));
        PacketContent tooLong = sample();
        tooLong.rows[0].values[0] = QString(41, QLatin1Char('x'));
        QVERIFY_THROWS_EXCEPTION(PacketError, encodePacket(tooLong));
        PacketContent d = sample();
        d.delta = true;   // rows without a change kind
        QVERIFY_THROWS_EXCEPTION(PacketError, encodePacket(d));
    }

    void malformedInputIsReported_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = encodePacket(sample()).bytes();
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not cbor") << QByteArray("hello world");
        QTest::newRow("not a map") << QByteArray::fromHex("83010203");
        QTest::newRow("half") << good.left(good.size() / 2);
        QTest::newRow("last byte missing") << good.chopped(1);
        QTest::newRow("junk after the packet") << good + QByteArray("\x01", 1);
        QTest::newRow("wrong version") << corrupt(good, good.indexOf("packet") + 6, char(0x09));
        {
            QByteArray b;
            QCborStreamWriter w(&b);
            w.startMap(3);
            w.append(QStringLiteral("packet"));
            w.append(1);
            w.append(QStringLiteral("rows"));
            w.startArray(0);
            w.endArray();
            w.append(QStringLiteral("fields"));
            w.startArray(0);
            w.endArray();
            w.endMap();
            QTest::newRow("rows before fields") << b;
        }
        {
            // A row array that claims four billion entries in a few bytes.
            QByteArray b;
            QCborStreamWriter w(&b);
            w.startMap(3);
            w.append(QStringLiteral("packet"));
            w.append(1);
            w.append(QStringLiteral("fields"));
            w.startArray(1);
            w.startArray(4);
            w.append(QStringLiteral("A"));
            w.append(QStringLiteral("string"));
            w.append(1);
            w.append(0);
            w.endArray();
            w.endArray();
            w.append(QStringLiteral("rows"));
            b.append(char(0x9b)).append(QByteArray::fromHex("00000000FFFFFFFF"));
            QTest::newRow("huge row count") << b;
        }
        {
            QByteArray b;
            QCborStreamWriter w(&b);
            w.startMap(3);
            w.append(QStringLiteral("packet"));
            w.append(1);
            w.append(QStringLiteral("fields"));
            w.startArray(1);
            w.startArray(4);
            w.append(QStringLiteral("A"));
            w.append(QStringLiteral("string"));
            w.append(1);
            w.append(0);
            w.endArray();
            w.endArray();
            w.append(QStringLiteral("rows"));
            w.startArray(1);
            w.startArray(1);
            b.append(char(0x7b)).append(QByteArray::fromHex("7FFFFFFFFFFFFFFF"));   // text of 2^63 bytes
            QTest::newRow("huge text length") << b;
        }
        {
            PacketContent c;
            c.fields = {{QStringLiteral("A"), FieldKind::String, 2, false, false}};
            c.rows = {{{QStringLiteral("ab")}, RowChange::Unchanged, {}}};
            QByteArray tooLong = encodePacket(c).bytes();
            tooLong.replace(QByteArray::fromHex("626162"), QByteArray::fromHex("63616263"));
            tooLong.replace(QByteArray::fromHex("8162"), QByteArray::fromHex("8163"));
            QTest::newRow("text longer than its field") << tooLong;
        }
        {
            PacketContent c;
            c.fields = {{QStringLiteral("A"), FieldKind::String, 4, false, false}};
            c.rows = {{{QStringLiteral("abcd")}, RowChange::Unchanged, {}}};
            QByteArray bytes = encodePacket(c).bytes();
            bytes.replace(QByteArray("abcd"), QByteArray("ab\xff\xfe", 4));
            QTest::newRow("text that is not UTF-8") << bytes;
        }
    }

    void malformedInputIsReported()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY_THROWS_EXCEPTION(PacketError, decodePacket(DataPacket(bytes)));
    }

    // Counts are checked before the loops that build a packet, so that a packet of small items
    // cannot make its decoder work or allocate out of proportion.
    void limitsAreChecked_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qsizetype>("maxRows");
        QTest::addColumn<bool>("accepted");
        const auto withFields = [](int count, bool duplicateLast) {
            PacketContent c;
            for (int i = 0; i < count; ++i)
                c.fields << PacketField{QStringLiteral("F%1").arg(duplicateLast && i == count - 1 ? 0 : i), FieldKind::Float, 0, false, false};
            return encodePacket(c).bytes();
        };
        const auto withRows = [](int fieldCount, int rows) {
            QList<PacketField> fields;
            for (int i = 0; i < fieldCount; ++i)
                fields << PacketField{QStringLiteral("F%1").arg(i), FieldKind::Float, 0, false, false};
            PacketWriter writer(fields);
            for (int r = 0; r < rows; ++r) {
                writer.startRow();
                for (int i = 0; i < fieldCount; ++i)
                    writer.appendNull();
                writer.endRow();
            }
            return writer.finish().bytes();
        };
        QTest::newRow("as many fields as allowed") << withFields(int(kMaxPacketFields), false) << qsizetype(-1) << true;
        QTest::newRow("a duplicate among them") << withFields(int(kMaxPacketFields), true) << qsizetype(-1) << false;
        QTest::newRow("40,000 fields") << withFields(40000, false) << qsizetype(-1) << false;
        QTest::newRow("rows of no fields") << withRows(0, 100000) << qsizetype(-1) << false;
        QTest::newRow("no fields, no rows") << withRows(0, 0) << qsizetype(-1) << true;
        QTest::newRow("rows up to the limit") << withRows(3, 50) << qsizetype(50) << true;
        QTest::newRow("a row over the limit") << withRows(3, 51) << qsizetype(50) << false;
    }

    void limitsAreChecked()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qsizetype, maxRows);
        QFETCH(bool, accepted);
        PacketLimits limits;
        limits.maxRows = maxRows;
        if (accepted)
            decodePacket(DataPacket(bytes), limits);
        else
            QVERIFY_THROWS_EXCEPTION(PacketError, decodePacket(DataPacket(bytes), limits));
    }

    void writerMatchesEncodedContent()
    {
        // rows written one by one decode to the content encodePacket() writes whole
        const PacketContent content = sample();
        PacketWriter writer(content.fields);
        for (const PacketRow &row : content.rows) {
            writer.startRow();
            for (qsizetype i = 0; i < row.values.size(); ++i) {
                const QVariant &v = row.values[i];
                if (v.isNull())
                    writer.appendNull();
                else if (content.fields[i].kind == FieldKind::String)
                    writer.appendText(v.toString());
                else if (content.fields[i].kind == FieldKind::Float)
                    writer.appendNumber(v.toDouble());
                else
                    writer.appendDateTime(v.toDateTime());
            }
            writer.endRow();
        }
        const PacketContent streamed = decodePacket(writer.finish());
        const PacketContent whole = decodePacket(encodePacket(content));
        QCOMPARE(streamed.fields, whole.fields);
        QCOMPARE(streamed.rows.size(), whole.rows.size());
        for (qsizetype r = 0; r < whole.rows.size(); ++r)
            QCOMPARE(streamed.rows[r].values, whole.rows[r].values);
    }

    void writerRefusesInconsistentRows_data()
    {
        QTest::addColumn<int>("misuse");
        QTest::newRow("a number for a text") << 0;
        QTest::newRow("a text longer than its field") << 1;
        QTest::newRow("a row short of a value") << 2;
        QTest::newRow("a value beyond the fields") << 3;
        QTest::newRow("the packet ends inside a row") << 4;
        QTest::newRow("a value outside a row") << 5;
    }

    void writerRefusesInconsistentRows()
    {
        QFETCH(int, misuse);
        const QList<PacketField> fields = {{QStringLiteral("CDPRATO"), FieldKind::String, 3, false, false},
                                           {QStringLiteral("QTPADRAO"), FieldKind::Float, 0, false, false}};
        PacketWriter writer(fields);
        const auto misused = [&] {
            if (misuse == 5) {
                writer.appendNull();
                return;
            }
            writer.startRow();
            switch (misuse) {
            case 0: writer.appendNumber(1); return;
            case 1: writer.appendText(QStringLiteral("abcd")); return;
            case 2: writer.appendText(QStringLiteral("abc")); writer.endRow(); return;
            case 3: writer.appendNull(); writer.appendNull(); writer.appendNull(); return;
            case 4: writer.appendNull(); writer.finish(); return;
            }
        };
        QVERIFY_THROWS_EXCEPTION(PacketError, misused());
    }

    // The dataset reads a packet's cells where they stand: indexing refuses exactly what decoding
    // refuses, and each cell reads back as decoding gives it.
    void indexingAgreesWithDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = encodePacket(sample()).bytes();
        QTest::newRow("encoded") << good;
        QTest::newRow("Qt's stream writer") << streamWritten(sample());
        PacketContent delta = sample();
        delta.delta = true;
        for (PacketRow &row : delta.rows)
            row.change = RowChange::Inserted;
        QTest::newRow("a delta") << encodePacket(delta).bytes();
        // Lengths are UTF-16 units: a character of four UTF-8 bytes counts two.
        PacketContent wide;
        wide.fields = {{QStringLiteral("A"), FieldKind::String, 5, false, false}};
        wide.rows = {{{QStringLiteral("a\U0001F600bc")}, RowChange::Unchanged, {}},
                     {{QStringLiteral("\u00e7\u00e3\u20ac\u00e9\u00ea")}, RowChange::Unchanged, {}}};
        QTest::newRow("four-byte characters at the length") << encodePacket(wide).bytes();
        wide.rows.removeLast();
        QTest::newRow("a four-byte character over the length")
            << QByteArray(encodePacket(wide).bytes()).replace(QByteArray("string\x05"), QByteArray("string\x04"));
        QRandomGenerator rng(2604);
        for (int round = 0; round < 300; ++round) {
            QByteArray b = good;
            b[rng.bounded(int(b.size()))] = char(rng.bounded(256));
            if (round % 5 == 0)
                b.truncate(rng.bounded(int(b.size())));
            QTest::addRow("damaged %d", round) << b;
        }
    }

    void indexingAgreesWithDecoding()
    {
        QFETCH(QByteArray, bytes);
        std::optional<PacketContent> decoded;
        try {
            decoded = decodePacket(DataPacket(bytes));
        } catch (const PacketError &) {
            QVERIFY_THROWS_EXCEPTION(PacketError, indexPacket(DataPacket(bytes)));
            return;
        }
        const PacketContent indexed = indexPacket(DataPacket(bytes));
        QCOMPARE(indexed.fields, decoded->fields);
        QCOMPARE(indexed.delta, decoded->delta);
        if (decoded->delta) {   // a delta is decoded whole
            QVERIFY(!indexed.cells);
            QCOMPARE(indexed.rows.size(), decoded->rows.size());
            return;
        }
        QVERIFY(indexed.rows.isEmpty());
        QCOMPARE(indexed.cells->rowCount(), decoded->rows.size());
        for (qsizetype r = 0; r < decoded->rows.size(); ++r)
            for (qsizetype f = 0; f < decoded->fields.size(); ++f) {
                const QVariant expected = decoded->rows[r].values[f];
                const QVariant cell = indexed.cells->value(r, f);
                QCOMPARE(cell.isNull(), expected.isNull());
                QCOMPARE(cell.metaType(), expected.metaType());
                if (!expected.isNull())
                    QCOMPARE(cell, expected);
                if (decoded->fields[f].kind == FieldKind::String)
                    QCOMPARE(indexed.cells->utf8(r, f), expected.isNull() ? std::nullopt
                                                                          : std::optional(expected.toString().toUtf8()));
            }
    }

    void randomDamageNeverCrashes()
    {
        // Every single-byte change and every truncation of a real packet either decodes or is
        // reported; the sanitizer build watches for anything worse.
        const QByteArray good = encodePacket(sample()).bytes();
        QRandomGenerator rng(4100);
        int reported = 0;
        for (int round = 0; round < 2000; ++round) {
            QByteArray b = good;
            const int changes = 1 + int(rng.bounded(3));
            for (int k = 0; k < changes; ++k)
                b[rng.bounded(int(b.size()))] = char(rng.bounded(256));
            if (round % 5 == 0)
                b.truncate(rng.bounded(int(b.size())));
            try {
                decodePacket(DataPacket(b));
            } catch (const PacketError &) {
                ++reported;
            }
        }
        QVERIFY(reported > 0);
    }
};

QTEST_APPLESS_MAIN(TestPacket)
#include "tst_packet.moc"

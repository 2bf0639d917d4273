// Saving, labelling, deleting and calculating dish rows over a loopback port, checked in the
// database afterwards.

#include "testsupport.h"

#include <rules/containercalc.h>

#include <QTest>
#include <QThread>

using namespace servertest;
using protocol::FieldKind;
using protocol::PacketField;
using protocol::RowChange;

Q_DECLARE_METATYPE(protocol::RowChange)

namespace {

const QString kChangedByOther = QStringLiteral("O serviço transportado foi alterado ou excluído por outro usuário.");

// CalcEtiqueta's fifteen arguments for a dish row and its label inputs.
QVariantList labelArgs(const QVariantMap &row, double fullWithSample, double partialQuantity, double partialWithSample,
                       double fullWithoutSample = 0, double partialWithoutSample = 0)
{
    return {row[QStringLiteral("CDFILIAL")], row[QStringLiteral("CDSERVFILI")], row[QStringLiteral("CDDESTFILI")],
            row[QStringLiteral("NRSERVTRAN")], row[QStringLiteral("CDCLIENTE")], row[QStringLiteral("CDDIETPADST")],
            row[QStringLiteral("DTSERVTRAN")], row[QStringLiteral("CDFILAUXPRAT")], row[QStringLiteral("CDPRATO")],
            fullWithoutSample, row[QStringLiteral("QTCONTAIST")], partialQuantity, partialWithoutSample,
            fullWithSample, partialWithSample};
}

QVariantList dayArgs(const QString &service = QStringLiteral("00001"), QDate date = demoDay())
{
    return {QStringLiteral("0001"), service, day(date)};
}

// Label quantities of a row, in label order.
QList<double> labelsOf(server::Database &db, const QString &number, const QString &service = QStringLiteral("00001"),
                       QDate date = demoDay())
{
    QList<double> quantities;
    QString expected = QStringLiteral("0001");
    for (const QVariantList &r : rows(db, QStringLiteral(
             "SELECT NRSEQUETIQTR, QTPRATETIQTR FROM ETIQSERVTRAN WHERE CDFILIAL = '0001' AND CDSERVFILI = :S "
             "AND DTSERVTRAN = :D AND NRSERVTRAN = :N ORDER BY NRSEQUETIQTR"),
             {{QStringLiteral("S"), service}, {QStringLiteral("D"), date}, {QStringLiteral("N"), number}})) {
        if (r[0].toString() != expected)
            return {-1};   // numbering broken
        expected = QStringLiteral("%1").arg(expected.toInt() + 1, 4, 10, QLatin1Char('0'));
        quantities << r[1].toDouble();
    }
    return quantities;
}

qint64 dishRowCount(server::Database &db)
{
    return scalar(db, QStringLiteral("SELECT COUNT(*) FROM SERVTRAN")).toLongLong();
}

bool sameQuantities(const QList<double> &a, const QList<double> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (std::fabs(a[i] - b[i]) > 1e-9)
            return false;
    return true;
}

QString describe(const QList<double> &list)
{
    QStringList s;
    for (double d : list)
        s << QString::number(d, 'g', 17);
    return s.join(u',');
}

} // namespace

class TestServTranSave : public QObject {
    Q_OBJECT
private slots:
    void saveNewRowAndLabels_data();
    void saveNewRowAndLabels();
    void modifyRow_data() { addBackendRows(); }
    void modifyRow();
    void staleChangeRefused_data();
    void staleChangeRefused();
    void deleteRow_data() { addBackendRows(); }
    void deleteRow();
    void duplicateNumberRefused_data() { addBackendRows(); }
    void duplicateNumberRefused();
    void allOrNothing_data() { addBackendRows(); }
    void allOrNothing();
    void deltaFaults_data();
    void deltaFaults();
    void calcEtiquetaRefused_data();
    void calcEtiquetaRefused();
    void delServTran_data() { addBackendRows(); }
    void delServTran();
    void deletePrato_data() { addBackendRows(); }
    void deletePrato();
    void calcServTrans_data();
    void calcServTrans();
    void calcServTransScope_data() { addBackendRows(); }
    void calcServTransScope();
    void calcServTransLists_data();
    void calcServTransLists();
    void calcServTransCommitsDayByDay_data() { addBackendRows(); }
    void calcServTransCommitsDayByDay();
    void twoClientsSameDay_data() { addBackendRows(); }
    void twoClientsSameDay();
    void twoServersOneDatabase_data() { addBackendRows(); }
    void twoServersOneDatabase();
    void theScreensFiguresAreTheServers_data() { addBackendRows(); }
    void theScreensFiguresAreTheServers();
    void implausibleQuantitiesRefused_data();
    void implausibleQuantitiesRefused();
    void sqlLookingText_data() { addBackendRows(); }
    void sqlLookingText();
    void statementsUsedAgain_data() { addBackendRows(); }
    void statementsUsedAgain();
    void labelsKeepTheirPreparationTime_data() { addBackendRows(); }
    void labelsKeepTheirPreparationTime();
    void rowNumbersNeverComeBack_data();
    void rowNumbersNeverComeBack();
};

// The screen's road for a new dish: number it, save it, label it, read it back.
void TestServTranSave::saveNewRowAndLabels_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<double>("full");
    QTest::addColumn<double>("partialQuantity");
    QTest::addColumn<double>("partialCount");
    QTest::addColumn<QList<double>>("labels");
    for (const QString &b : backends()) {
        newRow(b, "two partial containers") << 3.0 << 2.75 << 2.0 << QList<double>{4, 4, 4, 2.75, 2.75};
        newRow(b, "one partial container") << 4.0 << 2.0 << 1.0 << QList<double>{4, 4, 4, 4, 2};
        newRow(b, "complete containers only") << 4.0 << 0.0004 << 0.0 << QList<double>{4, 4, 4, 4};
        newRow(b, "a single partial container") << 0.0 << 8.0 << 1.0 << QList<double>{8};
        newRow(b, "no container") << 0.0 << 0.0 << 0.0 << QList<double>{};
    }
}

void TestServTranSave::saveNewRowAndLabels()
{
    QFETCH(QString, backend);
    QFETCH(double, full);
    QFETCH(double, partialQuantity);
    QFETCH(double, partialCount);
    QFETCH(QList<double>, labels);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    TestClient &c = f.client();

    const Table seq = table(c.payload(QStringLiteral("GetSeqServTran"), dayArgs() << QStringLiteral("XXXX")));
    QCOMPARE(seq.rows[0][QStringLiteral("SEQUSERV")].toString(), QStringLiteral("0000000009"));
    const QVariantMap dish = newDish(QStringLiteral("0000000010"), QStringLiteral("0000105"), QStringLiteral("003"),
                                     QStringLiteral("1010010002"));
    QCOMPARE(c.text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, dish, {}}})}), QString());
    // labelled twice: the second calculation replaces the first one's labels
    QCOMPARE(c.text(QStringLiteral("CalcEtiqueta"), labelArgs(dish, 9, 1, 2)), QString());
    QCOMPARE(c.text(QStringLiteral("CalcEtiqueta"), labelArgs(dish, full, partialQuantity, partialCount)), QString());

    const QList<double> stored = labelsOf(f.db(), QStringLiteral("0000000010"));
    QVERIFY2(sameQuantities(stored, labels), qPrintable(describe(stored)));
    const QList<QVariantList> row = rows(f.db(), QStringLiteral(
        "SELECT CDCLIENTE, CDDESTFILI, CDPRATO, QTCOMESTIST, QTPADRAOST, QTAMOSTRAST, QTTOTACONTSTCAMOS, "
        "QTCONTCOMPSTCAMOS, DTSERVTRAN, QTEFETCLIST FROM SERVTRAN WHERE NRSERVTRAN = '0000000010'"));
    QCOMPARE(row.size(), 1);
    QCOMPARE(row[0][0].toString(), QStringLiteral("0000105"));
    QCOMPARE(row[0][2].toString(), QStringLiteral("1010010002"));
    QCOMPARE(row[0][3].toDouble(), 70.0);
    QCOMPARE(row[0][5].toDouble(), 0.5);
    QCOMPARE(row[0][6].toDouble(), full + partialCount);
    QCOMPARE(row[0][7].toDouble(), full);
    QCOMPARE(f.db().dateFromSql(row[0][8]), demoDay());
    QVERIFY(row[0][9].isNull());

    // what the screen reads back
    const QVariantMap back = storedDish(c, QStringLiteral("0000000010"));
    QCOMPARE(back[QStringLiteral("QTTOTACONTSTCAMOS")].toDouble(), full + partialCount);
    QCOMPARE(back[QStringLiteral("NMPRATO")].toString(), QStringLiteral("Bife acebolado"));   // the dish's own name
    QCOMPARE(back[QStringLiteral("DTSERVTRAN")], day());
    const Table seqAfter = table(c.payload(QStringLiteral("GetSeqServTran"), dayArgs() << QStringLiteral("XXXX")));
    QCOMPARE(seqAfter.rows[0][QStringLiteral("SEQUSERV")].toString(), QStringLiteral("0000000010"));
}

void TestServTranSave::modifyRow()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QVariantMap original = storedDish(f.client(), QStringLiteral("0000000007"));
    QVariantMap changed = original;
    changed[QStringLiteral("QTCOMESTIST")] = 80.0;
    changed[QStringLiteral("QTEFETCLIST")] = 80.0;
    changed[QStringLiteral("QTAMOSTRAST")] = QVariant();   // null is stored as null
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Modified, changed, original}})}), QString());
    const QList<QVariantList> row = rows(f.db(), QStringLiteral(
        "SELECT QTCOMESTIST, QTEFETCLIST, QTAMOSTRAST, CDPRATO FROM SERVTRAN WHERE NRSERVTRAN = '0000000007'"));
    QCOMPARE(row[0][0].toDouble(), 80.0);
    QCOMPARE(row[0][1].toDouble(), 80.0);
    QVERIFY(row[0][2].isNull());
    QCOMPARE(row[0][3].toString(), QStringLiteral("1010010001"));
    QCOMPARE(labelsOf(f.db(), QStringLiteral("0000000007")).size(), 3);   // labels wait for CalcEtiqueta
}

// A change made on a row that another user changed or removed meanwhile is refused, and nothing
// of it is written.
void TestServTranSave::staleChangeRefused_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<protocol::RowChange>("kind");
    const QString otherDish = QStringLiteral("UPDATE SERVTRAN SET CDPRATO = '1010010002' WHERE NRSERVTRAN = '0000000007'");
    const QString otherClient = QStringLiteral("UPDATE SERVTRAN SET CDCLIENTE = '0000102' WHERE NRSERVTRAN = '0000000007'");
    const QString deleted = QStringLiteral("DELETE FROM SERVTRAN WHERE NRSERVTRAN = '0000000007'");
    for (const QString &b : backends()) {
        newRow(b, "modify, dish changed") << otherDish << RowChange::Modified;
        newRow(b, "modify, client changed") << otherClient << RowChange::Modified;
        newRow(b, "modify, row deleted") << deleted << RowChange::Modified;
        newRow(b, "delete, number reused") << otherDish << RowChange::Deleted;
    }
}

void TestServTranSave::staleChangeRefused()
{
    QFETCH(QString, backend);
    QFETCH(QString, meanwhile);
    QFETCH(protocol::RowChange, kind);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QVariantMap original = storedDish(f.client(), QStringLiteral("0000000007"));
    QVariantMap changed = original;
    changed[QStringLiteral("QTCOMESTIST")] = 99.0;
    f.db().execute(meanwhile);
    const auto before = rows(f.db(), QStringLiteral("SELECT * FROM SERVTRAN ORDER BY NRSERVTRAN"));
    // a good change in the same log must not be written either
    const QVariantMap fine = newDish(QStringLiteral("0000000010"), QStringLiteral("0000105"), QStringLiteral("003"),
                                     QStringLiteral("1010010002"));
    const QString answer = f.client().text(QStringLiteral("SetServTran"),
                                           {dishDelta({{RowChange::Inserted, fine, {}}, {kind, changed, original}})});
    QCOMPARE(answer, kChangedByOther);
    QVERIFY(rows(f.db(), QStringLiteral("SELECT * FROM SERVTRAN ORDER BY NRSERVTRAN")) == before);
}

void TestServTranSave::deleteRow()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    TestClient &c = f.client();
    const QVariantMap seven = storedDish(c, QStringLiteral("0000000007"));
    QCOMPARE(c.text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Deleted, seven, seven}})}), QString());
    QCOMPARE(dishRowCount(f.db()), 8);
    QVERIFY(labelsOf(f.db(), QStringLiteral("0000000007")).isEmpty());   // its labels went with it
    QCOMPARE(labelsOf(f.db(), QStringLiteral("0000000001")).size(), 5);

    // the screen deletes a dish with DeletePrato, then sends the deletion in its change log
    const QVariantMap eight = storedDish(c, QStringLiteral("0000000008"));
    QCOMPARE(c.payload(QStringLiteral("DeletePrato"),
                       {eight[QStringLiteral("CDFILAUXPRAT")], eight[QStringLiteral("CDPRATO")], eight[QStringLiteral("CDFILIAL")],
                        eight[QStringLiteral("CDSERVFILI")], eight[QStringLiteral("CDDESTFILI")], eight[QStringLiteral("CDCLIENTE")],
                        eight[QStringLiteral("DTSERVTRAN")]}),
             QVariant(true));
    QCOMPARE(c.text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Deleted, eight, eight}})}), QString());
    QCOMPARE(dishRowCount(f.db()), 7);
}

void TestServTranSave::duplicateNumberRefused()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QVariantMap dish = newDish(QStringLiteral("0000000009"), QStringLiteral("0000105"), QStringLiteral("003"),
                                     QStringLiteral("1010010002"));
    const QString answer = f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, dish, {}}})});
    QVERIFY2(answer.contains(QLatin1String("0000000009")), qPrintable(answer));
    QCOMPARE(dishRowCount(f.db()), 9);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT CDPRATO FROM SERVTRAN WHERE NRSERVTRAN = '0000000009'")).toString(),
             QStringLiteral("4010010001"));

    // a changed row given the number of another row
    const QVariantMap seven = storedDish(f.client(), QStringLiteral("0000000007"));
    QVariantMap renumbered = seven;
    renumbered[QStringLiteral("NRSERVTRAN")] = QStringLiteral("0000000001");
    const QString refused = f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Modified, renumbered, seven}})});
    QVERIFY2(refused.contains(QLatin1String("0000000001")), qPrintable(refused));
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE NRSERVTRAN = '0000000007'")).toLongLong(), 1);
}

void TestServTranSave::allOrNothing()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QVariantMap ten = newDish(QStringLiteral("0000000010"), QStringLiteral("0000105"), QStringLiteral("003"),
                                    QStringLiteral("1010010002"));
    QVariantMap tenAgain = ten;
    tenAgain[QStringLiteral("CDPRATO")] = QStringLiteral("2010010003");
    const QString answer = f.client().text(QStringLiteral("SetServTran"),
                                           {dishDelta({{RowChange::Inserted, ten, {}}, {RowChange::Inserted, tenAgain, {}}})});
    QVERIFY(!answer.isEmpty());
    QCOMPARE(dishRowCount(f.db()), 9);
}

// A change log the server cannot take as it stands is a fault, and nothing is written.
void TestServTranSave::deltaFaults_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QVariant>("delta");
    const QVariantMap dish = newDish(QStringLiteral("0000000010"), QStringLiteral("0000105"), QStringLiteral("003"),
                                     QStringLiteral("1010010002"));
    const auto withField = [&](const QString &name, const PacketField &replacement) {
        QList<PacketField> fields = cdsServTran();
        for (PacketField &f : fields)
            if (f.name == name)
                f = replacement;
        return fields;
    };
    QList<PacketField> unknown = cdsServTran();
    unknown << PacketField{QStringLiteral("QTXPTO"), FieldKind::Float, 0, false, false};
    QList<PacketField> noNumber = cdsServTran();
    noNumber.removeIf([](const PacketField &f) { return f.name == QLatin1String("NRSERVTRAN"); });
    QVariantMap longDish = dish;
    longDish[QStringLiteral("CDPRATO")] = QStringLiteral("10100100011");
    QVariantMap longName = dish;
    longName[QStringLiteral("NMPRATO")] = QString(41, QLatin1Char('x'));
    protocol::PacketContent plain;
    plain.fields = cdsServTran();
    for (const QString &b : backends()) {
        newRow(b, "unknown field") << dishDelta({{RowChange::Inserted, dish, {}}}, unknown);
        newRow(b, "number field of text kind") << dishDelta({{RowChange::Inserted, dish, {}}},
                                                      withField(QStringLiteral("QTCOMESTIST"),
                                                                {QStringLiteral("QTCOMESTIST"), FieldKind::String, 10, false, false}));
        newRow(b, "date field of number kind") << dishDelta({{RowChange::Inserted, dish, {}}},
                                                      withField(QStringLiteral("DTSERVTRAN"),
                                                                {QStringLiteral("DTSERVTRAN"), FieldKind::Float, 0, false, false}));
        newRow(b, "dish code too long") << dishDelta({{RowChange::Inserted, longDish, {}}},
                                               withField(QStringLiteral("CDPRATO"),
                                                         {QStringLiteral("CDPRATO"), FieldKind::String, 20, false, false}));
        newRow(b, "dish name too long") << dishDelta({{RowChange::Inserted, longName, {}}},
                                               withField(QStringLiteral("NMPRATO"),
                                                         {QStringLiteral("NMPRATO"), FieldKind::String, 60, false, false}));
        newRow(b, "no row number field") << dishDelta({{RowChange::Inserted, dish, {}}}, noNumber);
        newRow(b, "not a change log") << QVariant::fromValue(protocol::encodePacket(plain));
        newRow(b, "not a packet at all") << QVariant::fromValue(protocol::DataPacket(QByteArrayLiteral("\xa1\x61x\x01")));
    }
}

void TestServTranSave::deltaFaults()
{
    QFETCH(QString, backend);
    QFETCH(QVariant, delta);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const protocol::Reply reply = f.client().call(QStringLiteral("SetServTran"), {delta});
    QVERIFY(reply.failed());
    qDebug().noquote() << reply.fault;
    QCOMPARE(dishRowCount(f.db()), 9);
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta({})}), QString());   // still serving
}

void TestServTranSave::calcEtiquetaRefused_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QVariantMap>("changes");   // to the row's identity
    QTest::addColumn<QVariantList>("inputs");   // full with sample, partial quantity, partial count with sample, full without, partial without
    for (const QString &b : backends()) {
        newRow(b, "fraction of a container") << QVariantMap() << QVariantList{2.5, 1.0, 1.0, 2.0, 1.0};
        newRow(b, "negative count") << QVariantMap() << QVariantList{-1.0, 1.0, 1.0, 2.0, 1.0};
        newRow(b, "three partial containers") << QVariantMap() << QVariantList{2.0, 1.0, 3.0, 2.0, 1.0};
        newRow(b, "three partial without sample") << QVariantMap() << QVariantList{2.0, 1.0, 1.0, 2.0, 3.0};
        newRow(b, "fraction without sample") << QVariantMap() << QVariantList{2.0, 1.0, 1.0, 0.5, 1.0};
        newRow(b, "10000 labels") << QVariantMap() << QVariantList{9999.0, 1.0, 1.0, 2.0, 1.0};
        newRow(b, "negative quantity") << QVariantMap() << QVariantList{2.0, -1.0, 1.0, 2.0, 1.0};
        newRow(b, "1e308 in a container") << QVariantMap() << QVariantList{2.0, 1e308, 1.0, 2.0, 1.0};
        newRow(b, "row of another client") << QVariantMap{{QStringLiteral("CDCLIENTE"), QStringLiteral("0000101")}}
                                     << QVariantList{2.0, 1.0, 1.0, 2.0, 1.0};
        newRow(b, "no such row") << QVariantMap{{QStringLiteral("NRSERVTRAN"), QStringLiteral("0000000099")}}
                           << QVariantList{2.0, 1.0, 1.0, 2.0, 1.0};
        newRow(b, "row of another dish") << QVariantMap{{QStringLiteral("CDPRATO"), QStringLiteral("2010010002")}}
                                   << QVariantList{2.0, 1.0, 1.0, 2.0, 1.0};
    }
}

void TestServTranSave::calcEtiquetaRefused()
{
    QFETCH(QString, backend);
    QFETCH(QVariantMap, changes);
    QFETCH(QVariantList, inputs);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    QVariantMap dish = storedDish(f.client(), QStringLiteral("0000000007"));
    dish.insert(changes);
    const QList<double> before = labelsOf(f.db(), QStringLiteral("0000000007"));
    const QString answer = f.client().text(QStringLiteral("CalcEtiqueta"),
                                           labelArgs(dish, inputs[0].toDouble(), inputs[1].toDouble(), inputs[2].toDouble(),
                                                     inputs[3].toDouble(), inputs[4].toDouble()));
    QVERIFY(!answer.isEmpty());
    qDebug().noquote() << answer;
    QCOMPARE(labelsOf(f.db(), QStringLiteral("0000000007")), before);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN")).toLongLong(), 28);
}

void TestServTranSave::delServTran()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const qint64 labelsOfOthers = scalar(f.db(), QStringLiteral(
        "SELECT COUNT(*) FROM ETIQSERVTRAN WHERE NOT (CDCLIENTE = '0000101' AND CDDESTFILI = '001')")).toLongLong();
    const QList<Table> two = tables(f.client().payload(QStringLiteral("DelServTran"),
                                                       dayArgs() << QStringLiteral("001") << QStringLiteral("0000101")));
    QCOMPARE(two.size(), 2);
    QCOMPARE(two[0].rows.size(), 2);
    QCOMPARE(two[0].rows[0][QStringLiteral("CDDESTFILI")].toString(), QStringLiteral("003"));
    QCOMPARE(two[0].rows[1][QStringLiteral("CDDESTFILI")].toString(), QStringLiteral("002"));
    QCOMPARE(two[1].rows.size(), 5);
    QCOMPARE(dishRowCount(f.db()), 5);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN")).toLongLong(), labelsOfOthers);
}

void TestServTranSave::deletePrato()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    // the same dish for the same point in another diet goes too
    QVariantMap otherDiet = newDish(QStringLiteral("0000000001"), QStringLiteral("0000105"), QStringLiteral("003"),
                                    QStringLiteral("1010010001"));
    otherDiet[QStringLiteral("CDDIETPADST")] = QStringLiteral("DIET");
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, otherDiet, {}}})}), QString());
    QCOMPARE(f.client().text(QStringLiteral("CalcEtiqueta"), labelArgs(otherDiet, 4, 2, 1)), QString());
    QCOMPARE(dishRowCount(f.db()), 10);

    QCOMPARE(f.client().payload(QStringLiteral("DeletePrato"),
                                {QStringLiteral("P"), QStringLiteral("1010010001"), QStringLiteral("0001"), QStringLiteral("00001"),
                                 QStringLiteral("003"), QStringLiteral("0000105"), day()}),
             QVariant(true));
    QCOMPARE(dishRowCount(f.db()), 8);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE CDPRATO = '1010010001'")).toLongLong(), 1);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE CDCLIENTE = '0000105' "
                                           "AND CDPRATO = '1010010001'")).toLongLong(), 0);
    QCOMPARE(labelsOf(f.db(), QStringLiteral("0000000001")).size(), 5);
}

// The server's recalculation of a service: registered quantities replace the row's, the total is
// rounded up to the dish's step, the split and the labels follow their own minimum-fill rules.
void TestServTranSave::calcServTrans_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("dish");
    QTest::addColumn<QVariantList>("registered");   // QTPADRAO, QTCONTAI, PERCENTUAL; empty: not registered
    QTest::addColumn<QVariantList>("row");          // diners, per person, per container, sample
    QTest::addColumn<QVariantList>("figures");      // per person, per container, total, containers, complete, partial
    QTest::addColumn<QList<double>>("labels");
    const QVariant null(QMetaType::fromType<double>());
    for (const QString &b : backends()) {
        newRow(b, "worked example, registered quantities win") << "1010010001" << QVariantList{0.25, 4.0, 50.0}
                                                         << QVariantList{70.0, 0.3, 5.0, 0.5}
                                                         << QVariantList{0.25, 4.0, 17.5, 5.0, 3.0, 2.75}
                                                         << QList<double>{4, 4, 4, 4, 2};
        newRow(b, "dish percentage null: the branch's 30 for the split only") << "1010010001" << QVariantList{0.25, 4.0, null}
                                                                        << QVariantList{66.0, 0.25, 4.0, 0.0}
                                                                        << QVariantList{0.25, 4.0, 16.5, 5.0, 3.0, 2.25}
                                                                        << QList<double>{4, 4, 4, 4, 0.5};
        newRow(b, "dish percentage 0: no minimum") << "1010010001" << QVariantList{0.25, 4.0, 0.0}
                                             << QVariantList{66.0, 0.25, 4.0, 0.0}
                                             << QVariantList{0.25, 4.0, 16.5, 5.0, 4.0, 0.5}
                                             << QList<double>{4, 4, 4, 4, 0.5};
        newRow(b, "not registered: the row's quantities, step 0.5") << "2010010001" << QVariantList()
                                                              << QVariantList{173.0, 0.1, 4.0, 0.0}
                                                              << QVariantList{0.1, 4.0, 17.5, 5.0, 4.0, 1.5}
                                                              << QList<double>{4, 4, 4, 4, 1.3};
        newRow(b, "registered container larger than the total") << "1010010001" << QVariantList{0.25, 10.0, 50.0}
                                                          << QVariantList{20.0, 0.25, 4.0, 0.0}
                                                          << QVariantList{0.25, 10.0, 5.0, 1.0, 0.0, 5.0}
                                                          << QList<double>{5};
        // What the screen stores for these rows: 120 × 0.15 is 18 and 10 × 0.3 is 3, not a hair less.
        newRow(b, "120 x 0.15 in 4 at 50 %: 4 full and 2") << "1010010001" << QVariantList{0.15, 4.0, 50.0}
                                                      << QVariantList{120.0, 0.15, 4.0, 0.0}
                                                      << QVariantList{0.15, 4.0, 18.0, 5.0, 4.0, 2.0}
                                                      << QList<double>{4, 4, 4, 4, 2};
        newRow(b, "10 x 0.3 in 3: one full container") << "1010010001" << QVariantList{0.3, 3.0, null}
                                                  << QVariantList{10.0, 0.3, 3.0, 0.0}
                                                  << QVariantList{0.3, 3.0, 3.0, 1.0, 1.0, 0.0}
                                                  << QList<double>{3};
        newRow(b, "zero diners: no container, no label") << "1010010001" << QVariantList{0.25, 4.0, 50.0}
                                                    << QVariantList{0.0, 0.25, 4.0, 0.5}
                                                    << QVariantList{0.25, 4.0, 0.0, 0.0, 0.0, 0.0}
                                                    << QList<double>{};
    }
}

void TestServTranSave::calcServTrans()
{
    QFETCH(QString, backend);
    QFETCH(QString, dish);
    QFETCH(QVariantList, registered);
    QFETCH(QVariantList, row);
    QFETCH(QVariantList, figures);
    QFETCH(QList<double>, labels);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    // service 00002 has no rows in the demo data
    if (!registered.isEmpty()) {
        server::Query insert(f.db(), QStringLiteral(
            "INSERT INTO PRATOSERV (CDFILIAL, CDSERVFILI, CDPRATO, CDFILAUXPRAT, QTPADRAO, QTCONTAI, QTAMOSTRAUN, PERCENTUAL) "
            "VALUES ('0001', '00002', :CDPRATO, 'P', :QTPADRAO, :QTCONTAI, 0, :PERCENTUAL)"));
        insert.bind(QStringLiteral("CDPRATO"), dish)
            .bind(QStringLiteral("QTPADRAO"), registered[0])
            .bind(QStringLiteral("QTCONTAI"), registered[1])
            .bind(QStringLiteral("PERCENTUAL"), registered[2]);
        insert.exec();
    }
    QVariantMap stored = newDish(QStringLiteral("0000000001"), QStringLiteral("0000102"), QStringLiteral("004"), dish);
    stored[QStringLiteral("CDSERVFILI")] = QStringLiteral("00002");
    stored[QStringLiteral("QTCOMESTIST")] = row[0];
    stored[QStringLiteral("QTPADRAOST")] = row[1];
    stored[QStringLiteral("QTCONTAIST")] = row[2];
    stored[QStringLiteral("QTAMOSTRAST")] = row[3];
    stored[QStringLiteral("QTTOTAPRATST")] = 999.0;   // stale figures, to be recalculated
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, stored, {}}})}), QString());

    QCOMPARE(f.client().error(QStringLiteral("CalcServTrans"),
                              {QStringLiteral("_0001_"), QStringLiteral("_000100002_"), day(), day(), QStringLiteral("ADMIN"),
                               protocol::wallClock(QDateTime::currentDateTime())}),
             QString());
    const QList<QVariantList> after = rows(f.db(), QStringLiteral(
        "SELECT QTPADRAOST, QTCONTAIST, QTTOTAPRATST, QTTOTACONTST, QTCONTCOMPST, QTPARCPRATST, QTTOTACONTSTCAMOS, "
        "QTCONTCOMPSTCAMOS FROM SERVTRAN WHERE CDSERVFILI = '00002'"));
    QCOMPARE(after.size(), 1);
    for (int i = 0; i < figures.size(); ++i)
        QVERIFY2(std::fabs(after[0][i].toDouble() - figures[i].toDouble()) < 1e-9,
                 qPrintable(QStringLiteral("figure %1: %2").arg(i).arg(after[0][i].toDouble(), 0, 'g', 17)));
    const QList<double> stored2 = labelsOf(f.db(), QStringLiteral("0000000001"), QStringLiteral("00002"));
    QVERIFY2(sameQuantities(stored2, labels), qPrintable(describe(stored2)));
    QCOMPARE(after[0][6].toDouble(), double(labels.size()));

    // A second run on the unchanged day changes nothing and records nothing.
    const qint64 entries = scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM HISTSERVTRAN")).toLongLong();
    QCOMPARE(f.client().error(QStringLiteral("CalcServTrans"),
                              {QStringLiteral("_0001_"), QStringLiteral("_000100002_"), day(), day(), QStringLiteral("ADMIN"),
                               protocol::wallClock(QDateTime::currentDateTime())}),
             QString());
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM HISTSERVTRAN")).toLongLong(), entries);
    QCOMPARE(labelsOf(f.db(), QStringLiteral("0000000001"), QStringLiteral("00002")), stored2);
}

// Only the listed services of the listed branches, on the given day, are recalculated.
void TestServTranSave::calcServTransScope()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QString figures = QStringLiteral(
        "SELECT NRSERVTRAN, QTPADRAOST, QTCONTAIST, QTTOTAPRATST, QTTOTACONTST, QTCONTCOMPST, QTPARCPRATST, "
        "QTTOTACONTSTCAMOS, QTCONTCOMPSTCAMOS FROM SERVTRAN WHERE CDSERVFILI = '00001' AND DTSERVTRAN = :D ORDER BY NRSERVTRAN");
    const auto demoFigures = rows(f.db(), figures, {{QStringLiteral("D"), demoDay()}});
    const auto demoLabels = rows(f.db(), QStringLiteral("SELECT * FROM ETIQSERVTRAN ORDER BY NRSERVTRAN, NRSEQUETIQTR"));

    // the same dish rows on the next day and in service 00002, all with stale figures
    QList<Change> others;
    for (const QVariantMap &dish : table(f.client().payload(QStringLiteral("GetServTran"), dayArgs())).rows) {
        QVariantMap nextDay = dish;
        nextDay[QStringLiteral("DTSERVTRAN")] = day(demoDay().addDays(1));
        QVariantMap otherService = dish;
        otherService[QStringLiteral("CDSERVFILI")] = QStringLiteral("00002");
        others << Change{RowChange::Inserted, nextDay, {}} << Change{RowChange::Inserted, otherService, {}};
    }
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta(others)}), QString());
    f.db().execute(QStringLiteral("UPDATE SERVTRAN SET QTTOTAPRATST = 999, QTTOTACONTST = 0, QTCONTCOMPST = 0, "
                                  "QTPARCPRATST = 0, QTPADRAOST = 0.5"));
    f.db().execute(QStringLiteral("DELETE FROM ETIQSERVTRAN"));

    QCOMPARE(f.client().error(QStringLiteral("CalcServTrans"),
                              {QStringLiteral("_0001_"), QStringLiteral("_000100001_000200001_"), day(), day(),
                               QStringLiteral("ADMIN"), protocol::wallClock(QDateTime::currentDateTime())}),
             QString());
    QVERIFY(rows(f.db(), figures, {{QStringLiteral("D"), demoDay()}}) == demoFigures);
    QVERIFY(rows(f.db(), QStringLiteral("SELECT * FROM ETIQSERVTRAN ORDER BY NRSERVTRAN, NRSEQUETIQTR")) == demoLabels);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE QTTOTAPRATST = 999")).toLongLong(), 18);
}

void TestServTranSave::calcServTransLists_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("branches");
    QTest::addColumn<QString>("services");
    QTest::addColumn<int>("lastDay");   // days after the first date
    QTest::addColumn<bool>("accepted");
    for (const QString &b : backends()) {
        newRow(b, "empty service list") << "_0001_" << "_" << 0 << true;
        newRow(b, "empty branch list") << "_" << "_000100001_" << 0 << true;
        newRow(b, "two services") << "_0001_" << "_000100001_000100002_" << 0 << true;
        newRow(b, "a week") << "_0001_" << "_000100001_" << 6 << true;
        newRow(b, "branch without underscores") << "0001" << "_000100001_" << 0 << false;
        newRow(b, "short branch") << "_001_" << "_000100001_" << 0 << false;
        newRow(b, "empty text") << "" << "_000100001_" << 0 << false;
        newRow(b, "double underscore") << "_0001__" << "_000100001_" << 0 << false;
        newRow(b, "short service key") << "_0001_" << "_00010001_" << 0 << false;
        newRow(b, "no closing underscore") << "_0001_" << "_000100001" << 0 << false;
        newRow(b, "second date before the first") << "_0001_" << "_000100001_" << -1 << false;
    }
}

void TestServTranSave::calcServTransLists()
{
    QFETCH(QString, backend);
    QFETCH(QString, branches);
    QFETCH(QString, services);
    QFETCH(int, lastDay);
    QFETCH(bool, accepted);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QString error = f.client().error(QStringLiteral("CalcServTrans"),
                                           {branches, services, day(), day(demoDay().addDays(lastDay)), QStringLiteral("ADMIN"),
                                            protocol::wallClock(QDateTime::currentDateTime())});
    QCOMPARE(error.isEmpty(), accepted);
    if (!accepted)
        qDebug().noquote() << error;
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN")).toLongLong(), 28);
}

// A run over several days commits each day of a service as it goes: a failure on a later day
// leaves the days before it calculated.
void TestServTranSave::calcServTransCommitsDayByDay()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    QVariantMap withoutDiners = newDish(QStringLiteral("0000000001"), QStringLiteral("0000102"), QStringLiteral("004"),
                                        QStringLiteral("1010010002"));
    withoutDiners[QStringLiteral("DTSERVTRAN")] = day(demoDay().addDays(1));
    withoutDiners.remove(QStringLiteral("QTCOMESTIST"));
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, withoutDiners, {}}})}), QString());
    f.db().execute(QStringLiteral("UPDATE SERVTRAN SET QTTOTAPRATST = 999"));

    const QString error = f.client().error(QStringLiteral("CalcServTrans"),
                                           {QStringLiteral("_0001_"), QStringLiteral("_000100001_"), day(),
                                            day(demoDay().addDays(1)), QStringLiteral("ADMIN"),
                                            protocol::wallClock(QDateTime::currentDateTime())});
    QVERIFY2(error.contains(QStringLiteral("Comensais deve ser informado.")), qPrintable(error));
    const QString stale = QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE QTTOTAPRATST = 999 AND DTSERVTRAN = :D");
    QCOMPARE(scalar(f.db(), stale, {{QStringLiteral("D"), demoDay()}}).toLongLong(), 0);
    QCOMPARE(scalar(f.db(), stale, {{QStringLiteral("D"), demoDay().addDays(1)}}).toLongLong(), 1);
}

// Two screens on the same day: each takes the next number from GetSeqServTran; the slower one is
// refused, asks again and saves under the following number. Nothing is lost, no number is shared.
void TestServTranSave::twoClientsSameDay()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    TestClient &a = f.client();
    TestClient b(f.port());
    const auto nextNumber = [](TestClient &c) {
        const QString highest = table(c.payload(QStringLiteral("GetSeqServTran"), dayArgs() << QStringLiteral("XXXX")))
                                    .rows[0][QStringLiteral("SEQUSERV")].toString();
        return QStringLiteral("%1").arg(highest.toLongLong() + 1, 10, 10, QLatin1Char('0'));
    };
    const QString numberA = nextNumber(a);
    const QString numberB = nextNumber(b);
    QCOMPARE(numberA, numberB);
    const QVariantMap dishA = newDish(numberA, QStringLiteral("0000105"), QStringLiteral("003"), QStringLiteral("1010010002"));
    QVariantMap dishB = newDish(numberB, QStringLiteral("0000101"), QStringLiteral("002"), QStringLiteral("2010010003"));
    QCOMPARE(a.text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, dishA, {}}})}), QString());
    QVERIFY(!b.text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, dishB, {}}})}).isEmpty());
    dishB[QStringLiteral("NRSERVTRAN")] = nextNumber(b);
    QCOMPARE(b.text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, dishB, {}}})}), QString());
    QCOMPARE(b.text(QStringLiteral("CalcEtiqueta"), labelArgs(dishB, 4, 1.5, 1)), QString());
    QCOMPARE(a.text(QStringLiteral("CalcEtiqueta"), labelArgs(dishA, 3, 2.75, 2)), QString());

    QCOMPARE(dishRowCount(f.db()), 11);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT CDPRATO FROM SERVTRAN WHERE NRSERVTRAN = '0000000010'")).toString(),
             QStringLiteral("1010010002"));
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT CDPRATO FROM SERVTRAN WHERE NRSERVTRAN = '0000000011'")).toString(),
             QStringLiteral("2010010003"));
    QCOMPARE(labelsOf(f.db(), QStringLiteral("0000000010")).size(), 5);
    QCOMPARE(labelsOf(f.db(), QStringLiteral("0000000011")).size(), 5);
}

// Two server processes on one database, each hammered by its own client: every save lands, once.
void TestServTranSave::twoServersOneDatabase()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    server::ServerThread second(f.connection());
    constexpr int kRowsEach = 15;
    QString errors[2];
    const auto worker = [&](int which, quint16 port) {
        try {
            TestClient c(port);
            const QString client = which == 0 ? QStringLiteral("0000102") : QStringLiteral("0000106");
            for (int saved = 0, attempts = 0; saved < kRowsEach; ++attempts) {
                if (attempts > 50 * kRowsEach)
                    throw std::runtime_error("too many refusals");
                const QString highest = table(c.payload(QStringLiteral("GetSeqServTran"), dayArgs() << QStringLiteral("XXXX")))
                                            .rows[0][QStringLiteral("SEQUSERV")].toString();
                const QVariantMap dish = newDish(QStringLiteral("%1").arg(highest.toLongLong() + 1, 10, 10, QLatin1Char('0')),
                                                 client, QStringLiteral("%1").arg(saved + 1, 3, 10, QLatin1Char('0')),
                                                 QStringLiteral("1010010002"));
                const QString answer = c.text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, dish, {}}})});
                if (!answer.isEmpty())
                    continue;   // the other one took that number: ask again
                const QString labelled = c.text(QStringLiteral("CalcEtiqueta"), labelArgs(dish, 4, 1.5, 1));
                if (!labelled.isEmpty())
                    throw std::runtime_error(labelled.toStdString());
                ++saved;
            }
        } catch (const std::exception &e) {
            errors[which] = QString::fromUtf8(e.what());
        }
    };
    std::unique_ptr<QThread> one(QThread::create(worker, 0, f.port()));
    std::unique_ptr<QThread> two(QThread::create(worker, 1, second.port()));
    one->start();
    two->start();
    QVERIFY(one->wait(120000) && two->wait(120000));
    QVERIFY2(errors[0].isEmpty(), qPrintable(errors[0]));
    QVERIFY2(errors[1].isEmpty(), qPrintable(errors[1]));
    QCOMPARE(dishRowCount(f.db()), 9 + 2 * kRowsEach);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE CDCLIENTE = '0000102'")).toLongLong(), kRowsEach);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE CDCLIENTE = '0000106'")).toLongLong(), kRowsEach);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT MAX(NRSERVTRAN) FROM SERVTRAN")).toString(),
             QStringLiteral("%1").arg(9 + 2 * kRowsEach, 10, 10, QLatin1Char('0')));
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN")).toLongLong(), 28 + 2 * kRowsEach * 5);
}

// Codes and names that look like SQL are stored and found as the plain text they are.
// Over a grid of plausible rows: the figures and labels the screen stores for a row it posts
// (its posting calculation, then CalcEtiqueta with its label inputs) are exactly those the
// server's CalcServTrans works out for the stored row, which therefore changes and records nothing.
void TestServTranSave::theScreensFiguresAreTheServers()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const double branchPercent = scalar(f.db(), QStringLiteral("SELECT VRPEMINCONT FROM PARAMFILI WHERE CDFILIAL = '0001'")).toDouble();
    const QStringList dishes = {QStringLiteral("2010010001"), QStringLiteral("2010010002"), QStringLiteral("2010010003")};
    QHash<QString, std::optional<double>> steps;
    for (const QString &dish : dishes) {
        const QVariant step = scalar(f.db(), QStringLiteral("SELECT VRARREDTRANS FROM PRATO WHERE CDPRATO = :P"),
                                     {{QStringLiteral("P"), dish}});
        steps[dish] = step.isNull() ? std::nullopt : std::optional<double>(step.toDouble());
    }

    QList<Change> inserted;
    QList<QVariantList> labelCalls;
    int number = 0;
    for (double diners : {1.0, 7.0, 13.0, 70.0, 120.0, 333.0})
        for (double perPerson : {0.05, 0.1, 0.15, 0.25, 0.3, 0.333, 0.55, 1.2})
            for (double container : {0.5, 1.0, 3.0, 4.0, 7.5})
                for (double sample : {0.0, 0.5})
                    for (const QString &dish : dishes) {
                        rules::calc::RowInputs in;
                        in.diners = diners;
                        in.perPerson = perPerson;
                        in.container = container;
                        in.sample = sample;
                        in.step = steps[dish];
                        in.branchPercent = branchPercent;
                        const rules::calc::RowFigures figures = rules::calc::rowFigures(in);
                        if (figures.withSample.full + figures.withSample.partialCount > 40)
                            continue;   // a few labels a row keep the test short
                        QVariantMap row = newDish(QStringLiteral("%1").arg(++number, 10, 10, QLatin1Char('0')),
                                                  QStringLiteral("0000102"), QStringLiteral("004"), dish);
                        row[QStringLiteral("CDSERVFILI")] = QStringLiteral("00002");
                        row[QStringLiteral("QTCOMESTIST")] = diners;
                        row[QStringLiteral("QTPADRAOST")] = rules::calc::storedQuantity(perPerson);
                        row[QStringLiteral("QTCONTAIST")] = rules::calc::storedQuantity(container);
                        row[QStringLiteral("QTAMOSTRAST")] = sample;
                        row[QStringLiteral("QTTOTAPRATST")] = figures.total;
                        row[QStringLiteral("QTTOTACONTST")] = figures.containers;
                        row[QStringLiteral("QTCONTCOMPST")] = figures.complete;
                        row[QStringLiteral("QTPARCPRATST")] = figures.partial;
                        inserted << Change{RowChange::Inserted, row, {}};
                        labelCalls << labelArgs(row, double(figures.withSample.full), double(figures.withSample.partialQuantity),
                                                double(figures.withSample.partialCount), double(figures.withoutSample.full),
                                                double(figures.withoutSample.partialCount));
                    }
    QVERIFY(inserted.size() > 500);
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta(inserted)}), QString());
    for (const QVariantList &call : std::as_const(labelCalls))
        QCOMPARE(f.client().text(QStringLiteral("CalcEtiqueta"), call), QString());

    const auto snapshot = [&f] {
        return rows(f.db(), QStringLiteral("SELECT NRSERVTRAN, QTPADRAOST, QTCONTAIST, QTTOTAPRATST, QTTOTACONTST, QTCONTCOMPST, "
                                           "QTPARCPRATST, QTTOTACONTSTCAMOS, QTCONTCOMPSTCAMOS FROM SERVTRAN "
                                           "WHERE CDSERVFILI = '00002' ORDER BY NRSERVTRAN"))
               + rows(f.db(), QStringLiteral("SELECT NRSERVTRAN, NRSEQUETIQTR, QTPRATETIQTR FROM ETIQSERVTRAN "
                                             "WHERE CDSERVFILI = '00002' ORDER BY NRSERVTRAN, NRSEQUETIQTR"));
    };
    const QList<QVariantList> byTheScreen = snapshot();
    const qint64 entries = scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM HISTSERVTRAN")).toLongLong();
    QCOMPARE(f.client().error(QStringLiteral("CalcServTrans"),
                              {QStringLiteral("_0001_"), QStringLiteral("_000100002_"), day(), day(), QStringLiteral("ADMIN"),
                               protocol::wallClock(QDateTime::currentDateTime())}),
             QString());
    const QList<QVariantList> byTheServer = snapshot();
    QCOMPARE(byTheServer.size(), byTheScreen.size());
    for (qsizetype i = 0; i < byTheScreen.size(); ++i)
        for (qsizetype c = 0; c < byTheScreen[i].size(); ++c)
            QVERIFY2(byTheScreen[i][c].toString() == byTheServer[i][c].toString(),
                     qPrintable(QStringLiteral("%1: %2 by the screen, %3 by the server")
                                    .arg(byTheScreen[i][0].toString(), byTheScreen[i][c].toString(), byTheServer[i][c].toString())));
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM HISTSERVTRAN")).toLongLong(), entries);
}

// A quantity no kitchen means (1e308 kg per person) is refused as it comes: nothing is stored
// that could make a total that is not a number.
void TestServTranSave::implausibleQuantitiesRefused_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("column");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("message");
    for (const QString &b : backends()) {
        newRow(b, "1e308 per person") << "QTPADRAOST" << 1e308
                                      << "Quantidade por pessoa fora dos limites: informe um valor de até 1.000.000.";
        newRow(b, "1e308 per container") << "QTCONTAIST" << 1e308
                                         << "Quantidade por container fora dos limites: informe um valor de até 1.000.000.";
        newRow(b, "ten million diners") << "QTCOMESTIST" << 1e7
                                        << "Comensais fora dos limites: informe um valor de até 1.000.000.";
    }
}

void TestServTranSave::implausibleQuantitiesRefused()
{
    QFETCH(QString, backend);
    QFETCH(QString, column);
    QFETCH(double, value);
    QFETCH(QString, message);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const qint64 before = dishRowCount(f.db());
    QVariantMap dish = newDish(QStringLiteral("0000000010"), QStringLiteral("0000105"), QStringLiteral("003"),
                               QStringLiteral("1010010002"));
    dish[column] = value;
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, dish, {}}})}), message);
    QCOMPARE(dishRowCount(f.db()), before);
}

void TestServTranSave::sqlLookingText()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QString client = QStringLiteral("0'; DROP TABLE PRATO");
    const QString dish = QStringLiteral("0' OR '1'=");
    const QString name = QStringLiteral("0'; DROP TABLE PRATO; --");
    QVariantMap row = newDish(QStringLiteral("0000000010"), client, QStringLiteral("0'-"), dish);
    row[QStringLiteral("NMPRATO")] = name;
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, row, {}}})}), QString());

    const QList<Table> day4 = tables(f.client().payload(QStringLiteral("GetDados"), dayArgs()));
    QCOMPARE(day4[0].rows.size(), 4);
    const QVariantMap stored = storedDish(f.client(), QStringLiteral("0000000010"));
    QCOMPARE(stored[QStringLiteral("CDCLIENTE")].toString(), client);
    QCOMPARE(stored[QStringLiteral("CDPRATO")].toString(), dish);
    QCOMPARE(stored[QStringLiteral("NMPRATO")].toString(), name);
    QCOMPARE(stored[QStringLiteral("CDDESTFILI")].toString(), QStringLiteral("0'-"));
    const auto pratoAux = [&](const QString &aClient) {
        return f.client().payload(QStringLiteral("PratoAux"), {dish, QStringLiteral("P"), QStringLiteral("0001"),
                                                               QStringLiteral("00001"), day(), aClient, QStringLiteral("0'-")});
    };
    QCOMPARE(pratoAux(client), QVariant(true));
    QCOMPARE(pratoAux(QStringLiteral("x' OR 'a'='a")), QVariant(false));
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM PRATO")).toLongLong(), 23);

    QCOMPARE(f.client().payload(QStringLiteral("DeletePrato"), {QStringLiteral("P"), dish, QStringLiteral("0001"),
                                                                QStringLiteral("00001"), QStringLiteral("0'-"), client, day()}),
             QVariant(true));
    QCOMPARE(dishRowCount(f.db()), 9);
}

// A statement finished with is kept for the next one of the same text. Left with rows unread it
// must be reset, or it would hold its connection's snapshot and the next read would miss what
// another connection committed since; and two of the same text at once must not share a cursor.
// (Only SQLite keeps statements; PostgreSQL's driver runs one result at a time per connection.)
void TestServTranSave::statementsUsedAgain()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    if (backend != QLatin1String("sqlite"))
        QSKIP("statements are kept on SQLite only");
    Fixture f(backend);
    const QString points = QStringLiteral("SELECT CDDESTFILI FROM DESTFILI WHERE CDFILIAL = :F ORDER BY CDDESTFILI");
    {
        server::Query first(f.db(), points);
        first.bind(QStringLiteral("F"), QStringLiteral("0001")).exec();
        QVERIFY(first.next());
        server::Query second(f.db(), points);
        second.bind(QStringLiteral("F"), QStringLiteral("0001")).exec();
        QVERIFY(second.next());
        QVERIFY(first.next());
        QCOMPARE(first.text(0), QStringLiteral("002"));
        QCOMPARE(second.text(0), QStringLiteral("001"));
    }   // both kept with rows unread
    {
        server::Database other(f.connection());
        server::Query insert(other, QStringLiteral("INSERT INTO DESTFILI (CDFILIAL, CDDESTFILI, NMDESTFILI) "
                                                   "VALUES ('0001', '999', 'Ponto novo')"));
        insert.exec();
    }
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM DESTFILI WHERE CDFILIAL = '0001'")).toLongLong(), 7);
    server::Query again(f.db(), points);
    again.bind(QStringLiteral("F"), QStringLiteral("0001")).exec();
    int count = 0;
    while (again.next())
        ++count;
    QCOMPARE(count, 7);
}

// A row's labels print when they were made: calculated again the same (a day recalculated,
// CalcEtiqueta repeated) they keep the time of those already printed; made different they get the
// moment of their making.
void TestServTranSave::labelsKeepTheirPreparationTime()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QDateTime earlier(demoDay(), QTime(9, 0), Qt::UTC);
    server::Query stamp(f.db(), QStringLiteral("UPDATE PREPSERVTRAN SET DTHRPREPARO = :M"));
    stamp.bind(QStringLiteral("M"), f.db().toSql(earlier));
    stamp.exec();
    const auto preparedAt = [&] {
        QMap<QString, QDateTime> at;
        for (const QVariantList &r : rows(f.db(), QStringLiteral("SELECT NRSERVTRAN, DTHRPREPARO FROM PREPSERVTRAN")))
            at.insert(r[0].toString(), f.db().dateTimeFromSql(r[1]));
        return at;
    };
    const QMap<QString, QDateTime> before = preparedAt();
    QCOMPARE(before.size(), 9);

    QCOMPARE(f.client().error(QStringLiteral("CalcServTrans"),
                              {QStringLiteral("_0001_"), QStringLiteral("_000100001_"), day(), day(), QStringLiteral("ADMIN"),
                               protocol::wallClock(QDateTime::currentDateTime())}),
             QString());
    QCOMPARE(preparedAt(), before);

    const QVariantMap dish = storedDish(f.client(), QStringLiteral("0000000001"));
    const QList<double> labels = labelsOf(f.db(), QStringLiteral("0000000001"));
    const QDateTime start = QDateTime::currentDateTimeUtc().addMSecs(-1);
    QCOMPARE(f.client().text(QStringLiteral("CalcEtiqueta"), labelArgs(dish, labels.size() + 1, 1, 0)), QString());
    QMap<QString, QDateTime> after = preparedAt();
    QVERIFY2(after.value(QStringLiteral("0000000001")) >= start, qPrintable(after.value(QStringLiteral("0000000001")).toString()));
    const QDateTime made = after.take(QStringLiteral("0000000001"));
    QMap<QString, QDateTime> others = before;
    others.remove(QStringLiteral("0000000001"));
    QCOMPARE(after, others);

    QCOMPARE(f.client().text(QStringLiteral("CalcEtiqueta"), labelArgs(dish, labels.size() + 1, 1, 0)), QString());
    QCOMPARE(preparedAt().value(QStringLiteral("0000000001")), made);
}

void TestServTranSave::rowNumbersNeverComeBack_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("byDelServTran");
    for (const QString &backend : backends()) {
        newRow(backend, "deleted in the change log") << false;
        newRow(backend, "deleted with the point") << true;
    }
}

// The day's highest row deleted, its number is not handed out again: a new dish gets the next one,
// so the deleted dish's printed labels (…|0000000009|0001) never name the new dish.
void TestServTranSave::rowNumbersNeverComeBack()
{
    QFETCH(QString, backend);
    QFETCH(bool, byDelServTran);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    TestClient &c = f.client();
    const auto highest = [&] {
        return table(c.payload(QStringLiteral("GetSeqServTran"), dayArgs() << QStringLiteral("XXXX")))
            .rows[0][QStringLiteral("SEQUSERV")].toString();
    };
    QCOMPARE(highest(), QStringLiteral("0000000009"));
    const QVariantMap nine = storedDish(c, QStringLiteral("0000000009"));
    if (byDelServTran)
        QCOMPARE(tables(c.payload(QStringLiteral("DelServTran"),
                                  dayArgs() << nine[QStringLiteral("CDDESTFILI")] << nine[QStringLiteral("CDCLIENTE")]))
                     .size(),
                 2);
    else
        QCOMPARE(c.text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Deleted, nine, nine}})}), QString());
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE NRSERVTRAN = '0000000009'")).toLongLong(), 0);
    QCOMPARE(highest(), QStringLiteral("0000000009"));

    const QVariantMap ten = newDish(QStringLiteral("0000000010"), QStringLiteral("0000105"), QStringLiteral("003"),
                                    QStringLiteral("1010010002"));
    QCOMPARE(c.text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, ten, {}}})}), QString());
    QCOMPARE(highest(), QStringLiteral("0000000010"));
    // another diet of the day has its own numbers
    QCOMPARE(table(c.payload(QStringLiteral("GetSeqServTran"), dayArgs() << QStringLiteral("DIET")))
                 .rows[0][QStringLiteral("SEQUSERV")].toString(),
             QString());
}

QTEST_GUILESS_MAIN(TestServTranSave)
#include "tst_servtransave.moc"

// Reading a day and the data of a dish, over a loopback port, as the screen reads them.

#include "testsupport.h"

#include <QTest>

using namespace servertest;
using protocol::FieldKind;
using protocol::PacketField;

class TestServTranRead : public QObject {
    Q_OBJECT
private slots:
    void getDadosDemoDay_data() { addBackendRows(); }
    void getDadosDemoDay();
    void emptyDay_data();
    void emptyDay();
    void packetFields_data();
    void packetFields();
    void getPtoEntrega_data();
    void getPtoEntrega();
    void pratoAux_data();
    void pratoAux();
    void getDadosPrato_data();
    void getDadosPrato();
    void getSeqServTran_data();
    void getSeqServTran();
    void screenQueries_data();
    void screenQueries();
    void registrationNumbers();
};

void TestServTranRead::getDadosDemoDay()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QList<Table> day4 = tables(f.client().payload(QStringLiteral("GetDados"),
                                                        {QStringLiteral("0001"), QStringLiteral("00001"), day()}));
    QCOMPARE(day4.size(), 4);
    const Table &points = day4[0], &dishes = day4[1], &labels = day4[2], &diners = day4[3];

    // points by company name: the person client "Ana Paula" before the hospital
    QCOMPARE(points.rows.size(), 3);
    const QStringList expectedPoints = {QStringLiteral("0000105/003"), QStringLiteral("0000101/001"),
                                        QStringLiteral("0000101/002")};
    for (int i = 0; i < 3; ++i)
        QCOMPARE(points.rows[i][QStringLiteral("CDCLIENTE")].toString() + QLatin1Char('/')
                     + points.rows[i][QStringLiteral("CDDESTFILI")].toString(),
                 expectedPoints[i]);
    const QVariantMap &refectory = points.rows[2];
    QCOMPARE(refectory[QStringLiteral("NMRAZSOCCLIE")].toString(), QStringLiteral("Hospital Santa Clara Ltda"));
    QCOMPARE(refectory[QStringLiteral("NMDESTFILI")].toString(), QStringLiteral("Refeitório dos funcionários"));
    QCOMPARE(refectory[QStringLiteral("NRINSJURCLIE")].toString().size(), 14);
    QCOMPARE(refectory[QStringLiteral("IDTPIJURCLIE")].toString(), QStringLiteral("J"));
    QCOMPARE(refectory[QStringLiteral("QTCOMECLIST")].toDouble(), 80.0);
    QCOMPARE(refectory[QStringLiteral("QTEFETCLIST")].toDouble(), 75.0);
    QCOMPARE(refectory[QStringLiteral("DTSERVTRAN")], day());
    QCOMPARE(refectory[QStringLiteral("CDSERVFILI")].toString(), QStringLiteral("00001"));
    QCOMPARE(points.rows[0][QStringLiteral("IDTPIJURCLIE")].toString(), QStringLiteral("F"));
    QVERIFY(points.rows[0][QStringLiteral("QTEFETCLIST")].isNull());   // no billing diners given

    // dishes by client, point and number, with the dish's name
    QCOMPARE(dishes.rows.size(), 9);
    QStringList order;
    for (const QVariantMap &row : dishes.rows)
        order << row[QStringLiteral("NRSERVTRAN")].toString().right(1);
    QCOMPARE(order.join(QString()), QStringLiteral("123456789"));
    QCOMPARE(dishes.rows[0][QStringLiteral("NMPRATO")].toString(), QStringLiteral("Carne assada"));
    QCOMPARE(dishes.rows[8][QStringLiteral("SGUNIDADE")].toString(), QStringLiteral("UN"));
    QCOMPARE(dishes.rows[8][QStringLiteral("CDFILAUXPRAT")].toString(), QStringLiteral("0001"));

    // labels: every dish's labels numbered from 0001, adding up to diners x quantity + sample
    QCOMPARE(diners.rows.size(), 1);
    QCOMPARE(diners.rows[0][QStringLiteral("QTCOMESTICAR")].toDouble(), 400.0);
    for (const QVariantMap &dish : dishes.rows) {
        double sum = 0;
        int count = 0;
        for (const QVariantMap &label : labels.rows) {
            if (label[QStringLiteral("NRSERVTRAN")] != dish[QStringLiteral("NRSERVTRAN")])
                continue;
            ++count;
            QCOMPARE(label[QStringLiteral("NRSEQUETIQTR")].toString(), QStringLiteral("%1").arg(count, 4, 10, QLatin1Char('0')));
            QCOMPARE(label[QStringLiteral("CDPRATO")], dish[QStringLiteral("CDPRATO")]);
            sum += label[QStringLiteral("QTPRATETIQTR")].toDouble();
        }
        QCOMPARE(double(count), dish[QStringLiteral("QTTOTACONTSTCAMOS")].toDouble());
        const double expected = dish[QStringLiteral("QTCOMESTIST")].toDouble() * dish[QStringLiteral("QTPADRAOST")].toDouble()
            + dish[QStringLiteral("QTAMOSTRAST")].toDouble();
        QVERIFY2(std::fabs(sum - expected) < 1e-9, qPrintable(dish[QStringLiteral("NRSERVTRAN")].toString()));
    }
    QCOMPARE(labels.rows.size(), 28);
}

void TestServTranRead::emptyDay_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("branch");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QDate>("date");
    for (const QString &b : backends()) {
        newRow(b, "next day") << "0001" << "00001" << demoDay().addDays(1);
        newRow(b, "other service") << "0001" << "00002" << demoDay();
        newRow(b, "other branch") << "0002" << "00001" << demoDay();
    }
}

void TestServTranRead::emptyDay()
{
    QFETCH(QString, backend);
    QFETCH(QString, branch);
    QFETCH(QString, service);
    QFETCH(QDate, date);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QList<Table> day4 = tables(f.client().payload(QStringLiteral("GetDados"), {branch, service, day(date)}));
    QCOMPARE(day4.size(), 4);
    QVERIFY(day4[0].rows.isEmpty());
    QVERIFY(day4[1].rows.isEmpty());
    QVERIFY(day4[2].rows.isEmpty());
    QCOMPARE(day4[3].rows.size(), 1);   // the diners are always one row, 0 when none
    QCOMPARE(day4[3].rows[0][QStringLiteral("QTCOMESTICAR")].toDouble(), 0.0);
}

// Every packet carries the names, kinds and sizes of the dataset the screen loads it into.
void TestServTranRead::packetFields_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<int>("element");   // -1: the payload is the packet itself
    QTest::addColumn<QList<PacketField>>("expected");
    const QVariantList dayArgs = {QStringLiteral("0001"), QStringLiteral("00001"), day()};
    const QVariantList dishArgs = {QStringLiteral("0001"), QStringLiteral("00001"), QStringLiteral("1010010001"),
                                   QStringLiteral("P")};
    const auto number = [](const char *n) { return PacketField{QLatin1String(n), FieldKind::Float, 0, false, false}; };
    for (const QString &b : backends()) {
        newRow(b, "cdsPadrao") << "GetDados" << dayArgs << 0 << cdsPadrao();
        newRow(b, "cdsServTran") << "GetDados" << dayArgs << 1 << cdsServTran();
        newRow(b, "cdsEtiqueta") << "GetDados" << dayArgs << 2 << cdsEtiqueta();
        newRow(b, "cdsComenServ") << "GetDados" << dayArgs << 3 << QList<PacketField>{number("QTCOMESTICAR")};
        newRow(b, "GetPadrao") << "GetPadrao" << dayArgs << -1 << cdsPadrao();
        newRow(b, "GetServTran") << "GetServTran" << dayArgs << -1 << cdsServTran();
        newRow(b, "GetEtiqueta") << "GetEtiqueta" << dayArgs << -1 << cdsEtiqueta();
        newRow(b, "cdsPtoEntrega") << "GetPtoEntrega" << QVariantList{QStringLiteral("0001"), QString(), QStringLiteral("T")} << -1
                             << QList<PacketField>{{QStringLiteral("CDDESTFILI"), FieldKind::String, 3, false, false},
                                                   {QStringLiteral("NMDESTFILI"), FieldKind::String, 30, false, false}};
        newRow(b, "cdsSeqServTran") << "GetSeqServTran" << (dayArgs + QVariantList{QStringLiteral("XXXX")}) << -1
                              << QList<PacketField>{{QStringLiteral("SEQUSERV"), FieldKind::String, 10, false, true}};
        newRow(b, "cdsDadosPrato") << "getDadosPrato" << dishArgs << 0
                             << QList<PacketField>{number("QTPADRAO"), number("QTCONTAI"), number("QTAMOSTRAUN"),
                                                   number("PERCENTUAL")};
        newRow(b, "cdsPrato") << "getDadosPrato" << dishArgs << 1
                        << QList<PacketField>{number("VRARREDTRANS"),
                                              {QStringLiteral("SGUNIDADE"), FieldKind::String, 10, false, false}};
        newRow(b, "cdsUnidMediFili") << "getDadosPrato" << dishArgs << 2 << QList<PacketField>{number("QTAMOSTRAUN")};
        newRow(b, "cdsPercent") << "getDadosPrato" << dishArgs << 3 << QList<PacketField>{number("VRPEMINCONT")};
    }
}

void TestServTranRead::packetFields()
{
    QFETCH(QString, backend);
    QFETCH(QString, method);
    QFETCH(QVariantList, args);
    QFETCH(int, element);
    QFETCH(QList<PacketField>, expected);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QVariant payload = f.client().payload(method, args);
    const Table t = element < 0 ? table(payload) : tables(payload).value(element);
    const Table wanted{expected, {}};
    QCOMPARE(t.names(), wanted.names());
    QVERIFY(t.fields == expected);
}

void TestServTranRead::getPtoEntrega_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("branch");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("expected");   // code=name of each row
    for (const QString &b : backends()) {
        newRow(b, "one point") << "0001" << "002" << "" << QStringList{QStringLiteral("002=Refeitório dos funcionários")};
        newRow(b, "no such point") << "0001" << "009" << "" << QStringList();
        newRow(b, "point of another branch") << "0002" << "003" << "" << QStringList();
        newRow(b, "all points") << "0001" << "" << "T"
                          << QStringList{QStringLiteral("001=Ala de internação"), QStringLiteral("002=Refeitório dos funcionários"),
                                         QStringLiteral("003=Residência"), QStringLiteral("004=Escola - bloco A"),
                                         QStringLiteral("005=Escola - bloco B"), QStringLiteral("006=Canteiro de obras")};
        newRow(b, "all points, code ignored") << "0002" << "001" << "T"
                                        << QStringList{QStringLiteral("001=Matriz"), QStringLiteral("002=Anexo")};
        newRow(b, "quote in the code") << "0001" << "0'1" << "" << QStringList();
    }
}

void TestServTranRead::getPtoEntrega()
{
    QFETCH(QString, backend);
    QFETCH(QString, branch);
    QFETCH(QString, code);
    QFETCH(QString, mode);
    QFETCH(QStringList, expected);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const Table points = table(f.client().payload(QStringLiteral("GetPtoEntrega"), {branch, code, mode}));
    QStringList found;
    for (const QVariantMap &row : points.rows)
        found << row[QStringLiteral("CDDESTFILI")].toString() + QLatin1Char('=') + row[QStringLiteral("NMDESTFILI")].toString();
    QCOMPARE(found, expected);
}

void TestServTranRead::pratoAux_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<bool>("expected");
    for (const QString &b : backends()) {
        const auto args = [](const char *dish, const char *owner, QDate date, const char *client, const char *point) {
            return QVariantList{QString::fromLatin1(dish), QString::fromLatin1(owner), QStringLiteral("0001"),
                                QStringLiteral("00001"), servertest::day(date), QString::fromLatin1(client),
                                QString::fromLatin1(point)};
        };
        newRow(b, "registered there") << args("1010010001", "P", demoDay(), "0000101", "001") << true;
        newRow(b, "dish of the branch") << args("4010010001", "0001", demoDay(), "0000105", "003") << true;
        newRow(b, "other point") << args("1010010001", "P", demoDay(), "0000101", "002") << false;
        newRow(b, "other client") << args("1010010001", "P", demoDay(), "0000102", "001") << false;
        newRow(b, "other owner") << args("1010010001", "0001", demoDay(), "0000101", "001") << false;
        newRow(b, "other day") << args("1010010001", "P", demoDay().addDays(-1), "0000101", "001") << false;
    }
}

void TestServTranRead::pratoAux()
{
    QFETCH(QString, backend);
    QFETCH(QVariantList, args);
    QFETCH(bool, expected);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QVariant answer = f.client().payload(QStringLiteral("PratoAux"), args);
    QCOMPARE(answer.metaType().id(), QMetaType::Bool);
    QCOMPARE(answer.toBool(), expected);
}

void TestServTranRead::getDadosPrato_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("dish");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QVariantList>("registered");   // QTPADRAO, QTCONTAI, QTAMOSTRAUN, PERCENTUAL; empty: no row
    QTest::addColumn<QVariantList>("prato");        // VRARREDTRANS, SGUNIDADE; empty: no row
    QTest::addColumn<QVariant>("unitSample");       // invalid: no row
    const QVariant null = QVariant(QMetaType::fromType<double>());
    for (const QString &b : backends()) {
        newRow(b, "registered, with percentage") << "00001" << "1010010001" << "P" << QVariantList{0.15, 4.0, 0.3, 50.0}
                                           << QVariantList{0.5, QStringLiteral("KG")} << QVariant(0.3);
        newRow(b, "registered, percentage null") << "00001" << "1010020001" << "P" << QVariantList{0.12, 3.0, 0.3, null}
                                           << QVariantList{0.1, QStringLiteral("KG")} << QVariant(0.3);
        newRow(b, "dish of the branch") << "00001" << "4010010001" << "0001" << QVariantList{1.0, 40.0, 1.0, null}
                                  << QVariantList{null, QStringLiteral("UN")} << QVariant(1.0);
        newRow(b, "not registered") << "00001" << "1010010002" << "P" << QVariantList()
                              << QVariantList{0.5, QStringLiteral("KG")} << QVariant(0.3);
        newRow(b, "other service") << "00002" << "1010010001" << "P" << QVariantList()
                             << QVariantList{0.5, QStringLiteral("KG")} << QVariant(0.3);
        newRow(b, "no such dish") << "00001" << "9999999999" << "P" << QVariantList() << QVariantList() << QVariant();
    }
}

void TestServTranRead::getDadosPrato()
{
    QFETCH(QString, backend);
    QFETCH(QString, service);
    QFETCH(QString, dish);
    QFETCH(QString, owner);
    QFETCH(QVariantList, registered);
    QFETCH(QVariantList, prato);
    QFETCH(QVariant, unitSample);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QList<Table> four = tables(f.client().payload(QStringLiteral("getDadosPrato"),
                                                        {QStringLiteral("0001"), service, dish, owner}));
    QCOMPARE(four.size(), 4);
    const auto values = [](const Table &t) {
        QVariantList v;
        for (const PacketField &field : t.fields)
            v << t.rows.value(0).value(field.name);
        return t.rows.isEmpty() ? QVariantList() : v;
    };
    const auto same = [](const QVariantList &a, const QVariantList &b) {
        if (a.size() != b.size())
            return false;
        for (int i = 0; i < a.size(); ++i)
            if (a[i].isNull() != b[i].isNull() || (!a[i].isNull() && a[i].toString() != b[i].toString()))
                return false;
        return true;
    };
    QVERIFY2(same(values(four[0]), registered), qPrintable(QVariant(values(four[0])).toStringList().join(u',')));
    QVERIFY(same(values(four[1]), prato));
    QCOMPARE(four[2].rows.size(), unitSample.isValid() ? 1 : 0);
    if (unitSample.isValid())
        QCOMPARE(four[2].rows[0][QStringLiteral("QTAMOSTRAUN")].toDouble(), unitSample.toDouble());
    QCOMPARE(four[3].rows.size(), 1);
    QCOMPARE(four[3].rows[0][QStringLiteral("VRPEMINCONT")].toDouble(), 30.0);
}

void TestServTranRead::getSeqServTran_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("diet");
    QTest::addColumn<QString>("expected");
    for (const QString &b : backends()) {
        newRow(b, "demo day") << demoDay() << "XXXX" << "0000000009";
        newRow(b, "other diet") << demoDay() << "DIET" << "";
        newRow(b, "empty day") << demoDay().addDays(1) << "XXXX" << "";
    }
}

void TestServTranRead::getSeqServTran()
{
    QFETCH(QString, backend);
    QFETCH(QDate, date);
    QFETCH(QString, diet);
    QFETCH(QString, expected);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const Table seq = table(f.client().payload(QStringLiteral("GetSeqServTran"),
                                               {QStringLiteral("0001"), QStringLiteral("00001"), day(date), diet}));
    QCOMPARE(seq.rows.size(), 1);
    QCOMPARE(seq.rows[0][QStringLiteral("SEQUSERV")].toString(), expected);
    QVERIFY(!seq.rows[0][QStringLiteral("SEQUSERV")].isNull());
}

// The reference tables answer the screen's and the dialog's own SQL, exactly as they are written.
void TestServTranRead::screenQueries_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantMap>("params");
    QTest::addColumn<QStringList>("expected");   // first two columns of each row, joined by '|'
    const QString servico = QStringLiteral(
        "SELECT\n   CDSERVFILI,\n   NMSERVICO\nFROM\n   SERVICO\nWHERE\n   (CDFILIAL    = :P_CDFILIAL) AND\n"
        "   ((CDSERVFILI = :P_CDSERVFILI) OR\n    (:P_TCDSERVFILI = 'T'))    AND\n   (IDSERVTRAN  = 'S')         AND\n"
        "   (IDTIPOSERV  <> 'A')\nORDER BY\n   CDSERVFILI");
    const QString prato = QStringLiteral(
        "SELECT\n   (CDPRATO || CDFILAUXPRAT) AS CDCHAVEPRATO,\n   CDPRATO,\n   CDFILAUXPRAT,\n   NMPRATO,\n"
        "   SGUNIDADE,\n   CDNVPRATO\nFROM\n   PRATO\nWHERE\n   ((CDPRATO = :P_CDPRATO) OR (:P_TCDPRATO = 'T')) AND\n"
        "   (CDFILAUXPRAT = 'P' OR CDFILAUXPRAT = :P_CDFILAUXPRAT) AND \n   (CDNVPRATO = :P_CDNVPRATO)\nORDER BY\n   CDPRATO");
    const QString vdPrato = QStringLiteral(
        "SELECT\n   CDPRATO,\n   NMPRATO,\n   SGUNIDADE,\n   CDFILAUXPRAT\nFROM\n   PRATO\nWHERE\n"
        "   (CDFILAUXPRAT = :P_CDFILAUXPRAT) AND\n   (CDPRATO = :P_CDPRATO)");
    const QString cliente = QStringLiteral(
        "SELECT\n   CDCLIENTE,\n   NRINSJURCLIE,\n   IDTPIJURCLIE,\n   NMRAZSOCCLIE,\n   NMFANTCLIE\nFROM\n   CLIENTE\n"
        "WHERE\n   ((NRINSJURCLIE = :P_NRINSJURCLIE) OR (:P_TNRINSJURCLIE = 'T'))\nORDER BY\n   NMRAZSOCCLIE");
    const QString filial = QStringLiteral("SELECT\n   CDFILIAL,\n   NMFILIAL\nFROM\n   FILIAL\nORDER BY\n   CDFILIAL");
    const QString dialogServico = QStringLiteral(
        "SELECT CDFILIAL || CDSERVFILI AS CHAVE,\n   CDSERVFILI,\n   NMSERVICO\nFROM\n   SERVICO\nWHERE\n"
        "   (CDFILIAL    = :P_CDFILIAL) AND\n   (IDSERVTRAN  = 'S')         AND\n   (IDTIPOSERV  <> 'A')\nORDER BY\n   CDSERVFILI");
    const auto p = [](std::initializer_list<std::pair<const char *, QVariant>> list) {
        QVariantMap m;
        for (const auto &[k, v] : list)
            m.insert(QLatin1String(k), v);
        return m;
    };
    const QString shared = QStringLiteral("45678912000155");
    for (const QString &b : backends()) {
        newRow(b, "services of a branch") << servico << p({{"P_CDFILIAL", QStringLiteral("0001")}, {"P_CDSERVFILI", QString()}, {"P_TCDSERVFILI", QStringLiteral("T")}})
                                    << QStringList{QStringLiteral("00001|Almoço"), QStringLiteral("00002|Jantar")};
        newRow(b, "one service") << servico << p({{"P_CDFILIAL", QStringLiteral("0001")}, {"P_CDSERVFILI", QStringLiteral("00002")}, {"P_TCDSERVFILI", QString()}})
                           << QStringList{QStringLiteral("00002|Jantar")};
        newRow(b, "service of type A") << servico << p({{"P_CDFILIAL", QStringLiteral("0001")}, {"P_CDSERVFILI", QStringLiteral("00003")}, {"P_TCDSERVFILI", QString()}})
                                 << QStringList();
        newRow(b, "service not transported") << servico << p({{"P_CDFILIAL", QStringLiteral("0001")}, {"P_CDSERVFILI", QStringLiteral("00004")}, {"P_TCDSERVFILI", QString()}})
                                       << QStringList();
        newRow(b, "full-level dishes of a branch") << prato << p({{"P_CDPRATO", QString()}, {"P_TCDPRATO", QStringLiteral("T")}, {"P_CDFILAUXPRAT", QStringLiteral("0001")}, {"P_CDNVPRATO", 4}})
                                             << QStringList{QStringLiteral("1010010001P|1010010001"), QStringLiteral("1010010002P|1010010002"),
                                                            QStringLiteral("1010020001P|1010020001"), QStringLiteral("2010010001P|2010010001"),
                                                            QStringLiteral("2010010002P|2010010002"), QStringLiteral("2010010003P|2010010003"),
                                                            QStringLiteral("3010010001P|3010010001"), QStringLiteral("40100100010001|4010010001"),
                                                            QStringLiteral("40100100020001|4010010002")};
        newRow(b, "level 2 of another branch") << prato << p({{"P_CDPRATO", QString()}, {"P_TCDPRATO", QStringLiteral("T")}, {"P_CDFILAUXPRAT", QStringLiteral("0002")}, {"P_CDNVPRATO", 2}})
                                         << QStringList{QStringLiteral("101P|101"), QStringLiteral("201P|201"), QStringLiteral("301P|301")};
        newRow(b, "dish check") << vdPrato << p({{"P_CDFILAUXPRAT", QStringLiteral("0001")}, {"P_CDPRATO", QStringLiteral("4010010001")}})
                          << QStringList{QStringLiteral("4010010001|Pudim de leite")};
        newRow(b, "dish check, other owner") << vdPrato << p({{"P_CDFILAUXPRAT", QStringLiteral("P")}, {"P_CDPRATO", QStringLiteral("4010010001")}})
                                       << QStringList();
        newRow(b, "clients sharing a number") << cliente << p({{"P_NRINSJURCLIE", shared}, {"P_TNRINSJURCLIE", QString()}})
                                        << QStringList{QStringLiteral("0000103|") + shared, QStringLiteral("0000104|") + shared};
        newRow(b, "branches") << filial << QVariantMap()
                        << QStringList{QStringLiteral("0001|Cozinha Central Norte"), QStringLiteral("0002|Cozinha Industrial Sul"),
                                       QStringLiteral("0003|Unidade Litoral")};
        newRow(b, "dialog services") << dialogServico << p({{"P_CDFILIAL", QStringLiteral("0002")}})
                               << QStringList{QStringLiteral("000200001|00001"), QStringLiteral("000200002|00002")};
    }
}

void TestServTranRead::screenQueries()
{
    QFETCH(QString, backend);
    QFETCH(QString, sql);
    QFETCH(QVariantMap, params);
    QFETCH(QStringList, expected);
    SKIP_UNLESS_BACKEND(backend);
    QTemporaryDir dir;
    server::Database db(freshDemoDatabase(backend, dir));
    QStringList found;
    for (const QVariantList &row : rows(db, sql, params))
        found << row.value(0).toString() + QLatin1Char('|') + row.value(1).toString();
    QCOMPARE(found, expected);
}

// The demo's registration numbers carry valid check digits: two of them are well-known valid ones.
void TestServTranRead::registrationNumbers()
{
    QTemporaryDir dir;
    server::Database db(freshDemoDatabase(QStringLiteral("sqlite"), dir));
    const auto number = [&](const char *client) {
        return scalar(db, QStringLiteral("SELECT NRINSJURCLIE FROM CLIENTE WHERE CDCLIENTE = :C"),
                      {{QStringLiteral("C"), QLatin1String(client)}}).toString();
    };
    QCOMPARE(number("0000101"), QStringLiteral("11222333000181"));   // CNPJ
    QCOMPARE(number("0000105"), QStringLiteral("12345678909"));      // CPF
    QCOMPARE(number("0000103"), number("0000104"));                  // one number, two clients
}

QTEST_GUILESS_MAIN(TestServTranRead)
#include "tst_servtranread.moc"

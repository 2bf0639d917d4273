// The branch check and the query component against a real SQLite file made here.

#include <framework/adoibquery.h>
#include <framework/consiste.h>
#include <framework/dtmdbgeral.h>
#include <framework/testing/scriptedpresenter.h>

#include <toolkit/error.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using framework::testing::ScriptedPresenter;

namespace {

void exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        qFatal("setup failed: %s", qPrintable(sql));
}

QStringList serviceQuery()
{
    return {QStringLiteral("SELECT"), QStringLiteral("   CDSERVFILI,"), QStringLiteral("   NMSERVICO"),
            QStringLiteral("FROM"), QStringLiteral("   SERVICO"), QStringLiteral("WHERE"),
            QStringLiteral("   (CDFILIAL    = :P_CDFILIAL) AND"), QStringLiteral("   ((CDSERVFILI = :P_CDSERVFILI) OR"),
            QStringLiteral("    (:P_TCDSERVFILI = 'T'))    AND"), QStringLiteral("   (IDSERVTRAN  = 'S')         AND"),
            QStringLiteral("   (IDTIPOSERV  <> 'A')"), QStringLiteral("ORDER BY"), QStringLiteral("   CDSERVFILI")};
}

} // namespace

class TstDatabase : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void validaFilial_data();
    void validaFilial();
    void validaFilialAcceptsEmptyOnSingleField();

    void queryListsAllWithSwitch();
    void queryFindsOneCode_data();
    void queryFindsOneCode();
    void queryParameterWithQuote();
    void queryIntegerParameterAgainstTextColumn();
    void queryRunsDefaultTextOnSqlite();
    void queryRefusesUnknownOrUnsetParameter();
    void queryFieldsAreReadOnly();
    void queryDatabaseErrorCarriesDriverText();
    void queryWithoutPersistentFieldsTakesColumns();
    void sharedDatabaseRefusesBadFiles();
    void onPostgres();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void TstDatabase::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_path = m_dir.filePath(QStringLiteral("shared.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(m_path);
        QVERIFY(db.open());
        exec(db, QStringLiteral("CREATE TABLE FILIAL (CDFILIAL VARCHAR(4) PRIMARY KEY, NMFILIAL VARCHAR(30), IDSITUFILI VARCHAR(1))"));
        exec(db, QStringLiteral("CREATE TABLE OPERFILI (CDOPERADOR VARCHAR(8), CDFILIAL VARCHAR(4))"));
        exec(db, QStringLiteral("CREATE TABLE SERVICO (CDFILIAL VARCHAR(4), CDSERVFILI VARCHAR(5), NMSERVICO VARCHAR(40), "
                                "IDSERVTRAN VARCHAR(1), IDTIPOSERV VARCHAR(1))"));
        exec(db, QStringLiteral("CREATE TABLE PRATO (CDPRATO VARCHAR(10), CDFILAUXPRAT VARCHAR(4), NMPRATO VARCHAR(40), "
                                "CDNVPRATO VARCHAR(1))"));
        exec(db, QStringLiteral("INSERT INTO FILIAL VALUES ('0001', 'Cozinha Norte', 'A'), ('0002', 'Cozinha Sul', 'A'), "
                                "('0003', 'Litoral', 'R'), ('O''BR', 'Filial d''Oeste', 'A')"));
        exec(db, QStringLiteral("INSERT INTO OPERFILI VALUES ('OPER1', '0001'), ('ADMIN', '0001'), ('ADMIN', '0002')"));
        exec(db, QStringLiteral("INSERT INTO SERVICO VALUES ('0001', '00001', 'Almoço', 'S', 'N'), "
                                "('0001', '00002', 'Jantar', 'S', 'N'), ('0001', '00003', 'Avulso', 'S', 'A'), "
                                "('0001', '00004', 'Local', 'N', 'N'), ('0002', '00001', 'Almoço Sul', 'S', 'N'), "
                                "('O''BR', '00001', 'Almoço d''Oeste', 'S', 'N')"));
        exec(db, QStringLiteral("INSERT INTO PRATO VALUES ('1', 'P', 'Pratos', '1'), ('1010010001', 'P', 'Carne assada', '4'), "
                                "('1010010002', '0001', 'Bife', '4'), ('1010010003', '0002', 'Peixe', '4')"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    framework::openSharedDatabase(m_path);
}

void TstDatabase::cleanupTestCase()
{
    framework::closeSharedDatabase();
}

void TstDatabase::validaFilial_data()
{
    QTest::addColumn<QString>("branch");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("accepted") << "0001" << "OPER1" << "Cozinha Norte" << "";
    QTest::newRow("operator not listed anywhere") << "0002" << "NOVATO" << "Cozinha Sul" << "";
    QTest::newRow("empty in the complete check") << "" << "OPER1" << "" << "Filial deve ser informada.";
    QTest::newRow("unknown") << "0009" << "OPER1" << "" << "Filial não cadastrada.";
    QTest::newRow("rescinded") << "0003" << "ADMIN" << "" << "Filial com contrato rescindido.";
    QTest::newRow("operator without access") << "0002" << "OPER1" << "" << "Operador sem acesso à filial 0002.";
    QTest::newRow("quote in the code") << "O'BR" << "" << "Filial d'Oeste" << "";
}

void TstDatabase::validaFilial()
{
    QFETCH(QString, branch);
    QFETCH(QString, op);
    QFETCH(QString, name);
    QFETCH(QString, refusal);
    ScriptedPresenter presenter;
    if (refusal.isEmpty()) {
        QCOMPARE(ValidaFilial(branch, op, true), name);
        QCOMPARE(ValidaFilial(branch, op, false), name);
        QVERIFY(presenter.log().isEmpty());
        return;
    }
    QVERIFY_THROWS_EXCEPTION(toolkit::Abort, ValidaFilial(branch, op, true));
    QCOMPARE(presenter.errors(), QStringList{refusal});
}

void TstDatabase::validaFilialAcceptsEmptyOnSingleField()
{
    ScriptedPresenter presenter;
    QCOMPARE(ValidaFilial(QStringLiteral("    "), QStringLiteral("OPER1"), false), QString());
    QVERIFY(presenter.log().isEmpty());
}

void TstDatabase::queryListsAllWithSwitch()
{
    TADOIBQuery q(nullptr, QStringLiteral("qryServico"));
    q.SQL = serviceQuery();
    q.addStringField(QStringLiteral("CDSERVFILI"), 5);
    q.addStringField(QStringLiteral("NMSERVICO"), 40);
    q.ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(QStringLiteral("0001"));
    q.ParamByName(QStringLiteral("P_CDSERVFILI"))->setAsString(QString());
    q.ParamByName(QStringLiteral("P_TCDSERVFILI"))->setAsString(QStringLiteral("T"));
    q.Open();
    QStringList codes;
    for (q.First(); !q.Eof(); q.Next())
        codes << q.FieldByName(QStringLiteral("CDSERVFILI"))->asString();
    // Only transported services whose type is not "A", in code order.
    QCOMPARE(codes, (QStringList{QStringLiteral("00001"), QStringLiteral("00002")}));
    QCOMPARE(q.FieldByName(QStringLiteral("NMSERVICO"))->asString(), QStringLiteral("Jantar"));
    q.Close();
    QVERIFY(!q.Active());
}

void TstDatabase::queryFindsOneCode_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("transported") << "00002" << "Jantar";
    QTest::newRow("type A is never found") << "00003" << "";
    QTest::newRow("not transported") << "00004" << "";
    QTest::newRow("absent") << "00009" << "";
}

void TstDatabase::queryFindsOneCode()
{
    QFETCH(QString, code);
    QFETCH(QString, name);
    TADOIBQuery q;
    q.SQL = serviceQuery();
    q.addStringField(QStringLiteral("CDSERVFILI"), 5);
    q.addStringField(QStringLiteral("NMSERVICO"), 40);
    q.ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(QStringLiteral("0001"));
    q.ParamByName(QStringLiteral("p_cdservfili"))->setAsString(code);   // names match without case
    q.ParamByName(QStringLiteral("P_TCDSERVFILI"))->setAsString(QString());
    q.Open();
    QCOMPARE(q.IsEmpty(), name.isEmpty());
    QCOMPARE(q.FieldByName(QStringLiteral("NMSERVICO"))->asString(), name);
}

void TstDatabase::queryParameterWithQuote()
{
    TADOIBQuery q;
    q.SQL = serviceQuery();
    q.addStringField(QStringLiteral("CDSERVFILI"), 5);
    q.addStringField(QStringLiteral("NMSERVICO"), 40);
    q.ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(QStringLiteral("O'BR"));
    q.ParamByName(QStringLiteral("P_CDSERVFILI"))->setAsString(QString());
    q.ParamByName(QStringLiteral("P_TCDSERVFILI"))->setAsString(QStringLiteral("T"));
    q.Open();
    QCOMPARE(q.recordCount(), 1);
    QCOMPARE(q.FieldByName(QStringLiteral("NMSERVICO"))->asString(), QStringLiteral("Almoço d'Oeste"));

    // A quote in a parameter is data, never SQL.
    q.Close();
    q.ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(QStringLiteral("0001' OR '1'='1"));
    q.Open();
    QVERIFY(q.IsEmpty());
}

void TstDatabase::queryIntegerParameterAgainstTextColumn()
{
    TADOIBQuery q;
    q.SQL = QStringList{QStringLiteral("SELECT CDPRATO, NMPRATO FROM PRATO"),
                        QStringLiteral("WHERE (CDFILAUXPRAT = 'P' OR CDFILAUXPRAT = :P_CDFILAUXPRAT) AND (CDNVPRATO = :P_CDNVPRATO)"),
                        QStringLiteral("ORDER BY CDPRATO")};
    q.addStringField(QStringLiteral("CDPRATO"), 10);
    q.addStringField(QStringLiteral("NMPRATO"), 40);
    q.ParamByName(QStringLiteral("P_CDFILAUXPRAT"))->setAsString(QStringLiteral("0001"));
    q.ParamByName(QStringLiteral("P_CDNVPRATO"))->setAsInteger(4);
    q.Open();
    QStringList codes;
    for (q.First(); !q.Eof(); q.Next())
        codes << q.FieldByName(QStringLiteral("CDPRATO"))->asString();
    QCOMPARE(codes, (QStringList{QStringLiteral("1010010001"), QStringLiteral("1010010002")}));
}

void TstDatabase::queryRunsDefaultTextOnSqlite()
{
    TADOIBQuery q;
    q.SQL = QStringList{QStringLiteral("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = '0001'")};
    q.SQL_ORACLE = QStringList{QStringLiteral("SELECT oracle FROM nowhere")};
    q.SQL_MSSQL = QStringList{QStringLiteral("SELECT mssql FROM nowhere")};
    q.SQL_IB = QStringList{QStringLiteral("SELECT ib FROM nowhere")};
    q.addStringField(QStringLiteral("NMFILIAL"), 30);
    q.Open();
    QCOMPARE(q.FieldByName(QStringLiteral("NMFILIAL"))->asString(), QStringLiteral("Cozinha Norte"));
    QVERIFY(q.sqlFor(framework::sharedDatabase()).contains(QStringLiteral("FROM FILIAL")));
}

void TstDatabase::queryRefusesUnknownOrUnsetParameter()
{
    TADOIBQuery q;
    q.SQL = serviceQuery();
    q.addStringField(QStringLiteral("CDSERVFILI"), 5);
    q.addStringField(QStringLiteral("NMSERVICO"), 40);
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, q.ParamByName(QStringLiteral("P_CDFILAIL")));
    q.ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(QStringLiteral("0001"));
    q.ParamByName(QStringLiteral("P_TCDSERVFILI"))->setAsString(QStringLiteral("T"));
    try {
        q.Open();
        QFAIL("a parameter left without a value must not run as NULL");
    } catch (const toolkit::Error &e) {
        QVERIFY2(e.message().contains(QStringLiteral("P_CDSERVFILI")), qPrintable(e.message()));
    }
    QVERIFY(!q.Active());
}

void TstDatabase::queryFieldsAreReadOnly()
{
    TADOIBQuery q;
    q.SQL = QStringList{QStringLiteral("SELECT CDFILIAL, NMFILIAL FROM FILIAL ORDER BY CDFILIAL")};
    q.addStringField(QStringLiteral("CDFILIAL"), 4);
    q.addStringField(QStringLiteral("NMFILIAL"), 30);
    q.Open();
    QVERIFY(q.FieldByName(QStringLiteral("NMFILIAL"))->readOnly());
    QCOMPARE(q.recordCount(), 4);
}

void TstDatabase::queryDatabaseErrorCarriesDriverText()
{
    TADOIBQuery q;
    q.SQL = QStringList{QStringLiteral("SELECT NOSUCHCOLUMN FROM FILIAL")};
    q.addStringField(QStringLiteral("NOSUCHCOLUMN"), 4);
    try {
        q.Open();
        QFAIL("no error");
    } catch (const toolkit::Error &e) {
        QVERIFY2(e.message().contains(QStringLiteral("NOSUCHCOLUMN"), Qt::CaseInsensitive), qPrintable(e.message()));
    }
}

void TstDatabase::queryWithoutPersistentFieldsTakesColumns()
{
    TADOIBQuery q;
    q.SQL = QStringList{QStringLiteral("SELECT CDFILIAL, NMFILIAL FROM FILIAL WHERE CDFILIAL = :P")};
    q.ParamByName(QStringLiteral("P"))->setAsString(QStringLiteral("0002"));
    q.Open();
    QCOMPARE(q.FieldByName(QStringLiteral("NMFILIAL"))->asString(), QStringLiteral("Cozinha Sul"));
}

void TstDatabase::sharedDatabaseRefusesBadFiles()
{
    const QString missing = m_dir.filePath(QStringLiteral("missing.db"));
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, framework::openSharedDatabase(missing));
    QVERIFY(!QFile::exists(missing));   // never created by trying
    const QString junk = m_dir.filePath(QStringLiteral("junk.db"));
    {
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, framework::openSharedDatabase(junk));
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, framework::sharedDatabase());
    framework::openSharedDatabase(QStringLiteral("sqlite:") + m_path);
    QVERIFY(framework::sharedDatabase().isOpen());
}

// The same statements on PostgreSQL, where a text column never compares with an integer and names
// come back in lower case. Runs when SERVTRAN_TEST_PG names a database (scripts/pg-test-cluster.sh).
void TstDatabase::onPostgres()
{
    const QString setting = qEnvironmentVariable("SERVTRAN_TEST_PG");
    if (setting.isEmpty())
        QSKIP("SERVTRAN_TEST_PG is not set");
    framework::openSharedDatabase(setting);
    struct Restore {
        QString path;
        ~Restore()
        {
            QSqlDatabase db = framework::sharedDatabase();
            QSqlQuery(db).exec(QStringLiteral("DROP SCHEMA IF EXISTS tst_framework CASCADE"));
            framework::openSharedDatabase(path);
        }
    } restore{m_path};
    QSqlDatabase db = framework::sharedDatabase();
    exec(db, QStringLiteral("DROP SCHEMA IF EXISTS tst_framework CASCADE"));
    exec(db, QStringLiteral("CREATE SCHEMA tst_framework"));
    exec(db, QStringLiteral("SET search_path TO tst_framework"));
    exec(db, QStringLiteral("CREATE TABLE FILIAL (CDFILIAL VARCHAR(4) PRIMARY KEY, NMFILIAL VARCHAR(30), IDSITUFILI VARCHAR(1))"));
    exec(db, QStringLiteral("CREATE TABLE OPERFILI (CDOPERADOR VARCHAR(8), CDFILIAL VARCHAR(4))"));
    exec(db, QStringLiteral("CREATE TABLE PRATO (CDPRATO VARCHAR(10), CDFILAUXPRAT VARCHAR(4), NMPRATO VARCHAR(40), CDNVPRATO VARCHAR(1))"));
    exec(db, QStringLiteral("INSERT INTO FILIAL VALUES ('0001', 'Cozinha Norte', 'A'), ('O''BR', 'Filial d''Oeste', 'A')"));
    exec(db, QStringLiteral("INSERT INTO PRATO VALUES ('1', 'P', 'Pratos', '1'), ('1010010001', 'P', 'Carne assada', '4'), "
                            "('1010010002', 'O''BR', 'Bife', '4'), ('1010010003', '0002', 'Peixe', '4')"));

    ScriptedPresenter presenter;
    QCOMPARE(ValidaFilial(QStringLiteral("O'BR"), QStringLiteral("ADMIN"), true), QStringLiteral("Filial d'Oeste"));
    QVERIFY_THROWS_EXCEPTION(toolkit::Abort, ValidaFilial(QStringLiteral("0009"), QStringLiteral("ADMIN"), true));

    TADOIBQuery q;
    q.SQL = QStringList{QStringLiteral("SELECT (CDPRATO || CDFILAUXPRAT) AS CDCHAVEPRATO, CDPRATO, NMPRATO FROM PRATO"),
                        QStringLiteral("WHERE ((CDPRATO = :P_CDPRATO) OR (:P_TCDPRATO = 'T')) AND"),
                        QStringLiteral("   (CDFILAUXPRAT = 'P' OR CDFILAUXPRAT = :P_CDFILAUXPRAT) AND (CDNVPRATO = :P_CDNVPRATO)"),
                        QStringLiteral("ORDER BY CDPRATO")};
    q.addStringField(QStringLiteral("CDCHAVEPRATO"), 14);
    q.addStringField(QStringLiteral("CDPRATO"), 10);
    q.addStringField(QStringLiteral("NMPRATO"), 40);
    q.ParamByName(QStringLiteral("P_CDPRATO"))->setAsString(QString());
    q.ParamByName(QStringLiteral("P_TCDPRATO"))->setAsString(QStringLiteral("T"));
    q.ParamByName(QStringLiteral("P_CDFILAUXPRAT"))->setAsString(QStringLiteral("O'BR"));
    q.ParamByName(QStringLiteral("P_CDNVPRATO"))->setAsInteger(4);
    q.Open();
    QStringList keys;
    for (q.First(); !q.Eof(); q.Next())
        keys << q.FieldByName(QStringLiteral("CDCHAVEPRATO"))->asString();
    QCOMPARE(keys, (QStringList{QStringLiteral("1010010001P"), QStringLiteral("1010010002O'BR")}));
}

QTEST_MAIN(TstDatabase)
#include "tst_database.moc"

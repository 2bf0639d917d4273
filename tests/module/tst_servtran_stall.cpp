// A server that stops answering in the middle of a call: the screen's call fails with a clear
// message within the session's call time limit, the busy indicator goes, and the screen reaches
// the server again once it answers. The stall is a real one: another connection holds the
// database's write lock, so the server's save waits for it (up to its 15 s busy timeout).

#include "screenfixture.h"

#include <toolkit/maskedit.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>

using namespace screentest;
using toolkit::DBGrid;

namespace {

enum { ColDish = 0, ColDiners = 1 };

// The write lock of the SQLite file, held from construction until release() or destruction.
class WriteLock {
public:
    explicit WriteLock(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kName);
        db.setDatabaseName(path);
        m_held = db.open() && QSqlQuery(db).exec(QStringLiteral("BEGIN IMMEDIATE"));
    }
    ~WriteLock()
    {
        release();
        QSqlDatabase::removeDatabase(kName);
    }
    bool held() const { return m_held; }
    void release()
    {
        if (!m_held)
            return;
        QSqlDatabase db = QSqlDatabase::database(kName);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        db.close();
        m_held = false;
    }

private:
    static inline const QString kName = QStringLiteral("tst_servtran_stall_lock");
    bool m_held = false;
};

} // namespace

class TestServTranStall : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    QWidget *screen = nullptr;

    DBGrid *grid(const char *name) { return part<DBGrid>(screen, name); }
    void click(const char *button) { QTest::mouseClick(part(screen, button), Qt::LeftButton); }
    void typeInEdit(const char *name, const QString &typed)
    {
        auto *edit = part<QLineEdit>(screen, name);
        focus(edit);
        edit->selectAll();
        type(edit, typed);
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }
    void init()
    {
        fx = std::make_unique<ScreenFixture>();
        fx->session().serverCallTimeoutMs = 1500;
        fx->applySession();
        screen = fx->openScreen();
        QVERIFY(screen);
        focus(part(screen, "medCdServico"));
        part<toolkit::MaskEdit>(screen, "medCdServico")->setText(QStringLiteral("00001"));
        focus(grid("dbgPadrao"));
        QVERIFY(dataSet(screen, "cdsPadrao")->active());
    }
    void cleanup()
    {
        fx.reset();
        screen = nullptr;
    }

    void aStalledSaveEndsWithinTheCallTimeLimit()
    {
        WriteLock lock(fx->databasePath());
        QVERIFY(lock.held());
        focus(grid("dbgServTran"));
        click("sbtIncluir");
        typeInCell(grid("dbgServTran"), ColDish, QStringLiteral("1010010003"));
        typeInCell(grid("dbgServTran"), ColDiners, QStringLiteral("70"));
        typeInEdit("dbeQtPadrao", QStringLiteral("0,25"));
        typeInEdit("dbeQtContainer", QStringLiteral("4"));
        QElapsedTimer clock;
        clock.start();
        click("sbtConfirmar");
        const qint64 waited = clock.elapsed();

        QCOMPARE(fx->presenter().errors().size(), 1);
        QVERIFY2(fx->presenter().errors().constFirst().contains(QStringLiteral("tempo esgotado")),
                 qPrintable(fx->presenter().errors().constFirst()));
        // the limit, not the server's 15 s wait for the lock, ended the call
        QVERIFY2(waited >= 1500 && waited < 10000, qPrintable(QString::number(waited)));
        QVERIFY(fx->presenter().busyBalanced());
        QCOMPARE(fx->presenter().busyDepth(), 0);

        // once the server answers again, the screen reaches it with a new connection
        lock.release();
        focus(part(screen, "medCdServico"));
        focus(grid("dbgPadrao"));
        QVERIFY(dataSet(screen, "cdsPadrao")->active());
        QCOMPARE(fx->presenter().errors().size(), 1);
        QVERIFY(fx->presenter().busyBalanced());
    }
};

QTEST_MAIN(TestServTranStall)
#include "tst_servtran_stall.moc"

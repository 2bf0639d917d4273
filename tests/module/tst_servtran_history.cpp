// The day's history of changes as the kitchen reads it after working on the screen: each changed
// field before and after side by side by the screen's names and in its formats, and a deleted
// row with its point and dish by name.

#include "screenfixture.h"

#include <framework/netconnection.h>
#include <history/historydialog.h>
#include <toolkit/maskedit.h>

#include <QHeaderView>
#include <QTableWidget>

using namespace screentest;
using toolkit::DBGrid;

class TestServTranHistory : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    QWidget *screen = nullptr;

    DBGrid *grid(const char *name) { return part<DBGrid>(screen, name); }
    void click(const char *button) { QTest::mouseClick(part(screen, button), Qt::LeftButton); }

    // The window's lines, each cell under its heading.
    static QList<QMap<QString, QString>> lines(QTableWidget *table)
    {
        QList<QMap<QString, QString>> found;
        for (int r = 0; r < table->rowCount(); ++r) {
            QMap<QString, QString> line;
            for (int c = 0; c < table->columnCount(); ++c)
                line.insert(table->horizontalHeaderItem(c)->text(), table->item(r, c) ? table->item(r, c)->text() : QString());
            found << line;
        }
        return found;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void changesReadAsOnTheScreen()
    {
        fx = std::make_unique<ScreenFixture>();
        screen = fx->openScreen();
        QVERIFY(screen);
        focus(part(screen, "medCdServico"));
        part<toolkit::MaskEdit>(screen, "medCdServico")->setText(QStringLiteral("00001"));
        focus(grid("dbgPadrao"));
        // Portaria: rice for 70 becomes rice for 120; the beans are deleted.
        focus(grid("dbgServTran"));
        grid("dbgServTran")->setSelectedIndex(1);
        type(grid("dbgServTran"), QStringLiteral("120"));
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QVERIFY(dataSet(screen, "cdsServTran")->locate(QStringLiteral("NRSERVTRAN"), {QStringLiteral("0000000002")}));
        focus(grid("dbgServTran"));
        fx->presenter().queueConfirm(framework::mrYes);
        click("sbtExcluir");
        QCOMPARE(fx->presenter().errors(), QStringList());

        framework::TNetConnection server;
        server.setServerName(QStringLiteral("Pla04100.rdmServTran"));
        server.setHost(QStringLiteral("127.0.0.1"));
        server.setPort(fx->port());
        server.setOperatorCode(QStringLiteral("ADMIN"));
        auto *history = new HistoryDialog(server, QStringLiteral("0001"), QStringLiteral("00001"), seededDay(),
                                          fx->mainWindow());
        QVERIFY(history->reload());
        const QList<QMap<QString, QString>> shown = lines(history->findChild<QTableWidget *>(QStringLiteral("tblHistory")));
        delete history;

        const auto line = [&shown](const QString &kind, const QString &field) {
            for (const auto &l : shown)
                if (l.value(QStringLiteral("Operação")) == kind && l.value(QStringLiteral("Campo")) == field)
                    return l;
            return QMap<QString, QString>();
        };
        const auto diners = line(QStringLiteral("Alteração"), QStringLiteral("Comensais"));
        QCOMPARE(diners.value(QStringLiteral("Antes")), QStringLiteral("70"));
        QCOMPARE(diners.value(QStringLiteral("Depois")), QStringLiteral("120"));
        QCOMPARE(diners.value(QStringLiteral("Cliente")), QStringLiteral("Alfa Indústria Ltda"));
        QCOMPARE(diners.value(QStringLiteral("Ponto de entrega")), QStringLiteral("Portaria"));
        QCOMPARE(diners.value(QStringLiteral("Prato")), QStringLiteral("Arroz branco"));
        const auto total = line(QStringLiteral("Alteração"), QStringLiteral("Quantidade"));
        QCOMPARE(total.value(QStringLiteral("Antes")), QStringLiteral("17,500"));
        QCOMPARE(total.value(QStringLiteral("Depois")), QStringLiteral("30,000"));
        // Every changed field goes by the screen's name, none by its column.
        for (const auto &l : shown)
            QVERIFY2(!QRegularExpression(QStringLiteral("^[A-Z]{2}[A-Z]+$")).match(l.value(QStringLiteral("Campo"))).hasMatch(),
                     qPrintable(l.value(QStringLiteral("Campo"))));

        const auto deleted = line(QStringLiteral("Exclusão"), QString());
        QCOMPARE(deleted.value(QStringLiteral("Ponto de entrega")), QStringLiteral("Portaria"));
        QCOMPARE(deleted.value(QStringLiteral("Prato")), QStringLiteral("Feijão carioca"));
        QVERIFY2(deleted.value(QStringLiteral("Antes")).contains(QStringLiteral("Comensais: 70;")),
                 qPrintable(deleted.value(QStringLiteral("Antes"))));
        fx.reset();
    }
};

QTEST_MAIN(TestServTranHistory)
#include "tst_servtran_history.moc"

// The print window as the host opens it: loaded by screen code through the host's module loader,
// one window however often it is opened, on the session's branch and day, with the user's choices
// deciding which labels or which list's rows reach the PDF and CSV files, and the layout kept for
// the next time. The lists come from a real server core on loopback.

#include "demodatabase.h"

#include <framework/application.h>
#include <framework/moduleloader.h>
#include <framework/presenter.h>
#include <framework/testing/scriptedpresenter.h>
#include <framework/zandrix.h>
#include <framework/netconnection.h>
#include <labels/containerlabel.h>
#include <protocol/remoteresult.h>
#include <protocol/value.h>
#include <server/labellinks.h>
#include <server/demo.h>
#include <server/serverthread.h>
#include <toolkit/error.h>

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QFileInfo>
#include <QHeaderView>
#include <QDialog>
#include <QTableWidget>
#include <QTest>

using printtest::DemoDatabase;

namespace {

// The host around the module: session, main window, presenter, module loader and opener.
class Host {
public:
    explicit Host(const QString &operatorCode = QStringLiteral("ADMIN"), const server::ServerSettings &settings = {})
        : server(std::make_unique<server::ServerThread>(QStringLiteral("sqlite:") + db.file(QStringLiteral("servtran.db")),
                                                        QHostAddress::LocalHost, 0, settings))
    {
        framework::SessionValues session;
        session.webUrl = QStringLiteral("127.0.0.1");
        session.webPort = server->port();
        session.branch = QStringLiteral("0001");
        session.branchName = QStringLiteral("Cozinha Central Norte");
        session.operatorCode = operatorCode;
        session.operatorPassword = QString::fromLatin1(server::kDemoPassword);
        session.processingDate = server::demoDay();
        framework::setSession(session);
        toolkit::setExceptionHandler([](const QString &message) { framework::presenter().error(message); });
        window = std::make_unique<framework::MainWindow>();
        window->resize(1100, 800);
        window->show();
        loader = std::make_unique<framework::ModuleLoader>();
        loader->setPluginDir(QStringLiteral(SERVTRAN_PLUGIN_DIR));
        framework::setModuleOpener([this](const QString &code) { loader->open(code); });
    }
    ~Host()
    {
        framework::setModuleOpener({});
        loader.reset();
        window.reset();
        toolkit::setExceptionHandler({});
    }

    QList<QWidget *> printWindows() const { return window->findChildren<QWidget *>(QStringLiteral("labelPrintWindow")); }
    // Opens the module as the screen's Print button does; the one window, or nullptr.
    QWidget *openWindow()
    {
        LoadBPL(QStringLiteral("PLA04101"));
        return printWindow();
    }
    QWidget *printWindow() const
    {
        const QList<QWidget *> found = printWindows();
        return found.size() == 1 ? found.first() : nullptr;
    }

    DemoDatabase db;
    std::unique_ptr<server::ServerThread> server;
    framework::testing::ScriptedPresenter presenter;
    std::unique_ptr<framework::MainWindow> window;
    std::unique_ptr<framework::ModuleLoader> loader;
};

template <typename T>
T *part(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no component %s", name);
    return found;
}

// The window's entry that writes the chosen labels (what the PDF button does once a file is named).
bool writePdf(QWidget *window, const QString &path)
{
    bool complete = false;
    if (!QMetaObject::invokeMethod(window, "writePdf", Qt::DirectConnection, Q_RETURN_ARG(bool, complete), Q_ARG(QString, path)))
        qFatal("the window has no writePdf");
    return complete;
}

void writeCsv(QWidget *window, const QString &path)
{
    if (!QMetaObject::invokeMethod(window, "writeCsv", Qt::DirectConnection, Q_ARG(QString, path)))
        qFatal("the window has no writeCsv");
}

// The lines of a CSV file of the window that start with the field.
int csvLinesStartingWith(const QString &path, const QString &first)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no csv file");
    int count = 0;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n")))
        count += line.startsWith(first + u';');
    return count;
}

} // namespace

class TestPrintModuleWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void openingTwiceShowsOneWindow();
    void opensOnTheSessionsBranchAndDay();
    void chosenPointAndDishesAreWhatIsPrinted();
    void layoutAndServiceKeptForTheNextOpening();
    void chosenListAndPointAreWhatIsWritten();
    void listWithoutTheServerSaysSo();
    void unloadingTheModuleTakesItsWindow();
    void branchOfAnotherOperatorShowsNothing();
    void labelsWithoutTheirRecordsStillCount();
    void containersDispatchedByScannerAndKeys();
    void dispatchOpensWideAndTakesTheLabelsLink();
    void historyNamesTheContainersTemperatures();
};

void TestPrintModuleWindow::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    static QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    QCoreApplication::setApplicationName(QStringLiteral("servtran-host"));
}

void TestPrintModuleWindow::openingTwiceShowsOneWindow()
{
    Host host;
    LoadBPL(QStringLiteral("PLA04101"));
    QWidget *first = host.printWindow();
    QVERIFY(first);
    LoadBPL(QStringLiteral("PLA04101"));
    QCOMPARE(host.printWindows().size(), 1);
    QCOMPARE(host.printWindow(), first);
    QCOMPARE(host.window->mdiArea()->subWindowList().size(), 1);
    auto *sub = qobject_cast<QMdiSubWindow *>(first->parentWidget());
    QVERIFY(sub);
    QCOMPARE(sub->mdiArea(), host.window->mdiArea());
    QVERIFY(sub->isVisible());
    QVERIFY(host.loader->isLoaded(QStringLiteral("PLA04101")));
    QVERIFY(host.presenter.errors().isEmpty());
}

void TestPrintModuleWindow::opensOnTheSessionsBranchAndDay()
{
    Host host;
    QWidget *window = host.openWindow();
    QVERIFY(window);
    QCOMPARE(part<QLineEdit>(window, "edtBranch")->text(), QStringLiteral("0001"));
    QCOMPARE(part<QLabel>(window, "lblBranchName")->text(), QStringLiteral("Cozinha Central Norte"));
    QCOMPARE(part<QDateEdit>(window, "dteDay")->date(), server::demoDay());
    auto *services = part<QComboBox>(window, "cmbService");
    QCOMPARE(services->count(), 2);
    QCOMPARE(services->currentData().toString(), QStringLiteral("00001"));
    const int points = host.db.scalar(QStringLiteral("SELECT COUNT(DISTINCT CDDESTFILI) FROM ETIQSERVTRAN WHERE CDFILIAL = '0001' "
                                                     "AND CDSERVFILI = '00001' AND DTSERVTRAN = ?"),
                                      {server::demoDay().toString(Qt::ISODate)})
                           .toInt();
    QCOMPARE(part<QComboBox>(window, "cmbPoint")->count(), points + 1);   // and the whole day
    QCOMPARE(part<QComboBox>(window, "cmbPoint")->currentIndex(), 0);
    const int labels = host.db.scalar(QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE CDFILIAL = '0001' AND CDSERVFILI = '00001' "
                                                     "AND DTSERVTRAN = ?"),
                                      {server::demoDay().toString(Qt::ISODate)})
                           .toInt();
    QVERIFY(part<QLabel>(window, "lblCount")->text().startsWith(QString::number(labels) + QStringLiteral(" etiqueta(s)")));

    // Another day without labels: nothing to choose, and the PDF is refused with a message.
    auto *day = part<QDateEdit>(window, "dteDay");
    day->setFocus();
    day->setDate(server::demoDay().addDays(-1));
    QCOMPARE(part<QComboBox>(window, "cmbPoint")->count(), 1);
    QCOMPARE(part<QListWidget>(window, "lstDishes")->count(), 0);
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, writePdf(window, host.db.file(QStringLiteral("none.pdf"))));
    QVERIFY(!QFile::exists(host.db.file(QStringLiteral("none.pdf"))));
}

void TestPrintModuleWindow::chosenPointAndDishesAreWhatIsPrinted()
{
    Host host;
    QWidget *window = host.openWindow();
    QVERIFY(window);
    auto *points = part<QComboBox>(window, "cmbPoint");
    points->setFocus();
    QTest::keyClick(points, Qt::Key_Down);   // the first delivery point
    QCOMPARE(points->currentIndex(), 1);
    const QString point = points->currentData().toString();
    auto *dishes = part<QListWidget>(window, "lstDishes");
    QVERIFY(dishes->count() > 1);
    // The first dish left out.
    const QString leftOut = dishes->item(0)->data(Qt::UserRole).toString();
    const QString leftOutName = dishes->item(0)->text();
    QVERIFY(!leftOutName.isEmpty());
    dishes->item(0)->setCheckState(Qt::Unchecked);

    const int expected = host.db.scalar(QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE CDFILIAL = '0001' AND CDSERVFILI = '00001' "
                                                       "AND DTSERVTRAN = ? AND CDDESTFILI = ? AND CDPRATO <> ?"),
                                        {server::demoDay().toString(Qt::ISODate), point, leftOut})
                             .toInt();
    QVERIFY(expected > 0);
    QVERIFY(part<QLabel>(window, "lblCount")->text().startsWith(QString::number(expected) + QStringLiteral(" etiqueta(s)")));

    const QString pdf = host.db.file(QStringLiteral("point.pdf"));
    QVERIFY(writePdf(window, pdf));
    const QString text = printtest::pdfDocumentText(pdf);
    QCOMPARE(text.count(QStringLiteral("Etiqueta ")), expected);
    const QString pointName = host.db.scalar(QStringLiteral("SELECT NMDESTFILI FROM DESTFILI WHERE CDFILIAL = '0001' AND CDDESTFILI = ?"), {point})
                                  .toString();
    QCOMPARE(text.count(QStringLiteral("Ponto: ") + pointName), expected);
    QVERIFY(!text.contains(leftOutName));
}

void TestPrintModuleWindow::layoutAndServiceKeptForTheNextOpening()
{
    Host host;
    QWidget *window = host.openWindow();
    QVERIFY(window);
    // Before anything was saved, files are suggested in the user's documents, never in the
    // program's working folder.
    QString suggested;
    QVERIFY(QMetaObject::invokeMethod(window, "suggestedFile", Qt::DirectConnection, Q_RETURN_ARG(QString, suggested),
                                      Q_ARG(QString, QStringLiteral("lista")), Q_ARG(QString, QStringLiteral("pdf"))));
    QCOMPARE(QFileInfo(suggested).absolutePath(), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    auto *layout = part<QComboBox>(window, "cmbLayout");
    layout->setCurrentIndex(1);   // the roll
    part<QComboBox>(window, "cmbService")->setCurrentIndex(1);
    QVERIFY(!part<QWidget>(window, "spnRows")->isEnabled());
    part<QComboBox>(window, "cmbDocument")->setCurrentIndex(2);   // the division list
    qobject_cast<framework::Form *>(window)->closeForm();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(host.printWindows().isEmpty());
    QVERIFY(host.window->mdiArea()->subWindowList().isEmpty());

    window = host.openWindow();
    QVERIFY(window);
    QCOMPARE(part<QComboBox>(window, "cmbLayout")->currentIndex(), 1);
    QCOMPARE(part<QComboBox>(window, "cmbService")->currentData().toString(), QStringLiteral("00002"));
    QVERIFY(!part<QWidget>(window, "spnRows")->isEnabled());
    QCOMPARE(part<QComboBox>(window, "cmbDocument")->currentIndex(), 2);
    QVERIFY(part<QPushButton>(window, "btnXlsx")->isEnabled());
    part<QComboBox>(window, "cmbDocument")->setCurrentIndex(0);   // the labels, for what follows
    part<QComboBox>(window, "cmbLayout")->setCurrentIndex(0);
    part<QComboBox>(window, "cmbService")->setCurrentIndex(0);
    qobject_cast<framework::Form *>(window)->closeForm();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestPrintModuleWindow::chosenListAndPointAreWhatIsWritten()
{
    Host host;
    QWidget *window = host.openWindow();
    QVERIFY(window);
    auto *document = part<QComboBox>(window, "cmbDocument");
    QVERIFY(part<QWidget>(window, "spnRows")->isEnabled());
    QVERIFY(!part<QPushButton>(window, "btnCsv")->isEnabled());
    document->setFocus();
    QTest::keyClick(document, Qt::Key_Down);   // the delivery list
    QCOMPARE(document->currentText(), QStringLiteral("Lista de entrega"));
    QVERIFY(!part<QWidget>(window, "spnRows")->isEnabled());
    QVERIFY(part<QPushButton>(window, "btnCsv")->isEnabled());
    QVERIFY(host.presenter.errors().isEmpty());

    const QString day = server::demoDay().toString(Qt::ISODate);
    const int rows = host.db.scalar(QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE CDFILIAL = '0001' AND CDSERVFILI = '00001' "
                                                   "AND DTSERVTRAN = ?"), {day}).toInt();
    QVERIFY(part<QLabel>(window, "lblCount")->text().startsWith(QString::number(rows) + QStringLiteral(" prato(s)")));
    const QString csv = host.db.file(QStringLiteral("day.csv"));
    writeCsv(window, csv);
    QCOMPARE(csvLinesStartingWith(csv, QStringLiteral("Prato")), rows);

    // One point: its rows only, on paper and in the spreadsheet.
    auto *points = part<QComboBox>(window, "cmbPoint");
    points->setFocus();
    QTest::keyClick(points, Qt::Key_Down);
    const QString point = points->currentData().toString();
    QCOMPARE(point, QStringLiteral("001"));
    const int pointRows = host.db.scalar(QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE CDFILIAL = '0001' AND CDSERVFILI = '00001' "
                                                        "AND DTSERVTRAN = ? AND CDDESTFILI = ?"), {day, point}).toInt();
    writeCsv(window, csv);
    QCOMPARE(csvLinesStartingWith(csv, QStringLiteral("Prato")), pointRows);
    const QString pdf = host.db.file(QStringLiteral("day.pdf"));
    QVERIFY(writePdf(window, pdf));
    const QString text = printtest::pdfDocumentText(pdf);
    QVERIFY(text.contains(QStringLiteral("Lista de Entrega")));
    QVERIFY(text.contains(QStringLiteral("Ala de internação")));
    QVERIFY(!text.contains(QStringLiteral("Residência")));

    // The division list of the same choice; back on the labels, nothing is exported as CSV.
    document->setFocus();
    QTest::keyClick(document, Qt::Key_Down);
    QVERIFY(writePdf(window, pdf));
    QVERIFY(printtest::pdfDocumentText(pdf).contains(QStringLiteral("Lista de Divisão")));
    QVERIFY(part<QLabel>(window, "lblCount")->text().startsWith(QString::number(pointRows) + QStringLiteral(" entrega(s) de ")));
    QTest::keyClick(document, Qt::Key_Up);
    QTest::keyClick(document, Qt::Key_Up);
    QCOMPARE(document->currentIndex(), 0);
    QVERIFY(!part<QPushButton>(window, "btnCsv")->isEnabled());
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, writeCsv(window, host.db.file(QStringLiteral("labels.csv"))));
    QVERIFY(host.presenter.errors().isEmpty());
}

void TestPrintModuleWindow::listWithoutTheServerSaysSo()
{
    Host host;
    QWidget *window = host.openWindow();
    QVERIFY(window);
    if (part<QComboBox>(window, "cmbDocument")->currentIndex() != 0) {
        // The window opens on the document chosen last: back to the labels, and open it again.
        part<QComboBox>(window, "cmbDocument")->setCurrentIndex(0);
        qobject_cast<framework::Form *>(window)->closeForm();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        window = host.openWindow();
        QVERIFY(window);
    }
    host.server.reset();
    auto *document = part<QComboBox>(window, "cmbDocument");
    document->setFocus();
    QTest::keyClick(document, Qt::Key_Down);
    QCOMPARE(host.presenter.errors().size(), 1);
    // Nothing of a day that could not be read is written.
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, writeCsv(window, host.db.file(QStringLiteral("none.csv"))));
    QVERIFY(!QFile::exists(host.db.file(QStringLiteral("none.csv"))));
    // The labels read when the window opened still print.
    QTest::keyClick(document, Qt::Key_Up);
    QVERIFY(writePdf(window, host.db.file(QStringLiteral("labels.pdf"))));
}

void TestPrintModuleWindow::unloadingTheModuleTakesItsWindow()
{
    Host host;
    LoadBPL(QStringLiteral("PLA04101"));
    QVERIFY(host.printWindow());
    host.loader->unload(QStringLiteral("PLA04101"));
    QVERIFY(host.printWindows().isEmpty());
    // Loaded again, it opens a new window.
    LoadBPL(QStringLiteral("PLA04101"));
    QVERIFY(host.printWindow());
}

// OPER1 may use branch 0001 only: typing 0002 is refused as on the screen's header, and nothing
// of 0002 is listed or printed.
void TestPrintModuleWindow::branchOfAnotherOperatorShowsNothing()
{
    Host host(QStringLiteral("OPER1"));
    QWidget *window = host.openWindow();
    QVERIFY(window);
    QVERIFY(part<QLabel>(window, "lblCount")->text().startsWith(QStringLiteral("28 etiqueta(s)")));
    host.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(host.window.get()));
    auto *branch = part<QLineEdit>(window, "edtBranch");
    branch->setFocus();
    QTRY_VERIFY(branch->hasFocus());
    branch->selectAll();
    QTest::keyClicks(branch, QStringLiteral("0002"));
    QTest::keyClick(branch, Qt::Key_Tab);
    QCOMPARE(host.presenter.messages(), QStringList{QStringLiteral("Operador sem acesso à filial 0002.")});
    QCOMPARE(part<QComboBox>(window, "cmbService")->count(), 0);
    QVERIFY2(part<QLabel>(window, "lblCount")->text().startsWith(QStringLiteral("0 etiqueta(s)")),
             qPrintable(part<QLabel>(window, "lblCount")->text()));
    QVERIFY(part<QLabel>(window, "lblBranchName")->text().isEmpty());
}

// A label whose client is no longer registered still counts and prints, with the client's code,
// and the window says what is missing.
void TestPrintModuleWindow::labelsWithoutTheirRecordsStillCount()
{
    Host host;
    host.db.exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
    host.db.exec(QStringLiteral("DELETE FROM CLIENTE WHERE CDCLIENTE = '0000101'"));
    QWidget *window = host.openWindow();
    QVERIFY(window);
    QVERIFY2(part<QLabel>(window, "lblCount")->text().startsWith(QStringLiteral("28 etiqueta(s)")),
             qPrintable(part<QLabel>(window, "lblCount")->text()));
    QCOMPARE(part<QLabel>(window, "lblMissing")->text(),
             QStringLiteral("Etiquetas com cadastro ausente, impressas com o código: cliente 0000101."));
    QVERIFY(host.presenter.errors().isEmpty());
}

// At the kitchen's door: the scanner types a hot dish's label code and Enter, which picks its
// line; the temperature typed is judged at once against the dish's mode; Enter stores it through
// the server. The same container again needs the reason of the correction.
void TestPrintModuleWindow::containersDispatchedByScannerAndKeys()
{
    Host host;
    const QStringList key = host.db.scalar(QStringLiteral(
        "SELECT E.CDDIETPADST || '|' || E.NRSERVTRAN || '|' || E.NRSEQUETIQTR FROM ETIQSERVTRAN E "
        "JOIN CONSPRATO K ON K.CDPRATO = E.CDPRATO AND K.CDFILAUXPRAT = E.CDFILAUXPRAT "
        "WHERE E.CDFILIAL = '0001' AND E.CDSERVFILI = '00001' AND K.IDCONSERV = 'Q' "
        "ORDER BY E.NRSERVTRAN DESC, E.NRSEQUETIQTR DESC LIMIT 1")).toString().split(u'|');
    QCOMPARE(key.size(), 3);
    printlabels::ContainerLabel label;
    label.branch = QStringLiteral("0001");
    label.service = QStringLiteral("00001");
    label.date = server::demoDay();
    label.diet = key[0];
    label.rowNumber = key[1];
    label.sequence = key[2];

    QWidget *window = host.openWindow();
    QVERIFY(window);
    QTest::mouseClick(part<QPushButton>(window, "btnDispatch"), Qt::LeftButton);
    auto *dialog = window->findChild<QDialog *>(QStringLiteral("dispatchDialog"));
    QVERIFY(dialog && dialog->isVisible());
    auto *table = part<QTableWidget>(dialog, "tblContainers");
    auto *scan = part<QLineEdit>(dialog, "edtScan");
    auto *temperature = part<QLineEdit>(dialog, "edtTemperature");
    auto *reason = part<QLineEdit>(dialog, "edtReason");
    auto *range = part<QLabel>(dialog, "lblRange");
    QCOMPARE(table->rowCount(), 28);
    QVERIFY(table->currentRow() < 0);

    QTest::keyClicks(scan, printlabels::keyText(label));
    QTest::keyClick(scan, Qt::Key_Return);
    const int row = table->currentRow();
    QVERIFY(row >= 0);
    QVERIFY2(table->item(row, 2)->text().startsWith(label.sequence), qPrintable(table->item(row, 2)->text()));
    QCOMPARE(table->item(row, 4)->text(), QStringLiteral("quente"));
    QCOMPARE(dialog->focusWidget(), temperature);

    // judged as it is typed: 45 °C is too cold for hot food, 65 °C is not
    QTest::keyClicks(temperature, QStringLiteral("45"));
    QCOMPARE(range->text(), QStringLiteral("Fora da faixa: manter acima de 60 °C"));
    QVERIFY(range->styleSheet().contains(QStringLiteral("color")));
    QTest::keyClick(temperature, Qt::Key_Backspace);
    QTest::keyClick(temperature, Qt::Key_Backspace);
    QTest::keyClicks(temperature, QStringLiteral("65"));
    QCOMPARE(range->text(), QString());
    QTest::keyClick(temperature, Qt::Key_Backspace);
    QTest::keyClick(temperature, Qt::Key_Backspace);
    QTest::keyClicks(temperature, QStringLiteral("58,5"));
    QVERIFY(!range->text().isEmpty());
    QTest::keyClick(temperature, Qt::Key_Return);
    QVERIFY2(host.presenter.errors().isEmpty(), qPrintable(host.presenter.errors().join(u'\n')));
    QCOMPARE(host.db.scalar(QStringLiteral("SELECT COUNT(*) FROM EXPESERVTRAN")).toInt(), 1);
    QCOMPARE(host.db.scalar(QStringLiteral("SELECT VRTEMPERATURA FROM EXPESERVTRAN")).toDouble(), 58.5);
    QCOMPARE(host.db.scalar(QStringLiteral("SELECT CDOPERADOR FROM EXPESERVTRAN")).toString(), QStringLiteral("ADMIN"));
    QCOMPARE(table->item(row, 6)->text(), QStringLiteral("58,5 °C"));
    QVERIFY2(table->item(row, 7)->text().startsWith(QStringLiteral("Fora da faixa")), qPrintable(table->item(row, 7)->text()));
    QVERIFY(table->item(row, 7)->foreground().color() != table->item(row, 1)->foreground().color());
    QCOMPARE(dialog->focusWidget(), scan);

    // the same container again: refused without a reason, a correction with one
    QTest::keyClicks(scan, printlabels::keyText(label));
    QTest::keyClick(scan, Qt::Key_Return);
    QTest::keyClicks(temperature, QStringLiteral("62"));
    QTest::keyClick(temperature, Qt::Key_Return);
    QCOMPARE(host.presenter.errors().size(), 1);
    QVERIFY2(host.presenter.errors().constFirst().contains(QStringLiteral("informe o motivo")),
             qPrintable(host.presenter.errors().constFirst()));
    QCOMPARE(host.db.scalar(QStringLiteral("SELECT COUNT(*) FROM EXPESERVTRAN")).toInt(), 1);
    QCOMPARE(dialog->focusWidget(), reason);
    QTest::keyClicks(reason, QStringLiteral("sonda trocada"));
    QTest::keyClick(reason, Qt::Key_Return);
    QCOMPARE(host.presenter.errors().size(), 1);
    QCOMPARE(host.db.scalar(QStringLiteral("SELECT COUNT(*) FROM EXPESERVTRAN")).toInt(), 2);
    QCOMPARE(table->item(row, 6)->text(), QStringLiteral("62,0 °C"));
    QVERIFY2(table->item(row, 7)->text().contains(QStringLiteral("corrigido: sonda trocada")),
             qPrintable(table->item(row, 7)->text()));
}

// Labels printed with their receipt's link carry it in their code, which the scanner then types:
// the dispatch window picks the container by it. The window opens with its situation column
// wide enough for a container out of range, the longest thing it says.
void TestPrintModuleWindow::dispatchOpensWideAndTakesTheLabelsLink()
{
    server::ServerSettings settings;
    settings.service.webUrl = QStringLiteral("https://127.0.0.1:8443");
    Host host(QStringLiteral("ADMIN"), settings);
    QWidget *window = host.openWindow();
    QVERIFY(window);
    QTest::mouseClick(part<QPushButton>(window, "btnDispatch"), Qt::LeftButton);
    auto *dialog = window->findChild<QDialog *>(QStringLiteral("dispatchDialog"));
    QVERIFY(dialog && dialog->isVisible());
    auto *table = part<QTableWidget>(dialog, "tblContainers");
    const int situation = table->columnCount() - 1;
    const QString outOfRange = QStringLiteral("Fora da faixa: manter a −18 °C ou menos às 12:05 por ADMIN");
    QVERIFY2(table->horizontalHeader()->sectionSize(situation) >= table->fontMetrics().horizontalAdvance(outOfRange),
             qPrintable(QStringLiteral("%1 px").arg(table->horizontalHeader()->sectionSize(situation))));
    QVERIFY(table->horizontalHeader()->sectionViewportPosition(situation) + table->horizontalHeader()->sectionSize(situation)
            <= table->viewport()->width());

    // the link of the 6th container, as the server signed it for the labels
    server::Database db(QStringLiteral("sqlite:") + host.db.file(QStringLiteral("servtran.db")));
    const QStringList key = host.db.scalar(QStringLiteral(
        "SELECT CDDIETPADST || '|' || NRSERVTRAN || '|' || NRSEQUETIQTR FROM ETIQSERVTRAN "
        "WHERE CDFILIAL = '0001' AND CDSERVFILI = '00001' ORDER BY NRSERVTRAN DESC, NRSEQUETIQTR LIMIT 1 OFFSET 5"))
                                .toString()
                                .split(u'|');
    QCOMPARE(key.size(), 3);
    const QString link = server::LinkSigner(db, settings.service.webUrl)
                             .url({QStringLiteral("0001"), QStringLiteral("00001"), server::demoDay(), key[0], key[1], key[2]});
    QTest::keyClicks(part<QLineEdit>(dialog, "edtScan"), link);
    QTest::keyClick(part<QLineEdit>(dialog, "edtScan"), Qt::Key_Return);
    QVERIFY2(host.presenter.errors().isEmpty(), qPrintable(host.presenter.errors().join(u'\n')));
    const int row = table->currentRow();
    QVERIFY(row >= 0);
    QVERIFY2(table->item(row, 2)->text().startsWith(key[2]), qPrintable(table->item(row, 2)->text()));
    QCOMPARE(dialog->focusWidget(), part<QLineEdit>(dialog, "edtTemperature"));
    // a link altered is no label of the day
    QString altered = link;
    altered[altered.size() - 3] = altered[altered.size() - 3] == u'A' ? u'B' : u'A';
    QTest::keyClicks(part<QLineEdit>(dialog, "edtScan"), altered);
    QTest::keyClick(part<QLineEdit>(dialog, "edtScan"), Qt::Key_Return);
    QCOMPARE(host.presenter.errors(), QStringList{QStringLiteral("A etiqueta lida não é deste serviço e dia.")});
}

// A container dispatched at 4.5 °C, received at 6.0 °C by Maria, corrected to 7.5 °C by João: the
// history window names each of these by what it is, in degrees, never by its column's code.
void TestPrintModuleWindow::historyNamesTheContainersTemperatures()
{
    server::ServerSettings settings;
    settings.service.webUrl = QStringLiteral("https://127.0.0.1:8443");
    Host host(QStringLiteral("ADMIN"), settings);
    const QStringList key = host.db.scalar(QStringLiteral(
        "SELECT CDDIETPADST || '|' || NRSERVTRAN || '|' || NRSEQUETIQTR FROM ETIQSERVTRAN "
        "WHERE CDFILIAL = '0001' AND CDSERVFILI = '00001' ORDER BY NRSERVTRAN, NRSEQUETIQTR LIMIT 1"))
                                .toString()
                                .split(u'|');
    QCOMPARE(key.size(), 3);
    const auto connection = [&](const char *operatorCode) {
        auto c = std::make_unique<framework::TNetConnection>();
        c->setServerName(QStringLiteral("Pla04100.rdmServTran"));
        c->setHost(QStringLiteral("127.0.0.1"));
        c->setPort(host.server->port());
        c->setOperatorCode(QString::fromLatin1(operatorCode));
        c->setPassword(QString::fromLatin1(server::kDemoPassword));
        return c;
    };
    const auto succeeded = [](const QVariant &answer) { return protocol::resultErrorText(answer).isEmpty(); };
    QVERIFY(succeeded(connection("ADMIN")->call(QStringLiteral("SetExpedicao"),
                                                {QStringLiteral("0001"), QStringLiteral("00001"), protocol::wallClock(server::demoDay()),
                                                 key[0], key[1], key[2], 4.5, QString()})));
    server::Database db(QStringLiteral("sqlite:") + host.db.file(QStringLiteral("servtran.db")));
    const QString token = server::LinkSigner(db, settings.service.webUrl)
                              .token({QStringLiteral("0001"), QStringLiteral("00001"), server::demoDay(), key[0], key[1], key[2]});
    const auto phone = connection("RECEB");
    QVERIFY(succeeded(phone->call(QStringLiteral("SetRecebimento"), {token, 6.0, QStringLiteral("Maria"), QString(), QString()})));
    QVERIFY(succeeded(phone->call(QStringLiteral("SetRecebimento"),
                                  {token, 7.5, QStringLiteral("João"), QStringLiteral("caixa aberta antes"), QString()})));

    QWidget *window = host.openWindow();
    QVERIFY(window);
    QTest::mouseClick(part<QPushButton>(window, "btnHistory"), Qt::LeftButton);
    auto *table = part<QTableWidget>(window->findChild<QDialog *>(QStringLiteral("historyDialog")), "tblHistory");
    QStringList shown;   // "field: before → after"
    for (int r = 0; r < table->rowCount(); ++r) {
        QMap<QString, QString> cell;
        for (int c = 0; c < table->columnCount(); ++c)
            cell.insert(table->horizontalHeaderItem(c)->text(), table->item(r, c) ? table->item(r, c)->text() : QString());
        shown << QStringLiteral("%1: %2 → %3").arg(cell[QStringLiteral("Campo")], cell[QStringLiteral("Antes")], cell[QStringLiteral("Depois")]);
    }
    const QString label = key[2];
    for (const QString &expected :
         {QStringLiteral("Temperatura na expedição, etiqueta %1: (vazio) → 4,5 °C").arg(label),
          QStringLiteral("Temperatura no recebimento, etiqueta %1: (vazio) → 6,0 °C").arg(label),
          QStringLiteral("Recebido por: (vazio) → Maria"),
          QStringLiteral("Temperatura no recebimento, etiqueta %1: 6,0 °C → 7,5 °C").arg(label),
          QStringLiteral("Recebido por: Maria → João"), QStringLiteral("Motivo da correção: (vazio) → caixa aberta antes")})
        QVERIFY2(shown.contains(expected), qPrintable(expected + QStringLiteral(" not in:\n") + shown.join(u'\n')));
}

QTEST_MAIN(TestPrintModuleWindow)
#include "tst_printmodule_window.moc"

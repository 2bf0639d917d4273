// The demo day's labels read from the database, laid out, drawn into PDF files and read back
// with the PDF and barcode tools a user would have.

#include "demodatabase.h"

#include <labels/labellayout.h>
#include <labels/labelrenderer.h>
#include <labels/labelsource.h>
#include <server/demo.h>
#include <toolkit/error.h>

#include <QLocale>
#include <QPdfWriter>
#include <QPrinter>
#include <QSettings>
#include <QTest>

using namespace printlabels;
using printtest::DemoDatabase;

Q_DECLARE_METATYPE(printlabels::LabelLayout)

namespace {

const QString kBranch = QStringLiteral("0001");
const QString kService = QStringLiteral("00001");

LabelLayout sheet(int rows, int columns)
{
    LabelLayout layout;
    layout.rows = rows;
    layout.columns = columns;
    return layout;
}

LabelLayout roll()
{
    LabelLayout layout;
    layout.kind = LayoutKind::Roll;
    return layout;
}

QString writePdf(const DemoDatabase &db, const QList<ContainerLabel> &labels, const LabelLayout &layout)
{
    const QString path = db.file(QStringLiteral("labels.pdf"));
    QPdfWriter pdf(path);
    pdf.setResolution(600);
    if (!renderLabels(pdf, labels, layout))
        qFatal("the rendering stopped without being asked to");
    return path;
}

} // namespace

class TestPrintLabels : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void readsEveryStoredLabelOfTheDay();
    void everyStoredLabelPrints_data();
    void everyStoredLabelPrints();
    void numbersTheLabelsOfEachDishRow();
    void servicesAreTheTransportedOnes();
    void selectsByPointAndDishes();

    void pdfHoldsEveryLabel_data();
    void pdfHoldsEveryLabel();
    void coldChainOnTheLabel_data();
    void coldChainOnTheLabel();
    void codesDecodeToTheLabelsKeys_data();
    void codesDecodeToTheLabelsKeys();
    void cancelledRenderingStops();
    void printerGetsTheLayoutsPage_data();
    void printerGetsTheLayoutsPage();

    void quantityInBrazilianFormat_data();
    void quantityInBrazilianFormat();
    void keyTextRoundTrip();
    void sheetLabelsStayOnThePageApart_data();
    void sheetLabelsStayOnThePageApart();
    void layoutProblems_data();
    void layoutProblems();
    void layoutKeptInSettings();
};

void TestPrintLabels::readsEveryStoredLabelOfTheDay()
{
    DemoDatabase db;
    const QList<ContainerLabel> labels = labelsOfDay(db.server(), kBranch, kService, server::demoDay());
    const int stored = db.scalar(QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE CDFILIAL = ? AND CDSERVFILI = ? AND DTSERVTRAN = ?"),
                                 {kBranch, kService, server::demoDay().toString(Qt::ISODate)})
                           .toInt();
    QVERIFY(stored > 0);
    QCOMPARE(labels.size(), stored);
    for (const ContainerLabel &label : labels) {
        QCOMPARE(label.branchName, QStringLiteral("Cozinha Central Norte"));
        QCOMPARE(label.serviceName, QStringLiteral("Almoço"));
        QVERIFY(!label.clientName.isEmpty());
        QVERIFY(!label.pointName.isEmpty());
        QVERIFY(!label.dishName.isEmpty());
        QVERIFY(label.quantity > 0);
    }
    // Another day has none.
    QVERIFY(labelsOfDay(db.server(), kBranch, kService, server::demoDay().addDays(1)).isEmpty());
}

void TestPrintLabels::everyStoredLabelPrints_data()
{
    QTest::addColumn<QString>("removal");
    QTest::addColumn<QString>("missing");
    QTest::newRow("client") << "DELETE FROM CLIENTE WHERE CDCLIENTE = '0000101'" << "cliente 0000101";
    QTest::newRow("service") << "DELETE FROM SERVICO WHERE CDFILIAL = '0001' AND CDSERVFILI = '00001'" << "serviço 00001";
    QTest::newRow("branch") << "DELETE FROM FILIAL WHERE CDFILIAL = '0001'" << "filial 0001";
}

// A label whose client, service or branch is no longer registered is read all the same, with the
// code in place of the name, and is said to be missing it.
void TestPrintLabels::everyStoredLabelPrints()
{
    QFETCH(QString, removal);
    QFETCH(QString, missing);
    DemoDatabase db;
    db.exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
    db.exec(removal);
    QStringList said;
    const QList<ContainerLabel> labels = labelsOfDay(db.server(), kBranch, kService, server::demoDay(), &said);
    QCOMPARE(labels.size(), 28);
    QCOMPARE(said, QStringList{missing});
    const QString code = missing.section(QLatin1Char(' '), 1);
    int withCode = 0;
    for (const ContainerLabel &label : labels)
        withCode += label.clientName == code || label.serviceName == code || label.branchName == code;
    QVERIFY(withCode > 0);
}

void TestPrintLabels::numbersTheLabelsOfEachDishRow()
{
    DemoDatabase db;
    const QList<ContainerLabel> labels = labelsOfDay(db.server(), kBranch, kService, server::demoDay());
    for (const ContainerLabel &label : labels) {
        const int ofRow = db.scalar(QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE CDFILIAL = ? AND CDSERVFILI = ? "
                                                   "AND DTSERVTRAN = ? AND CDDIETPADST = ? AND NRSERVTRAN = ?"),
                                    {kBranch, kService, server::demoDay().toString(Qt::ISODate), label.diet, label.rowNumber})
                              .toInt();
        const int before = db.scalar(QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE CDFILIAL = ? AND CDSERVFILI = ? "
                                                    "AND DTSERVTRAN = ? AND CDDIETPADST = ? AND NRSERVTRAN = ? AND NRSEQUETIQTR <= ?"),
                                     {kBranch, kService, server::demoDay().toString(Qt::ISODate), label.diet, label.rowNumber, label.sequence})
                               .toInt();
        QCOMPARE(label.count, ofRow);
        QCOMPARE(label.index, before);
    }
}

void TestPrintLabels::servicesAreTheTransportedOnes()
{
    DemoDatabase db;
    QStringList codes;
    for (const ServiceChoice &s : transportedServices(kBranch))
        codes << s.code;
    // 00003 is transported but of kind A, 00004 is not transported.
    QCOMPARE(codes, (QStringList{"00001", "00002"}));
    QCOMPARE(branchName(kBranch), QStringLiteral("Cozinha Central Norte"));
    QVERIFY(branchName(QStringLiteral("9999")).isEmpty());
}

void TestPrintLabels::selectsByPointAndDishes()
{
    DemoDatabase db;
    const QList<ContainerLabel> day = labelsOfDay(db.server(), kBranch, kService, server::demoDay());
    const QList<NamedCode> points = pointsOf(day);
    const QList<NamedCode> dishes = dishesOf(day);
    QVERIFY(points.size() > 1);
    QVERIFY(dishes.size() > 1);
    QCOMPARE(selectLabels(day, {}).size(), day.size());

    const QList<ContainerLabel> ofPoint = selectLabels(day, {points[1].code, {}});
    QVERIFY(!ofPoint.isEmpty());
    QVERIFY(ofPoint.size() < day.size());
    for (const ContainerLabel &l : ofPoint)
        QCOMPARE(l.pointCode, points[1].code);

    const QList<ContainerLabel> ofDish = selectLabels(day, {{}, {dishes[0].code}});
    QVERIFY(!ofDish.isEmpty());
    for (const ContainerLabel &l : ofDish)
        QCOMPARE(l.dishCode, dishes[0].code);
}

void TestPrintLabels::pdfHoldsEveryLabel_data()
{
    QTest::addColumn<LabelLayout>("layout");
    QTest::newRow("A4 3 x 8") << sheet(8, 3);
    QTest::newRow("A4 2 x 4") << sheet(4, 2);
    LabelLayout wide = sheet(2, 1);
    wide.marginTop = wide.marginLeft = 20;
    wide.gapVertical = 10;
    QTest::newRow("A4 1 x 2, wide margins") << wide;
    QTest::newRow("roll 100 x 50") << roll();
}

void TestPrintLabels::pdfHoldsEveryLabel()
{
    QFETCH(LabelLayout, layout);
    DemoDatabase db;
    const QList<ContainerLabel> labels = labelsOfDay(db.server(), kBranch, kService, server::demoDay());
    const QString pdf = writePdf(db, labels, layout);

    const int perPage = layout.labelsPerPage();
    QCOMPARE(printtest::pdfPageCount(pdf), (int(labels.size()) + perPage - 1) / perPage);
    const QList<QList<LabelPlacement>> pages = paginate(int(labels.size()), layout);
    for (qsizetype p = 0; p < pages.size(); ++p) {
        // Texts of the page without line breaks, so that a line the tool splits still matches.
        const QString text = printtest::pdfText(pdf, int(p + 1)).simplified();
        for (const LabelPlacement &placement : pages[p]) {
            const ContainerLabel &label = labels[placement.label];
            QVERIFY2(text.contains(label.dishName), qPrintable(label.dishName + QStringLiteral(" on page ") + QString::number(p + 1)));
            QVERIFY2(text.contains(QStringLiteral("Ponto: ") + label.pointName), qPrintable(label.pointName));
            QVERIFY2(text.contains(QStringLiteral("Etiqueta ") + positionText(label)), qPrintable(positionText(label)));
            QVERIFY2(text.contains(quantityText(label)), qPrintable(quantityText(label)));
            for (const QString &coldChain : {preparedText(label), useByText(label), instructionText(label)})
                QVERIFY2(text.contains(coldChain), qPrintable(coldChain + QStringLiteral(" on page ") + QString::number(p + 1)));
        }
        // Each page has as many "Etiqueta i de n" as labels.
        QCOMPARE(text.count(QStringLiteral("Etiqueta ")), pages[p].size());
    }
}

void TestPrintLabels::coldChainOnTheLabel_data()
{
    QTest::addColumn<LabelLayout>("layout");
    QTest::addColumn<QString>("dish");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("hours");
    QTest::addColumn<QString>("instruction");
    const QList<std::pair<const char *, LabelLayout>> layouts = {{"A4 3 x 8", sheet(8, 3)}, {"roll 100 x 50", roll()}};
    for (const auto &[name, layout] : layouts) {
        const auto row = [&](const char *what) -> QTestData & { return QTest::addRow("%s, %s", name, what) << layout; };
        row("hot") << "1010010001" << "" << 6 << "Manter acima de 60 °C";
        row("chilled, the dish's own 24 h") << "3010010001" << "" << 24 << "Manter abaixo de 5 °C";
        row("chilled, the branch's 48 h") << "4010010001" << "" << 48 << "Manter abaixo de 5 °C";
        row("chilled, a branch asking more keeps five days")
            << "4010010001" << "UPDATE CONSFILI SET QTHORASCONS = 200" << 120 << "Manter abaixo de 5 °C";
        row("frozen") << "4010010001" << "UPDATE CONSPRATO SET IDCONSERV = 'C' WHERE CDPRATO = '4010010001'" << 2160
                      << "Manter a −18 °C ou menos";
        row("mode not registered") << "2010010001" << "DELETE FROM CONSPRATO WHERE CDPRATO = '2010010001'" << 2
                                   << "Conservação não cadastrada";
    }
}

// A dish's labels print when its row's labels were made, the use-by its mode, the dish and the
// branch give, and how to keep it, at both label sizes.
void TestPrintLabels::coldChainOnTheLabel()
{
    QFETCH(LabelLayout, layout);
    QFETCH(QString, dish);
    QFETCH(QString, change);
    QFETCH(int, hours);
    QFETCH(QString, instruction);
    DemoDatabase db;
    if (!change.isEmpty())
        db.exec(change);
    // labels made at 10:30:40 on the day, the kitchen's time
    const QDateTime made(server::demoDay(), QTime(10, 30, 40));
    db.exec(QStringLiteral("UPDATE PREPSERVTRAN SET DTHRPREPARO = ?"), {made.toUTC().toString(Qt::ISODateWithMs)});
    QList<ContainerLabel> labels = labelsOfDay(db.server(), kBranch, kService, server::demoDay());
    labels.removeIf([&](const ContainerLabel &label) { return label.dishCode != dish; });
    QVERIFY(!labels.isEmpty());
    const QString prepared = made.toString(QStringLiteral("'Preparo: 'dd/MM/yyyy HH:mm"));
    const QString useBy = made.addSecs(hours * 3600).toString(QStringLiteral("'Consumir até 'dd/MM/yyyy HH:mm"));
    const QString pdf = writePdf(db, labels, layout);
    const QList<QList<LabelPlacement>> pages = paginate(int(labels.size()), layout);
    for (qsizetype p = 0; p < pages.size(); ++p) {
        const QString text = printtest::pdfText(pdf, int(p + 1)).simplified();
        for (const QString &expected : {prepared, useBy, instruction})
            QVERIFY2(text.count(expected) == pages[p].size(), qPrintable(expected + QStringLiteral(" in: ") + text));
    }
}

void TestPrintLabels::codesDecodeToTheLabelsKeys_data()
{
    QTest::addColumn<LabelLayout>("layout");
    QTest::addColumn<QString>("webUrl");   // the server's; empty: labels without links
    QTest::addColumn<int>("dpi");          // of the page as the reader sees it
    const QString web = QStringLiteral("https://cozinha-central-norte.example:8443/recebimento");
    QTest::newRow("A4 3 x 8") << sheet(8, 3) << QString() << 300;
    QTest::newRow("A4 2 x 5") << sheet(5, 2) << QString() << 300;
    QTest::newRow("roll 100 x 50") << roll() << QString() << 300;
    // a link is three times the key text: a denser code, which must still read on the small
    // label at a thermal printer's 203 dpi
    QTest::newRow("A4 3 x 8 with links") << sheet(8, 3) << web << 300;
    QTest::newRow("roll 100 x 50 with links, 203 dpi") << roll() << web << 203;
}

void TestPrintLabels::codesDecodeToTheLabelsKeys()
{
    QFETCH(LabelLayout, layout);
    QFETCH(QString, webUrl);
    QFETCH(int, dpi);
    server::ServerSettings settings;
    settings.service.webUrl = webUrl;
    DemoDatabase db(settings);
    const QList<ContainerLabel> labels = labelsOfDay(db.server(), kBranch, kService, server::demoDay());
    const QString pdf = writePdf(db, labels, layout);
    const QList<QList<LabelPlacement>> pages = paginate(int(labels.size()), layout);
    // The first and the last page: the last one is where a partly filled sheet ends.
    for (const qsizetype p : {qsizetype(0), pages.size() - 1}) {
        QStringList expected;
        QList<QRectF> areas;
        for (const LabelPlacement &placement : pages[p]) {
            expected << (webUrl.isEmpty() ? keyText(labels[placement.label]) : labels[placement.label].link);
            areas << placement.rect;
        }
        expected.sort();
        const QStringList decoded = printtest::decodedCodes(pdf, int(p + 1), areas, db.dir().path(), dpi);
        QCOMPARE(decoded, expected);
        if (!webUrl.isEmpty()) {
            for (const QString &link : decoded)
                QVERIFY2(link.startsWith(webUrl + QStringLiteral("/e/")) && link.size() > webUrl.size() + 60, qPrintable(link));
            continue;
        }
        for (const QString &code : decoded) {
            ContainerLabel key;
            QVERIFY(parseKeyText(code, key));
            QCOMPARE(key.branch, kBranch);
            QCOMPARE(key.service, kService);
            QCOMPARE(key.date, server::demoDay());
            const int stored = db.scalar(QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE CDFILIAL = ? AND CDSERVFILI = ? AND "
                                                        "DTSERVTRAN = ? AND CDDIETPADST = ? AND NRSERVTRAN = ? AND NRSEQUETIQTR = ?"),
                                         {key.branch, key.service, key.date.toString(Qt::ISODate), key.diet, key.rowNumber, key.sequence})
                                   .toInt();
            QCOMPARE(stored, 1);
        }
    }
}

void TestPrintLabels::cancelledRenderingStops()
{
    DemoDatabase db;
    const QList<ContainerLabel> labels = labelsOfDay(db.server(), kBranch, kService, server::demoDay());
    QVERIFY(labels.size() > 2);
    QList<int> told;
    QPdfWriter pdf(db.file(QStringLiteral("cancelled.pdf")));
    const bool complete = renderLabels(pdf, labels, roll(), [&told](int done, int total) {
        told << done;
        return done < 2 && total > 0;
    });
    QVERIFY(!complete);
    QCOMPARE(told, (QList<int>{1, 2}));
}

void TestPrintLabels::printerGetsTheLayoutsPage_data()
{
    QTest::addColumn<LabelLayout>("layout");
    QTest::addColumn<QString>("pageSize");
    QTest::addColumn<int>("pages");
    QTest::newRow("A4 3 x 8") << sheet(8, 3) << "595 x 842 pts" << 1;
    QTest::newRow("roll 100 x 50") << roll() << "283 x 142 pts" << 5;
}

// What the preview and the system's printers get: a QPrinter, here printing to a file.
void TestPrintLabels::printerGetsTheLayoutsPage()
{
    QFETCH(LabelLayout, layout);
    QFETCH(QString, pageSize);
    QFETCH(int, pages);
    DemoDatabase db;
    const QList<ContainerLabel> labels = labelsOfDay(db.server(), kBranch, kService, server::demoDay()).mid(0, 5);
    const QString path = db.file(QStringLiteral("printer.pdf"));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        QVERIFY(renderLabels(printer, labels, layout));
    }
    QCOMPARE(printtest::pdfPageCount(path), pages);
    QVERIFY2(printtest::run(QStringLiteral("pdfinfo"), {path}).contains(QStringLiteral("Page size:       ") + pageSize), qPrintable(pageSize));
    const QString text = printtest::pdfText(path, 1).simplified();
    QVERIFY(text.contains(labels[0].dishName));
}

void TestPrintLabels::quantityInBrazilianFormat_data()
{
    QTest::addColumn<double>("quantity");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 4.0 << "KG" << "4 KG";
    QTest::newRow("decimal") << 4.5 << "KG" << "4,5 KG";
    QTest::newRow("thousands") << 1234.25 << "L" << "1.234,25 L";
    QTest::newRow("three decimals") << 0.125 << "KG" << "0,125 KG";
    QTest::newRow("no unit") << 12.0 << "" << "12";
}

void TestPrintLabels::quantityInBrazilianFormat()
{
    QFETCH(double, quantity);
    QFETCH(QString, unit);
    QFETCH(QString, text);
    ContainerLabel label;
    label.quantity = quantity;
    label.unit = unit;
    QCOMPARE(quantityText(label), text);
}

void TestPrintLabels::keyTextRoundTrip()
{
    ContainerLabel label;
    label.branch = "0001";
    label.service = "00001";
    label.date = QDate(2026, 12, 8);
    label.diet = "XXXX";
    label.rowNumber = "0000000012";
    label.sequence = "0003";
    QCOMPARE(keyText(label), QStringLiteral("ST1|0001|00001|20261208|XXXX|0000000012|0003"));
    ContainerLabel back;
    QVERIFY(parseKeyText(keyText(label), back));
    QCOMPARE(keyText(back), keyText(label));
    QVERIFY(!parseKeyText(QStringLiteral("ST1|0001|00001|2026-12-08|XXXX|12|3"), back));
    QVERIFY(!parseKeyText(QStringLiteral("XX1|0001|00001|20261208|XXXX|12|3"), back));
    QVERIFY(!parseKeyText(QStringLiteral("ST1|0001|00001|20261208|XXXX|12"), back));

    // parts holding the separator or the escape read back whole
    label.diet = QStringLiteral("A|B%");
    label.rowNumber = QStringLiteral("|%7C|");
    QCOMPARE(keyText(label), QStringLiteral("ST1|0001|00001|20261208|A%7CB%25|%7C%257C%7C|0003"));
    QVERIFY(parseKeyText(keyText(label), back));
    QCOMPARE(back.diet, label.diet);
    QCOMPARE(back.rowNumber, label.rowNumber);
    QCOMPARE(back.sequence, label.sequence);
    QVERIFY(!parseKeyText(QStringLiteral("ST1|0001|00001|20261208|XX%2|12|3"), back));
}

void TestPrintLabels::sheetLabelsStayOnThePageApart_data()
{
    QTest::addColumn<LabelLayout>("layout");
    QTest::newRow("3 x 8") << sheet(8, 3);
    QTest::newRow("2 x 7") << sheet(7, 2);
    LabelLayout gaps = sheet(5, 4);
    gaps.gapHorizontal = 5;
    gaps.gapVertical = 8;
    gaps.marginRight = 0;
    QTest::newRow("4 x 5 with gaps") << gaps;
}

void TestPrintLabels::sheetLabelsStayOnThePageApart()
{
    QFETCH(LabelLayout, layout);
    const QRectF page(QPointF(0, 0), layout.pageSize());
    const QRectF printable(layout.marginLeft, layout.marginTop, page.width() - layout.marginLeft - layout.marginRight,
                           page.height() - layout.marginTop - layout.marginBottom);
    QList<QRectF> rects;
    for (int i = 0; i < layout.labelsPerPage(); ++i)
        rects << layout.labelRect(i);
    for (int i = 0; i < rects.size(); ++i) {
        QVERIFY(printable.adjusted(-1e-6, -1e-6, 1e-6, 1e-6).contains(rects[i]));
        for (int j = i + 1; j < rects.size(); ++j)
            QVERIFY(!rects[i].adjusted(1e-6, 1e-6, -1e-6, -1e-6).intersects(rects[j]));
    }
    // The last label ends at the printable area's corner, the gaps between them.
    QCOMPARE(rects.last().right(), printable.right());
    QCOMPARE(rects.last().bottom(), printable.bottom());
    if (layout.columns > 1)
        QCOMPARE(rects[1].left() - rects[0].right(), layout.gapHorizontal);
}

void TestPrintLabels::layoutProblems_data()
{
    QTest::addColumn<LabelLayout>("layout");
    QTest::addColumn<bool>("printable");
    QTest::newRow("defaults") << LabelLayout{} << true;
    QTest::newRow("roll") << roll() << true;
    QTest::newRow("too many rows") << sheet(20, 3) << false;
    QTest::newRow("no columns") << sheet(8, 0) << false;
    LabelLayout negative = sheet(8, 3);
    negative.gapVertical = -1;
    QTest::newRow("negative gap") << negative << false;
    LabelLayout margins = sheet(2, 2);
    margins.marginLeft = margins.marginRight = 95;
    QTest::newRow("margins eat the sheet") << margins << false;
}

void TestPrintLabels::layoutProblems()
{
    QFETCH(LabelLayout, layout);
    QFETCH(bool, printable);
    QCOMPARE(layout.problem().isEmpty(), printable);
    if (!printable) {
        DemoDatabase db;
        QPdfWriter pdf(db.file(QStringLiteral("refused.pdf")));
        QVERIFY_THROWS_EXCEPTION(toolkit::Error, renderLabels(pdf, labelsOfDay(db.server(), kBranch, kService, server::demoDay()), layout));
    }
}

void TestPrintLabels::layoutKeptInSettings()
{
    QTemporaryDir dir;
    LabelLayout layout = sheet(6, 2);
    layout.marginTop = 12.5;
    layout.gapHorizontal = 4;
    {
        QSettings settings(dir.filePath(QStringLiteral("host.ini")), QSettings::IniFormat);
        saveLayout(settings, layout);
    }
    QSettings settings(dir.filePath(QStringLiteral("host.ini")), QSettings::IniFormat);
    const LabelLayout back = loadLayout(settings);
    QCOMPARE(back.kind, LayoutKind::Sheet);
    QCOMPARE(back.rows, 6);
    QCOMPARE(back.columns, 2);
    QCOMPARE(back.marginTop, 12.5);
    QCOMPARE(back.gapHorizontal, 4.0);
    saveLayout(settings, roll());
    QCOMPARE(loadLayout(settings).kind, LayoutKind::Roll);
}

QTEST_MAIN(TestPrintLabels)
#include "tst_printlabels.moc"

// The kitchen lists of the demo day: the dish rows read from a real server on loopback, the lists
// written as PDF files (read back with pdftotext) and as spreadsheet files (parsed back), every
// figure held against the row the database stores.

#include "demodatabase.h"

#include <framework/netconnection.h>
#include <history/changehistory.h>
#include <framework/zandrix.h>
#include <lists/dayrowsource.h>
#include <lists/listcolumns.h>
#include <lists/listcsv.h>
#include <lists/listxlsx.h>
#include <lists/listrenderer.h>
#include <server/demo.h>
#include <server/serverthread.h>

#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using namespace printlists;
using printtest::DemoDatabase;

Q_DECLARE_METATYPE(printlists::ListKind)

namespace {

const QString kBranch = QStringLiteral("0001");
const QString kService = QStringLiteral("00001");

// The demo database served by a real server core on a loopback port, and a connection to it.
class DemoServer {
public:
    DemoServer()
        : server(QStringLiteral("sqlite:") + db.file(QStringLiteral("servtran.db")))
    {
        connection.setServerName(QString::fromLatin1(kServerName));
        connection.setHost(QStringLiteral("127.0.0.1"));
        connection.setPort(server.port());
        connection.setOperatorCode(QStringLiteral("ADMIN"));
        connection.setPassword(QString::fromLatin1(server::kDemoPassword));
    }

    ListDay day() const
    {
        return { kBranch, QStringLiteral("Cozinha Central Norte"), kService, QStringLiteral("Almoço"),
            server::demoDay() };
    }
    QList<DishRow> rows() { return readDishRows(connection, kBranch, kService, server::demoDay()); }

    DemoDatabase db;
    server::ServerThread server;
    TNetConnection connection;
};

// A dish row as the database stores it, by its column names.
using StoredRow = QHash<QString, QVariant>;

// The stored dish rows of the demo day, read on the test's own connection to the file.
QList<StoredRow> readStored(
    const DemoDatabase &db, const QString &condition = QString(), const QVariantList &values = {})
{
    const QString name = QStringLiteral("stored-rows");
    QList<StoredRow> rows;
    {
        QSqlDatabase handle = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        handle.setDatabaseName(db.file(QStringLiteral("servtran.db")));
        if (!handle.open())
            qFatal("cannot open the test database");
        QSqlQuery query(handle);
        query.prepare(QStringLiteral("SELECT T.*, D.NMDESTFILI, C.NMRAZSOCCLIE, P.NMPRATO AS NOMEPRATO FROM SERVTRAN T"
                                     " JOIN DESTFILI D ON D.CDFILIAL = T.CDFILIAL AND D.CDDESTFILI = T.CDDESTFILI"
                                     " JOIN CLIENTE C ON C.CDCLIENTE = T.CDCLIENTE"
                                     " JOIN PRATO P ON P.CDPRATO = T.CDPRATO AND P.CDFILAUXPRAT = T.CDFILAUXPRAT"
                                     " WHERE T.CDFILIAL = ? AND T.CDSERVFILI = ? AND T.DTSERVTRAN = ?")
            + condition);
        query.addBindValue(kBranch);
        query.addBindValue(kService);
        query.addBindValue(server::demoDay().toString(Qt::ISODate));
        for (const QVariant &v : values)
            query.addBindValue(v);
        if (!query.exec())
            qFatal("stored rows: %s", qPrintable(query.lastQuery()));
        while (query.next()) {
            StoredRow row;
            for (int i = 0; i < query.record().count(); ++i)
                row.insert(query.record().fieldName(i).toUpper(), query.value(i));
            rows.append(row);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// A spreadsheet file read back: the byte-order mark, then lines of fields.
struct Csv {
    bool bom = false;
    QStringList titles;
    QList<QStringList> lines;
    QString field(const QStringList &line, const QString &title) const
    {
        const qsizetype at = titles.indexOf(title);
        if (at < 0)
            qFatal("no column %s", qPrintable(title));
        return line.at(at);
    }
    QList<QStringList> linesOf(const QString &kind) const
    {
        QList<QStringList> found;
        for (const QStringList &line : lines)
            if (line.first() == kind)
                found.append(line);
        return found;
    }
};

// Reads RFC 4180 fields with ";" between them and CR LF after each line.
Csv parseCsv(const QByteArray &bytes)
{
    Csv csv;
    csv.bom = bytes.startsWith("\xEF\xBB\xBF");
    const QString text = QString::fromUtf8(csv.bom ? bytes.mid(3) : bytes);
    QList<QStringList> lines;
    QStringList line;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            line << field;
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            line << field;
            field.clear();
            lines << line;
            line.clear();
            ++i;
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !line.isEmpty())
        qFatal("the last line has no line end");
    if (!lines.isEmpty())
        csv.titles = lines.takeFirst();
    csv.lines = lines;
    return csv;
}

// A spreadsheet number: digits with a decimal comma, nothing else.
double csvValue(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^-?\\d+(,\\d+)?$"));
    if (!form.match(text).hasMatch())
        qFatal("not a spreadsheet number: '%s'", qPrintable(text));
    return QString(text).replace(u',', u'.').toDouble();
}

QString writePdf(const DemoDatabase &db, const KitchenList &list)
{
    const QString path = db.file(QStringLiteral("list.pdf"));
    QPdfWriter pdf(path);
    pdf.setResolution(600);
    if (!renderList(pdf, list))
        qFatal("the rendering stopped without being asked to");
    return path;
}

QByteArray writeCsv(const DemoDatabase &db, const KitchenList &list)
{
    const QString path = db.file(QStringLiteral("list.csv"));
    writeListCsv(list, path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no csv file");
    return file.readAll();
}

// The key of a dish row within the day: its client, point and dish.
QString rowKey(const QString &client, const QString &point, const QString &dish)
{
    return client + u'|' + point + u'|' + dish;
}

// The figures the spreadsheet shows beside the stored columns they come from.
const QList<std::pair<QString, QString>> kStoredFigures = {
    { QStringLiteral("Comensais"), QStringLiteral("QTCOMESTIST") },
    { QStringLiteral("Qtde. por Pessoa"), QStringLiteral("QTPADRAOST") },
    { QStringLiteral("Quantidade"), QStringLiteral("QTTOTAPRATST") },
    { QStringLiteral("Amostra"), QStringLiteral("QTAMOSTRAST") },
    { QStringLiteral("Qtde. por Container"), QStringLiteral("QTCONTAIST") },
    { QStringLiteral("Containers"), QStringLiteral("QTTOTACONTST") },
    { QStringLiteral("Completos"), QStringLiteral("QTCONTCOMPST") },
    { QStringLiteral("Qtde. no Parcial"), QStringLiteral("QTPARCPRATST") },
    { QStringLiteral("Containers c/ Amostra"), QStringLiteral("QTTOTACONTSTCAMOS") },
    { QStringLiteral("Completos c/ Amostra"), QStringLiteral("QTCONTCOMPSTCAMOS") },
};
// The sums a total line shows (diners only in the division list's dish totals).
const QList<std::pair<QString, QString>> kSummedFigures = {
    { QStringLiteral("Quantidade"), QStringLiteral("QTTOTAPRATST") },
    { QStringLiteral("Amostra"), QStringLiteral("QTAMOSTRAST") },
    { QStringLiteral("Containers"), QStringLiteral("QTTOTACONTST") },
    { QStringLiteral("Completos"), QStringLiteral("QTCONTCOMPST") },
    { QStringLiteral("Containers c/ Amostra"), QStringLiteral("QTTOTACONTSTCAMOS") },
    { QStringLiteral("Completos c/ Amostra"), QStringLiteral("QTCONTCOMPSTCAMOS") },
};

double sum(const QList<StoredRow> &rows, const QString &column, const std::function<bool(const StoredRow &)> &which)
{
    double total = 0;
    for (const StoredRow &row : rows)
        if (which(row))
            total += row.value(column).toDouble();
    return total;
}

// Holds every line of a list's spreadsheet file against the stored rows it was made of.
void checkCsvAgainstStored(const Csv &csv, ListKind kind, const QList<StoredRow> &stored)
{
    QVERIFY(csv.bom);
    QCOMPARE(csv.titles, [&] {
        QStringList titles;
        for (Column column : spreadsheetColumns(kind))
            titles << columnTitle(column);
        return titles;
    }());
    for (const QStringList &line : csv.lines) {
        QCOMPARE(line.size(), csv.titles.size()); // the separator splits every line the same
        QCOMPARE(csv.field(line, QStringLiteral("Data")), QStringLiteral("08/12/2026"));
    }

    // Every stored row once, with its stored figures.
    const QList<QStringList> rows
        = csv.linesOf(kind == ListKind::Delivery ? QStringLiteral("Prato") : QStringLiteral("Ponto"));
    QCOMPARE(rows.size(), stored.size());
    QHash<QString, StoredRow> byKey;
    for (const StoredRow &row : stored)
        byKey.insert(rowKey(row.value("CDCLIENTE").toString(), row.value("CDDESTFILI").toString(),
                         row.value("CDPRATO").toString()),
            row);
    QSet<QString> seen;
    for (const QStringList &line : rows) {
        const QString key = rowKey(csv.field(line, QStringLiteral("Cód. Cliente")),
            csv.field(line, QStringLiteral("Cód. Ponto")), csv.field(line, QStringLiteral("Cód. Prato")));
        QVERIFY2(byKey.contains(key), qPrintable(key));
        QVERIFY2(!seen.contains(key), qPrintable(key));
        seen.insert(key);
        const StoredRow &row = byKey[key];
        QCOMPARE(csv.field(line, QStringLiteral("Ponto de Entrega")), row.value("NMDESTFILI").toString());
        QCOMPARE(csv.field(line, QStringLiteral("Cliente")), row.value("NMRAZSOCCLIE").toString());
        QCOMPARE(csv.field(line, QStringLiteral("Prato")), row.value("NOMEPRATO").toString());
        QCOMPARE(csv.field(line, QStringLiteral("UN")), row.value("SGUNIDADE").toString());
        for (const auto &[title, column] : kStoredFigures)
            QCOMPARE(csvValue(csv.field(line, title)), row.value(column).toDouble());
        QCOMPARE(csvValue(csv.field(line, QStringLiteral("Qtde. com Amostra"))),
            row.value("QTTOTAPRATST").toDouble() + row.value("QTAMOSTRAST").toDouble());
    }

    // One total a group and unit, equal to the sums of the stored rows.
    const QString group
        = kind == ListKind::Delivery ? QStringLiteral("Total do ponto") : QStringLiteral("Total do prato");
    const auto inGroup = [&](const QStringList &line, const StoredRow &row) {
        if (row.value("SGUNIDADE").toString() != csv.field(line, QStringLiteral("UN")))
            return false;
        return kind == ListKind::Delivery
            ? row.value("CDCLIENTE").toString() == csv.field(line, QStringLiteral("Cód. Cliente"))
                && row.value("CDDESTFILI").toString() == csv.field(line, QStringLiteral("Cód. Ponto"))
            : row.value("CDPRATO").toString() == csv.field(line, QStringLiteral("Cód. Prato"));
    };
    QSet<QString> groupUnits;
    for (const StoredRow &row : stored) {
        const QString key = kind == ListKind::Delivery
            ? QString(row.value("CDCLIENTE").toString() + u'|' + row.value("CDDESTFILI").toString())
            : row.value("CDPRATO").toString();
        groupUnits.insert(key + u'|' + row.value("SGUNIDADE").toString());
    }
    QCOMPARE(csv.linesOf(group).size(), groupUnits.size());
    for (const QStringList &line : csv.linesOf(group)) {
        for (const auto &[title, column] : kSummedFigures)
            QCOMPARE(csvValue(csv.field(line, title)),
                sum(stored, column, [&](const StoredRow &r) { return inGroup(line, r); }));
        if (kind == ListKind::Division)
            QCOMPARE(csvValue(csv.field(line, QStringLiteral("Comensais"))),
                sum(stored, QStringLiteral("QTCOMESTIST"), [&](const StoredRow &r) { return inGroup(line, r); }));
        else
            QVERIFY(csv.field(line, QStringLiteral("Comensais")).isEmpty());
        QVERIFY(csv.field(line, QStringLiteral("Qtde. por Pessoa")).isEmpty());
    }
    QSet<QString> units;
    for (const StoredRow &row : stored)
        units.insert(row.value("SGUNIDADE").toString());
    QCOMPARE(csv.linesOf(QStringLiteral("Total geral")).size(), units.size());
    for (const QStringList &line : csv.linesOf(QStringLiteral("Total geral"))) {
        const QString unit = csv.field(line, QStringLiteral("UN"));
        for (const auto &[title, column] : kSummedFigures)
            QCOMPARE(csvValue(csv.field(line, title)),
                sum(stored, column, [&](const StoredRow &r) { return r.value("SGUNIDADE").toString() == unit; }));
    }
    QCOMPARE(csv.lines.size(), rows.size() + csv.linesOf(group).size() + units.size());

    // Sums are written as a person adds them up ("14,1"), not with the noise of adding doubles.
    static const QRegularExpression noise(QStringLiteral(",\\d{10,}$"));
    for (const QStringList &line : csv.linesOf(group) + csv.linesOf(QStringLiteral("Total geral")))
        for (const QString &field : line)
            QVERIFY2(!noise.match(field).hasMatch(), qPrintable(line.join(u';')));
}

} // namespace

class TestPrintLists : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void readsEveryStoredRowOfTheDay();
    void csvHoldsEveryRowAndTheStoredTotals_data();
    void csvHoldsEveryRowAndTheStoredTotals();
    void pdfShowsPointsDishesAndTotals_data();
    void pdfShowsPointsDishesAndTotals();
    void onePointOrOneDish_data();
    void onePointOrOneDish();
    void namesWithSeparatorsAndQuotesAreQuoted();
    void groupsOrderedForTheirList();

    void spreadsheetReadsAsOnPaper_data();
    void spreadsheetReadsAsOnPaper();

    void csvFields_data();
    void csvFields();
    void csvNumbers_data();
    void csvNumbers();
    void longGroupRepeatsItsHeadsOnTheNextPage();
    void theHistoryWindowReadsEveryPage();
    void namesNeverRunAsFormulas_data();
    void namesNeverRunAsFormulas();
    void noTotalStartsAPageAlone();
    void longNamesAreWrittenWhole();
};

void TestPrintLists::readsEveryStoredRowOfTheDay()
{
    DemoServer demo;
    const QList<DishRow> rows = demo.rows();
    const QList<StoredRow> stored = readStored(demo.db);
    QCOMPARE(rows.size(), stored.size());
    QCOMPARE(rows.size(), 9);
    for (const DishRow &row : rows) {
        const auto found = std::find_if(stored.begin(), stored.end(), [&](const StoredRow &s) {
            return s.value("NRSERVTRAN").toString() == row.rowNumber && s.value("CDDIETPADST").toString() == row.diet;
        });
        QVERIFY(found != stored.end());
        QCOMPARE(row.pointName, found->value("NMDESTFILI").toString());
        QCOMPARE(row.clientName, found->value("NMRAZSOCCLIE").toString());
        QCOMPARE(row.quantity, found->value("QTTOTAPRATST").toDouble());
        QCOMPARE(row.partialQuantity, found->value("QTPARCPRATST").toDouble());
        QCOMPARE(row.containersWithSample, found->value("QTTOTACONTSTCAMOS").toDouble());
    }
}

void TestPrintLists::csvHoldsEveryRowAndTheStoredTotals_data()
{
    QTest::addColumn<ListKind>("kind");
    QTest::newRow("entrega") << ListKind::Delivery;
    QTest::newRow("divisão") << ListKind::Division;
}

void TestPrintLists::csvHoldsEveryRowAndTheStoredTotals()
{
    QFETCH(ListKind, kind);
    DemoServer demo;
    const QByteArray bytes = writeCsv(demo.db, buildList(kind, demo.day(), demo.rows()));
    const Csv csv = parseCsv(bytes);
    checkCsvAgainstStored(csv, kind, readStored(demo.db));
    // Figures with a fraction are written with a decimal comma, never a point.
    QVERIFY(QRegularExpression(QStringLiteral(";\\d+,\\d+;")).match(QString::fromUtf8(bytes)).hasMatch());
    QVERIFY(!QRegularExpression(QStringLiteral(";\\d+\\.\\d+;")).match(QString::fromUtf8(bytes)).hasMatch());
}

// The system's Python, where Debian's openpyxl is (another Python may come first in the path).
QString debianPython()
{
    const QString system = QStringLiteral("/usr/bin/python3");
    return QFileInfo::exists(system) ? system : QStringLiteral("python3");
}

void TestPrintLists::spreadsheetReadsAsOnPaper_data()
{
    QTest::addColumn<ListKind>("kind");
    QTest::newRow("entrega") << ListKind::Delivery;
    QTest::newRow("divisão") << ListKind::Division;
}

// The .xlsx file read back by openpyxl (Debian's python3-openpyxl): every cell of every line is
// the list's own, codes as text with their zeros, figures as numbers with their decimals, the
// day as a date, and the headings stay in view.
void TestPrintLists::spreadsheetReadsAsOnPaper()
{
    QFETCH(ListKind, kind);
    DemoServer demo;
    const KitchenList list = buildList(kind, demo.day(), demo.rows());
    const QString path = demo.db.file(QStringLiteral("lista.xlsx"));
    writeListXlsx(list, path);
    const QString script = QStringLiteral(
        "import json, sys, openpyxl\n"
        "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
        "cells = [[{'v': c.value.isoformat() if hasattr(c.value, 'isoformat') else c.value,"
        " 't': c.data_type, 'f': c.number_format} for c in row] for row in ws.iter_rows()]\n"
        "print(json.dumps({'freeze': ws.freeze_panes, 'cells': cells}))\n");
    const QJsonObject read =
        QJsonDocument::fromJson(printtest::run(debianPython(), {QStringLiteral("-c"), script, path}).toUtf8()).object();
    QCOMPARE(read.value(QStringLiteral("freeze")).toString(), QStringLiteral("A2"));
    const QJsonArray rows = read.value(QStringLiteral("cells")).toArray();

    QList<ListLine> lines;
    for (const ListGroup &group : list.groups)
        lines += group.lines;
    lines += list.totals;
    QCOMPARE(rows.size(), lines.size() + 1);
    const QList<Column> columns = spreadsheetColumns(kind);
    for (int c = 0; c < columns.size(); ++c)
        QCOMPARE(rows[0].toArray()[c].toObject().value(QStringLiteral("v")).toString(), columnTitle(columns[c]));
    for (int r = 0; r < lines.size(); ++r) {
        const QJsonArray cells = rows[r + 1].toArray();
        for (int c = 0; c < columns.size(); ++c) {
            const QJsonObject cell = c < cells.size() ? cells[c].toObject() : QJsonObject();
            const QVariant expected = cellValue(list, lines[r], columns[c]);
            const QString where = QStringLiteral("line %1, %2").arg(r + 2).arg(columnTitle(columns[c]));
            if (columns[c] == Column::Date) {
                QCOMPARE(cell.value(QStringLiteral("t")).toString(), QStringLiteral("d"));
                QCOMPARE(cell.value(QStringLiteral("v")).toString(), QStringLiteral("2026-12-08T00:00:00"));
                QCOMPARE(cell.value(QStringLiteral("f")).toString(), QStringLiteral("dd/mm/yyyy"));
            } else if (expected.isNull() || expected.toString().isEmpty()) {
                QVERIFY2(cell.value(QStringLiteral("v")).isNull(), qPrintable(where));
            } else if (expected.metaType().id() == QMetaType::Double) {
                QCOMPARE(cell.value(QStringLiteral("t")).toString(), QStringLiteral("n"));
                // The file holds 16 significant digits: a figure comes back within a hair.
                QVERIFY2(qAbs(cell.value(QStringLiteral("v")).toDouble() - expected.toDouble()) <= 1e-9 * qMax(1.0, qAbs(expected.toDouble())),
                         qPrintable(where));
                QCOMPARE(cell.value(QStringLiteral("f")).toString(),
                         columnDecimals(columns[c]) == 0 ? QStringLiteral("#,##0") : QStringLiteral("#,##0.000"));
            } else {
                QCOMPARE(cell.value(QStringLiteral("t")).toString(), QStringLiteral("s"));
                QCOMPARE(cell.value(QStringLiteral("v")).toString(), expected.toString());
            }
        }
    }
    // The codes keep their zeros: the demo day's branch, service, clients and points.
    QCOMPARE(rows[1].toArray()[columns.indexOf(Column::Branch)].toObject().value(QStringLiteral("v")).toString(), kBranch);
    QCOMPARE(rows[1].toArray()[columns.indexOf(Column::Service)].toObject().value(QStringLiteral("v")).toString(), kService);
}

void TestPrintLists::pdfShowsPointsDishesAndTotals_data()
{
    csvHoldsEveryRowAndTheStoredTotals_data();
}

void TestPrintLists::pdfShowsPointsDishesAndTotals()
{
    QFETCH(ListKind, kind);
    DemoServer demo;
    const KitchenList list = buildList(kind, demo.day(), demo.rows());
    const QString pdf = writePdf(demo.db, list);
    const QString text = printtest::pdfDocumentText(pdf);
    QVERIFY(text.contains(listTitle(kind)));
    QVERIFY(text.contains(QStringLiteral("Data 08/12/2026")));
    QVERIFY(text.contains(QStringLiteral("Serviço 00001 - Almoço")));
    const QList<StoredRow> stored = readStored(demo.db);
    for (const StoredRow &row : stored) {
        QVERIFY2(text.contains(row.value("NMDESTFILI").toString()), qPrintable(row.value("NMDESTFILI").toString()));
        QVERIFY2(text.contains(row.value("NOMEPRATO").toString()), qPrintable(row.value("NOMEPRATO").toString()));
    }
    const int groupTotals = int(
        text.count(kind == ListKind::Delivery ? QStringLiteral("Total do ponto") : QStringLiteral("Total do prato")));
    int expected = 0;
    for (const ListGroup &group : list.groups)
        expected += int(group.lines.size()) - group.rowCount();
    QCOMPARE(groupTotals, expected);
    QCOMPARE(int(text.count(QStringLiteral("Total geral"))), 3); // KG, L and UN
    // The day's kilograms, summed from the stored rows, in the page's number format.
    const double kilograms = sum(stored, QStringLiteral("QTTOTAPRATST"),
        [](const StoredRow &r) { return r.value("SGUNIDADE").toString() == QStringLiteral("KG"); });
    QVERIFY2(text.contains(pageNumber(kilograms)), qPrintable(pageNumber(kilograms)));
    const int pages = printtest::pdfPageCount(pdf);
    QCOMPARE(pages, int(paginateList(list).size()));
    QVERIFY(text.contains(QStringLiteral("Página 1 de %1").arg(pages)));
}

void TestPrintLists::onePointOrOneDish_data()
{
    QTest::addColumn<ListKind>("kind");
    QTest::addColumn<QString>("point");
    QTest::addColumn<QString>("dish");
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<int>("groups");
    QTest::newRow("entrega, um ponto") << ListKind::Delivery << QStringLiteral("003") << QString()
                                       << QStringLiteral(" AND T.CDDESTFILI = ?")
                                       << QVariantList { QStringLiteral("003") } << 1;
    QTest::newRow("entrega, um prato") << ListKind::Delivery << QString() << QStringLiteral("1010010001")
                                       << QStringLiteral(" AND T.CDPRATO = ?")
                                       << QVariantList { QStringLiteral("1010010001") } << 2;
    QTest::newRow("divisão, um prato") << ListKind::Division << QString() << QStringLiteral("2010010001")
                                       << QStringLiteral(" AND T.CDPRATO = ?")
                                       << QVariantList { QStringLiteral("2010010001") } << 1;
    QTest::newRow("divisão, um ponto") << ListKind::Division << QStringLiteral("001") << QString()
                                       << QStringLiteral(" AND T.CDDESTFILI = ?")
                                       << QVariantList { QStringLiteral("001") } << 4;
    QTest::newRow("divisão, ponto e prato")
        << ListKind::Division << QStringLiteral("003") << QStringLiteral("1010010001")
        << QStringLiteral(" AND T.CDDESTFILI = ? AND T.CDPRATO = ?")
        << QVariantList { QStringLiteral("003"), QStringLiteral("1010010001") } << 1;
}

void TestPrintLists::onePointOrOneDish()
{
    QFETCH(ListKind, kind);
    QFETCH(QString, point);
    QFETCH(QString, dish);
    QFETCH(QString, condition);
    QFETCH(QVariantList, values);
    QFETCH(int, groups);
    DemoServer demo;
    ListFilter filter;
    filter.point = point;
    if (!dish.isEmpty())
        filter.dishes << dish;
    const KitchenList list = buildList(kind, demo.day(), demo.rows(), filter);
    QCOMPARE(list.groups.size(), groups);
    const QList<StoredRow> stored = readStored(demo.db, condition, values);
    QVERIFY(!stored.isEmpty());
    QCOMPARE(list.rowCount(), stored.size());
    checkCsvAgainstStored(parseCsv(writeCsv(demo.db, list)), kind, stored);
    // The page shows only the chosen point's or dish's rows.
    const QString text = printtest::pdfDocumentText(writePdf(demo.db, list));
    for (const StoredRow &row : readStored(demo.db)) {
        const bool in = std::any_of(stored.begin(), stored.end(),
            [&](const StoredRow &s) { return s.value("NRSERVTRAN") == row.value("NRSERVTRAN"); });
        if (!in && !point.isEmpty() && row.value("CDDESTFILI").toString() != point)
            QVERIFY(!text.contains(row.value("NMDESTFILI").toString()));
        if (!in && !dish.isEmpty() && row.value("CDPRATO").toString() != dish)
            QVERIFY(!text.contains(row.value("NOMEPRATO").toString()));
    }
}

void TestPrintLists::namesWithSeparatorsAndQuotesAreQuoted()
{
    DemoServer demo;
    const QString point = QStringLiteral("Ala \"B\"; 2º andar");
    const QString dish = QStringLiteral("Arroz; \"soltinho\"");
    demo.db.exec(
        QStringLiteral("UPDATE DESTFILI SET NMDESTFILI = ? WHERE CDFILIAL = '0001' AND CDDESTFILI = '001'"), { point });
    demo.db.exec(QStringLiteral("UPDATE PRATO SET NMPRATO = ? WHERE CDPRATO = '2010010001'"), { dish });
    const QByteArray bytes = writeCsv(demo.db, buildList(ListKind::Delivery, demo.day(), demo.rows()));
    const QString text = QString::fromUtf8(bytes);
    QVERIFY(text.contains(QStringLiteral(";\"Ala \"\"B\"\"; 2º andar\";")));
    QVERIFY(text.contains(QStringLiteral(";\"Arroz; \"\"soltinho\"\"\";")));
    const Csv csv = parseCsv(bytes);
    checkCsvAgainstStored(csv, ListKind::Delivery, readStored(demo.db));
    int pointLines = 0;
    for (const QStringList &line : csv.lines)
        pointLines += csv.field(line, QStringLiteral("Ponto de Entrega")) == point;
    QCOMPARE(pointLines, 4 + 2); // its four dishes and its two units' totals
}

void TestPrintLists::groupsOrderedForTheirList()
{
    DemoServer demo;
    const QList<DishRow> rows = demo.rows();
    // Delivery: the server's order of points (by client name); division: dishes by name.
    QStringList points;
    for (const ListGroup &group : buildList(ListKind::Delivery, demo.day(), rows).groups)
        points << group.lines.first().row.pointCode;
    QCOMPARE(points, (QStringList { QStringLiteral("003"), QStringLiteral("001"), QStringLiteral("002") }));
    QStringList dishes;
    for (const ListGroup &group : buildList(ListKind::Division, demo.day(), rows).groups)
        dishes << group.lines.first().row.dishName;
    QCOMPARE(dishes,
        (QStringList { QStringLiteral("Arroz branco"), QStringLiteral("Carne assada"), QStringLiteral("Feijão carioca"),
            QStringLiteral("Frango grelhado"), QStringLiteral("Pudim de leite"), QStringLiteral("Suco de laranja") }));
}

void TestPrintLists::csvFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("simples") << QStringLiteral("Residência") << QStringLiteral("Residência");
    QTest::newRow("vazio") << QString() << QString();
    QTest::newRow("ponto e vírgula") << QStringLiteral("a;b") << QStringLiteral("\"a;b\"");
    QTest::newRow("aspas") << QStringLiteral("o \"bom\"") << QStringLiteral("\"o \"\"bom\"\"\"");
    QTest::newRow("quebra de linha") << QStringLiteral("a\nb") << QStringLiteral("\"a\nb\"");
    QTest::newRow("vírgula") << QStringLiteral("a, b") << QStringLiteral("a, b");
}

void TestPrintLists::csvFields()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(csvField(text), field);
}

void TestPrintLists::csvNumbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("inteiro") << 3.0 << QStringLiteral("3");
    QTest::newRow("fração") << 17.5 << QStringLiteral("17,5");
    QTest::newRow("milhar sem separador") << 1234.25 << QStringLiteral("1234,25");
    QTest::newRow("décimo") << 0.1 << QStringLiteral("0,1");
    QTest::newRow("soma de décimos") << 0.1 + 0.2 << QStringLiteral("0,30000000000000004");
    QTest::newRow("zero") << 0.0 << QStringLiteral("0");
}

void TestPrintLists::csvNumbers()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(csvNumber(value), text);
    QCOMPARE(csvValue(text), value); // reads back as the very same double
}

void TestPrintLists::longGroupRepeatsItsHeadsOnTheNextPage()
{
    // One point with many dishes: more lines than a page holds.
    QList<DishRow> rows;
    for (int i = 0; i < 80; ++i) {
        DishRow row;
        row.clientCode = QStringLiteral("0000101");
        row.pointCode = QStringLiteral("001");
        row.dishCode = QString::number(1000 + i);
        row.unit = QStringLiteral("KG");
        rows << row;
    }
    const KitchenList list = buildList(ListKind::Delivery, ListDay {}, rows);
    const QList<ListPage> pages = paginateList(list);
    QVERIFY(pages.size() >= 2);
    int lines = 0;
    for (qsizetype p = 0; p < pages.size(); ++p) {
        QCOMPARE(pages[p].at(0).kind, PageItem::GroupTitle);
        QCOMPARE(pages[p].at(0).continued, p > 0);
        QCOMPARE(pages[p].at(1).kind, PageItem::ColumnHeads);
        for (const PageItem &item : pages[p])
            lines += item.kind == PageItem::Line;
    }
    QCOMPARE(lines, 80 + 1 + 1); // the rows, the point's total and the list's
}


// A day whose history spans several of the server's pages: the history window gathers them all,
// each entry once, in the order written.
void TestPrintLists::theHistoryWindowReadsEveryPage()
{
    DemoServer demo;
    demo.db.exec(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4500) "
        "INSERT INTO HISTSERVTRAN (DTHRALTERACAO, CDOPERADOR, DSENDERECO, NMMETODO, IDALTERACAO, CDFILIAL, CDSERVFILI, "
        "DTSERVTRAN, CDDIETPADST, NRSERVTRAN, DSANTES, DSDEPOIS) "
        "SELECT '2026-12-08T12:00:00.000Z', 'ADMIN', '127.0.0.1', 'SetServTran', 'A', ?, ?, ?, 'XXXX', '0000000001', "
        "'{\"QTCOMESTIST\":' || i || '}', '{\"QTCOMESTIST\":' || (i + 1) || '}' FROM n"),
        {kBranch, kService, server::demoDay().toString(Qt::ISODate)});
    const qint64 stored = demo.db
                              .scalar(QStringLiteral("SELECT COUNT(*) FROM HISTSERVTRAN WHERE CDFILIAL = ? AND CDSERVFILI = ? "
                                                     "AND DTSERVTRAN = ?"),
                                      {kBranch, kService, server::demoDay().toString(Qt::ISODate)})
                              .toLongLong();
    QVERIFY(stored > 4500);
    const QList<printlabels::HistoryEntry> entries =
        printlabels::readHistory(demo.connection, kBranch, kService, server::demoDay());
    QCOMPARE(qint64(entries.size()), stored);
    for (qsizetype i = 1; i < entries.size(); ++i)
        QVERIFY(entries[i].entryNumber > entries[i - 1].entryNumber);
    QCOMPARE(entries.last().after, QStringLiteral("{\"QTCOMESTIST\":4501}"));
}

// A dish named like a formula is written as text a spreadsheet shows, never runs.
void TestPrintLists::namesNeverRunAsFormulas_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("field");
    QTest::newRow("=") << QStringLiteral("=HYPERLINK(\"http://x\")") << QStringLiteral("\"'=HYPERLINK(\"\"http://x\"\")\"");
    QTest::newRow("+") << QStringLiteral("+55 arroz") << QStringLiteral("'+55 arroz");
    QTest::newRow("-") << QStringLiteral("-2+3") << QStringLiteral("'-2+3");
    QTest::newRow("@") << QStringLiteral("@SOMA(A1)") << QStringLiteral("'@SOMA(A1)");
    QTest::newRow("tab") << QStringLiteral("\t=1") << QStringLiteral("'\t=1");
    QTest::newRow("carriage return") << QStringLiteral("\r=1") << QStringLiteral("\"'\r=1\"");
    QTest::newRow("a plain name") << QStringLiteral("Arroz-doce") << QStringLiteral("Arroz-doce");
}

void TestPrintLists::namesNeverRunAsFormulas()
{
    QFETCH(QString, name);
    QFETCH(QString, field);
    DemoServer demo;
    demo.db.exec(QStringLiteral("UPDATE PRATO SET NMPRATO = ? WHERE CDPRATO = '2010010001'"), {name});
    QCOMPARE(csvField(csvText(name)), field);
    // the list reads names without their surrounding blanks
    const QString text = QString::fromUtf8(writeCsv(demo.db, buildList(ListKind::Delivery, demo.day(), demo.rows())));
    const QString written = csvField(csvText(name.trimmed()));
    QVERIFY2(text.contains(QLatin1Char(';') + written + QLatin1Char(';')), qPrintable(written));
}

// However many rows fill the page, a group's totals follow at least one of its rows.
void TestPrintLists::noTotalStartsAPageAlone()
{
    for (int count = 1; count <= 90; ++count) {
        QList<DishRow> rows;
        for (int i = 0; i < count; ++i) {
            DishRow row;
            row.clientCode = QStringLiteral("0000101");
            row.pointCode = QStringLiteral("001");
            row.dishCode = QString::number(1000 + i);
            row.unit = i % 2 ? QStringLiteral("KG") : QStringLiteral("L");   // two totals a group
            rows << row;
        }
        const KitchenList list = buildList(ListKind::Delivery, ListDay {}, rows);
        const QList<ListPage> pages = paginateList(list);
        for (qsizetype p = 1; p < pages.size(); ++p) {
            const auto first = std::find_if(pages[p].begin(), pages[p].end(),
                [](const PageItem &item) { return item.kind == PageItem::Line; });
            QVERIFY(first != pages[p].end());
            QVERIFY2(first->group < 0 || first->line->kind == LineKind::Row,
                qPrintable(QStringLiteral("%1 rows: page %2 starts with a total").arg(count).arg(p + 1)));
        }
    }
}

// A client or point name longer than its column is written whole, on more lines, at the size of
// its line's figures.
void TestPrintLists::longNamesAreWrittenWhole()
{
    DemoServer demo;
    QList<DishRow> rows = demo.rows();
    const QString client = QStringLiteral("Associação Beneficente dos Trabalhadores da Indústria Metalúrgica de São Bernardo");
    const QString point = QStringLiteral("Refeitório Central do Pavilhão Administrativo Norte, Térreo");
    rows[0].clientName = client;
    rows[0].pointName = point;
    const QString pdf = writePdf(demo.db, buildList(ListKind::Division, demo.day(), rows));
    // (the PDF draws "fi" as a ligature)
    const QString text = printtest::pdfDocumentText(pdf).normalized(QString::NormalizationForm_KC);
    for (const QString &name : {client, point})
        for (const QString &word : name.split(QLatin1Char(' ')))
            QVERIFY2(text.contains(word), qPrintable(word));
    QVERIFY(!text.contains(QChar(0x2026)));   // nothing cut
}

QTEST_MAIN(TestPrintLists)
#include "tst_printlists.moc"

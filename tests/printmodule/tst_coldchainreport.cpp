// The day's cold-chain report as the kitchen reads it after the trips: containers dispatched
// (SetExpedicao) and received at their points (SetRecebimento, with the label's signed link)
// through a real server core on loopback, judged container by container, summed up per point and
// written as the report's CSV file, parsed back.

#include "demodatabase.h"

#include <framework/consiste.h>
#include <labels/containerdispatch.h>
#include <lists/coldchainreport.h>
#include <protocol/packet.h>
#include <server/demo.h>
#include <server/serverthread.h>
#include <server/service.h>

#include <QLocale>
#include <QTest>

using printlabels::ContainerDispatch;
using printlabels::ContainerLabel;
using namespace printlists;
using printtest::DemoDatabase;

namespace {

const QString kBranch = QStringLiteral("0001");
const QString kService = QStringLiteral("00001");
const QString kWebUrl = QStringLiteral("https://127.0.0.1:8443");
const double kNone = qQNaN(); // a temperature never recorded

// The demo day moved to today (a label's link is good until the end of the day after its
// service's), every dish row's labels prepared an hour ago, served with signed links.
class ColdChainDay {
public:
    ColdChainDay()
    {
        const QString demo = server::demoDay().toString(Qt::ISODate);
        db.exec(QStringLiteral(
                    "UPDATE SERVTRAN SET DTSERVTRAN = ? WHERE CDFILIAL = ? AND CDSERVFILI = ? AND DTSERVTRAN = ?"),
            { today.toString(Qt::ISODate), kBranch, kService, demo });
        db.exec(QStringLiteral("DELETE FROM PREPSERVTRAN WHERE CDFILIAL = ? AND CDSERVFILI = ? AND DTSERVTRAN = ?"),
            { kBranch, kService, today.toString(Qt::ISODate) });
        db.exec(QStringLiteral(
                    "INSERT INTO PREPSERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, DTHRPREPARO) "
                    "SELECT CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, ? FROM SERVTRAN "
                    "WHERE CDFILIAL = ? AND CDSERVFILI = ? AND DTSERVTRAN = ?"),
            { hoursAgo(1), kBranch, kService, today.toString(Qt::ISODate) });
        server::ServerSettings settings;
        settings.service.webUrl = kWebUrl;
        server = std::make_unique<server::ServerThread>(
            QStringLiteral("sqlite:") + db.file(QStringLiteral("servtran.db")), QHostAddress::LocalHost, 0, settings);
        connection.setServerName(server::ServTranService::serverName());
        connection.setHost(QStringLiteral("127.0.0.1"));
        connection.setPort(server->port());
        connection.setOperatorCode(QStringLiteral("ADMIN"));
        connection.setPassword(QString::fromLatin1(server::kDemoPassword));
    }

    static QString hoursAgo(double hours)
    {
        return QDateTime::currentDateTimeUtc().addSecs(qint64(-hours * 3600)).toString(Qt::ISODateWithMs);
    }

    // The n-th label (by point, row and label) of a dish kept that way ("Q" hot, "R" chilled).
    ContainerLabel label(const QString &mode, int nth = 0)
    {
        const QStringList key
            = db.scalar(QStringLiteral("SELECT E.CDDIETPADST || '|' || E.NRSERVTRAN || '|' || E.NRSEQUETIQTR || '|' || "
                                       "E.CDDESTFILI FROM ETIQSERVTRAN E "
                                       "JOIN CONSPRATO K ON K.CDPRATO = E.CDPRATO AND K.CDFILAUXPRAT = E.CDFILAUXPRAT "
                                       "WHERE E.CDFILIAL = ? AND E.CDSERVFILI = ? AND K.IDCONSERV = ? "
                                       "ORDER BY E.CDDESTFILI, E.NRSERVTRAN, E.NRSEQUETIQTR LIMIT 1 OFFSET ?"),
                    { kBranch, kService, mode, nth })
                  .toString()
                  .split(u'|');
        if (key.size() != 4)
            qFatal("no label of mode %s", qPrintable(mode));
        ContainerLabel l;
        l.branch = kBranch;
        l.service = kService;
        l.date = today;
        l.diet = key[0];
        l.rowNumber = key[1];
        l.sequence = key[2];
        l.pointCode = key[3];
        return l;
    }

    // Its dish row's labels made that long ago.
    void preparedHoursAgo(const ContainerLabel &l, double hours)
    {
        db.exec(QStringLiteral(
                    "UPDATE PREPSERVTRAN SET DTHRPREPARO = ? WHERE CDFILIAL = ? AND CDSERVFILI = ? AND DTSERVTRAN = ? "
                    "AND CDDIETPADST = ? AND NRSERVTRAN = ?"),
            { hoursAgo(hours), l.branch, l.service, l.date.toString(Qt::ISODate), l.diet, l.rowNumber });
    }

    void dispatch(const ContainerLabel &l, double celsius, const QString &reason = QString())
    {
        printlabels::recordDispatch(connection, l, celsius, reason);
    }

    // As the phone page records it: through the label's link.
    void receive(const ContainerLabel &l, double celsius, const QString &receiver, const QString &reason = QString())
    {
        framework::CheckResultServ(connection.call(QStringLiteral("SetRecebimento"),
                                       { token(l), celsius, receiver, reason, QStringLiteral("127.0.0.1") }),
            false, 0);
    }

    // The signed token of the label's link (`<web-url>/e/<token>`), as the server answers it.
    QString token(const ContainerLabel &l)
    {
        const QVariant payload = framework::CheckResultServ(
            connection.call(QStringLiteral("GetExpedicao"), { kBranch, kService, protocol::wallClock(today) }), false,
            0);
        const protocol::PacketContent content = protocol::decodePacket(payload.value<protocol::DataPacket>());
        const int diet = content.fieldIndex(QStringLiteral("CDDIETPADST")),
                  row = content.fieldIndex(QStringLiteral("NRSERVTRAN")),
                  sequence = content.fieldIndex(QStringLiteral("NRSEQUETIQTR")),
                  link = content.fieldIndex(QStringLiteral("DSLINK"));
        for (const protocol::PacketRow &r : content.rows)
            if (r.values[diet].toString() == l.diet && r.values[row].toString() == l.rowNumber
                && r.values[sequence].toString() == l.sequence) {
                const QString url = r.values[link].toString();
                if (!url.startsWith(kWebUrl + QStringLiteral("/e/")))
                    qFatal("no link: %s", qPrintable(url));
                return url.mid(kWebUrl.size() + 3);
            }
        qFatal("no label %s", qPrintable(l.sequence));
    }

    QList<ContainerDispatch> containers() { return printlabels::dispatchOfDay(connection, kBranch, kService, today); }

    ColdChainReport report()
    {
        return buildColdChainReport(
            ListDay { kBranch, QStringLiteral("Cozinha Central Norte"), kService, QStringLiteral("Almoço"), today },
            containers());
    }

    static const ContainerDispatch &containerOf(const ColdChainReport &report, const ContainerLabel &l)
    {
        for (const ColdChainPoint &point : report.points)
            for (const ContainerDispatch &c : point.containers)
                if (c.label.diet == l.diet && c.label.rowNumber == l.rowNumber && c.label.sequence == l.sequence)
                    return c;
        qFatal("label %s not in the report", qPrintable(l.sequence));
    }

    const QDate today = QDate::currentDate();
    DemoDatabase db;
    std::unique_ptr<server::ServerThread> server;
    framework::TNetConnection connection;
};

QStringList flagTexts(const QList<ColdChainFlag> &flags)
{
    QStringList texts;
    for (ColdChainFlag flag : flags)
        texts << flagText(flag);
    return texts;
}

// The CSV file read back: its heading and its lines, by the heading's titles.
struct Csv {
    explicit Csv(const QByteArray &bytes)
    {
        bom = bytes.startsWith("\xEF\xBB\xBF");
        QString text = QString::fromUtf8(bytes.mid(bom ? 3 : 0));
        QList<QStringList> read;
        QStringList fields;
        QString field;
        bool quoted = false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (quoted) {
                if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                    field += c, ++i;
                else if (c == u'"')
                    quoted = false;
                else
                    field += c;
            } else if (c == u'"') {
                quoted = true;
            } else if (c == u';') {
                fields << field;
                field.clear();
            } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                fields << field;
                field.clear();
                read << fields;
                fields.clear();
                ++i;
            } else {
                field += c;
            }
        }
        titles = read.value(0);
        lines = read.mid(1);
    }
    QString cell(const QStringList &line, const QString &title) const
    {
        const qsizetype at = titles.indexOf(title);
        if (at < 0)
            qFatal("no column %s", qPrintable(title));
        return line.value(at);
    }
    QList<QStringList> linesOf(const QString &kind) const
    {
        QList<QStringList> found;
        for (const QStringList &line : lines)
            if (line.value(0) == kind)
                found << line;
        return found;
    }
    bool bom = false;
    QStringList titles;
    QList<QStringList> lines;
};

} // namespace

class TestColdChainReport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }
    void flagsOfAContainer_data();
    void flagsOfAContainer();
    void summaryPerPointAndCsvCells();
};

// Each flag, from what was recorded through the server: the dish's mode judges the temperatures,
// the label's use-by the arrival.
void TestColdChainReport::flagsOfAContainer_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<double>("preparedHoursAgo");
    QTest::addColumn<double>("dispatched");
    QTest::addColumn<double>("received");
    QTest::addColumn<QStringList>("flags");
    const QString outAtDispatch = QStringLiteral("Fora da faixa na expedição");
    const QString outAtReceipt = QStringLiteral("Fora da faixa no recebimento");
    const QString expired = QStringLiteral("Vencido no recebimento");
    const QString notDispatched = QStringLiteral("Não expedido");
    const QString notReceived = QStringLiteral("Não recebido");
    QTest::newRow("hot, safe all the way") << "Q" << 1.0 << 65.0 << 62.0 << QStringList {};
    QTest::newRow("hot, too cold at dispatch") << "Q" << 1.0 << 55.0 << 62.0 << QStringList { outAtDispatch };
    QTest::newRow("hot, 60 °C is not above 60") << "Q" << 1.0 << 65.0 << 60.0 << QStringList { outAtReceipt };
    QTest::newRow("chilled, warm on arrival") << "R" << 1.0 << 3.0 << 7.5 << QStringList { outAtReceipt };
    QTest::newRow("chilled, safe") << "R" << 1.0 << 4.0 << 4.9 << QStringList {};
    QTest::newRow("hot, past its 6 hours on arrival") << "Q" << 6.5 << 65.0 << 62.0 << QStringList { expired };
    QTest::newRow("received, never dispatched") << "Q" << 1.0 << kNone << 62.0 << QStringList { notDispatched };
    QTest::newRow("dispatched, not received") << "Q" << 1.0 << 65.0 << kNone << QStringList { notReceived };
    QTest::newRow("neither") << "R" << 1.0 << kNone << kNone << QStringList { notDispatched, notReceived };
    QTest::newRow("everything wrong") << "Q" << 7.0 << 50.0 << 40.0
                                      << QStringList { outAtDispatch, outAtReceipt, expired };
}

void TestColdChainReport::flagsOfAContainer()
{
    QFETCH(QString, mode);
    QFETCH(double, preparedHoursAgo);
    QFETCH(double, dispatched);
    QFETCH(double, received);
    QFETCH(QStringList, flags);
    ColdChainDay day;
    const ContainerLabel label = day.label(mode);
    day.preparedHoursAgo(label, preparedHoursAgo);
    if (!qIsNaN(dispatched))
        day.dispatch(label, dispatched);
    if (!qIsNaN(received))
        day.receive(label, received, QStringLiteral("Maria"));
    const ColdChainReport report = day.report();
    const ContainerDispatch &container = ColdChainDay::containerOf(report, label);
    QCOMPARE(flagTexts(flagsOf(container)), flags);
    // the report's own words, on its CSV line
    const Csv csv(coldChainCsv(report));
    int found = 0;
    for (const QStringList &line : csv.linesOf(QStringLiteral("Container")))
        if (csv.cell(line, QStringLiteral("Cód. Prato")) == container.label.dishCode
            && csv.cell(line, QStringLiteral("Etiqueta")) == label.sequence
            && csv.cell(line, QStringLiteral("Cód. Ponto")) == label.pointCode) {
            QCOMPARE(csv.cell(line, QStringLiteral("Alertas")), flags.join(QStringLiteral(", ")));
            ++found;
        }
    QCOMPARE(found, 1);
}

// One point's trips: two containers received (one 85 minutes on the way, one corrected), one
// dispatched only, the rest never scanned; its summary line and the day's, and the CSV cells as
// a Brazilian spreadsheet reads them.
void TestColdChainReport::summaryPerPointAndCsvCells()
{
    ColdChainDay day;
    const ContainerLabel first = day.label(QStringLiteral("Q"), 0);
    const ContainerLabel second = day.label(QStringLiteral("Q"), 1);
    const ContainerLabel third = day.label(QStringLiteral("Q"), 2);
    QCOMPARE(second.pointCode, first.pointCode);
    QCOMPARE(third.pointCode, first.pointCode);
    day.dispatch(first, 65.5);
    day.dispatch(second, 58);
    day.dispatch(second, 66, QStringLiteral("sonda trocada"));
    day.dispatch(third, 70);
    // The first one's trip took 85 minutes: its dispatch moved back, as the clock cannot be.
    day.db.exec(QStringLiteral("UPDATE EXPESERVTRAN SET DTHREXPEDICAO = ? WHERE NRSERVTRAN = ? AND NRSEQUETIQTR = ? "
                               "AND CDDIETPADST = ?"),
        { ColdChainDay::hoursAgo(85.0 / 60), first.rowNumber, first.sequence, first.diet });
    const QString formula = QStringLiteral("=HYPERLINK(\"http://x\";\"Maria\")");
    day.receive(first, 61.5, formula);
    day.receive(second, 63, QStringLiteral("João"));
    day.receive(second, 62, QStringLiteral("João Pedro"), QStringLiteral("nome completo"));

    const ColdChainReport report = day.report();
    const int atPoint
        = day.db
              .scalar(QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE CDFILIAL = ? AND CDSERVFILI = ? "
                                     "AND CDDESTFILI = ?"),
                  { kBranch, kService, first.pointCode })
              .toInt();
    const auto point = std::find_if(report.points.begin(), report.points.end(),
        [&](const ColdChainPoint &p) { return p.summary.pointCode == first.pointCode; });
    QVERIFY(point != report.points.end());
    QCOMPARE(std::count_if(report.points.begin(), report.points.end(),
                 [&](const ColdChainPoint &p) { return p.summary.pointCode == first.pointCode; }),
        1);
    const PointSummary &summary = point->summary;
    QCOMPARE(summary.containers, atPoint);
    QCOMPARE(summary.dispatched, 3);
    QCOMPARE(summary.received, 2);
    QCOMPARE(summary.flagged, atPoint - 2); // all but the two received in range
    QCOMPARE(summary.longestTransit, std::optional<qint64>(85));
    QCOMPARE(report.total.containers, 28);
    QCOMPARE(report.total.dispatched, 3);
    QCOMPARE(report.total.received, 2);
    QCOMPARE(report.total.flagged, 26);

    const Csv csv(coldChainCsv(report));
    QVERIFY(csv.bom);
    for (const QStringList &line : csv.lines)
        QCOMPARE(line.size(), csv.titles.size());
    QCOMPARE(csv.linesOf(QStringLiteral("Container")).size(), 28);
    QCOMPARE(csv.linesOf(QStringLiteral("Resumo do ponto")).size(), report.points.size());
    QCOMPARE(csv.linesOf(QStringLiteral("Total do dia")).size(), 1);
    const auto lineOf = [&](const ContainerLabel &l) {
        const QString dish = ColdChainDay::containerOf(report, l).label.dishCode;
        for (const QStringList &line : csv.linesOf(QStringLiteral("Container")))
            if (csv.cell(line, QStringLiteral("Cód. Prato")) == dish
                && csv.cell(line, QStringLiteral("Etiqueta")) == l.sequence
                && csv.cell(line, QStringLiteral("Cód. Ponto")) == l.pointCode)
                return line;
        qFatal("no line of label %s", qPrintable(l.sequence));
    };
    const QStringList one = lineOf(first);
    QCOMPARE(csv.cell(one, QStringLiteral("Data")), day.today.toString(QStringLiteral("dd/MM/yyyy")));
    QCOMPARE(csv.cell(one, QStringLiteral("Temp. Expedição (°C)")), QStringLiteral("65,5"));
    QCOMPARE(csv.cell(one, QStringLiteral("Temp. Recebimento (°C)")), QStringLiteral("61,5"));
    QCOMPARE(csv.cell(one, QStringLiteral("Recebedor")), QLatin1Char('\'') + formula); // text, never a formula
    QCOMPARE(csv.cell(one, QStringLiteral("Trânsito (min)")), QStringLiteral("85"));
    QCOMPARE(csv.cell(one, QStringLiteral("Correções")), QStringLiteral("0"));
    QCOMPARE(csv.cell(one, QStringLiteral("Alertas")), QString());
    QCOMPARE(csv.cell(one, QStringLiteral("Conservação")), QStringLiteral("quente"));
    const QDateTime arrived
        = QDateTime::fromString(csv.cell(one, QStringLiteral("Recebimento")), QStringLiteral("dd/MM/yyyy HH:mm"));
    QVERIFY(arrived.isValid());
    QVERIFY(qAbs(arrived.secsTo(QDateTime::currentDateTime())) < 120);
    const QStringList two = lineOf(second);
    QCOMPARE(csv.cell(two, QStringLiteral("Temp. Expedição (°C)")), QStringLiteral("66"));
    QCOMPARE(csv.cell(two, QStringLiteral("Temp. Recebimento (°C)")), QStringLiteral("62"));
    QCOMPARE(csv.cell(two, QStringLiteral("Recebedor")), QStringLiteral("João Pedro"));
    QCOMPARE(csv.cell(two, QStringLiteral("Correções")), QStringLiteral("2"));
    const QStringList three = lineOf(third);
    QCOMPARE(csv.cell(three, QStringLiteral("Recebimento")), QString());
    QCOMPARE(csv.cell(three, QStringLiteral("Trânsito (min)")), QString());
    QCOMPARE(csv.cell(three, QStringLiteral("Alertas")), QStringLiteral("Não recebido"));

    QStringList pointLine;
    for (const QStringList &line : csv.linesOf(QStringLiteral("Resumo do ponto")))
        if (csv.cell(line, QStringLiteral("Cód. Ponto")) == first.pointCode)
            pointLine = line;
    QCOMPARE(csv.cell(pointLine, QStringLiteral("Containers")), QString::number(atPoint));
    QCOMPARE(csv.cell(pointLine, QStringLiteral("Expedidos")), QStringLiteral("3"));
    QCOMPARE(csv.cell(pointLine, QStringLiteral("Recebidos")), QStringLiteral("2"));
    QCOMPARE(csv.cell(pointLine, QStringLiteral("Com alerta")), QString::number(atPoint - 2));
    QCOMPARE(csv.cell(pointLine, QStringLiteral("Maior trânsito (min)")), QStringLiteral("85"));
    QCOMPARE(csv.cell(pointLine, QStringLiteral("Prato")), QString());
    const QStringList total = csv.linesOf(QStringLiteral("Total do dia")).constFirst();
    QCOMPARE(csv.cell(total, QStringLiteral("Containers")), QStringLiteral("28"));
    QCOMPARE(csv.cell(total, QStringLiteral("Com alerta")), QStringLiteral("26"));
    QCOMPARE(csv.cell(total, QStringLiteral("Cód. Ponto")), QString());
}

QTEST_MAIN(TestColdChainReport)
#include "tst_coldchainreport.moc"

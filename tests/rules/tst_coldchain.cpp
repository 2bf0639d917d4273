// The cold chain's rules at their edges: the safe time of each mode and how a dish or a branch
// shortens it, the use-by a label prints, its instruction, and the safe range of a temperature.

#include <rules/coldchain.h>

#include <QTest>
#include <limits>
#include <optional>

using namespace rules::cold;

Q_DECLARE_METATYPE(std::optional<double>)
Q_DECLARE_METATYPE(std::optional<rules::cold::Conservation>)

namespace {
const std::optional<double> none;
const std::optional<Conservation> unregistered;
} // namespace

class TestColdChain : public QObject {
    Q_OBJECT
private slots:
    void safeHours_data();
    void safeHours();
    void labelTexts_data();
    void labelTexts();
    void temperatureRange_data();
    void temperatureRange();
    void codesRoundTrip();
};

void TestColdChain::safeHours_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<std::optional<double>>("dish");
    QTest::addColumn<std::optional<double>>("branch");
    QTest::addColumn<double>("hours");
    QTest::newRow("hot") << "Q" << none << none << 6.0;
    QTest::newRow("hot, a dish asking more keeps 6 h") << "Q" << std::optional(8.0) << none << 6.0;
    QTest::newRow("hot, a branch shortens") << "Q" << none << std::optional(4.0) << 4.0;
    QTest::newRow("chilled, five days") << "R" << none << none << 120.0;
    QTest::newRow("chilled, branch asking a week keeps five days") << "R" << none << std::optional(168.0) << 120.0;
    QTest::newRow("chilled, dish 24 h under branch 48 h") << "R" << std::optional(24.0) << std::optional(48.0) << 24.0;
    QTest::newRow("chilled, branch 48 h under dish 72 h") << "R" << std::optional(72.0) << std::optional(48.0) << 48.0;
    QTest::newRow("chilled, zero or negative is no setting")
        << "R" << std::optional(0.0) << std::optional(-5.0) << 120.0;
    QTest::newRow("chilled, not a number is no setting")
        << "R" << std::optional(std::numeric_limits<double>::quiet_NaN()) << none << 120.0;
    QTest::newRow("frozen") << "C" << none << none << 2160.0;
    QTest::newRow("ambient") << "A" << none << none << 2.0;
    QTest::newRow("lower-case code") << "r" << none << none << 120.0;
    QTest::newRow("no mode: the shortest limit") << "" << std::optional(100.0) << none << 2.0;
    QTest::newRow("unknown code: the shortest limit") << "X" << none << none << 2.0;
}

void TestColdChain::safeHours()
{
    QFETCH(QString, code);
    QFETCH(std::optional<double>, dish);
    QFETCH(std::optional<double>, branch);
    QFETCH(double, hours);
    QCOMPARE(rules::cold::safeHours(conservationFromCode(code), dish, branch), hours);
}

void TestColdChain::labelTexts_data()
{
    QTest::addColumn<std::optional<Conservation>>("mode");
    QTest::addColumn<QDateTime>("prepared");
    QTest::addColumn<double>("hours");
    QTest::addColumn<QString>("prepText");
    QTest::addColumn<QString>("useByText");
    QTest::addColumn<QString>("instruction");
    const QDateTime morning(QDate(2026, 12, 8), QTime(10, 30, 59));
    QTest::newRow("hot, same day") << std::optional(Conservation::Hot) << morning << 6.0 << "Preparo: 08/12/2026 10:30"
                                   << "Consumir até 08/12/2026 16:30"
                                   << "Manter acima de 60 °C";
    QTest::newRow("hot, past midnight into the new year")
        << std::optional(Conservation::Hot) << QDateTime(QDate(2026, 12, 31), QTime(21, 15)) << 6.0
        << "Preparo: 31/12/2026 21:15"
        << "Consumir até 01/01/2027 03:15"
        << "Manter acima de 60 °C";
    QTest::newRow("chilled, five days over a month's end")
        << std::optional(Conservation::Chilled) << QDateTime(QDate(2026, 2, 26), QTime(7, 5)) << 120.0
        << "Preparo: 26/02/2026 07:05"
        << "Consumir até 03/03/2026 07:05"
        << "Manter abaixo de 5 °C";
    QTest::newRow("chilled, a branch's 36 h and a half")
        << std::optional(Conservation::Chilled) << morning << 36.5 << "Preparo: 08/12/2026 10:30"
        << "Consumir até 09/12/2026 23:00"
        << "Manter abaixo de 5 °C";
    QTest::newRow("frozen") << std::optional(Conservation::Frozen) << morning << 2160.0 << "Preparo: 08/12/2026 10:30"
                            << "Consumir até 08/03/2027 10:30"
                            << "Manter a −18 °C ou menos";
    QTest::newRow("no mode") << unregistered << morning << 2.0 << "Preparo: 08/12/2026 10:30"
                             << "Consumir até 08/12/2026 12:30"
                             << "Conservação não cadastrada";
}

void TestColdChain::labelTexts()
{
    QFETCH(std::optional<Conservation>, mode);
    QFETCH(QDateTime, prepared);
    QFETCH(double, hours);
    QFETCH(QString, prepText);
    QFETCH(QString, useByText);
    QFETCH(QString, instruction);
    QCOMPARE(preparedText(prepared), prepText);
    QCOMPARE(rules::cold::useByText(useBy(prepared, hours)), useByText);
    // a use-by is never later than the true end, so no second is left on it
    QVERIFY(useBy(prepared, hours) <= prepared.addSecs(qint64(hours * 3600)));
    QCOMPARE(useBy(prepared, hours).time().second(), 0);
    QCOMPARE(rules::cold::instruction(mode), instruction);
}

void TestColdChain::temperatureRange_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("celsius");
    QTest::addColumn<bool>("safe");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("hot 65") << "Q" << 65.0 << true;
    QTest::newRow("hot 60.1") << "Q" << 60.1 << true;
    QTest::newRow("hot 60 is not above") << "Q" << 60.0 << false;
    QTest::newRow("hot 45") << "Q" << 45.0 << false;
    QTest::newRow("chilled 4") << "R" << 4.0 << true;
    QTest::newRow("chilled 4.9") << "R" << 4.9 << true;
    QTest::newRow("chilled 5 is not below") << "R" << 5.0 << false;
    QTest::newRow("chilled 8") << "R" << 8.0 << false;
    QTest::newRow("frozen -18") << "C" << -18.0 << true;
    QTest::newRow("frozen -25") << "C" << -25.0 << true;
    QTest::newRow("frozen -17.9") << "C" << -17.9 << false;
    QTest::newRow("ambient 25") << "A" << 25.0 << true;
    QTest::newRow("hot, not a number") << "Q" << nan << false;
    QTest::newRow("hot, infinite") << "Q" << inf << false;
    QTest::newRow("ambient, not a number") << "A" << nan << false;
}

void TestColdChain::temperatureRange()
{
    QFETCH(QString, code);
    QFETCH(double, celsius);
    QFETCH(bool, safe);
    QCOMPARE(inSafeRange(*conservationFromCode(code), celsius), safe);
}

void TestColdChain::codesRoundTrip()
{
    const QStringList names = { "quente", "refrigerado", "congelado", "ambiente" };
    int i = 0;
    for (Conservation mode :
        { Conservation::Hot, Conservation::Chilled, Conservation::Frozen, Conservation::Ambient }) {
        QCOMPARE(conservationFromCode(conservationCode(mode)), std::optional(mode));
        QCOMPARE(conservationName(mode), names[i++]);
    }
}

QTEST_GUILESS_MAIN(TestColdChain)
#include "tst_coldchain.moc"

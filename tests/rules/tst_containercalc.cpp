// The container arithmetic on the worked examples and edge cases of the dish rows and labels.

#include <rules/containercalc.h>

#include <QTest>
#include <cmath>
#include <limits>
#include <optional>

using namespace rules::calc;

Q_DECLARE_METATYPE(std::optional<double>)

namespace {
const std::optional<double> none;
std::optional<Real> real(std::optional<double> v) { return v ? std::optional<Real>(*v) : std::nullopt; }
bool near(Real a, double b) { return std::fabs(double(a) - b) < 1e-9; }
} // namespace

class TestContainerCalc : public QObject {
    Q_OBJECT
private slots:
    void roundedTotal_data();
    void roundedTotal();
    void minimumFill_data();
    void minimumFill();
    void splitContainers_data();
    void splitContainers();
    void dinersLimit_data();
    void dinersLimit();
    void labelInputs_data();
    void labelInputs();
    void wholeContainersOfAProductLeaveNothing_data();
    void wholeContainersOfAProductLeaveNothing();
    void noDinersNoContainer();
    void implausibleInputRefused_data();
    void implausibleInputRefused();
    void rowFiguresOverAGridOfRows();
};

void TestContainerCalc::roundedTotal_data()
{
    QTest::addColumn<double>("diners");
    QTest::addColumn<double>("perPerson");
    QTest::addColumn<std::optional<double>>("step");
    QTest::addColumn<double>("expected");
    QTest::newRow("17.3 up to 17.5") << 173.0 << 0.1 << std::optional<double>(0.5) << 17.5;
    QTest::newRow("17.5 stays") << 70.0 << 0.25 << std::optional<double>(0.5) << 17.5;
    QTest::newRow("no step") << 69.0 << 0.25 << none << 17.25;
    QTest::newRow("zero step") << 69.0 << 0.25 << std::optional<double>(0.0) << 17.25;
    QTest::newRow("total 0 never rounded") << 0.0 << 0.25 << std::optional<double>(0.5) << 0.0;
    QTest::newRow("just above a step") << 81.0 << 0.1 << std::optional<double>(1.0) << 9.0;
    // Decimal quantities binary floating point cannot hold: a total that is a whole number of
    // steps stays as it is, one that is not still goes up to the next step.
    QTest::newRow("2 x 0.55 on 0.1 stays 1.1") << 2.0 << 0.55 << std::optional<double>(0.1) << 1.1;
    QTest::newRow("3 x 0.7 on 0.1 stays 2.1") << 3.0 << 0.7 << std::optional<double>(0.1) << 2.1;
    QTest::newRow("6 x 0.35 on 0.3 stays 2.1") << 6.0 << 0.35 << std::optional<double>(0.3) << 2.1;
    QTest::newRow("7 x 0.3 on 0.3 stays 2.1") << 7.0 << 0.3 << std::optional<double>(0.3) << 2.1;
    QTest::newRow("11 x 0.55 on 0.5 up to 6.5") << 11.0 << 0.55 << std::optional<double>(0.5) << 6.5;
    QTest::newRow("a thousandth above a step is above it") << 1.0 << 1.001 << std::optional<double>(0.5) << 1.5;
    QTest::newRow("120 x 0.15 is 18") << 120.0 << 0.15 << none << 18.0;
    QTest::newRow("10 x 0.3 is 3") << 10.0 << 0.3 << none << 3.0;
}

void TestContainerCalc::roundedTotal()
{
    QFETCH(double, diners);
    QFETCH(double, perPerson);
    QFETCH(std::optional<double>, step);
    QFETCH(double, expected);
    RowInputs in;
    in.diners = diners;
    in.perPerson = perPerson;
    in.container = 1;
    in.step = step;
    const double total = rowFigures(in).total;
    QVERIFY2(total == expected, qPrintable(QString::number(total, 'g', 17)));
}

void TestContainerCalc::minimumFill_data()
{
    QTest::addColumn<std::optional<double>>("dish");
    QTest::addColumn<std::optional<double>>("branch");
    QTest::addColumn<std::optional<double>>("expected");
    QTest::newRow("dish's own") << std::optional<double>(25) << std::optional<double>(50) << std::optional<double>(25);
    QTest::newRow("dish null: branch's") << none << std::optional<double>(50) << std::optional<double>(50);
    QTest::newRow("dish 0: none, branch not asked") << std::optional<double>(0) << std::optional<double>(50) << none;
    QTest::newRow("dish negative: none") << std::optional<double>(-5) << std::optional<double>(50) << none;
    QTest::newRow("both null") << none << none << none;
    QTest::newRow("branch 0") << none << std::optional<double>(0) << none;
}

void TestContainerCalc::minimumFill()
{
    QFETCH(std::optional<double>, dish);
    QFETCH(std::optional<double>, branch);
    QFETCH(std::optional<double>, expected);
    const std::optional<Real> m = rules::calc::minimumFill(real(dish), real(branch));
    QCOMPARE(m.has_value(), expected.has_value());
    if (m)
        QCOMPARE(double(*m), *expected);
}

void TestContainerCalc::splitContainers_data()
{
    QTest::addColumn<double>("total");
    QTest::addColumn<double>("container");
    QTest::addColumn<std::optional<double>>("minimum");
    QTest::addColumn<double>("containers");
    QTest::addColumn<double>("complete");
    QTest::addColumn<double>("partial");
    QTest::newRow("worked example: remainder shared") << 17.5 << 4.0 << std::optional<double>(50) << 5.0 << 3.0 << 2.75;
    QTest::newRow("remainder at the minimum") << 17.5 << 4.0 << std::optional<double>(25) << 5.0 << 4.0 << 1.5;
    QTest::newRow("no minimum") << 17.5 << 4.0 << none << 5.0 << 4.0 << 1.5;
    QTest::newRow("below one container") << 3.0 << 4.0 << std::optional<double>(90) << 1.0 << 0.0 << 3.0;
    QTest::newRow("zero total: no container") << 0.0 << 4.0 << std::optional<double>(90) << 0.0 << 0.0 << 0.0;
    QTest::newRow("exact multiple") << 16.0 << 4.0 << std::optional<double>(50) << 4.0 << 4.0 << 0.0;
    QTest::newRow("exactly one container") << 4.0 << 4.0 << std::optional<double>(50) << 1.0 << 1.0 << 0.0;
    QTest::newRow("minimum equal to remainder: no sharing") << 18.0 << 4.0 << std::optional<double>(50) << 5.0 << 4.0 << 2.0;
    QTest::newRow("1.2 in containers of 0.4") << 1.2 << 0.4 << std::optional<double>(50) << 3.0 << 3.0 << 0.0;
    QTest::newRow("2.4 in containers of 0.8") << 2.4 << 0.8 << none << 3.0 << 3.0 << 0.0;
    QTest::newRow("0.7 in containers of 0.1") << 0.7 << 0.1 << std::optional<double>(50) << 7.0 << 7.0 << 0.0;
    QTest::newRow("1.3 in containers of 0.4: a true remainder") << 1.3 << 0.4 << none << 4.0 << 3.0 << 0.1;
    QTest::newRow("18 in 4 at 50 %: 4 full and 2") << 18.0 << 4.0 << std::optional<double>(50) << 5.0 << 4.0 << 2.0;
    QTest::newRow("4.001 in 4 at 50 %: a share rounded half up") << 4.001 << 4.0 << std::optional<double>(50) << 2.0 << 0.0 << 2.001;
}

void TestContainerCalc::splitContainers()
{
    QFETCH(double, total);
    QFETCH(double, container);
    QFETCH(std::optional<double>, minimum);
    QFETCH(double, containers);
    QFETCH(double, complete);
    QFETCH(double, partial);
    RowInputs in;
    in.diners = 1;
    in.perPerson = total;
    in.container = container;
    in.branchPercent = minimum;
    const RowFigures s = rowFigures(in);
    QCOMPARE(s.containers, containers);
    QCOMPARE(s.complete, complete);
    QVERIFY2(s.partial == partial, qPrintable(QString::number(s.partial, 'g', 17)));
    // complete containers and the partial ones hold the whole total, to the thousandth a shared rest
    // is rounded to
    QVERIFY(std::fabs(s.complete * container + (s.containers - s.complete) * s.partial - total) <= 0.001 + 1e-9);
}

void TestContainerCalc::dinersLimit_data()
{
    QTest::addColumn<double>("perContainer");
    QTest::addColumn<double>("perPerson");
    QTest::addColumn<double>("limit");
    QTest::newRow("one and one") << 1.0 << 1.0 << 9999.0;
    QTest::newRow("worked example") << 4.0 << 0.25 << 159984.0;
}

void TestContainerCalc::dinersLimit()
{
    QFETCH(double, perContainer);
    QFETCH(double, perPerson);
    QFETCH(double, limit);
    QCOMPARE(double(rules::calc::dinersLimit(perContainer, perPerson)), limit);
}

void TestContainerCalc::labelInputs_data()
{
    QTest::addColumn<double>("total");
    QTest::addColumn<double>("container");
    QTest::addColumn<double>("registered");
    QTest::addColumn<std::optional<double>>("percent");
    QTest::addColumn<double>("full");
    QTest::addColumn<double>("partialQuantity");
    QTest::addColumn<double>("partialCount");
    QTest::newRow("70 x 0.25, no sample: shared") << 17.5 << 4.0 << 4.0 << std::optional<double>(50) << 3.0 << 2.75 << 2.0;
    QTest::newRow("with sample 0.5: remainder 2 not below 2") << 18.0 << 4.0 << 4.0 << std::optional<double>(50) << 4.0 << 2.0 << 1.0;
    QTest::newRow("remainder 0.0004 is none") << 16.0004 << 4.0 << 4.0 << std::optional<double>(50) << 4.0 << 0.0 << 0.0;
    QTest::newRow("no dish data, total 3") << 3.0 << 4.0 << 0.0 << none << 0.0 << 3.0 << 1.0;
    QTest::newRow("no dish data, total 0") << 0.0 << 4.0 << 0.0 << none << 0.0 << 0.0 << 0.0;
    QTest::newRow("registered container holds it all") << 8.0 << 4.0 << 10.0 << std::optional<double>(50) << 0.0 << 8.0 << 1.0;
    QTest::newRow("percent 0: no sharing") << 17.5 << 4.0 << 4.0 << std::optional<double>(0) << 4.0 << 1.5 << 1.0;
    QTest::newRow("branch default is not used") << 17.5 << 4.0 << 4.0 << none << 4.0 << 1.5 << 1.0;
    QTest::newRow("1.2 in containers of 0.4: no partial") << 1.2 << 0.4 << 0.4 << std::optional<double>(50) << 3.0 << 0.0 << 0.0;
    QTest::newRow("0.7 in containers of 0.1: no partial") << 0.7 << 0.1 << 0.1 << none << 7.0 << 0.0 << 0.0;
    QTest::newRow("below one container: nothing to share with") << 1.0 << 4.0 << 0.0 << std::optional<double>(50) << 0.0 << 1.0 << 1.0;
}

void TestContainerCalc::labelInputs()
{
    QFETCH(double, total);
    QFETCH(double, container);
    QFETCH(double, registered);
    QFETCH(std::optional<double>, percent);
    QFETCH(double, full);
    QFETCH(double, partialQuantity);
    QFETCH(double, partialCount);
    RowInputs row;
    row.diners = 1;
    row.perPerson = total;
    row.container = container;
    row.registeredContainer = registered;
    row.dishPercent = percent;
    row.branchPercent = 50;   // never used for labels
    const RowFigures figures = rowFigures(row);
    const LabelInputs &in = figures.withoutSample;
    QCOMPARE(double(in.full), full);
    QVERIFY2(near(in.partialQuantity, partialQuantity), qPrintable(QString::number(double(in.partialQuantity), 'g', 17)));
    QCOMPARE(double(in.partialCount), partialCount);
}

// Diners × quantity per person as the server multiplies them, a hair off the whole number of
// containers it is: whole containers and no partial one, never a negative quantity.
void TestContainerCalc::wholeContainersOfAProductLeaveNothing_data()
{
    QTest::addColumn<double>("diners");
    QTest::addColumn<double>("perPerson");
    QTest::addColumn<double>("container");
    QTest::addColumn<double>("full");
    QTest::newRow("80 x 0.15 in 3") << 80.0 << 0.15 << 3.0 << 4.0;
    QTest::newRow("30 x 0.2 in 2") << 30.0 << 0.2 << 2.0 << 3.0;
    QTest::newRow("70 x 0.3 in 0.7") << 70.0 << 0.3 << 0.7 << 30.0;
    QTest::newRow("3 x 0.1 in 0.1") << 3.0 << 0.1 << 0.1 << 3.0;
}

void TestContainerCalc::wholeContainersOfAProductLeaveNothing()
{
    QFETCH(double, diners);
    QFETCH(double, perPerson);
    QFETCH(double, container);
    QFETCH(double, full);
    RowInputs row;
    row.diners = diners;
    row.perPerson = perPerson;
    row.container = container;
    row.registeredContainer = container;
    const LabelInputs in = rowFigures(row).withoutSample;
    QCOMPARE(double(in.full), full);
    QCOMPARE(double(in.partialCount), 0.0);
    QVERIFY2(in.partialQuantity >= 0, qPrintable(QString::number(double(in.partialQuantity), 'g', 17)));
}

void TestContainerCalc::noDinersNoContainer()
{
    for (const double diners : {0.0, -3.0}) {
        RowInputs in;
        in.diners = diners;
        in.perPerson = 0.25;
        in.container = 4;
        in.sample = 0.5;
        in.registeredContainer = 4;
        const RowFigures f = rowFigures(in);
        QCOMPARE(f.containers, 0.0);
        QCOMPARE(f.withSample.full + f.withSample.partialCount, Real(0));
        QCOMPARE(f.withoutSample.full + f.withoutSample.partialCount, Real(0));
    }
}

void TestContainerCalc::implausibleInputRefused_data()
{
    QTest::addColumn<double>("perPerson");
    QTest::addColumn<double>("container");
    QTest::addColumn<double>("sample");
    QTest::addColumn<QString>("message");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("1e308 per person") << 1e308 << 4.0 << 0.0 << "Quantidade por pessoa fora dos limites: informe um valor de até 1.000.000.";
    QTest::newRow("infinite container") << 0.25 << inf << 0.0 << "Quantidade por container fora dos limites: informe um valor de até 1.000.000.";
    QTest::newRow("not a number of sample") << 0.25 << 4.0 << std::nan("") << "Amostra fora dos limites: informe um valor de até 1.000.000.";
    QTest::newRow("container below a thousandth") << 0.25 << 0.0004 << 0.0 << "Quatidade por container deve ser maior que zero.";
    QTest::newRow("a million is still a quantity") << 1e6 << 1e6 << 0.0 << QString();
}

void TestContainerCalc::implausibleInputRefused()
{
    QFETCH(double, perPerson);
    QFETCH(double, container);
    QFETCH(double, sample);
    QFETCH(QString, message);
    RowInputs in;
    in.diners = 70;
    in.perPerson = perPerson;
    in.container = container;
    in.sample = sample;
    QCOMPARE(implausibleInput(in), message);
    const RowFigures f = rowFigures(in);
    for (const double v : {f.total, f.partial, double(f.withSample.partialQuantity)})
        QVERIFY(std::isfinite(v));
}

// A grid of plausible rows (diners, quantity per person, container, step, minimum fill, sample,
// registered container): whatever path a row takes, the stored figures are whole thousandths,
// their containers hold the total, and figuring the stored row again (the server's calculation of
// a saved day) gives back exactly what is stored.
void TestContainerCalc::rowFiguresOverAGridOfRows()
{
    const QList<double> diners = {0, 1, 2, 3, 7, 10, 13, 33, 50, 70, 99, 120, 150, 250, 333, 500, 777, 999, 1500, 2000};
    const QList<double> perPerson = {0.001, 0.01, 0.05, 0.1, 0.15, 0.2, 0.25, 0.3, 0.333, 0.45, 0.55, 0.7, 1.2, 5};
    const QList<double> containers = {0.5, 1, 1.5, 2.5, 3, 4, 7.5, 10, 50};
    const QList<std::optional<double>> steps = {std::nullopt, 0.1, 0.5, 1};
    const QList<std::optional<double>> percents = {std::nullopt, 0.0, 25.0, 50.0, 100.0};
    const QList<double> samples = {0, 0.5};
    const auto isThousandths = [](double v) { return std::isfinite(v) && storedQuantity(v) == v; };
    const auto holds = [](Real full, Real container, Real count, Real partial, Real total) {
        // a shared rest is rounded to the thousandth: both halves may carry half of one
        return std::fabs(double(full * container + count * partial - total)) <= 0.001 + 1e-9;
    };
    qint64 rows = 0;
    for (double d : diners)
        for (double p : perPerson)
            for (double c : containers)
                for (const std::optional<double> &step : steps)
                    for (const std::optional<double> &percent : percents)
                        for (double sample : samples) {
                            RowInputs typed;
                            typed.diners = d;
                            typed.perPerson = p;
                            typed.container = c;
                            typed.sample = sample;
                            typed.step = step;
                            typed.registeredContainer = (rows % 3 == 0) ? 0.0 : c;
                            typed.dishPercent = percent;
                            typed.branchPercent = 30;
                            ++rows;
                            if (d > rules::calc::dinersLimit(c, p))
                                continue;   // refused on posting
                            const RowFigures posted = rowFigures(typed);
                            const QString where = QStringLiteral("%1 x %2 in %3").arg(d).arg(p).arg(c);
                            for (double v : {posted.total, posted.partial, double(posted.withSample.partialQuantity),
                                             double(posted.withoutSample.partialQuantity)})
                                QVERIFY2(isThousandths(v), qPrintable(where));
                            if (d > 0) {
                                QVERIFY2(holds(posted.complete, c, posted.containers - posted.complete, posted.partial,
                                               posted.total),
                                         qPrintable(where));
                                const LabelInputs &l = posted.withSample;
                                QVERIFY2(l.full >= 0 && holds(l.full, c, l.partialCount, l.partialQuantity,
                                                              std::round((d * p + sample) * 1000) / 1000),
                                         qPrintable(where));
                            }
                            // the stored row, read back as the server reads it
                            RowInputs stored = typed;
                            stored.perPerson = double(storedQuantity(p));
                            stored.container = double(storedQuantity(c));
                            const RowFigures again = rowFigures(stored);
                            QVERIFY2(again.total == posted.total && again.containers == posted.containers
                                         && again.complete == posted.complete && again.partial == posted.partial
                                         && again.withSample.full == posted.withSample.full
                                         && again.withSample.partialCount == posted.withSample.partialCount
                                         && again.withSample.partialQuantity == posted.withSample.partialQuantity
                                         && again.withoutSample.full == posted.withoutSample.full
                                         && again.withoutSample.partialCount == posted.withoutSample.partialCount,
                                     qPrintable(where));
                        }
    QVERIFY(rows >= 100000);
}

QTEST_APPLESS_MAIN(TestContainerCalc)
#include "tst_containercalc.moc"

// The container arithmetic on the worked examples and edge cases of the dish rows and labels.

#include <rules/containercalc.h>

#include <QTest>
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
    QTest::newRow("a hair above a step is above it") << 1.0 << 1.0001 << std::optional<double>(0.5) << 1.5;
}

void TestContainerCalc::roundedTotal()
{
    QFETCH(double, diners);
    QFETCH(double, perPerson);
    QFETCH(std::optional<double>, step);
    QFETCH(double, expected);
    QVERIFY2(near(rules::calc::roundedTotal(diners, perPerson, real(step)), expected),
             qPrintable(QString::number(double(rules::calc::roundedTotal(diners, perPerson, real(step))), 'g', 17)));
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
    QTest::newRow("zero total") << 0.0 << 4.0 << std::optional<double>(90) << 1.0 << 0.0 << 0.0;
    QTest::newRow("exact multiple") << 16.0 << 4.0 << std::optional<double>(50) << 4.0 << 4.0 << 0.0;
    QTest::newRow("exactly one container") << 4.0 << 4.0 << std::optional<double>(50) << 1.0 << 1.0 << 0.0;
    QTest::newRow("minimum equal to remainder: no sharing") << 18.0 << 4.0 << std::optional<double>(50) << 5.0 << 4.0 << 2.0;
    QTest::newRow("1.2 in containers of 0.4") << 1.2 << 0.4 << std::optional<double>(50) << 3.0 << 3.0 << 0.0;
    QTest::newRow("2.4 in containers of 0.8") << 2.4 << 0.8 << none << 3.0 << 3.0 << 0.0;
    QTest::newRow("0.7 in containers of 0.1") << 0.7 << 0.1 << std::optional<double>(50) << 7.0 << 7.0 << 0.0;
    QTest::newRow("1.3 in containers of 0.4: a true remainder") << 1.3 << 0.4 << none << 4.0 << 3.0 << 0.1;
}

void TestContainerCalc::splitContainers()
{
    QFETCH(double, total);
    QFETCH(double, container);
    QFETCH(std::optional<double>, minimum);
    QFETCH(double, containers);
    QFETCH(double, complete);
    QFETCH(double, partial);
    const ContainerSplit s = rules::calc::splitContainers(total, container, real(minimum));
    QCOMPARE(double(s.containers), containers);
    QCOMPARE(double(s.complete), complete);
    QVERIFY2(near(s.partial, partial), qPrintable(QString::number(double(s.partial), 'g', 17)));
    // complete containers and the partial ones always hold the whole total
    QVERIFY(near(s.complete * container + (s.containers - s.complete) * s.partial, total));
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
    QTest::newRow("remainder 0.0004 is none") << 16.0004 << 4.0 << 4.0 << std::optional<double>(50) << 4.0 << 0.0004 << 0.0;
    QTest::newRow("no dish data, total 3") << 3.0 << 4.0 << 0.0 << none << 0.0 << 3.0 << 1.0;
    QTest::newRow("no dish data, total 0") << 0.0 << 4.0 << 0.0 << none << 0.0 << 0.0 << 0.0;
    QTest::newRow("registered container holds it all") << 8.0 << 4.0 << 10.0 << std::optional<double>(50) << 0.0 << 8.0 << 1.0;
    QTest::newRow("percent 0: no sharing") << 17.5 << 4.0 << 4.0 << std::optional<double>(0) << 4.0 << 1.5 << 1.0;
    QTest::newRow("branch default is not used") << 17.5 << 4.0 << 4.0 << none << 4.0 << 1.5 << 1.0;
    QTest::newRow("1.2 in containers of 0.4: no partial") << 1.2 << 0.4 << 0.4 << std::optional<double>(50) << 3.0 << 0.0 << 0.0;
    QTest::newRow("0.7 in containers of 0.1: no partial") << 0.7 << 0.1 << 0.1 << none << 7.0 << 0.0 << 0.0;
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
    const LabelInputs in = rules::calc::labelInputs(total, container, registered, real(percent));
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
    const Real total = Real(diners) * Real(perPerson);
    const LabelInputs in = rules::calc::labelInputs(total, container, container, std::nullopt);
    QCOMPARE(double(in.full), full);
    QCOMPARE(double(in.partialCount), 0.0);
    QVERIFY2(in.partialQuantity >= 0, qPrintable(QString::number(double(in.partialQuantity), 'g', 17)));
}

QTEST_APPLESS_MAIN(TestContainerCalc)
#include "tst_containercalc.moc"

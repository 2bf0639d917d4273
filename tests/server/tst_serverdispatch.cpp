// The containers' dispatch: SetExpedicao records a label's temperature once, with who, when and
// from where; a correction needs its reason and adds an entry; each entry is in the history of
// changes; GetExpedicao answers the day's containers with their latest entry.

#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <protocol/remoteresult.h>
#include <cmath>
#include <limits>

using namespace servertest;

namespace {

QVariantList dayArgs() { return {QStringLiteral("0001"), QStringLiteral("00001"), day()}; }

QVariantList dispatchArgs(const QVariantMap &label, double celsius, const QString &reason = QString())
{
    return dayArgs() + QVariantList{label.value(QStringLiteral("CDDIETPADST")), label.value(QStringLiteral("NRSERVTRAN")),
                                    label.value(QStringLiteral("NRSEQUETIQTR")), celsius, reason};
}

QList<QVariantMap> containers(TestClient &client)
{
    return table(client.payload(QStringLiteral("GetExpedicao"), dayArgs())).rows;
}

QVariantMap sameLabel(const QList<QVariantMap> &rows, const QVariantMap &label)
{
    for (const QVariantMap &row : rows)
        if (row.value(QStringLiteral("NRSERVTRAN")) == label.value(QStringLiteral("NRSERVTRAN"))
            && row.value(QStringLiteral("NRSEQUETIQTR")) == label.value(QStringLiteral("NRSEQUETIQTR")))
            return row;
    return {};
}

qint64 count(server::Database &db, const char *table)
{
    return scalar(db, QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))).toLongLong();
}

QJsonObject json(const QVariant &text) { return QJsonDocument::fromJson(text.toString().toUtf8()).object(); }

} // namespace

class TestServerDispatch : public QObject {
    Q_OBJECT
private slots:
    void dispatchIsRecordedOnceThenCorrected_data() { addBackendRows(); }
    void dispatchIsRecordedOnceThenCorrected();
    void refusedDispatchWritesNothing_data();
    void refusedDispatchWritesNothing();
};

// A cook dispatches a container at 4.5 °C; dispatching it again is refused; a correction with its
// reason adds an entry. Both entries stay, each in the history as a change of the row's dispatch.
void TestServerDispatch::dispatchIsRecordedOnceThenCorrected()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    TestClient cook(f.port(), helloOf(QStringLiteral("OPER1")));
    const QList<QVariantMap> before = containers(cook);
    QVERIFY(before.size() > 1);
    const QVariantMap label = before.at(1);
    QVERIFY(label.value(QStringLiteral("VRTEMPERATURA")).isNull());
    QCOMPARE(label.value(QStringLiteral("QTEXPEDICOES")).toDouble(), 0.0);
    const qint64 historyBefore = count(f.db(), "HISTSERVTRAN");

    QCOMPARE(cook.error(QStringLiteral("SetExpedicao"), dispatchArgs(label, 4.5)), QString());
    QVariantMap now = sameLabel(containers(cook), label);
    QCOMPARE(now.value(QStringLiteral("VRTEMPERATURA")).toDouble(), 4.5);
    QCOMPARE(now.value(QStringLiteral("CDOPERADOR")).toString(), QStringLiteral("OPER1"));
    QVERIFY(now.value(QStringLiteral("DTHREXPEDICAO")).toDateTime().secsTo(QDateTime::currentDateTime()) < 60);
    QCOMPARE(now.value(QStringLiteral("QTEXPEDICOES")).toDouble(), 1.0);

    const QString again = cook.error(QStringLiteral("SetExpedicao"), dispatchArgs(label, 9.0));
    QVERIFY2(again.contains(QStringLiteral("já foi expedida a 4,5 °C")), qPrintable(again));
    QCOMPARE(cook.error(QStringLiteral("SetExpedicao"), dispatchArgs(label, 3.0, QStringLiteral("termômetro trocado"))),
             QString());
    now = sameLabel(containers(cook), label);
    QCOMPARE(now.value(QStringLiteral("VRTEMPERATURA")).toDouble(), 3.0);
    QCOMPARE(now.value(QStringLiteral("DSMOTIVO")).toString(), QStringLiteral("termômetro trocado"));
    QCOMPARE(now.value(QStringLiteral("QTEXPEDICOES")).toDouble(), 2.0);
    // the other containers are untouched
    QCOMPARE(sameLabel(containers(cook), before.at(0)).value(QStringLiteral("QTEXPEDICOES")).toDouble(), 0.0);

    // both entries stand, with the client's address
    QCOMPARE(count(f.db(), "EXPESERVTRAN"), 2);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT MIN(DSENDERECO) FROM EXPESERVTRAN")).toString(),
             QStringLiteral("127.0.0.1"));
    QCOMPARE(count(f.db(), "HISTSERVTRAN"), historyBefore + 2);
    const QList<QVariantMap> history = table(cook.payload(QStringLiteral("GetHistorico"), dayArgs())).rows.mid(historyBefore);
    QCOMPARE(history.size(), 2);
    const QString column = QStringLiteral("EXPEDICAO ") + label.value(QStringLiteral("NRSEQUETIQTR")).toString();
    QCOMPARE(history[0].value(QStringLiteral("NMMETODO")).toString(), QStringLiteral("SetExpedicao"));
    QCOMPARE(history[0].value(QStringLiteral("CDOPERADOR")).toString(), QStringLiteral("OPER1"));
    QCOMPARE(history[0].value(QStringLiteral("NRSERVTRAN")), label.value(QStringLiteral("NRSERVTRAN")));
    QVERIFY(json(history[0].value(QStringLiteral("DSANTES"))).isEmpty());
    QCOMPARE(json(history[0].value(QStringLiteral("DSDEPOIS"))).value(column).toDouble(), 4.5);
    QCOMPARE(json(history[1].value(QStringLiteral("DSANTES"))).value(column).toDouble(), 4.5);
    QCOMPARE(json(history[1].value(QStringLiteral("DSDEPOIS"))).value(column).toDouble(), 3.0);
    QCOMPARE(json(history[1].value(QStringLiteral("DSDEPOIS"))).value(QStringLiteral("MOTIVO")).toString(),
             QStringLiteral("termômetro trocado"));
}

void TestServerDispatch::refusedDispatchWritesNothing_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<double>("celsius");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("labelNumber");   // empty: a label of the day
    QTest::addColumn<QString>("error");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const QString range = QStringLiteral("A temperatura deve estar entre -60,0 °C e 130,0 °C.");
    for (const QString &b : backends()) {
        // not a number at all: refused with the call, as every argument is
        const QString notANumber = QStringLiteral("argumento 7 (temperatura): número inválido");
        newRow(b, "not a number") << nan << QString() << QString() << notANumber;
        newRow(b, "infinite") << inf << QString() << QString() << notANumber;
        newRow(b, "minus infinite") << -inf << QString() << QString() << notANumber;
        newRow(b, "boiling oil") << 180.0 << QString() << QString() << range;
        newRow(b, "below any freezer") << -61.0 << QString() << QString() << range;
        newRow(b, "correction before any dispatch") << 4.0 << QStringLiteral("engano") << QString()
                                                    << QStringLiteral("ainda não foi expedida");
        newRow(b, "label that does not exist") << 4.0 << QString() << QStringLiteral("9999")
                                               << QStringLiteral("Etiqueta 9999 do serviço transportado");
    }
}

void TestServerDispatch::refusedDispatchWritesNothing()
{
    QFETCH(QString, backend);
    QFETCH(double, celsius);
    QFETCH(QString, reason);
    QFETCH(QString, labelNumber);
    QFETCH(QString, error);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    QVariantMap label = containers(f.client()).constFirst();
    if (!labelNumber.isEmpty())
        label[QStringLiteral("NRSEQUETIQTR")] = labelNumber;
    const qint64 history = count(f.db(), "HISTSERVTRAN");
    // a refusal of the data (checked error) or of the call (fault): either way, nothing written
    const protocol::Reply reply = f.client().call(QStringLiteral("SetExpedicao"), dispatchArgs(label, celsius, reason));
    const QString answer = reply.failed() ? reply.fault : protocol::resultErrorText(reply.value);
    QVERIFY2(answer.contains(error), qPrintable(answer));
    QCOMPARE(count(f.db(), "EXPESERVTRAN"), 0);
    QCOMPARE(count(f.db(), "HISTSERVTRAN"), history);
}

QTEST_GUILESS_MAIN(TestServerDispatch)
#include "tst_serverdispatch.moc"

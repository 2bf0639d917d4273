// The shared validation and string functions, as the screens rely on them.

#include <framework/consiste.h>
#include <framework/dateeditplus.h>
#include <framework/testing/scriptedpresenter.h>

#include <protocol/packet.h>
#include <protocol/remoteresult.h>
#include <toolkit/controls.h>
#include <toolkit/error.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QLocale>
#include <QTest>

using framework::testing::ScriptedPresenter;

class TstConsiste : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void ajusta_data();
    void ajusta();
    void ajustaInscricao_data();
    void ajustaInscricao();
    void pictPess_data();
    void pictPess();
    void nomeSemana_data();
    void nomeSemana();
    void roundDec_data();
    void roundDec();
    void emptyString_data();
    void emptyString();
    void emptyStringOfWidgets();
    void trims_data();
    void trims();
    void mensErroShowsThenAbortsSilently();
    void checkResultServ_data();
    void checkResultServ();
    void checkResultServWithoutShowing();
    void setChildEnabledLeavesMarkedControlsAlone();
};

void TstConsiste::ajusta_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first row number") << "1" << 10 << "0000000001";
    QTest::newRow("branch digits") << "7" << 4 << "0007";
    QTest::newRow("service digits") << "12" << 5 << "00012";
    QTest::newRow("already full") << "0001" << 4 << "0001";
    QTest::newRow("blanks around digits") << " 12 " << 4 << "0012";
    QTest::newRow("extra leading zeros dropped") << "000012" << 4 << "0012";
    QTest::newRow("too many digits cut") << "123456" << 4 << "1234";
    QTest::newRow("letters padded right") << "AB" << 4 << "AB  ";
    QTest::newRow("mixed code padded right") << "A1" << 3 << "A1 ";
    QTest::newRow("letters cut") << "ABCDEF" << 4 << "ABCD";
    QTest::newRow("leading blanks of text trimmed") << "  X" << 3 << "X  ";
    QTest::newRow("empty stays empty") << "" << 4 << "";
    QTest::newRow("blanks stay empty") << "    " << 4 << "";
}

void TstConsiste::ajusta()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(Ajusta(text, width), expected);
}

void TstConsiste::ajustaInscricao_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("kind");
    QTest::newRow("CNPJ with punctuation") << "12.345.678/0001-95" << "12345678000195" << "J";
    QTest::newRow("CNPJ digits") << "12345678000195" << "12345678000195" << "J";
    QTest::newRow("CPF with punctuation") << "123.456.789-09" << "12345678909" << "F";
    QTest::newRow("CPF with blanks") << " 123 456 789 09 " << "12345678909" << "F";
    QTest::newRow("other length") << "12345" << "12345" << "";
    QTest::newRow("empty") << "" << "" << "";
}

void TstConsiste::ajustaInscricao()
{
    QFETCH(QString, number);
    QFETCH(QString, stored);
    QFETCH(QString, kind);
    QCOMPARE(Ajusta_Inscricao(number), kind);
    QCOMPARE(number, stored);
}

void TstConsiste::pictPess_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("mask");
    QTest::newRow("company") << "J" << "99.999.999/9999-99;0; ";
    QTest::newRow("person") << "F" << "999.999.999-99;0; ";
    QTest::newRow("lower case") << "f" << "999.999.999-99;0; ";
    QTest::newRow("unknown") << "X" << "99999999999999999999;0; ";
    QTest::newRow("empty") << "" << "99999999999999999999;0; ";
}

void TstConsiste::pictPess()
{
    QFETCH(QString, kind);
    QFETCH(QString, mask);
    QCOMPARE(PictPess(kind), mask);
}

void TstConsiste::nomeSemana_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("name");
    QTest::newRow("sunday") << QDate(2026, 12, 6) << "Domingo";
    QTest::newRow("monday") << QDate(2026, 12, 7) << "Segunda";
    QTest::newRow("tuesday") << QDate(2026, 12, 8) << "Terça";
    QTest::newRow("wednesday") << QDate(2026, 12, 9) << "Quarta";
    QTest::newRow("thursday") << QDate(2026, 12, 10) << "Quinta";
    QTest::newRow("friday") << QDate(2026, 12, 11) << "Sexta";
    QTest::newRow("saturday") << QDate(2026, 12, 12) << "Sábado";
    QTest::newRow("leap day") << QDate(2024, 2, 29) << "Quinta";
    QTest::newRow("no date") << QDate() << "";
}

void TstConsiste::nomeSemana()
{
    QFETCH(QDate, date);
    QFETCH(QString, name);
    QCOMPARE(NomeSemana(date), name);
    QCOMPARE(NomeSemana(QDateTime(date, QTime(23, 59))), name);
}

void TstConsiste::roundDec_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("expected");
    QTest::newRow("half up") << 2.675 << 2 << 2.68;
    QTest::newRow("binary noise below half") << 1.0005 << 3 << 1.001;
    QTest::newRow("computed noise") << (0.1 + 0.2) * 10.0 / 3.0 << 3 << 1.0;
    QTest::newRow("sum noise") << 0.1 + 0.2 << 1 << 0.3;
    QTest::newRow("negative half away from zero") << -2.5 << 0 << -3.0;
    QTest::newRow("negative noise") << -1.0005 << 3 << -1.001;
    QTest::newRow("below half") << 1.2344 << 3 << 1.234;
    QTest::newRow("no decimals") << 7.5 << 0 << 8.0;
    QTest::newRow("small value to zero") << 0.0004 << 3 << 0.0;
    QTest::newRow("small value to unit") << 0.0005 << 3 << 0.001;
    QTest::newRow("large") << 123456789.12345 << 3 << 123456789.123;
    QTest::newRow("exact") << 12.5 << 3 << 12.5;
    QTest::newRow("zero") << 0.0 << 3 << 0.0;
    QTest::newRow("many decimals kept") << 1.5 << 20 << 1.5;
}

void TstConsiste::roundDec()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(double, expected);
    QCOMPARE(RoundDec(value, decimals), expected);
}

void TstConsiste::emptyString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("empty");
    QTest::newRow("empty") << "" << true;
    QTest::newRow("blanks") << "   " << true;
    QTest::newRow("tab and blanks") << " \t " << true;
    QTest::newRow("blank date picture") << "  /  /    " << true;
    QTest::newRow("date text without blanks") << "//" << true;
    QTest::newRow("text") << " a " << false;
    QTest::newRow("zero") << "0" << false;
    QTest::newRow("one slash") << " / " << false;
    QTest::newRow("partial date") << "01/  /    " << false;
}

void TstConsiste::emptyString()
{
    QFETCH(QString, text);
    QFETCH(bool, empty);
    QCOMPARE(EmptyString(text), empty);
}

void TstConsiste::emptyStringOfWidgets()
{
    TDateEditPlus date;
    QVERIFY(EmptyString(&date));
    QVERIFY(EmptyString(date.QLineEdit::text()));
    date.SetDate(QDate(2026, 12, 8));
    QVERIFY(!EmptyString(&date));
    date.clearDate();
    QVERIFY(EmptyString(&date));

    QLineEdit edit;
    QVERIFY(EmptyString(&edit));
    edit.setText(QStringLiteral("  "));
    QVERIFY(EmptyString(&edit));
    edit.setText(QStringLiteral("x"));
    QVERIFY(!EmptyString(&edit));
}

void TstConsiste::trims_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("all");
    QTest::addColumn<QString>("right");
    QTest::newRow("both sides") << "  ab c  " << "ab c" << "  ab c";
    QTest::newRow("none") << "abc" << "abc" << "abc";
    QTest::newRow("only blanks") << "   " << "" << "";
    QTest::newRow("empty") << "" << "" << "";
}

void TstConsiste::trims()
{
    QFETCH(QString, text);
    QFETCH(QString, all);
    QFETCH(QString, right);
    QCOMPARE(AllTrim(text), all);
    QCOMPARE(RTrim(text), right);
}

void TstConsiste::mensErroShowsThenAbortsSilently()
{
    ScriptedPresenter presenter;
    bool aborted = false;
    try {
        MensErro(QStringLiteral("Serviço deve ser informado."), true);
    } catch (const toolkit::Abort &) {
        aborted = true;
    }
    QVERIFY(aborted);
    QCOMPARE(presenter.errors(), QStringList{QStringLiteral("Serviço deve ser informado.")});
    // The abort is silent: the application's error handling shows nothing more.
    QString handled;
    toolkit::setExceptionHandler([&](const QString &m) { handled = m; });
    toolkit::guarded([] { MensErro(QStringLiteral("x"), true); });
    toolkit::setExceptionHandler({});
    QVERIFY(handled.isEmpty());
}

void TstConsiste::checkResultServ_data()
{
    QTest::addColumn<QVariant>("raw");
    QTest::addColumn<QVariant>("payload");
    QTest::addColumn<QString>("error");
    const QVariant packets = QVariantList{QVariant::fromValue(protocol::DataPacket(QByteArrayLiteral("p0"))),
                                          QVariant::fromValue(protocol::DataPacket(QByteArrayLiteral("p1")))};
    QTest::newRow("payload value") << protocol::resultOk(true) << QVariant(true) << "";
    QTest::newRow("payload packet array") << protocol::resultOk(packets) << packets << "";
    QTest::newRow("payload null") << protocol::resultOk(QVariant()) << QVariant() << "";
    QTest::newRow("error") << protocol::resultError(QStringLiteral("Prato já cadastrado.")) << QVariant()
                           << "Prato já cadastrado.";
    QTest::newRow("text convention, success") << QVariant(QString()) << QVariant(QString()) << "";
    QTest::newRow("text convention, error") << QVariant(QStringLiteral("Falha ao gravar.")) << QVariant()
                                            << "Falha ao gravar.";
    QTest::newRow("not a result") << QVariant(42) << QVariant() << "Resposta inválida do servidor de aplicação.";
    QTest::newRow("map with other keys") << QVariant(QVariantMap{{QStringLiteral("x"), 1}}) << QVariant()
                                         << "Resposta inválida do servidor de aplicação.";
}

void TstConsiste::checkResultServ()
{
    QFETCH(QVariant, raw);
    QFETCH(QVariant, payload);
    QFETCH(QString, error);
    ScriptedPresenter presenter;
    if (error.isEmpty()) {
        const QVariant got = CheckResultServ(raw, true, 0);
        QCOMPARE(got, payload);
        QVERIFY(presenter.log().isEmpty());
        return;
    }
    QVERIFY_THROWS_EXCEPTION(toolkit::Abort, CheckResultServ(raw, true, 0));
    QCOMPARE(presenter.errors(), QStringList{error});
}

void TstConsiste::checkResultServWithoutShowing()
{
    ScriptedPresenter presenter;
    try {
        CheckResultServ(protocol::resultError(QStringLiteral("Erro X")), false, 0);
        QFAIL("no exception");
    } catch (const toolkit::Abort &) {
        QFAIL("must not be silent when nothing was shown");
    } catch (const toolkit::Error &e) {
        QCOMPARE(e.message(), QStringLiteral("Erro X"));
    }
    QVERIFY(presenter.log().isEmpty());
}

void TstConsiste::setChildEnabledLeavesMarkedControlsAlone()
{
    QWidget panel;
    auto *code = new QLineEdit(&panel);
    auto *fixed = new QLineEdit(&panel);
    toolkit::setTag(fixed, 99);
    auto *name = new QLineEdit(&panel);
    toolkit::setDisplayOnly(name, true);
    name->setEnabled(false);
    auto *group = new QGroupBox(&panel);
    auto *inner = new QCheckBox(group);
    auto *other = new QLineEdit(&panel);
    toolkit::setTag(other, 5);

    SetChildEnabled(&panel, false);
    QVERIFY(!code->isEnabled());
    QVERIFY(fixed->isEnabled());
    QVERIFY(!name->isEnabled());
    QVERIFY(!group->isEnabled());
    QVERIFY(!inner->isEnabled());   // follows its disabled group
    QVERIFY(!other->isEnabled());

    fixed->setEnabled(false);
    SetChildEnabled(&panel, true);
    QVERIFY(code->isEnabled());
    QVERIFY(!fixed->isEnabled());   // a tag-99 control keeps what the screen gave it
    QVERIFY(!name->isEnabled());    // display-only edits are the screen's
    QVERIFY(group->isEnabled());
    QVERIFY(inner->isEnabled());
    QVERIFY(other->isEnabled());
}

QTEST_MAIN(TstConsiste)
#include "tst_consiste.moc"

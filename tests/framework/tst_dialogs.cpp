// The framework's dialogs: the routine dialog base, the lookup dialog used from the keyboard,
// the lookup functions with their list format, message tables and the busy indicator.

#include <framework/application.h>
#include <framework/busyindicator.h>
#include <framework/frmrotgeral.h>
#include <framework/lookup.h>
#include <framework/lookupdialog.h>
#include <framework/messages.h>
#include <framework/presenter.h>
#include <framework/testing/scriptedpresenter.h>

#include <protocol/packet.h>
#include <toolkit/clientdataset.h>
#include <toolkit/error.h>

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

using framework::testing::LookupAnswer;
using framework::testing::ScriptedPresenter;
using framework::testing::Shown;

namespace {

class RoutineDialog : public TfrmRotiGeral {
public:
    explicit RoutineDialog(QStringList *calls) : m_calls(calls) { setObjectName(QStringLiteral("frmRotina")); }
    void FormCreate(QObject *) override { m_calls->append(QStringLiteral("FormCreate")); }
    void FormActivate(QObject *) override { m_calls->append(QStringLiteral("FormActivate")); }
    void FormClose(QObject *sender, CloseAction &action) override
    {
        m_calls->append(QStringLiteral("FormClose"));
        TfrmRotiGeral::FormClose(sender, action);
        if (keepOpen)
            action = caNone;
    }
    void sbtConfirmaClick(QObject *) override { m_calls->append(QStringLiteral("Confirma")); }
    bool keepOpen = false;

private:
    QStringList *m_calls;
};

void loadServices(toolkit::ClientDataSet &ds)
{
    protocol::PacketContent c;
    c.fields = {{QStringLiteral("CHAVE"), protocol::FieldKind::String, 9},
                {QStringLiteral("CDSERVFILI"), protocol::FieldKind::String, 5},
                {QStringLiteral("NMSERVICO"), protocol::FieldKind::String, 40}};
    c.rows = {{{QStringLiteral("000100001"), QStringLiteral("00001"), QStringLiteral("Almoço")}},
              {{QStringLiteral("000100002"), QStringLiteral("00002"), QStringLiteral("Jantar")}},
              {{QStringLiteral("000100005"), QStringLiteral("00005"), QStringLiteral("Ceia")}}};
    ds.setData(protocol::encodePacket(c));
    ds.fieldByName(QStringLiteral("CHAVE"))->setVisible(false);
}

} // namespace

class TstDialogs : public QObject {
    Q_OBJECT
private slots:
    void routineDialogLifecycle();
    void routineDialogCanRefuseToClose();
    void routineDialogKeys();
    void lookupDialogFromTheKeyboard();
    void lookupDialogMultiSelect();
    void pesquisarEmptyShowsTextAfterBar();
    void pesquisaListaListFormat();
    void pesquisaListaGivingUpKeepsTheList();
    void showMsgRoutesByButtons();
    void busyIndicatorHidesOnEveryPath();
    void qtsOwnDialogsSpeakPortuguese();
    void busyOverlayOverMainWindow();
};

void TstDialogs::routineDialogLifecycle()
{
    framework::MainWindow main;
    main.show();
    QStringList calls;
    QPointer<RoutineDialog> dialog = framework::createForm<RoutineDialog>(&calls);
    QCOMPARE(dialog->parentWidget(), &main);
    QCOMPARE(calls, QStringList{QStringLiteral("FormCreate")});
    for (const char *name : {"grbDadosRel", "sbtConfirma", "sbtFechar", "msgPadrao"})
        QVERIFY2(dialog->findChild<QObject *>(QString::fromLatin1(name)), name);
    QTimer::singleShot(0, dialog, [dialog] {
        QTRY_VERIFY(dialog->isActiveWindow());
        dialog->sbtConfirma->click();
        dialog->sbtFechar->click();
    });
    const int result = dialog->exec();
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(calls.contains(QStringLiteral("FormActivate")));
    QCOMPARE(calls.mid(calls.indexOf(QStringLiteral("Confirma"))), (QStringList{QStringLiteral("Confirma"), QStringLiteral("FormClose")}));
    QVERIFY(dialog);   // still there right after exec: its result can be read
    QTRY_VERIFY(!dialog);
}

void TstDialogs::routineDialogCanRefuseToClose()
{
    QStringList calls;
    RoutineDialog dialog(&calls);
    dialog.keepOpen = true;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.close();
    QVERIFY(dialog.isVisible());
    QCOMPARE(calls.count(QStringLiteral("FormClose")), 1);
    dialog.keepOpen = false;
    dialog.reject();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(calls.count(QStringLiteral("FormClose")), 2);
    dialog.setAttribute(Qt::WA_DeleteOnClose, false);
    QCoreApplication::removePostedEvents(&dialog, QEvent::DeferredDelete);   // it lives on the stack here
}

void TstDialogs::routineDialogKeys()
{
    QStringList calls;
    QPointer<RoutineDialog> dialog = new RoutineDialog(&calls);
    dialog->show();
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    QTest::keyClick(dialog, Qt::Key_F10);
    QCOMPARE(calls.count(QStringLiteral("Confirma")), 1);
    QTest::keyClick(dialog, Qt::Key_Escape);
    QCOMPARE(calls.count(QStringLiteral("FormClose")), 1);
    QTRY_VERIFY(!dialog);
}

void TstDialogs::lookupDialogFromTheKeyboard()
{
    toolkit::ClientDataSet ds(nullptr, QStringLiteral("qryServico"));
    loadServices(ds);
    framework::LookupDialog dialog(nullptr, QStringLiteral("Serviço"), framework::lookupRows(&ds),
                                   framework::LookupDialog::Mode::Pick);
    QCOMPARE(dialog.view()->model()->columnCount(), 2);   // the hidden key is not listed
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(dialog.filterEdit()));
    QTest::keyClicks(dialog.filterEdit(), QStringLiteral("a"));   // Almoço, Jantar, Ceia all hold an "a"
    QCOMPARE(dialog.view()->model()->rowCount(), 3);
    QTest::keyClicks(dialog.filterEdit(), QStringLiteral("n"));   // "an": Jantar
    QCOMPARE(dialog.view()->model()->rowCount(), 1);
    QTest::keyClick(dialog.filterEdit(), Qt::Key_Backspace);
    QTest::keyClick(dialog.filterEdit(), Qt::Key_Backspace);
    QTest::keyClick(dialog.filterEdit(), Qt::Key_Down);
    QTest::keyClick(dialog.filterEdit(), Qt::Key_Down);
    QTest::keyClick(dialog.filterEdit(), Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.chosenRow(), 2);
}

void TstDialogs::lookupDialogMultiSelect()
{
    toolkit::ClientDataSet ds;
    loadServices(ds);
    framework::LookupDialog dialog(nullptr, QStringLiteral("Serviço"), framework::lookupRows(&ds, QStringLiteral("CHAVE")),
                                   framework::LookupDialog::Mode::PickList, {QStringLiteral("000100005")});
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.checkedKeys(), QStringList{QStringLiteral("000100005")});
    QTest::keyClick(dialog.filterEdit(), Qt::Key_Space, Qt::ControlModifier);   // ticks the first row
    QTest::keyClick(dialog.filterEdit(), Qt::Key_Down);
    QTest::keyClick(dialog.filterEdit(), Qt::Key_Down);
    QTest::keyClick(dialog.filterEdit(), Qt::Key_Space, Qt::ControlModifier);   // unticks the third
    QTest::keyClick(dialog.filterEdit(), Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.checkedKeys(), QStringList{QStringLiteral("000100001")});
}

void TstDialogs::pesquisarEmptyShowsTextAfterBar()
{
    ScriptedPresenter presenter;
    toolkit::ClientDataSet ds;
    ds.addField(QStringLiteral("CDCLIENTE"), protocol::FieldKind::String, 21);
    ds.open();
    toolkit::DataSource source;
    source.setDataSet(&ds);
    QVERIFY(!Pesquisar(&source, QStringLiteral("Cliente|Não há cliente cadastrado."), false, true));
    QCOMPARE(presenter.messages(), QStringList{QStringLiteral("Não há cliente cadastrado.")});
    QVERIFY(presenter.entries(Shown::Pick).isEmpty());

    toolkit::ClientDataSet rows;
    loadServices(rows);   // any content will do
    source.setDataSet(&rows);
    presenter.queueLookup(LookupAnswer::atRow(1));
    QVERIFY(Pesquisar(&source, QStringLiteral("Cliente|Não há cliente cadastrado."), false, true));
    QCOMPARE(presenter.texts(Shown::Pick), QStringList{QStringLiteral("Cliente")});
    QCOMPARE(rows.recNo(), 1);
}

void TstDialogs::pesquisaListaListFormat()
{
    ScriptedPresenter presenter;
    toolkit::ClientDataSet ds;
    loadServices(ds);
    toolkit::DataSource source;
    source.setDataSet(&ds);
    QString list = QStringLiteral("_000100002_");
    presenter.queueLookup(LookupAnswer::withKeys({QStringLiteral("000100005"), QStringLiteral("000100001")}));
    QVERIFY(PesquisaLista(&source, QStringLiteral("CHAVE"), QStringLiteral("Serviço"), false, list));
    QCOMPARE(presenter.lastSelected(), QStringList{QStringLiteral("000100002")});
    QCOMPARE(list, QStringLiteral("_000100001_000100005_"));   // in the list's order

    presenter.queueLookup(LookupAnswer::withKeys({}));
    QVERIFY(PesquisaLista(&source, QStringLiteral("CHAVE"), QStringLiteral("Serviço"), false, list));
    QCOMPARE(list, QString());   // nothing chosen: empty, so that "Lista" without services is caught
    QVERIFY_THROWS_EXCEPTION(toolkit::Error,
                             PesquisaLista(&source, QStringLiteral("NOSUCH"), QStringLiteral("Serviço"), false, list));
}

void TstDialogs::pesquisaListaGivingUpKeepsTheList()
{
    ScriptedPresenter presenter;
    toolkit::ClientDataSet ds;
    loadServices(ds);
    toolkit::DataSource source;
    source.setDataSet(&ds);
    QString list = QStringLiteral("_000100002_");
    presenter.queueLookup(LookupAnswer::cancel());
    QVERIFY(!PesquisaLista(&source, QStringLiteral("CHAVE"), QStringLiteral("Serviço"), false, list));
    QCOMPARE(list, QStringLiteral("_000100002_"));
}

void TstDialogs::showMsgRoutesByButtons()
{
    ScriptedPresenter presenter;
    TMessages table(nullptr, QStringLiteral("msgMensagensPadroes"));
    table.addEntry(QStringLiteral("Excl"), QStringLiteral("Confirma Exclusão?"));
    table.addEntry(QStringLiteral("ok"), QStringLiteral("Operação realizada com sucesso"));
    table.addEntry(QStringLiteral("err"), QStringLiteral("Falhou"));
    presenter.queueConfirm(framework::mrNo);
    QCOMPARE(table.ShowMsg(QStringLiteral("Excl"), framework::DialogType::Confirmation,
                           framework::MsgButton::Yes | framework::MsgButton::No, 0),
             int(framework::mrNo));
    QCOMPARE(table.ShowMsg(QStringLiteral("ok"), framework::DialogType::Information, framework::MsgButton::OK), int(framework::mrOk));
    QCOMPARE(table.ShowMsg(QStringLiteral("err"), framework::DialogType::Error, framework::MsgButton::OK), int(framework::mrOk));
    QCOMPARE(presenter.confirmations(), QStringList{QStringLiteral("Confirma Exclusão?")});
    QCOMPARE(presenter.informations(), QStringList{QStringLiteral("Operação realizada com sucesso")});
    QCOMPARE(presenter.errors(), QStringList{QStringLiteral("Falhou")});
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, table.ShowMsg(QStringLiteral("Canc"), framework::DialogType::Confirmation,
                                                           framework::MsgButton::Yes | framework::MsgButton::No));
}

void TstDialogs::busyIndicatorHidesOnEveryPath()
{
    ScriptedPresenter presenter;
    {
        framework::BusyIndicator busy(nullptr, 6);
        QCOMPARE(presenter.busyDepth(), 1);
    }
    try {
        framework::BusyIndicator busy(nullptr, 1);
        throw toolkit::Error(QStringLiteral("falhou"));
    } catch (const toolkit::Error &) {
    }
    {
        // Hidden before the message that follows it, and only once.
        framework::BusyIndicator busy(nullptr, 1);
        busy.hide();
        framework::presenter().information(QStringLiteral("Operação realizada com sucesso"));
    }
    QVERIFY(presenter.busyBalanced());
    QCOMPARE(presenter.busyShows(), 3);
    QCOMPARE(presenter.busyHides(), 3);
    const QList<Shown> &log = presenter.log();
    QCOMPARE(log.at(0).busyKind, 6);
    QCOMPARE(log.at(5).kind, Shown::BusyHide);
    QCOMPARE(log.at(6).kind, Shown::Information);
}

void TstDialogs::busyOverlayOverMainWindow()
{
    framework::MainWindow main;
    main.resize(800, 600);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    ActiveShowAvi(&main, 6);
    auto *overlay = main.findChild<QWidget *>(QStringLiteral("aviOcupado"));
    QVERIFY(overlay);
    QVERIFY(overlay->isVisible());
    ActiveShowAvi(&main, 1);   // nested: one overlay
    DeactiveShowAvi();
    QVERIFY(overlay->isVisible());
    DeactiveShowAvi();
    QVERIFY(!overlay->isVisible());
    DeactiveShowAvi();   // a stray hide does no harm
    QVERIFY(!overlay->isVisible());
}

// Qt's standard buttons and dialogs (print preview, file and printer choices) speak the
// application's language.
void TstDialogs::qtsOwnDialogsSpeakPortuguese()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QVERIFY(framework::installQtTranslations());
    QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Save | QDialogButtonBox::Close);
    QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancelar"));
    QCOMPARE(box.button(QDialogButtonBox::Save)->text(), QStringLiteral("Salvar"));
    QCOMPARE(box.button(QDialogButtonBox::Close)->text(), QStringLiteral("Fechar"));
    QLocale::setDefault(previous);
}

QTEST_MAIN(TstDialogs)
#include "tst_dialogs.moc"

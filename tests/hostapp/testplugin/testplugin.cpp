// A module for the loader's tests: two units with initialization counters, the entries a host
// looks up, and a form of its own class so that unloading must destroy it. What happens is
// written into the application's dynamic properties, which outlive the module.

#include <framework/application.h>
#include <framework/packageinfo.h>
#include <framework/zandrix.h>

#include <QApplication>
#include <QDateTime>
#include <QPointer>

namespace {

void bump(const char *key)
{
    qApp->setProperty(key, qApp->property(key).toInt() + 1);
}

void note(const QString &step)
{
    qApp->setProperty("plugin.order", QString(qApp->property("plugin.order").toString() + step));
}

int unitOneCount = 0;
int unitTwoCount = 0;

void unitOneInit()
{
    bump("plugin.init.one");
    // The order of the units: one before two.
    note(QStringLiteral("1"));
}
void unitOneFini() { bump("plugin.fini.one"); }
void unitTwoInit()
{
    bump("plugin.init.two");
    note(QStringLiteral("2"));
}
void unitTwoFini()
{
    bump("plugin.fini.two");
    note(QStringLiteral("-2"));
}

const PackageUnitInfo units[] = {
    {"Tst_unit_one", unitOneInit, unitOneFini, &unitOneCount},
    {"Tst_unit_two", unitTwoInit, unitTwoFini, &unitTwoCount},
};
const PackageInfoTable table{2, units};

class PluginForm : public framework::Form {
public:
    PluginForm()
    {
        setObjectName(QStringLiteral("frmPlugin"));
        setWindowTitle(QStringLiteral("Tela do módulo de teste"));
        setFormStyle(framework::FormStyle::MdiChild);
    }
    ~PluginForm() override { bump("plugin.form.destroyed"); }
    void FormCreate(QObject *) override { bump("plugin.form.created"); }
};

QPointer<PluginForm> form;

} // namespace

extern "C" {

Q_DECL_EXPORT bool boIdCriado = false;

Q_DECL_EXPORT void Initialize()
{
    framework::InitializePackage(&table);
}

Q_DECL_EXPORT void Finalize()
{
    framework::FinalizePackage(&table);
}

Q_DECL_EXPORT const PackageInfoTable *GetPackageInfoTable()
{
    return &table;
}

Q_DECL_EXPORT void IniProc()
{
    if (!form) {
        form = framework::createForm<PluginForm>();
        boIdCriado = true;
    }
    form->showForm();
}

Q_DECL_EXPORT bool criaCalcMultiServ(const QString &branch, const QString &service, const QDateTime &date)
{
    qApp->setProperty("plugin.calc", QStringList{branch, service, date.toString(Qt::ISODate)});
    return true;
}
}

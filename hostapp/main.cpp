// servtran-host: the stand-in host application. Reads the login session, opens the shared
// database, and shows the MDI main window from which the modules are opened.

#include "hostconfig.h"
#include "hostwindow.h"
#include "signindialog.h"

#include <framework/application.h>
#include <framework/presenter.h>
#include <toolkit/error.h>

#include <QApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QTimer>

#include <cstdio>

namespace {

void say(const QString &text)
{
    std::fprintf(stderr, "servtran-host: %s\n", qUtf8Printable(text));
}

bool headless()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

} // namespace

int main(int argc, char *argv[])
{
    // Widgets take the default locale when they are built: pt_BR before any of them.
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("servtran-host"));
    QApplication::setApplicationDisplayName(QStringLiteral("Serviços Transportados"));
    if (!framework::installQtTranslations())
        say(QStringLiteral("as traduções do Qt para pt_BR não estão instaladas; os diálogos padrão falarão inglês"));

    if (hostapp::wantsHelp(QApplication::arguments())) {
        std::fputs(qUtf8Printable(hostapp::helpText()), stdout);
        return 0;
    }

    hostapp::HostSettings settings;
    try {
        settings = hostapp::parseSettings(QApplication::arguments());
        // without a password file the operator signs in here, before anything opens
        if (settings.session.operatorPassword.isEmpty() && !headless() && !hostapp::signIn(settings.session))
            return 1;
        hostapp::applySettings(settings);
    } catch (const toolkit::Error &e) {
        say(e.message());
        if (!headless())
            framework::presenter().error(e.message());
        return 2;
    }

    toolkit::setExceptionHandler([](const QString &message) { framework::presenter().error(message); });

    hostapp::HostWindow window(settings.pluginDir);
    window.show();
    if (!settings.openScreen.isEmpty()) {
        const QString code = settings.openScreen;
        QTimer::singleShot(0, &window, [&window, code] { window.openModule(code); });
    }
    const int status = QApplication::exec();
    toolkit::setExceptionHandler({});
    return status;
}

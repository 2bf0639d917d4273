// servtran-web: the page a phone opens from a container label's link, over HTTPS, beside the
// application server, through which alone it reads and writes.

#include "httpfront.h"
#include "webconfig.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <pthread.h>

namespace {

void say(const QString &line)
{
    std::fprintf(stderr, "servtran-web: %s\n", qUtf8Printable(line));
    std::fflush(stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("servtran-web"));

    web::WebSettings settings;
    try {
        bool help = false;
        QString helpText;
        settings = web::parseWebArguments(QCoreApplication::arguments(), &help, &helpText);
        if (help) {
            std::fputs(qUtf8Printable(helpText), stdout);
            return 0;
        }
    } catch (const web::StartError &e) {
        say(e.message());
        say(QStringLiteral("use --help para ver as opções."));
        return 2;
    }

    // SIGINT and SIGTERM are taken by this thread alone, with sigwait: the connections' threads
    // start with them blocked.
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGINT);
    sigaddset(&stopping, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    web::HttpFront front(settings);
    try {
        front.start();
    } catch (const web::StartError &e) {
        say(e.message());
        return 1;
    }
    say(QStringLiteral("atendendo https://%1:%2/e/... com o operador %3 no servidor de aplicação %4:%5%6")
            .arg(settings.listenAddress)
            .arg(front.port())
            .arg(settings.operatorCode, settings.serverHost)
            .arg(settings.serverPort)
            .arg(settings.serverTls ? QStringLiteral(" (TLS)") : QString()));
    int signal = 0;
    sigwait(&stopping, &signal);
    front.stop();
    say(QStringLiteral("parado"));
    return 0;
}

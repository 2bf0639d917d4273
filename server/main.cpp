// servtran-server: the application server rdmServTran on a TCP port, over the shared database.

#include "backup.h"
#include "database.h"
#include "demo.h"
#include "passwords.h"
#include "schema.h"
#include "security.h"
#include "service.h"
#include "tcpserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QUrl>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

void say(const QString &line)
{
    std::fprintf(stderr, "servtran-server: %s\n", qUtf8Printable(line));
    std::fflush(stderr);
}

// SIGINT and SIGTERM end the event loop through a socket pair, the one safe way out of a handler.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

void stopOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// A line of standard input; on a terminal after a prompt and without echo. Never from the
// arguments, which every user sees in `ps`.
std::optional<QString> readPassword(const QString &prompt)
{
    const bool terminal = ::isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::fprintf(stderr, "%s", qUtf8Printable(prompt));
        std::fflush(stderr);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::string line;
    const bool read = bool(std::getline(std::cin, line));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (!read)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

// --set-password: the operator's new password, from the terminal (typed twice) or the first line
// of standard input. The exit code.
int setPassword(const QString &connection, const QString &operatorCode)
{
    const std::optional<QString> password = readPassword(QStringLiteral("Nova senha de %1: ").arg(operatorCode));
    if (!password || password->isEmpty()) {
        say(QStringLiteral("nenhuma senha informada."));
        return 2;
    }
    if (::isatty(STDIN_FILENO) && readPassword(QStringLiteral("Repita a senha: ")) != password) {
        say(QStringLiteral("as senhas não conferem."));
        return 2;
    }
    try {
        server::Database database(connection);
        server::setOperatorPassword(database, operatorCode, *password);
    } catch (const server::Error &e) {
        say(e.message());
        return 1;
    }
    say(QStringLiteral("senha do operador %1 gravada.").arg(operatorCode));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("servtran-server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Servidor de aplicação dos serviços transportados (Pla04100.rdmServTran)."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Mostra esta ajuda."));
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("Banco de dados: sqlite:ARQUIVO ou \"postgres:host=H port=P dbname=D user=U\"."),
                                QStringLiteral("CONNECTION"));
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Endereço de escuta (padrão 127.0.0.1)."),
                                  QStringLiteral("HOST"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Porta TCP (padrão 8410; 0 = qualquer livre)."),
                                  QStringLiteral("PORT"), QStringLiteral("8410"));
    const QCommandLineOption createSchema(QStringLiteral("create-schema"),
                                          QStringLiteral("Cria as tabelas que não existirem."));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Cria as tabelas e carrega os dados de demonstração se o banco estiver vazio."));
    const QCommandLineOption workers(QStringLiteral("workers"),
                                     QStringLiteral("Chamadas atendidas ao mesmo tempo, cada uma com sua conexão ao banco (padrão 4)."),
                                     QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption maxConnections(QStringLiteral("max-connections"),
                                            QStringLiteral("Clientes conectados ao mesmo tempo (padrão 200)."),
                                            QStringLiteral("N"), QStringLiteral("200"));
    const QCommandLineOption maxPerAddress(QStringLiteral("max-connections-per-address"),
                                           QStringLiteral("Clientes conectados ao mesmo tempo de um mesmo endereço (padrão 64)."),
                                           QStringLiteral("N"), QStringLiteral("64"));
    const QCommandLineOption helloTimeout(QStringLiteral("hello-timeout"),
                                          QStringLiteral("Segundos para um cliente concluir o TLS e se identificar (padrão 5)."),
                                          QStringLiteral("SECONDS"), QStringLiteral("5"));
    const QCommandLineOption idleTimeout(QStringLiteral("idle-timeout"),
                                         QStringLiteral("Segundos sem chamadas após os quais uma conexão é fechada "
                                                        "(padrão 900; 0 = nunca)."),
                                         QStringLiteral("SECONDS"), QStringLiteral("900"));
    const QCommandLineOption tlsCert(QStringLiteral("tls-cert"),
                                     QStringLiteral("Certificado do servidor (PEM, com a cadeia): conexões com TLS."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption tlsKey(QStringLiteral("tls-key"), QStringLiteral("Chave privada do certificado (PEM, sem senha)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption tokenFile(QStringLiteral("token-file"),
                                       QStringLiteral("Arquivo com a chave de acesso que todo cliente deve apresentar."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption setPasswordOption(
        QStringLiteral("set-password"),
        QStringLiteral("Grava a senha do operador (lida do terminal ou da entrada padrão, nunca dos argumentos) e termina."),
        QStringLiteral("OPERADOR"));
    const QCommandLineOption insecure(QStringLiteral("insecure"),
                                      QStringLiteral("Aceita escutar fora da própria máquina sem TLS ou sem chave de acesso."));
    const QCommandLineOption standby(QStringLiteral("db-standby"),
                                     QStringLiteral("Réplica PostgreSQL em hot standby que atende as leituras: "
                                                    "\"postgres:host=H port=P dbname=D user=U\" (ou a variável SERVTRAN_DB_STANDBY)."),
                                     QStringLiteral("CONNECTION"));
    const QCommandLineOption backup(QStringLiteral("backup"),
                                    QStringLiteral("Grava uma cópia de segurança do banco SQLite em ARQUIVO enquanto outros "
                                                   "servidores o atendem, e termina."),
                                    QStringLiteral("ARQUIVO"));
    const QCommandLineOption webUrl(QStringLiteral("web-url"),
                                    QStringLiteral("Endereço da frente web dos celulares (por exemplo https://cozinha.exemplo:8443): "
                                                   "as etiquetas levam o link assinado do seu recebimento."),
                                    QStringLiteral("URL"));
    const QCommandLineOption receiptOperator(QStringLiteral("receipt-operator"),
                                             QStringLiteral("Operador da frente web, que só consulta e registra o recebimento "
                                                            "das etiquetas (padrão RECEB)."),
                                             QStringLiteral("CODE"), QStringLiteral("RECEB"));
    parser.addOptions({help, db, host, port, createSchema, demo, workers, maxConnections, maxPerAddress, helloTimeout,
                       idleTimeout, tlsCert, tlsKey, tokenFile, insecure, setPasswordOption, backup, standby, webUrl,
                       receiptOperator});

    if (!parser.parse(QCoreApplication::arguments())) {
        say(parser.errorText());
        say(QStringLiteral("use --help para ver as opções."));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        say(QStringLiteral("argumento inesperado: %1").arg(parser.positionalArguments().constFirst()));
        return 2;
    }
    if (!parser.isSet(db)) {
        say(QStringLiteral("informe o banco de dados com --db (por exemplo --db sqlite:servtran.db)."));
        return 2;
    }
    if (parser.isSet(setPasswordOption))
        return setPassword(parser.value(db), parser.value(setPasswordOption).trimmed());
    if (parser.isSet(backup)) {
        const QString connection = parser.value(db);
        if (!connection.startsWith(QLatin1String("sqlite:"))) {
            say(QStringLiteral("--backup copia bancos SQLite; no PostgreSQL use pg_dump (veja docs/operations.md)."));
            return 2;
        }
        const QString file = connection.mid(7).section(QLatin1Char('?'), 0, 0);
        if (!QFileInfo::exists(file)) {
            say(QStringLiteral("o banco %1 não existe.").arg(file));
            return 1;
        }
        try {
            server::Database database(connection);
            server::backupSqlite(database, parser.value(backup));
            say(QStringLiteral("cópia de segurança de %1 gravada em %2").arg(database.description(), parser.value(backup)));
            return 0;
        } catch (const server::Error &e) {
            say(e.message());
            return 1;
        }
    }
    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    if (!portOk || portNumber > 65535) {
        say(QStringLiteral("porta inválida: %1").arg(parser.value(port)));
        return 2;
    }
    server::ServerSettings settings;
    const auto whole = [&](const QCommandLineOption &option, int low, int high, int &value) {
        bool ok = false;
        value = parser.value(option).toInt(&ok);
        if (ok && value >= low && value <= high)
            return true;
        say(QStringLiteral("valor inválido para --%1: %2").arg(option.names().constFirst(), parser.value(option)));
        return false;
    };
    int idleSeconds = 0;
    int helloSeconds = 0;
    if (!whole(workers, 1, 256, settings.workers) || !whole(maxConnections, 1, 100000, settings.maxConnections)
        || !whole(maxPerAddress, 1, 100000, settings.maxConnectionsPerAddress)
        || !whole(helloTimeout, 1, 60, helloSeconds) || !whole(idleTimeout, 0, 7 * 24 * 3600, idleSeconds))
        return 2;
    settings.idleTimeoutMs = idleSeconds * 1000;
    settings.helloTimeoutMs = helloSeconds * 1000;
    // The service's settings file names the standby in the environment: a connection string holds
    // blanks, which systemd would split in an option list.
    const QString standbyConnection =
        parser.isSet(standby) ? parser.value(standby) : qEnvironmentVariable("SERVTRAN_DB_STANDBY").trimmed();
    if (!standbyConnection.isEmpty()) {
        if (!parser.value(db).startsWith(QLatin1String("postgres:"))
            || !standbyConnection.startsWith(QLatin1String("postgres:"))) {
            say(QStringLiteral("--db-standby é uma réplica PostgreSQL de um banco PostgreSQL (--db postgres:...)."));
            return 2;
        }
        settings.standbyConnection = standbyConnection;
    }
    if (parser.isSet(webUrl)) {
        QString url = parser.value(webUrl).trimmed();
        if (url.endsWith(QLatin1Char('/')))
            url.chop(1);
        const QUrl parsed(url, QUrl::StrictMode);
        // the labels' links must fit their field (400) with the token after it
        if (!parsed.isValid() || (parsed.scheme() != QLatin1String("https") && parsed.scheme() != QLatin1String("http"))
            || parsed.host().isEmpty() || parsed.hasQuery() || parsed.hasFragment() || url.size() > 200) {
            say(QStringLiteral("--web-url deve ser um endereço http(s)://máquina[:porta][/caminho] de até 200 caracteres, "
                               "sem consulta: %1").arg(parser.value(webUrl)));
            return 2;
        }
        settings.service.webUrl = url;
    }
    settings.service.receiptOperator = parser.value(receiptOperator).trimmed();
    if (settings.service.receiptOperator.isEmpty() || settings.service.receiptOperator.size() > 8) {
        say(QStringLiteral("valor inválido para --receipt-operator: %1").arg(parser.value(receiptOperator)));
        return 2;
    }
    const QHostAddress address(parser.value(host));
    if (address.isNull()) {
        say(QStringLiteral("endereço inválido: %1").arg(parser.value(host)));
        return 2;
    }
    if (parser.isSet(tlsCert) != parser.isSet(tlsKey)) {
        say(QStringLiteral("informe --tls-cert e --tls-key juntos."));
        return 2;
    }
    try {
        if (parser.isSet(tlsCert))
            settings.tls = server::serverTls(parser.value(tlsCert), parser.value(tlsKey));
        if (parser.isSet(tokenFile)) {
            settings.accessToken = server::readTokenFile(parser.value(tokenFile));
            if (server::readableByOthers(parser.value(tokenFile)))
                say(QStringLiteral("aviso: o arquivo da chave de acesso %1 pode ser lido por outros usuários "
                                   "(use chmod 600).").arg(parser.value(tokenFile)));
        }
    } catch (const server::Error &e) {
        say(e.message());
        return 2;
    }
    // Beyond this machine the wire must be encrypted and every client show the token, unless the
    // operator says otherwise.
    if (!address.isLoopback() && !(settings.usesTls() && !settings.accessToken.isEmpty()) && !parser.isSet(insecure)) {
        say(QStringLiteral("o endereço %1 aceita conexões de outras máquinas: informe --tls-cert, --tls-key e "
                           "--token-file, ou use --insecure para aceitar a conexão sem essa proteção.")
                .arg(address.toString()));
        return 2;
    }

    try {
        QString description;
        {
            server::Database database(parser.value(db));
            description = database.description();
            const int version = server::schemaVersion(database);
            server::refuseNewerSchema(database, version);
            if (version > 0 && version < server::kSchemaVersion) {
                const QString copy = server::backupBeforeUpgrade(database, parser.value(db), version);
                say(QStringLiteral("cópia do banco antes da atualização do esquema: %1").arg(copy));
                server::upgradeSchema(database);
                say(QStringLiteral("esquema do banco %1 atualizado da versão %2 para a %3")
                        .arg(description)
                        .arg(version)
                        .arg(server::kSchemaVersion));
            }
            if (parser.isSet(createSchema) || parser.isSet(demo))
                server::createSchema(database);
            if (!server::hasSchema(database))
                throw server::Error(QStringLiteral("o banco %1 não tem as tabelas dos serviços transportados; "
                                                   "use --create-schema ou --demo.")
                                        .arg(description));
            if (parser.isSet(demo) && server::isEmpty(database)) {
                server::loadDemoData(database);
                say(QStringLiteral("dados de demonstração carregados em %1").arg(description));
            }
        }
        server::TcpServer tcp(parser.value(db), settings);
        tcp.listen(address, quint16(portNumber));
        stopOnSignals(app);
        say(QStringLiteral("atendendo %1 em %2:%3, banco %4%5%6")
                .arg(server::ServTranService::serverName(), tcp.address().toString())
                .arg(tcp.port())
                .arg(description,
                     settings.usesTls() ? QStringLiteral(", TLS") : QString(),
                     settings.accessToken.isEmpty() ? QString() : QStringLiteral(", com chave de acesso")));
        if (!settings.service.webUrl.isEmpty())
            say(QStringLiteral("links das etiquetas em %1/e/..., recebimento pelo operador %2")
                    .arg(settings.service.webUrl, settings.service.receiptOperator));
        if (!settings.standbyConnection.isEmpty())
            say(QStringLiteral("leituras enviadas à réplica %1")
                    .arg(QString(settings.standbyConnection)
                             .replace(QRegularExpression(QStringLiteral("password=\\S*")), QStringLiteral("password=***"))));
        const int rc = app.exec();
        say(QStringLiteral("parado"));
        return rc;
    } catch (const server::SchemaTooNewError &e) {
        say(e.message());
        return 3;
    } catch (const server::Error &e) {
        say(e.message());
        return 1;
    }
}

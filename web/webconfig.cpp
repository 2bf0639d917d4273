#include "webconfig.h"

#include <protocol/hello.h>

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSettings>

namespace web {

namespace {

QString resolvePath(const QString &path, const QString &base)
{
    return path.isEmpty() || QFileInfo(path).isAbsolute() ? path : QDir(base).absoluteFilePath(path);
}

// The first line of a file as it stands (a password may hold blanks).
QString firstLine(const QString &path, const QString &what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw StartError(QStringLiteral("Arquivo %1 ilegível: %2 (%3)").arg(what, path, file.errorString()));
    QString line = QString::fromUtf8(file.read(4096)).section(QLatin1Char('\n'), 0, 0);
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (line.isEmpty())
        throw StartError(QStringLiteral("Arquivo %1 vazio: %2").arg(what, path));
    return line;
}

int whole(const QString &text, int low, int high, const QString &what)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        throw StartError(
            QStringLiteral("Valor inválido para %1: \"%2\" (de %3 a %4).").arg(what, text).arg(low).arg(high));
    return value;
}

} // namespace

WebSettings parseWebArguments(const QStringList &arguments, bool *help, QString *helpText)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Página de recebimento dos recipientes nas unidades (HTTPS), aberta pelo link da etiqueta."));
    const auto option = [](const char *name, const char *description, const char *value = nullptr) {
        return value ? QCommandLineOption(QLatin1String(name), QString::fromUtf8(description), QLatin1String(value))
                     : QCommandLineOption(QLatin1String(name), QString::fromUtf8(description));
    };
    const QCommandLineOption helpOption(
        { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Mostra esta ajuda."));
    const QCommandLineOption config
        = option("config", "Arquivo INI com as opções ([web], [server], [session]).", "FILE");
    const QCommandLineOption host = option("host", "Endereço de escuta (padrão 127.0.0.1).", "HOST");
    const QCommandLineOption port = option("port", "Porta HTTPS (padrão 8443).", "PORT");
    const QCommandLineOption cert = option("tls-cert", "Certificado da página (PEM, com a cadeia).", "FILE");
    const QCommandLineOption key = option("tls-key", "Chave privada do certificado (PEM, sem senha).", "FILE");
    const QCommandLineOption serverHost = option("server-host", "Servidor de aplicação (padrão 127.0.0.1).", "HOST");
    const QCommandLineOption serverPort
        = option("server-port", "Porta do servidor de aplicação (padrão 8410).", "PORT");
    const QCommandLineOption serverCa
        = option("server-ca", "Certificado da autoridade (CA) do servidor de aplicação: conexão com TLS.", "FILE");
    const QCommandLineOption tokenFile
        = option("token-file", "Arquivo com a chave de acesso do servidor de aplicação.", "FILE");
    const QCommandLineOption operatorCode
        = option("operator", "Operador com que a página grava (padrão RECEB).", "CODE");
    const QCommandLineOption passwordFile = option("password-file", "Arquivo com a senha do operador.", "FILE");
    const QCommandLineOption maxConnections = option("max-connections", "Conexões ao mesmo tempo (padrão 64).", "N");
    const QCommandLineOption maxPerAddress
        = option("max-connections-per-address", "Conexões ao mesmo tempo de um mesmo endereço (padrão 16).", "N");
    const QCommandLineOption timeout = option(
        "timeout", "Segundos de uma conexão sem atividade e de uma chamada ao servidor (padrão 15).", "SECONDS");
    parser.addOptions({ helpOption, config, host, port, cert, key, serverHost, serverPort, serverCa, tokenFile,
        operatorCode, passwordFile, maxConnections, maxPerAddress, timeout });
    if (!parser.parse(arguments))
        throw StartError(parser.errorText());
    if (parser.isSet(helpOption)) {
        if (help)
            *help = true;
        if (helpText)
            *helpText = parser.helpText();
        return {};
    }
    if (!parser.positionalArguments().isEmpty())
        throw StartError(QStringLiteral("Argumento inesperado: %1").arg(parser.positionalArguments().constFirst()));

    // Every value: the command line's, else the INI file's (its paths relative to its folder).
    std::optional<QSettings> ini;
    QString iniDir;
    if (parser.isSet(config)) {
        const QString file = parser.value(config);
        if (!QFileInfo(file).isReadable())
            throw StartError(QStringLiteral("Arquivo de configuração ilegível: %1").arg(file));
        ini.emplace(file, QSettings::IniFormat);
        iniDir = QFileInfo(file).absolutePath();
    }
    const auto value = [&](const QCommandLineOption &o, const char *iniKey) -> QString {
        if (parser.isSet(o))
            return parser.value(o).trimmed();
        return ini ? ini->value(QLatin1String(iniKey)).toString().trimmed() : QString();
    };
    const auto path = [&](const QCommandLineOption &o, const char *iniKey) {
        return parser.isSet(o) ? resolvePath(parser.value(o).trimmed(), QDir::currentPath())
                               : resolvePath(value(o, iniKey), iniDir);
    };

    WebSettings s;
    if (const QString v = value(host, "web/host"); !v.isEmpty())
        s.listenAddress = v;
    if (QHostAddress(s.listenAddress).isNull())
        throw StartError(QStringLiteral("Endereço de escuta inválido: %1").arg(s.listenAddress));
    if (const QString v = value(port, "web/port"); !v.isEmpty())
        s.listenPort = whole(v, 0, 65535, QStringLiteral("--port"));
    s.certificateFile = path(cert, "web/tls-cert");
    s.keyFile = path(key, "web/tls-key");
    if (s.certificateFile.isEmpty() || s.keyFile.isEmpty())
        throw StartError(QStringLiteral("Informe o certificado e a chave da página (--tls-cert e --tls-key): "
                                        "ela só atende por HTTPS."));
    if (const QString v = value(serverHost, "server/host"); !v.isEmpty())
        s.serverHost = v;
    if (const QString v = value(serverPort, "server/port"); !v.isEmpty())
        s.serverPort = whole(v, 1, 65535, QStringLiteral("--server-port"));
    s.serverCaFile = path(serverCa, "server/ca");
    s.serverTls = !s.serverCaFile.isEmpty();
    if (const QString file = path(tokenFile, "server/token-file"); !file.isEmpty()) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            throw StartError(QStringLiteral("Arquivo da chave de acesso ilegível: %1 (%2)").arg(file, f.errorString()));
        s.serverToken = protocol::tokenOfFile(f.read(4096));
    }
    if (const QString v = value(operatorCode, "session/operator"); !v.isEmpty())
        s.operatorCode = v;
    const QString secret = path(passwordFile, "session/password-file");
    if (secret.isEmpty())
        throw StartError(
            QStringLiteral("Informe o arquivo com a senha do operador %1 (--password-file).").arg(s.operatorCode));
    s.password = firstLine(secret, QStringLiteral("da senha"));
    if (const QString v = value(maxConnections, "web/max-connections"); !v.isEmpty())
        s.maxConnections = whole(v, 1, 10000, QStringLiteral("--max-connections"));
    if (const QString v = value(maxPerAddress, "web/max-connections-per-address"); !v.isEmpty())
        s.maxConnectionsPerAddress = whole(v, 1, 10000, QStringLiteral("--max-connections-per-address"));
    if (const QString v = value(timeout, "web/timeout"); !v.isEmpty())
        s.timeoutSeconds = whole(v, 1, 300, QStringLiteral("--timeout"));
    return s;
}

} // namespace web

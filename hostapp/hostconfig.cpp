#include "hostconfig.h"

#include <framework/consiste.h>
#include <framework/dtmdbgeral.h>
#include <protocol/hello.h>
#include <toolkit/error.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace hostapp {

namespace {

struct Options {
    QCommandLineOption config{QStringLiteral("config"), QStringLiteral("Arquivo de configuração (INI)."), QStringLiteral("ARQUIVO")};
    QCommandLineOption branch{QStringLiteral("branch"), QStringLiteral("Filial da sessão."), QStringLiteral("FILIAL")};
    QCommandLineOption op{QStringLiteral("operator"), QStringLiteral("Operador da sessão."), QStringLiteral("OPERADOR")};
    QCommandLineOption date{QStringLiteral("date"), QStringLiteral("Data de processamento (dd/mm/aaaa)."), QStringLiteral("DATA")};
    QCommandLineOption host{QStringLiteral("server-host"), QStringLiteral("Endereço do servidor de aplicação."), QStringLiteral("HOST")};
    QCommandLineOption port{QStringLiteral("server-port"), QStringLiteral("Porta do servidor de aplicação."), QStringLiteral("PORTA")};
    QCommandLineOption database{QStringLiteral("database"), QStringLiteral("Banco de dados: arquivo SQLite, sqlite:ARQUIVO ou postgres:host=H port=P dbname=D user=U."),
                                QStringLiteral("BANCO")};
    QCommandLineOption bound{QStringLiteral("bound-branch"), QStringLiteral("Sessão presa à filial (a filial não pode ser trocada nas telas).")};
    QCommandLineOption pluginDir{QStringLiteral("plugin-dir"), QStringLiteral("Pasta dos módulos."), QStringLiteral("PASTA")};
    QCommandLineOption open{QStringLiteral("open"), QStringLiteral("Abre a tela deste código ao iniciar."), QStringLiteral("CODIGO")};
    QCommandLineOption ca{QStringLiteral("server-ca"),
                          QStringLiteral("Certificado (PEM) da autoridade que assina o do servidor de aplicação: conexão com TLS."),
                          QStringLiteral("ARQUIVO")};
    QCommandLineOption tokenFile{QStringLiteral("server-token-file"),
                                 QStringLiteral("Arquivo com a chave de acesso ao servidor de aplicação."), QStringLiteral("ARQUIVO")};

    QCommandLineOption passwordFile{QStringLiteral("password-file"),
                                    QStringLiteral("Arquivo com a senha do operador (para scripts e testes; sem ele a senha é pedida ao iniciar)."),
                                    QStringLiteral("ARQUIVO")};

    void addTo(QCommandLineParser &parser) const
    {
        parser.addOptions({config, branch, op, date, host, port, database, bound, pluginDir, open, ca, tokenFile, passwordFile});
    }
};

QString resolvePath(const QString &path, const QString &base)
{
    if (path.isEmpty() || path.startsWith(QLatin1String("postgres")))
        return path;
    if (path.startsWith(QLatin1String("sqlite:")))
        return QStringLiteral("sqlite:") + resolvePath(path.mid(7), base);
    return QFileInfo(path).isAbsolute() ? path : QDir(base).absoluteFilePath(path);
}

QString defaultConfig()
{
    const QString name = QStringLiteral("servtran-host.ini");
    if (QCoreApplication::instance()) {
        const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(name);
        if (QFileInfo::exists(beside))
            return beside;
    }
    const QString here = QDir::current().filePath(name);
    return QFileInfo::exists(here) ? here : QString();
}

int parsePort(const QString &text)
{
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        throw toolkit::Error(QStringLiteral("Porta do servidor de aplicação inválida: \"%1\" (use um número de 1 a 65535).").arg(text));
    return port;
}

bool parseBool(const QString &text, const QString &what)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1") || t == QLatin1String("sim") || t == QLatin1String("yes"))
        return true;
    if (t.isEmpty() || t == QLatin1String("false") || t == QLatin1String("0") || t == QLatin1String("não")
        || t == QLatin1String("nao") || t == QLatin1String("no"))
        return false;
    throw toolkit::Error(QStringLiteral("Valor inválido para %1: \"%2\" (use true ou false).").arg(what, text));
}

// The first line of the file, without surrounding blanks.
QString readToken(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw toolkit::Error(QStringLiteral("Arquivo da chave de acesso ilegível: %1 (%2)").arg(path, file.errorString()));
    const QString token = protocol::tokenOfFile(file.readAll());
    if (token.isEmpty())
        throw toolkit::Error(QStringLiteral("Arquivo da chave de acesso vazio: %1").arg(path));
    return token;
}

// The operator's password in a file: its first line as it stands (blanks included).
QString readPassword(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw toolkit::Error(QStringLiteral("Arquivo da senha ilegível: %1 (%2)").arg(path, file.errorString()));
    QString password = QString::fromUtf8(file.readAll()).section(QLatin1Char('\n'), 0, 0);
    if (password.endsWith(QLatin1Char('\r')))
        password.chop(1);
    if (password.isEmpty())
        throw toolkit::Error(QStringLiteral("Arquivo da senha vazio: %1").arg(path));
    return password;
}

int parseSeconds(const QString &text, const QString &what)
{
    bool ok = false;
    const int seconds = text.trimmed().toInt(&ok);
    if (!ok || seconds < 1 || seconds > 24 * 3600)
        throw toolkit::Error(QStringLiteral("Valor inválido para %1: \"%2\" (use segundos, de 1 a 86400).").arg(what, text));
    return seconds;
}

QDate requireDate(const QString &text, const QString &what)
{
    const QDate date = parseDate(text);
    if (!date.isValid())
        throw toolkit::Error(QStringLiteral("Data inválida em %1: \"%2\" (use dd/mm/aaaa).").arg(what, text));
    return date;
}

} // namespace

QDate parseDate(const QString &text)
{
    const QString t = text.trimmed();
    QDate date = QDate::fromString(t, QStringLiteral("dd/MM/yyyy"));
    if (!date.isValid())
        date = QDate::fromString(t, Qt::ISODate);
    return date;
}

bool wantsHelp(const QStringList &arguments)
{
    return arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"));
}

QString helpText()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Sistema de Produção — Serviços Transportados (aplicação hospedeira)."));
    Options options;
    options.addTo(parser);
    return parser.helpText();
}

HostSettings parseSettings(const QStringList &arguments)
{
    QCommandLineParser parser;
    Options options;
    options.addTo(parser);
    if (!parser.parse(arguments))
        throw toolkit::Error(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        throw toolkit::Error(QStringLiteral("Argumento inesperado: %1").arg(parser.positionalArguments().constFirst()));

    HostSettings settings;
    QString configFile = parser.value(options.config);
    if (parser.isSet(options.config)) {
        if (!QFileInfo(configFile).isFile() || !QFileInfo(configFile).isReadable())
            throw toolkit::Error(QStringLiteral("Arquivo de configuração não encontrado ou ilegível: %1").arg(configFile));
    } else {
        configFile = defaultConfig();
    }

    framework::SessionValues &s = settings.session;
    s.webUrl = QStringLiteral("127.0.0.1");
    s.webPort = 8410;
    if (!configFile.isEmpty()) {
        settings.configFile = QFileInfo(configFile).absoluteFilePath();
        const QString base = QFileInfo(configFile).absolutePath();
        QSettings ini(configFile, QSettings::IniFormat);
        if (ini.status() != QSettings::NoError)
            throw toolkit::Error(QStringLiteral("Arquivo de configuração inválido: %1").arg(configFile));
        s.branch = ini.value(QStringLiteral("session/branch")).toString().trimmed();
        s.operatorCode = ini.value(QStringLiteral("session/operator")).toString().trimmed();
        if (ini.contains(QStringLiteral("session/date")))
            s.processingDate = requireDate(ini.value(QStringLiteral("session/date")).toString(), QStringLiteral("[session] date"));
        s.boundBranch = parseBool(ini.value(QStringLiteral("session/bound-branch")).toString(), QStringLiteral("[session] bound-branch"));
        if (ini.contains(QStringLiteral("server/host")))
            s.webUrl = ini.value(QStringLiteral("server/host")).toString().trimmed();
        if (ini.contains(QStringLiteral("server/port")))
            s.webPort = parsePort(ini.value(QStringLiteral("server/port")).toString());
        s.serverTls = parseBool(ini.value(QStringLiteral("server/tls")).toString(), QStringLiteral("[server] tls"));
        s.serverCaFile = resolvePath(ini.value(QStringLiteral("server/ca")).toString().trimmed(), base);
        s.serverToken = ini.value(QStringLiteral("server/token")).toString().trimmed();
        if (const QString file = ini.value(QStringLiteral("server/token-file")).toString().trimmed(); !file.isEmpty())
            s.serverToken = readToken(resolvePath(file, base));
        if (const QString file = ini.value(QStringLiteral("session/password-file")).toString().trimmed(); !file.isEmpty())
            s.operatorPassword = readPassword(resolvePath(file, base));
        if (ini.contains(QStringLiteral("server/call-timeout")))
            s.serverCallTimeoutMs =
                parseSeconds(ini.value(QStringLiteral("server/call-timeout")).toString(), QStringLiteral("[server] call-timeout")) * 1000;
        settings.database = resolvePath(ini.value(QStringLiteral("database/path")).toString().trimmed(), base);
        settings.pluginDir = resolvePath(ini.value(QStringLiteral("modules/dir")).toString().trimmed(), base);
        ini.beginGroup(QStringLiteral("dates"));
        for (const QString &key : ini.childKeys())
            s.branchDates.insert(key.trimmed(), requireDate(ini.value(key).toString(), QStringLiteral("[dates] ") + key));
        ini.endGroup();
        ini.beginGroup(QStringLiteral("pictures"));
        for (const QString &key : ini.childKeys()) {
            bool ok = false;
            const int kind = key.toInt(&ok);
            if (!ok)
                throw toolkit::Error(QStringLiteral("Tipo de máscara inválido em [pictures]: %1").arg(key));
            // A value holding ';' comes back from QSettings as a list: join it again.
            const QVariant v = ini.value(key);
            s.pictures.insert(kind, v.metaType().id() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(';'))
                                                                               : v.toString());
        }
        ini.endGroup();
    }

    if (parser.isSet(options.branch))
        s.branch = parser.value(options.branch).trimmed();
    if (parser.isSet(options.op))
        s.operatorCode = parser.value(options.op).trimmed();
    if (parser.isSet(options.date)) {
        s.processingDate = requireDate(parser.value(options.date), QStringLiteral("--date"));
        // The date given to this run is the processing date of the session's branch as well.
        if (!s.branch.isEmpty())
            s.branchDates.insert(s.branch, s.processingDate);
    }
    if (parser.isSet(options.host))
        s.webUrl = parser.value(options.host).trimmed();
    if (parser.isSet(options.port))
        s.webPort = parsePort(parser.value(options.port));
    if (parser.isSet(options.bound))
        s.boundBranch = true;
    if (parser.isSet(options.ca))
        s.serverCaFile = resolvePath(parser.value(options.ca).trimmed(), QDir::currentPath());
    if (parser.isSet(options.tokenFile))
        s.serverToken = readToken(resolvePath(parser.value(options.tokenFile).trimmed(), QDir::currentPath()));
    if (parser.isSet(options.passwordFile))
        s.operatorPassword = readPassword(resolvePath(parser.value(options.passwordFile).trimmed(), QDir::currentPath()));
    if (parser.isSet(options.database))
        settings.database = resolvePath(parser.value(options.database).trimmed(), QDir::currentPath());
    if (parser.isSet(options.pluginDir))
        settings.pluginDir = QDir::current().absoluteFilePath(parser.value(options.pluginDir).trimmed());
    settings.openScreen = parser.value(options.open).trimmed().toUpper();

    if (s.branch.isEmpty())
        throw toolkit::Error(QStringLiteral("Filial não informada: use --branch ou [session] branch no arquivo de configuração."));
    if (s.operatorCode.isEmpty())
        throw toolkit::Error(QStringLiteral("Operador não informado: use --operator ou [session] operator no arquivo de configuração."));
    if (s.webUrl.isEmpty())
        throw toolkit::Error(QStringLiteral("Servidor de aplicação não informado: use --server-host ou [server] host."));
    if (!s.serverCaFile.isEmpty()) {
        s.serverTls = true;
        if (!QFileInfo(s.serverCaFile).isFile())
            throw toolkit::Error(QStringLiteral("Certificado da autoridade (CA) do servidor de aplicação não encontrado: %1")
                                     .arg(s.serverCaFile));
    }
    if (settings.database.isEmpty())
        throw toolkit::Error(QStringLiteral("Banco de dados não informado: use --database ou [database] path no arquivo de configuração."));
    if (!settings.pluginDir.isEmpty() && !QFileInfo(settings.pluginDir).isDir())
        throw toolkit::Error(QStringLiteral("Pasta de módulos não encontrada: %1").arg(settings.pluginDir));
    return settings;
}

void applySettings(HostSettings &settings)
{
    framework::openSharedDatabase(settings.database);
    QString name;
    QString refusal;
    try {
        refusal = framework::branchRefusal(settings.session.branch, settings.session.operatorCode, &name);
    } catch (const toolkit::Error &e) {
        framework::closeSharedDatabase();
        throw toolkit::Error(QStringLiteral("O banco de dados %1 não pôde ser lido: %2").arg(settings.database, e.message()));
    }
    if (!refusal.isEmpty()) {
        framework::closeSharedDatabase();
        throw toolkit::Error(QStringLiteral("Filial %1 recusada: %2").arg(settings.session.branch, refusal));
    }
    settings.session.branchName = name;
    framework::setSession(settings.session);
}

} // namespace hostapp

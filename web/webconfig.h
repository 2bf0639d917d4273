#pragma once
// What servtran-web is told at start: where it listens (HTTPS only), its certificate, the
// application server it writes through and the operator it signs in as, and its bounds. From the
// command line, or an INI file like the host's whose values the command line overrides.

#include <QString>

#include <stdexcept>

namespace web {

// What keeps the web front from starting, in the operator's words.
class StartError : public std::runtime_error {
public:
    explicit StartError(const QString &message)
        : std::runtime_error(message.toStdString())
    {
    }
    QString message() const { return QString::fromStdString(what()); }
};

struct WebSettings {
    // Where the phones connect.
    QString listenAddress = QStringLiteral("127.0.0.1");
    int listenPort = 8443;
    // The page's certificate (PEM, with its chain) and private key (PEM, without passphrase).
    QString certificateFile;
    QString keyFile;

    // The application server, as a host reaches it: TLS against caFile's authority when given.
    QString serverHost = QStringLiteral("127.0.0.1");
    int serverPort = 8410;
    QString serverCaFile;
    bool serverTls = false;
    QString serverToken; // the access token, read from its file (empty when none asked)
    // The operator the page writes as, and its password, read from its file.
    QString operatorCode = QStringLiteral("RECEB");
    QString password;

    // Bounds: phones connected at once, and from one address; seconds a connection may stay
    // silent and a call to the application server may take; bytes of a form.
    int maxConnections = 64;
    int maxConnectionsPerAddress = 16;
    int timeoutSeconds = 15;
    int maxBodyBytes = 4096;
};

// The settings of this command line (and of the INI file it names with --config). Throws
// StartError with what is wrong, in the operator's words; `help` is set (and nothing else
// checked) when the line asks for the help text, which `helpText` then holds.
WebSettings parseWebArguments(const QStringList &arguments, bool *help = nullptr, QString *helpText = nullptr);

} // namespace web

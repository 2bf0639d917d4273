#pragma once
// The connection to the application server: one TCP socket per screen or dialog, calls by
// method name with positional arguments, synchronous on the user-interface thread.

#include "framework_export.h"

#include <toolkit/event.h>

#include <QObject>
#include <QString>
#include <QVariant>

#include <optional>

class QDeadlineTimer;
class QSslSocket;

namespace framework {

class FRAMEWORK_EXPORT TNetConnection : public QObject {
    Q_OBJECT
public:
    explicit TNetConnection(QObject *parent = nullptr, const QString &name = QString());
    ~TNetConnection() override;

    // The server object the calls address ("Pla04100.rdmServTran").
    const QString &serverName() const { return m_serverName; }
    void setServerName(const QString &name) { m_serverName = name; }
    const QString &host() const { return m_host; }
    void setHost(const QString &host) { m_host = host; }
    int port() const { return m_port; }
    void setPort(int port) { m_port = port; }
    // true: a failed connect throws; false: it leaves the connection closed, silently.
    bool throwException() const { return m_throwException; }
    void setThrowException(bool on) { m_throwException = on; }
    // Milliseconds a connect, and a call, may take before they count as failed.
    int connectTimeout() const { return m_connectTimeout; }
    void setConnectTimeout(int ms) { m_connectTimeout = ms; }
    // By default the session's limit (SessionValues::serverCallTimeoutMs), else 5 minutes.
    int callTimeout() const;
    void setCallTimeout(int ms) { m_callTimeout = ms; }
    // Who the connection says it is in its first frame (the hello): the operator, by default
    // the session's (Operador()), and the server's access token, by default the session's
    // (empty when the server asks for none).
    QString operatorCode() const;
    void setOperatorCode(const QString &code) { m_operatorCode = code; }
    QString accessToken() const;
    void setAccessToken(const QString &token) { m_accessToken = token; }
    // The operator's password, by default the session's: the server signs the operator in with it.
    QString password() const;
    void setPassword(const QString &password) { m_password = password; }
    // TLS, verifying the server's certificate against the CA certificates of caFile() (PEM; the
    // system's when empty) and its name against host(). By default as the session says.
    bool usesTls() const;
    void setTls(bool on) { m_tls = on; }
    QString caFile() const;
    void setCaFile(const QString &path) { m_caFile = path; }

    // Runs before every connect: the place to set host and port from the session.
    toolkit::Event<QObject *> BeforeConnect;

    bool Connected() const;
    void setConnected(bool on);
    void Open();
    void Close();

    // Calls `method` on the server object with positional arguments. The arguments the server
    // wrote back (by-reference ones) are copied into `args`. A closed connection is opened first
    // (BeforeConnect runs). Throws toolkit::Error when it cannot connect, on a fault reply, when
    // the connection breaks or the call times out.
    QVariant call(const QString &method, QVariantList &args);
    QVariant call(const QString &method, const QVariantList &args);

private:
    [[noreturn]] void lost(const QString &why);
    // Connects and says the hello; empty when the server took it, otherwise the message (the
    // socket is then closed).
    QString connectAndGreet();
    // What a user is told when a call finds no server: plain words and what to do.
    QString unreachable(const QString &failure) const;
    // Writes all of `bytes` / reads one whole frame before the deadline; empty `why` on success.
    void writeAll(const QByteArray &bytes, const QDeadlineTimer &deadline, QString &why);
    QByteArray readFrame(const QDeadlineTimer &deadline, QString &why);

    // Why the TLS handshake failed, in words for the user.
    QString tlsFailure() const;

    QSslSocket *m_socket;
    QString m_serverName;
    QString m_operatorCode;
    std::optional<QString> m_accessToken;
    std::optional<QString> m_password;
    QString m_host = QStringLiteral("localhost");
    int m_port = 0;
    bool m_throwException = true;
    bool m_noAnswer = false;   // the last connection found nobody answering (down, unreachable)
    int m_connectTimeout = 10000;
    int m_callTimeout = 0;
    std::optional<bool> m_tls;
    std::optional<QString> m_caFile;
};

} // namespace framework

using framework::TNetConnection;

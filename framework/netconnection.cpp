#include "netconnection.h"

#include "zandrix.h"

#include <protocol/frame.h>
#include <protocol/hello.h>
#include <protocol/value.h>
#include <toolkit/error.h>

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

namespace framework {

TNetConnection::TNetConnection(QObject *parent, const QString &name) : QObject(parent), m_socket(new QSslSocket(this))
{
    setObjectName(name);
}

TNetConnection::~TNetConnection() = default;

bool TNetConnection::Connected() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void TNetConnection::setConnected(bool on)
{
    if (on)
        Open();
    else
        Close();
}

QString TNetConnection::operatorCode() const
{
    return m_operatorCode.isEmpty() ? Operador() : m_operatorCode;
}

QString TNetConnection::accessToken() const { return m_accessToken.value_or(session().serverToken); }

QString TNetConnection::password() const { return m_password.value_or(session().operatorPassword); }

bool TNetConnection::usesTls() const { return m_tls.value_or(session().serverTls || !session().serverCaFile.isEmpty()); }

QString TNetConnection::caFile() const { return m_caFile.value_or(session().serverCaFile); }

int TNetConnection::callTimeout() const
{
    if (m_callTimeout > 0)
        return m_callTimeout;
    return session().serverCallTimeoutMs > 0 ? session().serverCallTimeoutMs : 300000;
}

QString TNetConnection::tlsFailure() const
{
    QStringList reasons;
    for (const QSslError &e : m_socket->sslHandshakeErrors())
        reasons << e.errorString();
    if (reasons.isEmpty())
        reasons << m_socket->errorString();
    return QStringLiteral("Falha na conexão segura (TLS) com o servidor de aplicação %1:%2: %3")
        .arg(m_host)
        .arg(m_port)
        .arg(reasons.join(QStringLiteral("; ")));
}

void TNetConnection::Open()
{
    if (Connected())
        return;
    const QString failure = connectAndGreet();
    if (!failure.isEmpty() && m_throwException)
        throw toolkit::Error(failure);
}

QString TNetConnection::connectAndGreet()
{
    BeforeConnect(this);
    m_socket->abort();
    m_noAnswer = false;
    QString failure;
    const QHostAddress address(m_host);
    const bool thisMachine = m_host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
                             || (!address.isNull() && address.isLoopback());
    if (m_port <= 0 || m_port > 65535) {
        failure = QStringLiteral("porta inválida (%1)").arg(m_port);
    } else if (!usesTls() && !thisMachine && !(password().isEmpty() && accessToken().isEmpty())) {
        // refused before connecting: the password and the token never cross a network in clear
        failure = QStringLiteral("o servidor de aplicação %1:%2 está em outra máquina e a conexão não é segura (TLS); "
                                 "a senha e a chave de acesso não são enviadas sem TLS")
                      .arg(m_host)
                      .arg(m_port);
    } else {
        bool connected = false;
        if (usesTls()) {
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.setProtocol(QSsl::TlsV1_2OrLater);
            tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
            if (!caFile().isEmpty()) {
                // a company's own authority: only it vouches for the server
                const QList<QSslCertificate> authorities = QSslCertificate::fromPath(caFile(), QSsl::Pem);
                if (authorities.isEmpty())
                    return QStringLiteral("Certificado da autoridade (CA) do servidor de aplicação não encontrado em %1.")
                        .arg(caFile());
                tls.setCaCertificates(authorities);
            }
            m_socket->setSslConfiguration(tls);
            m_socket->connectToHostEncrypted(m_host, quint16(m_port));
            connected = m_socket->waitForEncrypted(m_connectTimeout);
            if (!connected) {
                // refused or unreachable is said as for a plain connection; the rest is TLS
                if (m_socket->state() == QAbstractSocket::ConnectedState || !m_socket->sslHandshakeErrors().isEmpty()
                    || m_socket->error() == QAbstractSocket::SslHandshakeFailedError
                    || m_socket->error() == QAbstractSocket::RemoteHostClosedError) {
                    const QString why = tlsFailure();
                    m_socket->abort();
                    return why;
                }
                failure = m_socket->errorString();
                m_noAnswer = true;   // refused or unreachable: nobody answered
            }
        } else {
            m_socket->connectToHost(m_host, quint16(m_port));
            connected = m_socket->waitForConnected(m_connectTimeout);
            if (!connected) {
                failure = m_socket->errorString();
                m_noAnswer = true;   // refused or unreachable: nobody answered
            }
        }
        if (connected) {
            // the hello: the server takes no call before it knows who calls
            const QDeadlineTimer deadline(m_connectTimeout);
            writeAll(protocol::frame(protocol::encodeHello({operatorCode(), accessToken(), password()})), deadline, failure);
            QByteArray payload;
            if (failure.isEmpty())
                payload = readFrame(deadline, failure);
            if (!failure.isEmpty() && !usesTls() && m_socket->state() != QAbstractSocket::ConnectedState)
                // a TLS server drops a client that speaks in clear
                failure += QStringLiteral("; o servidor pode exigir conexão segura (TLS)");
            if (failure.isEmpty()) {
                try {
                    const protocol::Reply reply = protocol::decodeReply(payload);
                    if (reply.failed()) {
                        m_socket->abort();
                        return QStringLiteral("O servidor de aplicação %1:%2 recusou a conexão: %3")
                            .arg(m_host)
                            .arg(m_port)
                            .arg(reply.fault);
                    }
                } catch (const protocol::PacketError &e) {
                    failure = QStringLiteral("resposta inválida: %1").arg(e.message());
                }
            }
        }
    }
    if (failure.isEmpty())
        return {};
    m_socket->abort();
    return QStringLiteral("Não foi possível conectar ao servidor de aplicação %1:%2 (%3).")
        .arg(m_host)
        .arg(m_port)
        .arg(failure);
}

void TNetConnection::writeAll(const QByteArray &bytes, const QDeadlineTimer &deadline, QString &why)
{
    if (m_socket->write(bytes) != bytes.size()) {
        why = m_socket->errorString();
        return;
    }
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime())))) {
            why = deadline.hasExpired() ? QStringLiteral("tempo esgotado") : m_socket->errorString();
            return;
        }
    }
}

QByteArray TNetConnection::readFrame(const QDeadlineTimer &deadline, QString &why)
{
    protocol::FrameBuffer buffer;
    for (;;) {
        buffer.append(m_socket->readAll());
        if (std::optional<QByteArray> payload = buffer.take())
            return *payload;
        if (buffer.oversized())
            why = QStringLiteral("resposta acima do tamanho máximo");
        else if (m_socket->state() != QAbstractSocket::ConnectedState)
            why = QStringLiteral("o servidor fechou a conexão");
        else if (deadline.hasExpired())
            why = QStringLiteral("tempo esgotado");
        else if (!m_socket->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))
                 && m_socket->bytesAvailable() == 0)
            why = deadline.hasExpired() ? QStringLiteral("tempo esgotado") : m_socket->errorString();
        if (!why.isEmpty())
            return {};
    }
}

void TNetConnection::Close()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    m_socket->disconnectFromHost();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->waitForDisconnected(1000);
    m_socket->abort();
}

QString TNetConnection::unreachable(const QString &failure) const
{
    // A server that is down or out of reach is the common case and says nothing a kitchen user
    // can act on beyond checking it; a server that answered and refused or broke off (TLS, the
    // access) says why.
    if (m_noAnswer || failure.isEmpty())
        return QStringLiteral("O servidor de aplicação (%1:%2) não está respondendo.\n\nVerifique se ele está "
                              "ligado e se a rede está funcionando, e tente de novo. Se continuar, chame o "
                              "responsável pelo sistema.")
            .arg(m_host)
            .arg(m_port);
    return failure + QStringLiteral("\n\nChame o responsável pelo sistema.");
}

void TNetConnection::lost(const QString &why)
{
    m_socket->abort();
    throw toolkit::Error(QStringLiteral("A conexão com o servidor de aplicação foi perdida (%1).\n\nTente de novo; se "
                                        "continuar, verifique se o servidor de aplicação está ligado.")
                             .arg(why));
}

QVariant TNetConnection::call(const QString &method, const QVariantList &args)
{
    QVariantList copy = args;
    return call(method, copy);
}

QVariant TNetConnection::call(const QString &method, QVariantList &args)
{
    // A call on a closed connection connects it first, as a remote server object does: the
    // server may have been restarted, or was down when the screen opened.
    QString why;
    if (!Connected())
        why = connectAndGreet();
    if (!Connected())
        throw toolkit::Error(unreachable(why));
    QByteArray payload;
    try {
        payload = protocol::encodeRequest({m_serverName, method, args});
    } catch (const protocol::PacketError &e) {
        throw toolkit::Error(QStringLiteral("Argumentos inválidos para %1: %2").arg(method, e.message()));
    }
    if (quint64(payload.size()) > protocol::kMaxFrameSize)
        throw toolkit::Error(QStringLiteral("A chamada %1 excede o tamanho máximo de mensagem.").arg(method));

    const QDeadlineTimer deadline(callTimeout());
    QString failure;
    writeAll(protocol::frame(payload), deadline, failure);
    if (!failure.isEmpty())
        lost(failure);
    const QByteArray reply = readFrame(deadline, failure);
    if (!failure.isEmpty())
        lost(failure);

    protocol::Reply decoded;
    try {
        decoded = protocol::decodeReply(reply);
    } catch (const protocol::PacketError &e) {
        lost(QStringLiteral("resposta inválida: %1").arg(e.message()));
    }
    if (decoded.failed())
        throw toolkit::Error(QStringLiteral("Erro no servidor de aplicação ao executar %1: %2").arg(method, decoded.fault));
    for (qsizetype i = 0; i < args.size() && i < decoded.refs.size(); ++i)
        args[i] = decoded.refs.at(i);
    return decoded.value;
}

} // namespace framework

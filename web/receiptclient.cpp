#include "receiptclient.h"

#include <protocol/frame.h>
#include <protocol/hello.h>
#include <protocol/remoteresult.h>
#include <protocol/value.h>

#include <QDeadlineTimer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

namespace web {

namespace {

// Replies to these calls are one row: far below the wire's limit.
constexpr quint32 kMaxReply = 1024 * 1024;

class Call {
public:
    explicit Call(const WebSettings &settings)
        : m_settings(settings)
        , m_deadline(settings.timeoutSeconds * 1000)
    {
    }

    QVariant run(const QString &method, const QVariantList &args)
    {
        connect();
        exchange(protocol::encodeHello({ m_settings.operatorCode, m_settings.serverToken, m_settings.password }),
            QStringLiteral("identificação"));
        const protocol::Reply reply
            = exchange(protocol::encodeRequest({ QStringLiteral("Pla04100.rdmServTran"), method, args }), method);
        m_socket.disconnectFromHost();
        return reply.value;
    }

private:
    [[noreturn]] void fail(const QString &why) const
    {
        throw std::runtime_error(
            QStringLiteral("%1:%2: %3").arg(m_settings.serverHost).arg(m_settings.serverPort).arg(why).toStdString());
    }

    int remaining() const { return int(qMax<qint64>(1, m_deadline.remainingTime())); }

    void connect()
    {
        if (m_settings.serverTls) {
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.setProtocol(QSsl::TlsV1_2OrLater);
            tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
            const QList<QSslCertificate> authorities = QSslCertificate::fromPath(m_settings.serverCaFile, QSsl::Pem);
            if (authorities.isEmpty())
                fail(
                    QStringLiteral("certificado da autoridade (CA) não encontrado em %1").arg(m_settings.serverCaFile));
            tls.setCaCertificates(authorities);
            m_socket.setSslConfiguration(tls);
            m_socket.connectToHostEncrypted(m_settings.serverHost, quint16(m_settings.serverPort));
            if (!m_socket.waitForEncrypted(remaining()))
                fail(m_socket.errorString());
        } else {
            m_socket.connectToHost(m_settings.serverHost, quint16(m_settings.serverPort));
            if (!m_socket.waitForConnected(remaining()))
                fail(m_socket.errorString());
        }
    }

    // Sends one frame and reads the one that answers it; a fault ends the call.
    protocol::Reply exchange(const QByteArray &payload, const QString &what)
    {
        m_socket.write(protocol::frame(payload));
        while (m_socket.bytesToWrite() > 0)
            if (!m_socket.waitForBytesWritten(remaining()))
                fail(m_deadline.hasExpired() ? QStringLiteral("tempo esgotado") : m_socket.errorString());
        protocol::FrameBuffer buffer(kMaxReply);
        for (;;) {
            buffer.append(m_socket.readAll());
            if (const std::optional<QByteArray> frame = buffer.take()) {
                const protocol::Reply reply = protocol::decodeReply(*frame);
                if (reply.failed())
                    fail(QStringLiteral("%1 recusada: %2").arg(what, reply.fault));
                return reply;
            }
            if (buffer.oversized())
                fail(QStringLiteral("resposta acima do tamanho máximo"));
            if (m_deadline.hasExpired())
                fail(QStringLiteral("tempo esgotado"));
            if (!m_socket.waitForReadyRead(remaining()) && m_socket.bytesAvailable() == 0)
                fail(m_deadline.hasExpired() ? QStringLiteral("tempo esgotado") : m_socket.errorString());
        }
    }

    const WebSettings &m_settings;
    QDeadlineTimer m_deadline;
    QSslSocket m_socket;
};

ServerAnswer callServer(const WebSettings &settings, const QString &method, const QVariantList &args)
{
    ServerAnswer answer;
    try {
        const QVariant raw = Call(settings).run(method, args);
        if (const QString refusal = protocol::resultErrorText(raw); !refusal.isEmpty()) {
            answer.kind = ServerAnswer::Kind::Refused;
            answer.message = refusal;
        } else {
            answer.kind = ServerAnswer::Kind::Ok;
            answer.payload = protocol::resultPayload(raw);
        }
    } catch (const protocol::PacketError &e) {
        answer.message = QStringLiteral("%1: resposta inválida: %2").arg(method, e.message());
    } catch (const std::runtime_error &e) {
        answer.message = QString::fromStdString(e.what());
    }
    return answer;
}

} // namespace

ServerAnswer fetchReceipt(const WebSettings &settings, const QString &token)
{
    return callServer(settings, QStringLiteral("GetRecebimento"), { token });
}

ServerAnswer recordReceipt(const WebSettings &settings, const QString &token, double temperature,
    const QString &receiver, const QString &reason, const QString &address)
{
    return callServer(settings, QStringLiteral("SetRecebimento"), { token, temperature, receiver, reason, address });
}

bool refusesLink(const QString &message)
{
    return message.startsWith(QLatin1String("Link de etiqueta"));
}

bool linkExpired(const QString &message)
{
    return message.startsWith(QLatin1String("Link de etiqueta vencido"));
}

} // namespace web

#include "httpfront.h"

#include "receiptclient.h"

#include <protocol/packet.h>

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QUrlQuery>

#include <microhttpd.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>

namespace web {

namespace {

// A label's token: base64url text, a dot, base64url text; a few hundred characters at most.
bool plausibleToken(const QString &token)
{
    static const QRegularExpression shape(QStringLiteral("^[A-Za-z0-9_-]{1,400}\\.[A-Za-z0-9_-]{1,100}$"));
    return shape.match(token).hasMatch();
}

const QString &invalidLink()
{
    static const QString text = QStringLiteral("Link de etiqueta inválido.");
    return text;
}

HttpReply page(int status, const QString &html)
{
    return { status, html.toUtf8(), {} };
}

HttpReply refusal(const QString &message)
{
    const bool expired = linkExpired(message);
    return page(expired ? 410 : 403,
        messagePage(expired ? QStringLiteral("Link vencido") : QStringLiteral("Link recusado"), message));
}

HttpReply unavailable(const QString &why)
{
    // the detail is for whoever runs the page; the phone gets plain words
    std::fprintf(stderr, "servtran-web: servidor de aplicação: %s\n", qUtf8Printable(why));
    return page(503,
        messagePage(QStringLiteral("Serviço indisponível"),
            QStringLiteral("O sistema da cozinha não respondeu. Tente de novo em instantes; "
                           "se continuar, avise a cozinha.")));
}

HttpReply tooLarge()
{
    return page(413,
        messagePage(
            QStringLiteral("Formulário grande demais"), QStringLiteral("O formulário enviado é grande demais.")));
}

QDateTime kitchenNow()
{
    return protocol::wallClock(QDateTime::currentDateTime());
}

// The form's fields: application/x-www-form-urlencoded, '+' for a blank.
QUrlQuery formFields(const QByteArray &body)
{
    QByteArray text = body;
    text.replace('+', "%20");
    return QUrlQuery(QString::fromLatin1(text));
}

QString field(const QUrlQuery &form, const char *name)
{
    return form.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
}

QString clientAddress(MHD_Connection *connection)
{
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr)
        return {};
    QHostAddress address(info->client_addr);
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped)
        address = QHostAddress(v4);
    return address.toString();
}

// Per request: the form as it arrives, bounded.
struct RequestState {
    QByteArray body;
    QElapsedTimer clock;
};

MHD_Result send(MHD_Connection *connection, const HttpReply &reply)
{
    MHD_Response *response = MHD_create_response_from_buffer(
        size_t(reply.body.size()), const_cast<char *>(reply.body.constData()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/html; charset=utf-8");
    // the link is a key: never cached, never passed on in a Referer, the page never framed
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Content-Security-Policy",
        "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; "
        "frame-ancestors 'none'; base-uri 'none'");
    MHD_add_response_header(response, "Strict-Transport-Security", "max-age=31536000");
    if (!reply.location.isEmpty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_LOCATION, reply.location.constData());
    if (reply.status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD, POST");
    const MHD_Result queued = MHD_queue_response(connection, unsigned(reply.status), response);
    MHD_destroy_response(response);
    return queued;
}

void logRequest(const QString &address, const char *method, const char *url, int status, const QElapsedTimer &clock)
{
    // the path's token is a key: only its kind of path is logged
    const char *what = std::strncmp(url, "/e/", 3) == 0 ? "/e/…" : "-";
    std::fprintf(stderr, "servtran-web: %s %s %s %d %lld ms\n", qUtf8Printable(address), method, what, status,
        static_cast<long long>(clock.elapsed()));
}

MHD_Result onRequest(void *self, MHD_Connection *connection, const char *url, const char *method, const char *,
    const char *upload, size_t *uploadSize, void **state)
{
    const auto *front = static_cast<const HttpFront *>(self);
    const qsizetype limit = front->maxBodyBytes();
    if (!*state) {
        auto *request = new RequestState;
        request->clock.start();
        *state = request;
        // a form announced larger than the bound is refused before it is read
        const char *length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
        if (length && QByteArray(length).toLongLong() > limit) {
            const HttpReply reply = tooLarge();
            logRequest(clientAddress(connection), method, url, reply.status, request->clock);
            return send(connection, reply);
        }
        return MHD_YES;
    }
    auto *request = static_cast<RequestState *>(*state);
    if (*uploadSize > 0) {
        const bool over = request->body.size() + qsizetype(*uploadSize) > limit;
        if (!over)
            request->body.append(upload, qsizetype(*uploadSize));
        *uploadSize = 0;
        if (!over)
            return MHD_YES;
        // a form sent without its length that grows past the bound: the connection is closed at
        // once, the rest unread (a browser always says a form's length, and gets the 413 page)
        logRequest(clientAddress(connection), method, url, 413, request->clock);
        return MHD_NO;
    }
    const QString address = clientAddress(connection);
    const char *type = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_TYPE);
    const HttpReply reply = front->answer(
        QByteArray(method), QString::fromUtf8(url), QByteArray(type ? type : ""), request->body, address);
    logRequest(address, method, url, reply.status, request->clock);
    return send(connection, reply);
}

void onCompleted(void *, MHD_Connection *, void **state, MHD_RequestTerminationCode)
{
    delete static_cast<RequestState *>(*state);
    *state = nullptr;
}

// The library's own messages (TLS handshakes that fail, sockets): one line each, like ours.
void logLibrary(void *, const char *format, va_list args)
{
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    const size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\n')
        line[length - 1] = '\0';
    std::fprintf(stderr, "servtran-web: %s\n", line);
}

QByteArray readPem(const QString &path, const QString &what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw StartError(QStringLiteral("%1 ilegível: %2 (%3)").arg(what, path, file.errorString()));
    QByteArray pem = file.read(1024 * 1024);
    if (!pem.contains("-----BEGIN "))
        throw StartError(QStringLiteral("%1 não está no formato PEM: %2").arg(what, path));
    return pem;
}

} // namespace

HttpFront::HttpFront(WebSettings settings)
    : m_settings(std::move(settings))
{
}

HttpFront::~HttpFront()
{
    stop();
    m_key.fill('\0');
}

void HttpFront::start()
{
    m_certificate = readPem(m_settings.certificateFile, QStringLiteral("Certificado"));
    m_key = readPem(m_settings.keyFile, QStringLiteral("Chave do certificado"));

    const QHostAddress address(m_settings.listenAddress);
    sockaddr_storage where {};
    unsigned int flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_POLL_INTERNAL_THREAD | MHD_USE_TLS | MHD_USE_ERROR_LOG;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&where);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(quint16(m_settings.listenPort));
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6->sin6_addr, bytes.c, 16);
        flags |= MHD_USE_IPv6;
    } else {
        auto *v4 = reinterpret_cast<sockaddr_in *>(&where);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(quint16(m_settings.listenPort));
        v4->sin_addr.s_addr = htonl(address.toIPv4Address());
    }
    m_daemon = MHD_start_daemon(flags, quint16(m_settings.listenPort), nullptr, nullptr, &onRequest, this,
        MHD_OPTION_EXTERNAL_LOGGER, &logLibrary, nullptr, MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr *>(&where),
        MHD_OPTION_HTTPS_MEM_CERT, m_certificate.constData(), MHD_OPTION_HTTPS_MEM_KEY, m_key.constData(),
        MHD_OPTION_HTTPS_PRIORITIES, "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2", MHD_OPTION_CONNECTION_LIMIT,
        unsigned(m_settings.maxConnections), MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        unsigned(m_settings.maxConnectionsPerAddress), MHD_OPTION_CONNECTION_TIMEOUT,
        unsigned(m_settings.timeoutSeconds), MHD_OPTION_CONNECTION_MEMORY_LIMIT, size_t(32 * 1024),
        MHD_OPTION_NOTIFY_COMPLETED, &onCompleted, nullptr, MHD_OPTION_END);
    if (!m_daemon)
        throw StartError(QStringLiteral("Não foi possível atender HTTPS em %1 porta %2 (endereço em uso, "
                                        "ou certificado e chave que não conferem).")
                             .arg(m_settings.listenAddress)
                             .arg(m_settings.listenPort));
}

void HttpFront::stop()
{
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}

int HttpFront::port() const
{
    if (!m_daemon)
        return 0;
    const MHD_DaemonInfo *info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    return info ? int(info->port) : m_settings.listenPort;
}

HttpReply HttpFront::answer(const QByteArray &method, const QString &path, const QByteArray &contentType,
    const QByteArray &body, const QString &address) const
{
    if (!path.startsWith(QLatin1String("/e/")))
        return page(404,
            messagePage(QStringLiteral("Página não encontrada"),
                QStringLiteral("Abra esta página pelo código da etiqueta do recipiente.")));
    const QString token = path.mid(3);
    if (!plausibleToken(token))
        return refusal(invalidLink());
    if (method == "GET" || method == "HEAD")
        return showContainer(token, 200, {});
    if (method == "POST")
        return record(token, contentType, body, address);
    return page(
        405, messagePage(QStringLiteral("Método não permitido"), QStringLiteral("Use o formulário da página.")));
}

HttpReply HttpFront::showContainer(const QString &token, int status, const FormEntry &entry) const
{
    const ServerAnswer answer = fetchReceipt(m_settings, token);
    if (answer.kind == ServerAnswer::Kind::Refused)
        return refusal(answer.message);
    if (answer.kind == ServerAnswer::Kind::Unavailable)
        return unavailable(answer.message);
    try {
        return page(status,
            containerPage(containerFromPayload(answer.payload), QStringLiteral("/e/") + token, kitchenNow(), entry));
    } catch (const protocol::PacketError &e) {
        return unavailable(QStringLiteral("GetRecebimento: %1").arg(e.message()));
    }
}

HttpReply HttpFront::record(
    const QString &token, const QByteArray &contentType, const QByteArray &body, const QString &address) const
{
    if (!contentType.toLower().startsWith("application/x-www-form-urlencoded"))
        return page(
            415, messagePage(QStringLiteral("Formulário inválido"), QStringLiteral("Use o formulário da página.")));
    const QUrlQuery form = formFields(body);
    FormEntry entry { field(form, "temperatura"), field(form, "recebedor"), field(form, "motivo"), {} };
    const std::optional<double> temperature = parseTemperature(entry.temperature);
    if (!temperature) {
        entry.error = QStringLiteral("Informe a temperatura lida na chegada, em °C (por exemplo 4,5 ou -18).");
        return showContainer(token, 422, entry);
    }
    const ServerAnswer answer
        = recordReceipt(m_settings, token, *temperature, entry.receiver.trimmed(), entry.reason.trimmed(), address);
    if (answer.kind == ServerAnswer::Kind::Ok)
        // the phone goes back to the page, which shows what was recorded: reloading it records nothing
        return { 303, {}, (QStringLiteral("/e/") + token).toUtf8() };
    if (answer.kind == ServerAnswer::Kind::Unavailable)
        return unavailable(answer.message);
    if (refusesLink(answer.message))
        return refusal(answer.message);
    entry.error = answer.message;
    return showContainer(token, 422, entry);
}

} // namespace web

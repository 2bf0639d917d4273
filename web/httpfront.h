#pragma once
// The HTTPS side of servtran-web, on libmicrohttpd with GnuTLS: one thread per connection (each
// call to the application server blocks only its own phone), bounded in connections at once, in
// connections from one address, in a silent connection's time, in header and form sizes. Paths:
//   GET  /e/<token>  the container its label's link names, with its receipt or the form
//   POST /e/<token>  records the receipt (or its correction) and sends the phone back to GET
// Nothing else is served. A request's log line names neither the token nor anything typed.

#include "receiptpage.h"
#include "webconfig.h"

#include <QByteArray>

struct MHD_Daemon;
struct MHD_Connection;

namespace web {

// What a request is answered: a page, or a redirection.
struct HttpReply {
    int status = 200;
    QByteArray body; // UTF-8 HTML
    QByteArray location; // for 303
};

class HttpFront {
public:
    explicit HttpFront(WebSettings settings);
    ~HttpFront();
    HttpFront(const HttpFront &) = delete;
    HttpFront &operator=(const HttpFront &) = delete;

    // Reads the certificate and key and starts listening; throws StartError when it cannot.
    void start();
    void stop();
    // The port listened on (the chosen one when asked for port 0).
    int port() const;
    qsizetype maxBodyBytes() const { return m_settings.maxBodyBytes; }

    // The answer to a whole request, apart from the transport: method, path, form body and its
    // content type, the phone's address.
    HttpReply answer(const QByteArray &method, const QString &path, const QByteArray &contentType,
        const QByteArray &body, const QString &address) const;

private:
    HttpReply showContainer(const QString &token, int status, const FormEntry &entry) const;
    HttpReply record(
        const QString &token, const QByteArray &contentType, const QByteArray &body, const QString &address) const;

    WebSettings m_settings;
    QByteArray m_certificate;
    QByteArray m_key;
    MHD_Daemon *m_daemon = nullptr;
};

} // namespace web

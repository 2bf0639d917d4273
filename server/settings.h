#pragma once
// What an operator may tune in a running server: how many calls run at once, how many clients
// it takes, how long an idle client may hold a connection, the token a client must show, TLS.

#include <QSslConfiguration>
#include <QString>

namespace server {

// What the service itself is told: the labels' links and the operator of the phones' web front.
struct ServiceSettings {
    // The web front's address the labels' links start with, e.g. "https://cozinha.example:8443"
    // (no final slash); empty: the labels carry no link.
    QString webUrl;
    // The operator the web front signs in as: it may only read and record the receipt of the
    // label a link names, so that a taken-over web front can do nothing else.
    QString receiptOperator = QStringLiteral("RECEB");
};

struct ServerSettings {
    // Calls that run at the same time, each on a worker thread with its own database connection.
    int workers = 4;
    // A PostgreSQL hot standby of the database (empty: none): reads go there, unless a client
    // has written something the standby has not replayed yet (standbyreads.h).
    QString standbyConnection;
    // Clients connected at once, and from one address, so that one machine cannot take every
    // place; a connection over either limit is told the server is busy and closed.
    int maxConnections = 200;
    int maxConnectionsPerAddress = 64;
    // A connection with no call running that sends no whole request for this long is closed
    // (0: never), so idle and half-open connections do not hold their place for ever. The
    // screen's next call connects again.
    int idleTimeoutMs = 15 * 60 * 1000;
    // The shared access token every connection's hello must carry (empty: none asked).
    QString accessToken;
    // TLS with this certificate and key (security.h's serverTls); without a local certificate
    // the server speaks plain TCP.
    QSslConfiguration tls;
    bool usesTls() const { return !tls.localCertificate().isNull(); }
    // A client that has not finished its TLS handshake and its hello after this long is dropped:
    // before its hello a connection is a stranger, and holds a place only for a moment.
    int helloTimeoutMs = 5000;
    // Failed sign-ins: each is answered only after this delay; after this many failures of one
    // operator, or from one address, within the window (counted from the last failure), their
    // sign-ins are refused unchecked until the window has passed.
    int failedSignInDelayMs = 1000;
    int maxFailedSignInsPerOperator = 5;
    int maxFailedSignInsPerAddress = 20;
    int failedSignInWindowMs = 5 * 60 * 1000;
    ServiceSettings service;
};

} // namespace server

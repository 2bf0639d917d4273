#pragma once
// What protects a server that other machines reach: its TLS certificate and key and the shared
// access token, read from files (a token on the command line would show in `ps`).

#include <protocol/hello.h>

#include <QSslConfiguration>
#include <QString>

namespace server {

// The server's side of TLS: the certificate chain of `certificateFile` (PEM; the server's own
// first) and the private key of `keyFile` (PEM, RSA or EC, without a pass phrase), TLS 1.2 or
// later with forward-secret, authenticated-encryption suites only, clients not asked for a
// certificate. Throws Error with the file and the problem, also when the key is not the
// certificate's or the certificate is not valid now (every handshake would fail).
QSslConfiguration serverTls(const QString &certificateFile, const QString &keyFile);

// The token in the file: its first line without surrounding blanks. Throws Error when the file
// cannot be read or holds no token.
QString readTokenFile(const QString &path);
// Whether users other than the file's owner may read it (a token file should be private).
bool readableByOthers(const QString &path);

// A connection's first frame as the server takes it: a hello of this version with the token the
// server asks for (compared in a time that tells nothing of how much of it was right) and an
// operator. `refusal` is the fault the client gets, empty when the hello is taken (its password
// is checked apart, on a worker).
struct HelloCheck {
    QString refusal;
    protocol::Hello hello;   // the operator trimmed
};
HelloCheck checkHello(const QByteArray &payload, const QString &expectedToken);

} // namespace server

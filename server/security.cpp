#include "security.h"

#include "errors.h"

#include <protocol/hello.h>

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

namespace server {

namespace {
QByteArray readFile(const QString &path, const QString &what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("não foi possível ler %1 %2: %3").arg(what, path, file.errorString()));
    return file.readAll();
}
} // namespace

QSslConfiguration serverTls(const QString &certificateFile, const QString &keyFile)
{
    const QList<QSslCertificate> chain =
        QSslCertificate::fromData(readFile(certificateFile, QStringLiteral("o certificado")), QSsl::Pem);
    if (chain.isEmpty())
        throw Error(QStringLiteral("o arquivo %1 não contém um certificado PEM.").arg(certificateFile));
    const QByteArray keyBytes = readFile(keyFile, QStringLiteral("a chave privada"));
    QSslKey key;
    for (QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec}) {
        key = QSslKey(keyBytes, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            break;
    }
    if (key.isNull())
        throw Error(QStringLiteral("o arquivo %1 não contém uma chave privada PEM (RSA ou EC, sem senha).").arg(keyFile));

    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);   // clients show the token, not a certificate
    return tls;
}

QString readTokenFile(const QString &path)
{
    const QString token = protocol::tokenOfFile(readFile(path, QStringLiteral("a chave de acesso")));
    if (token.isEmpty())
        throw Error(QStringLiteral("o arquivo %1 não contém a chave de acesso.").arg(path));
    return token;
}

} // namespace server

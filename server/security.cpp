#include "security.h"

#include "errors.h"

#include <protocol/hello.h>
#include <protocol/packet.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QSslCertificate>
#include <QSslCipher>
#include <QSslKey>

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <memory>

namespace server {

namespace {
QByteArray readFile(const QString &path, const QString &what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("não foi possível ler %1 %2: %3").arg(what, path, file.errorString()));
    return file.readAll();
}
// Whether the private key is the one of the certificate's public key. Qt cannot tell; a
// mismatch would only show as every handshake failing.
bool keyMatches(const QByteArray &certificatePem, const QByteArray &keyPem)
{
    const auto bio = [](const QByteArray &bytes) {
        return std::unique_ptr<BIO, decltype(&BIO_free)>(BIO_new_mem_buf(bytes.constData(), int(bytes.size())), &BIO_free);
    };
    const auto certificateBio = bio(certificatePem);
    const auto keyBio = bio(keyPem);
    const std::unique_ptr<X509, decltype(&X509_free)> certificate(
        PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr), &X509_free);
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    return certificate && key && X509_check_private_key(certificate.get(), key.get()) == 1;
}

// Forward secrecy and authenticated encryption only: TLS 1.3's suites, and in TLS 1.2 ECDHE
// key exchange with AES-GCM or ChaCha20-Poly1305. No plain RSA key exchange, no CBC, no SHA-1.
QList<QSslCipher> strongCiphers()
{
    QList<QSslCipher> kept;
    for (const QSslCipher &cipher : QSslConfiguration::supportedCiphers()) {
        const QString name = cipher.name();
        const bool tls13 = name.startsWith(QLatin1String("TLS_"));
        const bool ecdheAead = name.startsWith(QLatin1String("ECDHE-"))
                               && (name.contains(QLatin1String("-GCM-")) || name.contains(QLatin1String("CHACHA20-POLY1305")));
        if (tls13 || ecdheAead)
            kept << cipher;
    }
    return kept;
}

} // namespace

QSslConfiguration serverTls(const QString &certificateFile, const QString &keyFile)
{
    const QByteArray certificateBytes = readFile(certificateFile, QStringLiteral("o certificado"));
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certificateBytes, QSsl::Pem);
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

    if (!keyMatches(certificateBytes, keyBytes))
        throw Error(QStringLiteral("a chave privada %1 não corresponde ao certificado %2.").arg(keyFile, certificateFile));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QSslCertificate &own = chain.constFirst();
    if (own.expiryDate() < now || own.effectiveDate() > now)
        throw Error(QStringLiteral("o certificado %1 não está válido agora (válido de %2 a %3).")
                        .arg(certificateFile, own.effectiveDate().toString(Qt::ISODate), own.expiryDate().toString(Qt::ISODate)));

    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCiphers(strongCiphers());
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

namespace {
// A server without a token takes any; otherwise the hello's token must be the same, compared
// through digests in a time that tells nothing of how much of it was right.
bool tokenAccepted(const QString &given, const QString &expected)
{
    if (expected.isEmpty())
        return true;
    const QByteArray a = QCryptographicHash::hash(given.toUtf8(), QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(expected.toUtf8(), QCryptographicHash::Sha256);
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}
} // namespace

HelloCheck checkHello(const QByteArray &payload, const QString &expectedToken)
{
    HelloCheck check;
    try {
        check.hello = protocol::decodeHello(payload);
        check.hello.operatorCode = check.hello.operatorCode.trimmed();
        if (!tokenAccepted(check.hello.token, expectedToken))
            check.refusal = QStringLiteral("Chave de acesso recusada pelo servidor de aplicação.");
        else if (check.hello.operatorCode.isEmpty())
            check.refusal = QStringLiteral("A conexão não informou o operador.");
    } catch (const protocol::PacketError &) {
        check.refusal = QStringLiteral("Conexão sem identificação: a primeira mensagem deve identificar o operador.");
    }
    return check;
}

bool readableByOthers(const QString &path)
{
    return QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther);
}

} // namespace server

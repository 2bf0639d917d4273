#include "labellinks.h"

#include "database.h"
#include "errors.h"

#include <QStringList>
#include <sodium.h>

namespace server {

namespace {

constexpr auto kBase64 = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

void initialise()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw Error(QStringLiteral("A biblioteca de criptografia (libsodium) não pôde ser iniciada."));
}

// A link's signature: HMAC-SHA-256 cut to its first 128 bits, still far beyond guessing, so that
// the link is 21 characters shorter and its QR Code's squares larger on a small label.
constexpr int kSignatureBytes = 16;

QByteArray signature(const QByteArray &key, const QByteArray &message)
{
    unsigned char mac[crypto_auth_hmacsha256_BYTES];
    crypto_auth_hmacsha256(mac, reinterpret_cast<const unsigned char *>(message.constData()), quint64(message.size()),
                           reinterpret_cast<const unsigned char *>(key.constData()));
    return QByteArray(reinterpret_cast<const char *>(mac), kSignatureBytes);
}

// The key's bytes, or empty when the stored text is not 32 bytes in hexadecimal.
QByteArray keyBytes(const QString &hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    return hex.size() == 2 * crypto_auth_hmacsha256_KEYBYTES && bytes.toHex() == hex.toLatin1().toLower()
               ? bytes
               : QByteArray();
}

QByteArray storedKey(Database &db, int number)
{
    Query query(db, QStringLiteral("SELECT DSCHAVE FROM CHAVELINK WHERE NRCHAVE = :NRCHAVE"));
    query.bind(QStringLiteral("NRCHAVE"), number);
    query.exec();
    return query.next() ? keyBytes(query.text(0)) : QByteArray();
}

// Strict base64url without padding: the one spelling of the bytes, so a token has one form.
bool decodeBase64(const QByteArray &text, QByteArray &bytes)
{
    const auto decoded = QByteArray::fromBase64Encoding(text, kBase64 | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.toBase64(kBase64) != text)
        return false;
    bytes = decoded.decoded;
    return true;
}

[[noreturn]] void invalid() { throw Refusal(QStringLiteral("Link de etiqueta inválido.")); }

} // namespace

LinkSigner::LinkSigner(Database &db, QString webUrl) : m_webUrl(std::move(webUrl))
{
    initialise();
    const auto newest = [&] {
        Query query(db, QStringLiteral("SELECT NRCHAVE, DSCHAVE FROM CHAVELINK ORDER BY NRCHAVE DESC LIMIT 1"));
        query.exec();
        if (query.next()) {
            m_keyNumber = int(query.count(0));
            m_key = keyBytes(query.text(1));
        }
    };
    newest();
    if (m_keyNumber == 0) {
        unsigned char bytes[crypto_auth_hmacsha256_KEYBYTES];
        crypto_auth_hmacsha256_keygen(bytes);
        const QByteArray key(reinterpret_cast<const char *>(bytes), sizeof bytes);
        sodium_memzero(bytes, sizeof bytes);
        Query insert(db, QStringLiteral("INSERT INTO CHAVELINK (NRCHAVE, DSCHAVE, DTHRCRIACAO) "
                                        "VALUES (1, :DSCHAVE, :DTHRCRIACAO) ON CONFLICT (NRCHAVE) DO NOTHING"));
        insert.bind(QStringLiteral("DSCHAVE"), QString::fromLatin1(key.toHex()))
            .bind(QStringLiteral("DTHRCRIACAO"), db.toSql(QDateTime::currentDateTimeUtc()));
        insert.exec();
        newest();   // ours, or the one another server stored first
    }
    if (m_key.isEmpty())
        throw DatabaseError(QStringLiteral("A chave %1 de assinatura dos links das etiquetas (CHAVELINK) não é "
                                           "válida: deve ter 32 bytes em hexadecimal.")
                                .arg(m_keyNumber));
}

QString LinkSigner::token(const LabelKey &label) const
{
    const QStringList parts = {QStringLiteral("1"), label.branch, label.service, label.date.toString(kDateFormat),
                               label.diet, label.number, label.label, QString::number(m_keyNumber)};
    for (const QString &part : parts)
        if (part.contains(QLatin1Char('|')))
            return {};
    const QByteArray payload = parts.join(QLatin1Char('|')).toUtf8().toBase64(kBase64);
    return QString::fromLatin1(payload + '.' + signature(m_key, payload).toBase64(kBase64));
}

QString LinkSigner::url(const LabelKey &label) const
{
    const QString signedToken = token(label);
    return signedToken.isEmpty() ? QString() : m_webUrl + QStringLiteral("/e/") + signedToken;
}

LabelKey labelOfToken(Database &db, const QString &token)
{
    initialise();
    if (token.size() > kMaxLinkToken)
        invalid();
    const QByteArray text = token.toLatin1();
    if (QString::fromLatin1(text) != token)
        invalid();
    const QList<QByteArray> halves = text.split('.');
    QByteArray payload, given;
    if (halves.size() != 2 || !decodeBase64(halves[0], payload) || !decodeBase64(halves[1], given)
        || given.size() != kSignatureBytes)
        invalid();
    const QString fields = QString::fromUtf8(payload);
    if (fields.toUtf8() != payload)
        invalid();
    const QStringList parts = fields.split(QLatin1Char('|'));
    if (parts.size() != 8 || parts[0] != QLatin1String("1"))
        invalid();
    LabelKey label{parts[1], parts[2], QDate::fromString(parts[3], kDateFormat), parts[4], parts[5], parts[6]};
    bool numbered = false;
    const int keyNumber = parts[7].toInt(&numbered);
    if (!label.date.isValid() || label.date.toString(kDateFormat) != parts[3] || !numbered || keyNumber <= 0
        || QString::number(keyNumber) != parts[7])
        invalid();
    const QByteArray key = storedKey(db, keyNumber);
    if (key.isEmpty())
        invalid();
    // constant time: a forger learns nothing from how long the refusal took
    if (crypto_verify_16(reinterpret_cast<const unsigned char *>(given.constData()),
                         reinterpret_cast<const unsigned char *>(signature(key, halves[0]).constData()))
        != 0)
        invalid();
    return label;
}

void refuseExpiredLink(const LabelKey &label, QDate today)
{
    const QDate last = lastLinkDay(label.date);
    if (today > last)
        throw Refusal(QStringLiteral("Link de etiqueta vencido em %1.").arg(last.toString(QStringLiteral("dd/MM/yyyy"))));
}

} // namespace server

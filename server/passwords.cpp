#include "passwords.h"

#include "database.h"
#include "errors.h"

#include <sodium.h>

namespace server {

namespace {

// About 19 MiB and two passes: tens of milliseconds for a sign-in, far too slow for guessing.
constexpr unsigned long long kOpsLimit = 2;
constexpr size_t kMemLimit = 19u * 1024u * 1024u;

void initialise()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw Error(QStringLiteral("A biblioteca de criptografia (libsodium) não pôde ser iniciada."));
}

// A hash made for comparing with when the operator has none, so that an unknown operator takes
// as long to refuse as a wrong password.
const QString &decoyHash()
{
    static const QString hash = hashPassword(QStringLiteral("-"));
    return hash;
}

} // namespace

QString hashPassword(const QString &password)
{
    initialise();
    const QByteArray utf8 = password.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(hash, utf8.constData(), quint64(utf8.size()), kOpsLimit, kMemLimit,
                              crypto_pwhash_ALG_ARGON2ID13)
        != 0)
        throw Error(QStringLiteral("Não foi possível calcular o hash da senha (memória insuficiente)."));
    return QString::fromLatin1(hash);
}

bool passwordMatches(const QString &hash, const QString &password)
{
    initialise();
    const QByteArray stored = hash.toLatin1();
    const QByteArray utf8 = password.toUtf8();
    return crypto_pwhash_str_verify(stored.constData(), utf8.constData(), quint64(utf8.size())) == 0;
}

void setOperatorPassword(Database &db, const QString &operatorCode, const QString &password)
{
    if (password.isEmpty())
        throw Error(QStringLiteral("A senha não pode ser vazia."));
    const QString hash = hashPassword(password);
    Transaction transaction(db);
    Query known(db, QStringLiteral("SELECT 1 FROM OPERADOR WHERE CDOPERADOR = :CDOPERADOR"));
    known.bind(QStringLiteral("CDOPERADOR"), operatorCode);
    known.exec();
    if (!known.next())
        throw Error(QStringLiteral("Operador %1 não cadastrado.").arg(operatorCode));
    Query remove(db, QStringLiteral("DELETE FROM SENHAOPER WHERE CDOPERADOR = :CDOPERADOR"));
    remove.bind(QStringLiteral("CDOPERADOR"), operatorCode);
    remove.exec();
    Query insert(db, QStringLiteral("INSERT INTO SENHAOPER (CDOPERADOR, DSHASHSENHA) VALUES (:CDOPERADOR, :DSHASHSENHA)"));
    insert.bind(QStringLiteral("CDOPERADOR"), operatorCode).bind(QStringLiteral("DSHASHSENHA"), hash);
    insert.exec();
    transaction.commit();
}

bool operatorPasswordMatches(Database &db, const QString &operatorCode, const QString &password)
{
    Query query(db, QStringLiteral("SELECT DSHASHSENHA FROM SENHAOPER WHERE CDOPERADOR = :CDOPERADOR"));
    query.bind(QStringLiteral("CDOPERADOR"), operatorCode);
    query.exec();
    if (!query.next()) {
        passwordMatches(decoyHash(), password);
        return false;
    }
    return passwordMatches(query.value(0).toString(), password);
}

} // namespace server

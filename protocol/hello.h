#pragma once
// The first frame of every connection: who is calling. The client names the operator of its
// session, the operator's password and the access token it was given (empty when the server asks
// for none); the server
// answers it as a call (a reply with the value true, or a fault and the connection closes) and
// takes no call before it.

#include <QByteArray>
#include <QString>

namespace protocol {

inline constexpr int kHelloVersion = 1;
// A hello is a few dozen bytes; anything much larger is not one.
inline constexpr qsizetype kMaxHelloSize = 4096;
inline constexpr qsizetype kMaxOperatorLength = 8;    // OPERADOR.CDOPERADOR
inline constexpr qsizetype kMaxTokenLength = 1024;
inline constexpr qsizetype kMaxPasswordLength = 256;

struct Hello {
    QString operatorCode;
    QString token;
    QString password;
};

QByteArray encodeHello(const Hello &hello);
// Throws PacketError when the payload is not a hello of this version, or a text is too long.
Hello decodeHello(const QByteArray &payload);

// The access token a token file holds, as the server and the hosts read the same file: its first
// line without surrounding blanks (empty when there is none).
QString tokenOfFile(const QByteArray &contents);

} // namespace protocol

#pragma once
// The page's two calls to the application server, each on a connection of its own (the hello
// signs the page's operator in; closed after the call): what a label's link names and its
// receipts (GetRecebimento), and a receipt or its correction (SetRecebimento).
//
// The desktops' connection (framework/netconnection.h) speaks the same protocol but belongs to
// the host's widget framework and its session; this process faces the phones and carries none of
// that, so it speaks the protocol here with a plain socket: connect (TLS when told), hello, one
// request, one reply, each within the call's time.

#include "webconfig.h"

#include <QVariant>

namespace web {

struct ServerAnswer {
    enum class Kind {
        Ok, // `payload` holds the answer
        Refused, // the server refused the call: `message` says why, in the user's words
        Unavailable, // no answer (down, unreachable, broke off, refused the sign-in): for the log
    };
    Kind kind = Kind::Unavailable;
    QVariant payload;
    QString message;
};

ServerAnswer fetchReceipt(const WebSettings &settings, const QString &token);
// `address` is the phone's, as this process sees it.
ServerAnswer recordReceipt(const WebSettings &settings, const QString &token, double temperature,
    const QString &receiver, const QString &reason, const QString &address);

// Whether a refusal is the server's word on the link itself (invalid or expired), rather than on
// what was typed, and whether it is the expired one.
bool refusesLink(const QString &message);
bool linkExpired(const QString &message);

} // namespace web

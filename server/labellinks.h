#pragma once
// The links printed in the labels' QR Codes, which the receivers' phones open at the delivery
// point. A link names one label for good and carries the server's signature, so that a phone can
// neither read nor record another label or day than the one it scanned:
//
//   <web-url>/e/<payload>.<signature>
//   payload   = base64url, no padding, of "1|CDFILIAL|CDSERVFILI|yyyy-MM-dd|CDDIETPADST|NRSERVTRAN|NRSEQUETIQTR|NRCHAVE"
//   signature = base64url, no padding, of HMAC-SHA-256 over the payload's text with key NRCHAVE of CHAVELINK
//
// A link serves until the end of the day after its service (the server's clock).

#include "labelentries.h"

#include <QByteArray>
#include <QDate>
#include <QString>

namespace server {

class Database;

class LinkSigner {
public:
    // Signs with the newest key of CHAVELINK, making key 1 when there is none (of two servers
    // making it at once, both sign with the one stored first). Throws DatabaseError.
    LinkSigner(Database &db, QString webUrl);
    // The label's URL; empty for a label its codes cannot name unambiguously (a "|" in them).
    QString url(const LabelKey &label) const;
    QString token(const LabelKey &label) const;

private:
    QString m_webUrl;
    int m_keyNumber = 0;
    QByteArray m_key;
};

// The label a link's token names, once its signature checks with the key it names. Throws Refusal
// "Link de etiqueta inválido." for anything else; says nothing of the label's existence.
LabelKey labelOfToken(Database &db, const QString &token);

// The last day a label's link serves, and the refusal of a link past it.
inline QDate lastLinkDay(QDate serviceDay) { return serviceDay.addDays(1); }
void refuseExpiredLink(const LabelKey &label, QDate today = QDate::currentDate());

// A link's tokens are far shorter; anything longer is not one.
constexpr int kMaxLinkToken = 512;

} // namespace server

#pragma once
// The phone's page, as HTML: a container as its label's link names it (dish, point, client,
// quantity, mode, use-by, dispatch), the receipt form, what was recorded, and the judgement of a
// reading against the dish's mode and use-by, in words and colour. No script at all.

#include <rules/coldchain.h>

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <optional>

namespace web {

// One container, from GetRecebimento's row. Times are the kitchen's wall clock.
struct Container {
    QString dish, point, client, unit;
    double quantity = 0;
    int labelNumber = 0;
    int labelCount = 0; // 0: not known
    std::optional<rules::cold::Conservation> mode;
    QDateTime useBy;
    QDateTime dispatchedAt;
    std::optional<double> dispatchTemperature;
    // The receipt: its first entry's time, the latest entry's values, how many entries.
    int receipts = 0;
    QDateTime receivedAt;
    std::optional<double> receivedTemperature;
    QString receiver, reason;
};

// Throws protocol::PacketError when the payload is not a packet of one such row.
Container containerFromPayload(const QVariant &payload);

// What is wrong with a reading at a moment: out of the mode's range, past the use-by.
struct Verdict {
    bool outOfRange = false;
    bool expired = false;
    bool unsafe() const { return outOfRange || expired; }
};
Verdict judge(const Container &container, std::optional<double> celsius, const QDateTime &at);

// What the form held when it comes back with a refusal.
struct FormEntry {
    QString temperature, receiver, reason;
    QString error; // the refusal, shown above the form
};

// The page of a container: before its receipt the form; after it what was recorded and the
// correction form. `now` is the kitchen's wall clock; `action` the form's path.
QString containerPage(
    const Container &container, const QString &action, const QDateTime &now, const FormEntry &entry = {});
// A page with only a message (a refused or expired link, a server that does not answer).
QString messagePage(const QString &title, const QString &message);

// A temperature as typed on a phone: "4,5", "-18", " 62.0 "; none when it is not a number.
std::optional<double> parseTemperature(const QString &text);

} // namespace web

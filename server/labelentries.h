#pragma once
// What a container's dispatch and its receipt share: the label's key in statements, the check of
// a temperature, and the entry each of them leaves in the history of changes of its dish row.

#include <rules/coldchain.h>

#include <QDate>
#include <QJsonObject>
#include <QString>

namespace server {

class Database;
class Query;
struct CallContext;

// A container's label: its dish row's key and its number within the row.
struct LabelKey {
    QString branch, service;
    QDate date;
    QString diet, number, label;
};

// "CDFILIAL = :CDFILIAL AND ... AND NRSEQUETIQTR = :NRSEQUETIQTR", bound by bindLabel.
const QString &labelCondition();
void bindLabel(Query &query, const LabelKey &key);

// Beyond these no thermometer of a kitchen reads: a typing slip, not a temperature.
constexpr double kMinCelsius = -60;
constexpr double kMaxCelsius = 130;
constexpr int kMaxReason = 200;

using rules::cold::celsiusText;   // "4,5 °C"
// The temperature as stored (one decimal); throws Refusal outside the thermometers' range.
double storedCelsius(double celsius);

// The client, point and dish of the label's row, which its history entry names; throws Refusal
// with `missing` when the label does not exist.
struct LabelOwner {
    QString client, point, dish, dishOwner;
};
LabelOwner labelOwner(Database &db, const LabelKey &key, const QString &missing);

// One change ("A") of the label's dish row in the history of changes, by the calling operator.
void recordLabelChange(Database &db, const CallContext &context, const QString &method, const LabelKey &key,
                       const LabelOwner &owner, const QJsonObject &before, const QJsonObject &after);

} // namespace server

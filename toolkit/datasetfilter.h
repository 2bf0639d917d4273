#pragma once
// A client dataset's filter: FIELD = 'value' conditions joined by AND (any spacing, the keyword
// in any case, a quote inside a value written doubled), each comparing a field's plain text whole.

#include "field.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace toolkit {

class FilterExpression {
public:
    // Throws Error, naming `owner` (the dataset), when the text does not parse.
    static FilterExpression parse(const QString &expression, const QList<Field *> &fields, const QString &owner);

    const QString &text() const { return m_text; }
    // Whether a row's values pass every condition (an empty expression passes everything).
    bool accepts(const QList<QVariant> &values, const QList<Field *> &fields) const;

private:
    struct Condition {
        int field;
        QString value;
    };
    QString m_text;
    QList<Condition> m_conditions;
};

} // namespace toolkit

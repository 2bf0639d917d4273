#pragma once
// A client dataset's filter: FIELD = 'value' conditions joined by AND (any spacing, the keyword
// in any case, a quote inside a value written doubled), each comparing a field's plain text whole.

#include "field.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace toolkit {

class FilterExpression {
public:
    // Throws Error, naming `owner` (the dataset), when the text does not parse.
    static FilterExpression parse(const QString &expression, const QList<Field *> &fields, const QString &owner);

    const QString &text() const { return m_text; }
    // Whether a row's values pass every condition (an empty expression passes everything).
    bool accepts(const QList<QVariant> &values, const QList<Field *> &fields) const;
    // The same for a row still in its packet's bytes, `columns` giving each field's column there.
    bool accepts(const protocol::PacketCells &cells, qsizetype row, const QList<int> &columns,
                 const QList<Field *> &fields) const;

private:
    struct Condition {
        int field;
        QString value;
        // The value as a text cell's bytes would hold it; none for a text no cell holds (a lone
        // surrogate, which UTF-8 cannot carry).
        std::optional<QByteArray> utf8;
    };
    QString m_text;
    QList<Condition> m_conditions;
};

} // namespace toolkit

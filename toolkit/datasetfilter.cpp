#include "datasetfilter.h"

#include "error.h"

#include <QLocale>
#include <algorithm>

namespace toolkit {

namespace {

// The string a filter compares with: a field's plain text.
QString plainText(const QVariant &v, FieldKind kind)
{
    if (v.isNull())
        return QString();
    switch (kind) {
    case FieldKind::String:
        return v.metaType().id() == QMetaType::QString ? *static_cast<const QString *>(v.constData()) : v.toString();
    case FieldKind::Float: {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::OmitGroupSeparator);
        return c.toString(v.toDouble(), 'f', QLocale::FloatingPointShortest);
    }
    case FieldKind::DateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    return QString();
}

} // namespace

FilterExpression FilterExpression::parse(const QString &expression, const QList<Field *> &fields, const QString &owner)
{
    // FIELD = 'value' [AND FIELD = 'value' ...], any spacing, quotes inside a value doubled.
    FilterExpression filter;
    filter.m_text = expression;
    QList<Condition> &conditions = filter.m_conditions;
    const QString e = expression;
    qsizetype i = 0;
    const qsizetype n = e.size();
    auto skipSpace = [&] {
        while (i < n && e.at(i).isSpace())
            ++i;
    };
    auto fail = [&](const QString &what) -> Error {
        return Error(QStringLiteral("Filtro inválido em %1 (posição %2): %3.\n%4").arg(owner).arg(i + 1).arg(what, expression));
    };
    skipSpace();
    while (i < n) {
        const qsizetype start = i;
        while (i < n && (e.at(i).isLetterOrNumber() || e.at(i) == QLatin1Char('_')))
            ++i;
        if (i == start)
            throw fail(QStringLiteral("esperava o nome de um campo"));
        const QString name = e.mid(start, i - start);
        const auto found = std::find_if(fields.cbegin(), fields.cend(), [&](const Field *f) {
            return f->fieldName().compare(name, Qt::CaseInsensitive) == 0;
        });
        const Field *field = found == fields.cend() ? nullptr : *found;
        if (!field)
            throw fail(QStringLiteral("campo desconhecido %1").arg(name));
        skipSpace();
        if (i >= n || e.at(i) != QLatin1Char('='))
            throw fail(QStringLiteral("esperava '='"));
        ++i;
        skipSpace();
        if (i >= n || e.at(i) != QLatin1Char('\''))
            throw fail(QStringLiteral("esperava um valor entre aspas"));
        ++i;
        QString value;
        for (;;) {
            if (i >= n)
                throw fail(QStringLiteral("aspas não fechadas"));
            if (e.at(i) == QLatin1Char('\'')) {
                if (i + 1 < n && e.at(i + 1) == QLatin1Char('\'')) {
                    value += QLatin1Char('\'');
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            value += e.at(i++);
        }
        QByteArray utf8 = value.toUtf8();
        const bool carried = QString::fromUtf8(utf8) == value;
        conditions.append({field->index(), value, carried ? std::optional(std::move(utf8)) : std::nullopt});
        skipSpace();
        if (i >= n)
            break;
        if (e.mid(i, 3).compare(QLatin1String("AND"), Qt::CaseInsensitive) != 0 || i + 3 >= n || !e.at(i + 3).isSpace())
            throw fail(QStringLiteral("esperava AND"));
        i += 3;
        skipSpace();
        if (i >= n)
            throw fail(QStringLiteral("esperava uma condição depois de AND"));
    }
    return filter;
}

bool FilterExpression::accepts(const QList<QVariant> &values, const QList<Field *> &fields) const
{
    for (const Condition &c : m_conditions) {
        const QVariant &v = values.at(c.field);
        // a text field's value compared where it is: a filter runs over every row of a big day
        if (v.metaType() == QMetaType::fromType<QString>() && fields.at(c.field)->kind() == FieldKind::String) {
            if (*static_cast<const QString *>(v.constData()) != c.value)
                return false;
            continue;
        }
        if (v.isNull())
            return false;
        if (plainText(v, fields.at(c.field)->kind()) != c.value)
            return false;
    }
    return true;
}

bool FilterExpression::accepts(const protocol::PacketCells &cells, qsizetype row, const QList<int> &columns,
                               const QList<Field *> &fields) const
{
    for (const Condition &c : m_conditions) {
        const int column = columns.at(c.field);
        // a text compared as the bytes it came in: a filter passes over every row of a big day
        if (fields.at(c.field)->kind() == FieldKind::String) {
            const std::optional<QByteArray> text = cells.utf8(row, column);
            if (!text || text != c.utf8)
                return false;
            continue;
        }
        const QVariant v = cells.value(row, column);
        if (v.isNull() || plainText(v, fields.at(c.field)->kind()) != c.value)
            return false;
    }
    return true;
}

} // namespace toolkit

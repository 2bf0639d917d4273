#include "listcsv.h"

#include "listcolumns.h"

#include <toolkit/error.h>

#include <QLocale>
#include <QSaveFile>
#include <QStringList>
#include <algorithm>

namespace printlists {

namespace {

const QString kSeparator = QStringLiteral(";");
const QString kLineEnd = QStringLiteral("\r\n");

QString csvLine(const QStringList &fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString &field : fields)
        quoted << csvField(field);
    return quoted.join(kSeparator) + kLineEnd;
}

// A name is the user's text: one that a spreadsheet would run as a formula ("=", "+", "-", "@",
// or a tab or carriage return first) is kept as text by a leading apostrophe, as spreadsheets
// expect. Numbers are the file's own and stay numbers.
QString cellText(const QVariant &value)
{
    if (value.isNull())
        return QString();
    if (value.metaType().id() == QMetaType::Double)
        return csvNumber(value.toDouble());
    return csvText(value.toString());
}

} // namespace

QString csvField(const QString &text)
{
    static const QString special = QStringLiteral(";\"\r\n");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return special.contains(c); }))
        return text;
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

QString csvText(const QString &text)
{
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && formulaStarts.contains(text.front()) ? QLatin1Char('\'') + text : text;
}

QString csvNumber(double value)
{
    QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    brazil.setNumberOptions(QLocale::OmitGroupSeparator);
    // Shortest digits that read back as the same double: the stored figure, not a rounding of it.
    return brazil.toString(value, 'f', QLocale::FloatingPointShortest);
}

QByteArray csvTable(const QStringList &titles, const QList<QList<QVariant>> &lines)
{
    QString text = csvLine(titles);
    for (const QList<QVariant> &line : lines) {
        QStringList fields;
        fields.reserve(line.size());
        for (const QVariant &value : line)
            fields << cellText(value);
        text += csvLine(fields);
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

void writeCsvFile(const QByteArray &content, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) < 0 || !file.commit())
        throw toolkit::Error(QStringLiteral("Não foi possível gravar o arquivo %1: %2").arg(path, file.errorString()));
}

QByteArray listCsv(const KitchenList &list)
{
    const QList<Column> columns = spreadsheetColumns(list.kind);
    QStringList titles;
    for (Column column : columns)
        titles << columnTitle(column);
    QList<QList<QVariant>> lines;
    const auto append = [&](const ListLine &line) {
        QList<QVariant> cells;
        for (Column column : columns)
            cells << cellValue(list, line, column);
        lines << cells;
    };
    for (const ListGroup &group : list.groups)
        for (const ListLine &line : group.lines)
            append(line);
    for (const ListLine &line : list.totals)
        append(line);
    return csvTable(titles, lines);
}

void writeListCsv(const KitchenList &list, const QString &path)
{
    writeCsvFile(listCsv(list), path);
}

} // namespace printlists

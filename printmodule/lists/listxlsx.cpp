#include "listxlsx.h"

#include "listcolumns.h"

#include <toolkit/error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <memory>

namespace printlists {

namespace {

struct Formats {
    lxw_format *heading, *text, *date, *whole, *quantity;
};

Formats makeFormats(lxw_workbook *book)
{
    Formats f{};
    f.heading = workbook_add_format(book);
    format_set_bold(f.heading);
    format_set_text_wrap(f.heading);
    format_set_align(f.heading, LXW_ALIGN_VERTICAL_TOP);
    f.text = workbook_add_format(book);
    format_set_num_format(f.text, "@");
    f.date = workbook_add_format(book);
    format_set_num_format(f.date, "dd/mm/yyyy");
    f.whole = workbook_add_format(book);
    format_set_num_format(f.whole, "#,##0");
    f.quantity = workbook_add_format(book);
    format_set_num_format(f.quantity, "#,##0.000");
    return f;
}

double columnWidth(Column column)
{
    switch (column) {
    case Column::DishName:
    case Column::ClientName:
    case Column::PointName:
        return 30;
    case Column::Line:
        return 16;
    case Column::Date:
        return 11;
    case Column::Unit:
        return 5;
    default:
        return isNumeric(column) ? 12 : 10;
    }
}

} // namespace

void writeListXlsx(const KitchenList &list, const QString &path)
{
    // Written beside the target and moved over it once whole.
    const QFileInfo target(path);
    QTemporaryFile part(target.absoluteDir().filePath(QStringLiteral(".%1-XXXXXX").arg(target.fileName())));
    if (!part.open())
        throw toolkit::Error(QStringLiteral("Não foi possível gravar %1: %2").arg(path, part.errorString()));
    part.close();

    lxw_workbook_options options{};
    options.constant_memory = LXW_FALSE;
    lxw_workbook *book = workbook_new_opt(QFile::encodeName(part.fileName()).constData(), &options);
    if (!book)
        throw toolkit::Error(QStringLiteral("Não foi possível gravar %1.").arg(path));
    const Formats formats = makeFormats(book);
    const QByteArray sheetName = (list.kind == ListKind::Delivery ? QStringLiteral("Entrega") : QStringLiteral("Divisão")).toUtf8();
    lxw_worksheet *sheet = workbook_add_worksheet(book, sheetName.constData());

    const QList<Column> columns = spreadsheetColumns(list.kind);
    for (int c = 0; c < columns.size(); ++c) {
        worksheet_write_string(sheet, 0, lxw_col_t(c), columnTitle(columns[c]).toUtf8().constData(), formats.heading);
        worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), columnWidth(columns[c]), nullptr);
    }
    worksheet_freeze_panes(sheet, 1, 0);

    lxw_row_t r = 1;
    const auto append = [&](const ListLine &line) {
        for (int c = 0; c < columns.size(); ++c) {
            const Column column = columns[c];
            const QVariant value = cellValue(list, line, column);
            if (column == Column::Date) {
                const QDate d = list.day.date;
                lxw_datetime when{d.year(), d.month(), d.day(), 0, 0, 0};
                worksheet_write_datetime(sheet, r, lxw_col_t(c), &when, formats.date);
            } else if (value.isNull()) {
                continue;   // nothing the column means for this line
            } else if (value.metaType().id() == QMetaType::Double) {
                worksheet_write_number(sheet, r, lxw_col_t(c), value.toDouble(),
                                       columnDecimals(column) == 0 ? formats.whole : formats.quantity);
            } else {
                worksheet_write_string(sheet, r, lxw_col_t(c), value.toString().toUtf8().constData(), formats.text);
            }
        }
        ++r;
    };
    for (const ListGroup &group : list.groups)
        for (const ListLine &line : group.lines)
            append(line);
    for (const ListLine &line : list.totals)
        append(line);

    if (const lxw_error error = workbook_close(book); error != LXW_NO_ERROR)
        throw toolkit::Error(QStringLiteral("Não foi possível gravar %1: %2").arg(path, QString::fromUtf8(lxw_strerror(error))));
    QFile::remove(path);
    if (!QFile::rename(part.fileName(), path))
        throw toolkit::Error(QStringLiteral("Não foi possível gravar %1.").arg(path));
    part.setAutoRemove(false);
}

} // namespace printlists

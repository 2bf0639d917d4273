#include "containerlabel.h"

#include <QLocale>
#include <QStringList>

namespace printlabels {

namespace {
const QString kTag = QStringLiteral("ST1");
const QString kDateFormat = QStringLiteral("yyyyMMdd");
const QChar kSeparator = QLatin1Char('|');

// A part holding the separator would split in two when read: '|' goes as "%7C", and '%' itself
// as "%25". Codes as the system makes them hold neither, and read as they always did.
QString escaped(QString part)
{
    return part.replace(QLatin1Char('%'), QStringLiteral("%25")).replace(kSeparator, QStringLiteral("%7C"));
}

bool unescaped(const QString &part, QString &out)
{
    out.clear();
    for (qsizetype i = 0; i < part.size(); ++i) {
        if (part[i] != QLatin1Char('%')) {
            out += part[i];
            continue;
        }
        const QString code = part.mid(i + 1, 2).toUpper();
        if (code == QLatin1String("25"))
            out += QLatin1Char('%');
        else if (code == QLatin1String("7C"))
            out += kSeparator;
        else
            return false;
        i += 2;
    }
    return true;
}

} // namespace

QString keyText(const ContainerLabel &label)
{
    QStringList parts{kTag};
    for (const QString &part : {label.branch, label.service, label.date.toString(kDateFormat), label.diet, label.rowNumber,
                                label.sequence})
        parts << escaped(part);
    return parts.join(kSeparator);
}

bool parseKeyText(const QString &text, ContainerLabel &key)
{
    QStringList parts = text.trimmed().split(kSeparator);
    if (parts.size() != 7 || parts[0] != kTag)
        return false;
    for (QString &part : parts)
        if (QString plain; unescaped(part, plain))
            part = plain;
        else
            return false;
    const QDate date = QDate::fromString(parts[3], kDateFormat);
    if (!date.isValid())
        return false;
    key.branch = parts[1];
    key.service = parts[2];
    key.date = date;
    key.diet = parts[4];
    key.rowNumber = parts[5];
    key.sequence = parts[6];
    return true;
}

QString codeText(const ContainerLabel &label) { return label.link.isEmpty() ? keyText(label) : label.link; }

bool isLinkOf(const QString &scanned, const ContainerLabel &label)
{
    static const QString kPath = QStringLiteral("/e/");
    const qsizetype at = scanned.lastIndexOf(kPath), own = label.link.lastIndexOf(kPath);
    return at >= 0 && own >= 0 && QStringView(scanned).mid(at + kPath.size()).trimmed() == QStringView(label.link).mid(own + kPath.size());
}

QString preparedText(const ContainerLabel &label)
{
    return label.prepared.isValid() ? rules::cold::preparedText(label.prepared) : QStringLiteral("Preparo: não registrado");
}

QString useByText(const ContainerLabel &label)
{
    return label.useBy.isValid() ? rules::cold::useByText(label.useBy) : QStringLiteral("Validade: recalcule as etiquetas");
}

QString instructionText(const ContainerLabel &label)
{
    return rules::cold::instruction(label.conservation);
}

QString positionText(const ContainerLabel &label)
{
    return QStringLiteral("%1 de %2").arg(label.index).arg(label.count);
}

QString quantityText(const ContainerLabel &label)
{
    // Up to three decimals, without the trailing zeros of a whole or rounded quantity.
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    QString number = brazil.toString(label.quantity, 'f', 3);
    const QChar decimal = brazil.decimalPoint().at(0);
    if (number.contains(decimal)) {
        while (number.endsWith(QLatin1Char('0')))
            number.chop(1);
        if (number.endsWith(decimal))
            number.chop(1);
    }
    return label.unit.trimmed().isEmpty() ? number : number + QLatin1Char(' ') + label.unit.trimmed();
}

} // namespace printlabels

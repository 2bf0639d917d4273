#include "field.h"

#include "clientdataset.h"
#include "editmask.h"
#include "numberinput.h"

#include <QLocale>
#include <cmath>
#include <utility>

namespace toolkit {

namespace {

QLocale plainLocale()
{
    QLocale l;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}

} // namespace

Field::Field(ClientDataSet *dataSet, const QString &name, FieldKind kind, int size, int index)
    : QObject(dataSet), m_dataSet(dataSet), m_name(name), m_kind(kind), m_size(size), m_index(index)
{
    setObjectName(dataSet->objectName() + name);
}

void Field::setEditMask(const QString &mask)
{
    if (m_editMask == mask)
        return;
    m_editMask = mask;
    if (m_dataSet)
        m_dataSet->notifyLayout();
}

int Field::displayWidth() const
{
    if (m_displayWidth > 0)
        return m_displayWidth;
    return m_kind == FieldKind::String && m_size > 0 ? m_size : 10;
}

Qt::Alignment Field::alignment() const
{
    return m_kind == FieldKind::Float ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter;
}

QVariant Field::value() const
{
    const QList<QVariant> *values = m_dataSet->currentValues();
    return values ? values->at(m_index) : QVariant();
}

bool Field::isNull() const { return value().isNull(); }

QString Field::asString() const
{
    const QVariant v = value();
    if (v.isNull())
        return QString();
    switch (m_kind) {
    case FieldKind::String:
        return v.toString();
    case FieldKind::Float:
        return plainLocale().toString(v.toDouble(), 'f', QLocale::FloatingPointShortest);
    case FieldKind::DateTime: {
        const QDateTime dt = v.toDateTime();
        return dt.time() == QTime(0, 0) ? dt.toString(QStringLiteral("dd/MM/yyyy"))
                                        : dt.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"));
    }
    }
    return QString();
}

double Field::asFloat() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0.0;
    if (m_kind == FieldKind::String)
        return typedNumber(v.toString());
    return v.toDouble();
}

QDateTime Field::asDateTime() const
{
    const QVariant v = value();
    return v.isNull() ? QDateTime() : protocol::wallClock(v.toDateTime());
}

QVariant Field::oldValue() const
{
    const int row = m_dataSet->currentRowIndex();
    if (row < 0)
        return QVariant();
    const auto &r = m_dataSet->m_rows.at(row);
    return r.original.isEmpty() ? m_dataSet->cellValue(r, m_index) : r.original.at(m_index);
}

QVariant Field::convert(const QVariant &v) const
{
    if (v.isNull() || !v.isValid())
        return QVariant();
    switch (m_kind) {
    case FieldKind::String: {
        QString s = v.toString();
        if (m_size > 0 && s.size() > m_size)
            throw Error(QStringLiteral("O texto \"%1\" é longo demais para o campo %2 (máximo de %3 caracteres).")
                            .arg(s, displayLabel())
                            .arg(m_size));
        return s;
    }
    case FieldKind::Float: {
        if (v.metaType().id() == QMetaType::QString) {
            const QString text = v.toString().trimmed();
            if (text.isEmpty())
                return QVariant();
            return typedNumber(text);
        }
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok)
            throw Error(QStringLiteral("Valor inválido para o campo %1.").arg(displayLabel()));
        return d;
    }
    case FieldKind::DateTime: {
        if (v.metaType().id() == QMetaType::QString) {
            const QString text = v.toString().trimmed();
            if (text.isEmpty())
                return QVariant();
            QDateTime dt = QDateTime::fromString(text, QStringLiteral("dd/MM/yyyy hh:mm:ss"));
            if (!dt.isValid())
                dt = QDateTime(QDate::fromString(text, QStringLiteral("dd/MM/yyyy")), QTime(0, 0));
            if (!dt.isValid())
                throw Error(QStringLiteral("'%1' não é uma data válida.").arg(text));
            return protocol::wallClock(dt);
        }
        if (v.metaType().id() == QMetaType::QDate)
            return protocol::wallClock(v.toDate());
        const QDateTime dt = v.toDateTime();
        if (!dt.isValid())
            throw Error(QStringLiteral("Valor inválido para o campo %1.").arg(displayLabel()));
        return protocol::wallClock(dt);
    }
    }
    return QVariant();
}

void Field::setValue(const QVariant &value) { m_dataSet->setFieldValue(this, convert(value)); }
void Field::setAsString(const QString &text) { setValue(text); }
void Field::setAsFloat(double value) { setValue(value); }
void Field::setAsDateTime(const QDateTime &value) { setValue(value); }
void Field::clear() { m_dataSet->setFieldValue(this, QVariant()); }

QString Field::displayText() const
{
    QString text;
    if (onGetText) {
        onGetText(const_cast<Field *>(this), text, true);
        return text;
    }
    if (m_kind == FieldKind::Float && !m_displayFormat.isEmpty() && !isNull())
        return formatFloat(asFloat(), m_displayFormat);
    // A text with an edit mask is shown as the mask writes it ("11.222.333/0001-81").
    if (m_kind == FieldKind::String && !m_editMask.isEmpty() && !isNull())
        return formatMaskText(m_editMask, asString());
    return asString();
}

QString Field::editText() const
{
    if (onGetText) {
        QString text;
        onGetText(const_cast<Field *>(this), text, false);
        return text;
    }
    return asString();
}

QString Field::displayTextAt(int viewRow) const
{
    struct Peek {
        ClientDataSet *ds;
        int saved;
        ~Peek() { ds->m_peekRow = saved; }
    } peek{m_dataSet, std::exchange(m_dataSet->m_peekRow, viewRow)};
    return displayText();
}

void Field::focusControl()
{
    const auto sources = m_dataSet->m_sources;
    for (const auto &source : sources)
        if (source)
            emit source->focusControlRequested(this);
    emit m_dataSet->focusControlRequested(this);
}

QString Field::formatFloat(double value, const QString &format)
{
    // The "#,##0.000" family: grouping when a comma stands in the integer part, as many
    // decimals as digit places after the point ('0' always shown, '#' only when not zero).
    const qsizetype point = format.indexOf(QLatin1Char('.'));
    const QString integerPart = point < 0 ? format : format.left(point);
    const QString decimalPart = point < 0 ? QString() : format.mid(point + 1);
    const int required = int(decimalPart.count(QLatin1Char('0')));
    const int optional = int(decimalPart.count(QLatin1Char('#')));
    // No negative zero: "-0,000" reads as a fault to a user.
    if (std::fabs(value) < 0.5 * std::pow(10.0, -(required + optional)))
        value = 0.0;
    QLocale locale;
    locale.setNumberOptions(integerPart.contains(QLatin1Char(',')) ? QLocale::DefaultNumberOptions
                                                                     : QLocale::OmitGroupSeparator);
    QString text = locale.toString(value, 'f', required + optional);
    if (optional > 0) {
        const QString decimal = locale.decimalPoint();
        qsizetype keep = text.size() - optional;
        while (text.size() > keep && text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(decimal))
            text.chop(decimal.size());
    }
    return text;
}

bool Field::holdsSame(const QVariant &a, const QVariant &b) const
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    switch (m_kind) {
    case FieldKind::String:
        return a.toString() == b.toString();
    case FieldKind::Float:
        return a.toDouble() == b.toDouble();
    case FieldKind::DateTime:
        return protocol::wallClock(a.toDateTime()) == protocol::wallClock(b.toDateTime());
    }
    return false;
}

} // namespace toolkit

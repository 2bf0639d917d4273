#include "dateeditplus.h"

#include "consiste.h"

#include <toolkit/error.h>

namespace framework {

TDateEditPlus::TDateEditPlus(QWidget *parent, const QString &name) : toolkit::MaskEdit(parent, name)
{
    m_weekdays = {QStringLiteral("Domingo"), QStringLiteral("Segunda"), QStringLiteral("Terça"), QStringLiteral("Quarta"),
                  QStringLiteral("Quinta"), QStringLiteral("Sexta"), QStringLiteral("Sábado")};
    m_normalColor = palette().color(QPalette::Text);
    setEditMask(QStringLiteral("99/99/9999;1; "));
    connect(this, &QLineEdit::textChanged, this, [this] { textWasChanged(); });
}

QDate TDateEditPlus::GetDate() const
{
    const QString text = QLineEdit::text().trimmed();
    if (text.size() != 10)
        return QDate();
    return QDate::fromString(text, QStringLiteral("dd/MM/yyyy"));
}

QDateTime TDateEditPlus::GetDateTime() const
{
    const QDate date = GetDate();
    return date.isValid() ? QDateTime(date, QTime(0, 0)) : QDateTime();
}

void TDateEditPlus::SetDate(const QDate &date)
{
    setText(date.isValid() ? date.toString(QStringLiteral("dd/MM/yyyy")) : QString());
}

void TDateEditPlus::CheckValidDate()
{
    if (EmptyString(QLineEdit::text()))
        return;
    if (!GetDate().isValid())
        MensErro(QStringLiteral("Data inválida."), true);
}

QString TDateEditPlus::weekdayName() const
{
    const QDate date = GetDate();
    if (!date.isValid())
        return QString();
    return m_weekdays.value(date.dayOfWeek() % 7);   // Qt: Monday 1 ... Sunday 7
}

void TDateEditPlus::setValidDateColor(const QColor &color)
{
    m_validColor = color;
    textWasChanged();
}

void TDateEditPlus::textWasChanged()
{
    const QDate date = GetDate();
    QPalette p = palette();
    p.setColor(QPalette::Text, date.isValid() ? m_validColor : m_normalColor);
    setPalette(p);
    if (date != m_lastDate) {
        m_lastDate = date;
        toolkit::guarded([this] { OnDateChange(this); });
    }
}

} // namespace framework

#pragma once
// The date edit: "dd/mm/yyyy" typed through a mask. GetDate answers an invalid QDate while the
// text is not a whole valid date (empty included); a valid date shows in ValidDateColor.
// OnDateChange runs whenever the date it holds changes (typed, set or cleared).

#include "framework_export.h"

#include <toolkit/maskedit.h>

#include <QColor>
#include <QDate>
#include <QStringList>

namespace framework {

class FRAMEWORK_EXPORT TDateEditPlus : public toolkit::MaskEdit {
    Q_OBJECT
public:
    explicit TDateEditPlus(QWidget *parent = nullptr, const QString &name = QString());

    QDate GetDate() const;
    // An invalid date empties the edit.
    void SetDate(const QDate &date);
    void SetDate(const QDateTime &date) { SetDate(date.date()); }
    QDateTime GetDateTime() const;   // the date at midnight (SaveTime false keeps no time of day)
    bool hasDate() const { return GetDate().isValid(); }
    void clearDate() { SetDate(QDate()); }

    // A typed text that is not a valid date: "Data inválida." through the presenter, then the
    // silent abort. An empty edit is valid here (whether a date is required is the screen's).
    void CheckValidDate();

    // The weekday names, Sunday first ("Domingo" ... "Sábado").
    const QStringList &nomeSemana() const { return m_weekdays; }
    void setNomeSemana(const QStringList &names) { m_weekdays = names; }
    QString weekdayName() const;
    bool saveTime() const { return m_saveTime; }
    void setSaveTime(bool on) { m_saveTime = on; }
    QColor validDateColor() const { return m_validColor; }
    void setValidDateColor(const QColor &color);

    toolkit::Event<QObject *> OnDateChange;

private:
    void textWasChanged();

    QStringList m_weekdays;
    QColor m_validColor = Qt::blue;
    QColor m_normalColor;
    bool m_saveTime = false;
    QDate m_lastDate;
};

} // namespace framework

using framework::TDateEditPlus;

#include "consiste.h"

#include "dateeditplus.h"
#include "dtmdbgeral.h"
#include "presenter.h"

#include <protocol/remoteresult.h>
#include <toolkit/controls.h>
#include <toolkit/dbgrid.h>
#include <toolkit/error.h>

#include <QLineEdit>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace framework {

namespace {

bool isBlank(QChar c) { return c.isSpace() || c == QChar(0); }

bool onlyDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

QString sqlText(const QSqlQuery &q) { return q.lastError().text(); }

[[noreturn]] void refuse(const QString &text)
{
    MensErro(text, true);
}

} // namespace

void MensErro(const QString &text, bool)
{
    presenter().error(text);
    throw toolkit::Abort();
}

bool EmptyString(const QString &text)
{
    int slashes = 0;
    for (const QChar c : text) {
        if (isBlank(c))
            continue;
        if (c == QLatin1Char('/')) {
            ++slashes;
            continue;
        }
        return false;
    }
    return slashes == 0 || slashes == 2;
}

bool EmptyString(const QWidget *widget)
{
    if (!widget)
        return true;
    if (auto *date = qobject_cast<const TDateEditPlus *>(widget))
        return !date->GetDate().isValid();
    if (auto *edit = qobject_cast<const QLineEdit *>(widget))
        return EmptyString(edit->text());
    return false;
}

QString Ajusta(const QString &text, int n)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || n <= 0)
        return QString();
    if (onlyDigits(trimmed)) {
        QString digits = trimmed;
        while (digits.size() > n && digits.startsWith(QLatin1Char('0')))
            digits.remove(0, 1);
        if (digits.size() > n)
            digits.truncate(n);
        return digits.rightJustified(n, QLatin1Char('0'));
    }
    return trimmed.leftJustified(n, QLatin1Char(' '), true);
}

QString branchRefusal(const QString &branch, const QString &operatorCode, QString *name)
{
    const QString code = branch.trimmed();
    if (code.isEmpty())
        return QStringLiteral("Filial deve ser informada.");

    QSqlDatabase db = sharedDatabase();
    QString situation;
    {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT NMFILIAL, IDSITUFILI FROM FILIAL WHERE CDFILIAL = :CDFILIAL"));
        q.bindValue(QStringLiteral(":CDFILIAL"), code);
        if (!q.exec())
            throw toolkit::Error(sqlText(q));
        if (!q.next())
            return QStringLiteral("Filial não cadastrada.");
        if (name)
            *name = q.value(0).toString().trimmed();
        situation = q.value(1).toString().trimmed();
    }
    if (situation == QLatin1String("R"))
        return QStringLiteral("Filial com contrato rescindido.");

    // An operator listed in OPERFILI works only in the branches listed for him; an operator
    // with no row there is not restricted.
    const QString op = operatorCode.trimmed();
    if (op.isEmpty())
        return QString();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT CDFILIAL FROM OPERFILI WHERE CDOPERADOR = :CDOPERADOR"));
    q.bindValue(QStringLiteral(":CDOPERADOR"), op);
    if (!q.exec())
        throw toolkit::Error(sqlText(q));
    bool listed = false;
    while (q.next()) {
        listed = true;
        if (q.value(0).toString().trimmed() == code)
            return QString();
    }
    return listed ? QStringLiteral("Operador sem acesso à filial %1.").arg(code) : QString();
}

QString ValidaFilial(const QString &branch, const QString &operatorCode, bool complete)
{
    if (branch.trimmed().isEmpty() && !complete)
        return QString();
    QString name;
    const QString refusal = branchRefusal(branch, operatorCode, &name);
    if (!refusal.isEmpty())
        refuse(refusal);
    return name;
}

QVariant CheckResultServ(const QVariant &raw, bool showError, int)
{
    QString error;
    QVariant payload;
    if (raw.metaType().id() == QMetaType::QString) {
        error = raw.toString();
        payload = QString();
    } else {
        error = protocol::resultErrorText(raw);
        if (error.isEmpty())
            payload = protocol::resultPayload(raw);
    }
    if (error.isEmpty())
        return payload;
    if (showError)
        refuse(error);
    throw toolkit::Error(error);
}

void SetChildEnabled(QWidget *container, bool enabled)
{
    toolkit::setChildrenEnabled(container, enabled,
                                [](QWidget *w) { return toolkit::tag(w) == 99 || toolkit::isDisplayOnly(w); });
}

QString NomeSemana(const QDate &date)
{
    static const char *const names[] = {"Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado", "Domingo"};
    if (!date.isValid())
        return QString();
    return QString::fromUtf8(names[date.dayOfWeek() - 1]);
}

QString NomeSemana(const QDateTime &date)
{
    return NomeSemana(date.date());
}

int IndiceCol(const toolkit::DBGrid *grid, const QString &fieldName)
{
    return grid ? grid->columnIndexOfField(fieldName) : -1;
}

QString GridText(const toolkit::DBGrid *grid, const QString &fieldName, bool trimmed)
{
    if (!grid)
        return QString();
    const QString text = grid->editorText(fieldName);
    return trimmed ? text.trimmed() : text;
}

QString PictPess(const QString &personKind)
{
    const QString kind = personKind.trimmed().toUpper();
    if (kind == QLatin1String("J"))
        return QStringLiteral("99.999.999/9999-99;0; ");
    if (kind == QLatin1String("F"))
        return QStringLiteral("999.999.999-99;0; ");
    return QStringLiteral("99999999999999999999;0; ");
}

QString Ajusta_Inscricao(QString &number)
{
    QString digits;
    digits.reserve(number.size());
    for (const QChar c : std::as_const(number))
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits.append(c);
    number = digits;
    if (digits.size() == 14)
        return QStringLiteral("J");
    if (digits.size() == 11)
        return QStringLiteral("F");
    return QString();
}

QString AllTrim(const QString &text)
{
    return text.trimmed();
}

QString RTrim(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && isBlank(text.at(end - 1)))
        --end;
    return text.left(end);
}

double RoundDec(double value, int decimals)
{
    if (!std::isfinite(value) || value == 0.0)
        return value;
    decimals = std::clamp(decimals, 0, 15);
    // Work on the value's 15 significant decimal digits: that is the decimal the value stands
    // for, without the binary noise of its last bits.
    char text[40];
    std::snprintf(text, sizeof text, "%.14e", std::fabs(value));
    // text: d.dddddddddddddde[+-]XX
    char digits[16];
    digits[0] = text[0];
    for (int i = 0; i < 14; ++i)
        digits[i + 1] = text[i + 2];
    const int exponent = std::atoi(text + 17);
    const int kept = exponent + 1 + decimals;   // significant digits left of the rounding point
    if (kept >= 15)
        return std::copysign(std::strtod(text, nullptr), value);
    if (kept < 0)
        return std::copysign(0.0, value);
    long long whole = 0;
    for (int i = 0; i < kept; ++i)
        whole = whole * 10 + (digits[i] - '0');
    if (digits[kept] >= '5')
        ++whole;
    const double scaled = double(whole) / std::pow(10.0, decimals);
    return std::copysign(scaled, value);
}

} // namespace framework

#pragma once
// Validation and string functions the screens share: messages that abort, code normalization,
// the branch check, remote-result checking, group enabling, weekday names, grid helpers,
// registration-number masks and rounding. Choices beyond the obvious are in docs/framework.md.

#include "framework_export.h"

#include <QDate>
#include <QString>
#include <QVariant>

class QWidget;

namespace toolkit {
class DBGrid;
}

namespace framework {

// Shows `text` as an error message (through the presenter) and abandons the running operation
// with the silent toolkit::Abort. Never returns; the flag is kept for the callers' form.
[[noreturn]] FRAMEWORK_EXPORT void MensErro(const QString &text, bool abort = true);

// True for an empty text, a text of blanks only, and the blank picture of a date edit
// ("  /  /    ", any blanks, two slashes and nothing else).
FRAMEWORK_EXPORT bool EmptyString(const QString &text);
// For a widget: a date edit without a date is empty; an edit by its text; other widgets are not.
FRAMEWORK_EXPORT bool EmptyString(const QWidget *widget);

// The code brought to exactly n characters. A code of digits is zero-filled on the left
// ("7", 4 -> "0007"); leading zeros beyond n are dropped, and a longer code keeps its first n
// digits. Any other text is trimmed, padded with blanks on the right and cut to n. A blank text
// stays empty.
FRAMEWORK_EXPORT QString Ajusta(const QString &text, int n);

// Checks the branch against FILIAL and OPERFILI of the shared database and answers NMFILIAL.
// `complete`: the header is checked as a whole, so an empty branch is refused; when false (a
// single field is left) an empty branch is accepted and answers "". A refusal shows its message
// and throws toolkit::Abort.
FRAMEWORK_EXPORT QString ValidaFilial(const QString &branch, const QString &operatorCode, bool complete);
// The same check without showing anything: the refusal text, empty when the branch is accepted
// (then `name` receives NMFILIAL). Database errors travel as toolkit::Error.
FRAMEWORK_EXPORT QString branchRefusal(const QString &branch, const QString &operatorCode, QString *name = nullptr);

// Reads a remote result (protocol/remoteresult.h): the payload, or the server's error. A bare
// text is the text convention: empty = success (payload ""), otherwise the error. With
// `showError` the error is shown (presenter) and toolkit::Abort thrown; without it the error
// travels as toolkit::Error. `helpContext` is accepted and not used.
FRAMEWORK_EXPORT QVariant CheckResultServ(const QVariant &raw, bool showError, int helpContext);

// Enables or disables the container's child widgets as a group, leaving alone those with tag 99
// and the display-only edits.
FRAMEWORK_EXPORT void SetChildEnabled(QWidget *container, bool enabled);

// "Domingo" ... "Sábado"; empty for an invalid date.
FRAMEWORK_EXPORT QString NomeSemana(const QDate &date);
FRAMEWORK_EXPORT QString NomeSemana(const QDateTime &date);

// Index of the grid column that shows the field (-1 when none).
FRAMEWORK_EXPORT int IndiceCol(const toolkit::DBGrid *grid, const QString &fieldName);
// The text typed so far in that column's cell editor ("" when no editor is open there).
// `trimmed` true also drops surrounding blanks.
FRAMEWORK_EXPORT QString GridText(const toolkit::DBGrid *grid, const QString &fieldName, bool trimmed = false);

// Edit mask of a registration number: "J" company (CNPJ), "F" person (CPF), other: digits only.
FRAMEWORK_EXPORT QString PictPess(const QString &personKind);
// Keeps only the digits of `number` (written back) and answers its person kind by the count of
// digits: 14 -> "J", 11 -> "F", any other -> "".
FRAMEWORK_EXPORT QString Ajusta_Inscricao(QString &number);

FRAMEWORK_EXPORT QString AllTrim(const QString &text);
FRAMEWORK_EXPORT QString RTrim(const QString &text);
// Rounded half away from zero, as the decimal the value was meant to be (binary noise such as
// 1.0005 stored as 1.000499999... does not change the result).
FRAMEWORK_EXPORT double RoundDec(double value, int decimals);

} // namespace framework

using framework::Ajusta;
using framework::Ajusta_Inscricao;
using framework::AllTrim;
using framework::CheckResultServ;
using framework::EmptyString;
using framework::GridText;
using framework::IndiceCol;
using framework::MensErro;
using framework::NomeSemana;
using framework::PictPess;
using framework::RoundDec;
using framework::RTrim;
using framework::SetChildEnabled;
using framework::ValidaFilial;

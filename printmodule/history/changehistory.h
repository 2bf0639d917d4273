#pragma once
// The history of changes of a day's dish rows, as the application server keeps it: who changed
// which row, when, from where, by which method, and the values before and after.

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

class QVariant;

namespace framework {
class TNetConnection;
}

namespace printlabels {

struct HistoryEntry {
    QDateTime moment;                   // the server's wall-clock time
    QString operatorCode, operatorName;
    QString address;                    // where the change came from
    QString method;                     // the server method that wrote it
    QChar kind;                         // 'I' included, 'A' changed, 'E' deleted
    QString number;                     // NRSERVTRAN
    QString client, clientName;
    QString point, pointName;
    QString dish, dishName;
    QString before, after;              // the columns as JSON (see describeValues)
    double entryNumber = 0;             // NRHISTSERVTRAN, in the order the entries were written
};

// Asks the server (GetHistorico) for the history of a service of a branch on a day, oldest
// first, page by page. Throws toolkit::Error with the server's text when it refuses or cannot be reached.
QList<HistoryEntry> readHistory(framework::TNetConnection &server, const QString &branch,
                                const QString &service, QDate day);
// The entries of a GetHistorico answer (the checked result already opened).
QList<HistoryEntry> historyEntries(const QVariant &packet);

// "Inclusão", "Alteração", "Exclusão".
QString kindName(QChar kind);
// The columns of a JSON object as a user reads them, in the screen's order: "Comensais: 120;
// Quantidade: 24,000", by the screen's names and in its number formats; the row's keys, shown
// beside, are left out; a column the screen does not show goes by its code.
QString describeValues(const QString &json);

// One line of the history window: a changed field with its value before and after, as the
// screen names and writes it. An inclusion or a deletion is one line with the row's figures.
struct HistoryLine {
    QString field, before, after;
};
QList<HistoryLine> historyLines(const HistoryEntry &entry);

} // namespace printlabels

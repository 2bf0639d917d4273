#pragma once
// The history of changes of a day, in a window of its own: one line per field a user changed in
// a dish row (before and after side by side), one per row included or deleted, newest last, read from the application server over the print
// window's connection. Read-only.

#include <QDate>
#include <QDialog>

class QLabel;
class QTableWidget;

namespace framework {
class TNetConnection;
}
namespace printlabels {
struct HistoryEntry;
}

class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    HistoryDialog(framework::TNetConnection &server, const QString &branch, const QString &service, QDate day,
                  QWidget *parent);
    ~HistoryDialog() override;

    // Reads the day's history again; false (with the reason shown) when the server refused.
    bool reload();

private:
    void showEntries(const QList<printlabels::HistoryEntry> &entries);

    QString m_branch, m_service;
    QDate m_day;
    framework::TNetConnection &m_server;
    QLabel *m_title;
    QTableWidget *m_table;
};

#pragma once
// The dispatch of a day's containers at the kitchen: one line per container (point, dish, label,
// quantity, mode, use-by, temperature), picked by its line or by scanning its label's code (the
// scanner types the code, then Enter); the temperature typed is checked against the dish's mode
// as it is typed and stored through the application server with Enter. A container already
// dispatched takes a correction only with its reason.

#include <labels/containerdispatch.h>

#include <QDate>
#include <QDialog>
#include <QList>

class QLabel;
class QLineEdit;
class QTableWidget;

namespace framework {
class TNetConnection;
}

class DispatchDialog : public QDialog {
    Q_OBJECT
public:
    DispatchDialog(framework::TNetConnection &server, const QString &branch, const QString &service, QDate day,
                   QWidget *parent);
    ~DispatchDialog() override;

    // Reads the day's containers again; false (with the reason shown) when the server refused.
    bool reload();

private:
    void showContainers();
    void fitColumns();
    void scanned();
    void temperatureTyped();
    void record();
    const printlabels::ContainerDispatch *chosen() const;

    framework::TNetConnection &m_server;
    QString m_branch, m_service;
    QDate m_day;
    QList<printlabels::ContainerDispatch> m_containers;
    QLabel *m_title;
    QLineEdit *m_scan;
    QTableWidget *m_table;
    QLineEdit *m_temperature;
    QLineEdit *m_reason;
    QLabel *m_range;
    bool m_sized = false;   // opened at the width of its columns once
};

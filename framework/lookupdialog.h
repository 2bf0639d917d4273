#pragma once
// The lookup dialog behind Pesquisar, PesquisaLista and Procura in the Qt presenter: a filter
// line over a list of the dataset's visible fields. Usable with the keyboard alone: typing
// filters, Up/Down/PageUp/PageDown move in the list from the filter line, Enter chooses, Esc
// gives up; in the multi-select form Space (in the list) or Ctrl+Space (anywhere) ticks a row.

#include "framework_export.h"

#include <QDialog>
#include <QStringList>

class QLineEdit;
class QTableView;
class QStandardItemModel;
class QSortFilterProxyModel;

namespace toolkit {
class ClientDataSet;
}

namespace framework {

// The rows of a dataset as a lookup shows them: the visible fields' display texts.
struct LookupRows {
    QStringList titles;                 // the visible fields' labels
    QList<QStringList> cells;           // one list of texts per visible row
    QStringList keys;                   // the key field's text per row (when a key field was named)
};
FRAMEWORK_EXPORT LookupRows lookupRows(toolkit::ClientDataSet *dataSet, const QString &keyField = QString());

class FRAMEWORK_EXPORT LookupDialog : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Pick, PickList, Search };
    LookupDialog(QWidget *parent, const QString &title, const LookupRows &rows, Mode mode,
                 const QStringList &selected = QStringList());

    // After exec(): the chosen row (position in the dataset's view), or -1.
    int chosenRow() const { return m_chosen; }
    // After exec() in the multi-select form: the ticked keys in the dataset's order.
    QStringList checkedKeys() const;

    QLineEdit *filterEdit() const { return m_filter; }
    QTableView *view() const { return m_view; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void choose();
    void toggleCurrent();

    LookupRows m_rows;
    Mode m_mode;
    int m_chosen = -1;
    QLineEdit *m_filter;
    QTableView *m_view;
    QStandardItemModel *m_model;
    QSortFilterProxyModel *m_proxy;
};

} // namespace framework

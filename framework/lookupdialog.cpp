#include "lookupdialog.h"

#include <toolkit/clientdataset.h>

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace framework {

namespace {

QString plainDisplay(const toolkit::Field *field, const QVariant &value)
{
    if (value.isNull())
        return QString();
    switch (field->kind()) {
    case toolkit::FieldKind::String:
        return value.toString();
    case toolkit::FieldKind::Float:
        if (!field->displayFormat().isEmpty())
            return toolkit::Field::formatFloat(value.toDouble(), field->displayFormat());
        return QLocale().toString(value.toDouble(), 'f', QLocale::FloatingPointShortest);
    case toolkit::FieldKind::DateTime: {
        const QDateTime dt = value.toDateTime();
        return dt.time() == QTime(0, 0) ? dt.toString(QStringLiteral("dd/MM/yyyy"))
                                        : dt.toString(QStringLiteral("dd/MM/yyyy hh:mm"));
    }
    }
    return value.toString();
}

} // namespace

LookupRows lookupRows(toolkit::ClientDataSet *dataSet, const QString &keyField)
{
    LookupRows rows;
    QList<toolkit::Field *> shown;
    bool hooks = false;
    for (toolkit::Field *f : dataSet->fields()) {
        if (!f->visible())
            continue;
        shown.append(f);
        rows.titles.append(f->displayLabel());
        hooks = hooks || bool(f->onGetText);
    }
    toolkit::Field *key = keyField.isEmpty() ? nullptr : dataSet->fieldByName(keyField);
    const int count = dataSet->recordCount();

    if (!hooks) {
        // Plain values: read the view without moving the cursor, so no scroll handler runs.
        for (int r = 0; r < count; ++r) {
            QStringList cells;
            for (toolkit::Field *f : std::as_const(shown))
                cells.append(plainDisplay(f, dataSet->valueAt(r, f->index())));
            rows.cells.append(cells);
            if (key)
                rows.keys.append(dataSet->valueAt(r, key->index()).toString());
        }
        return rows;
    }

    // A field formats its own text: walk the records, with the controls suspended, and come
    // back to where the dataset was.
    const int before = dataSet->recNo();
    dataSet->disableControls();
    struct Resume {
        toolkit::ClientDataSet *ds;
        int pos;
        ~Resume()
        {
            if (pos >= 0)
                ds->setRecNo(pos);
            ds->enableControls();
        }
    } resume{dataSet, before};
    for (int r = 0; r < count; ++r) {
        dataSet->setRecNo(r);
        QStringList cells;
        for (toolkit::Field *f : std::as_const(shown))
            cells.append(f->displayText());
        rows.cells.append(cells);
        if (key)
            rows.keys.append(key->asString());
    }
    return rows;
}

LookupDialog::LookupDialog(QWidget *parent, const QString &title, const LookupRows &rows, Mode mode,
                           const QStringList &selected)
    : QDialog(parent), m_rows(rows), m_mode(mode)
{
    setObjectName(QStringLiteral("frmPesquisa"));
    setWindowTitle(title);
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(mode == Mode::Search ? QStringLiteral("&Procurar:") : QStringLiteral("&Filtrar:"), this);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("edtFiltro"));
    label->setBuddy(m_filter);
    layout->addWidget(label);
    layout->addWidget(m_filter);

    m_model = new QStandardItemModel(int(rows.cells.size()), int(rows.titles.size()), this);
    m_model->setHorizontalHeaderLabels(rows.titles);
    for (int r = 0; r < rows.cells.size(); ++r) {
        for (int c = 0; c < rows.titles.size(); ++c) {
            auto *item = new QStandardItem(rows.cells.at(r).value(c));
            item->setEditable(false);
            item->setData(r, Qt::UserRole);
            if (mode == Mode::PickList && c == 0) {
                item->setCheckable(true);
                item->setCheckState(selected.contains(rows.keys.value(r)) ? Qt::Checked : Qt::Unchecked);
            }
            m_model->setItem(r, c, item);
        }
    }
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("grdLista"));
    m_view->setModel(m_proxy);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->resizeColumnsToContents();
    layout->addWidget(m_view, 1);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("btnOK"));
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("btnCancelar"));
    for (QAbstractButton *b : buttons->buttons())
        if (auto *push = qobject_cast<QPushButton *>(b))
            push->setAutoDefault(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { choose(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_view, &QAbstractItemView::doubleClicked, this, [this] { choose(); });
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_proxy->setFilterFixedString(text);
        if (!m_view->currentIndex().isValid() && m_proxy->rowCount() > 0)
            m_view->setCurrentIndex(m_proxy->index(0, 0));
    });

    m_filter->installEventFilter(this);
    m_view->installEventFilter(this);
    if (m_proxy->rowCount() > 0)
        m_view->setCurrentIndex(m_proxy->index(0, 0));
    m_filter->setFocus();
    resize(560, 380);
}

QStringList LookupDialog::checkedKeys() const
{
    QStringList keys;
    for (int r = 0; r < m_model->rowCount(); ++r)
        if (m_model->item(r, 0)->checkState() == Qt::Checked)
            keys.append(m_rows.keys.value(r));
    return keys;
}

void LookupDialog::choose()
{
    if (m_mode == Mode::PickList) {
        accept();
        return;
    }
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid())
        return;
    m_chosen = m_proxy->mapToSource(current).data(Qt::UserRole).toInt();
    accept();
}

void LookupDialog::toggleCurrent()
{
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid())
        return;
    QStandardItem *item = m_model->item(m_proxy->mapToSource(current).row(), 0);
    item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

bool LookupDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        choose();
        return true;
    case Qt::Key_Space:
        if (m_mode == Mode::PickList && (watched == m_view || key->modifiers() & Qt::ControlModifier)) {
            toggleCurrent();
            return true;
        }
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        if (watched == m_filter) {
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
            QCoreApplication::sendEvent(m_view, &copy);
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace framework

#include "historydialog.h"

#include "changehistory.h"

#include <framework/presenter.h>
#include <toolkit/error.h>

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace printlabels;

HistoryDialog::HistoryDialog(framework::TNetConnection &server, const QString &branch, const QString &service,
                             QDate day, QWidget *parent)
    : QDialog(parent), m_branch(branch), m_service(service), m_day(day), m_server(server)
{
    setObjectName(QStringLiteral("historyDialog"));
    setWindowTitle(QStringLiteral("Histórico de Alterações dos Serviços Transportados"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("lblHistoryDay"));
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("tblHistory"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(true);
    m_table->verticalHeader()->hide();
    // When, what and where first, each changed field before and after side by side, then the
    // client, who and from where.
    const QStringList headings = {QStringLiteral("Data/hora"), QStringLiteral("Operação"), QStringLiteral("Ponto de entrega"),
                                  QStringLiteral("Prato"),     QStringLiteral("Campo"),    QStringLiteral("Antes"),
                                  QStringLiteral("Depois"),    QStringLiteral("Cliente"),  QStringLiteral("Operador"),
                                  QStringLiteral("Número"),    QStringLiteral("Endereço")};
    m_table->setColumnCount(int(headings.size()));
    m_table->setHorizontalHeaderLabels(headings);
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *refresh = buttons->addButton(QStringLiteral("Atualizar"), QDialogButtonBox::ActionRole);
    refresh->setObjectName(QStringLiteral("btnRefresh"));
    connect(refresh, &QPushButton::clicked, this, &HistoryDialog::reload);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_table, 1);
    layout->addWidget(buttons);
    const int em = fontMetrics().averageCharWidth();
    resize(em * 150, fontMetrics().height() * 30);
}

void HistoryDialog::showEntries(const QList<HistoryEntry> &entries)
{
    // A row, a point and a dish go by their names; by their code only when they have none.
    const auto named = [](const QString &code, const QString &name) { return name.isEmpty() ? code : name; };
    m_table->setRowCount(0);
    for (const HistoryEntry &e : entries) {
        for (const HistoryLine &line : historyLines(e)) {
            const int r = m_table->rowCount();
            m_table->insertRow(r);
            const QStringList cells = {e.moment.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")),
                                       kindName(e.kind),
                                       named(e.point, e.pointName),
                                       named(e.dish, e.dishName),
                                       line.field,
                                       line.before,
                                       line.after,
                                       named(e.client, e.clientName),
                                       named(e.operatorCode, e.operatorName),
                                       e.number,
                                       e.address};
            for (int c = 0; c < cells.size(); ++c)
                m_table->setItem(r, c, new QTableWidgetItem(cells[c]));
        }
    }
    // Wide enough for every column as it reads, within the screen.
    m_table->resizeColumnsToContents();
    const int readable = fontMetrics().averageCharWidth() * 60;
    for (int c = 0; c < m_table->columnCount(); ++c)
        m_table->setColumnWidth(c, qMin(m_table->columnWidth(c), readable));
    m_table->resizeRowsToContents();
    int width = m_table->frameWidth() * 2 + m_table->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < m_table->columnCount(); ++c)
        width += m_table->columnWidth(c);
    const QMargins margins = layout()->contentsMargins();
    width += margins.left() + margins.right();
    const QRect room = (parentWidget() ? parentWidget()->screen() : screen())->availableGeometry();
    // never wider than the screen's room, even when the dialog already is (a small screen)
    const int widest = room.width() * 9 / 10;
    resize(qMin(qMax(this->width(), width), widest), qMax(height(), room.height() * 2 / 3));
}

HistoryDialog::~HistoryDialog() = default;

bool HistoryDialog::reload()
{
    QList<HistoryEntry> entries;
    try {
        entries = readHistory(m_server, m_branch, m_service, m_day);
    } catch (const toolkit::Error &e) {
        framework::presenter().error(QStringLiteral("Não foi possível ler o histórico de alterações:\n%1")
                                               .arg(e.message()));
        return false;
    }
    m_title->setText(QStringLiteral("Filial %1, serviço %2, dia %3: %4")
                         .arg(m_branch, m_service, m_day.toString(QStringLiteral("dd/MM/yyyy")),
                              entries.size() == 1 ? QStringLiteral("1 alteração")
                                                  : QStringLiteral("%1 alterações").arg(entries.size())));
    showEntries(entries);
    return true;
}

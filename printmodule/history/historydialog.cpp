#include "historydialog.h"

#include "changehistory.h"

#include <framework/presenter.h>
#include <toolkit/error.h>

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
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
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    const QStringList headings = {QStringLiteral("Data/hora"), QStringLiteral("Operador"), QStringLiteral("Endereço"),
                                  QStringLiteral("Operação"),  QStringLiteral("Alteração"), QStringLiteral("Número"),
                                  QStringLiteral("Cliente"),   QStringLiteral("Ponto de entrega"), QStringLiteral("Prato"),
                                  QStringLiteral("Antes"),     QStringLiteral("Depois")};
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
    const auto named = [](const QString &code, const QString &name) {
        return name.isEmpty() ? code : code + QStringLiteral(" - ") + name;
    };
    m_table->setRowCount(int(entries.size()));
    for (int r = 0; r < entries.size(); ++r) {
        const HistoryEntry &e = entries[r];
        const QStringList cells = {e.moment.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")),
                                   named(e.operatorCode, e.operatorName),
                                   e.address,
                                   e.method,
                                   kindName(e.kind),
                                   e.number,
                                   named(e.client, e.clientName),
                                   named(e.point, e.pointName),
                                   named(e.dish, e.dishName),
                                   describeValues(e.before),
                                   describeValues(e.after)};
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    m_table->resizeColumnsToContents();
    return true;
}

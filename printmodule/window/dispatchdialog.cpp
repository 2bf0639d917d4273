#include "dispatchdialog.h"

#include <framework/presenter.h>
#include <labels/labelsource.h>
#include <toolkit/error.h>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace printlabels;

namespace {

enum Column { Point, Dish, Label, Quantity, Mode, UseBy, Temperature, Situation, ColumnCount };

const QColor kOutOfRange(0xB0, 0x00, 0x20);

} // namespace

DispatchDialog::DispatchDialog(framework::TNetConnection &server, const QString &branch, const QString &service,
                               QDate day, QWidget *parent)
    : QDialog(parent), m_server(server), m_branch(branch), m_service(service), m_day(day)
{
    setObjectName(QStringLiteral("dispatchDialog"));
    setWindowTitle(QStringLiteral("Expedição dos Containers"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("lblDispatchDay"));
    m_scan = new QLineEdit(this);
    m_scan->setObjectName(QStringLiteral("edtScan"));
    m_scan->setPlaceholderText(QStringLiteral("Leia o código da etiqueta ou escolha a linha"));
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("tblContainers"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->setColumnCount(ColumnCount);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Ponto de entrega"), QStringLiteral("Prato"), QStringLiteral("Etiqueta"),
                                        QStringLiteral("Quantidade"), QStringLiteral("Conservação"), QStringLiteral("Validade"),
                                        QStringLiteral("Temperatura"), QStringLiteral("Situação")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_temperature = new QLineEdit(this);
    m_temperature->setObjectName(QStringLiteral("edtTemperature"));
    m_reason = new QLineEdit(this);
    m_reason->setObjectName(QStringLiteral("edtReason"));
    m_reason->setMaxLength(200);
    m_range = new QLabel(this);
    m_range->setObjectName(QStringLiteral("lblRange"));
    m_range->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Etiqueta:"), m_scan);
    form->addRow(QStringLiteral("&Temperatura (°C):"), m_temperature);
    form->addRow(QStringLiteral("&Motivo da correção:"), m_reason);
    form->addRow(QString(), m_range);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *refresh = buttons->addButton(QStringLiteral("Atualizar"), QDialogButtonBox::ActionRole);
    refresh->setObjectName(QStringLiteral("btnRefresh"));
    refresh->setAutoDefault(false);
    for (QAbstractButton *b : buttons->buttons())
        if (auto *push = qobject_cast<QPushButton *>(b))
            push->setAutoDefault(false);   // Enter belongs to the scanner and the temperature
    connect(refresh, &QPushButton::clicked, this, &DispatchDialog::reload);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_scan, &QLineEdit::returnPressed, this, [this] { toolkit::guarded([this] { scanned(); }); });
    connect(m_temperature, &QLineEdit::textChanged, this, &DispatchDialog::temperatureTyped);
    connect(m_table, &QTableWidget::currentCellChanged, this, &DispatchDialog::temperatureTyped);
    connect(m_temperature, &QLineEdit::returnPressed, this, [this] { toolkit::guarded([this] { record(); }); });
    connect(m_reason, &QLineEdit::returnPressed, this, [this] { toolkit::guarded([this] { record(); }); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_table, 1);
    layout->addLayout(form);
    layout->addWidget(buttons);
    resize(fontMetrics().averageCharWidth() * 140, fontMetrics().height() * 32);
}

DispatchDialog::~DispatchDialog() = default;

bool DispatchDialog::reload()
{
    try {
        m_containers = dispatchOfDay(m_server, m_branch, m_service, m_day);
    } catch (const toolkit::Error &e) {
        framework::presenter().error(QStringLiteral("Não foi possível ler os containers do dia:\n%1").arg(e.message()));
        return false;
    }
    qsizetype dispatched = 0;
    for (const ContainerDispatch &c : std::as_const(m_containers))
        dispatched += c.celsius.has_value();
    m_title->setText(QStringLiteral("Filial %1, serviço %2, dia %3: %4 containers, %5 expedidos")
                         .arg(m_branch, m_service, m_day.toString(QStringLiteral("dd/MM/yyyy")))
                         .arg(m_containers.size())
                         .arg(dispatched));
    showContainers();
    return true;
}

void DispatchDialog::showContainers()
{
    const int current = m_table->currentRow();
    m_table->setRowCount(int(m_containers.size()));
    const auto named = [](const QString &code, const QString &name) { return name.isEmpty() ? code : name; };
    for (int r = 0; r < m_containers.size(); ++r) {
        const ContainerDispatch &c = m_containers[r];
        const ContainerLabel &l = c.label;
        QString situation;
        if (c.celsius) {
            situation = rangeWarning(l.conservation, *c.celsius);
            if (situation.isEmpty())
                situation = QStringLiteral("Expedido");
            situation += QStringLiteral(" às %1 por %2").arg(c.dispatched.toString(QStringLiteral("HH:mm")), c.operatorCode);
            if (c.entries > 1)
                situation += QStringLiteral(" (corrigido: %1)").arg(c.reason);
        }
        const QStringList cells = {named(l.pointCode, l.pointName),
                                   named(l.dishCode, l.dishName),
                                   QStringLiteral("%1 (%2)").arg(l.sequence, positionText(l)),
                                   quantityText(l),
                                   l.conservation ? rules::cold::conservationName(*l.conservation) : QStringLiteral("não cadastrada"),
                                   l.useBy.isValid() ? l.useBy.toString(QStringLiteral("dd/MM/yyyy HH:mm")) : QString(),
                                   c.celsius ? celsiusText(*c.celsius) : QString(),
                                   situation};
        const bool outside = c.celsius && !rangeWarning(l.conservation, *c.celsius).isEmpty();
        for (int col = 0; col < ColumnCount; ++col) {
            auto *item = new QTableWidgetItem(cells[col]);
            if (outside && (col == Temperature || col == Situation))
                item->setForeground(kOutOfRange);
            m_table->setItem(r, col, item);
        }
    }
    m_table->resizeColumnsToContents();
    if (!m_sized)
        fitColumns();
    if (current >= 0 && current < m_table->rowCount())
        m_table->setCurrentCell(current, 0);
}

// Opens wide enough for every column, the situation of a container out of range included (which
// appears only once it is dispatched), within the screen's room.
void DispatchDialog::fitColumns()
{
    m_sized = true;
    const QFontMetrics metrics = m_table->fontMetrics();
    const QString longest = rangeWarning(rules::cold::Conservation::Frozen, 0)
                            + QStringLiteral(" às 00:00 por OPERADOR");
    const int padding = m_table->style()->pixelMetric(QStyle::PM_HeaderMargin) * 2 + metrics.averageCharWidth() * 2;
    m_table->setColumnWidth(Situation, std::max(m_table->columnWidth(Situation), metrics.horizontalAdvance(longest) + padding));
    int width = m_table->frameWidth() * 2 + m_table->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < ColumnCount; ++c)
        width += m_table->columnWidth(c);
    const QMargins margins = layout()->contentsMargins();
    width += margins.left() + margins.right();
    const QRect room = (parentWidget() ? parentWidget()->screen() : screen())->availableGeometry();
    resize(std::min(std::max(this->width(), width), room.width() * 9 / 10), height());
}

const ContainerDispatch *DispatchDialog::chosen() const
{
    const int r = m_table->currentRow();
    return r >= 0 && r < m_containers.size() ? &m_containers[r] : nullptr;
}

// The scanner typed a label's code (its link, or its key text on a label printed without one): its
// line becomes the chosen one, and the temperature is next.
void DispatchDialog::scanned()
{
    const QString text = m_scan->text().trimmed();
    m_scan->clear();
    if (text.isEmpty())
        return;
    const bool link = text.contains(QLatin1String("/e/"));
    ContainerLabel key;
    if (!link && !parseKeyText(text, key))
        throw toolkit::Error(QStringLiteral("\"%1\" não é o código de uma etiqueta.").arg(text.left(60)));
    for (int r = 0; r < m_containers.size(); ++r) {
        const ContainerLabel &l = m_containers[r].label;
        if (link ? isLinkOf(text, l)
                 : l.branch == key.branch && l.service == key.service && l.date == key.date && l.diet == key.diet
                       && l.rowNumber == key.rowNumber && l.sequence == key.sequence) {
            m_table->setCurrentCell(r, Temperature);
            m_temperature->clear();
            m_reason->clear();
            m_temperature->setFocus();
            return;
        }
    }
    throw toolkit::Error(QStringLiteral("A etiqueta lida não é deste serviço e dia."));
}

// Says at once whether the temperature typed is outside the chosen dish's range.
void DispatchDialog::temperatureTyped()
{
    const ContainerDispatch *c = chosen();
    const QString text = m_temperature->text().trimmed();
    if (!c || text.isEmpty() || text == QLatin1String("-")) {
        m_range->clear();
        return;
    }
    const std::optional<double> celsius = typedCelsius(text);
    m_range->setText(celsius ? rangeWarning(c->label.conservation, *celsius) : QStringLiteral("Temperatura inválida."));
}

void DispatchDialog::record()
{
    const ContainerDispatch *c = chosen();
    if (!c)
        throw toolkit::Error(QStringLiteral("Leia o código da etiqueta ou escolha o container."));
    const std::optional<double> celsius = typedCelsius(m_temperature->text());
    if (!celsius)
        throw toolkit::Error(QStringLiteral("Informe a temperatura do container em °C."));
    if (c->celsius && m_reason->text().trimmed().isEmpty()) {
        m_reason->setFocus();
        throw toolkit::Error(QStringLiteral("O container já foi expedido a %1; para corrigir, informe o motivo.")
                                 .arg(celsiusText(*c->celsius)));
    }
    recordDispatch(m_server, c->label, *celsius, c->celsius ? m_reason->text().trimmed() : QString());
    m_temperature->clear();
    m_reason->clear();
    m_range->clear();
    reload();
    m_scan->setFocus();
}

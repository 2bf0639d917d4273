#include "labelprintwindow.h"

#include <framework/consiste.h>
#include <framework/netconnection.h>
#include <framework/presenter.h>
#include <framework/zandrix.h>
#include <history/historydialog.h>
#include "dispatchdialog.h"
#include <labels/labelrenderer.h>
#include <labels/labelsource.h>
#include <labels/containerdispatch.h>
#include <lists/coldchainreport.h>
#include <lists/dayrowsource.h>
#include <lists/listcsv.h>
#include <lists/listrenderer.h>
#include <lists/listxlsx.h>
#include <toolkit/error.h>

#include <QCoreApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPdfWriter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSettings>
#include <QStandardPaths>
#include <QSpinBox>
#include <QVBoxLayout>

#include <memory>

using namespace printlabels;

namespace {

QPointer<LabelPrintWindow> theWindow;

const QString kSettingsGroup = QStringLiteral("PLA04101");

QDoubleSpinBox *millimetres(QWidget *parent, const char *name)
{
    auto *spin = new QDoubleSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(0, 100);
    spin->setDecimals(1);
    spin->setSingleStep(0.5);
    spin->setSuffix(QStringLiteral(" mm"));
    return spin;
}

// The start of a list's suggested file names.
QString listFileStem(printlists::ListKind kind)
{
    return kind == printlists::ListKind::Delivery ? QStringLiteral("lista-entrega") : QStringLiteral("lista-divisao");
}

} // namespace

LabelPrintWindow::LabelPrintWindow(QWidget *parent) : framework::Form(parent)
{
    setObjectName(QStringLiteral("labelPrintWindow"));
    setWindowTitle(QStringLiteral("Impressão dos Serviços Transportados"));
    setFormStyle(framework::FormStyle::MdiChild);
    setHelpContext(12304101);
    netServTran = new TNetConnection(this, QStringLiteral("netServTran"));
    netServTran->setServerName(QString::fromLatin1(printlists::kServerName));
    netServTran->BeforeConnect = [this](QObject *) {
        netServTran->setHost(WebURL());
        netServTran->setPort(WebPort());
    };
    buildControls();
    resize(720, 560);
}

LabelPrintWindow::~LabelPrintWindow()
{
    if (theWindow == this)
        theWindow = nullptr;
}

void LabelPrintWindow::buildControls()
{
    auto *choice = new QGroupBox(QStringLiteral("Seleção"), this);
    auto *form = new QFormLayout(choice);
    edtBranch = new QLineEdit(choice);
    edtBranch->setObjectName(QStringLiteral("edtBranch"));
    edtBranch->setMaxLength(4);
    lblBranchName = new QLabel(choice);
    lblBranchName->setObjectName(QStringLiteral("lblBranchName"));
    auto *branchRow = new QHBoxLayout;
    branchRow->addWidget(edtBranch);
    branchRow->addWidget(lblBranchName, 1);
    form->addRow(QStringLiteral("Filial:"), branchRow);
    dteDay = new QDateEdit(choice);
    dteDay->setObjectName(QStringLiteral("dteDay"));
    dteDay->setCalendarPopup(true);
    dteDay->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    form->addRow(QStringLiteral("Data:"), dteDay);
    cmbService = new QComboBox(choice);
    cmbService->setObjectName(QStringLiteral("cmbService"));
    form->addRow(QStringLiteral("Serviço:"), cmbService);
    cmbDocument = new QComboBox(choice);
    cmbDocument->setObjectName(QStringLiteral("cmbDocument"));
    cmbDocument->addItem(QStringLiteral("Etiquetas"), int(Document::Labels));
    cmbDocument->addItem(QStringLiteral("Lista de entrega"), int(Document::DeliveryList));
    cmbDocument->addItem(QStringLiteral("Lista de divisão"), int(Document::DivisionList));
    cmbDocument->addItem(QStringLiteral("Relatório da cadeia fria"), int(Document::ColdChain));
    form->addRow(QStringLiteral("D&ocumento:"), cmbDocument);
    cmbPoint = new QComboBox(choice);
    cmbPoint->setObjectName(QStringLiteral("cmbPoint"));
    form->addRow(QStringLiteral("Ponto de entrega:"), cmbPoint);
    lstDishes = new QListWidget(choice);
    lstDishes->setObjectName(QStringLiteral("lstDishes"));
    form->addRow(QStringLiteral("Pratos:"), lstDishes);

    auto *paper = new QGroupBox(QStringLiteral("Modelo de etiqueta"), this);
    grpLayout = paper;
    auto *paperForm = new QFormLayout(paper);
    cmbLayout = new QComboBox(paper);
    cmbLayout->setObjectName(QStringLiteral("cmbLayout"));
    cmbLayout->addItem(QStringLiteral("Folha A4 de etiquetas adesivas"), int(LayoutKind::Sheet));
    cmbLayout->addItem(QStringLiteral("Rolo de etiquetas 100 × 50 mm"), int(LayoutKind::Roll));
    paperForm->addRow(QStringLiteral("Modelo:"), cmbLayout);
    spnRows = new QSpinBox(paper);
    spnRows->setObjectName(QStringLiteral("spnRows"));
    spnRows->setRange(1, 20);
    spnColumns = new QSpinBox(paper);
    spnColumns->setObjectName(QStringLiteral("spnColumns"));
    spnColumns->setRange(1, 6);
    paperForm->addRow(QStringLiteral("Linhas:"), spnRows);
    paperForm->addRow(QStringLiteral("Colunas:"), spnColumns);
    spnMarginTop = millimetres(paper, "spnMarginTop");
    spnMarginBottom = millimetres(paper, "spnMarginBottom");
    spnMarginLeft = millimetres(paper, "spnMarginLeft");
    spnMarginRight = millimetres(paper, "spnMarginRight");
    spnGapHorizontal = millimetres(paper, "spnGapHorizontal");
    spnGapVertical = millimetres(paper, "spnGapVertical");
    paperForm->addRow(QStringLiteral("Margem superior:"), spnMarginTop);
    paperForm->addRow(QStringLiteral("Margem inferior:"), spnMarginBottom);
    paperForm->addRow(QStringLiteral("Margem esquerda:"), spnMarginLeft);
    paperForm->addRow(QStringLiteral("Margem direita:"), spnMarginRight);
    paperForm->addRow(QStringLiteral("Espaço entre colunas:"), spnGapHorizontal);
    paperForm->addRow(QStringLiteral("Espaço entre linhas:"), spnGapVertical);

    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    lblMissing = new QLabel(this);
    lblMissing->setObjectName(QStringLiteral("lblMissing"));
    lblMissing->setWordWrap(true);
    lblMissing->hide();
    btnPreview = new QPushButton(QStringLiteral("&Visualizar"), this);
    btnPreview->setObjectName(QStringLiteral("btnPreview"));
    btnPrint = new QPushButton(QStringLiteral("&Imprimir"), this);
    btnPrint->setObjectName(QStringLiteral("btnPrint"));
    btnPdf = new QPushButton(QStringLiteral("Gerar &PDF"), this);
    btnPdf->setObjectName(QStringLiteral("btnPdf"));
    btnCsv = new QPushButton(QStringLiteral("E&xportar CSV"), this);
    btnCsv->setObjectName(QStringLiteral("btnCsv"));
    btnXlsx = new QPushButton(QStringLiteral("Exportar p&lanilha"), this);
    btnXlsx->setObjectName(QStringLiteral("btnXlsx"));
    btnHistory = new QPushButton(QStringLiteral("&Histórico de alterações"), this);
    btnHistory->setObjectName(QStringLiteral("btnHistory"));
    btnDispatch = new QPushButton(QStringLiteral("Exp&edição"), this);
    btnDispatch->setObjectName(QStringLiteral("btnDispatch"));

    auto *columns = new QHBoxLayout;
    columns->addWidget(choice, 3);
    columns->addWidget(paper, 2);
    // The count on a line of its own: beside seven buttons it was cut at the window's least width.
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnHistory);
    buttons->addWidget(btnDispatch);
    buttons->addWidget(btnPreview);
    buttons->addWidget(btnPrint);
    buttons->addWidget(btnPdf);
    buttons->addWidget(btnXlsx);
    buttons->addWidget(btnCsv);
    auto *main = new QVBoxLayout(this);
    main->addLayout(columns, 1);
    main->addWidget(lblMissing);
    main->addWidget(lblCount);
    main->addLayout(buttons);

    const auto guard = [](auto action) { return [action] { toolkit::guarded(action); }; };
    connect(edtBranch, &QLineEdit::editingFinished, this, guard([this] { branchChanged(); }));
    connect(dteDay, &QDateEdit::dateChanged, this, guard([this] { if (!m_filling) reloadDay(); }));
    connect(cmbService, &QComboBox::currentIndexChanged, this, guard([this] { if (!m_filling) reloadDay(); }));
    connect(cmbDocument, &QComboBox::currentIndexChanged, this, guard([this] { if (!m_filling) documentChanged(); }));
    connect(cmbPoint, &QComboBox::currentIndexChanged, this, [this] { updateCount(); });
    connect(lstDishes, &QListWidget::itemChanged, this, [this] { updateCount(); });
    connect(cmbLayout, &QComboBox::currentIndexChanged, this, [this] { layoutKindChanged(); updateCount(); });
    for (QSpinBox *spin : {spnRows, spnColumns})
        connect(spin, &QSpinBox::valueChanged, this, [this] { updateCount(); });
    connect(btnPreview, &QPushButton::clicked, this, guard([this] { previewClicked(); }));
    connect(btnPrint, &QPushButton::clicked, this, guard([this] { printClicked(); }));
    connect(btnPdf, &QPushButton::clicked, this, guard([this] { pdfClicked(); }));
    connect(btnCsv, &QPushButton::clicked, this, guard([this] { csvClicked(); }));
    connect(btnXlsx, &QPushButton::clicked, this, guard([this] { xlsxClicked(); }));
    connect(btnHistory, &QPushButton::clicked, this, guard([this] { historyClicked(); }));
    connect(btnDispatch, &QPushButton::clicked, this, guard([this] { dispatchClicked(); }));
}

// The history of the chosen service's day, in a window of its own beside this one.
void LabelPrintWindow::historyClicked()
{
    const QString service = cmbService->currentData().toString();
    if (service.isEmpty())
        throw toolkit::Error(QStringLiteral("Escolha o serviço cujo histórico de alterações deseja ver."));
    auto *history = new HistoryDialog(*netServTran, edtBranch->text().trimmed(), service, dteDay->date(), this);
    if (history->reload())
        history->show();
    else
        history->close();
}

// The dispatch of the chosen service's containers, in a window of its own beside this one.
void LabelPrintWindow::dispatchClicked()
{
    const QString service = cmbService->currentData().toString();
    if (service.isEmpty())
        throw toolkit::Error(QStringLiteral("Escolha o serviço cujos containers deseja expedir."));
    auto *dispatch = new DispatchDialog(*netServTran, edtBranch->text().trimmed(), service, dteDay->date(), this);
    if (dispatch->reload())
        dispatch->show();
    else
        dispatch->close();
}

void LabelPrintWindow::FormCreate(QObject *)
{
    m_filling = true;
    edtBranch->setText(FiliProc());
    edtBranch->setReadOnly(ModuFili());
    dteDay->setDate(DataProc(FiliProc()));
    m_filling = false;
    restoreChoices();
    toolkit::guarded([this] { branchChanged(); });
    toolkit::guarded([this] { documentChanged(); });
}

void LabelPrintWindow::FormClose(QObject *, CloseAction &Action)
{
    saveChoices();
    Action = caFree;
}

void LabelPrintWindow::branchChanged()
{
    const QString branch = edtBranch->text().trimmed();
    // as the screen's header: a branch the operator may not use shows nothing of it
    const QString refusal = branch.isEmpty() ? QString() : framework::branchRefusal(branch, Operador());
    m_branchRefused = !refusal.isEmpty();
    lblBranchName->setText(m_branchRefused ? QString() : branchName(branch));
    reloadServices();
    reloadDay();
    if (m_branchRefused)
        framework::ValidaFilial(branch, Operador(), true);   // says why, and stops here
}

void LabelPrintWindow::reloadServices()
{
    m_filling = true;
    const QString previous = cmbService->currentData().toString();
    cmbService->clear();
    if (!m_branchRefused)
        for (const ServiceChoice &service : transportedServices(edtBranch->text().trimmed()))
            cmbService->addItem(service.code + QStringLiteral(" - ") + service.name, service.code);
    QSettings settings;
    const QString wanted = previous.isEmpty() ? settings.value(kSettingsGroup + QStringLiteral("/servico")).toString() : previous;
    if (const int at = cmbService->findData(wanted); at >= 0)
        cmbService->setCurrentIndex(at);
    m_filling = false;
}

void LabelPrintWindow::reloadDay()
{
    m_day.clear();
    m_rows.clear();
    m_rowsRead = false;
    m_containers.clear();
    m_containersRead = false;
    lblMissing->clear();
    lblMissing->hide();
    // The choices follow what was read, also when the server could not be reached.
    const auto refill = qScopeGuard([this] { fillChoices(); });
    if (cmbService->currentIndex() >= 0) {
        QStringList missing;
        m_day = labelsOfDay(*netServTran, edtBranch->text().trimmed(), cmbService->currentData().toString(), dteDay->date(),
                            &missing);
        if (!missing.isEmpty()) {
            lblMissing->setText(QStringLiteral("Etiquetas com cadastro ausente, impressas com o código: %1.")
                                    .arg(missing.join(QStringLiteral(", "))));
            lblMissing->show();
        }
    }
    readDishRows();
    readContainers();
}

LabelPrintWindow::Document LabelPrintWindow::chosenDocument() const
{
    return Document(cmbDocument->currentData().toInt());
}

void LabelPrintWindow::documentChanged()
{
    const Document document = chosenDocument();
    grpLayout->setEnabled(document == Document::Labels);
    btnCsv->setEnabled(document != Document::Labels);
    btnXlsx->setEnabled(document == Document::DeliveryList || document == Document::DivisionList);
    const auto refill = qScopeGuard([this] { fillChoices(); });
    readDishRows();
    readContainers();
}

// The lists' dish rows are read from the application server only once a list is chosen.
void LabelPrintWindow::readDishRows()
{
    const Document document = chosenDocument();
    if ((document != Document::DeliveryList && document != Document::DivisionList) || m_rowsRead
        || cmbService->currentIndex() < 0)
        return;
    m_rows = printlists::readDishRows(*netServTran, edtBranch->text().trimmed(), cmbService->currentData().toString(),
                                      dteDay->date());
    m_rowsRead = true;
}

// The report's containers are read from the application server only once it is chosen.
void LabelPrintWindow::readContainers()
{
    if (chosenDocument() != Document::ColdChain || m_containersRead || cmbService->currentIndex() < 0)
        return;
    m_containers = dispatchOfDay(*netServTran, edtBranch->text().trimmed(), cmbService->currentData().toString(),
                                 dteDay->date());
    m_containersRead = true;
}

void LabelPrintWindow::fillChoices()
{
    // The choices of the labels (the report's containers are the labels) or of the dish rows.
    const bool labels = chosenDocument() == Document::Labels || chosenDocument() == Document::ColdChain;
    const QList<NamedCode> points = labels ? pointsOf(m_day) : printlists::pointsOf(m_rows);
    const QList<NamedCode> dishes = labels ? dishesOf(m_day) : printlists::dishesOf(m_rows);
    m_filling = true;
    const QString previousPoint = cmbPoint->currentData().toString();
    cmbPoint->clear();
    cmbPoint->addItem(QStringLiteral("Todos os pontos do dia"), QString());
    for (const NamedCode &point : points)
        cmbPoint->addItem(point.code + QStringLiteral(" - ") + point.name, point.code);
    cmbPoint->setCurrentIndex(std::max(0, cmbPoint->findData(previousPoint)));
    lstDishes->clear();
    for (const NamedCode &dish : dishes) {
        auto *item = new QListWidgetItem(dish.name, lstDishes);
        item->setData(Qt::UserRole, dish.code);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    m_filling = false;
    updateCount();
}

void LabelPrintWindow::layoutKindChanged()
{
    const bool sheet = cmbLayout->currentData().toInt() == int(LayoutKind::Sheet);
    for (QWidget *w : std::initializer_list<QWidget *>{spnRows, spnColumns, spnMarginTop, spnMarginBottom, spnMarginLeft,
                                                      spnMarginRight, spnGapHorizontal, spnGapVertical})
        w->setEnabled(sheet);
}

void LabelPrintWindow::updateCount()
{
    if (m_filling)
        return;
    if (chosenDocument() == Document::ColdChain) {
        const printlists::ColdChainReport report = chosenColdChain();
        lblCount->setText(QStringLiteral("%1 container(s) em %2 ponto(s) de entrega, %3 página(s)")
                              .arg(report.total.containers)
                              .arg(report.points.size())
                              .arg(report.points.isEmpty() ? 0 : printlists::paginate(printlists::coldChainDocument(report)).size()));
        return;
    }
    if (chosenDocument() != Document::Labels) {
        const printlists::KitchenList list = chosenList();
        const QString text = list.kind == printlists::ListKind::Delivery ? QStringLiteral("%1 prato(s) em %2 ponto(s) de entrega, %3 página(s)")
                                                                        : QStringLiteral("%1 entrega(s) de %2 prato(s), %3 página(s)");
        lblCount->setText(text.arg(list.rowCount())
                              .arg(list.groups.size())
                              .arg(list.groups.isEmpty() ? 0 : printlists::paginateList(list).size()));
        return;
    }
    const int labels = int(chosenLabels().size());
    const int pages = chosenLayout().pageCount(labels);
    lblCount->setText(QStringLiteral("%1 etiqueta(s) em %2 página(s)").arg(labels).arg(pages));
}

bool LabelPrintWindow::chosenSelection(LabelSelection &selection) const
{
    selection.point = cmbPoint->currentData().toString();
    bool every = true;
    for (int i = 0; i < lstDishes->count(); ++i) {
        const QListWidgetItem *item = lstDishes->item(i);
        // Read as an int: QListWidgetItem::checkState() would register the enum's meta-type from
        // this library, and the registry would keep pointing into it once the module is unloaded.
        if (item->data(Qt::CheckStateRole).toInt() == Qt::Checked)
            selection.dishes << item->data(Qt::UserRole).toString();
        else
            every = false;
    }
    if (every)
        selection.dishes.clear();
    return every || !selection.dishes.isEmpty();
}

QList<ContainerLabel> LabelPrintWindow::chosenLabels() const
{
    LabelSelection selection;
    return chosenSelection(selection) ? selectLabels(m_day, selection) : QList<ContainerLabel>();
}

printlists::ListDay LabelPrintWindow::chosenDay() const
{
    printlists::ListDay day;
    day.branch = edtBranch->text().trimmed();
    day.branchName = lblBranchName->text();
    day.service = cmbService->currentData().toString();
    day.serviceName = cmbService->currentText().section(QStringLiteral(" - "), 1);
    day.date = dteDay->date();
    return day;
}

printlists::ColdChainReport LabelPrintWindow::chosenColdChain() const
{
    LabelSelection selection;
    if (!chosenSelection(selection))
        return printlists::buildColdChainReport(chosenDay(), {});
    return printlists::buildColdChainReport(chosenDay(), m_containers, selection);
}

printlists::KitchenList LabelPrintWindow::chosenList() const
{
    const printlists::ListKind kind =
        chosenDocument() == Document::DivisionList ? printlists::ListKind::Division : printlists::ListKind::Delivery;
    const printlists::ListDay day = chosenDay();
    LabelSelection selection;
    if (!chosenSelection(selection))
        return printlists::buildList(kind, day, {});
    return printlists::buildList(kind, day, m_rows, printlists::ListFilter{selection.point, selection.dishes});
}

LabelLayout LabelPrintWindow::chosenLayout() const
{
    LabelLayout layout;
    layout.kind = LayoutKind(cmbLayout->currentData().toInt());
    layout.rows = spnRows->value();
    layout.columns = spnColumns->value();
    layout.marginTop = spnMarginTop->value();
    layout.marginBottom = spnMarginBottom->value();
    layout.marginLeft = spnMarginLeft->value();
    layout.marginRight = spnMarginRight->value();
    layout.gapHorizontal = spnGapHorizontal->value();
    layout.gapVertical = spnGapVertical->value();
    return layout;
}

void LabelPrintWindow::restoreChoices()
{
    QSettings settings;
    settings.beginGroup(kSettingsGroup);
    const LabelLayout layout = loadLayout(settings);
    const int document = settings.value(QStringLiteral("documento"), int(Document::Labels)).toInt();
    settings.endGroup();
    {
        const QScopedValueRollback filling(m_filling, true);   // read once the window is filled
        cmbDocument->setCurrentIndex(std::max(0, cmbDocument->findData(document)));
    }
    cmbLayout->setCurrentIndex(std::max(0, cmbLayout->findData(int(layout.kind))));
    spnRows->setValue(layout.rows);
    spnColumns->setValue(layout.columns);
    spnMarginTop->setValue(layout.marginTop);
    spnMarginBottom->setValue(layout.marginBottom);
    spnMarginLeft->setValue(layout.marginLeft);
    spnMarginRight->setValue(layout.marginRight);
    spnGapHorizontal->setValue(layout.gapHorizontal);
    spnGapVertical->setValue(layout.gapVertical);
    layoutKindChanged();
}

void LabelPrintWindow::saveChoices() const
{
    QSettings settings;
    settings.beginGroup(kSettingsGroup);
    saveLayout(settings, chosenLayout());
    settings.setValue(QStringLiteral("servico"), cmbService->currentData().toString());
    settings.setValue(QStringLiteral("documento"), int(chosenDocument()));
    settings.endGroup();
}

printlists::ColdChainReport LabelPrintWindow::startColdChain() const
{
    LabelSelection selection;
    printlists::ColdChainReport report;
    if (chosenSelection(selection) && cmbService->currentIndex() >= 0)
        report = printlists::buildColdChainReport(
            chosenDay(),
            dispatchOfDay(*netServTran, edtBranch->text().trimmed(), cmbService->currentData().toString(), dteDay->date()),
            selection);
    if (report.points.isEmpty())
        throw toolkit::Error(QStringLiteral("Não há containers para relatar nesta seleção."));
    return report;
}

printlists::KitchenList LabelPrintWindow::startList() const
{
    if (chosenDocument() != Document::DeliveryList && chosenDocument() != Document::DivisionList)
        throw toolkit::Error(QStringLiteral("Escolha a lista de entrega ou a lista de divisão para exportar."));
    printlists::KitchenList list = chosenList();
    if (list.groups.isEmpty())
        throw toolkit::Error(QStringLiteral("Não há pratos para listar nesta seleção."));
    return list;
}

LabelPrintWindow::PrintJob LabelPrintWindow::startJob() const
{
    PrintJob job;
    if (chosenDocument() == Document::Labels) {
        QList<ContainerLabel> labels = chosenLabels();
        const LabelLayout layout = chosenLayout();
        if (labels.isEmpty())
            throw toolkit::Error(QStringLiteral("Não há etiquetas para imprimir nesta seleção."));
        if (const QString problem = layout.problem(); !problem.isEmpty())
            throw toolkit::Error(problem);
        job.what = QStringLiteral("etiquetas");
        job.fileStem = QStringLiteral("etiquetas");
        job.steps = int(labels.size());
        job.pageLayout = [layout](QPagedPaintDevice &device) { applyPageLayout(device, layout); };
        job.render = [labels, layout](QPagedPaintDevice &device, const RenderProgress &progress) {
            return renderLabels(device, labels, layout, progress);
        };
    } else if (chosenDocument() == Document::ColdChain) {
        // The document is kept whole in the job, as the list below.
        const auto document = std::make_shared<const printlists::TableDocument>(printlists::coldChainDocument(startColdChain()));
        job.what = QStringLiteral("relatório da cadeia fria");
        job.fileStem = QStringLiteral("cadeia-fria");
        job.steps = int(printlists::paginate(*document).size());
        job.pageLayout = [](QPagedPaintDevice &device) { printlists::applyListPageLayout(device); };
        job.render = [document](QPagedPaintDevice &device, const RenderProgress &progress) {
            return printlists::renderDocument(device, *document, progress);
        };
    } else {
        // The list is kept whole in the job: its pages point into it.
        const auto list = std::make_shared<const printlists::KitchenList>(startList());
        const bool delivery = list->kind == printlists::ListKind::Delivery;
        job.what = delivery ? QStringLiteral("lista de entrega") : QStringLiteral("lista de divisão");
        job.fileStem = listFileStem(list->kind);
        job.steps = int(printlists::paginateList(*list).size());
        job.pageLayout = [](QPagedPaintDevice &device) { printlists::applyListPageLayout(device); };
        job.render = [list](QPagedPaintDevice &device, const RenderProgress &progress) {
            return printlists::renderList(device, *list, progress);
        };
    }
    saveChoices();
    return job;
}

QString LabelPrintWindow::suggestedFile(const QString &stem, const QString &extension) const
{
    QSettings settings;
    QString folder = settings.value(kSettingsGroup + QStringLiteral("/pastaPdf")).toString();
    // Never the program's working folder: the last folder saved to while it is there, else the
    // user's documents.
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    const QString name = QStringLiteral("%1-%2-%3.%4")
                             .arg(stem, cmbService->currentData().toString(), dteDay->date().toString(QStringLiteral("yyyyMMdd")), extension);
    return QDir(folder).filePath(name);
}

bool LabelPrintWindow::renderWithProgress(QPagedPaintDevice &device, const PrintJob &job)
{
    QProgressDialog progress(QStringLiteral("Gerando %1...").arg(job.what), QStringLiteral("Cancelar"), 0, job.steps, this);
    progress.setObjectName(QStringLiteral("dlgProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    return job.render(device, [&progress](int done, int) {
        progress.setValue(done);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
}

bool LabelPrintWindow::writePdf(const QString &path)
{
    const PrintJob job = startJob();
    bool complete = false;
    {
        QPdfWriter pdf(path);
        pdf.setResolution(600);
        pdf.setCreator(QStringLiteral("Serviços Transportados"));
        QString title = job.what;
        title[0] = title[0].toUpper();
        pdf.setTitle(QStringLiteral("%1 de %2").arg(title, dteDay->date().toString(QStringLiteral("dd/MM/yyyy"))));
        complete = renderWithProgress(pdf, job);
    }
    if (!complete)
        QFile::remove(path);
    return complete;
}

void LabelPrintWindow::writeCsv(const QString &path)
{
    if (chosenDocument() == Document::ColdChain)
        printlists::writeColdChainCsv(startColdChain(), path);
    else
        printlists::writeListCsv(startList(), path);
}

void LabelPrintWindow::writeXlsx(const QString &path)
{
    printlists::writeListXlsx(startList(), path);
}

void LabelPrintWindow::previewClicked()
{
    const PrintJob job = startJob();
    QPrinter printer(QPrinter::HighResolution);
    job.pageLayout(printer);
    QPrintPreviewDialog preview(&printer, this);
    preview.setObjectName(QStringLiteral("dlgPreview"));
    preview.setWindowTitle(QStringLiteral("Visualização: %1").arg(job.what));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter *target) {
        toolkit::guarded([&] { job.render(*target, {}); });
    });
    preview.exec();
}

void LabelPrintWindow::printClicked()
{
    const PrintJob job = startJob();
    QPrinter printer(QPrinter::HighResolution);
    job.pageLayout(printer);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Imprimir %1").arg(job.what));
    if (dialog.exec() != QDialog::Accepted)
        return;
    renderWithProgress(printer, job);
}

void LabelPrintWindow::pdfClicked()
{
    const PrintJob job = startJob();   // says what is wrong before the file is asked for
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Gerar PDF: %1").arg(job.what),
                                                      suggestedFile(job.fileStem, QStringLiteral("pdf")),
                                                      QStringLiteral("Documentos PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    QSettings().setValue(kSettingsGroup + QStringLiteral("/pastaPdf"), QFileInfo(path).absolutePath());
    if (writePdf(path))
        framework::presenter().information(QStringLiteral("Documento gravado em %1.").arg(path));
}

void LabelPrintWindow::csvClicked()
{
    const QString what = QStringLiteral("Exportar CSV");
    const QString extension = QStringLiteral("csv");
    const QString filter = QStringLiteral("Planilhas CSV (*.csv)");
    if (chosenDocument() == Document::ColdChain) {
        const printlists::ColdChainReport report = startColdChain();
        exportFile(QStringLiteral("%1: %2").arg(what, printlists::coldChainTitle()), QStringLiteral("cadeia-fria"), extension,
                   filter, QStringLiteral("Relatório gravado em %1."),
                   [&report](const QString &path) { printlists::writeColdChainCsv(report, path); });
        return;
    }
    const printlists::KitchenList list = startList();
    exportFile(QStringLiteral("%1: %2").arg(what, printlists::listTitle(list.kind)), listFileStem(list.kind), extension,
               filter, QStringLiteral("Lista gravada em %1."),
               [&list](const QString &path) { printlists::writeListCsv(list, path); });
}

void LabelPrintWindow::xlsxClicked()
{
    const printlists::KitchenList list = startList();
    exportFile(QStringLiteral("Exportar planilha: %1").arg(printlists::listTitle(list.kind)), listFileStem(list.kind),
               QStringLiteral("xlsx"), QStringLiteral("Planilhas (*.xlsx)"), QStringLiteral("Lista gravada em %1."),
               [&list](const QString &path) { printlists::writeListXlsx(list, path); });
}

void LabelPrintWindow::exportFile(const QString &what, const QString &stem, const QString &extension, const QString &filter,
                                  const QString &saved, const std::function<void(const QString &)> &write)
{
    const QString path = QFileDialog::getSaveFileName(this, what, suggestedFile(stem, extension), filter);
    if (path.isEmpty())
        return;
    QSettings().setValue(kSettingsGroup + QStringLiteral("/pastaPdf"), QFileInfo(path).absolutePath());
    write(path);
    saveChoices();
    framework::presenter().information(saved.arg(path));
}

void openLabelPrintWindow()
{
    if (!theWindow)
        theWindow = framework::createForm<LabelPrintWindow>();
    theWindow->showForm();
}

void forgetLabelPrintWindow()
{
    theWindow = nullptr;
}

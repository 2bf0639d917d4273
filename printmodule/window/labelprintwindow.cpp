#include "labelprintwindow.h"

#include <framework/presenter.h>
#include <framework/zandrix.h>
#include <history/historydialog.h>
#include <labels/labelrenderer.h>
#include <labels/labelsource.h>
#include <toolkit/error.h>

#include <QCoreApplication>
#include <QComboBox>
#include <QDateEdit>
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
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

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

} // namespace

LabelPrintWindow::LabelPrintWindow(QWidget *parent) : framework::Form(parent)
{
    setObjectName(QStringLiteral("labelPrintWindow"));
    setWindowTitle(QStringLiteral("Impressão de Etiquetas dos Serviços Transportados"));
    setFormStyle(framework::FormStyle::MdiChild);
    setHelpContext(12304101);
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
    cmbPoint = new QComboBox(choice);
    cmbPoint->setObjectName(QStringLiteral("cmbPoint"));
    form->addRow(QStringLiteral("Ponto de entrega:"), cmbPoint);
    lstDishes = new QListWidget(choice);
    lstDishes->setObjectName(QStringLiteral("lstDishes"));
    form->addRow(QStringLiteral("Pratos:"), lstDishes);

    auto *paper = new QGroupBox(QStringLiteral("Modelo de etiqueta"), this);
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
    btnPreview = new QPushButton(QStringLiteral("Visualizar"), this);
    btnPreview->setObjectName(QStringLiteral("btnPreview"));
    btnPrint = new QPushButton(QStringLiteral("Imprimir"), this);
    btnPrint->setObjectName(QStringLiteral("btnPrint"));
    btnPdf = new QPushButton(QStringLiteral("Gerar PDF"), this);
    btnPdf->setObjectName(QStringLiteral("btnPdf"));
    btnHistory = new QPushButton(QStringLiteral("Histórico de alterações"), this);
    btnHistory->setObjectName(QStringLiteral("btnHistory"));

    auto *columns = new QHBoxLayout;
    columns->addWidget(choice, 3);
    columns->addWidget(paper, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblCount, 1);
    buttons->addWidget(btnHistory);
    buttons->addWidget(btnPreview);
    buttons->addWidget(btnPrint);
    buttons->addWidget(btnPdf);
    auto *main = new QVBoxLayout(this);
    main->addLayout(columns, 1);
    main->addLayout(buttons);

    const auto guard = [](auto action) { return [action] { toolkit::guarded(action); }; };
    connect(edtBranch, &QLineEdit::editingFinished, this, guard([this] { branchChanged(); }));
    connect(dteDay, &QDateEdit::dateChanged, this, guard([this] { if (!m_filling) reloadDay(); }));
    connect(cmbService, &QComboBox::currentIndexChanged, this, guard([this] { if (!m_filling) reloadDay(); }));
    connect(cmbPoint, &QComboBox::currentIndexChanged, this, [this] { updateCount(); });
    connect(lstDishes, &QListWidget::itemChanged, this, [this] { updateCount(); });
    connect(cmbLayout, &QComboBox::currentIndexChanged, this, [this] { layoutKindChanged(); updateCount(); });
    for (QSpinBox *spin : {spnRows, spnColumns})
        connect(spin, &QSpinBox::valueChanged, this, [this] { updateCount(); });
    connect(btnPreview, &QPushButton::clicked, this, guard([this] { previewClicked(); }));
    connect(btnPrint, &QPushButton::clicked, this, guard([this] { printClicked(); }));
    connect(btnPdf, &QPushButton::clicked, this, guard([this] { pdfClicked(); }));
    connect(btnHistory, &QPushButton::clicked, this, guard([this] { historyClicked(); }));
}

// The history of the chosen service's day, in a window of its own beside this one.
void LabelPrintWindow::historyClicked()
{
    const QString service = cmbService->currentData().toString();
    if (service.isEmpty())
        throw toolkit::Error(QStringLiteral("Escolha o serviço cujo histórico de alterações deseja ver."));
    auto *history = new HistoryDialog(edtBranch->text().trimmed(), service, dteDay->date(), this);
    if (history->reload())
        history->show();
    else
        history->close();
}

void LabelPrintWindow::FormCreate(QObject *)
{
    m_filling = true;
    edtBranch->setText(FiliProc());
    edtBranch->setReadOnly(ModuFili());
    dteDay->setDate(DataProc(FiliProc()));
    m_filling = false;
    restoreChoices();
    branchChanged();
}

void LabelPrintWindow::FormClose(QObject *, CloseAction &Action)
{
    saveChoices();
    Action = caFree;
}

void LabelPrintWindow::branchChanged()
{
    const QString branch = edtBranch->text().trimmed();
    lblBranchName->setText(branchName(branch));
    reloadServices();
    reloadDay();
}

void LabelPrintWindow::reloadServices()
{
    m_filling = true;
    const QString previous = cmbService->currentData().toString();
    cmbService->clear();
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
    if (cmbService->currentIndex() >= 0)
        m_day = labelsOfDay(edtBranch->text().trimmed(), cmbService->currentData().toString(), dteDay->date());
    fillChoices();
}

void LabelPrintWindow::fillChoices()
{
    m_filling = true;
    const QString previousPoint = cmbPoint->currentData().toString();
    cmbPoint->clear();
    cmbPoint->addItem(QStringLiteral("Todos os pontos do dia"), QString());
    for (const NamedCode &point : pointsOf(m_day))
        cmbPoint->addItem(point.code + QStringLiteral(" - ") + point.name, point.code);
    cmbPoint->setCurrentIndex(std::max(0, cmbPoint->findData(previousPoint)));
    lstDishes->clear();
    for (const NamedCode &dish : dishesOf(m_day)) {
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
    const int labels = int(chosenLabels().size());
    const int pages = chosenLayout().pageCount(labels);
    lblCount->setText(QStringLiteral("%1 etiqueta(s) em %2 página(s)").arg(labels).arg(pages));
}

QList<ContainerLabel> LabelPrintWindow::chosenLabels() const
{
    LabelSelection selection;
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
    else if (selection.dishes.isEmpty())
        return {};
    return selectLabels(m_day, selection);
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
    settings.endGroup();
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
    settings.endGroup();
}

LabelPrintWindow::PrintJob LabelPrintWindow::startJob() const
{
    PrintJob job{chosenLabels(), chosenLayout()};
    if (job.labels.isEmpty())
        throw toolkit::Error(QStringLiteral("Não há etiquetas para imprimir nesta seleção."));
    if (const QString problem = job.layout.problem(); !problem.isEmpty())
        throw toolkit::Error(problem);
    saveChoices();
    return job;
}

bool LabelPrintWindow::renderWithProgress(QPagedPaintDevice &device, const QList<ContainerLabel> &labels, const LabelLayout &layout)
{
    QProgressDialog progress(QStringLiteral("Gerando as etiquetas..."), QStringLiteral("Cancelar"), 0, int(labels.size()), this);
    progress.setObjectName(QStringLiteral("dlgProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    return renderLabels(device, labels, layout, [&progress](int done, int) {
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
        pdf.setTitle(QStringLiteral("Etiquetas de %1").arg(dteDay->date().toString(QStringLiteral("dd/MM/yyyy"))));
        complete = renderWithProgress(pdf, job.labels, job.layout);
    }
    if (!complete)
        QFile::remove(path);
    return complete;
}

void LabelPrintWindow::previewClicked()
{
    const PrintJob job = startJob();
    QPrinter printer(QPrinter::HighResolution);
    applyPageLayout(printer, job.layout);
    QPrintPreviewDialog preview(&printer, this);
    preview.setObjectName(QStringLiteral("dlgPreview"));
    preview.setWindowTitle(QStringLiteral("Visualização das etiquetas"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter *target) {
        toolkit::guarded([&] { renderLabels(*target, job.labels, job.layout); });
    });
    preview.exec();
}

void LabelPrintWindow::printClicked()
{
    const PrintJob job = startJob();
    QPrinter printer(QPrinter::HighResolution);
    applyPageLayout(printer, job.layout);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Imprimir etiquetas"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    renderWithProgress(printer, job.labels, job.layout);
}

void LabelPrintWindow::pdfClicked()
{
    startJob();   // says what is wrong before the file is asked for
    QSettings settings;
    const QString lastFolder = settings.value(kSettingsGroup + QStringLiteral("/pastaPdf")).toString();
    const QString suggested = QStringLiteral("etiquetas-%1-%2.pdf")
                                  .arg(cmbService->currentData().toString(), dteDay->date().toString(QStringLiteral("yyyyMMdd")));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Gerar PDF das etiquetas"),
                                                      lastFolder.isEmpty() ? suggested : lastFolder + QLatin1Char('/') + suggested,
                                                      QStringLiteral("Documentos PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    settings.setValue(kSettingsGroup + QStringLiteral("/pastaPdf"), QFileInfo(path).absolutePath());
    if (writePdf(path))
        framework::presenter().information(QStringLiteral("Etiquetas gravadas em %1.").arg(path));
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

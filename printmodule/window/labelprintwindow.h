#pragma once
// The print window of the transported services: the branch and day of the session, a transported
// service, the document (the container labels, the delivery list, the division list or the cold
// chain's report), the whole day or one delivery point, the dishes, the label layout; preview,
// print or write a PDF of the chosen document, or export a list or the report for spreadsheets.
// It reads the labels (and, for a list, the day's dish rows from the application server) once per
// branch, service and day and prints from that copy, so that printing never holds the screen's
// data; the report's containers are read again for each print, as receipts keep arriving.

#include <framework/application.h>

#include <labels/containerlabel.h>
#include <labels/labellayout.h>
#include <labels/labelrenderer.h>
#include <labels/labelsource.h>
#include <lists/coldchainreport.h>
#include <lists/kitchenlist.h>

#include <QList>

#include <functional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPagedPaintDevice;
class QPushButton;
class QSpinBox;

namespace framework {
class TNetConnection;
}

class LabelPrintWindow : public framework::Form {
    Q_OBJECT
public:
    explicit LabelPrintWindow(QWidget *parent = nullptr);
    ~LabelPrintWindow() override;

    void FormCreate(QObject *Sender) override;
    void FormClose(QObject *Sender, CloseAction &Action) override;

    // The labels the choices select now, in print order.
    QList<printlabels::ContainerLabel> chosenLabels() const;
    printlabels::LabelLayout chosenLayout() const;
    // What the window prints: the labels, one of the kitchen lists or the cold chain's report.
    enum class Document { Labels, DeliveryList, DivisionList, ColdChain };
    Document chosenDocument() const;
    // The chosen kitchen list (the document must be a list).
    printlists::KitchenList chosenList() const;
    // The cold chain's report of the chosen containers, of the copy read last.
    printlists::ColdChainReport chosenColdChain() const;
    // Writes the chosen document to a PDF file; false when the user cancelled it (no file is left).
    Q_INVOKABLE bool writePdf(const QString &path);
    // Writes the chosen list or the report as a spreadsheet file (CSV).
    Q_INVOKABLE void writeCsv(const QString &path);
    // Writes the chosen list as a spreadsheet (.xlsx).
    Q_INVOKABLE void writeXlsx(const QString &path);
    // Where the save dialog starts for a file of that stem and extension: the folder last saved
    // to, or the user's documents folder.
    Q_INVOKABLE QString suggestedFile(const QString &stem, const QString &extension) const;

private:
    void buildControls();
    void branchChanged();
    void reloadServices();
    void reloadDay();
    void documentChanged();
    void readDishRows();
    void readContainers();
    printlists::ListDay chosenDay() const;
    void fillChoices();
    void layoutKindChanged();
    void updateCount();
    // The point and dishes chosen; false when no dish is checked (nothing to print).
    bool chosenSelection(printlabels::LabelSelection &selection) const;
    void restoreChoices();
    void saveChoices() const;

    void previewClicked();
    void printClicked();
    void pdfClicked();
    void csvClicked();
    void xlsxClicked();
    // Asks where to save the file, starting from the stem's suggestion, writes it there and says
    // so (`saved` takes the path).
    void exportFile(const QString &what, const QString &stem, const QString &extension, const QString &filter,
                    const QString &saved, const std::function<void(const QString &)> &write);
    void historyClicked();
    void dispatchClicked();
    // What printing the chosen document takes: its page and its drawing.
    struct PrintJob {
        QString what;        // "etiquetas", "lista de entrega"...
        QString fileStem;    // the suggested file name's start
        int steps = 0;       // what the drawing tells its progress in (labels, pages)
        std::function<void(QPagedPaintDevice &)> pageLayout;
        std::function<bool(QPagedPaintDevice &, const printlabels::RenderProgress &)> render;
    };
    // Renders with a progress dialog the user can cancel; true when the whole document was drawn.
    bool renderWithProgress(QPagedPaintDevice &device, const PrintJob &job);
    // The chosen document ready to print, the choices saved for the next time; toolkit::Error
    // when there is nothing to print or the layout cannot be printed.
    PrintJob startJob() const;
    // The chosen list with rows to print; toolkit::Error when it has none.
    printlists::KitchenList startList() const;
    // The report of the chosen containers as the server has them now; toolkit::Error when it has none.
    printlists::ColdChainReport startColdChain() const;

    QLineEdit *edtBranch;
    QLabel *lblBranchName;
    QDateEdit *dteDay;
    QComboBox *cmbDocument;
    QComboBox *cmbService;
    QComboBox *cmbPoint;
    QListWidget *lstDishes;
    QComboBox *cmbLayout;
    QSpinBox *spnRows;
    QSpinBox *spnColumns;
    QDoubleSpinBox *spnMarginTop;
    QDoubleSpinBox *spnMarginBottom;
    QDoubleSpinBox *spnMarginLeft;
    QDoubleSpinBox *spnMarginRight;
    QDoubleSpinBox *spnGapHorizontal;
    QDoubleSpinBox *spnGapVertical;
    QLabel *lblCount;
    QLabel *lblMissing;   // what the day's labels refer to that is not registered
    QPushButton *btnPreview;
    QPushButton *btnPrint;
    QPushButton *btnPdf;
    QPushButton *btnCsv;
    QPushButton *btnXlsx;
    QWidget *grpLayout;
    framework::TNetConnection *netServTran;
    QPushButton *btnHistory;
    QPushButton *btnDispatch;

    QList<printlabels::ContainerLabel> m_day;   // every label of the service on the day
    QList<printlists::DishRow> m_rows;          // every dish row of the service on the day
    bool m_rowsRead = false;                    // m_rows holds the day's (read when a list is first chosen)
    QList<printlabels::ContainerDispatch> m_containers;   // the day's containers (read when the report is chosen)
    bool m_containersRead = false;
    bool m_branchRefused = false;                // the operator may not use the branch typed
    bool m_filling = false;                      // lists being refilled: their signals are not choices
};

// The module's one window: created on the first opening, shown again on the next ones.
void openLabelPrintWindow();
// A fresh load of the module starts without a window.
void forgetLabelPrintWindow();

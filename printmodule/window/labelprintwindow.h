#pragma once
// The label print window: the branch and day of the session, a transported service, the whole
// day or one delivery point, the dishes, the layout; preview, print or write a PDF of the chosen
// labels. It reads the labels once per branch, service and day and prints from that copy, so
// that printing never holds the screen's data.

#include <framework/application.h>

#include <labels/containerlabel.h>
#include <labels/labellayout.h>

#include <QList>

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
    // Writes the chosen labels to a PDF file; false when the user cancelled it (no file is left).
    Q_INVOKABLE bool writePdf(const QString &path);

private:
    void buildControls();
    void branchChanged();
    void reloadServices();
    void reloadDay();
    void fillChoices();
    void layoutKindChanged();
    void updateCount();
    void restoreChoices();
    void saveChoices() const;

    void previewClicked();
    void printClicked();
    void pdfClicked();
    void historyClicked();
    // Renders with a progress dialog the user can cancel; true when every label was drawn.
    bool renderWithProgress(QPagedPaintDevice &device, const QList<printlabels::ContainerLabel> &labels,
                            const printlabels::LabelLayout &layout);
    struct PrintJob {
        QList<printlabels::ContainerLabel> labels;
        printlabels::LabelLayout layout;
    };
    // The chosen labels and layout, the choices saved for the next time; toolkit::Error when
    // there is nothing to print or the layout cannot be printed.
    PrintJob startJob() const;

    QLineEdit *edtBranch;
    QLabel *lblBranchName;
    QDateEdit *dteDay;
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
    QPushButton *btnPreview;
    QPushButton *btnPrint;
    QPushButton *btnPdf;
    QPushButton *btnHistory;

    QList<printlabels::ContainerLabel> m_day;   // every label of the service on the day
    bool m_filling = false;                      // lists being refilled: their signals are not choices
};

// The module's one window: created on the first opening, shown again on the next ones.
void openLabelPrintWindow();
// A fresh load of the module starts without a window.
void forgetLabelPrintWindow();

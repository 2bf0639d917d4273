#pragma once
// The grid-maintenance base screen: an MDI child with a toolbar of command buttons and their
// maintenance menu, a main grid on its data source, a navigator, message tables and printer
// components. A derived screen fills msgPadrao, points dtsPadrao at its dataset, places its own
// panels above and below the grid panel, and replaces the handlers below, calling the base's
// where it wants the standard work.
//
// Keys of the maintenance menu (chosen not to clash with typing in a grid, where Esc, Insert,
// Ctrl+Delete, Ctrl+Enter and the arrows already mean something):
//   F2 Incluir, F6 Alterar, F8 Excluir, F3 Procurar, F5 Verificar, F9 Cancelar, F10 Confirmar.

#include "application.h"
#include "buttonflat.h"
#include "framework_export.h"
#include "messages.h"
#include "printdialogs.h"

#include <QAction>
#include <QMenu>

class QMenuBar;
class QScrollArea;
class QTabWidget;
class QLabel;
class QVBoxLayout;
class QHBoxLayout;

namespace toolkit {
class DataSource;
class DBGrid;
class DBNavigator;
class DBText;
class Panel;
}

namespace framework {

class FRAMEWORK_EXPORT TfrmPadraoGrid : public Form {
    Q_OBJECT
public:
    explicit TfrmPadraoGrid(QWidget *parent = nullptr);
    ~TfrmPadraoGrid() override;

    // The screen code shown in lblCodTela ("PLA04100").
    void setScreenCode(const QString &code);
    QString screenCode() const;

    // --- Handlers a derived screen replaces; each base version does the standard work for
    // dbgPadrao and the dataset of dtsPadrao. ---
    void FormCreate(QObject *Sender) override;                              // initial toolbar
    void FormClose(QObject *Sender, CloseAction &Action) override;          // Action := caFree
    void FormKeyDown(QObject *Sender, int &Key, Qt::KeyboardModifiers Shift) override;   // nothing
    virtual void dbgPadraoKeyDown(QObject *Sender, int &Key, Qt::KeyboardModifiers Shift);  // nothing
    virtual void dbgPadraoKeyPress(QObject *Sender, QChar &Key);                          // nothing
    // Toolbar and menu by the state of dtsPadrao's dataset: Incluir, Procurar, Verificar while
    // browsing; Alterar, Excluir while browsing a non-empty list; Confirmar, Cancelar while
    // editing; the navigator while browsing.
    virtual void dtsPadraoStateChange(QObject *Sender);
    virtual void sbtIncluirClick(QObject *Sender);     // insert a row, focus the grid
    virtual void sbtAlterarClick(QObject *Sender);     // edit the row, focus the grid
    virtual void sbtExcluirClick(QObject *Sender);     // "Excl" confirmation, then delete
    virtual void sbtProcurarClick(QObject *Sender);    // Procura on the dataset
    virtual void sbtVerificarClick(QObject *Sender);   // a query runs again; others: nothing
    virtual void sbtCancelarClick(QObject *Sender);    // cancel the row being edited
    virtual void sbtConfirmarClick(QObject *Sender);   // post the row being edited
    virtual void sbtImprimirClick(QObject *Sender);    // nothing: printing is the screen's
    virtual void sbtAjudaClick(QObject *Sender);       // shows the screen's help context
    virtual void sbtFecharClick(QObject *Sender);      // closes the screen

    // --- Components, by the names the screens use ---
    QMenuBar *mnuMenu;
    QMenu *mnuManutencao;
    QAction *mnuIncluir, *mnuAlterar, *mnuExcluir, *mnuProcurar, *mnuVerificar, *mnuCancelar, *mnuConfirmar;
    QAction *mnuLinha1, *mnuLinha2, *mnuLinha3;       // separators of the maintenance menu
    toolkit::Panel *panMenu;
    TButtonFlat *sbtIncluir, *sbtAlterar, *sbtExcluir, *sbtProcurar, *sbtVerificar, *sbtCancelar, *sbtConfirmar,
        *sbtImprimir, *sbtAjuda, *sbtFechar;
    QLabel *lblCodTela;
    QTabWidget *pgcPadrao;
    QWidget *tshPadrao;
    QScrollArea *scbFolhaDados;
    toolkit::Panel *panDbgPadrao;
    toolkit::DBGrid *dbgPadrao;
    toolkit::DataSource *dtsPadrao;
    toolkit::Panel *panNavigator;
    toolkit::DBText *dbtNome;
    toolkit::DBNavigator *dbnPadrao;
    TMessages *msgPadrao;
    TMessages *msgMensagensPadroes;
    TPrinterSetupDialog *psdConfigurar;
    TPrintDialog *prdImprimir;
    QMenu *pmnNavegar;

    // A command button and its menu item (nullptr for the buttons without one).
    QAction *menuItemOf(const TButtonFlat *button) const;

protected:
    // Panels of the derived screen, above and below panDbgPadrao in the data sheet.
    void addAboveGrid(QWidget *widget, int stretch = 0);
    void addBelowGrid(QWidget *widget, int stretch = 0);
    void setGridStretch(int stretch);
    QVBoxLayout *dataLayout() const { return m_dataLayout; }
    // Adds a command to the toolbar (before Imprimir) and, when `menuItem` is given, to the
    // maintenance menu after a separator named `separatorName`.
    void addCommand(TButtonFlat *button, QAction *menuItem = nullptr, const QString &separatorName = QString());

private:
    TButtonFlat *makeButton(const QString &name, const QString &hint, QStyle::StandardPixmap glyph,
                            void (TfrmPadraoGrid::*handler)(QObject *));
    QAction *makeItem(const QString &name, const QString &text, const QKeySequence &keys, TButtonFlat *button,
                      void (TfrmPadraoGrid::*handler)(QObject *));

    QVBoxLayout *m_dataLayout;
    QHBoxLayout *m_toolbarLayout;
    QHash<const TButtonFlat *, QAction *> m_pairs;
};

} // namespace framework

using framework::TfrmPadraoGrid;

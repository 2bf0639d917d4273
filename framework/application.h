#pragma once
// The application: its main window (an MDI area), the form factory, and the lifecycle every form
// of the framework goes through: FormCreate right after construction, FormActivate at every
// activation, FormClose when it closes, with the close action deciding what happens next.

#include "framework_export.h"

#include <QMainWindow>
#include <QPointer>
#include <QWidget>

#include <type_traits>
#include <utility>

class QMdiArea;
class QMdiSubWindow;

namespace framework {

// What happens to a form after its FormClose handler.
enum CloseAction {
    caNone,       // the form stays open
    caHide,       // hidden, kept for a later show
    caFree,       // destroyed (deleteLater) after the handler
    caMinimize,   // minimized
};

enum class FormStyle { Normal, MdiChild };

// The application's main window: the MDI area every MDI child form goes into. The first one
// built becomes the application's main window (mainWindow()).
class FRAMEWORK_EXPORT MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    QMdiArea *mdiArea() const { return m_area; }

private:
    QMdiArea *m_area;
};

// The registered main window, or nullptr.
FRAMEWORK_EXPORT MainWindow *mainWindow();

// Qt's own texts (standard buttons, print preview, file and printer dialogs) in the language of
// the default locale, from the system's Qt translations. False when none are installed.
FRAMEWORK_EXPORT bool installQtTranslations();

// The handlers of a form's lifecycle; each runs through toolkit::guarded, so that what it throws
// ends in the application's error handling. A throwing FormClose keeps the form open.
class FRAMEWORK_EXPORT FormHandlers {
public:
    virtual ~FormHandlers();
    virtual void FormCreate(QObject *Sender);
    virtual void FormActivate(QObject *Sender);
    virtual void FormClose(QObject *Sender, CloseAction &Action);
};

// A form: a window of its own, or an MDI child in the main window's area.
class FRAMEWORK_EXPORT Form : public QWidget, public FormHandlers {
    Q_OBJECT
public:
    explicit Form(QWidget *parent = nullptr);
    ~Form() override;

    FormStyle formStyle() const { return m_style; }
    void setFormStyle(FormStyle style) { m_style = style; }
    int helpContext() const { return m_helpContext; }
    void setHelpContext(int context) { m_helpContext = context; }

    // The MDI window that holds the form (nullptr for a form of its own).
    QMdiSubWindow *subWindow() const;
    // The window the user sees: the MDI window, or the form itself.
    QWidget *frame() const;

    // Shows the form at its normal size (not minimized or maximized) and brings it to the front.
    void showForm();
    // Closes the form as the user would (the close button of its window).
    void closeForm();

    // The control with the keyboard focus in this form (also while the form's window is not
    // active); focus in a grid's cell editor counts as the grid.
    QWidget *activeControl() const;
    // Puts the focus on the first control of the tab order that takes it, unless a control of
    // the form has it already: a form never waits for keys with no control visibly focused.
    void focusFirstControl();

    // Form-level key preview: called with every key pressed in a control of this form before the
    // control sees it. Qt::Key codes; a handler that sets the key to 0 consumes it.
    virtual void FormKeyDown(QObject *Sender, int &Key, Qt::KeyboardModifiers Shift);

    void setVisible(bool visible) override;

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    FormStyle m_style = FormStyle::Normal;
    int m_helpContext = 0;
    bool m_closing = false;
    QMetaObject::Connection m_proxyGone;
};

// Places a new form (an MDI child goes into a window of the main window's area) and runs its
// FormCreate. When FormCreate throws, the form is destroyed and the exception travels on.
FRAMEWORK_EXPORT void registerForm(Form *form);
// Dialogs and other windows with the lifecycle: runs FormCreate.
FRAMEWORK_EXPORT void registerForm(QWidget *window, FormHandlers *handlers);

// The form factory: builds a T and puts it through its creation.
template <typename T, typename... Args>
T *createForm(Args &&...args)
{
    T *form = new T(std::forward<Args>(args)...);
    if constexpr (std::is_base_of_v<Form, T>)
        registerForm(static_cast<Form *>(form));
    else
        registerForm(static_cast<QWidget *>(form), static_cast<FormHandlers *>(form));
    return form;
}

} // namespace framework

using framework::caFree;
using framework::caHide;
using framework::caMinimize;
using framework::caNone;
using framework::CloseAction;

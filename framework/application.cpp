#include "application.h"

#include <toolkit/dbgrid.h>
#include <toolkit/designmetrics.h>
#include <toolkit/error.h>

#include <algorithm>

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTranslator>

namespace framework {

namespace {

QPointer<MainWindow> &registeredMain()
{
    static QPointer<MainWindow> main;
    return main;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), m_area(new QMdiArea(this))
{
    setObjectName(QStringLiteral("frmPrincipal"));
    m_area->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(m_area);
    if (!registeredMain())
        registeredMain() = this;
    // An MDI child is activated when its window becomes the area's active one.
    connect(m_area, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow *sub) {
        if (!sub)
            return;
        if (auto *form = qobject_cast<Form *>(sub->widget())) {
            toolkit::guarded([form] { form->FormActivate(form); });
            form->focusFirstControl();
        }
    });
}

MainWindow::~MainWindow()
{
    // Children forms first, while the main window is still whole: their close handlers may ask
    // for it.
    const QList<QMdiSubWindow *> subs = m_area->subWindowList();
    for (QMdiSubWindow *sub : subs)
        delete sub;
}

MainWindow *mainWindow()
{
    return registeredMain();
}

bool installQtTranslations()
{
    auto *translator = new QTranslator(qApp);
    if (!translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

FormHandlers::~FormHandlers() = default;
void FormHandlers::FormCreate(QObject *) {}
void FormHandlers::FormActivate(QObject *) {}
void FormHandlers::FormClose(QObject *, CloseAction &) {}

Form::Form(QWidget *parent) : QWidget(parent)
{
    qApp->installEventFilter(this);
    // A press on a part of the form that takes no focus (a toolbar or look-up button, a panel, a
    // label) would hand the focus to the first container that takes it, the MDI window at last,
    // and the control the user was in would take that as being left (a grid cancels or posts
    // its row, a header runs its checks). The form takes that click focus on behalf of the
    // control that has it: that control is the form's focus proxy, kept up to date.
    setFocusPolicy(Qt::ClickFocus);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (!now || now == this || !isAncestorOf(now) || now == focusProxy())
            return;
        disconnect(m_proxyGone);
        setFocusProxy(now);
        m_proxyGone = connect(now, &QObject::destroyed, this, [this] { setFocusProxy(nullptr); });
    });
}

Form::~Form()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

QMdiSubWindow *Form::subWindow() const
{
    return qobject_cast<QMdiSubWindow *>(parentWidget());
}

QWidget *Form::frame() const
{
    if (QMdiSubWindow *sub = subWindow())
        return sub;
    return const_cast<Form *>(this);
}

namespace {
// The MDI area places a new window by its own rule, which may push part of it out of sight: it
// is moved back inside (its size is never more than the area's, see registerForm).
void keepInsideArea(QMdiSubWindow *sub)
{
    QMdiArea *area = sub->mdiArea();
    if (!area || sub->isMaximized() || sub->isMinimized())
        return;
    const QSize room = area->viewport()->size();
    const QRect frame = sub->geometry();
    const QPoint inside(std::max(0, std::min(frame.x(), room.width() - frame.width())),
                        std::max(0, std::min(frame.y(), room.height() - frame.height())));
    if (inside != frame.topLeft())
        sub->move(inside);
}
} // namespace

void Form::setVisible(bool visible)
{
    QWidget::setVisible(visible);
    if (visible) {
        if (QMdiSubWindow *sub = subWindow(); sub && !sub->isVisible()) {
            sub->show();
            keepInsideArea(sub);
        }
    }
}

void Form::showForm()
{
    if (QMdiSubWindow *sub = subWindow()) {
        setVisible(true);
        sub->showNormal();
        keepInsideArea(sub);
        sub->raise();
        if (QMdiArea *area = sub->mdiArea())
            area->setActiveSubWindow(sub);
        return;
    }
    showNormal();
    raise();
    activateWindow();
}

void Form::focusFirstControl()
{
    QWidget *focused = QApplication::focusWidget();
    if (focused && focused != this && isAncestorOf(focused))
        return;
    for (QWidget *w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
        if (isAncestorOf(w) && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void Form::closeForm()
{
    if (QMdiSubWindow *sub = subWindow())
        sub->close();
    else
        close();
}

QWidget *Form::activeControl() const
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus || !isAncestorOf(focus))
        focus = focusWidget();
    if (!focus || !isAncestorOf(focus))
        return nullptr;
    // A grid's cell editor is the grid, as far as the screens are concerned.
    for (QWidget *w = focus->parentWidget(); w && w != this; w = w->parentWidget())
        if (qobject_cast<QAbstractItemView *>(w))
            return w;
    return focus;
}

void Form::FormKeyDown(QObject *, int &, Qt::KeyboardModifiers) {}

bool Form::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && isWindow())
        toolkit::guarded([this] { FormActivate(this); });
    return QWidget::event(event);
}

void Form::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    CloseAction action = m_style == FormStyle::MdiChild ? caMinimize : caHide;
    if (!toolkit::guarded([&] { FormClose(this, action); })) {
        event->ignore();
        return;
    }
    QMdiSubWindow *sub = subWindow();
    switch (action) {
    case caNone:
        event->ignore();
        return;
    case caMinimize:
        event->ignore();
        if (sub)
            sub->showMinimized();
        else
            showMinimized();
        return;
    case caHide:
        event->accept();
        if (sub)
            sub->hide();
        return;
    case caFree:
        event->accept();
        m_closing = true;
        if (sub) {
            // Hide the MDI window before the form: with the focus still inside a form being
            // hidden, the area would hand it back to the window that holds the form, forever.
            sub->hide();
            sub->deleteLater();
        } else {
            deleteLater();
        }
        return;
    }
}

bool Form::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() && watched == QApplication::focusWidget()) {
        auto *widget = static_cast<QWidget *>(watched);
        if (widget == this || isAncestorOf(widget)) {
            auto *keyEvent = static_cast<QKeyEvent *>(event);
            // Ctrl+Tab is how the keyboard leaves a grid whose Tab moves between its cells; the
            // MDI area, which sees keys before the controls do, would take it to cycle windows.
            if ((keyEvent->key() == Qt::Key_Tab || keyEvent->key() == Qt::Key_Backtab)
                && (keyEvent->modifiers() & Qt::ControlModifier)) {
                for (QWidget *w = widget; w && w != this; w = w->parentWidget()) {
                    if (auto *grid = qobject_cast<toolkit::DBGrid *>(w)) {
                        const bool forward = keyEvent->key() == Qt::Key_Tab && !(keyEvent->modifiers() & Qt::ShiftModifier);
                        toolkit::guarded([&] { grid->leaveToNextControl(forward); });
                        return true;
                    }
                }
            }
            int key = keyEvent->key();
            toolkit::guarded([&] { FormKeyDown(this, key, keyEvent->modifiers()); });
            if (key == 0)
                return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void registerForm(Form *form)
{
    try {
        if (form->formStyle() == FormStyle::MdiChild && mainWindow() && !form->subWindow()) {
            // Designed for a smaller font: the form grows with the font in use.
            const QSize designed = toolkit::scaled(form->size(), form);
            QMdiArea *area = mainWindow()->mdiArea();
            QMdiSubWindow *sub = area->addSubWindow(form);
            sub->setObjectName(form->objectName() + QStringLiteral("Janela"));
            sub->setWindowIcon(form->windowIcon());
            // The MDI window opens at the size the form was designed for (frame included), not
            // at the small size hint of a form that scrolls its contents; never larger than the
            // area shows, so that no part of it (its buttons least of all) opens out of sight.
            const QSize frame = sub->sizeHint() - form->sizeHint();
            QSize size = designed + frame.expandedTo(QSize(0, 0));
            if (const QSize room = area->viewport()->size(); !room.isEmpty())
                size = size.boundedTo(room);
            sub->resize(size);
            sub->hide();
        }
        form->FormCreate(form);
    } catch (...) {
        if (QMdiSubWindow *sub = form->subWindow())
            delete sub;
        else
            delete form;
        throw;
    }
}

void registerForm(QWidget *window, FormHandlers *handlers)
{
    try {
        handlers->FormCreate(window);
    } catch (...) {
        delete window;
        throw;
    }
}

} // namespace framework

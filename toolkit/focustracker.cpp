#include "focustracker.h"

#include "error.h"

#include <QApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QMdiSubWindow>

#include <utility>

namespace toolkit {

FocusTracker *FocusTracker::instance()
{
    // Parented to the application, so it goes with it (tests create one application per run).
    static QPointer<FocusTracker> tracker;
    if (!tracker)
        tracker = new FocusTracker(qApp);
    return tracker;
}

FocusTracker::FocusTracker(QObject *parent) : QObject(parent)
{
    connect(qApp, &QApplication::focusChanged, this, &FocusTracker::focusChanged);
    qApp->installEventFilter(this);
}

bool FocusTracker::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        // Sent just before the application tells of the change: how the focus came.
        m_focusReason = static_cast<QFocusEvent *>(event)->reason();
        break;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // The user acts in a form: whatever moves the focus from now on is theirs. A click
        // gives the focus before its press reaches anyone: the press of the click that was
        // refused comes after the refusal, and is not a new act.
        if (watched->isWidgetType()) {
            if (const auto state = m_forms.value(formOf(static_cast<QWidget *>(watched)))) {
                if (event->type() == QEvent::MouseButtonPress && state->refusedInPress)
                    state->refusedInPress = false;
                else
                    state->refused = nullptr;
            }
        }
        break;
    default:
        break;
    }
    return false;
}

void FocusTracker::add(QWidget *widget, FocusListener *listener)
{
    m_listeners.insert(widget, listener);
}

void FocusTracker::remove(QWidget *widget)
{
    m_listeners.remove(widget);
    m_running.remove(widget);
}

QWidget *FocusTracker::formOf(const QWidget *widget)
{
    auto *w = const_cast<QWidget *>(widget);
    while (w && !w->isWindow() && !qobject_cast<QMdiSubWindow *>(w))
        w = w->parentWidget();
    return w;
}

void FocusTracker::refuse(FormState &state, QWidget *control)
{
    state.refused = control;
    state.refusedInPress = QGuiApplication::mouseButtons() != Qt::NoButton;
}

void FocusTracker::keep(QWidget *control)
{
    if (QWidget *form = control ? formOf(control) : nullptr)
        refuse(*stateOf(form), control);
}

QWidget *FocusTracker::activeControl(const QWidget *widget) const
{
    const auto state = m_forms.value(formOf(widget));
    return state ? state->focused.data() : nullptr;
}

std::shared_ptr<FocusTracker::FormState> FocusTracker::stateOf(QWidget *form)
{
    auto &state = m_forms[form];
    if (!state) {
        state = std::make_shared<FormState>();
        connect(form, &QObject::destroyed, this, [this, form] { m_forms.remove(form); });
    }
    return state;
}

bool FocusTracker::notify(QWidget *widget, bool entered)
{
    FocusListener *listener = m_listeners.value(widget);
    if (!listener || m_running.contains(widget))
        return true;
    m_running.insert(widget);
    bool completed = true;
    try {
        entered ? listener->focusEntered() : listener->focusExited();
    } catch (...) {
        completed = false;
        handleException(std::current_exception());
    }
    m_running.remove(widget);
    return completed;
}

bool FocusTracker::moved(const std::shared_ptr<FormState> &state, QWidget *form, QWidget *now)
{
    if (state->focused != now)
        return true;
    // A handler gave the focus to another control while the window was not active (a dialog
    // had just closed): Qt only records it as the window's focus child, and tells nothing until
    // the window is active again. The form's active control changes now all the same.
    QWidget *child = form->window()->focusWidget();
    if (child && child != now && formOf(child) == form) {
        focusChanged(nullptr, child);
        return true;
    }
    return false;
}

void FocusTracker::focusChanged(QWidget *, QWidget *now)
{
    const Qt::FocusReason reason = std::exchange(m_focusReason, Qt::OtherFocusReason);
    if (!now)
        return;   // the window lost activation: its active control stays what it was
    QWidget *form = formOf(now);
    if (!form)
        return;
    const auto state = stateOf(form);
    if (state->focused == now)
        return;   // back from a dialog, or a transition to this control is already running
    // The form's frame or a container of the active control took the focus (a press on the MDI
    // window's title bar or border, a window being minimized): no control was left for another.
    if (now == form || (state->focused && now->isAncestorOf(state->focused)))
        return;
    // Nobody acted since an exit was refused and the focus did not come by a key or a click:
    // it goes back where the refusal left it.
    const bool byUser = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                        reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason;
    if (QWidget *kept = state->refused) {
        if (!byUser && kept->isEnabled() && kept->isVisible() && formOf(kept) == form) {
            state->focused = kept;
            kept->setFocus(Qt::OtherFocusReason);
            return;
        }
        state->refused = nullptr;
    }
    const QPointer<QWidget> left = state->focused;
    state->focused = now;

    // Leave, from the innermost, every widget of the chain that does not hold the new control.
    while (!state->chain.isEmpty()) {
        QWidget *last = state->chain.constLast();
        if (last && (last == now || last->isAncestorOf(now)))
            break;
        if (last && !m_running.contains(last)) {
            const bool completed = notify(last, false);
            if (moved(state, form, now)) {
                // The handler moved the focus: that transition has taken over. A refusal keeps
                // the focus where its handler put it.
                if (!completed)
                    refuse(*state, state->focused);
                return;
            }
            if (!completed) {
                // A refused exit keeps the user where they were: the chain still leads to that
                // control, so it is not entered again, and nothing further is left or entered.
                state->focused = left;
                refuse(*state, left);
                if (left && left->isEnabled() && left->isVisible())
                    left->setFocus(Qt::OtherFocusReason);
                return;
            }
        }
        if (!state->chain.isEmpty() && state->chain.constLast() == last)
            state->chain.removeLast();
    }

    // Enter, from the outermost, every widget between the chain's end and the new control.
    QList<QWidget *> path;
    for (QWidget *w = now; w; w = (w == form) ? nullptr : w->parentWidget())
        path.prepend(w);
    // A widget moved to another parent since: keep only what still lies on the path.
    qsizetype common = 0;
    while (common < state->chain.size() && common < path.size() && state->chain.at(common) == path.at(common))
        ++common;
    state->chain.resize(common);
    for (qsizetype i = state->chain.size(); i < path.size(); ++i) {
        state->chain.append(path.at(i));
        notify(path.at(i), true);
        if (moved(state, form, now))
            return;
    }
}

} // namespace toolkit

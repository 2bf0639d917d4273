#pragma once
// Enter and exit of controls as a form sees them: each window (or MDI child) keeps its own
// active control, and a control or container is entered or left only when that changes.
// A modal dialog taking the focus, the window losing activation, or the form's own frame or a
// container of the active control taking it, changes nothing; when the focus comes back to the
// control it left from, nothing fires either.
//
// Exits run from the control left up to the first container that also holds the new control,
// then enters run from below that container down to the new control. A handler that moves the
// focus itself starts a new transition at once; the one it interrupted stops there, and a
// widget whose handler is still running is not notified again (no endless recursion). An exit
// handler that fails (a check that showed its message) ends the transition and gives the
// focus back to the control that was being left, as if it had never been left.
//
// That control keeps the focus until the user acts in the form again (a key, a click): when the
// message closes, the window manager activates the window again and Qt hands the focus to the
// control a Tab was heading for (or the MDI window restores the one it remembers). Such a move,
// not made by a key or a click, is not the user leaving the control: it is turned back without
// running any check, so that a refused value is never refused again behind the user's back.
//
// Internal to the toolkit: the widgets register themselves and expose onEnter/onExit events.

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <memory>

namespace toolkit {

class FocusListener {
public:
    virtual ~FocusListener() = default;
    // Called with the focus already on its new widget. Whatever escapes is handed to the
    // application's error handling by the tracker.
    virtual void focusEntered() = 0;
    virtual void focusExited() = 0;
};

class FocusTracker : public QObject {
    Q_OBJECT
public:
    static FocusTracker *instance();

    // The listener is called for `widget`; remove it before the widget goes away.
    void add(QWidget *widget, FocusListener *listener);
    void remove(QWidget *widget);

    // The control the widget's form considers active (null before any focus came to it).
    QWidget *activeControl(const QWidget *widget) const;
    // The form a widget belongs to: its window, or the MDI child that holds it.
    static QWidget *formOf(const QWidget *widget);

    // A control that refused to be left by its own means (a grid writing its cell before its
    // Tab moves on) keeps the focus as after a refused exit, until the user acts again.
    void keep(QWidget *control);

private:
    explicit FocusTracker(QObject *parent);
    void focusChanged(QWidget *old, QWidget *now);
    // False when the handler failed (its exception already went to the error handling).
    bool notify(QWidget *widget, bool entered);
    bool eventFilter(QObject *watched, QEvent *event) override;

    struct FormState {
        QPointer<QWidget> focused;            // the control the focus went to last
        QList<QPointer<QWidget>> chain;       // from the form down to where enter/exit stand
        QPointer<QWidget> refused;            // kept by a refused exit until the user acts again
        bool refusedInPress = false;          // refused by the click whose press is still to come
    };
    std::shared_ptr<FormState> stateOf(QWidget *form);
    bool moved(const std::shared_ptr<FormState> &state, QWidget *form, QWidget *now);
    static void refuse(FormState &state, QWidget *control);

    QHash<QWidget *, std::shared_ptr<FormState>> m_forms;
    QHash<QWidget *, FocusListener *> m_listeners;
    QSet<QWidget *> m_running;                // widgets whose handler is running now
    Qt::FocusReason m_focusReason = Qt::OtherFocusReason;   // of the focus change being told
};

} // namespace toolkit

#pragma once
// A panel whose enter and exit events follow the focus among its children as a form sees it:
// onEnter when the focus comes to one of its children from a control outside it, onExit when
// it leaves them all for another control of the same window. A modal dialog opened meanwhile
// (a validation message, a lookup) is not the focus leaving, and its closing is not an enter.

#include "event.h"
#include "focustracker.h"
#include "toolkit_export.h"

#include <QFrame>

namespace toolkit {

class TOOLKIT_EXPORT Panel : public QFrame, protected FocusListener {
    Q_OBJECT
public:
    explicit Panel(QWidget *parent = nullptr, const QString &name = QString());
    ~Panel() override;

    // Handlers take the panel as sender and may throw (the exception goes to the application's
    // error handling). A handler may move the focus itself.
    Event<QObject *> onEnter, onExit;

    // Whether the window's active control is inside the panel.
    bool containsActiveControl() const;

protected:
    void focusEntered() override;
    void focusExited() override;
};

} // namespace toolkit

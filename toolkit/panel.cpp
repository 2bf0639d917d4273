#include "panel.h"

namespace toolkit {

Panel::Panel(QWidget *parent, const QString &name) : QFrame(parent)
{
    setObjectName(name);
    FocusTracker::instance()->add(this, this);
}

Panel::~Panel()
{
    FocusTracker::instance()->remove(this);
}

bool Panel::containsActiveControl() const
{
    const QWidget *active = FocusTracker::instance()->activeControl(this);
    return active && (active == this || isAncestorOf(active));
}

void Panel::focusEntered()
{
    onEnter(this);
}

void Panel::focusExited()
{
    onExit(this);
}

} // namespace toolkit

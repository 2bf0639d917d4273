#include "label.h"

#include <QMouseEvent>

namespace toolkit {

Label::Label(const QString &caption, QWidget *parent, const QString &name) : QLabel(caption, parent)
{
    setObjectName(name);
}

void Label::setFocusControl(QWidget *control)
{
    m_focusControl = control;
    setBuddy(control);   // Qt's own mnemonic handling focuses the buddy
}

void Label::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_focusControl && m_focusControl->isEnabled()
        && m_focusControl->isVisible()) {
        m_focusControl->setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

} // namespace toolkit

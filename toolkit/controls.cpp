#include "controls.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QVariant>

namespace toolkit {

void setTag(QWidget *widget, int tag)
{
    widget->setProperty("tag", tag);
}

int tag(const QWidget *widget)
{
    return widget ? widget->property("tag").toInt() : 0;
}

void setDisplayOnly(QWidget *widget, bool on)
{
    widget->setProperty("displayOnly", on);
}

bool isDisplayOnly(const QWidget *widget)
{
    return widget && widget->property("displayOnly").toBool();
}

QLineEdit *newDisplayEdit(QWidget *parent, const QString &name, bool readOnly)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setEnabled(false);
    edit->setReadOnly(readOnly);
    edit->setFocusPolicy(Qt::NoFocus);
    setDisplayOnly(edit, true);
    // setText leaves the cursor at the end, and a narrow edit then shows the end of the name.
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit] { edit->setCursorPosition(0); });
    return edit;
}

void setChildrenEnabled(QWidget *container, bool on, std::function<bool(QWidget *)> skip)
{
    if (!container)
        return;
    const auto children = container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        if (child->isWindow() || (skip && skip(child)))
            continue;
        child->setEnabled(on);
    }
}

QChar typedChar(const QKeyEvent *event)
{
    const QString text = event->text();
    if (text.isEmpty())
        return QChar();
    const QChar c = text.at(0);
    if (c == QLatin1Char('\t') || c.unicode() == 0x7f)
        return QChar();
    return c;
}

} // namespace toolkit

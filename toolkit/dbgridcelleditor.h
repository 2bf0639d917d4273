#pragma once
// The grid's in-place editor: a masked edit with the column's ellipsis button inside it.

#include "maskedit.h"

#include <QKeyEvent>
#include <QToolButton>

namespace toolkit {

class CellEditor : public MaskEdit {
public:
    // The ellipsis button's width, in the editor as in the cell it opens on.
    static constexpr int buttonWidth = 18;

    CellEditor(QWidget *parent, bool ellipsis) : MaskEdit(parent, QStringLiteral("cellEditor"))
    {
        setFrame(false);
        if (ellipsis) {
            m_button = new QToolButton(this);
            m_button->setObjectName(QStringLiteral("ellipsisButton"));
            m_button->setText(QStringLiteral("…"));
            m_button->setFocusPolicy(Qt::NoFocus);
            m_button->setCursor(Qt::ArrowCursor);
            setTextMargins(0, 0, buttonWidth, 0);
        }
    }
    QToolButton *button() const { return m_button; }
    // Types a character as if the key had reached the edit (the grid ran the key handlers).
    void type(const QString &text)
    {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QLineEdit::keyPressEvent(&key);
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        MaskEdit::resizeEvent(event);
        if (m_button)
            m_button->setGeometry(width() - buttonWidth, 0, buttonWidth, height());
    }

private:
    QToolButton *m_button = nullptr;
};

} // namespace toolkit

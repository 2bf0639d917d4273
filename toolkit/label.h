#pragma once
// A caption with a focus control: clicking it, or typing its mnemonic (Alt and the letter
// after '&'), puts the focus on that control.

#include "toolkit_export.h"

#include <QLabel>
#include <QPointer>

namespace toolkit {

class TOOLKIT_EXPORT Label : public QLabel {
    Q_OBJECT
public:
    explicit Label(const QString &caption = QString(), QWidget *parent = nullptr, const QString &name = QString());

    QWidget *focusControl() const { return m_focusControl; }
    void setFocusControl(QWidget *control);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QPointer<QWidget> m_focusControl;
};

} // namespace toolkit

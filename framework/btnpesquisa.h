#pragma once
// The lookup button beside an edit. Pressed: OnBeforePesq (the screen prepares the query; it may
// clear the flag to stop), the data source's dataset is opened, the choice is shown titled
// Title (or EmptyError when there is nothing to choose), and after a choice OnAfterPesq runs
// with the dataset on the chosen row; the focus then goes to the associated edit.
// F4 in the associated edit presses the button. A form that binds OnClick replaces all of this
// with its own handler (the multi-select lookups do).

#include "buttonflat.h"

#include <toolkit/event.h>

#include <QPointer>

namespace toolkit {
class DataSource;
}

namespace framework {

class FRAMEWORK_EXPORT TBtnPesquisa : public TButtonFlat {
    Q_OBJECT
public:
    explicit TBtnPesquisa(QWidget *parent = nullptr, const QString &name = QString());

    QWidget *associate() const { return m_associate; }
    void setAssociate(QWidget *edit);
    const QString &title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    toolkit::DataSource *dataSource() const { return m_source; }
    void setDataSource(toolkit::DataSource *source) { m_source = source; }
    const QString &emptyError() const { return m_emptyError; }
    void setEmptyError(const QString &text) { m_emptyError = text; }

    toolkit::Event<QObject *, bool &> OnBeforePesq;
    toolkit::Event<QObject *> OnAfterPesq;
    toolkit::Event<QObject *> OnClick;

    // What a press does (throws what the handlers and the query throw).
    void execute();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_associate;
    QPointer<toolkit::DataSource> m_source;
    QString m_title;
    QString m_emptyError;
};

} // namespace framework

using framework::TBtnPesquisa;

#include "btnpesquisa.h"

#include "lookup.h"
#include "presenter.h"

#include <toolkit/clientdataset.h>
#include <toolkit/error.h>

#include <QKeyEvent>

namespace framework {

TBtnPesquisa::TBtnPesquisa(QWidget *parent, const QString &name) : TButtonFlat(parent, name)
{
    setHint(QStringLiteral("Pesquisar"));
    setGlyph(QStyle::SP_FileDialogContentsView);
    connect(this, &QToolButton::clicked, this, [this] { toolkit::guarded([this] { execute(); }); });
}

void TBtnPesquisa::setAssociate(QWidget *edit)
{
    if (m_associate)
        m_associate->removeEventFilter(this);
    m_associate = edit;
    if (m_associate)
        m_associate->installEventFilter(this);
}

void TBtnPesquisa::execute()
{
    if (OnClick) {
        OnClick(this);
        return;
    }
    // A button without a data source is driven by whoever listens to its clicked() signal.
    if (!m_source)
        return;
    bool go = true;
    OnBeforePesq(this, go);
    if (!go)
        return;
    toolkit::ClientDataSet *dataSet = m_source ? m_source->dataSet() : nullptr;
    openDataSet(dataSet);
    if (dataSet->isEmpty()) {
        presenter().error(m_emptyError.isEmpty() ? QStringLiteral("Não há registros para pesquisar.") : m_emptyError);
        return;
    }
    const int row = presenter().pick(dataSet, m_title);
    if (row < 0 || row >= dataSet->recordCount())
        return;
    dataSet->setRecNo(row);
    OnAfterPesq(this);
    if (m_associate && m_associate->isEnabled() && m_associate->isVisible())
        m_associate->setFocus(Qt::OtherFocusReason);
}

bool TBtnPesquisa::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_associate && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_F4 && key->modifiers() == Qt::NoModifier && isEnabled() && isVisible()) {
            click();
            return true;
        }
    }
    return TButtonFlat::eventFilter(watched, event);
}

} // namespace framework

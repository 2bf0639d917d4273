#include "busyindicator.h"

#include "presenter.h"

namespace framework {

void ActiveShowAvi(QWidget *form, int kind)
{
    presenter().showBusy(form, kind);
}

void DeactiveShowAvi()
{
    presenter().hideBusy();
}

BusyIndicator::BusyIndicator(QWidget *form, int kind)
{
    ActiveShowAvi(form, kind);
    m_shown = true;
}

BusyIndicator::~BusyIndicator()
{
    hide();
}

void BusyIndicator::hide()
{
    if (!m_shown)
        return;
    m_shown = false;
    DeactiveShowAvi();
}

} // namespace framework

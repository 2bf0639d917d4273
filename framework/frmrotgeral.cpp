#include "frmrotgeral.h"

#include <toolkit/error.h>
#include <toolkit/panel.h>

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QShortcut>
#include <QVBoxLayout>

namespace framework {

TfrmRotiGeral::TfrmRotiGeral(QWidget *parent) : QDialog(parent ? parent : mainWindow())
{
    setObjectName(QStringLiteral("frmRotiGeral"));
    setModal(true);
    auto *root = new QVBoxLayout(this);

    grbDadosRel = new QGroupBox(this);
    grbDadosRel->setObjectName(QStringLiteral("grbDadosRel"));
    root->addWidget(grbDadosRel, 1);

    panBotoes = new toolkit::Panel(this, QStringLiteral("panBotoes"));
    auto *buttons = new QHBoxLayout(panBotoes);
    buttons->setContentsMargins(0, 4, 0, 0);
    buttons->addStretch(1);
    sbtConfirma = new TButtonFlat(panBotoes, QStringLiteral("sbtConfirma"));
    sbtConfirma->setText(QStringLiteral("&Confirmar"));
    sbtConfirma->setHint(QStringLiteral("Confirmar"));
    sbtConfirma->setGlyph(QStyle::SP_DialogApplyButton);
    sbtConfirma->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    sbtFechar = new TButtonFlat(panBotoes, QStringLiteral("sbtFechar"));
    sbtFechar->setText(QStringLiteral("&Fechar"));
    sbtFechar->setHint(QStringLiteral("Fechar"));
    sbtFechar->setGlyph(QStyle::SP_DialogCloseButton);
    sbtFechar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    buttons->addWidget(sbtConfirma);
    buttons->addWidget(sbtFechar);
    root->addWidget(panBotoes);

    msgPadrao = new TMessages(this, QStringLiteral("msgPadrao"));

    connect(sbtConfirma, &QToolButton::clicked, this, [this] { toolkit::guarded([this] { sbtConfirmaClick(sbtConfirma); }); });
    connect(sbtFechar, &QToolButton::clicked, this, [this] { toolkit::guarded([this] { sbtFecharClick(sbtFechar); }); });
    auto *confirmKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(confirmKey, &QShortcut::activated, sbtConfirma, [this] {
        if (sbtConfirma->isEnabled())
            sbtConfirma->click();
    });
}

TfrmRotiGeral::~TfrmRotiGeral() = default;

void TfrmRotiGeral::FormClose(QObject *, CloseAction &Action)
{
    Action = caFree;
}

void TfrmRotiGeral::sbtConfirmaClick(QObject *) {}

void TfrmRotiGeral::sbtFecharClick(QObject *)
{
    close();
}

void TfrmRotiGeral::done(int result)
{
    if (m_closing) {
        QDialog::done(result);
        return;
    }
    CloseAction action = caHide;
    if (!toolkit::guarded([&] { FormClose(this, action); }))
        return;
    switch (action) {
    case caNone:
        return;
    case caMinimize:
        showMinimized();
        return;
    case caHide:
        QDialog::done(result);
        return;
    case caFree:
        m_closing = true;
        QDialog::done(result);
        deleteLater();
        return;
    }
}

bool TfrmRotiGeral::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        toolkit::guarded([this] { FormActivate(this); });
    return QDialog::event(event);
}

} // namespace framework

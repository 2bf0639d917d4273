#pragma once
// The base of the modal routine dialogs: a frame group box for the dialog's fields, a button
// panel with the confirm button and a close button, and a message table. Closing runs FormClose,
// whatever closes it (the close button, Esc, the window's close, done()); the base sets caFree,
// so a closed dialog is destroyed (deleteLater) once control is back in the event loop: read
// what you need from it right after exec() returns, and use a QPointer past that.
// Keys: F10 or Alt+C confirms, Esc or Alt+F closes.

#include "application.h"
#include "buttonflat.h"
#include "framework_export.h"
#include "messages.h"

#include <QDialog>

class QGroupBox;

namespace toolkit {
class Panel;
}

namespace framework {

class FRAMEWORK_EXPORT TfrmRotiGeral : public QDialog, public FormHandlers {
    Q_OBJECT
public:
    // Without a parent the dialog belongs to the application's main window.
    explicit TfrmRotiGeral(QWidget *parent = nullptr);
    ~TfrmRotiGeral() override;

    void FormClose(QObject *Sender, CloseAction &Action) override;   // Action := caFree
    virtual void sbtConfirmaClick(QObject *Sender);                   // nothing
    virtual void sbtFecharClick(QObject *Sender);                     // closes the dialog

    int modalResult() const { return result(); }

    QGroupBox *grbDadosRel;
    toolkit::Panel *panBotoes;
    TButtonFlat *sbtConfirma;
    TButtonFlat *sbtFechar;
    TMessages *msgPadrao;

    void done(int result) override;

protected:
    bool event(QEvent *event) override;

private:
    bool m_closing = false;
};

} // namespace framework

using framework::TfrmRotiGeral;

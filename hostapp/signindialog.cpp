#include "signindialog.h"

#include <framework/netconnection.h>
#include <toolkit/error.h>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace hostapp {

SignInDialog::SignInDialog(const QString &operatorCode, Check check, QWidget *parent)
    : QDialog(parent), m_check(std::move(check))
{
    setWindowTitle(QStringLiteral("Entrar"));
    m_operator = new QLineEdit(operatorCode, this);
    m_operator->setObjectName(QStringLiteral("edtOperador"));
    m_operator->setMaxLength(8);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("edtSenha"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(256);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("lblMensagem"));
    m_message->setWordWrap(true);
    m_message->hide();

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Operador:"), m_operator);
    form->addRow(QStringLiteral("&Senha:"), m_password);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *enter = buttons->addButton(QStringLiteral("&Entrar"), QDialogButtonBox::AcceptRole);
    enter->setObjectName(QStringLiteral("btnEntrar"));
    enter->setDefault(true);
    buttons->addButton(QStringLiteral("&Cancelar"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("btnCancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &SignInDialog::signIn);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_message);
    layout->addWidget(buttons);
    (operatorCode.isEmpty() ? m_operator : m_password)->setFocus();
}

QString SignInDialog::operatorCode() const { return m_operator->text().trimmed().toUpper(); }

QString SignInDialog::password() const { return m_password->text(); }

void SignInDialog::signIn()
{
    if (operatorCode().isEmpty() || password().isEmpty()) {
        m_message->setText(QStringLiteral("Informe o operador e a senha."));
        m_message->show();
        (operatorCode().isEmpty() ? m_operator : m_password)->setFocus();
        return;
    }
    const QString refusal = m_check(operatorCode(), password());
    if (refusal.isEmpty()) {
        accept();
        return;
    }
    m_message->setText(refusal);
    m_message->show();
    m_password->clear();
    m_password->setFocus();
}

bool signIn(framework::SessionValues &session, QWidget *parent)
{
    const framework::SessionValues base = session;
    SignInDialog dialog(session.operatorCode, [&base](const QString &operatorCode, const QString &password) {
        // a connection of the session's, with these operator and password: the server's hello decides
        framework::SessionValues trial = base;
        trial.operatorCode = operatorCode;
        trial.operatorPassword = password;
        framework::setSession(trial);
        framework::TNetConnection connection;
        connection.setHost(trial.webUrl);
        connection.setPort(trial.webPort);
        try {
            connection.Open();
            return QString();
        } catch (const toolkit::Error &e) {
            return e.message();
        }
    }, parent);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    framework::setSession(base);
    if (!accepted)
        return false;
    session.operatorCode = dialog.operatorCode();
    session.operatorPassword = dialog.password();
    return true;
}

} // namespace hostapp

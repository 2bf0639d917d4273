#pragma once
// The sign-in at the host's start: operator and password, checked by the application server
// before the main window opens. The password stays in the session only, for the hellos.

#include <framework/zandrix.h>

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;

namespace hostapp {

class SignInDialog : public QDialog {
    Q_OBJECT
public:
    // Checks an operator and password; empty when the server took them, its message otherwise.
    using Check = std::function<QString(const QString &operatorCode, const QString &password)>;

    SignInDialog(const QString &operatorCode, Check check, QWidget *parent = nullptr);

    QString operatorCode() const;
    QString password() const;

private:
    void signIn();

    Check m_check;
    QLineEdit *m_operator;
    QLineEdit *m_password;
    QLabel *m_message;
};

// Asks the operator of the session for its password (the operator may be changed) and checks
// them against the session's server; false when the user gave up. Sets the session's operator
// and password.
bool signIn(framework::SessionValues &session, QWidget *parent = nullptr);

} // namespace hostapp

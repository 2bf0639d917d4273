#pragma once
// Failures travel as exceptions. `Error` carries a message for the user; `Abort` is the silent
// abort raised after a message has already been shown (or when nothing needs saying).

#include "toolkit_export.h"

#include <QString>
#include <exception>
#include <functional>

namespace toolkit {

class TOOLKIT_EXPORT Error : public std::exception {
public:
    explicit Error(QString message);
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

class TOOLKIT_EXPORT Abort : public Error {
public:
    Abort();
};

// The application's general error handling: where an exception ends up when it leaves an event
// handler that Qt called (exceptions must never cross Qt's event loop). The host installs a
// handler that shows the message; `Abort` is never shown. Without a handler, messages go to qWarning.
using ExceptionHandler = std::function<void(const QString &message)>;
TOOLKIT_EXPORT void setExceptionHandler(ExceptionHandler handler);
TOOLKIT_EXPORT void handleException(std::exception_ptr error);

// Runs `action`, and hands whatever it throws to the application's error handling.
// Returns false when something was thrown.
TOOLKIT_EXPORT bool guarded(const std::function<void()> &action);

} // namespace toolkit

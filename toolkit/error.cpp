#include "error.h"

#include <QDebug>

namespace toolkit {

namespace {
ExceptionHandler &installedHandler()
{
    static ExceptionHandler handler;
    return handler;
}
} // namespace

Error::Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

Abort::Abort() : Error(QStringLiteral("Operação abandonada.")) {}

void setExceptionHandler(ExceptionHandler handler)
{
    installedHandler() = std::move(handler);
}

void handleException(std::exception_ptr error)
{
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const Abort &) {
        return;   // already said, or nothing to say
    } catch (const Error &e) {
        message = e.message();
    } catch (const std::exception &e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Erro inesperado.");
    }
    if (installedHandler())
        installedHandler()(message);
    else
        qWarning().noquote() << message;
}

bool guarded(const std::function<void()> &action)
{
    try {
        action();
        return true;
    } catch (...) {
        handleException(std::current_exception());
        return false;
    }
}

} // namespace toolkit

#pragma once
// The base screen's printer components: they cost nothing until used, and build the real Qt
// dialog (and the printer) only when executed.

#include "framework_export.h"

#include <QObject>

#include <memory>

class QPrinter;

namespace framework {

class FRAMEWORK_EXPORT PrinterHolder : public QObject {
    Q_OBJECT
public:
    explicit PrinterHolder(QObject *parent = nullptr, const QString &name = QString());
    ~PrinterHolder() override;
    QPrinter *printer();

private:
    std::unique_ptr<QPrinter> m_printer;
};

// Page and printer set-up (psdConfigurar).
class FRAMEWORK_EXPORT TPrinterSetupDialog : public PrinterHolder {
    Q_OBJECT
public:
    using PrinterHolder::PrinterHolder;
    bool Execute(QWidget *parent = nullptr);
};

// The print dialog (prdImprimir).
class FRAMEWORK_EXPORT TPrintDialog : public PrinterHolder {
    Q_OBJECT
public:
    using PrinterHolder::PrinterHolder;
    bool Execute(QWidget *parent = nullptr);
};

} // namespace framework

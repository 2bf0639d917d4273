#include "printdialogs.h"

#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace framework {

PrinterHolder::PrinterHolder(QObject *parent, const QString &name) : QObject(parent)
{
    setObjectName(name);
}

PrinterHolder::~PrinterHolder() = default;

QPrinter *PrinterHolder::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_printer.get();
}

bool TPrinterSetupDialog::Execute(QWidget *parent)
{
    QPageSetupDialog dialog(printer(), parent);
    return dialog.exec() == QDialog::Accepted;
}

bool TPrintDialog::Execute(QWidget *parent)
{
    QPrintDialog dialog(printer(), parent);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace framework

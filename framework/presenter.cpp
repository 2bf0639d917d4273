#include "presenter.h"

#include "application.h"
#include "lookupdialog.h"

#include <toolkit/clientdataset.h>

#include <QApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace framework {

Presenter::~Presenter() = default;

namespace {

QtPresenter &qtPresenter()
{
    static QtPresenter instance;
    return instance;
}

Presenter *&installed()
{
    static Presenter *current = nullptr;
    return current;
}

QWidget *dialogParent()
{
    if (QWidget *active = QApplication::activeModalWidget())
        return active;
    if (QWidget *active = QApplication::activeWindow())
        return active;
    return mainWindow();
}

// The busy overlay: a small frameless panel with a turning spinner, over the main window.
class BusyOverlay : public QWidget {
public:
    explicit BusyOverlay(QWidget *over) : QWidget(over)
    {
        setObjectName(QStringLiteral("aviOcupado"));
        setAttribute(Qt::WA_TransparentForMouseEvents, false);
        setFixedSize(220, 72);
        m_timer.setInterval(80);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % 12;
            update();
        });
    }
    void start(int kind)
    {
        m_text = textOf(kind);
        if (QWidget *p = parentWidget())
            move((p->width() - width()) / 2, (p->height() - height()) / 2);
        show();
        raise();
        m_timer.start();
        // The caller blocks the thread next (a synchronous call): paint now, not later.
        repaint();
    }
    void stop()
    {
        m_timer.stop();
        hide();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().color(QPalette::Mid), 1));
        p.setBrush(palette().color(QPalette::Window));
        p.drawRoundedRect(rect().adjusted(0, 0, -1, -1), 8, 8);
        const QPointF centre(36, height() / 2.0);
        for (int i = 0; i < 12; ++i) {
            QColor c = palette().color(QPalette::Highlight);
            c.setAlphaF(float(0.15 + 0.85 * ((i + 12 - m_step) % 12) / 11.0));
            p.save();
            p.translate(centre);
            p.rotate(i * 30.0);
            p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(0, 9), QPointF(0, 16));
            p.restore();
        }
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(rect().adjusted(64, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, m_text);
    }

private:
    static QString textOf(int kind)
    {
        switch (kind) {
        case 0:
            return QStringLiteral("Conectando...");
        case 1:
            return QStringLiteral("Processando...");
        case 6:
            return QStringLiteral("Consultando...");
        default:
            return QStringLiteral("Aguarde...");
        }
    }
    QTimer m_timer;
    QString m_text;
    int m_step = 0;
};

QMessageBox::Icon iconOf(DialogType type)
{
    switch (type) {
    case DialogType::Warning:
        return QMessageBox::Warning;
    case DialogType::Error:
        return QMessageBox::Critical;
    case DialogType::Information:
        return QMessageBox::Information;
    case DialogType::Confirmation:
        return QMessageBox::Question;
    case DialogType::Custom:
        break;
    }
    return QMessageBox::NoIcon;
}

// A message box sizes itself to its text; a window manager cuts a title wider than that. A
// spacer as wide as the title and the frame's buttons keeps the whole title readable.
void holdTitle(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    const int width = metrics.horizontalAdvance(box.windowTitle()) + 8 * metrics.height();
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

int showBox(QMessageBox::Icon icon, const QString &text, MsgButtons buttons)
{
    QMessageBox box(icon, messageCaption(), text, QMessageBox::NoButton, dialogParent());
    box.setObjectName(QStringLiteral("frmMensagem"));
    struct Choice {
        MsgButton button;
        const char *text;
        int result;
        QMessageBox::ButtonRole role;
    };
    static const Choice choices[] = {
        {MsgButton::Yes, "Sim", mrYes, QMessageBox::YesRole},
        {MsgButton::No, "Não", mrNo, QMessageBox::NoRole},
        {MsgButton::OK, "OK", mrOk, QMessageBox::AcceptRole},
        {MsgButton::Cancel, "Cancelar", mrCancel, QMessageBox::RejectRole},
        {MsgButton::Abort, "Abortar", mrAbort, QMessageBox::RejectRole},
        {MsgButton::Retry, "Repetir", mrRetry, QMessageBox::AcceptRole},
        {MsgButton::Ignore, "Ignorar", mrIgnore, QMessageBox::AcceptRole},
    };
    if (!buttons)
        buttons = MsgButton::OK;
    QHash<QAbstractButton *, int> results;
    QAbstractButton *escape = nullptr;
    QPushButton *first = nullptr;
    for (const Choice &c : choices) {
        if (!buttons.testFlag(c.button))
            continue;
        QPushButton *b = box.addButton(QString::fromUtf8(c.text), c.role);
        results.insert(b, c.result);
        if (!first)
            first = b;
        if (c.result == mrNo || c.result == mrCancel || (!escape && c.result == mrOk))
            escape = b;
    }
    box.setDefaultButton(first);
    box.setEscapeButton(escape ? escape : first);
    holdTitle(box);
    box.exec();
    return results.value(box.clickedButton(), mrCancel);
}

} // namespace

QString messageCaption()
{
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Atenção") : name;
}

Presenter &presenter()
{
    Presenter *p = installed();
    return p ? *p : qtPresenter();
}

Presenter *setPresenter(Presenter *presenter)
{
    Presenter *before = installed();
    installed() = presenter;
    return before;
}

class QtPresenter::Private {
public:
    QPointer<BusyOverlay> overlay;
    int busyDepth = 0;
};

QtPresenter::QtPresenter() : d(new Private) {}

QtPresenter::~QtPresenter()
{
    delete d;
}

void QtPresenter::error(const QString &text)
{
    showBox(QMessageBox::Critical, text, MsgButton::OK);
}

void QtPresenter::information(const QString &text)
{
    showBox(QMessageBox::Information, text, MsgButton::OK);
}

int QtPresenter::confirm(const QString &text, DialogType type, MsgButtons buttons, int)
{
    return showBox(iconOf(type), text, buttons);
}

int QtPresenter::pick(toolkit::ClientDataSet *dataSet, const QString &title)
{
    LookupDialog dialog(dialogParent(), title, lookupRows(dataSet), LookupDialog::Mode::Pick);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    return dialog.chosenRow();
}

std::optional<QStringList> QtPresenter::pickList(toolkit::ClientDataSet *dataSet, const QString &keyField,
                                                 const QString &title, const QStringList &selected)
{
    LookupDialog dialog(dialogParent(), title, lookupRows(dataSet, keyField), LookupDialog::Mode::PickList, selected);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.checkedKeys();
}

int QtPresenter::search(toolkit::ClientDataSet *dataSet, const QString &title)
{
    LookupDialog dialog(dialogParent(), title, lookupRows(dataSet), LookupDialog::Mode::Search);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    return dialog.chosenRow();
}

void QtPresenter::showBusy(QWidget *over, int kind)
{
    if (d->busyDepth++ > 0)
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (!over)
        over = mainWindow();
    if (!over)
        return;
    if (!d->overlay || d->overlay->parentWidget() != over) {
        delete d->overlay;
        d->overlay = new BusyOverlay(over);
    }
    d->overlay->start(kind);
}

void QtPresenter::hideBusy()
{
    if (d->busyDepth == 0)
        return;
    if (--d->busyDepth > 0)
        return;
    if (d->overlay)
        d->overlay->stop();
    QGuiApplication::restoreOverrideCursor();
}

} // namespace framework

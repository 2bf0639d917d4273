#pragma once
// Every modal dialog of the framework goes through one presenter: message boxes, confirmations,
// the lookups and the busy indicator. The application runs with the Qt presenter (real dialogs);
// a test installs a scripted one, which records what was shown and answers from a queue.

#include "framework_export.h"

#include <QFlags>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace toolkit {
class ClientDataSet;
}

namespace framework {

enum class DialogType { Warning, Error, Information, Confirmation, Custom };

enum class MsgButton : unsigned {
    Yes = 0x01,
    No = 0x02,
    OK = 0x04,
    Cancel = 0x08,
    Abort = 0x10,
    Retry = 0x20,
    Ignore = 0x40,
};
Q_DECLARE_FLAGS(MsgButtons, MsgButton)
Q_DECLARE_OPERATORS_FOR_FLAGS(MsgButtons)

// Modal results, with the values the screens compare with (mrOk is 1, as QDialog::Accepted).
enum ModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
};

class FRAMEWORK_EXPORT Presenter {
public:
    virtual ~Presenter();

    virtual void error(const QString &text) = 0;
    virtual void information(const QString &text) = 0;
    // A question with a set of buttons; the answer is a ModalResult.
    virtual int confirm(const QString &text, DialogType type, MsgButtons buttons, int helpContext) = 0;

    // Lookups. The dataset is open and not empty. `pick` and `search` answer the position
    // (recNo) of the chosen row in the dataset's view, or -1 when the user gave up; the caller
    // moves the dataset. `pickList` answers the key values of the chosen rows, in the dataset's
    // order, or nothing when the user gave up.
    virtual int pick(toolkit::ClientDataSet *dataSet, const QString &title) = 0;
    virtual std::optional<QStringList> pickList(toolkit::ClientDataSet *dataSet, const QString &keyField,
                                                const QString &title, const QStringList &selected) = 0;
    virtual int search(toolkit::ClientDataSet *dataSet, const QString &title) = 0;

    // The busy indicator: every show is followed by exactly one hide.
    virtual void showBusy(QWidget *over, int kind) = 0;
    virtual void hideBusy() = 0;
};

// The presenter in use (the Qt presenter unless another was installed).
FRAMEWORK_EXPORT Presenter &presenter();
// Installs `presenter` (not owned; nullptr goes back to the Qt presenter). Returns the one that
// was installed before, so a scope can put it back.
FRAMEWORK_EXPORT Presenter *setPresenter(Presenter *presenter);

// The presenter of the application: QMessageBox with Portuguese buttons, lookup dialogs with a
// filter line, an animated overlay over the main window while busy.
class FRAMEWORK_EXPORT QtPresenter : public Presenter {
public:
    QtPresenter();
    ~QtPresenter() override;

    void error(const QString &text) override;
    void information(const QString &text) override;
    int confirm(const QString &text, DialogType type, MsgButtons buttons, int helpContext) override;
    int pick(toolkit::ClientDataSet *dataSet, const QString &title) override;
    std::optional<QStringList> pickList(toolkit::ClientDataSet *dataSet, const QString &keyField, const QString &title,
                                        const QStringList &selected) override;
    int search(toolkit::ClientDataSet *dataSet, const QString &title) override;
    void showBusy(QWidget *over, int kind) override;
    void hideBusy() override;

private:
    class Private;
    Private *d;
};

// Caption of every framework message box.
FRAMEWORK_EXPORT QString messageCaption();

} // namespace framework

#pragma once
// A presenter for tests: records every message, question, lookup and busy show/hide in the
// order they happen, and answers questions and lookups from queues the test fills. A question
// or lookup with nothing queued is recorded as unexpected and answered "no" / "gave up".
// Constructing one installs it; destroying it puts back the presenter that was there before.

#include <framework/presenter.h>

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <deque>
#include <functional>

namespace framework::testing {

struct Shown {
    enum Kind { Error, Information, Confirmation, Pick, PickList, Search, BusyShow, BusyHide, Unexpected };
    Kind kind;
    QString text;          // message text, or the lookup's title
    int busyKind = -1;     // BusyShow: the indicator kind
    DialogType type = DialogType::Information;
};

// How a lookup is answered: a row position, the first row whose field holds a value, a list of
// keys (multi-select), or giving up.
struct LookupAnswer {
    enum Kind { Row, Match, Keys, Cancel } kind = Cancel;
    int row = -1;
    QString field;
    QVariant value;
    QStringList keys;

    static LookupAnswer atRow(int position) { return {Row, position, {}, {}, {}}; }
    static LookupAnswer where(const QString &fieldName, const QVariant &v) { return {Match, -1, fieldName, v, {}}; }
    static LookupAnswer withKeys(const QStringList &k) { return {Keys, -1, {}, {}, k}; }
    static LookupAnswer cancel() { return {}; }
};

class ScriptedPresenter : public Presenter {
public:
    ScriptedPresenter();
    ~ScriptedPresenter() override;

    void queueConfirm(int modalResult) { m_confirms.push_back(modalResult); }
    void queueLookup(const LookupAnswer &answer) { m_lookups.push_back(answer); }

    const QList<Shown> &log() const { return m_log; }
    QList<Shown> entries(Shown::Kind kind) const;
    QStringList texts(Shown::Kind kind) const;
    QStringList errors() const { return texts(Shown::Error); }
    QStringList informations() const { return texts(Shown::Information); }
    QStringList confirmations() const { return texts(Shown::Confirmation); }
    QStringList unexpected() const { return texts(Shown::Unexpected); }
    // Error, information and confirmation texts, in the order shown.
    QStringList messages() const;
    int busyShows() const;
    int busyHides() const;
    int busyDepth() const { return m_depth; }
    // Every show followed by exactly one hide, never a hide without a show.
    bool busyBalanced() const;
    // What was selected in the last multi-select lookup when it opened.
    const QStringList &lastSelected() const { return m_lastSelected; }
    // Rows the last lookup was offered.
    int lastRowCount() const { return m_lastRowCount; }

    void clear();
    bool answersLeft() const { return !m_confirms.empty() || !m_lookups.empty(); }

    // Runs while a "dialog" is open (after it was recorded), as a user at the dialog would.
    std::function<void(const Shown &)> onShown;

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
    void record(const Shown &shown);
    int answerRow(toolkit::ClientDataSet *dataSet, const QString &title, Shown::Kind kind);

    Presenter *m_previous;
    QList<Shown> m_log;
    std::deque<int> m_confirms;
    std::deque<LookupAnswer> m_lookups;
    QStringList m_lastSelected;
    int m_lastRowCount = 0;
    int m_depth = 0;
    bool m_unbalanced = false;
};

} // namespace framework::testing

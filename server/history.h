#pragma once
// The history of changes of dish rows. A write method reads the rows it is about to change,
// writes, takes the rows as they are after the write (from what the write stored, or by reading
// them again), and records every row that was included, changed or deleted: who
// (the operator the connection named), when, from which address, by which method, with the
// values before and after. All of it inside the write's own transaction, so a write that fails
// leaves no history, and a write that is kept always has its history.

#include <QDate>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

namespace server {

class Database;
class Query;
struct CallContext;

class ChangeHistory {
public:
    ChangeHistory(Database &db, const CallContext &caller, QString method);

    // Binds the named parameters of a condition on SERVTRAN.
    using Binder = std::function<void(Query &)>;

    // The rows `condition` matches, as they are before the write, with their labels. On
    // PostgreSQL the rows are locked as they are read, so that a change another operator commits
    // meanwhile is either wholly before this image or waits for this write.
    // Answers how many rows it read (none while the history is not recording).
    int readBefore(const QString &condition, const Binder &bind);
    // The rows `condition` matches, as they are after the write.
    void readAfter(const QString &condition, const Binder &bind);
    // The rows read before, as a write that knows all it changed left them: `changed` columns set
    // to their new values, the labels replaced by `labelQuantities` (as stored, in label order).
    // Stands for readAfter when the write changed nothing else on those rows, and saves reading
    // them again.
    void afterWriting(const QHash<QString, QVariant> &changed, const QList<double> &labelQuantities);

    // An update of one dish row that hands back what it stored: an UPDATE of SERVTRAN whose text
    // ends with returning(). run() executes it, takes the row it returned as the row after the
    // write, and answers how many rows it stored (0 or 1). The row's labels are those it had under
    // `formerKey` (they follow the row when its key changes). Stands for readAfter and saves
    // reading the row again.
    QString returning() const;
    int run(Query &update, const QList<QVariant> &formerKey);
    // An INSERT of one dish row whose placeholders are named as its columns: executes it and, when
    // it stored the row, takes the values it bound as the row after the write (the table has no
    // defaults: a column left out is null), with no labels. Answers how many rows it stored.
    int runInsert(Query &insert);
    // The quantities of the labels of dish row `key` (its key columns as bound), in label order,
    // as readBefore read them; none when it did not read that row.
    std::optional<QList<double>> labelsBefore(const QList<QVariant> &key) const;
    // A dish row `key` deleted after run() took it: not there after the write.
    void deleted(const QList<QVariant> &key);
    // One history row per row whose values differ between before and after (a row only before
    // was deleted, a row only after was included). Call before the transaction commits.
    void write();

    // The stored columns of a dish row, as the history shows them; then ETIQUETAS, the row's
    // labels ("4 × 4,000 + 1 × 2,300").
    static const QStringList &columns();

    // Only for bench_load, which measures what the history costs a write: with recording off,
    // writes read nothing before and after and record nothing. Always on in the server.
    static void setRecordingForBenchmark(bool on);
    bool recording() const { return m_recording; }

private:
    using Values = QList<QVariant>;   // in the order of columns()
    int read(const QString &condition, const Binder &bind, bool lock, QHash<QString, Values> &into);
    QString keyOf(const QList<QVariant> &keyValues) const;
    void noteKey(const QString &key);
    void readLabels(const QString &condition, const Binder &bind, QHash<QString, Values> &into);
    Query prepareInsert();

    Database &m_db;
    const CallContext &m_caller;
    QString m_method;
    bool m_recording;   // as the benchmark's switch stood when the write began
    QHash<QString, Values> m_before, m_after;
    QHash<QString, QList<double>> m_labelsBefore;   // the labels' quantities of the rows read before
    QList<QString> m_order;   // row keys in the order first seen, so the history reads as the write ran
    QSet<QString> m_seen;     // the keys in m_order
};

} // namespace server

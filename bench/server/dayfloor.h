#pragma once
// The floor of reading a day of service "00002" of branch "0001": SQLite's own C API stepping
// through the rows GetDados reads, for the benchmarks that put a figure beside it.

#include <rules/packetfields.h>

#include <QByteArrayList>
#include <QDate>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

namespace benchfloor {

// The statements GetDados runs on SQLite, with their joins and orders.
inline QList<QByteArray> dayStatements()
{
    const QByteArray dayCondition = "S.CDFILIAL = '0001' AND S.CDSERVFILI = '00002' AND S.DTSERVTRAN = ?1";
    QByteArrayList dishColumns, labelColumns;
    for (const protocol::PacketField &f : rules::fields::servTran()) {
        if (f.name == QLatin1String("NMPRATO"))
            dishColumns << "COALESCE(P.NMPRATO, S.NMPRATO)";
        else if (f.name == QLatin1String("SGUNIDADE"))
            dishColumns << "COALESCE(S.SGUNIDADE, P.SGUNIDADE)";
        else
            dishColumns << "S." + f.name.toUtf8();
    }
    for (const protocol::PacketField &f : rules::fields::etiqueta())
        labelColumns << "S." + f.name.toUtf8();
    return {
        "SELECT S.CDCLIENTE, C.NMRAZSOCCLIE, S.CDDESTFILI, D.NMDESTFILI, S.CDFILIAL, S.DTSERVTRAN, "
        "       S.CDSERVFILI, C.NRINSJURCLIE, C.IDTPIJURCLIE, MAX(S.QTCOMECLIST), MAX(S.QTEFETCLIST) "
        "FROM SERVTRAN S LEFT JOIN CLIENTE C ON C.CDCLIENTE = S.CDCLIENTE "
        "LEFT JOIN DESTFILI D ON D.CDFILIAL = S.CDFILIAL AND D.CDDESTFILI = S.CDDESTFILI WHERE " + dayCondition +
            " GROUP BY S.CDCLIENTE, C.NMRAZSOCCLIE, S.CDDESTFILI, D.NMDESTFILI, S.CDFILIAL, S.DTSERVTRAN, "
            "         S.CDSERVFILI, C.NRINSJURCLIE, C.IDTPIJURCLIE "
            "ORDER BY COALESCE(C.NMRAZSOCCLIE, ''), S.CDCLIENTE, S.CDDESTFILI",
        "SELECT " + dishColumns.join(", ") + " FROM SERVTRAN S "
            "LEFT JOIN PRATO P ON P.CDPRATO = S.CDPRATO AND P.CDFILAUXPRAT = S.CDFILAUXPRAT WHERE " + dayCondition +
            " ORDER BY S.CDCLIENTE, S.CDDESTFILI, S.NRSERVTRAN, S.CDDIETPADST",
        "SELECT " + labelColumns.join(", ") + " FROM ETIQSERVTRAN S WHERE " + dayCondition +
            " ORDER BY S.CDFILIAL, S.CDSERVFILI, S.DTSERVTRAN, S.CDDIETPADST, S.NRSERVTRAN, S.NRSEQUETIQTR",
        "SELECT S.QTCOMESTICAR FROM COMESERV S WHERE " + dayCondition};
}

// The floor: SQLite's C API on a connection of its own (one thread, no mutex, as the workers'
// connections), in one read transaction like GetDados, stepping through the day's rows; every
// text's bytes are summed, every number read.
inline quint64 readFloor(sqlite3 *connection, const QList<QByteArray> &statements, QDate day)
{
    quint64 touched = 0;
    const QByteArray dayText = day.toString(Qt::ISODate).toUtf8();
    sqlite3_exec(connection, "BEGIN", nullptr, nullptr, nullptr);
    for (const QByteArray &sql : statements) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(connection, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "floor: %s\n", sqlite3_errmsg(connection));
            std::exit(1);
        }
        sqlite3_bind_text(statement, 1, dayText.constData(), int(dayText.size()), SQLITE_STATIC);
        const int columns = sqlite3_column_count(statement);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int i = 0; i < columns; ++i) {
                switch (sqlite3_column_type(statement, i)) {
                case SQLITE_NULL: break;
                case SQLITE_TEXT: {
                    const unsigned char *text = sqlite3_column_text(statement, i);
                    const int size = sqlite3_column_bytes(statement, i);
                    for (int b = 0; b < size; ++b)
                        touched += text[b];
                    break;
                }
                default: touched += quint64(sqlite3_column_double(statement, i)); break;
                }
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_exec(connection, "COMMIT", nullptr, nullptr, nullptr);
    return touched;
}

// A read-only connection of its own, without SQLite's mutex (used from one thread, as the
// workers' connections are).
inline sqlite3 *openFloor(const QString &path)
{
    sqlite3 *connection = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &connection, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        std::fprintf(stderr, "floor: cannot open %s\n", qPrintable(path));
        std::exit(1);
    }
    return connection;
}

} // namespace benchfloor

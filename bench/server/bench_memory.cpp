// What one request costs the server in memory, beside the request's and the reply's bytes: the
// server runs as a process of its own (one per case, so that no case inherits another's heap),
// and its peak resident size (VmHWM, reset through /proc/PID/clear_refs before the request) is
// read after the reply, against its resident size just before.
//
//   bench_memory

#include "testsupport.h"

#include <protocol/frame.h>
#include <server/database.h>
#include <server/demo.h>
#include <server/schema.h>

#include <QCborStreamWriter>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

using namespace servertest;

namespace {

// A change log of the screen's fields with `rows` inserted rows of nulls: a byte per value.
QVariant emptyRows(int rows)
{
    QByteArray out;
    QCborStreamWriter w(&out);
    w.startMap(4);
    w.append(QStringLiteral("packet"));
    w.append(protocol::kPacketVersion);
    w.append(QStringLiteral("delta"));
    w.append(true);
    w.append(QStringLiteral("fields"));
    w.startArray(quint64(cdsServTran().size()));
    for (const protocol::PacketField &f : cdsServTran()) {
        w.startArray(4);
        w.append(f.name);
        w.append(protocol::fieldKindName(f.kind));
        w.append(quint64(f.size));
        w.append(0);
        w.endArray();
    }
    w.endArray();
    w.append(QStringLiteral("rows"));
    w.startArray(quint64(rows));
    for (int r = 0; r < rows; ++r) {
        w.startArray(3);
        w.append(1);
        w.startArray(quint64(cdsServTran().size()));
        for (qsizetype i = 0; i < cdsServTran().size(); ++i)
            w.append(nullptr);
        w.endArray();
        w.append(nullptr);
        w.endArray();
    }
    w.endArray();
    w.endMap();
    return QVariant::fromValue(protocol::DataPacket(out));
}

void measure(const QString &connection, const char *what, const QString &method, const QVariantList &args)
{
    ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE), serving(connection));
    const quint16 port = server.waitUntilServing();
    if (port == 0)
        throw std::runtime_error("the server did not start");
    TestClient client(port);
    client.call(QStringLiteral("GetSeqServTran"),   // every worker's connection and first statements, before measuring
                {QStringLiteral("0001"), QStringLiteral("00001"), day(), QStringLiteral("XXXX")});
    const QByteArray request = protocol::encodeRequest({serverName(), method, args});
    QThread::msleep(200);
    const qint64 before = processStatusKiB(server.pid(), "VmRSS");
    if (!resetPeakResident(server.pid()))
        throw std::runtime_error("cannot reset the peak resident size (/proc/PID/clear_refs)");
    client.send(protocol::frame(request));
    const protocol::Reply reply = client.receive();
    const qint64 peak = processStatusKiB(server.pid(), "VmHWM");
    const qint64 replyBytes = qint64(protocol::encodeReply(reply).size());
    const double requestMiB = request.size() / 1048576.0, replyMiB = replyBytes / 1048576.0;
    const double grewMiB = (peak - before) / 1024.0;
    std::printf("%-34s request %7.2f MiB  reply %7.2f MiB | server RSS before %6.1f MiB, peak %6.1f MiB: "
                "+%6.1f MiB = %4.1f x the larger of request and reply%s\n",
                what, requestMiB, replyMiB, before / 1024.0, peak / 1024.0, grewMiB,
                grewMiB / std::max(requestMiB, replyMiB),
                reply.failed() ? qPrintable(QStringLiteral(" (fault: ") + reply.fault.left(60) + QLatin1Char(')')) : "");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString connection = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("bench.db"));
    const LargeDay large;
    {
        server::Database db(connection);
        server::createSchema(db);
        server::loadDemoData(db);
        seedLargeDay(db, large);
    }
    try {
        measure(connection, "SetServTran, 8 MB of empty rows", QStringLiteral("SetServTran"), {emptyRows(280000)});
        measure(connection, "SetServTran, 20,000 empty rows", QStringLiteral("SetServTran"), {emptyRows(20000)});
        measure(connection, "GetDados, 500 x 20 x 5 day", QStringLiteral("GetDados"), large.dayArgs());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_memory: %s\n", e.what());
        return 1;
    }
    return 0;
}

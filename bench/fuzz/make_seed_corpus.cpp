// Writes the fuzzers' seed corpus: a few valid frames, calls, replies, packets and deltas of the
// shapes the system sends, and some broken ones.
//
//   make_seed_corpus tests/protocol/corpus

#include <protocol/frame.h>
#include <protocol/hello.h>
#include <protocol/packet.h>
#include <protocol/remoteresult.h>
#include <protocol/value.h>

#include <QDir>
#include <QFile>
#include <cstdio>

using namespace protocol;

namespace {

QDir root;

void write(const char *target, const char *name, const QByteArray &bytes)
{
    root.mkpath(QLatin1String(target));
    QFile file(root.filePath(QLatin1String(target) + QLatin1Char('/') + QLatin1String(name)));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s/%s\n", target, name);
}

const QList<PacketField> &fields()
{
    static const QList<PacketField> f = {{QStringLiteral("CDPRATO"), FieldKind::String, 10, false, false},
                                         {QStringLiteral("QTTOTAPRATST"), FieldKind::Float, 0, false, false},
                                         {QStringLiteral("DTSERVTRAN"), FieldKind::DateTime, 0, false, false},
                                         {QStringLiteral("SEQUSERV"), FieldKind::String, 10, false, true}};
    return f;
}

DataPacket rows()
{
    PacketContent c;
    c.fields = fields();
    c.rows.append({{QStringLiteral("1010010001"), 17.5, wallClock(QDate(2026, 12, 8)), QStringLiteral("0000000009")}, RowChange::Unchanged, {}});
    c.rows.append({{QVariant(), QVariant(), QVariant(), QString()}, RowChange::Unchanged, {}});
    c.rows.append({{QStringLiteral("Feijão"), -0.25, wallClock(QDate(1899, 12, 30), QTime(13, 45, 10, 250)), QStringLiteral("1")},
                   RowChange::Unchanged, {}});
    return encodePacket(c);
}

DataPacket delta()
{
    PacketContent c;
    c.delta = true;
    c.fields = fields();
    const QList<QVariant> a = {QStringLiteral("1"), 1.0, wallClock(QDate(2026, 12, 8)), QStringLiteral("0000000001")};
    const QList<QVariant> b = {QStringLiteral("101"), 2.0, wallClock(QDate(2026, 12, 8)), QStringLiteral("0000000002")};
    c.rows.append({a, RowChange::Inserted, {}});
    c.rows.append({b, RowChange::Modified, a});
    c.rows.append({a, RowChange::Deleted, a});
    return encodePacket(c);
}

DataPacket streamed()
{
    PacketWriter w(fields());
    w.startRow();
    w.appendText(QStringLiteral("1"));
    w.appendNumber(0.5);
    w.appendDateTime(wallClock(QDate(2026, 12, 9)));
    w.appendNull();
    w.endRow();
    return w.finish();
}

QVariantList day() { return {QStringLiteral("0001"), QStringLiteral("00001"), wallClock(QDate(2026, 12, 8))}; }

QByteArray request(const QString &method, const QVariantList &args)
{
    return encodeRequest({QStringLiteral("Pla04100.rdmServTran"), method, args});
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seed_corpus DIRECTORY\n");
        return 2;
    }
    root = QDir(QString::fromLocal8Bit(argv[1]));
    root.mkpath(QStringLiteral("."));

    const QByteArray getDados = request(QStringLiteral("GetDados"), day());
    const QByteArray setServTran = request(QStringLiteral("SetServTran"), {QVariant::fromValue(delta())});
    const QByteArray calcEtiqueta = request(QStringLiteral("CalcEtiqueta"),
        {QStringLiteral("0001"), QStringLiteral("00001"), QStringLiteral("003"), QStringLiteral("0000000007"),
         QStringLiteral("0000105"), QStringLiteral("XXXX"), wallClock(QDate(2026, 12, 8)), QStringLiteral("P"),
         QStringLiteral("1010010001"), 0.0, 4.0, 2.0, 0.0, 2.0, 1.0});
    const QByteArray calcServTrans = request(QStringLiteral("CalcServTrans"),
        {QStringLiteral("_0001_"), QStringLiteral("_000100001_000100002_"), wallClock(QDate(2026, 12, 8)),
         wallClock(QDate(2026, 12, 8)), QStringLiteral("ADMIN"), wallClock(QDate(2026, 12, 8), QTime(9, 30))});
    const QByteArray packets = encodeReply({resultOk(QVariantList{QVariant::fromValue(rows()), QVariant::fromValue(streamed())}), day(), {}});
    const QByteArray fault = encodeReply({{}, {}, QStringLiteral("Método desconhecido: \"GetTudo\".")});
    const QByteArray checkedError = encodeReply({resultError(QStringLiteral("Dia fechado.")), day(), {}});
    const QByteArray mapArg = request(QStringLiteral("M"), {QVariantMap{{QStringLiteral("a"), true}, {QStringLiteral("b"), QVariant()}}});

    // frames: the first byte sets the size of the pieces the rest arrives in
    write("frames", "one-call", QByteArray(1, 0) + frame(getDados));
    write("frames", "two-calls-in-small-pieces", QByteArray(1, 1) + frame(getDados) + frame(calcEtiqueta));
    write("frames", "empty-frame", QByteArray(1, 3) + frame(QByteArray()));
    write("frames", "truncated", QByteArray(1, 0) + frame(setServTran).chopped(5));
    write("frames", "oversized-header", QByteArray(1, 9) + QByteArray::fromHex("7fffffff00"));

    write("frames", "hello-then-call", QByteArray(1, 2) + frame(encodeHello({QStringLiteral("ADMIN"), QStringLiteral("s3gredo")})) + frame(getDados));

    write("calls", "hello", encodeHello({QStringLiteral("OPER1"), QStringLiteral("s3gredo")}));
    write("calls", "hello-no-token", encodeHello({QStringLiteral("ADMIN"), QString()}));
    write("calls", "hello-with-password", encodeHello({QStringLiteral("OPER1"), QString(), QStringLiteral("demo")}));
    write("calls", "getdados", getDados);
    write("calls", "setservtran", setServTran);
    write("calls", "calcetiqueta", calcEtiqueta);
    write("calls", "calcservtrans", calcServTrans);
    write("calls", "map-argument", mapArg);
    write("calls", "reply-packets", packets);
    write("calls", "reply-fault", fault);
    write("calls", "reply-checked-error", checkedError);
    write("calls", "deep-nesting", QByteArray(40, char(0x81)) + QByteArray::fromHex("01"));

    write("packets", "rows", rows().bytes());
    write("packets", "delta", delta().bytes());
    write("packets", "streamed-rows", streamed().bytes());
    write("packets", "no-rows", encodePacket(PacketContent{fields(), {}, false}).bytes());
    write("packets", "truncated", rows().bytes().chopped(3));
    return 0;
}

// Client dataset speed on a day's dishes: 10,000 rows of the 24 dish-row fields.
//   decode + load of the packet            target <= 10 ms, and within 1.5 x the baseline:
//                                          one pass of QCborStreamReader over the same bytes
//   the same, then every cell read once     what a load costs when every row is read after all
//   switch the dish filter, read first row  target <= 1 ms
//   encode a one-row delta                  target <= 0.1 ms
// Prints the median of repeated runs. Run a Release build: bench_clientdataset [rows]

#include <toolkit/clientdataset.h>

#include <QCborStreamReader>
#include <QCoreApplication>
#include <QLocale>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace toolkit;
using protocol::FieldKind;

namespace {

struct FieldSpec {
    const char *name;
    FieldKind kind;
    int size;
};

const FieldSpec kDishFields[] = {
    {"CDPRATO", FieldKind::String, 10},       {"NMPRATO", FieldKind::String, 40},
    {"QTEFETCLIST", FieldKind::Float, 0},     {"QTCOMESTIST", FieldKind::Float, 0},
    {"QTTOTAPRATST", FieldKind::Float, 0},    {"SGUNIDADE", FieldKind::String, 10},
    {"CDFILIAL", FieldKind::String, 4},       {"CDSERVFILI", FieldKind::String, 5},
    {"DTSERVTRAN", FieldKind::DateTime, 0},   {"CDFILAUXPRAT", FieldKind::String, 4},
    {"QTCOMECLIST", FieldKind::Float, 0},     {"QTPADRAOST", FieldKind::Float, 0},
    {"QTCONTAIST", FieldKind::Float, 0},      {"QTTOTACONTST", FieldKind::Float, 0},
    {"QTPARCPRATST", FieldKind::Float, 0},    {"QTCONTCOMPST", FieldKind::Float, 0},
    {"VRPECONSST", FieldKind::Float, 0},      {"CDDESTFILI", FieldKind::String, 3},
    {"CDCLIENTE", FieldKind::String, 21},     {"CDDIETPADST", FieldKind::String, 4},
    {"QTAMOSTRAST", FieldKind::Float, 0},     {"NRSERVTRAN", FieldKind::String, 10},
    {"QTCONTCOMPSTCAMOS", FieldKind::Float, 0}, {"QTTOTACONTSTCAMOS", FieldKind::Float, 0},
};

protocol::PacketContent dayOfDishes(int rows)
{
    protocol::PacketContent c;
    for (const FieldSpec &f : kDishFields)
        c.fields.append({QString::fromLatin1(f.name), f.kind, f.size, false, false});
    const QDateTime day = protocol::wallClock(QDate(2026, 12, 8));
    for (int i = 0; i < rows; ++i) {
        const int point = i / 20;   // 20 dishes per delivery point
        QList<QVariant> v;
        v << QStringLiteral("%1").arg(1010010000 + i % 400) << QStringLiteral("Prato de teste número %1").arg(i % 400)
          << 120.0 << 100.0 + i % 7 << 25.5 << QStringLiteral("KG") << QStringLiteral("0001") << QStringLiteral("00001")
          << day << QStringLiteral("P") << 120.0 << 0.25 << 4.0 << 7.0 << 2.75 << 5.0 << 12.5
          << QStringLiteral("%1").arg(point % 1000, 3, 10, QLatin1Char('0'))
          << QStringLiteral("%1").arg(point / 1000 + point, 14, 10, QLatin1Char('0')) << QStringLiteral("XXXX") << 0.5
          << QStringLiteral("%1").arg(i + 1, 10, 10, QLatin1Char('0')) << 5.0 << 7.0;
        c.rows.append({v, protocol::RowChange::Unchanged, {}});
    }
    return c;
}

// The baseline of decoding: Qt's own CBOR reader stepping once through the packet, every text
// read as a QString and every number as a double, nothing kept. Returns what it saw, so that the
// pass cannot be left out.
qint64 readerPass(const QByteArray &bytes)
{
    QCborStreamReader reader(bytes);
    qint64 seen = 0;
    while (reader.lastError() == QCborError::NoError) {
        if (!reader.hasNext()) {
            if (!reader.containerDepth())
                break;
            reader.leaveContainer();
            continue;
        }
        switch (reader.type()) {
        case QCborStreamReader::Array:
        case QCborStreamReader::Map: reader.enterContainer(); break;
        case QCborStreamReader::String: {
            auto chunk = reader.readString();
            while (chunk.status == QCborStreamReader::Ok) {
                seen += chunk.data.size();
                chunk = reader.readString();
            }
            break;
        }
        case QCborStreamReader::Double: seen += qint64(reader.toDouble()); reader.next(); break;
        default: ++seen; reader.next(); break;
        }
    }
    return seen;
}

double medianMs(int runs, const std::function<void()> &setup, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        setup();
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const protocol::DataPacket packet = protocol::encodePacket(dayOfDishes(rows));

    ClientDataSet ds(nullptr, QStringLiteral("cdsServTran"));
    const double load = medianMs(21, [&] { ds.close(); }, [&] { ds.setData(packet); });
    const double loadAndRead = medianMs(21, [&] { ds.close(); }, [&] {
        ds.setData(packet);
        for (int row = 0; row < ds.recordCount(); ++row)
            for (int field = 0; field < int(std::size(kDishFields)); ++field)
                ds.valueAt(row, field);
    });
    qint64 seen = 0;
    const double pass = medianMs(21, [] {}, [&] { seen += readerPass(packet.bytes()); });

    int point = 0;
    double sink = 0;
    const double filter = medianMs(
        101, [&] { point = (point + 37) % (rows / 20); },
        [&] {
            ds.setFilter(QStringLiteral("CDCLIENTE  = '%1' AND CDDESTFILI = '%2'")
                             .arg(point / 1000 + point, 14, 10, QLatin1Char('0'))
                             .arg(point % 1000, 3, 10, QLatin1Char('0')));
            ds.setFiltered(true);
            ds.first();
            sink += ds.fieldByName(QStringLiteral("QTTOTAPRATST"))->asFloat();
        });

    ds.setFiltered(false);
    QByteArray out;
    const double delta = medianMs(
        101,
        [&] {
            ds.mergeChangeLog();
            ds.setRecNo(rows / 2);
            ds.edit();
            ds.fieldByName(QStringLiteral("QTCOMESTIST"))->setAsFloat(sink > 0 ? 80 : 81);
            ds.post();
        },
        [&] { out = ds.delta().bytes(); });

    std::printf("rows: %d, fields: %d, packet: %lld bytes\n", rows, int(std::size(kDishFields)), (long long)packet.bytes().size());
    std::printf("decode + load:                 %8.3f ms (target <= 10 ms)\n", load);
    std::printf("the same, every cell read:     %8.3f ms\n", loadAndRead);
    std::printf("one QCborStreamReader pass:    %8.3f ms (baseline; ratio %.2f)\n", pass, load / pass);
    std::printf("switch dish filter, first row: %8.3f ms (target <= 1 ms)\n", filter);
    std::printf("encode one-row delta:          %8.3f ms (target <= 0.1 ms), %lld bytes\n", delta, (long long)out.size());
    return sink > 0 && seen > 0 ? 0 : 1;
}

// What a user waits for on the big day (500 points x 20 dishes x 5 labels), on the real screen
// offscreen against a server core on loopback and its SQLite file:
//   - from leaving the header with the day's service typed until the grids show the day, beside
//     the floor of reading that day (SQLite's own C API over the rows GetDados reads);
//   - from a click on another delivery point until the dish and label grids follow, beside one
//     frame of 16 ms.
//
//   bench_screen [runs]      (default 7; prints the medians)

#include "dayfloor.h"
#include "screenfixture.h"
#include "testsupport.h"

#include <framework/dateeditplus.h>
#include <toolkit/maskedit.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>

using namespace screentest;

namespace {

const servertest::LargeDay kShape;

double median(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Runs the event loop until `done` holds, then once more for the paints it posted; false after 60 s.
bool waitFor(const std::function<bool()> &done)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 60000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    QApplication::processEvents();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 7;

    ScreenFixture fx(World::Demo);
    {
        server::Database db(QStringLiteral("sqlite:") + fx.databasePath());
        servertest::seedLargeDay(db, kShape);
    }
    QWidget *screen = fx.openScreen();
    if (!screen) {
        std::fprintf(stderr, "the screen did not open\n");
        return 1;
    }
    auto *service = part<toolkit::MaskEdit>(screen, "medCdServico");
    auto *date = part<framework::TDateEditPlus>(screen, "depDataCard");
    auto *pointGrid = part<toolkit::DBGrid>(screen, "dbgPadrao");
    auto *dishGrid = part<toolkit::DBGrid>(screen, "dbgServTran");
    auto *labelGrid = part<toolkit::DBGrid>(screen, "dbgEtiqueta");
    toolkit::ClientDataSet *points = dataSet(screen, "cdsPadrao");
    toolkit::ClientDataSet *dishes = dataSet(screen, "cdsServTran");

    // the header filled as a user does, up to the moment the focus leaves it
    const auto fillHeader = [&](const QString &code, QDate day) {
        focus(service);
        service->setText(code);
        focus(date);
        date->SetDate(day);
    };
    const auto dishesFollow = [&] {
        return dishes->recordCount() > 0 && labelGrid->model()->rowCount() > 0
               && dishes->fieldByName(QStringLiteral("CDCLIENTE"))->asString()
                      == points->fieldByName(QStringLiteral("CDCLIENTE"))->asString()
               && dishes->fieldByName(QStringLiteral("CDDESTFILI"))->asString()
                      == points->fieldByName(QStringLiteral("CDDESTFILI"))->asString();
    };

    sqlite3 *floorConnection = benchfloor::openFloor(fx.databasePath());
    const QList<QByteArray> statements = benchfloor::dayStatements();
    QList<double> load, floor, follow;
    quint64 touched = 0;
    for (int i = 0; i < runs; ++i) {
        // the demo's small day in between, so that the big one is loaded again
        fillHeader(QStringLiteral("00001"), servertest::demoDay());
        focus(pointGrid);
        if (!waitFor([&] { return points->recordCount() > 0 && points->recordCount() < kShape.points(); }))
            return std::fprintf(stderr, "the small day did not load\n"), 1;

        fillHeader(QStringLiteral("00002"), kShape.date);
        QElapsedTimer t;
        t.start();
        focus(pointGrid);
        if (!waitFor([&] {
                return pointGrid->model()->rowCount() == kShape.points() && dishGrid->model()->rowCount() == kShape.dishes
                       && labelGrid->model()->rowCount() > 0;
            }))
            return std::fprintf(stderr, "the big day did not show\n"), 1;
        load << t.nsecsElapsed() / 1e6;

        for (int click = 0; click < 3; ++click) {
            const int row = 1 + (click % 2);   // the second and third points in turn: always another one
            const QPoint at = pointGrid->visualRect(pointGrid->model()->index(row, 1)).center();
            t.restart();
            QTest::mouseClick(pointGrid->viewport(), Qt::LeftButton, {}, at);
            if (!waitFor([&] { return points->recNo() == row && dishesFollow(); }))
                return std::fprintf(stderr, "the dishes did not follow the point\n"), 1;
            follow << t.nsecsElapsed() / 1e6;
        }

        t.restart();
        touched += benchfloor::readFloor(floorConnection, statements, kShape.date);
        floor << t.nsecsElapsed() / 1e6;
    }
    sqlite3_close(floorConnection);

    std::printf("leaving the header until the grids show the day: %8.1f ms (median of %d)\n", median(load), runs);
    std::printf("floor, SQLite's C API over the same rows:        %8.1f ms (median of %d; checksum %llu)\n", median(floor),
                runs, static_cast<unsigned long long>(touched % 1000));
    std::printf("ratio to the floor: %.2f\n", median(load) / median(floor));
    std::printf("a click on another point until dishes and labels follow: %6.2f ms (median of %lld), one frame 16.0 ms, "
                "ratio %.2f\n",
                median(follow), qlonglong(follow.size()), median(follow) / 16.0);
    return 0;
}

// Nothing of the demo day is cut, at the default font and at larger ones: every column of the
// three grids is as wide as the texts its cells show and shows its title whole or elided at its
// end; the header's and the quantity edits' texts fit their edits, and the labels their captions.

#include "screenfixture.h"

#include <toolkit/maskedit.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QStyle>

using namespace screentest;
using toolkit::ClientDataSet;
using toolkit::DBGrid;

namespace {

// The room a cell's text has: the style's text margins on both sides and the grid line.
int cellRoom(const DBGrid *grid, int column)
{
    const int margin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
    return grid->horizontalHeader()->sectionSize(column) - 2 * margin - 1;
}

// The text a cell shows. The client, point and dish columns show names, drawn by the screen
// three pixels in from the cell's edge.
QString shownText(const DBGrid *grid, int row, int column, int &room)
{
    static const QHash<QString, QString> names = {{QStringLiteral("NRINSJURCLIE"), QStringLiteral("NMRAZSOCCLIE")},
                                                  {QStringLiteral("CDDESTFILI"), QStringLiteral("NMDESTFILI")},
                                                  {QStringLiteral("CDPRATO"), QStringLiteral("NMPRATO")}};
    const QString field = grid->column(column).fieldName;
    if (names.contains(field)) {
        const ClientDataSet *ds = grid->dataSource()->dataSet();
        room = grid->horizontalHeader()->sectionSize(column) - 3 - 1;
        return ds->valueAt(row, ds->fieldByName(names.value(field))->index()).toString();
    }
    room = cellRoom(grid, column);
    return grid->model()->index(row, column).data(Qt::DisplayRole).toString();
}

// What is cut in a grid, one line per text ("" when nothing is).
QStringList cutInGrid(const DBGrid *grid)
{
    QStringList cut;
    const QFontMetrics cells(grid->font());
    const QHeaderView *header = grid->horizontalHeader();
    const QFontMetrics titles(header->font());
    const int headerMargin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    const ClientDataSet *ds = grid->dataSource()->dataSet();
    for (int c = 0; c < grid->columnCount(); ++c) {
        const QString title = ds->fieldByName(grid->column(c).fieldName)->displayLabel();
        const QString shown = grid->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        const int titleRoom = header->sectionSize(c) - 2 * headerMargin;
        const bool whole = shown == title;
        const bool elidedAtItsEnd = shown.endsWith(QChar(0x2026)) && shown.size() > 1 && title.startsWith(shown.chopped(1));
        if ((!whole && !elidedAtItsEnd) || titles.horizontalAdvance(shown) > titleRoom)
            cut << QStringLiteral("%1: title \"%2\" shown as \"%3\" in %4 px")
                       .arg(grid->objectName(), title, shown)
                       .arg(titleRoom);
        for (int r = 0; r < grid->model()->rowCount(); ++r) {
            int room = 0;
            const QString text = shownText(grid, r, c, room);
            if (cells.horizontalAdvance(text) > room)
                cut << QStringLiteral("%1: \"%2\" needs %3 px, has %4")
                           .arg(grid->objectName(), text)
                           .arg(cells.horizontalAdvance(text))
                           .arg(room);
        }
    }
    return cut;
}

// A line edit's text against the room inside its frame and margins.
QStringList cutInEdit(const QLineEdit *edit)
{
    const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
    const QMargins margins = edit->textMargins();
    const int room = edit->width() - 2 * frame - 2 * 2 - margins.left() - margins.right();   // 2: the edit's own margin
    const int needs = edit->fontMetrics().horizontalAdvance(edit->displayText());
    if (needs <= room)
        return {};
    return {QStringLiteral("%1: \"%2\" needs %3 px, has %4").arg(edit->objectName(), edit->displayText()).arg(needs).arg(room)};
}

QStringList cutInLabel(const QLabel *label)
{
    if (label->isHidden() || label->width() >= label->sizeHint().width())
        return {};
    return {QStringLiteral("%1: \"%2\" needs %3 px, has %4")
                .arg(label->objectName(), label->text())
                .arg(label->sizeHint().width())
                .arg(label->width())};
}

// The application font for one test, given back afterwards.
class ApplicationFont {
public:
    explicit ApplicationFont(double scale) : m_saved(QApplication::font())
    {
        QFont font = m_saved;
        font.setPointSizeF(m_saved.pointSizeF() * scale);
        QApplication::setFont(font);
    }
    ~ApplicationFont() { QApplication::setFont(m_saved); }
    ApplicationFont(const ApplicationFont &) = delete;
    ApplicationFont &operator=(const ApplicationFont &) = delete;

private:
    QFont m_saved;
};

} // namespace

class TestServTranLayout : public QObject {
    Q_OBJECT

private slots:
    void nothingOfTheDemoDayIsCut_data()
    {
        QTest::addColumn<double>("scale");
        QTest::newRow("default font") << 1.0;
        QTest::newRow("125 %") << 1.25;
        QTest::newRow("150 %") << 1.5;
    }
    void nothingOfTheDemoDayIsCut()
    {
        QFETCH(double, scale);
        const ApplicationFont font(scale);
        ScreenFixture fx(World::Demo);
        fx.mainWindow()->resize(1280, 900);
        QWidget *screen = fx.openScreen();
        QVERIFY(screen);
        focus(part(screen, "medCdServico"));
        type(part(screen, "medCdServico"), QStringLiteral("00001"));
        focus(part(screen, "dbgPadrao"));
        QCOMPARE(fx.presenter().errors(), QStringList());

        ClientDataSet *points = dataSet(screen, "cdsPadrao");
        ClientDataSet *dishes = dataSet(screen, "cdsServTran");
        ClientDataSet *labels = dataSet(screen, "cdsEtiqueta");
        QVERIFY(points->recordCount() >= 3);
        QStringList cut = cutInGrid(part<DBGrid>(screen, "dbgPadrao"));
        for (const char *name : {"medCdFilial", "edtNmFilial", "medCdServico", "edtNmServico", "depDataCard", "edtNomeDia",
                                 "nedComenServ"})
            cut << cutInEdit(part<QLineEdit>(screen, name));
        for (QLabel *label : screen->findChildren<QLabel *>())
            cut << cutInLabel(label);
        int labelRows = 0;
        for (points->first(); !points->eof(); points->next()) {
            QVERIFY(dishes->recordCount() > 0);
            cut << cutInGrid(part<DBGrid>(screen, "dbgServTran"));
            for (dishes->first(); !dishes->eof(); dishes->next()) {
                cut << cutInGrid(part<DBGrid>(screen, "dbgEtiqueta"));
                for (const char *name : {"dbeQtPadrao", "dbeQtContainer", "dbeQtContComp"})
                    cut << cutInEdit(part<QLineEdit>(screen, name));
                labelRows += labels->recordCount();
            }
        }
        QVERIFY(labelRows > 0);
        cut.removeDuplicates();
        QCOMPARE(cut, QStringList());
    }
};

QTEST_MAIN(TestServTranLayout)
#include "tst_servtran_layout.moc"

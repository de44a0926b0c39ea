#include <QPainter>
#include <QtTest>
#include <limits>

#include "support/chartframe.h"
#include "trend/trendchart.h"

using namespace veruziva;
using sim::FindPlot;

namespace {

constexpr qint64 T0 = 1'800'000'000'000;  // 2027-01-15 10:00:00 in the tests' zone
constexpr QSize Size(400, 200);
constexpr QRgb White = 0xFFFFFFFF;  // the dark theme's text and frame
constexpr QRgb Black = 0xFF000000;  // the light theme's
constexpr QRgb Yellow = 0xFFFFFF00;
constexpr QRgb Aqua = 0xFF00FFFF;

QRgb Frame(TrendTheme theme) {
    return theme == TrendTheme::Dark ? White : Black;
}

// The row a fraction of the plot's height below its top row.
int RowAt(const QRect& plot, double fraction) {
    return plot.top() + static_cast<int>(std::lround(fraction * (plot.height() - 1)));
}

int CountInRow(const QImage& image, int y, int left, int right, QRgb colour) {
    int count = 0;
    for (int x = left; x <= right; ++x) {
        count += image.pixel(x, y) == colour ? 1 : 0;
    }
    return count;
}

int CountInRect(const QImage& image, const QRect& rect, QRgb colour) {
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        count += CountInRow(image, y, rect.left(), rect.right(), colour);
    }
    return count;
}

TrendChartView Minute(std::int64_t t0 = T0) {
    TrendChartView view;
    view.t0Ms = t0;
    view.t1Ms = t0 + 60'000;
    return view;
}

}  // namespace

class TestTrendChart : public QObject {
    Q_OBJECT

private slots:
    void constantReadings_data();
    void constantReadings();
    void rampIsOnePixelAColumn_data();
    void rampIsOnePixelAColumn();
    void markerIsAVerticalLine_data();
    void markerIsAVerticalLine();
    void overloadsUnderThePlot();
    void autoScaleHoldsTheReadings();
    void scalesPerUnit_data();
    void scalesPerUnit();
    void oneUnitAnAxis();
    void levelMovedIsShaded_data();
    void levelMovedIsShaded();
    void timeTicks_data();
    void timeTicks();
    void anyTimeIsDrawn_data();
    void anyTimeIsDrawn();
};

void TestTrendChart::constantReadings_data() {
    QTest::addColumn<TrendTheme>("theme");
    QTest::addColumn<bool>("showA");
    QTest::addColumn<bool>("showB");
    QTest::addColumn<QRgb>("colourA");
    QTest::addColumn<QRgb>("colourB");
    QTest::addColumn<qreal>("ratio");
    // The scope's yellow and aqua; on white the same hues darker.
    QTest::newRow("dark") << TrendTheme::Dark << true << true << Yellow << Aqua << qreal{1};
    QTest::newRow("light") << TrendTheme::Light << true << true << QRgb{0xFF968200}
                           << QRgb{0xFF008296} << qreal{1};
    QTest::newRow("B hidden") << TrendTheme::Dark << true << false << Yellow << Aqua << qreal{1};
    QTest::newRow("A hidden") << TrendTheme::Light << false << true << QRgb{0xFF968200}
                              << QRgb{0xFF008296} << qreal{1};
    // Lines a device pixel wide: the plot twice as many pixels each way.
    QTest::newRow("dark at ratio 2")
        << TrendTheme::Dark << true << true << Yellow << Aqua << qreal{2};
}

void TestTrendChart::constantReadings() {
    QFETCH(TrendTheme, theme);
    QFETCH(bool, showA);
    QFETCH(bool, showB);
    QFETCH(QRgb, colourA);
    QFETCH(QRgb, colourB);
    QFETCH(qreal, ratio);
    TrendRecorder recorder;
    for (int i = 0; i < 600; ++i) {
        recorder.add({T0 + 100 * i, 5, 2.5, 'V', 'V', false, false});
    }
    TrendChartView view = Minute();
    view.autoScale = false;
    view.minimum = 0;
    view.maximum = 10;
    view.show = {showA, showB};
    view.theme = theme;
    const QImage image = RenderTrendChart(recorder, view, Size, ratio);
    QCOMPARE(image.size(), Size * ratio);
    const QRect plot = FindPlot(image, Frame(theme));
    QVERIFY2(plot.width() > 200 * ratio && plot.height() > 100 * ratio,
             qPrintable(QDebug::toString(plot)));
    // 0 on the bottom row, 10 on the top one: 5 halfway, 2.5 three quarters down.
    const std::array<std::tuple<bool, QRgb, int>, 2> traces{
        {{showA, colourA, RowAt(plot, 0.5)}, {showB, colourB, RowAt(plot, 0.75)}}};
    for (const auto& [shown, colour, row] : traces) {
        const int inRow = CountInRow(image, row, plot.left(), plot.right(), colour);
        QCOMPARE(CountInRect(image, plot, colour), shown ? inRow : 0);
        QVERIFY(!shown || inRow > plot.width() * 9 / 10);
    }
}

void TestTrendChart::rampIsOnePixelAColumn_data() {
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("ratio 1") << qreal{1};
    // Drawn at the device's resolution, not 2 x 2 pixel steps.
    QTest::newRow("ratio 2") << qreal{2};
}

void TestTrendChart::rampIsOnePixelAColumn() {
    // A rises from 1 V to 9 V over the minute, on a scale of 0 to 10: a line flatter than a
    // diagonal, one pixel in each column (but the last: no reading there at ratio 2), each a
    // row above the last at most.
    QFETCH(qreal, ratio);
    TrendRecorder recorder;
    for (int i = 0; i < 600; ++i) {
        recorder.add({T0 + 100 * i, 1 + 8 * i / 600.0, 1, 'V', 'V', false, false});
    }
    TrendChartView view = Minute();
    view.autoScale = false;
    view.maximum = 10;
    view.show = {true, false};
    const QImage image = RenderTrendChart(recorder, view, Size, ratio);
    const QRect plot = FindPlot(image, White);
    // The frame a device pixel wide.
    const int middle = plot.top() + plot.height() / 2;
    QCOMPARE(image.pixel(plot.left() - 1, middle), White);
    QVERIFY(image.pixel(plot.left() - 2, middle) != White);
    QCOMPARE(image.pixel(plot.right() + 1, middle), White);
    QVERIFY(image.pixel(plot.right() + 2, middle) != White);
    int previous = RowAt(plot, 0.9);
    for (int x = plot.left(); x < plot.right(); ++x) {
        QList<int> rows;
        for (int y = plot.top(); y <= plot.bottom(); ++y) {
            if (image.pixel(x, y) == Yellow) {
                rows.append(y);
            }
        }
        QVERIFY2(rows.size() == 1,
                 qPrintable(QStringLiteral("%1: %2 rows").arg(x).arg(rows.size())));
        QVERIFY2(rows[0] <= previous && rows[0] >= previous - 1, qPrintable(QString::number(x)));
        previous = rows[0];
    }
    QCOMPARE(previous, RowAt(plot, 0.1));
}

void TestTrendChart::markerIsAVerticalLine_data() {
    QTest::addColumn<TrendTheme>("theme");
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("dark") << TrendTheme::Dark << White << qreal{1};
    QTest::newRow("light") << TrendTheme::Light << QRgb{0xFF5A5A5A} << qreal{1};
    QTest::newRow("light at ratio 2") << TrendTheme::Light << QRgb{0xFF5A5A5A} << qreal{2};
}

void TestTrendChart::markerIsAVerticalLine() {
    QFETCH(TrendTheme, theme);
    QFETCH(QRgb, colour);
    QFETCH(qreal, ratio);
    TrendRecorder recorder;
    recorder.add({T0, 1, 1, 'V', 'V', false, false});
    TrendChartView view = Minute();
    view.theme = theme;
    const QImage unmarked = RenderTrendChart(recorder, view, Size, ratio);
    const QRect plot = FindPlot(unmarked, Frame(theme));
    const int x = plot.left() + plot.width() / 2;
    const QRect column(x, plot.top(), 1, plot.height());
    QCOMPARE(CountInRect(unmarked, column, colour), 0);
    recorder.mark(T0 + 30'000, QStringLiteral("Cal"));
    const QImage marked = RenderTrendChart(recorder, view, Size, ratio);
    // Dashed: a good part of the column, not all of it; a device pixel wide.
    const int dashes = CountInRect(marked, column, colour);
    QVERIFY2(dashes > plot.height() / 3 && dashes < plot.height(),
             qPrintable(QString::number(dashes)));
    QCOMPARE(CountInRect(marked, column.translated(-2, 0), colour), 0);
    QCOMPARE(CountInRect(marked, column.translated(-1, 0), colour), 0);
    QCOMPARE(CountInRect(marked, column.translated(1, 0), colour), 0);
}

void TestTrendChart::overloadsUnderThePlot() {
    TrendRecorder recorder;
    for (int i = 0; i < 600; ++i) {
        // A clips from 40 s to 45 s, B never.
        recorder.add({T0 + 100 * i, 1, 1, 'V', 'V', i >= 400 && i < 450, false});
    }
    const QImage image = RenderTrendChart(recorder, Minute(), Size);
    const QRect plot = FindPlot(image, White);
    const QRect strips(plot.left(), plot.bottom() + 1, plot.width(), 9);
    const int red = CountInRect(image, strips, 0xFFFF0000);
    const int columns = plot.width() / 12;  // 5 s of 60
    QVERIFY2(red >= 3 * (columns - 1) && red <= 3 * (columns + 1),
             qPrintable(QString::number(red)));
    const int x = plot.left() + plot.width() * 42 / 60;
    // A's strip two rows under the frame, B's under A's.
    QCOMPARE(image.pixel(x, plot.bottom() + 3), QRgb{0xFFFF0000});
    QVERIFY(image.pixel(x, plot.bottom() + 7) != 0xFFFF0000);
    QVERIFY(image.pixel(plot.left() + plot.width() / 3, plot.bottom() + 3) != 0xFFFF0000);
}

void TestTrendChart::autoScaleHoldsTheReadings() {
    TrendRecorder recorder;
    for (int i = 0; i < 100; ++i) {
        recorder.add({T0 + 100 * i, 10.0 + i % 3, -4, 'V', 'V', false, false});
    }
    TrendChartView view;
    view.t0Ms = T0;
    view.t1Ms = T0 + 10'000;
    const TrendColumns columns = recorder.columns(view.t0Ms, view.t1Ms, 100);
    // Both channels with a 5 % margin; B hidden: A alone; one value: 5 % of it.
    QCOMPARE(TrendValueRange(columns, view), std::make_pair(-4.8, 12.8));
    view.show = {true, false};
    QCOMPARE(TrendValueRange(columns, view), std::make_pair(9.9, 12.1));
    view.show = {false, true};
    QCOMPARE(TrendValueRange(columns, view), std::make_pair(-4.2, -3.8));

    // A channel that reads exactly 0: half a unit either side, the line halfway up.
    TrendRecorder zero;
    for (int i = 0; i < 600; ++i) {
        zero.add({T0 + 100 * i, 0, 0, 'V', 'V', false, false});
    }
    view = Minute();
    view.show = {true, false};
    QCOMPARE(TrendValueRange(zero.columns(view.t0Ms, view.t1Ms, 10), view),
             std::make_pair(-0.5, 0.5));
    const QImage image = RenderTrendChart(zero, view, Size);
    const QRect plot = FindPlot(image, White);
    QVERIFY(CountInRow(image, RowAt(plot, 0.5), plot.left(), plot.right(), Yellow) >
            plot.width() * 9 / 10);
}

void TestTrendChart::scalesPerUnit_data() {
    QTest::addColumn<char>("unitB");
    QTest::addColumn<bool>("autoScale");
    QTest::addColumn<bool>("separate");
    QTest::addColumn<double>("rowA");  // the fraction of the plot's height from its top
    QTest::addColumn<double>("rowB");
    // A 5 V; B 0.1 then 0.3. A scale each: 4.75 .. 5.25 and 0.09 .. 0.31.
    QTest::newRow("volts and amperes") << 'A' << true << true << 0.5 << 0.01 / 0.22;
    // One scale: -0.145 .. 5.245.
    QTest::newRow("volts on both") << 'V' << true << false << 0.245 / 5.39 << 4.945 / 5.39;
    // Set by hand, 0 .. 10: an axis each still, each in its unit.
    QTest::newRow("volts and amperes, 0 to 10") << 'A' << false << true << 0.5 << 0.97;
}

void TestTrendChart::scalesPerUnit() {
    QFETCH(char, unitB);
    QFETCH(bool, autoScale);
    QFETCH(bool, separate);
    QFETCH(double, rowA);
    QFETCH(double, rowB);
    TrendRecorder recorder;
    for (int i = 0; i < 600; ++i) {
        recorder.add({T0 + 100 * i, 5, i < 300 ? 0.1 : 0.3, 'V', unitB, false, false});
    }
    TrendChartView view = Minute();
    view.autoScale = autoScale;
    view.maximum = 10;
    QCOMPARE(TrendSeparateScales(recorder, view), separate);
    const QImage image = RenderTrendChart(recorder, view, Size);
    const QRect plot = FindPlot(image, White);
    const int x = plot.left() + plot.width() * 3 / 4;
    QCOMPARE(image.pixel(x, RowAt(plot, rowA)), Yellow);
    QCOMPARE(image.pixel(x, RowAt(plot, rowB)), Aqua);
    // B's scale on the right in B's colour, or none.
    const QRect right(plot.right() + 2, plot.top(), Size.width() - plot.right() - 2, plot.height());
    QCOMPARE(CountInRect(image, right, Aqua) > 8, separate);
}

void TestTrendChart::oneUnitAnAxis() {
    // A raw (6000) for the first half minute, then 5 V: the axis is in volts, the raw stretch
    // not drawn on it.
    TrendRecorder recorder;
    for (int i = 0; i < 600; ++i) {
        recorder.add(
            {T0 + 100 * i, i < 300 ? 6000.0 : 5.0, 1, i < 300 ? ' ' : 'V', 'V', false, false});
    }
    const TrendChartView view = Minute();
    QVERIFY(!TrendSeparateScales(recorder, view));
    const QImage image = RenderTrendChart(recorder, view, Size);
    const QRect plot = FindPlot(image, White);
    const QRect left(plot.left(), plot.top(), plot.width() / 2 - 2, plot.height());
    QCOMPARE(CountInRect(image, left, Yellow), 0);
    // 5 V and 1 V on one scale, 0.8 .. 5.2: A a twentieth down, B a twentieth up.
    const int x = plot.left() + plot.width() * 3 / 4;
    QCOMPARE(image.pixel(x, RowAt(plot, 0.2 / 4.4)), Yellow);
    QCOMPARE(image.pixel(x, RowAt(plot, 4.2 / 4.4)), Aqua);
}

void TestTrendChart::levelMovedIsShaded_data() {
    QTest::addColumn<TrendTheme>("theme");
    QTest::addColumn<QRgb>("band");
    QTest::addColumn<QRgb>("trace");
    // A quarter of amber over the background.
    QTest::newRow("dark") << TrendTheme::Dark << QRgb{0xFF408C60} << Yellow;
    QTest::newRow("light") << TrendTheme::Light << QRgb{0xFFFFEBBF} << QRgb{0xFF968200};
}

void TestTrendChart::levelMovedIsShaded() {
    QFETCH(TrendTheme, theme);
    QFETCH(QRgb, band);
    QFETCH(QRgb, trace);
    // A 5 V, read at a moved level (reading 9 V) from 20 s to 40 s; B hidden.
    TrendRecorder recorder;
    for (int i = 0; i < 600; ++i) {
        const bool moved = i >= 200 && i < 400;
        TrendSample sample{T0 + 100 * i, moved ? 9.0 : 5.0, 1, 'V', 'V', false, false};
        sample.levelMovedA = moved;
        recorder.add(sample);
    }
    TrendChartView view = Minute();
    view.autoScale = false;
    view.minimum = 0;
    view.maximum = 10;
    view.show = {true, false};
    view.theme = theme;
    const QImage image = RenderTrendChart(recorder, view, Size);
    const QRect plot = FindPlot(image, Frame(theme));
    const int moved = plot.left() + plot.width() * 2 / 5;  // 24 s: no grid line there
    const int valid = plot.left() + plot.width() / 6;
    QCOMPARE(image.pixel(moved, RowAt(plot, 0.3)), band);
    QCOMPARE(image.pixel(moved, RowAt(plot, 0.9)), band);
    QVERIFY(image.pixel(valid, RowAt(plot, 0.3)) != band);
    // The moved readings are not drawn: 5 V on both sides, nothing at 9 V.
    QCOMPARE(CountInRow(image, RowAt(plot, 0.1), plot.left(), plot.right(), trace), 0);
    QCOMPARE(image.pixel(valid, RowAt(plot, 0.5)), trace);
    QVERIFY(image.pixel(moved, RowAt(plot, 0.5)) != trace);
    // Wide enough that a block does not come for every column: still one band, no stripes
    // (from 21.5 s to 23.5 s, where no grid line is).
    const QImage wide = RenderTrendChart(recorder, view, QSize(1600, 200));
    const QRect widePlot = FindPlot(wide, Frame(theme));
    const int from = widePlot.left() + widePlot.width() * 215 / 600;
    const int to = widePlot.left() + widePlot.width() * 235 / 600;
    QCOMPARE(CountInRow(wide, RowAt(widePlot, 0.3), from, to, band), to - from + 1);
}

void TestTrendChart::timeTicks_data() {
    QTest::addColumn<qint64>("t0");
    QTest::addColumn<qint64>("t1");
    QTest::addColumn<bool>("elapsed");
    QTest::addColumn<int>("width");
    QTest::addColumn<QStringList>("labels");
    // Labels 60 pixels wide: one every 76 pixels or more.
    QTest::newRow("clock, a minute")
        << qint64{T0} << qint64{T0 + 60'000} << false << 400
        << QStringList{"10:00:00", "10:00:15", "10:00:30", "10:00:45", "10:01:00"};
    QTest::newRow("clock, a day") << qint64{T0 + 1800'000} << qint64{T0 + 88'200'000} << false
                                  << 800 << QStringList{"12:00", "15:00", "18:00", "21:00",
                                                        "00:00", "03:00", "06:00", "09:00"};
    // A recording's rows from 1 min to 10 min: seconds from its start, not from the first row.
    QTest::newRow("elapsed, 1 to 10 min")
        << qint64{60'000} << qint64{600'000} << true << 800
        << QStringList{"60", "120", "180", "240", "300", "360", "420", "480", "540", "600"};
    // 18 minutes and more are whole seconds too.
    QTest::newRow("elapsed, 17 to 20 min")
        << qint64{1'020'000} << qint64{1'200'000} << true << 800
        << QStringList{"1020", "1050", "1080", "1110", "1140", "1170", "1200"};
    // Beyond a day: days.
    QTest::newRow("elapsed, a week")
        << qint64{0} << qint64{604'800'000} << true << 800
        << QStringList{"0", "86400", "172800", "259200", "345600", "432000", "518400", "604800"};
}

void TestTrendChart::timeTicks() {
    QFETCH(qint64, t0);
    QFETCH(qint64, t1);
    QFETCH(bool, elapsed);
    QFETCH(int, width);
    TrendChartView view;
    view.t0Ms = t0;
    view.t1Ms = t1;
    view.elapsedTime = elapsed;
    QStringList labels;
    for (const TrendTimeTick& tick : TrendTimeTicks(view, width, 60)) {
        labels.append(tick.label);
    }
    QTEST(labels, "labels");
}

void TestTrendChart::anyTimeIsDrawn_data() {
    QTest::addColumn<qint64>("t0");
    QTest::addColumn<qint64>("t1");
    constexpr qint64 Earliest = std::numeric_limits<qint64>::min();
    constexpr qint64 Latest = std::numeric_limits<qint64>::max();
    QTest::newRow("the first minute") << Earliest << Earliest + 60'000;
    QTest::newRow("the last minute") << Latest - 60'000 << Latest;
    QTest::newRow("all of them") << Earliest << Latest;
}

void TestTrendChart::anyTimeIsDrawn() {
    QFETCH(qint64, t0);
    QFETCH(qint64, t1);
    // A reading at each end, an axis with ticks: drawn in a moment, without overflow.
    TrendRecorder recorder;
    recorder.add({t0, 1, 1, 'V', 'V', false, false});
    recorder.add({t1, 1, 1, 'V', 'V', false, false});
    TrendChartView view;
    view.t0Ms = t0;
    view.t1Ms = t1;
    view.show = {true, false};
    for (const bool elapsed : {false, true}) {
        view.elapsedTime = elapsed;
        view.originMs = t1;
        QVERIFY(TrendTimeTicks(view, Size.width(), 60).size() <= 6);
        const QImage image = RenderTrendChart(recorder, view, Size);
        const QRect plot = FindPlot(image, White);
        QCOMPARE(image.pixel(plot.right(), RowAt(plot, 0.5)), Yellow);
    }
}

QTEST_MAIN(TestTrendChart)
#include "tst_trendchart.moc"

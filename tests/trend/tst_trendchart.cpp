#include <QPainter>
#include <QtTest>

#include "trend/trendchart.h"

using namespace veruziva;

namespace {

constexpr std::int64_t T0 = 1'800'000'000'000;
constexpr QSize Size(400, 200);

QRect Plot(bool rightAxis = false) {
    QImage image(Size, QImage::Format_RGB32);
    QPainter painter(&image);
    return TrendChartGeometry(image.rect(), painter.fontMetrics(), rightAxis).plot();
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

}  // namespace

class TestTrendChart : public QObject {
    Q_OBJECT

private slots:
    void constantReadings_data();
    void constantReadings();
    void markerIsAVerticalLine_data();
    void markerIsAVerticalLine();
    void overloadsUnderThePlot();
    void autoScaleHoldsTheReadings();
    void scalesPerUnit_data();
    void scalesPerUnit();
};

void TestTrendChart::constantReadings_data() {
    QTest::addColumn<TrendTheme>("theme");
    QTest::addColumn<bool>("showA");
    QTest::addColumn<bool>("showB");
    QTest::addColumn<QRgb>("colourA");
    QTest::addColumn<QRgb>("colourB");
    // The scope's yellow and aqua; on white the same hues darker.
    QTest::newRow("dark") << TrendTheme::Dark << true << true << QRgb{0xFFFFFF00}
                          << QRgb{0xFF00FFFF};
    QTest::newRow("light") << TrendTheme::Light << true << true << QRgb{0xFF968200}
                           << QRgb{0xFF008296};
    QTest::newRow("B hidden") << TrendTheme::Dark << true << false << QRgb{0xFFFFFF00}
                              << QRgb{0xFF00FFFF};
    QTest::newRow("A hidden") << TrendTheme::Light << false << true << QRgb{0xFF968200}
                              << QRgb{0xFF008296};
}

void TestTrendChart::constantReadings() {
    QFETCH(TrendTheme, theme);
    QFETCH(bool, showA);
    QFETCH(bool, showB);
    QFETCH(QRgb, colourA);
    QFETCH(QRgb, colourB);
    TrendRecorder recorder;
    for (int i = 0; i < 600; ++i) {
        recorder.add({T0 + 100 * i, 5, 2.5, 'V', 'V', false, false});
    }
    TrendChartView view;
    view.t0Ms = T0;
    view.t1Ms = T0 + 60'000;
    view.autoScale = false;
    view.minimum = 0;
    view.maximum = 10;
    view.show = {showA, showB};
    view.theme = theme;
    const QImage image = RenderTrendChart(recorder, view, Size);
    const QRect plot = Plot();
    QVERIFY(plot.width() > 200 && plot.height() > 100);
    // 0 on the bottom row, 10 on the top one.
    const auto row = [&](double v) {
        return plot.top() + static_cast<int>(std::lround((10 - v) / 10 * (plot.height() - 1)));
    };
    if (showA) {
        QVERIFY(CountInRow(image, row(5), plot.left(), plot.right(), colourA) >
                plot.width() * 9 / 10);
        QCOMPARE(CountInRect(image, plot, colourA),
                 CountInRow(image, row(5), plot.left(), plot.right(), colourA));
    } else {
        QCOMPARE(CountInRect(image, plot, colourA), 0);
    }
    if (showB) {
        QVERIFY(CountInRow(image, row(2.5), plot.left(), plot.right(), colourB) >
                plot.width() * 9 / 10);
        QCOMPARE(CountInRect(image, plot, colourB),
                 CountInRow(image, row(2.5), plot.left(), plot.right(), colourB));
    } else {
        QCOMPARE(CountInRect(image, plot, colourB), 0);
    }
}

void TestTrendChart::markerIsAVerticalLine_data() {
    QTest::addColumn<TrendTheme>("theme");
    QTest::addColumn<QRgb>("colour");
    QTest::newRow("dark") << TrendTheme::Dark << QRgb{0xFFFFFFFF};
    QTest::newRow("light") << TrendTheme::Light << QRgb{0xFF5A5A5A};
}

void TestTrendChart::markerIsAVerticalLine() {
    QFETCH(TrendTheme, theme);
    QFETCH(QRgb, colour);
    TrendRecorder recorder;
    recorder.add({T0, 1, 1, 'V', 'V', false, false});
    TrendChartView view;
    view.t0Ms = T0;
    view.t1Ms = T0 + 60'000;
    view.theme = theme;
    const QRect plot = Plot();
    const int x = plot.left() + plot.width() / 2;
    const QRect column(x, plot.top(), 1, plot.height());
    QCOMPARE(CountInRect(RenderTrendChart(recorder, view, Size), column, colour), 0);
    recorder.mark(T0 + 30'000, QStringLiteral("Cal"));
    const QImage marked = RenderTrendChart(recorder, view, Size);
    // Dashed: a good part of the column, not all of it.
    const int dashes = CountInRect(marked, column, colour);
    QVERIFY2(dashes > plot.height() / 3 && dashes < plot.height(),
             qPrintable(QString::number(dashes)));
    QCOMPARE(CountInRect(marked, column.translated(-2, 0), colour), 0);
}

void TestTrendChart::overloadsUnderThePlot() {
    TrendRecorder recorder;
    for (int i = 0; i < 600; ++i) {
        // A clips from 40 s to 45 s, B never.
        recorder.add({T0 + 100 * i, 1, 1, 'V', 'V', i >= 400 && i < 450, false});
    }
    TrendChartView view;
    view.t0Ms = T0;
    view.t1Ms = T0 + 60'000;
    const QImage image = RenderTrendChart(recorder, view, Size);
    const QRect plot = Plot();
    const QRect strips(plot.left(), plot.bottom() + 1, plot.width(), 9);
    const int red = CountInRect(image, strips, 0xFFFF0000);
    const int columns = plot.width() / 12;  // 5 s of 60
    QVERIFY2(red >= 3 * (columns - 1) && red <= 3 * (columns + 1),
             qPrintable(QString::number(red)));
    const int x = plot.left() + plot.width() * 42 / 60;
    QCOMPARE(image.pixel(x, plot.bottom() + 3), QRgb{0xFFFF0000});
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
}

void TestTrendChart::scalesPerUnit_data() {
    QTest::addColumn<char>("unitB");
    QTest::addColumn<bool>("separate");
    QTest::addColumn<double>("rowA");  // the fraction of the plot's height from its top
    QTest::addColumn<double>("rowB");
    // A 5 V; B 0.1 then 0.3. A scale each: 4.75 .. 5.25 and 0.09 .. 0.31.
    QTest::newRow("volts and amperes") << 'A' << true << 0.5 << 0.01 / 0.22;
    // One scale: -0.145 .. 5.245.
    QTest::newRow("volts on both") << 'V' << false << 0.245 / 5.39 << 4.945 / 5.39;
}

void TestTrendChart::scalesPerUnit() {
    QFETCH(char, unitB);
    QFETCH(bool, separate);
    QFETCH(double, rowA);
    QFETCH(double, rowB);
    TrendRecorder recorder;
    for (int i = 0; i < 600; ++i) {
        recorder.add({T0 + 100 * i, 5, i < 300 ? 0.1 : 0.3, 'V', unitB, false, false});
    }
    TrendChartView view;
    view.t0Ms = T0;
    view.t1Ms = T0 + 60'000;
    QCOMPARE(TrendSeparateScales(recorder, view), separate);
    const QImage image = RenderTrendChart(recorder, view, Size);
    const QRect plot = Plot(separate);
    const auto row = [&](double fraction) {
        return plot.top() + static_cast<int>(std::lround(fraction * (plot.height() - 1)));
    };
    const int x = plot.left() + plot.width() * 3 / 4;
    QCOMPARE(image.pixel(x, row(rowA)), QRgb{0xFFFFFF00});
    QCOMPARE(image.pixel(x, row(rowB)), QRgb{0xFF00FFFF});
}

QTEST_MAIN(TestTrendChart)
#include "tst_trendchart.moc"

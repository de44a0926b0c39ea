#include <QtTest>
#include <algorithm>
#include <cmath>
#include <vector>

#include "measurement/blockmeasurement.h"
#include "measurement/oscilloscope.h"

using namespace veruziva;

namespace {

using Frames = std::vector<StereoFrame>;
constexpr int W = Oscilloscope::Width;
constexpr int H = Oscilloscope::Height;

Frames Constant(std::int16_t a, std::int16_t b, int count = FramesPerBuffer) {
    return Frames(static_cast<std::size_t>(count), StereoFrame{a, b});
}

// Channel A below zero everywhere except one frame that rises to +100.
Frames RiseAt(int frame) {
    Frames frames = Constant(-100, 0);
    frames[static_cast<std::size_t>(frame)].a = 100;
    return frames;
}

ScopeSettings OnlyA() {
    ScopeSettings settings;
    settings.showB = false;
    return settings;
}

ScopeSettings TriggerOnA(int level) {
    ScopeSettings settings = OnlyA();
    settings.triggerSourceAEnabled = true;
    settings.triggerSourceBEnabled = true;
    settings.triggerSourceADown = true;
    settings.triggerLevelPositionA = TriggerLevelTop - level;
    return settings;
}

// One block through the scope and the measurement pass together, as the window runs it.
std::int32_t Draw(Oscilloscope& scope, const Frames& frames, const ScopeSettings& settings,
                  const DisplayParameters& display = {}) {
    ScopePlotter plotter = scope.begin(frames, settings, display);
    MeasureBlock(frames, PassSettings{}, plotter);
    return plotter.startFrame();
}

QRgb Pixel(const Oscilloscope& scope, int x, int y) {
    return scope.image().pixel(x, y);
}

// The rows of column x that hold the colour.
QList<int> RowsOf(const Oscilloscope& scope, int x, QRgb colour) {
    QList<int> rows;
    for (int y = 0; y < scope.image().height(); ++y) {
        if (Pixel(scope, x, y) == colour) {
            rows.append(y);
        }
    }
    return rows;
}

// The columns of row y that hold the colour.
QList<int> ColumnsOf(const Oscilloscope& scope, int y, QRgb colour) {
    QList<int> columns;
    for (int x = 0; x < scope.image().width(); ++x) {
        if (Pixel(scope, x, y) == colour) {
            columns.append(x);
        }
    }
    return columns;
}

QList<int> Range(int first, int last, int step = 1) {
    QList<int> values;
    for (int v = first; v <= last; v += step) {
        values.append(v);
    }
    return values;
}

// Both lists' values, each once, in order.
QList<int> Union(QList<int> a, const QList<int>& b) {
    a.append(b);
    std::sort(a.begin(), a.end());
    a.erase(std::unique(a.begin(), a.end()), a.end());
    return a;
}

}  // namespace

class TestOscilloscope : public QObject {
    Q_OBJECT

private slots:
    void pictureBeforeAnyBlock_data();
    void pictureBeforeAnyBlock();
    void silenceDrawsBothTracesOnePixelAboveCentre_data();
    void silenceDrawsBothTracesOnePixelAboveCentre();
    void rampIsADiagonal_data();
    void rampIsADiagonal();
    void rawSampleScale();
    void fullScaleSpans120Pixels();
    void offsetAndAttenuation_data();
    void offsetAndAttenuation();
    void bothTracesDisabledLeaveOnlyTheGrid();
    void gridSurvivesAroundTheTraces();
    void triggerOnARisingSine();
    void triggerSearch_data();
    void triggerSearch();
    void triggerOnB();
    void indicatorFollowsEveryBlock();
    void slowStepShowsEightFramesPerColumn_data();
    void slowStepShowsEightFramesPerColumn();
    void slowStepWindowWithoutTrigger();
    void slowStepStartsAtTheTrigger();
    void startingPointComesFromFrameS();
    void steepStepSplitsBetweenColumns();
    void partialBlock();
    void absurdScaleIsClipped();
    void aBlockRedrawsLikeAFreshScope_data();
    void aBlockRedrawsLikeAFreshScope();
    void aRatioChangeKeepsWhatIsShown_data();
    void aRatioChangeKeepsWhatIsShown();
};

void TestOscilloscope::pictureBeforeAnyBlock_data() {
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<int>>("grid");
    QTest::addColumn<QList<int>>("ticks");  // the rows of the centre ticks
    QTest::addColumn<int>("tickStep");
    // Ticks at x = 0, 44, ... 264 from y = 130 to 135 (the end point 136 is not drawn).
    QTest::newRow("ratio 1") << qreal{1} << QSize(265, 266)
                             << QList<int>{13, 53, 93, 133, 173, 213, 253} << Range(130, 135) << 44;
    // Every line 1 device pixel wide, at its logical place; ticks over 12 device rows.
    QTest::newRow("ratio 2") << qreal{2} << QSize(530, 532)
                             << QList<int>{26, 106, 186, 266, 346, 426, 506} << Range(260, 271)
                             << 88;
}

void TestOscilloscope::pictureBeforeAnyBlock() {
    QFETCH(qreal, ratio);
    QFETCH(QSize, size);
    QFETCH(QList<int>, grid);
    QFETCH(QList<int>, ticks);
    QFETCH(int, tickStep);
    Oscilloscope scope;
    scope.setDevicePixelRatio(ratio);
    QCOMPARE(scope.image().size(), size);
    QCOMPARE(scope.image().devicePixelRatio(), ratio);
    for (int y = 0; y < size.height(); ++y) {
        const QRgb expected = grid.contains(y) ? Oscilloscope::White : Oscilloscope::Teal;
        QCOMPARE(Pixel(scope, 1, y), expected);
        QCOMPARE(Pixel(scope, size.width() - 3, y), expected);
    }
    const QList<int> withTick = Union(grid, ticks);
    for (int x = 0; x < size.width(); ++x) {
        QCOMPARE(RowsOf(scope, x, Oscilloscope::White), x % tickStep == 0 ? withTick : grid);
    }
    QVERIFY(!scope.synchronized());
    QVERIFY(!scope.triggerEnabled());
}

void TestOscilloscope::silenceDrawsBothTracesOnePixelAboveCentre_data() {
    QTest::addColumn<bool>("showA");
    QTest::addColumn<bool>("showB");
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("columns");
    // The complement puts zero at -1: y = 132 over every column.
    QTest::newRow("A in yellow") << true << false << Oscilloscope::Yellow << qreal{1} << 132 << W;
    QTest::newRow("B in aqua") << false << true << Oscilloscope::Aqua << qreal{1} << 132 << W;
    QTest::newRow("both: B drawn over A")
        << true << true << Oscilloscope::Aqua << qreal{1} << 132 << W;
    // One device pixel above the centre line at device row 266.
    QTest::newRow("both at ratio 2")
        << true << true << Oscilloscope::Aqua << qreal{2} << 265 << 530;
}

void TestOscilloscope::silenceDrawsBothTracesOnePixelAboveCentre() {
    QFETCH(bool, showA);
    QFETCH(bool, showB);
    QFETCH(QRgb, colour);
    QFETCH(qreal, ratio);
    QFETCH(int, row);
    QFETCH(int, columns);
    Oscilloscope scope;
    scope.setDevicePixelRatio(ratio);
    ScopeSettings settings;
    settings.showA = showA;
    settings.showB = showB;
    QCOMPARE(Draw(scope, Constant(0, 0), settings), 0);
    QCOMPARE(ColumnsOf(scope, row, colour), Range(0, columns - 1));
    for (int x = 0; x < columns; x += 17) {
        QCOMPARE(RowsOf(scope, x, colour), QList<int>{row});
    }
}

void TestOscilloscope::rampIsADiagonal_data() {
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("columns");  // that the ramp crosses
    QTest::addColumn<int>("firstRow");
    QTest::newRow("ratio 1") << qreal{1} << 100 << 132;
    // Not 2 x 2 steps: a pixel a device column, a device row higher each.
    QTest::newRow("ratio 2") << qreal{2} << 200 << 265;
}

void TestOscilloscope::rampIsADiagonal() {
    // A rises a pixel a frame (128 raw units) over 100 frames, then stays.
    QFETCH(qreal, ratio);
    QFETCH(int, columns);
    QFETCH(int, firstRow);
    Frames frames = Constant(0, 0);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i].a = static_cast<std::int16_t>(128 * std::min<std::size_t>(i, 100));
    }
    Oscilloscope scope;
    scope.setDevicePixelRatio(ratio);
    Draw(scope, frames, OnlyA());
    for (int x = 0; x < columns; ++x) {
        QCOMPARE(RowsOf(scope, x, Oscilloscope::Yellow), QList<int>{firstRow - x});
    }
    QCOMPARE(ColumnsOf(scope, firstRow - columns, Oscilloscope::Yellow),
             Range(columns, scope.image().width() - 1));
}

void TestOscilloscope::rawSampleScale() {
    // 12800 raw units are 100 pixels in the raw display: y = 133 - 101 = 32; B below centre.
    Oscilloscope scope;
    Draw(scope, Constant(12800, -12800), ScopeSettings{});
    QCOMPARE(ColumnsOf(scope, 32, Oscilloscope::Yellow), Range(0, W - 1));
    QCOMPARE(ColumnsOf(scope, 232, Oscilloscope::Aqua), Range(0, W - 1));  // 133 + 100 - 1
}

void TestOscilloscope::fullScaleSpans120Pixels() {
    // A calibrated reading equal to the range's full scale is drawn 121 pixels above centre.
    DisplayParameters display;
    display.a.calibrated = true;
    display.a.factor = 3.0 / 10000;  // 10000 raw units read 3 V on the 3 V range
    display.a.scopeFactor = 120 * display.a.factor / 3.0;
    display.a.zero = 12;
    Oscilloscope scope;
    Draw(scope, Constant(10012, 0), OnlyA(), display);
    QCOMPARE(ColumnsOf(scope, 133 - 121, Oscilloscope::Yellow), Range(0, W - 1));
}

void TestOscilloscope::offsetAndAttenuation_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("attenuation");
    QTest::addColumn<int>("row");
    QTest::newRow("offset up") << -20 << 0 << 32 - 20;
    QTest::newRow("offset down") << 128 << 0 << 32 + 128;
    QTest::newRow("half: 50 x -101 div 100") << 0 << 50 << 133 - 50;
    QTest::newRow("attenuation truncates toward zero") << 0 << 1 << 133 - 99;
    QTest::newRow("full attenuation: flat at centre") << 0 << 100 << 133;
    QTest::newRow("full attenuation with offset") << 40 << 100 << 173;
}

void TestOscilloscope::offsetAndAttenuation() {
    QFETCH(int, offset);
    QFETCH(int, attenuation);
    QFETCH(int, row);
    ScopeSettings settings = OnlyA();
    settings.offsetA = offset;
    settings.attenuationA = attenuation;
    Oscilloscope scope;
    Draw(scope, Constant(12800, 0), settings);
    QCOMPARE(ColumnsOf(scope, row, Oscilloscope::Yellow), Range(0, W - 1));
    if (attenuation == 100) {
        // Whatever the signal: a sine at full attenuation is still one flat line.
        Frames sine = Constant(0, 0);
        for (std::size_t i = 0; i < sine.size(); ++i) {
            sine[i].a = static_cast<std::int16_t>(
                std::lround(20000 * std::sin(static_cast<double>(i) * 0.1)));
        }
        Draw(scope, sine, settings);
        for (int x = 0; x < W; x += 13) {
            QCOMPARE(RowsOf(scope, x, Oscilloscope::Yellow), QList<int>{row});
        }
    }
}

void TestOscilloscope::bothTracesDisabledLeaveOnlyTheGrid() {
    Oscilloscope scope;
    ScopeSettings settings;
    settings.showA = false;
    settings.showB = false;
    Draw(scope, Constant(12800, -5000), settings);
    QCOMPARE(scope.image(), Oscilloscope().image());
}

void TestOscilloscope::gridSurvivesAroundTheTraces() {
    // Each block redraws the background: an earlier trace does not linger.
    Oscilloscope scope;
    Draw(scope, Constant(12800, 0), OnlyA());
    Draw(scope, Constant(0, 0), OnlyA());
    QVERIFY(ColumnsOf(scope, 32, Oscilloscope::Yellow).isEmpty());
    QCOMPARE(Pixel(scope, 100, 13), Oscilloscope::White);
    QCOMPARE(Pixel(scope, 100, 31), Oscilloscope::Teal);
}

void TestOscilloscope::triggerOnARisingSine() {
    // A cosine of period 100 frames: falling at frame 0, back at zero in frame 75.
    Frames frames = Constant(0, 0);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i].a = static_cast<std::int16_t>(
            std::lround(8000 * std::cos(2 * M_PI * static_cast<double>(i) / 100)));
    }
    QCOMPARE(frames[75].a, 0);
    QVERIFY(frames[74].a < 0);
    Oscilloscope scope;
    QCOMPARE(Draw(scope, frames, TriggerOnA(0)), 76);
    QVERIFY(scope.synchronized());
    QVERIFY(scope.triggerEnabled());
    // Column 0 starts at frame 76's sample: y = 133 + (-nearest(a / 128) - 1).
    const auto y76 = 133 - static_cast<int>(std::nearbyint(frames[76].a / 128.0)) - 1;
    QCOMPARE(RowsOf(scope, 0, Oscilloscope::Yellow).last(), y76);
}

void TestOscilloscope::triggerSearch_data() {
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("synchronized");
    QTest::newRow("rise between frames 0 and 1") << RiseAt(1) << 0 << 2 << true;
    QTest::newRow("rise into frame 3829") << RiseAt(3829) << 0 << 3830 << true;
    QTest::newRow("rise into frame 3830 is too late") << RiseAt(3830) << 0 << 0 << false;
    QTest::newRow("level above every sample") << RiseAt(1000) << 101 << 0 << false;
    QTest::newRow("level equal to the top sample") << RiseAt(1000) << 100 << 1001 << true;
    QTest::newRow("level equal to the bottom sample") << RiseAt(1000) << 0 << 1001 << true;
    Frames flat = Constant(500, 0);
    QTest::newRow("no rise at all") << flat << 0 << 0 << false;
    Frames stepOnto = Constant(0, 0);
    stepOnto[500].a = 40;
    stepOnto[501].a = 50;
    QTest::newRow("first step that reaches the level") << stepOnto << 50 << 502 << true;
    Frames fromAbove = Constant(60, 0);
    fromAbove[700].a = 70;
    QTest::newRow("previous above the level does not count") << fromAbove << 50 << 0 << false;
}

void TestOscilloscope::triggerSearch() {
    QFETCH(Frames, frames);
    QFETCH(int, level);
    QFETCH(int, start);
    QFETCH(bool, synchronized);
    const TriggerResult result = FindTrigger(frames, TriggerOnA(level));
    QCOMPARE(result.startFrame, start);
    QCOMPARE(result.synchronized, synchronized);
    Oscilloscope scope;
    QCOMPARE(Draw(scope, frames, TriggerOnA(level)), start);
    QCOMPARE(scope.synchronized(), synchronized);
    QVERIFY(scope.triggerEnabled());
}

void TestOscilloscope::triggerOnB() {
    Frames frames = Constant(0, -100);
    frames[900].b = 300;
    ScopeSettings settings = TriggerOnA(200);
    settings.triggerSourceADown = false;
    settings.triggerSourceBDown = true;
    settings.triggerLevelPositionB = TriggerLevelTop - 200;
    QCOMPARE(FindTrigger(frames, settings).startFrame, 901);
    // Triggering off: no search even with a source down.
    settings.triggerSourceAEnabled = false;
    settings.triggerSourceBEnabled = false;
    QCOMPARE(FindTrigger(frames, settings).startFrame, 0);
    Oscilloscope scope;
    Draw(scope, frames, settings);
    QVERIFY(!scope.triggerEnabled());
    QVERIFY(!scope.synchronized());
}

void TestOscilloscope::indicatorFollowsEveryBlock() {
    Oscilloscope scope;
    Draw(scope, RiseAt(100), TriggerOnA(0));
    QVERIFY(scope.synchronized());
    Draw(scope, Constant(-100, 0), TriggerOnA(0));
    QVERIFY(!scope.synchronized());
    QVERIFY(scope.triggerEnabled());
}

void TestOscilloscope::slowStepShowsEightFramesPerColumn_data() {
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("ratio 1") << qreal{1} << Range(32, 132);
    QTest::newRow("ratio 2: four frames a device column") << qreal{2} << Range(65, 265);
}

void TestOscilloscope::slowStepShowsEightFramesPerColumn() {
    // Samples alternate between 0 and 12800: at 1:8 each column spans both values.
    QFETCH(qreal, ratio);
    QFETCH(QList<int>, rows);
    Frames frames = Constant(0, 0);
    for (std::size_t i = 1; i < frames.size(); i += 2) {
        frames[i].a = 12800;
    }
    ScopeSettings settings = OnlyA();
    settings.columnStep = 8;
    Oscilloscope scope;
    scope.setDevicePixelRatio(ratio);
    Draw(scope, frames, settings);
    for (int x = 1; x < scope.image().width(); x += 21) {
        QCOMPARE(RowsOf(scope, x, Oscilloscope::Yellow), rows);
    }
}

void TestOscilloscope::slowStepWindowWithoutTrigger() {
    // Without trigger 1:8 shows frames 0 to 2127; 1:1 frames 0 to 265.
    Frames frames = Constant(0, 0);
    for (std::size_t i = 2128; i < frames.size(); ++i) {
        frames[i].a = 12800;
    }
    ScopeSettings settings = OnlyA();
    settings.columnStep = 8;
    Oscilloscope scope;
    Draw(scope, frames, settings);
    QVERIFY(ColumnsOf(scope, 32, Oscilloscope::Yellow).isEmpty());
    QCOMPARE(ColumnsOf(scope, 132, Oscilloscope::Yellow), Range(0, W - 1));
    frames[266].a = 12800;
    settings.columnStep = 1;
    Draw(scope, frames, settings);
    QVERIFY(ColumnsOf(scope, 32, Oscilloscope::Yellow).isEmpty());
    frames[265].a = 12800;
    Draw(scope, frames, settings);
    QCOMPARE(RowsOf(scope, 264, Oscilloscope::Yellow).first(), 83);  // steep step up to 32
}

void TestOscilloscope::slowStepStartsAtTheTrigger() {
    // At 1:8 the trace starts at the trigger frame as at 1:1, eight frames to a column: with
    // S = 300 it fills the picture; with S = 3001 it ends with the block's last frame, in
    // column (4095 - 3001) div 8 = 136, whose own frames draw nothing more at one level.
    ScopeSettings settings = TriggerOnA(0);
    settings.columnStep = 8;
    Oscilloscope scope;
    QCOMPARE(Draw(scope, RiseAt(299), settings), 300);
    // Samples of -100 lie at y = 133 (nearest(-0.78) = -1, complemented 0).
    QCOMPARE(ColumnsOf(scope, 133, Oscilloscope::Yellow), Range(0, W - 1));
    QCOMPARE(Draw(scope, RiseAt(3000), settings), 3001);
    QVERIFY(scope.synchronized());
    QCOMPARE(ColumnsOf(scope, 133, Oscilloscope::Yellow), Range(0, 135));
    QCOMPARE(Pixel(scope, 136, 133), Oscilloscope::White);
}

void TestOscilloscope::startingPointComesFromFrameS() {
    // The trace starts from frame S's sample, not frame 0's: frame 0 far above (y = 32) draws
    // nothing, and column 0 holds only the level that S starts at (y = 133).
    Frames frames = RiseAt(299);  // S = 300
    frames[0].a = 12800;
    for (const int step : {1, 8}) {
        ScopeSettings settings = TriggerOnA(0);
        settings.columnStep = step;
        Oscilloscope scope;
        QCOMPARE(Draw(scope, frames, settings), 300);
        QCOMPARE(RowsOf(scope, 0, Oscilloscope::Yellow), QList<int>{133});
    }
}

void TestOscilloscope::steepStepSplitsBetweenColumns() {
    // From 0 (y = 132) in frame 99 to 12800 (y = 32) in frame 100: 100 steps, the first half
    // in column 99, the other half in column 100; the end point is not drawn.
    Frames frames = Constant(0, 0);
    for (std::size_t i = 100; i < frames.size(); ++i) {
        frames[i].a = 12800;
    }
    Oscilloscope scope;
    Draw(scope, frames, OnlyA());
    QCOMPARE(RowsOf(scope, 99, Oscilloscope::Yellow), Range(83, 132));
    QCOMPARE(RowsOf(scope, 100, Oscilloscope::Yellow), Range(32, 82));
}

void TestOscilloscope::partialBlock() {
    // 100 recorded frames: the trace ends at the last of them; the trigger searches only them.
    Oscilloscope scope;
    Draw(scope, Constant(0, 0, 100), OnlyA());
    QCOMPARE(ColumnsOf(scope, 132, Oscilloscope::Yellow), Range(0, 98));
    Frames frames = RiseAt(700);
    QCOMPARE(FindTrigger(frames, TriggerOnA(0)).startFrame, 701);
    frames.resize(1000);
    QCOMPARE(FindTrigger(frames, TriggerOnA(0)).startFrame, 701);
    frames.resize(966);
    QCOMPARE(FindTrigger(frames, TriggerOnA(0)).startFrame, 0);
    frames.resize(1);
    QCOMPARE(Draw(scope, frames, TriggerOnA(0)), 0);
}

void TestOscilloscope::absurdScaleIsClipped() {
    // A calibration factor edited into the settings can scale samples far off the picture:
    // the traces are clipped and nothing hangs. At 1:1 each swing from far above to far below
    // splits at its half-way row, 133 - 1.
    DisplayParameters display;
    display.a.scopeFactor = 1e12;
    display.b.scopeFactor = -1e300;
    Frames frames = Constant(0, 0);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] = i % 2 ? StereoFrame{32767, 1} : StereoFrame{-32768, -1};
    }
    ScopeSettings settings;
    settings.showB = false;
    Oscilloscope scope;
    Draw(scope, frames, settings, display);
    QCOMPARE(RowsOf(scope, 99, Oscilloscope::Yellow), Range(0, 132));
    QCOMPARE(RowsOf(scope, 100, Oscilloscope::Yellow), Range(132, H - 1));
    settings.showA = false;
    settings.showB = true;
    settings.columnStep = 8;
    Draw(scope, frames, settings, display);
    QCOMPARE(RowsOf(scope, 100, Oscilloscope::Aqua), Range(0, H - 1));
}

Frames Sine(double amplitude, double period) {
    Frames frames = Constant(0, 0);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const double v = amplitude * std::sin(2 * M_PI * static_cast<double>(i) / period);
        frames[i] = {static_cast<std::int16_t>(v), static_cast<std::int16_t>(-v / 3)};
    }
    return frames;
}

void TestOscilloscope::aBlockRedrawsLikeAFreshScope_data() {
    QTest::addColumn<Frames>("before");
    QTest::addColumn<int>("beforeStep");
    QTest::addColumn<bool>("noDataBetween");
    QTest::addColumn<Frames>("after");
    QTest::addColumn<int>("afterStep");
    QTest::addColumn<qreal>("ratioBefore");
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("sine, then silence")
        << Sine(30000, 50) << 1 << false << Constant(0, 0) << 1 << 1.0 << 1.0;
    QTest::newRow("silence, then sine")
        << Constant(0, 0) << 1 << false << Sine(20000, 90) << 1 << 1.0 << 1.0;
    QTest::newRow("fast sine at 1:8, then 1:1")
        << Sine(32000, 7) << 8 << false << Sine(9000, 300) << 1 << 1.0 << 1.0;
    QTest::newRow("full swings, then offset")
        << Sine(32767, 2) << 1 << false << Constant(-12800, 12800) << 8 << 1.0 << 1.0;
    QTest::newRow("the no-data text, then a block")
        << Sine(30000, 50) << 1 << true << Sine(10000, 40) << 1 << 1.0 << 1.0;
    QTest::newRow("ratio 2: sine, then silence")
        << Sine(30000, 50) << 1 << false << Constant(0, 0) << 1 << 2.0 << 2.0;
    QTest::newRow("ratio 2: silence, then away from the centre")
        << Constant(0, 0) << 1 << false << Constant(6400, -6400) << 1 << 2.0 << 2.0;
    QTest::newRow("ratio 2: fast sine at 1:8, then 1:1")
        << Sine(32000, 7) << 8 << false << Sine(9000, 300) << 1 << 2.0 << 2.0;
    QTest::newRow("moved to a screen at ratio 2")
        << Sine(30000, 50) << 1 << false << Sine(10000, 40) << 8 << 1.0 << 2.0;
    QTest::newRow("moved back to ratio 1")
        << Sine(30000, 50) << 8 << false << Sine(10000, 40) << 1 << 2.0 << 1.0;
    QTest::newRow("ratio 1.5") << Sine(30000, 50) << 1 << true << Sine(10000, 40) << 1 << 1.5
                               << 1.5;
}

void TestOscilloscope::aBlockRedrawsLikeAFreshScope() {
    // The picture keeps its pixels from block to block and puts back only those the last
    // traces covered; what it shows must not depend on the blocks before.
    QFETCH(Frames, before);
    QFETCH(int, beforeStep);
    QFETCH(bool, noDataBetween);
    QFETCH(Frames, after);
    QFETCH(int, afterStep);
    QFETCH(qreal, ratioBefore);
    QFETCH(qreal, ratio);
    ScopeSettings first;
    first.columnStep = beforeStep;
    ScopeSettings second;
    second.columnStep = afterStep;
    Oscilloscope scope;
    scope.setDevicePixelRatio(ratioBefore);
    Draw(scope, before, first);
    if (noDataBetween) {
        scope.showNoData(QStringLiteral("No data"));
    }
    const uchar* const allocated = scope.image().constBits();
    scope.setDevicePixelRatio(ratio);
    const QImage shown = scope.image().copy();
    Draw(scope, after, second);
    Oscilloscope fresh;
    fresh.setDevicePixelRatio(ratio);
    Draw(fresh, after, second);
    QCOMPARE(scope.image(), fresh.image());
    // A picture a ratio: no block allocates another.
    QCOMPARE(scope.image().constBits() == allocated, ratio == ratioBefore);
    // A repaint of the changed area (logical) alone shows the new picture.
    const QRect changed = scope.changedArea();
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (shown.pixel(x, y) != scope.image().pixel(x, y) &&
                !changed.contains(static_cast<int>(x / ratio), static_cast<int>(y / ratio))) {
                QFAIL(qPrintable(QStringLiteral("(%1, %2) changed outside %3,%4 %5x%6")
                                     .arg(x)
                                     .arg(y)
                                     .arg(changed.x())
                                     .arg(changed.y())
                                     .arg(changed.width())
                                     .arg(changed.height())));
            }
        }
    }
}

void TestOscilloscope::aRatioChangeKeepsWhatIsShown_data() {
    QTest::addColumn<bool>("noData");
    QTest::newRow("the traces, scaled until the next block") << false;
    QTest::newRow("the no-data text, drawn anew") << true;
}

void TestOscilloscope::aRatioChangeKeepsWhatIsShown() {
    // A stopped scope moved to another screen still shows its last picture.
    QFETCH(bool, noData);
    const QString text = QStringLiteral("No data from the input device\nsince 10:00:00");
    Oscilloscope scope;
    Draw(scope, Constant(0, 0), ScopeSettings{});
    if (noData) {
        scope.showNoData(text);
    }
    scope.setDevicePixelRatio(2);
    QCOMPARE(scope.image().size(), QSize(530, 532));
    QCOMPARE(scope.changedArea(), QRect(0, 0, W, H));
    if (noData) {
        Oscilloscope fresh;
        fresh.setDevicePixelRatio(2);
        fresh.showNoData(text);
        QCOMPARE(scope.image(), fresh.image());
    } else {
        QCOMPARE(RowsOf(scope, 100, Oscilloscope::Aqua), QList<int>({264, 265}));
    }
}

QTEST_MAIN(TestOscilloscope)
#include "tst_oscilloscope.moc"

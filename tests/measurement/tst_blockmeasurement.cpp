#include <QtTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "measurement/blockmeasurement.h"

using namespace veruziva;

namespace {

using Frames = std::vector<StereoFrame>;

Frames Constant(std::int16_t a, std::int16_t b, int count = FramesPerBuffer) {
    return Frames(static_cast<std::size_t>(count), StereoFrame{a, b});
}

// Channel A below zero everywhere except the frames listed, which rise to `high`.
Frames RisingStepsOnA(std::initializer_list<int> risingFrames, std::int16_t high = 100) {
    Frames frames = Constant(-100, 0);
    for (const int frame : risingFrames) {
        frames[static_cast<std::size_t>(frame)].a = high;
    }
    return frames;
}

// A square wave on A whose rising edges lie `period` frames apart, the first at `first`.
Frames SquareOnA(int period, int first) {
    Frames frames = Constant(-1000, 0);
    for (int i = 0; i < FramesPerBuffer; ++i) {
        const int phase = ((i - first) % period + period) % period;
        frames[static_cast<std::size_t>(i)].a = phase < period / 2 ? 1000 : -1000;
    }
    return frames;
}

// Channel A: `dc` plus a sine of `amplitude` with `periods` whole periods in the block, cut at
// the card's limits; channel B: a square wave of +-`amplitude` about `dc`.
Frames Wave(double dc, double amplitude, int periods) {
    Frames frames = Constant(0, 0);
    for (int i = 0; i < FramesPerBuffer; ++i) {
        const double phase = 2 * M_PI * periods * i / FramesPerBuffer;
        const double a =
            std::clamp(std::round(dc + amplitude * std::sin(phase)), -32768.0, 32767.0);
        const double b =
            std::clamp(dc + (i * 2 * periods / FramesPerBuffer % 2 == 0 ? amplitude : -amplitude),
                       -32768.0, 32767.0);
        frames[static_cast<std::size_t>(i)] = {static_cast<std::int16_t>(a),
                                               static_cast<std::int16_t>(b)};
    }
    return frames;
}

const PassSettings AcBoth{{true, 0}, {true, 0}};
const PassSettings DcBoth{{false, 0}, {false, 0}};

}  // namespace

Q_DECLARE_METATYPE(Frames)
Q_DECLARE_METATYPE(PassSettings)

class TestBlockMeasurement : public QObject {
    Q_OBJECT

private slots:
    void means_data();
    void means();
    void frequency_data();
    void frequency();
    void peaksAndBars_data();
    void peaksAndBars();
    void rmsAndOverload_data();
    void rmsAndOverload();
    void levelsOfAnyLength_data();
    void levelsOfAnyLength();
    void partialBlockMeasuredOverItsFrames();
    void plotterSeesEveryFrameInOrder();
    void absurdZeroOffsetDoesNotOverflow();
    void invalidBlocksAreRefused();
};

void TestBlockMeasurement::means_data() {
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<PassSettings>("settings");
    QTest::addColumn<qint64>("meanA");
    QTest::addColumn<qint64>("meanB");
    QTest::newRow("silence") << Constant(0, 0) << AcBoth << qint64{0} << qint64{0};
    QTest::newRow("DC level, AC box ticked reads its magnitude")
        << Constant(1000, -500) << AcBoth << qint64{1000} << qint64{500};
    QTest::newRow("DC level, DC keeps the sign")
        << Constant(1000, -500) << DcBoth << qint64{1000} << qint64{-500};
    QTest::newRow("zero offset subtracted in DC")
        << Constant(1000, -500) << PassSettings{{false, 12}, {false, -7}} << qint64{988}
        << qint64{-493};
    QTest::newRow("zero offset subtracted before the magnitude in AC")
        << Constant(10, -10) << PassSettings{{true, 30}, {true, -30}} << qint64{20} << qint64{20};
    Frames alternating = Constant(0, 0);
    for (std::size_t i = 0; i < alternating.size(); ++i) {
        alternating[i] = i % 2 ? StereoFrame{-301, 301} : StereoFrame{300, -300};
    }
    QTest::newRow("DC mean truncates toward zero")
        << alternating << DcBoth << qint64{0} << qint64{0};
    alternating.back() = StereoFrame{-4095, 4095};
    QTest::newRow("DC mean truncates toward zero, negative")
        << alternating << DcBoth << qint64{-1} << qint64{1};
}

void TestBlockMeasurement::means() {
    QFETCH(Frames, frames);
    QFETCH(PassSettings, settings);
    QFETCH(qint64, meanA);
    QFETCH(qint64, meanB);
    const BlockMeasurement result = MeasureBlock(frames, settings);
    QCOMPARE(result.a.mean, meanA);
    QCOMPARE(result.b.mean, meanB);
}

void TestBlockMeasurement::frequency_data() {
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<bool>("ac");
    QTest::addColumn<int>("crossings");
    QTest::addColumn<bool>("hasFrequency");
    QTest::addColumn<double>("frequency");
    QTest::newRow("silence") << Constant(0, 0) << true << -1 << true << 0.0;
    QTest::newRow("steady level above zero") << Constant(500, 0) << true << -1 << true << 0.0;
    QTest::newRow("one rising crossing") << RisingStepsOnA({2000}) << true << 0 << true << 0.0;
    QTest::newRow("two crossings 100 frames apart")
        << RisingStepsOnA({1000, 1100}) << true << 1 << true << 441.0;
    QTest::newRow("crossings 43 apart truncate 1025.58")
        << RisingStepsOnA({100, 143, 186}) << true << 2 << true << 1025.0;
    QTest::newRow("square 100") << SquareOnA(100, 7) << true << 40 << true << 441.0;
    QTest::newRow("edges 4000 frames apart: 11 Hz")
        << SquareOnA(4000, 10) << true << 1 << true << 11.0;
    QTest::newRow("slower than 10.8 Hz reads 0") << SquareOnA(4100, 10) << true << 0 << true << 0.0;
    Frames fastest = Constant(0, 0);
    for (std::size_t i = 0; i < fastest.size(); ++i) {
        fastest[i].a = i % 2 ? 0 : -1;
    }
    QTest::newRow("a crossing every second frame") << fastest << true << 2047 << true << 22050.0;
    QTest::newRow("AC box clear: no frequency")
        << RisingStepsOnA({1000, 1100}) << false << 1 << false << 0.0;
    QTest::newRow("crossing threshold is exactly 0")
        << RisingStepsOnA({1000, 1100}, 0) << true << 1 << true << 441.0;
}

void TestBlockMeasurement::frequency() {
    QFETCH(Frames, frames);
    QFETCH(bool, ac);
    QFETCH(int, crossings);
    QFETCH(bool, hasFrequency);
    QFETCH(double, frequency);
    const BlockMeasurement result = MeasureBlock(frames, PassSettings{{ac, 0}, {ac, 0}});
    QCOMPARE(result.a.crossingCount, crossings);
    QCOMPARE(result.a.frequency.has_value(), hasFrequency);
    if (hasFrequency) {
        QCOMPARE(*result.a.frequency, frequency);
    }
}

void TestBlockMeasurement::peaksAndBars_data() {
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<int>("maximumA");
    QTest::addColumn<int>("minimumA");
    QTest::addColumn<int>("peakA");
    QTest::addColumn<int>("barA");
    QTest::addColumn<int>("peakB");
    QTest::addColumn<int>("barB");
    QTest::newRow("silence") << Constant(0, 0) << 0 << 0 << 0 << 0 << 0 << 0;
    Frames extreme = Constant(100, 32767);
    extreme[3000].a = -32768;
    QTest::newRow("-32768 gives a full bar")
        << extreme << 100 << -32768 << 32768 << 256 << 32767 << 255;
    QTest::newRow("positive level: minimum stays 0")
        << Constant(16384, 127) << 16384 << 0 << 16384 << 128 << 127 << 0;
    QTest::newRow("negative level: maximum stays 0")
        << Constant(-16383, -128) << 0 << -16383 << 16383 << 127 << 128 << 1;
}

void TestBlockMeasurement::peaksAndBars() {
    QFETCH(Frames, frames);
    QFETCH(int, maximumA);
    QFETCH(int, minimumA);
    QFETCH(int, peakA);
    QFETCH(int, barA);
    QFETCH(int, peakB);
    QFETCH(int, barB);
    // The peak ignores the zero offset and the AC box.
    const BlockMeasurement result = MeasureBlock(frames, PassSettings{{false, 999}, {true, -999}});
    QCOMPARE(result.a.maximum, maximumA);
    QCOMPARE(result.a.minimum, minimumA);
    QCOMPARE(result.a.peak, peakA);
    QCOMPARE(result.a.barPosition, barA);
    QCOMPARE(result.b.peak, peakB);
    QCOMPARE(result.b.barPosition, barB);
}

void TestBlockMeasurement::rmsAndOverload_data() {
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<double>("rmsA");
    QTest::addColumn<double>("rmsB");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<bool>("overloadA");
    QTest::addColumn<bool>("overloadB");
    // Sine: A/sqrt(2), within the rounding of the samples; square: A exactly; DC adds nothing.
    QTest::newRow("sine and square")
        << Wave(0, 10000, 8) << 10000 / M_SQRT2 << 10000.0 << 0.5 << false << false;
    QTest::newRow("on a DC level")
        << Wave(-5000, 2000, 16) << 2000 / M_SQRT2 << 2000.0 << 0.5 << false << false;
    QTest::newRow("DC alone") << Constant(1234, -4321) << 0.0 << 0.0 << 0.0 << false << false;
    // Both reach the limits exactly: the square's halves are -32768 and 32767 (RMS 32767.5),
    // the sine's crests too.
    QTest::newRow("at the limits")
        << Wave(-0.5, 32767.5, 4) << 32767.5 / M_SQRT2 << 32767.5 << 0.5 << true << true;
    QTest::newRow("one below the limits")
        << Constant(32766, -32767) << 0.0 << 0.0 << 0.0 << false << false;
    QTest::newRow("top limit") << Constant(32767, 0) << 0.0 << 0.0 << 0.0 << true << false;
    QTest::newRow("bottom limit") << Constant(0, -32768) << 0.0 << 0.0 << 0.0 << false << true;
    // A sine of twice the range, cut at the limits L = A sin t: its mean square over a quarter
    // period is A^2 (2t - sin 2t) / (2 pi) + L^2 (1 - 2t / pi).
    const double amplitude = 65535.0;
    const double t = std::asin(32767.0 / amplitude);  // the phase at which it clips
    const double clippedMeanSquare =
        amplitude * amplitude * (2 * t - std::sin(2 * t)) / (2 * M_PI) +
        32767.0 * 32767.0 * (1 - 2 * t / M_PI);
    QTest::newRow("clipped sine") << Wave(0, amplitude, 8) << std::sqrt(clippedMeanSquare)
                                  << 32767.5 << 2.0 << true << true;
}

void TestBlockMeasurement::rmsAndOverload() {
    QFETCH(Frames, frames);
    QFETCH(double, tolerance);
    for (const bool ac : {true, false}) {  // the AC box changes the reading, not the RMS
        const BlockMeasurement result = MeasureBlock(frames, ac ? AcBoth : DcBoth);
        QFETCH(double, rmsA);
        QFETCH(double, rmsB);
        QVERIFY2(std::abs(result.a.acRms - rmsA) <= tolerance,
                 qPrintable(QStringLiteral("A: %1, expected %2").arg(result.a.acRms).arg(rmsA)));
        QVERIFY2(std::abs(result.b.acRms - rmsB) <= tolerance,
                 qPrintable(QStringLiteral("B: %1, expected %2").arg(result.b.acRms).arg(rmsB)));
        QTEST(result.a.overloaded, "overloadA");
        QTEST(result.b.overloaded, "overloadB");
    }
}

void TestBlockMeasurement::levelsOfAnyLength_data() {
    QTest::addColumn<Frames>("frames");
    // Frames taken four at a time and the rest one at a time give the same levels as the
    // definitions; pairs of -32768 (two squares of 2^30 each) must not overflow.
    Frames mixed;
    std::uint32_t seed = 12345;
    for (int i = 0; i < FramesPerBuffer; ++i) {
        seed = seed * 1664525 + 1013904223;
        mixed.push_back({static_cast<std::int16_t>(seed >> 16), static_cast<std::int16_t>(seed)});
    }
    for (const int length : {1, 3, 4, 5, 7, 4093, 4096}) {
        QTest::addRow("%d frames", length) << Frames(mixed.begin(), mixed.begin() + length);
    }
    QTest::newRow("the bottom limit") << Constant(-32768, -32768, 6);
    QTest::newRow("the top limit, all positive") << Constant(32767, 1, 9);
}

void TestBlockMeasurement::levelsOfAnyLength() {
    QFETCH(Frames, frames);
    const BlockMeasurement result = MeasureBlock(frames, AcBoth);
    for (const bool a : {true, false}) {
        std::int32_t maximum = 0;
        std::int32_t minimum = 0;
        double sum = 0;
        double squares = 0;
        for (const StereoFrame frame : frames) {
            const std::int32_t x = a ? frame.a : frame.b;
            maximum = std::max(maximum, x);
            minimum = std::min(minimum, x);
            sum += x;
            squares += double{1.0} * x * x;
        }
        const auto n = static_cast<double>(frames.size());
        const double rms = std::sqrt(std::max(0.0, squares / n - (sum / n) * (sum / n)));
        const ChannelMeasurement& channel = a ? result.a : result.b;
        QCOMPARE(channel.maximum, maximum);
        QCOMPARE(channel.minimum, minimum);
        QVERIFY2(std::abs(channel.acRms - rms) <= 1e-6 * std::max(1.0, rms),
                 qPrintable(QStringLiteral("%1 against %2").arg(channel.acRms).arg(rms)));
        QCOMPARE(channel.overloaded, maximum == 32767 || minimum == -32768);
    }
}

void TestBlockMeasurement::partialBlockMeasuredOverItsFrames() {
    // The last block of a stopped flow holds only what was recorded: its mean is over those.
    const Frames partial = Constant(1000, -2000, 100);
    const BlockMeasurement result = MeasureBlock(partial, DcBoth);
    QCOMPARE(result.a.mean, qint64{1000});
    QCOMPARE(result.b.mean, qint64{-2000});
    Frames steps = RisingStepsOnA({10, 60}, 100);
    steps.resize(70);
    QCOMPARE(*MeasureBlock(steps, AcBoth).a.frequency, 882.0);
    steps.resize(59);
    QCOMPARE(*MeasureBlock(steps, AcBoth).a.frequency, 0.0);
}

void TestBlockMeasurement::plotterSeesEveryFrameInOrder() {
    Frames frames = Constant(0, 0, 300);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] = StereoFrame{static_cast<std::int16_t>(i), static_cast<std::int16_t>(-i)};
    }
    std::vector<int> seen;
    bool samplesMatch = true;
    const BlockMeasurement plotted =
        MeasureBlock(frames, AcBoth, [&](std::int32_t i, std::int16_t a, std::int16_t b) {
            seen.push_back(i);
            samplesMatch = samplesMatch && a == i && b == -i;
        });
    QCOMPARE(seen.size(), frames.size());
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    QCOMPARE(seen.front(), 0);
    QVERIFY(samplesMatch);
    // Plotting changes nothing in the measurement.
    const BlockMeasurement alone = MeasureBlock(frames, AcBoth);
    QCOMPARE(plotted.a.mean, alone.a.mean);
    QCOMPARE(plotted.b.crossingCount, alone.b.crossingCount);
}

void TestBlockMeasurement::absurdZeroOffsetDoesNotOverflow() {
    // A zero offset edited by hand into the settings must not wrap the accumulator.
    const Frames frames = Constant(-32768, 32767);
    const BlockMeasurement result =
        MeasureBlock(frames, PassSettings{{true, 2147483647}, {false, -2147483647 - 1}});
    QCOMPARE(result.a.mean, qint64{2147483647} + 32768);
    QCOMPARE(result.b.mean, qint64{2147483648} + 32767);
}

void TestBlockMeasurement::invalidBlocksAreRefused() {
    QVERIFY_THROWS_EXCEPTION(RangeCheckError, MeasureBlock(Frames{}, AcBoth));
    QVERIFY_THROWS_EXCEPTION(RangeCheckError,
                             MeasureBlock(Constant(0, 0, FramesPerBuffer + 1), AcBoth));
}

QTEST_APPLESS_MAIN(TestBlockMeasurement)
#include "tst_blockmeasurement.moc"

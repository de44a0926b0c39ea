#include <QTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "scope/acquisition.h"
#include "scope/minmaxcolumns.h"
#include "scope/scopeacquisition.h"

using namespace veruziva;

namespace {

constexpr double Pi = std::numbers::pi;

// A channel's value at a frame's index.
using Signal = std::function<double(double)>;

double Quantized(double value) {
    return std::clamp(std::round(value), -32768.0, 32767.0);
}

Signal Sine(double amplitude, double hertz, double phase = 0.0) {
    return [=](double frame) {
        return amplitude * std::sin(2 * Pi * hertz * frame / SampleRate + phase);
    };
}

// A square whose edges are ramps of `ramp` frames, rising from `edge` on, so that its
// crossings have a closed form.
Signal Square(double amplitude, double period, double edge, double ramp) {
    return [=](double frame) {
        const double at = std::fmod(std::fmod(frame - edge, period) + period, period);
        if (at < ramp) {
            return -amplitude + 2 * amplitude * at / ramp;
        }
        if (at < period / 2) {
            return amplitude;
        }
        if (at < period / 2 + ramp) {
            return amplitude - 2 * amplitude * (at - period / 2) / ramp;
        }
        return -amplitude;
    };
}

Signal Silence() {
    return [](double) { return 0.0; };
}

// Blocks of the two signals, frame after frame, as the capture hands them on.
class Feed {
public:
    Feed(Signal a, Signal b) : m_a(std::move(a)), m_b(std::move(b)) {}

    void blocks(ScopeAcquisition& scope, int count, int size = FramesPerBuffer) {
        std::vector<StereoFrame> block(static_cast<std::size_t>(size));
        for (int n = 0; n < count; ++n) {
            for (StereoFrame& frame : block) {
                const double at = double(m_next++);
                frame = {static_cast<std::int16_t>(Quantized(m_a(at))),
                         static_cast<std::int16_t>(Quantized(m_b(at)))};
            }
            scope.addFrames(block);
        }
    }
    void setSignals(Signal a, Signal b) {
        m_a = std::move(a);
        m_b = std::move(b);
    }
    std::int64_t next() const { return m_next; }

private:
    Signal m_a;
    Signal m_b;
    std::int64_t m_next = 0;
};

ScopeTrigger Trigger(TriggerMode mode, double level = 0.0,
                     TriggerSlope slope = TriggerSlope::Rising, double position = 50.0) {
    ScopeTrigger trigger;
    trigger.condition.level = level;
    trigger.condition.slope = slope;
    trigger.mode = mode;
    trigger.positionPercent = position;
    return trigger;
}

// Whether the acquisition's samples are the signal's at their frames.
bool SamplesAre(const std::vector<float>& trace, std::int64_t first, const Signal& signal) {
    for (std::size_t n = 0; n < trace.size(); ++n) {
        if (double(trace[n]) != Quantized(signal(double(first) + double(n)))) {
            qWarning("sample %zu: %g, not %g", n, double(trace[n]),
                     Quantized(signal(double(first) + double(n))));
            return false;
        }
    }
    return true;
}

double RootMeanSquare(const std::vector<float>& trace, std::int64_t first, const Signal& signal) {
    double sum = 0.0;
    for (std::size_t n = 0; n < trace.size(); ++n) {
        const double error = double(trace[n]) - signal(double(first) + double(n));
        sum += error * error;
    }
    return std::sqrt(sum / double(trace.size()));
}

}  // namespace

class TestScopeAcquisition : public QObject {
    Q_OBJECT

private slots:
    // Each trigger instant within a fraction of a sample of where the signal crosses the level,
    // blocks of 4096 frames joined; the crossings' closed form: the first one and the period.
    void triggerInstant_data() {
        QTest::addColumn<bool>("sine");
        QTest::addColumn<int>("slope");
        QTest::addColumn<double>("level");
        QTest::addColumn<double>("firstCrossing");
        QTest::addColumn<double>("period");
        const auto rising = int(TriggerSlope::Rising);
        const auto falling = int(TriggerSlope::Falling);
        // 16000 sin(2 pi 1000 t + 0.3): period 44.1 frames.
        const double perFrame = 2 * Pi * 1000 / SampleRate;
        QTest::newRow("sine rising at 0")
            << true << rising << 0.0 << (2 * Pi - 0.3) / perFrame << 44.1;
        QTest::newRow("sine rising at 8000")
            << true << rising << 8000.0 << (Pi / 6 - 0.3) / perFrame << 44.1;
        QTest::newRow("sine falling at -5000")
            << true << falling << -5000.0 << (Pi + std::asin(5000.0 / 16000) - 0.3) / perFrame
            << 44.1;
        // ±12000, edges of 4 frames from 100.3 on, period 441: rising at 100.3 + 4 (L + A) / 2A.
        QTest::newRow("square rising at 2000")
            << false << rising << 2000.0 << 102.6333333333 << 441.0;
        QTest::newRow("square falling at -3000")
            << false << falling << -3000.0 << 100.3 + 220.5 + 2.5 << 441.0;
    }
    void triggerInstant() {
        QFETCH(bool, sine);
        QFETCH(int, slope);
        QFETCH(double, level);
        QFETCH(double, firstCrossing);
        QFETCH(double, period);
        const Signal signal = sine ? Sine(16000, 1000, 0.3) : Square(12000, 441, 100.3, 4);
        ScopeAcquisition scope;
        scope.setSecondsPerDivision(1e-3);
        scope.setTrigger(Trigger(TriggerMode::Normal, level, TriggerSlope(slope)));
        Feed feed(signal, Silence());
        for (int block = 0; block < 3; ++block) {
            const std::uint64_t before = scope.count();
            feed.blocks(scope, 1);
            QVERIFY(scope.count() > before);
            const Acquisition& taken = scope.latest();
            QVERIFY(taken.triggered);
            const double instant = double(taken.firstFrame) + taken.triggerOffset;
            const double crossing =
                firstCrossing + std::round((instant - firstCrossing) / period) * period;
            QVERIFY2(std::abs(instant - crossing) < 0.02,
                     qPrintable(QString("%1, not %2").arg(instant).arg(crossing)));
            // The samples either side of the instant lie either side of the level.
            const auto at = static_cast<std::size_t>(taken.triggerOffset);
            const double sign = TriggerSlope(slope) == TriggerSlope::Rising ? 1.0 : -1.0;
            QVERIFY(sign * taken.a[at] < sign * level && sign * taken.a[at + 1] >= sign * level);
            QVERIFY(SamplesAre(taken.a, taken.firstFrame, signal));
        }
    }

    // Noise on a square's top crosses the level again and again: beyond the hysteresis it does
    // not trigger, once per period is left (11 blocks: 102 rising edges with room either side).
    void hysteresis_data() {
        QTest::addColumn<double>("hysteresis");
        QTest::addColumn<bool>("oncePerPeriod");
        QTest::newRow("hysteresis beyond the noise") << 4000.0 << true;
        QTest::newRow("no hysteresis") << 0.0 << false;
    }
    void hysteresis() {
        QFETCH(double, hysteresis);
        QFETCH(bool, oncePerPeriod);
        std::mt19937 random(7);
        std::uniform_real_distribution<double> noise(-2500, 2500);
        const Signal square = Square(8000, 441, 100.3, 4);
        ScopeAcquisition scope;
        scope.setSecondsPerDivision(20e-6);
        ScopeTrigger trigger = Trigger(TriggerMode::Normal, 6000);
        trigger.condition.hysteresis = hysteresis;
        scope.setTrigger(trigger);
        Feed feed([&](double frame) { return square(frame) + noise(random); }, Silence());
        feed.blocks(scope, 11);
        if (oncePerPeriod) {
            QCOMPARE(scope.count(), 102U);
        } else {
            QVERIFY(scope.count() > 2 * 102U);
        }
    }

    // The trigger at its place in the span, the frames before it from the ring, those of the
    // block before too.
    void position_data() {
        QTest::addColumn<double>("position");
        QTest::newRow("0 %") << 0.0;
        QTest::newRow("25 %") << 25.0;
        QTest::newRow("50 %") << 50.0;
        QTest::newRow("100 %") << 100.0;
    }
    void position() {
        QFETCH(double, position);
        const Signal signal = Sine(10000, 100, 1.0);
        ScopeAcquisition scope;
        scope.setSecondsPerDivision(1e-3);
        scope.setTrigger(Trigger(TriggerMode::Normal, 3000, TriggerSlope::Rising, position));
        Feed feed(signal, Silence());
        // The first crossing, at 391, has too few frames before it for 100 %.
        for (const int frames : {600, FramesPerBuffer, FramesPerBuffer, FramesPerBuffer}) {
            feed.blocks(scope, 1, frames);
            if (scope.count() == 0) {
                continue;
            }
            const Acquisition& taken = scope.latest();
            QVERIFY(taken.triggered);
            QCOMPARE(taken.a.size(), 443U);
            QCOMPARE(taken.spanFrames, 441.0);
            QVERIFY(taken.firstFrame >= 0);
            QVERIFY(taken.leftEdge >= 0.0 && taken.leftEdge < 1.0);
            QVERIFY(std::abs(taken.triggerOffset - taken.leftEdge - 4.41 * position) < 1e-9);
            const auto at = static_cast<std::size_t>(taken.triggerOffset);
            QVERIFY(taken.a[at] < 3000 && taken.a[at + 1] >= 3000);
            QVERIFY(SamplesAre(taken.a, taken.firstFrame, signal));
        }
        QVERIFY(scope.count() > 0);
    }

    // Four blocks of a 1 kHz sine or of silence, then three of silence: what the modes made of
    // the first four (none, one, many acquisitions), whether the last one was triggered, whether
    // silence goes on making acquisitions.
    void modes_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("running");
        QTest::addColumn<double>("amplitude");
        QTest::addColumn<int>("made");
        QTest::addColumn<bool>("triggered");
        QTest::addColumn<bool>("silenceAcquires");
        QTest::addColumn<double>("secondsPerDivision");
        const auto autoMode = int(TriggerMode::Auto);
        const auto normal = int(TriggerMode::Normal);
        const auto single = int(TriggerMode::Single);
        QTest::newRow("auto, silence") << autoMode << true << 0.0 << 2 << false << true << 1e-3;
        QTest::newRow("auto, sine") << autoMode << true << 16000.0 << 2 << true << true << 1e-3;
        QTest::newRow("normal, silence") << normal << true << 0.0 << 0 << false << false << 1e-3;
        QTest::newRow("normal, sine") << normal << true << 16000.0 << 2 << true << false << 1e-3;
        QTest::newRow("single, silence") << single << true << 0.0 << 0 << false << false << 1e-3;
        QTest::newRow("single, sine") << single << true << 16000.0 << 1 << true << false << 1e-3;
        QTest::newRow("hold, auto, silence")
            << autoMode << false << 0.0 << 0 << false << false << 1e-3;
        QTest::newRow("hold, normal, sine")
            << normal << false << 16000.0 << 0 << false << false << 1e-3;
        // A span of 44100 frames, longer than the timeout and than the 7 blocks: auto waits for
        // a whole span of new frames before it free-runs, so that no two acquisitions overlap.
        QTest::newRow("auto, silence, 100 ms/div")
            << autoMode << true << 0.0 << 0 << false << false << 0.1;
    }
    void modes() {
        QFETCH(int, mode);
        QFETCH(bool, running);
        QFETCH(double, amplitude);
        QFETCH(int, made);
        QFETCH(bool, triggered);
        QFETCH(bool, silenceAcquires);
        QFETCH(double, secondsPerDivision);
        ScopeAcquisition scope;
        scope.setSecondsPerDivision(secondsPerDivision);
        scope.setTrigger(Trigger(TriggerMode(mode)));
        scope.setRunning(running);
        Feed feed(Sine(amplitude, 1000), Silence());
        feed.blocks(scope, 4);
        const std::uint64_t count = scope.count();
        if (made < 2) {
            QCOMPARE(count, std::uint64_t(made));
        } else {
            QVERIFY(count >= 2);
        }
        QCOMPARE(scope.latest().triggered, triggered);
        // The first block of silence may end an acquisition the sine began.
        feed.setSignals(Silence(), Silence());
        feed.blocks(scope, 1);
        const std::uint64_t silent = scope.count();
        feed.blocks(scope, 2);
        QCOMPARE(scope.count() > silent, silenceAcquires);
        if (!silenceAcquires) {
            QCOMPARE(scope.latest().triggered, triggered);
        }
        if (TriggerMode(mode) == TriggerMode::Single && amplitude > 0) {
            QVERIFY(scope.singleDone());
            scope.arm();
            feed.setSignals(Sine(amplitude, 1000), Silence());
            feed.blocks(scope, 2);
            QCOMPARE(scope.count(), 2U);
        }
    }

    // A span longer than a block: its frames from several, in their order.
    void spanJoinsBlocks_data() {
        QTest::addColumn<double>("secondsPerDivision");
        QTest::addColumn<int>("samples");
        QTest::newRow("50 ms/div") << 0.05 << 22052;
        QTest::newRow("100 ms/div") << 0.1 << 44102;
    }
    void spanJoinsBlocks() {
        QFETCH(double, secondsPerDivision);
        QFETCH(int, samples);
        const Signal a = Sine(16000, 2);
        const Signal b = Sine(9000, 3, 0.5);
        ScopeAcquisition scope;
        scope.setSecondsPerDivision(secondsPerDivision);
        scope.setTrigger(Trigger(TriggerMode::Normal));
        Feed feed(a, b);
        feed.blocks(scope, 20);
        const Acquisition& taken = scope.latest();
        QVERIFY(taken.triggered);
        QCOMPARE(int(taken.a.size()), samples);
        QVERIFY(std::abs(taken.triggerOffset - taken.leftEdge - (samples - 2) / 2.0) < 1e-9);
        QVERIFY(SamplesAre(taken.a, taken.firstFrame, a));
        QVERIFY(SamplesAre(taken.b, taken.firstFrame, b));
    }

    // From 200 ms/div on, each block rolls in at the right, whatever the trigger; the ring holds
    // the span however long it runs.
    void roll_data() {
        QTest::addColumn<double>("secondsPerDivision");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<int>("samples");
        QTest::addColumn<double>("leftEdge");
        QTest::newRow("500 ms/div, filling") << 0.5 << 3 << 12288 << 12287 - 220500.0;
        QTest::newRow("2 s/div, ring gone round") << 2.0 << 250 << 882002 << 1.0;
    }
    void roll() {
        QFETCH(double, secondsPerDivision);
        QFETCH(int, blocks);
        QFETCH(int, samples);
        QFETCH(double, leftEdge);
        const Signal ramp = [](double frame) { return std::fmod(frame, 30000) - 15000; };
        const Signal down = [](double frame) { return 15000 - std::fmod(frame, 20000); };
        ScopeAcquisition scope;
        scope.setSecondsPerDivision(secondsPerDivision);
        scope.setTrigger(Trigger(TriggerMode::Normal, 20000));
        QVERIFY(scope.rolling());
        Feed feed(ramp, down);
        feed.blocks(scope, blocks);
        const Acquisition& taken = scope.latest();
        QCOMPARE(scope.count(), std::uint64_t(blocks));
        QVERIFY(!taken.triggered);
        QCOMPARE(int(taken.a.size()), samples);
        QCOMPARE(taken.firstFrame + samples, feed.next());
        QCOMPARE(taken.leftEdge, leftEdge);
        QVERIFY(SamplesAre(taken.a, taken.firstFrame, ramp));
        QVERIFY(SamplesAre(taken.b, taken.firstFrame, down));
    }

    // A pulse one sample wide in a long trace keeps its column; a short trace is its samples.
    void minMaxColumns_data() {
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("pulseAt");
        QTest::addColumn<float>("pulse");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("pulseColumn");
        QTest::newRow("narrow pulse in the longest span")
            << 882002 << 123457 << 12000.0F << 1000 << 139;
        QTest::newRow("negative pulse, last sample") << 882002 << 882001 << -9000.0F << 1000 << 999;
        QTest::newRow("fewer samples than columns") << 10 << 3 << 500.0F << 10 << 3;
    }
    void minMaxColumns() {
        QFETCH(int, samples);
        QFETCH(int, pulseAt);
        QFETCH(float, pulse);
        QFETCH(int, columns);
        QFETCH(int, pulseColumn);
        std::vector<float> trace(static_cast<std::size_t>(samples), 0.0F);
        trace[static_cast<std::size_t>(pulseAt)] = pulse;
        const std::vector<MinMax> result = MinMaxColumns(trace, 1000);
        QCOMPARE(int(result.size()), columns);
        for (int column = 0; column < columns; ++column) {
            const MinMax& got = result[static_cast<std::size_t>(column)];
            const bool here = column == pulseColumn;
            QCOMPARE(got.min, here ? std::min(pulse, samples < 1000 ? pulse : 0.0F) : 0.0F);
            QCOMPARE(got.max, here ? std::max(pulse, samples < 1000 ? pulse : 0.0F) : 0.0F);
        }
    }

    // After a while at 2 s/div, another time base: the columns of the shown trace straight from
    // the frames kept are those of the trace itself, and the engine holds no more than that time
    // base needs (a span and a block of frames, the traces and the average).
    void columnsAndMemory_data() {
        QTest::addColumn<double>("secondsPerDivision");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<int>("averaging");
        QTest::addColumn<int>("mostKiB");
        QTest::newRow("2 s/div, rolling on") << 2.0 << 1 << 1 << 11000;
        QTest::newRow("500 ms/div, filling") << 0.5 << 30 << 1 << 2800;
        QTest::newRow("20 ms/div, averaged") << 0.02 << 12 << 4 << 256;
        QTest::newRow("1 ms/div, triggered") << 1e-3 << 2 << 1 << 32;
        QTest::newRow("20 us/div, fewer samples than columns") << 20e-6 << 2 << 1 << 24;
    }
    void columnsAndMemory() {
        QFETCH(double, secondsPerDivision);
        QFETCH(int, blocks);
        QFETCH(int, averaging);
        QFETCH(int, mostKiB);
        const Signal sine = Sine(12000, 1000);
        Feed feed([&](double frame) { return sine(frame) + 3000 * std::sin(frame * 12.9898); },
                  [](double frame) { return 9000 * std::sin(frame * 78.233); });
        ScopeAcquisition scope;
        scope.setSecondsPerDivision(2.0);
        feed.blocks(scope, 250);
        QCOMPARE(scope.shown().a.size(), 882002U);
        scope.setSecondsPerDivision(secondsPerDivision);
        scope.setAveraging(averaging);
        feed.blocks(scope, blocks);
        std::vector<MinMax> columns;
        for (const ScopeChannel channel : {ScopeChannel::A, ScopeChannel::B}) {
            scope.columns(channel, 800, columns);
            const std::vector<MinMax> expected = MinMaxColumns(scope.shown().trace(channel), 800);
            QCOMPARE(columns.size(), expected.size());
            for (std::size_t n = 0; n < columns.size(); ++n) {
                QCOMPARE(columns[n].min, expected[n].min);
                QCOMPARE(columns[n].max, expected[n].max);
            }
        }
        QCOMPARE(scope.shown().averaged, averaging);
        QVERIFY2(scope.memoryBytes() <= std::size_t(mostKiB) * 1024,
                 qPrintable(QString("%1 KiB").arg(double(scope.memoryBytes()) / 1024)));
    }

    // A noisy sine triggered by a clean one: the average's noise falls as 1/sqrt(N).
    void averaging_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("noise");
        QTest::newRow("1") << 1 << 1000.0;
        QTest::newRow("4") << 4 << 500.0;
        QTest::newRow("16") << 16 << 250.0;
        QTest::newRow("64") << 64 << 125.0;
    }
    void averaging() {
        QFETCH(int, count);
        QFETCH(double, noise);
        std::mt19937 random(count);
        std::normal_distribution<double> gaussian(0.0, 1000.0);
        const Signal clean = Sine(12000, 441);
        ScopeAcquisition scope;
        scope.setSecondsPerDivision(1e-3);
        scope.setTrigger(Trigger(TriggerMode::Normal));
        scope.setAveraging(count);
        // Chunks of a period: one acquisition at most each, so that exactly `count` are taken.
        Feed feed(clean, [&](double frame) { return clean(frame) + gaussian(random); });
        while (scope.count() < std::uint64_t(count)) {
            feed.blocks(scope, 1, 100);
        }
        const Acquisition& shown = scope.shown();
        QCOMPARE(shown.averaged, count);
        QVERIFY(shown.triggered);
        QVERIFY(RootMeanSquare(shown.a, shown.firstFrame, clean) < 1.0);
        const double measured = RootMeanSquare(shown.b, shown.firstFrame, clean);
        QVERIFY2(std::abs(measured / noise - 1) < 0.15,
                 qPrintable(QString("%1, not %2").arg(measured).arg(noise)));
    }

    // A fast edge (a raised cosine over 3 frames) at a period of 100.37 frames: each acquisition's
    // trigger falls at another fraction of a sample, and the average, aligned by the fraction,
    // stays within 2 % of the amplitude of the signal, as a single acquisition does (1.5 %: the
    // trigger's instant is a line between two samples). Whole samples: 3.8 %.
    void averagedEdge_data() {
        QTest::addColumn<int>("count");
        QTest::newRow("single") << 1;
        QTest::newRow("16 averaged") << 16;
    }
    void averagedEdge() {
        QFETCH(int, count);
        constexpr double Amplitude = 12000;
        constexpr double Period = 100.37;
        constexpr double Width = 3;
        const Signal edges = [](double frame) {
            const double at = std::fmod(std::fmod(frame, Period) + Period, Period);
            if (at < Width) {
                return -Amplitude * std::cos(Pi * at / Width);
            }
            if (at < Period / 2) {
                return Amplitude;
            }
            if (at < Period / 2 + Width) {
                return Amplitude * std::cos(Pi * (at - Period / 2) / Width);
            }
            return -Amplitude;
        };
        ScopeAcquisition scope;
        scope.setSecondsPerDivision(1e-3);
        scope.setTrigger(Trigger(TriggerMode::Normal));
        scope.setAveraging(count);
        Feed feed(edges, Silence());
        feed.blocks(scope, 4);
        const Acquisition& shown = scope.shown();
        QCOMPARE(shown.averaged, count);
        // The signal's own crossing nearest the trigger: sample n lies n - triggerOffset from it.
        const double instant = double(shown.firstFrame) + shown.triggerOffset;
        const double crossing = Width / 2 + std::round((instant - Width / 2) / Period) * Period;
        double worst = 0.0;
        for (std::size_t n = 0; n < shown.a.size(); ++n) {
            const double at = crossing + double(n) - shown.triggerOffset;
            worst = std::max(worst, std::abs(double(shown.a[n]) - edges(at)));
        }
        QVERIFY2(worst < 0.02 * Amplitude, qPrintable(QString("off by %1").arg(worst)));
    }

    // The XY pairs are the samples side by side; a stored reference stays as it was until cleared.
    void xyPairsAndReference() {
        ScopeAcquisition scope;
        scope.setSecondsPerDivision(1e-3);
        scope.setTrigger(Trigger(TriggerMode::Normal));
        Feed feed(Sine(10000, 1000), Sine(5000, 1000, Pi / 2));
        feed.blocks(scope, 1);
        const Acquisition& taken = scope.latest();
        const std::vector<QPointF> pairs = XyPairs(taken);
        QCOMPARE(pairs.size(), 443U);
        QCOMPARE(pairs[17], QPointF(taken.a[17], taken.b[17]));
        QVERIFY(scope.reference().empty());
        scope.storeReference();
        const std::vector<float> stored = taken.a;
        const std::int64_t storedFirst = taken.firstFrame;
        feed.blocks(scope, 1);
        QVERIFY(scope.latest().firstFrame != storedFirst);
        QCOMPARE(scope.reference().firstFrame, storedFirst);
        QVERIFY(scope.reference().a == stored);
        scope.clearReference();
        QVERIFY(scope.reference().empty());
    }
};

QTEST_GUILESS_MAIN(TestScopeAcquisition)
#include "tst_scopeacquisition.moc"

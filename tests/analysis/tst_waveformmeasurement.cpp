#include <QTest>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <tuple>

#include "analysis/waveformmeasurement.h"
#include "platform/captureformat.h"

using namespace veruziva;

namespace {

constexpr double Absent = std::numeric_limits<double>::quiet_NaN();

// Measurement id, value (Absent: none), relative tolerance.
using Expected = QList<std::tuple<QString, double, double>>;

std::vector<double> Sampled(int size, const std::function<double(double)>& signal) {
    std::vector<double> samples(static_cast<std::size_t>(size));
    for (int n = 0; n < size; ++n) {
        samples[static_cast<std::size_t>(n)] = signal(n);
    }
    return samples;
}

// A trapezoid between -10000 and 10000, every time in samples: its period, the time high (from
// the rising to the falling mid crossing) and its ramps, each linear across the whole span.
std::function<double(double)> Trapezoid(double period, double high, double rise, double fall) {
    return [=](double n) {
        const double p = std::fmod(n + 0.37 * period, period);
        const double fallStart = rise / 2 + high - fall / 2;
        if (p < rise) {
            return -10000 + 20000 * p / rise;
        }
        if (p < fallStart) {
            return 10000.0;
        }
        if (p < fallStart + fall) {
            return 10000 - 20000 * (p - fallStart) / fall;
        }
        return -10000.0;
    };
}

// Seconds from samples.
double Time(double samples) {
    return samples / SampleRate;
}

// Each expected measurement of the measured, within its tolerance.
void Check(const WaveformMeasurement& measured, const Expected& expected) {
    for (const auto& [id, value, tolerance] : expected) {
        const std::size_t index = WaveformMeasurementIndex(id.toStdString());
        QVERIFY2(index < WaveformMeasurementCount, qPrintable(id));
        const std::optional<double> got = WaveformMeasurements[index].measure(measured);
        const QString message =
            QStringLiteral("%1: %2, not %3")
                .arg(id, got ? QString::number(*got, 'g', 10) : "absent")
                .arg(std::isnan(value) ? "absent" : QString::number(value, 'g', 10));
        if (std::isnan(value)) {
            QVERIFY2(!got, qPrintable(message));
        } else {
            QVERIFY2(got && std::abs(*got - value) <= tolerance * std::abs(value) + 1e-12,
                     qPrintable(message));
        }
    }
}

}  // namespace

Q_DECLARE_METATYPE(ChannelScale)

class TestWaveformMeasurement : public QObject {
    Q_OBJECT

private slots:
    void measurements_data() {
        QTest::addColumn<std::vector<double>>("samples");
        QTest::addColumn<ChannelScale>("scale");
        QTest::addColumn<Expected>("expected");

        // 99.5 samples a period: 40 whole periods in 3980 samples, high 30 % of each.
        const double square = 99.5;
        QTest::newRow("square, 30 % duty")
            << Sampled(3980, Trapezoid(square, 0.3 * square, 2.5, 2.5)) << ChannelScale{}
            << Expected{{"max", 10000, 1e-9},
                        {"min", -10000, 1e-9},
                        {"pp", 20000, 1e-9},
                        {"mean", 20000 * 0.3 - 10000, 1e-3},
                        {"freq", SampleRate / square, 1e-6},
                        {"period", Time(square), 1e-6},
                        {"duty+", 30, 1e-6},
                        {"duty-", 70, 1e-6},
                        {"width+", Time(0.3 * square), 1e-6},
                        {"width-", Time(0.7 * square), 1e-6}};

        // 127 periods in 4096 samples, 32.25 samples each, 10000 peak on 2000 of DC, read
        // through a scale of 1e-4 V a unit about a zero of 500.
        const double sine = 4096.0 / 127;
        const ChannelScale volts{1e-4, 'V', 500};
        QTest::newRow("sine, scaled")
            << Sampled(4096,
                       [=](double n) {
                           return 2000 + 10000 * std::sin(2 * std::numbers::pi * n / sine);
                       })
            << volts
            << Expected{{"max", 1.15, 1e-3},
                        {"min", -0.85, 1e-3},
                        {"pp", 2, 1e-3},
                        {"mean", 0.15, 1e-9},
                        {"rms", std::hypot(1 / std::numbers::sqrt2, 0.15), 1e-9},
                        {"acrms", 1 / std::numbers::sqrt2, 1e-9},
                        {"freq", SampleRate / sine, 1e-6},
                        {"period", Time(sine), 1e-6},
                        {"duty+", 50, 1e-3}};

        // 10 % to 90 % of a linear ramp: 0.8 of it (a ramp's samples in the flat top's bin move
        // the levels a little).
        const double period = 99.84;
        QTest::newRow("trapezoid")
            << Sampled(4096, Trapezoid(period, period / 2, 20.3, 35.7)) << ChannelScale{}
            << Expected{{"rise", Time(0.8 * 20.3), 1e-4},
                        {"fall", Time(0.8 * 35.7), 1e-4},
                        {"freq", SampleRate / period, 1e-6},
                        {"duty+", 50, 1e-5}};

        // No flat top: the levels are the peaks, 10 % to 90 % is 0.8 of each slope.
        QTest::newRow("triangle") << Sampled(4096,
                                             Trapezoid(period, period / 2, period / 2, period / 2))
                                  << ChannelScale{}
                                  << Expected{{"rise", Time(0.8 * period / 2), 1e-3},
                                              {"fall", Time(0.8 * period / 2), 1e-3}};

        // Noise steeper than the ramps crosses the mid level back and forth on every edge.
        std::mt19937 random(7);
        std::uniform_real_distribution<double> noise(-1500, 1500);
        const auto clean = Trapezoid(period, period / 2, 16, 16);
        QTest::newRow("noise on a square")
            << Sampled(4096, [&](double n) { return clean(n) + noise(random); }) << ChannelScale{}
            << Expected{{"freq", SampleRate / period, 2e-3}, {"duty+", 50, 2e-2}};

        QTest::newRow("DC") << std::vector<double>(4096, 1234.0) << ChannelScale{}
                            << Expected{{"max", 1234, 1e-9},  {"min", 1234, 1e-9},
                                        {"pp", 0, 0},         {"mean", 1234, 1e-9},
                                        {"rms", 1234, 1e-9},  {"acrms", 0, 0},
                                        {"freq", Absent, 0},  {"period", Absent, 0},
                                        {"duty+", Absent, 0}, {"width+", Absent, 0},
                                        {"rise", Absent, 0},  {"fall", Absent, 0}};

        // A line's hiss alone (+-20 units about a DC level) has no edges; a square of 70 units
        // has them.
        QTest::newRow("hiss on DC")
            << Sampled(4096, [&](double) { return 1200 + noise(random) / 75; }) << ChannelScale{}
            << Expected{{"freq", Absent, 0},
                        {"rise", Absent, 0},
                        {"duty+", Absent, 0},
                        {"width-", Absent, 0}};
        QTest::newRow("a small square") << Sampled(3980, [&](double n) {
            return 1200 + Trapezoid(square, 0.3 * square, 2.5, 2.5)(n) * 0.0035;
        }) << ChannelScale{} << Expected{{"freq", SampleRate / square, 1e-5}, {"duty+", 30, 1e-4}};

        // Half a period of a square: one edge, ramping over 20 samples.
        QTest::newRow("half a period") << Sampled(4096, [](double n) {
            return std::clamp(-10000 + 1000 * (n - 2000), -10000.0, 10000.0);
        }) << ChannelScale{} << Expected{{"rise", Time(16), 1e-6}, {"fall", Absent, 0},
                                         {"freq", Absent, 0},      {"period", Absent, 0},
                                         {"duty+", Absent, 0},     {"duty-", Absent, 0},
                                         {"width+", Absent, 0},    {"width-", Absent, 0}};
    }

    void measurements() {
        QFETCH(std::vector<double>, samples);
        QFETCH(ChannelScale, scale);
        QFETCH(Expected, expected);
        // A scope's float trace of the same samples measures the same.
        const std::vector<float> floats(samples.begin(), samples.end());
        for (const WaveformMeasurement& measured :
             {MeasureWaveform(samples, SampleRate, scale),
              MeasureWaveform(std::span<const float>(floats), SampleRate, scale)}) {
            Check(measured, expected);
        }
    }

    void statisticsOverAcquisitions() {
        MeasurementStatistics statistics;
        for (const std::optional<double> value : {std::optional(3.0), std::optional<double>(),
                                                  std::optional(1.0), std::optional(2.0)}) {
            statistics.add(value);
        }
        QCOMPARE(statistics.count(), 3);
        QCOMPARE(statistics.minimum(), std::optional(1.0));
        QCOMPARE(statistics.maximum(), std::optional(3.0));
        QCOMPARE(statistics.mean(), std::optional(2.0));
        statistics.reset();
        QCOMPARE(statistics.count(), 0);
        QVERIFY(!statistics.mean());
        statistics.add(-4.0);
        QCOMPARE(statistics.minimum(), std::optional(-4.0));
        QCOMPARE(statistics.maximum(), std::optional(-4.0));
    }
};

QTEST_GUILESS_MAIN(TestWaveformMeasurement)
#include "tst_waveformmeasurement.moc"

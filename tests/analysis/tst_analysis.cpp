#include <QTest>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <random>

#include "analysis/realfft.h"
#include "analysis/spectrum.h"
#include "analysis/spectrumcsv.h"
#include "analysis/tonemeasurement.h"

using namespace veruziva;

namespace {

constexpr double Pi = std::numbers::pi;

// One channel of `size` samples from a function of the sample's time, rounded to 16 bits and
// clipped as a converter does.
std::vector<double> Quantized(int size, const std::function<double(double)>& signal) {
    std::vector<double> samples(static_cast<std::size_t>(size));
    for (int n = 0; n < size; ++n) {
        const double value = std::round(signal(double(n) / SampleRate));
        samples[static_cast<std::size_t>(n)] = std::clamp(value, -32768.0, 32767.0);
    }
    return samples;
}

Spectrum SpectrumOf(const std::vector<double>& samples, WindowKind kind) {
    const int size = static_cast<int>(samples.size());
    RealFft fft(size);
    return ComputeSpectrum(samples, FftWindow(kind, size), fft);
}

// A sine's amplitude for a level in dB below full scale.
double Amplitude(double dbfs) {
    return 32768.0 * std::pow(10.0, dbfs / 20.0);
}

// The amplitude of the component at `bin` of a whole-period signal, by the definition.
double NaiveAmplitude(const std::vector<double>& samples, int bin) {
    std::complex<double> sum;
    const double size = double(samples.size());
    for (std::size_t n = 0; n < samples.size(); ++n) {
        sum += samples[n] * std::polar(1.0, -2.0 * Pi * bin * double(n) / size);
    }
    return 2.0 * std::abs(sum) / size;
}

}  // namespace

class TestAnalysis : public QObject {
    Q_OBJECT

private slots:
    // FFTW's transform against the definition on random data.
    void transformMatchesTheDefinition_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("64") << 64;
        QTest::newRow("4096") << 4096;
    }
    void transformMatchesTheDefinition() {
        QFETCH(int, size);
        std::mt19937 random(size);
        std::uniform_real_distribution<double> value(-1.0, 1.0);
        RealFft fft(size);
        std::vector<double> samples(static_cast<std::size_t>(size));
        for (double& sample : samples) {
            sample = value(random);
        }
        std::copy(samples.begin(), samples.end(), fft.input().begin());
        fft.transform();
        double worst = 0.0;
        for (int k = 0; k < fft.bins(); k += size / 64 + 1) {
            std::complex<double> expected;
            for (int n = 0; n < size; ++n) {
                expected += samples[static_cast<std::size_t>(n)] *
                            std::polar(1.0, -2.0 * Pi * double(k) * n / size);
            }
            worst = std::max(worst, std::abs(fft.output()[static_cast<std::size_t>(k)] - expected));
        }
        QVERIFY2(worst < 1e-9 * size, qPrintable(QString::number(worst)));
    }

    // A clean sine on a bin centre and between bins, every window: its frequency to 0.01 Hz and
    // its level to 0.01 dB; with the flat top the highest bin alone reads the level to 0.01 dB.
    void sineFrequencyAndLevel_data() {
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("size");
        QTest::addColumn<double>("hz");
        QTest::addColumn<double>("dbfs");
        for (const WindowKind kind : WindowKinds) {
            const QByteArray name(WindowName(kind).data(), qsizetype(WindowName(kind).size()));
            const int k = static_cast<int>(kind);
            const double binHz = SampleRate / 65536.0;
            QTest::newRow(name + " bin centre") << k << 65536 << 1486 * binHz << -6.0;
            QTest::newRow(name + " half-way") << k << 65536 << 1486.5 * binHz << -6.0;
            QTest::newRow(name + " 1 kHz, one second") << k << 32768 << 1000.0 << -20.0;
            QTest::newRow(name + " 50.123 Hz") << k << 65536 << 50.123 << -1.0;
            QTest::newRow(name + " 15 kHz") << k << 16384 << 15000.77 << -40.0;
        }
    }
    void sineFrequencyAndLevel() {
        QFETCH(int, window);
        QFETCH(int, size);
        QFETCH(double, hz);
        QFETCH(double, dbfs);
        const auto kind = static_cast<WindowKind>(window);
        const double amplitude = Amplitude(dbfs);
        const Spectrum spectrum = SpectrumOf(
            Quantized(size, [&](double t) { return amplitude * std::sin(2 * Pi * hz * t + 0.3); }),
            kind);
        const ToneMeasurements tone = MeasureTone(spectrum);
        QVERIFY(tone.found);
        QVERIFY2(std::abs(tone.frequencyHz - hz) < 0.01,
                 qPrintable(QString::number(tone.frequencyHz, 'f', 5)));
        const double level = PowerToDb(tone.levelRms * tone.levelRms, {});
        const double expected = dbfs - 20.0 * std::log10(32768.0 / 32768.0);
        QVERIFY2(std::abs(level - expected) < 0.01, qPrintable(QString::number(level, 'f', 4)));
        if (kind == WindowKind::FlatTop) {
            const auto peak = std::max_element(spectrum.power.begin() + 5, spectrum.power.end());
            QVERIFY(std::abs(PowerToDb(*peak, {}) - expected) < 0.01);
        }
    }

    // Distortion against closed forms (harmonics of known amplitudes, noise of known RMS) and
    // against the definition (a clipped sine on a bin centre, whose harmonics a DFT gives).
    void distortion_data() {
        QTest::addColumn<int>("window");
        QTest::addColumn<QList<double>>("harmonicsDb");  // 2nd, 3rd, ... relative to the tone
        QTest::addColumn<double>("noiseRms");
        QTest::addColumn<double>("clip");  // 0: none
        const int bh = static_cast<int>(WindowKind::BlackmanHarris);
        const int hann = static_cast<int>(WindowKind::Hann);
        QTest::newRow("-40 dB, two harmonics") << bh << QList<double>{-46.0, -41.0} << 0.0 << 0.0;
        QTest::newRow("-60 dB, Hann") << hann << QList<double>{-66.0, -70.0, -62.0} << 0.0 << 0.0;
        QTest::newRow("-90 dB") << bh << QList<double>{-90.0} << 0.0 << 0.0;
        QTest::newRow("10th harmonic")
            << bh << QList<double>{0, 0, 0, 0, 0, 0, 0, 0, -70.0} << 0.0 << 0.0;
        QTest::newRow("noise 30 units") << bh << QList<double>{-50.0} << 30.0 << 0.0;
        QTest::newRow("clipped") << bh << QList<double>{} << 0.0 << 20000.0;
    }
    void distortion() {
        QFETCH(int, window);
        QFETCH(QList<double>, harmonicsDb);
        QFETCH(double, noiseRms);
        QFETCH(double, clip);
        constexpr int Size = 65536;
        // On bin 1486 (about 1 kHz) for the clipped sine, whose harmonics then sit on bins too;
        // else between bins.
        const double hz = (clip > 0 ? 1486.0 : 1486.37) * SampleRate / Size;
        const double amplitude = Amplitude(-3.0);
        std::mt19937 random(7);
        std::normal_distribution<double> gauss(0.0, noiseRms);
        const auto samples = Quantized(Size, [&](double t) {
            double value = amplitude * std::sin(2 * Pi * hz * t);
            for (qsizetype i = 0; i < harmonicsDb.size(); ++i) {
                if (harmonicsDb[i] != 0.0) {
                    value += amplitude * std::pow(10.0, harmonicsDb[i] / 20.0) *
                             std::sin(2 * Pi * hz * double(i + 2) * t + 1.0);
                }
            }
            if (clip > 0) {
                value = std::clamp(value, -clip, clip);
            }
            return value + (noiseRms > 0 ? gauss(random) : 0.0);
        });
        double harmonicsPower = 0.0;
        for (const double db : harmonicsDb) {
            harmonicsPower += db != 0.0 ? std::pow(10.0, db / 10.0) : 0.0;
        }
        double fundamentalRms = amplitude / std::sqrt(2.0);
        // Quantization adds its own noise: 1/12 of a unit squared.
        double noisePower = noiseRms * noiseRms + 1.0 / 12.0;
        if (clip > 0) {
            // Whole periods: the harmonics by the definition, the noise (harmonics above the
            // 10th and their aliases among it) is what the samples' power leaves.
            fundamentalRms = NaiveAmplitude(samples, 1486) / std::sqrt(2.0);
            double power = 0.0;
            for (const double sample : samples) {
                power += sample * sample / Size;
            }
            noisePower = power - fundamentalRms * fundamentalRms;
            for (int h = 2; h <= 10; ++h) {
                const double rms = NaiveAmplitude(samples, 1486 * h) / std::sqrt(2.0);
                harmonicsPower += rms * rms / (fundamentalRms * fundamentalRms);
                noisePower -= rms * rms;
            }
        }
        noisePower /= fundamentalRms * fundamentalRms;

        const ToneMeasurements tone =
            MeasureTone(SpectrumOf(samples, static_cast<WindowKind>(window)));
        QVERIFY(tone.found);
        const double thdDb = 20.0 * std::log10(tone.thdRatio);
        QVERIFY2(std::abs(thdDb - 10.0 * std::log10(harmonicsPower)) < 0.1,
                 qPrintable(QStringLiteral("THD %1 dB, expected %2")
                                .arg(thdDb)
                                .arg(10.0 * std::log10(harmonicsPower))));
        QVERIFY2(std::abs(tone.snrDb + 10.0 * std::log10(noisePower)) < 0.2,
                 qPrintable(QStringLiteral("SNR %1 dB, expected %2")
                                .arg(tone.snrDb)
                                .arg(-10.0 * std::log10(noisePower))));
        QVERIFY(std::abs(tone.sinadDb + 10.0 * std::log10(noisePower + harmonicsPower)) < 0.2);
        QVERIFY(std::abs(20.0 * std::log10(tone.thdNoiseRatio) + tone.sinadDb) < 1e-9);
        QVERIFY(std::abs(tone.levelRms - fundamentalRms) / fundamentalRms < 1e-3);
        QCOMPARE(tone.harmonics, 9);
        if (harmonicsDb.size() == 1 && noiseRms == 0.0) {
            // A single harmonic is the highest spur.
            QVERIFY(std::abs(tone.sfdrDb + harmonicsDb[0]) < 0.1);
            QVERIFY(std::abs(tone.spurHz - 2 * hz) < 2.0);
        }
    }

    // The DC reading keeps its sign; two tones: the one asked for is measured, the other is the
    // spur; silence holds no tone.
    void dcTwoTonesAndSilence() {
        constexpr int Size = 16384;
        const auto samples = Quantized(Size, [](double t) {
            return -1234.0 + Amplitude(-10) * std::sin(2 * Pi * 3000.3 * t) +
                   Amplitude(-30) * std::sin(2 * Pi * 700.7 * t);
        });
        const Spectrum spectrum = SpectrumOf(samples, WindowKind::BlackmanHarris);
        const ToneMeasurements highest = MeasureTone(spectrum);
        QVERIFY(std::abs(highest.dc + 1234.0) < 0.5);
        QVERIFY(std::abs(highest.frequencyHz - 3000.3) < 0.01);
        QVERIFY(std::abs(highest.sfdrDb - 20.0) < 0.1);
        const ToneMeasurements asked = MeasureTone(spectrum, {700.0, 10, 0.0});
        QVERIFY(std::abs(asked.frequencyHz - 700.7) < 0.01);
        QVERIFY(std::abs(PowerToDb(asked.levelRms * asked.levelRms, {}) + 30.0) < 0.01);
        QVERIFY(!MeasureTone(SpectrumOf(std::vector<double>(Size, 5.0), WindowKind::Hann)).found);
    }

    // White noise reads its power summed over the bins, and its density per bin.
    void whiteNoise_data() {
        QTest::addColumn<int>("window");
        for (const WindowKind kind : WindowKinds) {
            QTest::newRow(WindowName(kind).data()) << static_cast<int>(kind);
        }
    }
    void whiteNoise() {
        QFETCH(int, window);
        constexpr int Size = 65536;
        constexpr double Rms = 100.0;
        std::mt19937 random(3);
        std::normal_distribution<double> gauss(0.0, Rms);
        std::vector<double> samples(Size);
        for (double& sample : samples) {
            sample = gauss(random);
        }
        const Spectrum spectrum = SpectrumOf(samples, static_cast<WindowKind>(window));
        double total = 0.0;
        for (const double power : spectrum.power) {
            total += power;
        }
        // Within 1.5 %: the span's own noise power (0.6 % is one standard deviation).
        QVERIFY2(std::abs(total / spectrum.noiseBandwidthBins / (Rms * Rms) - 1.0) < 0.015,
                 qPrintable(QString::number(total / spectrum.noiseBandwidthBins)));
        const double perBin = 2.0 * Rms * Rms * spectrum.noiseBandwidthBins / Size;
        const ToneMeasurements tone = MeasureTone(spectrum);
        QVERIFY(!tone.found);
        QVERIFY(std::abs(tone.noiseFloorPower / perBin - 1.0) < 0.015);
    }

    // Averaging: linear means of N, exponential, peak hold, each per bin.
    void averaging_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<double>>("shown");  // bin 1 after each of 1, 5, 3, 7
        using M = AveragingMode;
        QTest::newRow("none") << int(M::None) << 4 << QList<double>{1, 5, 3, 7};
        QTest::newRow("linear 2") << int(M::Linear) << 2 << QList<double>{1, 3, 3, 5};
        QTest::newRow("linear 3") << int(M::Linear) << 3 << QList<double>{1, 3, 3, 3};
        QTest::newRow("exponential 2") << int(M::Exponential) << 2 << QList<double>{1, 3, 3, 5};
        QTest::newRow("peak hold") << int(M::PeakHold) << 2 << QList<double>{1, 5, 5, 7};
    }
    void averaging() {
        QFETCH(int, mode);
        QFETCH(int, count);
        QFETCH(QList<double>, shown);
        SpectrumAverager averager({static_cast<AveragingMode>(mode), count});
        const double inputs[] = {1, 5, 3, 7};
        for (int i = 0; i < 4; ++i) {
            Spectrum spectrum;
            spectrum.size = 4;
            spectrum.power = {0.0, inputs[i], 0.0};
            averager.add(spectrum);
            QCOMPARE(averager.result().power[1], shown[i]);
        }
        Spectrum other;  // another size starts again
        other.size = 8;
        other.power = {0, 9, 0, 0, 0};
        averager.add(other);
        QCOMPARE(averager.result().power[1], 9.0);
    }

    // The analyzer transforms the newest frames, however they came; the clock's correction
    // scales frequencies; the CSV holds a row per bin.
    void analyzerClockAndCsv() {
        SpectrumAnalyzer analyzer({4096, WindowKind::Hann, {}});
        std::vector<StereoFrame> frames(10000);
        for (std::size_t n = 0; n < frames.size(); ++n) {
            frames[n].a = static_cast<std::int16_t>(
                std::lround(10000 * std::sin(2 * Pi * 1000.0 * double(n) / SampleRate)));
            frames[n].b = static_cast<std::int16_t>(n % 7);
        }
        analyzer.addFrames(std::span(frames).first(3000));
        QVERIFY(!analyzer.update());
        analyzer.addFrames(std::span(frames).subspan(3000, 6999));
        analyzer.addFrames(std::span(frames).last(1));
        QCOMPARE(analyzer.framesSinceUpdate(), 10000);
        QVERIFY(analyzer.update());
        std::vector<double> newest;
        for (std::size_t n = frames.size() - 4096; n < frames.size(); ++n) {
            newest.push_back(frames[n].a);
        }
        QCOMPARE(analyzer.spectrum(0).power, SpectrumOf(newest, WindowKind::Hann).power);

        const ToneMeasurements plain = MeasureTone(analyzer.spectrum(0));
        const double ppm = ClockPpmFor(plain.frequencyHz, 1000.05);
        QVERIFY(std::abs(MeasureTone(analyzer.spectrum(0), {std::nullopt, 10, ppm}).frequencyHz -
                         1000.05) < 1e-6);

        const QByteArray csv =
            SpectrumCsv(analyzer.spectrum(0), analyzer.spectrum(1), {0.001, 'V'}, {},
                        {{QStringLiteral("Window"), QStringLiteral("hann")}});
        const QList<QByteArray> lines = csv.split('\n');
        QCOMPARE(lines[0], QByteArray("# Window: hann"));
        QCOMPARE(lines[1], QByteArray("# A levels: dBV"));
        QCOMPARE(lines[2], QByteArray("# B levels: dBFS"));
        QCOMPARE(lines[3], QByteArray("frequency;A;B"));
        QCOMPARE(lines.size(), 4 + 2048 + 1);
        const QList<QByteArray> peak = lines[4 + 92].split(';');  // bin 93, 1001.3 Hz
        QCOMPARE(peak[0], QByteArray("1001.2939"));
        QVERIFY(std::abs(peak[1].toDouble() - 20 * std::log10(0.001 * 10000 / std::sqrt(2.0))) <
                1.5);
    }
};

QTEST_GUILESS_MAIN(TestAnalysis)
#include "tst_analysis.moc"

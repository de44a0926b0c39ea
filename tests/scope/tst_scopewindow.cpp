#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>
#include <cmath>
#include <functional>
#include <numbers>
#include <optional>

#include "scope/scopeacquisition.h"
#include "scope/window/livescope.h"
#include "scope/window/scopeplot.h"
#include "scope/window/scopeunits.h"
#include "scope/window/scopewindow.h"
#include "support/filesizelimit.h"
#include "support/scriptedmessageboxes.h"
#include "support/scriptedtrendfiles.h"

using namespace veruziva;

namespace {

// A reads 0.1 mV per raw unit; B the same about a zero of 100 raw units.
constexpr ChannelScale ScaleA{1e-4, 'V', 0.0};
constexpr ChannelScale ScaleB{1e-4, 'V', 100.0};
constexpr double Rate = 44100.0;

// Both channels' raw values at a frame.
using Signal = std::function<std::pair<double, double>(double frame)>;

double Square(double frame, double period, double duty, double low, double high) {
    return std::fmod(frame, period) < duty * period ? high : low;
}

// Rises linearly over `edge` frames at the start of each period, falls the same at its middle.
double Trapezoid(double frame, double period, double edge, double low, double high) {
    const double t = std::fmod(frame, period);
    const double half = period / 2;
    const double up = std::clamp(t / edge, 0.0, 1.0);
    const double down = std::clamp((t - half) / edge, 0.0, 1.0);
    return low + (high - low) * (up - down);
}

double Sine(double frame, double hz, double peak) {
    return peak * std::sin(2 * std::numbers::pi * hz * frame / Rate);
}

std::size_t IndexOf(const char* id) {
    return WaveformMeasurementIndex(id);
}

}  // namespace

class TestScopeWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void triggerAndMeasurements_data();
    void triggerAndMeasurements();
    void modes_data();
    void modes();
    void levelKeepsItsPlaceWhenTheRangeChanges();
    void cursors_data();
    void cursors();
    void drawing_data();
    void drawing();
    void exports_data();
    void exports();
    void numberTexts_data();
    void numberTexts();

private:
    void feed(const Signal& signal, double seconds, const ChannelScale& a = ScaleA);
    void choose(QComboBox* combo, const QVariant& data);
    QRgb pixel(int x, int y);

    QTemporaryDir m_dir;
    std::optional<LiveScope> m_live;
    sim::ScriptedTrendFiles m_files;
    sim::ScriptedMessageBoxes m_boxes;
    std::unique_ptr<ScopeWindow> m_window;
    double m_frame = 0;
};

void TestScopeWindow::init() {
    m_live.emplace();
    m_frame = 0;
    m_boxes.clear();
    m_files.answers.clear();
    // The scales come with the first block, before the window opens, as in the program.
    m_live->blockTaken({}, ScaleA, ScaleB);
    m_window = std::make_unique<ScopeWindow>(*m_live, m_files, m_boxes);
    m_window->setMetadata([] { return FileMetadata{{"Software", "Veruziva 0.1.0"}}; });
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestScopeWindow::cleanup() {
    m_window.reset();
    m_live.reset();
}

void TestScopeWindow::feed(const Signal& signal, double seconds, const ChannelScale& a) {
    const auto frames = static_cast<int>(seconds * Rate);
    std::vector<StereoFrame> block;
    for (int done = 0; done < frames; done += FramesPerBuffer) {
        block.clear();
        for (int i = 0; i < FramesPerBuffer; ++i, ++m_frame) {
            const auto [left, right] = signal(m_frame);
            block.push_back({static_cast<std::int16_t>(std::lround(left)),
                             static_cast<std::int16_t>(std::lround(right))});
        }
        m_live->blockTaken(block, a, ScaleB);
    }
}

void TestScopeWindow::choose(QComboBox* combo, const QVariant& data) {
    const int index = combo->findData(data);
    QVERIFY2(index >= 0, qPrintable(data.toString()));
    combo->setCurrentIndex(index);
}

QRgb TestScopeWindow::pixel(int x, int y) {
    return m_window->Plot()->grab().toImage().pixel(x, y);
}

void TestScopeWindow::triggerAndMeasurements_data() {
    QTest::addColumn<Signal>("signal");
    QTest::addColumn<int>("source");  // 0 A, 1 B
    QTest::addColumn<bool>("falling");
    QTest::addColumn<double>("level");  // volts
    QTest::addColumn<double>("secondsPerDivision");
    QTest::addColumn<int>("channel");  // measured
    QTest::addColumn<QString>("measurement");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("tolerance");

    // 441 Hz (100 frames a period), high a quarter of it: +1 V and -1 V about B's zero.
    const Signal square = [](double f) {
        return std::pair{0.0, 100.0 + Square(f, 100.0, 0.25, -10000.0, 10000.0)};
    };
    QTest::newRow("B falling at 0.3 V: a square's duty")
        << square << 1 << true << 0.3 << 1e-3 << 1 << "duty+" << 25.0 << 0.01;
    QTest::newRow("B falling: the square's frequency")
        << square << 1 << true << -0.2 << 2e-3 << 1 << "freq" << 441.0 << 0.01;
    // 0 to 2 V in 40 frames: 10 % to 90 % takes 32 frames.
    const Signal ramp = [](double f) {
        return std::pair{Trapezoid(f, 400.0, 40.0, 0.0, 20000.0), 100.0};
    };
    QTest::newRow("A rising at 1 V: a trapezoid's rise time")
        << ramp << 0 << false << 1.0 << 2e-3 << 0 << "rise" << 32 / Rate << 0.05 / Rate;
    QTest::newRow("A rising: the trapezoid's fall time")
        << ramp << 0 << false << 1.0 << 2e-3 << 0 << "fall" << 32 / Rate << 0.05 / Rate;
    // 1 V peak, 50 whole periods in the span: 0.7071 V RMS.
    const Signal sine = [](double f) { return std::pair{Sine(f, 1000.0, 10000.0), 100.0}; };
    QTest::newRow("A: a sine's RMS in volts")
        << sine << 0 << false << 0.0 << 5e-3 << 0 << "rms" << std::sqrt(0.5) << 1e-4;
    const Signal odd = [](double f) { return std::pair{Sine(f, 1234.5, 10000.0), 100.0}; };
    QTest::newRow("A: a frequency between samples")
        << odd << 0 << false << 0.0 << 5e-3 << 0 << "freq" << 1234.5 << 0.05;
}

void TestScopeWindow::triggerAndMeasurements() {
    QFETCH(Signal, signal);
    QFETCH(int, source);
    QFETCH(bool, falling);
    QFETCH(double, level);
    QFETCH(double, secondsPerDivision);
    QFETCH(int, channel);
    QFETCH(QString, measurement);
    QFETCH(double, expected);
    QFETCH(double, tolerance);
    choose(m_window->TimeBase(), secondsPerDivision);
    m_window->Source()->setCurrentIndex(source);
    m_window->Slope()->setCurrentIndex(falling ? 1 : 0);
    m_window->Level()->setValue(level);
    m_window->Mode()->setCurrentIndex(1);  // normal: only triggered acquisitions
    const ChannelScale& scale = source == 0 ? ScaleA : ScaleB;
    const ScopeAcquisition& scope = m_live->acquisition();
    QCOMPARE(scope.trigger().condition.level, level / scale.factor + scale.zero);
    feed(signal, 0.5);

    // The trace crosses the level at its trigger, the way the slope says.
    const Acquisition& shown = scope.shown();
    QVERIFY(shown.triggered);
    const std::span<const float> trace =
        shown.trace(source == 0 ? ScopeChannel::A : ScopeChannel::B);
    const auto before = static_cast<std::size_t>(std::floor(shown.triggerOffset));
    const double raw = level / scale.factor + scale.zero;
    QVERIFY2(falling ? trace[before] >= raw && trace[before + 1] <= raw
                     : trace[before] <= raw && trace[before + 1] >= raw,
             qPrintable(QStringLiteral("%1 %2").arg(trace[before]).arg(trace[before + 1])));

    const std::size_t index = IndexOf(measurement.toLatin1().constData());
    const std::optional<double> value =
        WaveformMeasurements[index].measure(m_window->measurement(channel));
    QVERIFY(value);
    QVERIFY2(std::abs(*value - expected) <= tolerance,
             qPrintable(QStringLiteral("%1 against %2").arg(*value, 0, 'g', 9).arg(expected)));
    // Every acquisition counts in the statistics, and the table shows them.
    const MeasurementStatistics& statistics = m_window->statistics(channel, index);
    QVERIFY(statistics.count() > 3);
    QVERIFY(*statistics.minimum() <= *statistics.mean() &&
            *statistics.mean() <= *statistics.maximum());
    QTest::qWait(ScopeWindow::TableRefreshMs + 10);
    feed(signal, 0.1);
    QTableWidget* table = m_window->Measurements(channel);
    for (int column = 1; column <= 4; ++column) {
        QVERIFY2(table->item(static_cast<int>(index), column)->text() != QLatin1String("--"),
                 qPrintable(table->item(static_cast<int>(index), 0)->text()));
    }
}

void TestScopeWindow::modes_data() {
    QTest::addColumn<int>("mode");  // auto, normal, single
    QTest::addColumn<bool>("silent");
    QTest::addColumn<bool>("hold");  // held after the first second
    QTest::addColumn<int>("average");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("acquisitions");  // -1: more than one

    QTest::newRow("auto free-runs on silence") << 0 << true << false << 1 << "Auto" << -1;
    QTest::newRow("normal waits on silence") << 1 << true << false << 1 << "Waiting" << 0;
    QTest::newRow("normal triggers on a signal") << 1 << false << false << 1 << "Trig'd" << -1;
    QTest::newRow("single takes one and stops") << 2 << false << false << 1 << "Stop" << 1;
    QTest::newRow("hold keeps what was taken") << 0 << false << true << 1 << "Hold" << -2;
    QTest::newRow("averages of 4") << 1 << false << false << 4 << "Trig'd" << -1;
}

void TestScopeWindow::modes() {
    QFETCH(int, mode);
    QFETCH(bool, silent);
    QFETCH(bool, hold);
    QFETCH(int, average);
    QFETCH(QString, status);
    QFETCH(int, acquisitions);
    m_window->Mode()->setCurrentIndex(mode);
    m_window->Average()->setValue(average);
    const Signal signal = [silent](double f) {
        return std::pair{silent ? 0.0 : Sine(f, 500.0, 8000.0), 100.0};
    };
    feed(signal, 1.0);
    const ScopeAcquisition& scope = m_live->acquisition();
    const std::uint64_t first = scope.count();
    if (hold) {
        m_window->Hold()->setChecked(true);
    }
    feed(signal, 1.0);
    QCOMPARE(m_window->status(), status);
    if (acquisitions >= 0) {
        QCOMPARE(scope.count(), static_cast<std::uint64_t>(acquisitions));
    } else if (acquisitions == -2) {
        QCOMPARE(scope.count(), first);
    } else {
        QVERIFY(scope.count() > first);
    }
    QCOMPARE(scope.shown().averaged, average);
    if (mode == 2) {
        // Its figures come to the table though no acquisition follows.
        const int rms = static_cast<int>(IndexOf("rms"));
        QTRY_VERIFY(m_window->Measurements(0)->item(rms, 1)->text() != QLatin1String("--"));
        // Armed again, it takes one more.
        m_window->ArmClick();
        QCOMPARE(m_window->status(), QStringLiteral("Armed"));
        feed(signal, 0.2);
        QCOMPARE(scope.count(), 2U);
    }
}

void TestScopeWindow::levelKeepsItsPlaceWhenTheRangeChanges() {
    m_window->Level()->setValue(0.5);
    m_window->Hysteresis()->setValue(0.02);
    const ChannelScale coarser{1e-3, 'V', 0.0};
    feed([](double) { return std::pair{0.0, 0.0}; }, 0.1, coarser);
    // 5000 and 200 raw units either way; the spin boxes read the new range's volts.
    const TriggerCondition& condition = m_live->acquisition().trigger().condition;
    QCOMPARE(condition.level, 5000.0);
    QCOMPARE(condition.hysteresis, 200.0);
    QCOMPARE(m_window->Level()->value(), 5.0);
    QCOMPARE(m_window->Hysteresis()->value(), 0.2);
    QVERIFY(m_window->PerDivision(0)->currentText().endsWith(QLatin1String("V/div")));
}

void TestScopeWindow::cursors_data() {
    QTest::addColumn<bool>("xy");
    QTest::addColumn<QStringList>("expected");
    // 500 x 400 pixels, 1 ms and 0.5 V a division, the trigger in the middle: x 100 is -3 ms,
    // x 350 +2 ms; y 100 is +1 V, y 300 -1 V.
    QTest::newRow("time and level")
        << false << QStringList{"t1 -3.000 ms", "t2 2.000 ms", "Δt 5.000 ms", "1/Δt 200.0 Hz",
                                "A1 1.000 V",   "A2 -1.000 V", "ΔA -2.000 V"};
    // In XY across reads A (x 100: -1.5 V, x 350: +1 V), up reads B.
    QTest::newRow("XY") << true
                        << QStringList{"A1 -1.500 V", "A2 1.000 V", "ΔA 2.500 V", "B1 1.000 V",
                                       "ΔB -2.000 V"};
}

void TestScopeWindow::cursors() {
    QFETCH(bool, xy);
    QFETCH(QStringList, expected);
    ScopePlot* plot = m_window->Plot();
    plot->setFixedSize(500, 400);
    for (int c = 0; c < 2; ++c) {
        choose(m_window->PerDivision(c), 0.5);
    }
    m_window->Xy()->setChecked(xy);
    feed([](double f) { return std::pair{Sine(f, 500.0, 8000.0), 100.0}; }, 0.3);
    QTest::mouseClick(plot, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseClick(plot, Qt::RightButton, {}, QPoint(350, 300));
    const QString readout = m_window->CursorReadout()->text();
    for (const QString& part : expected) {
        QVERIFY2(readout.contains(part), qPrintable(readout));
    }
    QVERIFY(!xy || !readout.contains(QLatin1String("1/Δt")));
    // The other display's axes: the cursors go, and so does their readout.
    m_window->Xy()->setChecked(!xy);
    QVERIFY(m_window->CursorReadout()->text().startsWith(QLatin1String("Click: cursor 1;")));
}

void TestScopeWindow::drawing_data() {
    QTest::addColumn<Signal>("signal");
    QTest::addColumn<bool>("xy");
    QTest::addColumn<double>("secondsPerDivision");
    QTest::addColumn<QPoint>("lit");  // a pixel the trace must cross, in divisions from the middle
    QTest::addColumn<QRgb>("colour");
    QTest::addColumn<QPoint>("dark");  // and one it must not

    const QRgb yellow = 0xFFFFFF00;
    const QRgb aqua = 0xFF00FFFF;
    // A sine on A, silence on B: in XY a line across the middle.
    QTest::newRow("XY: A across") << Signal([](double f) {
        return std::pair{Sine(f, 500.0, 15000.0), 100.0};
    }) << true << 1e-3 << QPoint(1, 0)
                                  << yellow << QPoint(0, 1);
    QTest::newRow("XY: B up") << Signal([](double f) {
        return std::pair{0.0, 100.0 + Sine(f, 500.0, 15000.0)};
    }) << true << 1e-3 << QPoint(0, 1)
                              << yellow << QPoint(1, 0);
    // One sample of 1.5 V on B in each 2 s (a third of a division up at 0.5 V/div is 3 div):
    // at 200 ms a division, 176 samples to a pixel column, it still shows.
    QTest::newRow("a spike among thousands of samples to a column") << Signal([](double f) {
        return std::pair{0.0, 100.0 + (std::fmod(f, 88200.0) == 40000.0 ? 15000.0 : 0.0)};
    }) << false << 0.2 << QPoint(0, 3) << aqua << QPoint(0, -1);
}

void TestScopeWindow::drawing() {
    QFETCH(Signal, signal);
    QFETCH(bool, xy);
    QFETCH(double, secondsPerDivision);
    QFETCH(QPoint, lit);
    QFETCH(QRgb, colour);
    QFETCH(QPoint, dark);
    ScopePlot* plot = m_window->Plot();
    plot->setFixedSize(500, 400);
    for (int c = 0; c < 2; ++c) {
        choose(m_window->PerDivision(c), 0.5);
    }
    choose(m_window->TimeBase(), secondsPerDivision);
    m_window->Xy()->setChecked(xy);
    feed(signal, 2.2);
    const QImage image = plot->grab().toImage();
    // A pixel of the trace's colour within two of the division's line: a row (x = 0) or a
    // column (y = 0).
    const auto litNear = [&](QPoint divisions) {
        for (int along = 0; along < 500; ++along) {
            for (int off = -2; off <= 2; ++off) {
                const QPoint p = divisions.x() == 0
                                     ? QPoint(along, 200 - divisions.y() * 50 + off)
                                     : QPoint(250 + divisions.x() * 50 + off, along % 400);
                if (image.pixel(p) == colour) {
                    return true;
                }
            }
        }
        return false;
    };
    QVERIFY(litNear(lit));
    QVERIFY(!litNear(dark));
}

void TestScopeWindow::exports_data() {
    QTest::addColumn<bool>("csv");
    QTest::addColumn<QString>("where");  // "ok", "unwritable", "full", "nothing"
    QTest::addColumn<bool>("reference");
    QTest::newRow("trace") << true << "ok" << false;
    QTest::newRow("picture with a reference") << false << "ok" << true;
    QTest::newRow("trace to an unwritable folder") << true << "unwritable" << false;
    QTest::newRow("picture to a full disk") << false << "full" << false;
    QTest::newRow("trace before any was taken") << true << "nothing" << false;
}

void TestScopeWindow::exports() {
    QFETCH(bool, csv);
    QFETCH(QString, where);
    QFETCH(bool, reference);
    if (where != QLatin1String("nothing")) {
        feed([](double f) { return std::pair{Sine(f, 1000.0, 10000.0), 100.0}; }, 0.3);
    }
    if (reference) {
        m_window->StoreReferenceClick();
    }
    const QString path =
        where == QLatin1String("unwritable")
            ? QStringLiteral("/proc/no/such/trace.csv")
            : m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) +
                             (csv ? QStringLiteral(".csv") : QStringLiteral(".png")));
    m_files.answers.push_back(path);
    {
        std::optional<sim::FileSizeLimit> full;
        if (where == QLatin1String("full")) {
            full.emplace(100);
        }
        csv ? m_window->SaveCsvClick() : m_window->SavePngClick();
    }
    if (where != QLatin1String("ok")) {
        QCOMPARE(m_boxes.shown().size(), 1);
        QVERIFY(!QFile::exists(path) || where == QLatin1String("full"));
        return;
    }
    QVERIFY2(m_boxes.shown().isEmpty(), qPrintable(m_boxes.texts().join('\n')));
    if (csv) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        const qsizetype header = lines.indexOf(QStringLiteral("time;A;B"));
        QVERIFY(lines.contains(QStringLiteral("# Time base: 1 ms/div")));
        QVERIFY(lines.contains(QStringLiteral("# A: V")));
        QVERIFY(header > 0);
        // The span's 441 frames and the one at its right edge; the trigger in the middle.
        QCOMPARE(lines.size() - header - 1, 442);
        const QStringList first = lines[header + 1].split(';');
        QVERIFY(std::abs(first[0].toDouble() + 0.005) < 1.0 / Rate);
        // A's values in volts (1 V peak), B's about its zero: 0 V.
        for (qsizetype i = header + 1; i < lines.size(); ++i) {
            const QStringList row = lines[i].split(';');
            QVERIFY(std::abs(row[1].toDouble()) <= 1.0001);
            QCOMPARE(row[2].toDouble(), 0.0);
        }
    } else {
        QImageReader reader(path);
        QVERIFY(reader.canRead());
        QCOMPARE(reader.text(QStringLiteral("Reference")), QStringLiteral("shown"));
        QVERIFY(reader.text(QStringLiteral("Trigger")).startsWith(QLatin1String("A rising at")));
        QCOMPARE(reader.read().size(), m_window->Plot()->size());
    }
}

void TestScopeWindow::numberTexts_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("text");
    QTest::newRow("milliseconds") << 0.0025 << "s"
                                  << "2.500 ms";
    QTest::newRow("rounds to one more digit") << 0.0099996 << "s"
                                              << "10.00 ms";
    QTest::newRow("rounds to the next prefix") << 0.99996 << "V"
                                               << "1.000 V";
    QTest::newRow("microseconds") << 102.8e-6 << "s"
                                  << "102.8 µs";
    QTest::newRow("negative millivolts") << -0.0123 << "V"
                                         << "-12.30 mV";
    QTest::newRow("zero") << 0.0 << "Hz"
                          << "0.000 Hz";
    QTest::newRow("raw") << 1234.4 << "raw"
                         << "1234 raw";
    QTest::newRow("time base") << 2e-5 << ""
                               << "20 µs/div";
}

void TestScopeWindow::numberTexts() {
    QFETCH(double, value);
    QFETCH(QString, unit);
    QFETCH(QString, text);
    QCOMPARE(unit.isEmpty() ? TimeBaseText(value) : EngineeringText(value, unit), text);
}

QTEST_MAIN(TestScopeWindow)
#include "tst_scopewindow.moc"

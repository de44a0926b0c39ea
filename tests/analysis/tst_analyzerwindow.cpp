#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QtTest>
#include <cmath>
#include <numbers>
#include <optional>

#include "analysis/liveanalysis.h"
#include "analysis/window/analyzerwindow.h"
#include "analysis/window/spectrumplot.h"
#include "support/filesizelimit.h"
#include "support/scriptedmessageboxes.h"
#include "support/scriptedtrendfiles.h"
#include "support/twoscreens.h"

using namespace veruziva;

namespace {

struct Tone {
    double hz;
    double amplitude;  // raw units
};

// The correction in memory; a store that fails tells nothing and keeps the old one.
class MemoryClock : public SampleClockStore {
public:
    double ppm() const override { return value; }
    bool store(double ppm) override {
        if (fails) {
            return false;
        }
        value = ppm;
        return true;
    }
    double value = 0.0;
    bool fails = false;
};

// A calibrated 0.1 mV per raw unit on A; B reads raw.
constexpr ChannelScale ScaleA{1e-4, 'V', 0.0};

// Bins of the default 16384 points at 44100 Hz: B's tones lie on bin centres.
constexpr double BinB1 = 1024 * 44100.0 / 16384;  // 2756.25 Hz
constexpr double BinB2 = 2 * BinB1;

}  // namespace

class TestAnalyzerWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void measurements_data();
    void measurements();
    void cursors_data();
    void cursors();
    void exports_data();
    void exports();
    void clockCalibration_data();
    void clockCalibration();
    void freezeKeepsThePicture();
    void plotAtTheScreensRatio_data();
    void plotAtTheScreensRatio();

private:
    // A 1 kHz sine of 16384 raw units peak on A, two tones 20 dB apart on B.
    void feed(const std::vector<Tone>& a = {{1000.0, 16384}},
              const std::vector<Tone>& b = {{BinB1, 8000}, {BinB2, 800}}, int frames = 16384);
    QStringList rows(int channel) const;

    QTemporaryDir m_dir;
    std::optional<LiveAnalysis> m_analysis;
    MemoryClock m_clock;
    sim::ScriptedTrendFiles m_files;
    sim::ScriptedMessageBoxes m_boxes;
    std::unique_ptr<AnalyzerWindow> m_window;
    std::int64_t m_frame = 0;
};

void TestAnalyzerWindow::init() {
    m_analysis.emplace();
    m_clock = MemoryClock{};
    m_boxes.clear();
    m_files.answers.clear();
    m_window = std::make_unique<AnalyzerWindow>(*m_analysis, m_clock, m_files, m_boxes);
    m_window->setMetadata([] { return FileMetadata{{"Software", "Veruziva 0.1.0"}}; });
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestAnalyzerWindow::cleanup() {
    m_window.reset();
}

void TestAnalyzerWindow::feed(const std::vector<Tone>& a, const std::vector<Tone>& b, int frames) {
    const auto sample = [this](const std::vector<Tone>& tones) {
        double value = 0.0;
        for (const Tone& tone : tones) {
            value += tone.amplitude * std::sin(2 * std::numbers::pi * tone.hz *
                                               static_cast<double>(m_frame) / 44100);
        }
        return static_cast<std::int16_t>(std::lround(value));
    };
    std::vector<StereoFrame> block;
    for (int i = 0; i < frames; ++i, ++m_frame) {
        block.push_back({sample(a), sample(b)});
    }
    m_analysis->blockTaken(block, ScaleA, ChannelScale{});
    m_window->tick();
}

QStringList TestAnalyzerWindow::rows(int channel) const {
    const QTableWidget* table =
        channel == 0 ? m_window->MeasurementsA() : m_window->MeasurementsB();
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row) {
        texts << table->item(row, 0)->text() + QLatin1Char(' ') + table->item(row, 1)->text();
    }
    return texts;
}

void TestAnalyzerWindow::measurements_data() {
    QTest::addColumn<int>("channel");
    QTest::addColumn<QStringList>("first");  // the table's first rows
    QTest::newRow("A calibrated") << 0
                                  << QStringList{"Frequency 1000.00 Hz", "Level -6.02 dBFS",
                                                 "Level 1.1585 V", "Level 1.28 dBV"};
    QTest::newRow("B raw, its second harmonic 20 dB down")
        << 1
        << QStringList{"Frequency 2756.25 Hz", "Level -12.25 dBFS", "THD 10 %", "THD -20.00 dB"};
}

void TestAnalyzerWindow::measurements() {
    QFETCH(int, channel);
    QFETCH(QStringList, first);
    QCOMPARE(m_window->objectName(), QStringLiteral("AnalyzerWindow"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Analyzer"));
    QVERIFY(rows(channel).isEmpty());
    feed();
    QCOMPARE(rows(channel).mid(0, first.size()), first);
    QVERIFY(m_window->tone(channel).found);
}

void TestAnalyzerWindow::cursors_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("right click") << Qt::RightButton << Qt::KeyboardModifiers{};
    QTest::newRow("shift click") << Qt::LeftButton << Qt::KeyboardModifiers{Qt::ShiftModifier};
}

void TestAnalyzerWindow::cursors() {
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    feed();
    SpectrumPlot* plot = m_window->Plot();
    const int y = plot->plot().center().y();
    // A few pixels off each peak: the cursors snap to it.
    QTest::mouseClick(plot, Qt::LeftButton, {}, QPoint(qRound(plot->xOf(BinB1)) + 3, y));
    QTest::mouseClick(plot, button, modifiers, QPoint(qRound(plot->xOf(BinB2)) - 3, y));
    QCOMPARE(plot->cursorText(0), QStringLiteral("1: B 2756.25 Hz  -12.25 dBFS"));
    QCOMPARE(plot->cursorText(1), QStringLiteral("2: B 5512.50 Hz  -32.25 dBFS"));
    QCOMPARE(plot->deltaText(), QStringLiteral("\u0394 2756.25 Hz  -20.00 dB"));
    QVERIFY(
        m_window->CursorReadout()->text().endsWith(QStringLiteral("\u0394 2756.25 Hz  -20.00 dB")));
}

void TestAnalyzerWindow::exports_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("error");
    QTest::newRow("PNG") << "SavePng"
                         << "spectrum.png" << QString();
    QTest::newRow("CSV") << "SaveCsv"
                         << "spectrum.csv" << QString();
    QTest::newRow("PNG on a full disk") << "SavePng"
                                        << "/dev/full"
                                        << "Could not save /dev/full: Disk full";
    QTest::newRow("CSV on a full disk") << "SaveCsv"
                                        << "/dev/full"
                                        << "Could not save /dev/full: Disk full";
    QTest::newRow("PNG without access") << "SavePng"
                                        << "/sys/spectrum.png"
                                        << "Could not save /sys/spectrum.png: File access denied";
    QTest::newRow("CSV without access") << "SaveCsv"
                                        << "/sys/spectrum.csv"
                                        << "Could not save /sys/spectrum.csv: File access denied";
}

void TestAnalyzerWindow::exports() {
    QFETCH(QString, button);
    QFETCH(QString, answer);
    QFETCH(QString, error);
    feed();
    const QString path = answer.startsWith('/') ? answer : m_dir.filePath(answer);
    m_files.answers.push_back(path);
    m_window->findChild<QPushButton*>(button)->click();
    QCOMPARE(m_boxes.texts(), error.isEmpty() ? QStringList() : QStringList{error});
    if (!error.isEmpty()) {
        return;
    }
    if (path.endsWith(QStringLiteral(".png"))) {
        const QImage image(path);
        QCOMPARE(image.size(), m_window->Plot()->size());
        QStringList keys = image.textKeys();
        keys.sort();
        QCOMPARE(keys,
                 QStringList({"Averaging", "Sample clock", "Software", "Spectrum size", "Window"}));
        QCOMPARE(image.text(QStringLiteral("Spectrum size")), QStringLiteral("16384"));
        return;
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.mid(0, 8),
             QList<QByteArray>({"# Software: Veruziva 0.1.0", "# Spectrum size: 16384",
                                "# Window: Blackman-Harris", "# Averaging: None",
                                "# Sample clock: +0.0 ppm", "# A levels: dBV", "# B levels: dBFS",
                                "frequency;A;B"}));
    QCOMPARE(lines.size(), 8 + 8192 + 1);  // bins 1 to Nyquist, the last line ended
    QVERIFY2(lines[8 + 1023].startsWith("2756.2500;"), lines[8 + 1023]);
    QVERIFY2(lines[8 + 1023].endsWith(";-12.247"), lines[8 + 1023]);
}

void TestAnalyzerWindow::clockCalibration_data() {
    QTest::addColumn<double>("reference");
    QTest::addColumn<bool>("tone");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("frequency");  // A's, as the table shows it afterwards
    QTest::newRow("50 ppm") << 1000.05 << true << false << 50.0 << QString() << "Clock: +50.0 ppm"
                            << "Frequency 1000.05 Hz";
    QTest::newRow("-30 ppm") << 999.97 << true << false << -30.0 << QString() << "Clock: -30.0 ppm"
                             << "Frequency 999.97 Hz";
    QTest::newRow("a wrong reference")
        << 1005.0 << true << false << 0.0
        << "The tone measured at 1000.00 Hz is 5000 ppm from the reference 1005.000 Hz, more "
           "than 2000 ppm: check the reference frequency. The clock is left as it was."
        << "Clock: +0.0 ppm"
        << "Frequency 1000.00 Hz";
    QTest::newRow("no tone") << 1000.0 << false << false << 0.0
                             << "No tone to calibrate the clock with: feed the reference to A or B."
                             << "Clock: +0.0 ppm" << QString();
    QTest::newRow("not stored") << 1000.05 << true << true << 0.0 << QString() << "Clock: +0.0 ppm"
                                << "Frequency 1000.00 Hz";
}

void TestAnalyzerWindow::clockCalibration() {
    QFETCH(double, reference);
    QFETCH(bool, tone);
    QFETCH(bool, fails);
    QFETCH(double, stored);
    QFETCH(QString, message);
    QFETCH(QString, label);
    QFETCH(QString, frequency);
    if (tone) {
        feed();
    } else {
        feed({}, {});
    }
    m_clock.fails = fails;
    m_window->Reference()->setValue(reference);
    m_window->findChild<QPushButton*>(QStringLiteral("CalibrateClock"))->click();
    QVERIFY2(std::abs(m_clock.value - stored) < 0.5, qPrintable(QString::number(m_clock.value)));
    QCOMPARE(m_boxes.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(m_window->ClockCorrection()->text(), label);
    if (!frequency.isEmpty()) {
        QCOMPARE(rows(0).value(0), frequency);
    }
}

void TestAnalyzerWindow::freezeKeepsThePicture() {
    feed();
    const QImage before = m_window->Plot()->grab().toImage();
    const QStringList rowsBefore = rows(1);
    m_window->Freeze()->click();
    feed({{1000.0, 16384}}, {{500.0, 3000}});
    QCOMPARE(m_window->Plot()->grab().toImage(), before);
    QCOMPARE(rows(1), rowsBefore);
    m_window->Freeze()->click();  // thawed: the newest frames at once
    QCOMPARE(rows(1).value(0), QStringLiteral("Frequency 500.00 Hz"));
    QVERIFY(m_window->Plot()->grab().toImage() != before);
}

void TestAnalyzerWindow::plotAtTheScreensRatio_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("ratio 1") << QStringLiteral("one") << qreal{1};
    QTest::newRow("ratio 2") << QStringLiteral("two") << qreal{2};
}

void TestAnalyzerWindow::plotAtTheScreensRatio() {
    // The picture at the screen's resolution, its lines a device pixel wide.
    QFETCH(QString, screen);
    QFETCH(qreal, ratio);
    for (QScreen* s : QGuiApplication::screens()) {
        if (s->name() == screen) {
            m_window->windowHandle()->setScreen(s);
        }
    }
    SpectrumPlot* plot = m_window->Plot();
    QCOMPARE(plot->devicePixelRatioF(), ratio);
    feed();
    const QImage shown = plot->grab().toImage();
    QCOMPARE(shown.size(), plot->size() * ratio);
    // The 100 Hz grid line, over the traces.
    const int y = qRound((plot->plot().top() + 3) * ratio);
    const int x = qRound(plot->xOf(100.0) * ratio);
    int lit = 0;
    for (int column = x - 3; column <= x + 3; ++column) {
        lit += shown.pixel(column, y) != QRgb{0xFF008080} ? 1 : 0;
    }
    QCOMPARE(lit, 1);
}

QTEST_MAIN_WRAPPER(TestAnalyzerWindow, sim::UseTwoScreens(); QTEST_MAIN_SETUP())
#include "tst_analyzerwindow.moc"

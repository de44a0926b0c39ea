#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

#include "app/demo/demobench.h"
#include "app/soundmeter.h"
#include "calibration/accalibration.h"
#include "calibration/calibrationprocedure.h"
#include "scripteddialogs.h"
#include "support/memorysettingsstore.h"

using namespace veruziva;
using demo::DemoBench;
using demo::DemoCard;

namespace {

// Means and RMS (mean removed) of both inputs, in raw units.
struct Measured {
    double meanA = 0;
    double meanB = 0;
    double rmsA = 0;
    double rmsB = 0;
};

// One second of frames: whole periods of any whole frequency.
Measured OneSecond(const DemoBench& bench, std::uint64_t from) {
    double sumA = 0;
    double sumB = 0;
    double squaresA = 0;
    double squaresB = 0;
    for (std::uint64_t index = from; index < from + SampleRate; ++index) {
        const StereoFrame frame = bench.frame(index);
        sumA += frame.a;
        sumB += frame.b;
        squaresA += double(frame.a) * frame.a;
        squaresB += double(frame.b) * frame.b;
    }
    const double meanA = sumA / SampleRate;
    const double meanB = sumB / SampleRate;
    return {meanA, meanB, std::sqrt(squaresA / SampleRate - meanA * meanA),
            std::sqrt(squaresB / SampleRate - meanB * meanB)};
}

// A sine of this RMS on a DC offset through the board, seen in its steady state: the coupling
// capacitor takes the DC and passes x/sqrt(1+x*x) of the sine, x the frequency over the corner.
Measured SineThroughTheBoard(double rms, int range, double hertz, double offset, bool coupled) {
    const double scale = 16000 / RangeFullScale(range);
    const double x = hertz / DemoBench::CouplingCornerHz;
    const double dc = coupled ? 0 : offset * scale;
    const double ac = rms * scale * (coupled ? x / std::sqrt(1 + x * x) : 1);
    return {DemoBench::ZeroA + dc, DemoBench::ZeroB + 0.995 * dc, ac, 0.995 * ac};
}

// Empty when the means agree within the noise's and the RMS within 0.01 %.
QString Differences(const Measured& got, const Measured& want) {
    const bool same =
        std::abs(got.meanA - want.meanA) <= 0.5 && std::abs(got.meanB - want.meanB) <= 0.5 &&
        std::abs(got.rmsA / want.rmsA - 1) <= 1e-4 && std::abs(got.rmsB / want.rmsB - 1) <= 1e-4;
    return same ? QString()
                : QStringLiteral("mean %1 %2, RMS %3 %4; wanted %5 %6, %7 %8")
                      .arg(got.meanA)
                      .arg(got.meanB)
                      .arg(got.rmsA)
                      .arg(got.rmsB)
                      .arg(want.meanA)
                      .arg(want.meanB)
                      .arg(want.rmsA)
                      .arg(want.rmsB);
}

}  // namespace

class TestDemo : public QObject {
    Q_OBJECT

private slots:
    void startsOnTheGenerator();
    void aWholeCalibrationCompletesWithTheSuggestedValues();
    void changingToTheIdleCardAndBack();
    void lineInLevelActsOnTheSignal();
    void sineOfAKnownRms_data();
    void sineOfAKnownRms();
    void aCoupledInputLetsADcChangeDecay();
    void benchWindowSetsTheSineAndTheCoupling();
    void aSineCalibratesOneRangeOfACoupledInput();
};

void TestDemo::sineOfAKnownRms_data() {
    QTest::addColumn<double>("rms");
    QTest::addColumn<int>("range");
    QTest::addColumn<double>("hertz");
    QTest::addColumn<double>("offset");
    QTest::addColumn<bool>("coupled");
    QTest::newRow("1.5 V at 50 Hz") << 1.5 << 2 << 50.0 << 0.0 << false;
    QTest::newRow("1.5 V at 50 Hz, coupled") << 1.5 << 2 << 50.0 << 0.0 << true;
    QTest::newRow("1.5 V on 0.5 V DC") << 1.5 << 2 << 50.0 << 0.5 << false;
    QTest::newRow("1.5 V on 0.5 V DC, coupled") << 1.5 << 2 << 50.0 << 0.5 << true;
    QTest::newRow("0.1 V on -0.05 V at 10 Hz") << 0.1 << 1 << 10.0 << -0.05 << false;
    QTest::newRow("0.1 V on -0.05 V at 10 Hz, coupled") << 0.1 << 1 << 10.0 << -0.05 << true;
    QTest::newRow("10 V on 2 V at 1 kHz, coupled") << 10.0 << 3 << 1000.0 << 2.0 << true;
    QTest::newRow("1 A at 60 Hz") << 1.0 << 4 << 60.0 << 0.0 << false;
    QTest::newRow("2 V at 10 kHz, coupled") << 2.0 << 2 << 10000.0 << 0.0 << true;
}

void TestDemo::sineOfAKnownRms() {
    QFETCH(double, rms);
    QFETCH(int, range);
    QFETCH(double, hertz);
    QFETCH(double, offset);
    QFETCH(bool, coupled);
    DemoBench bench;
    bench.setMode(DemoBench::Mode::Sine);
    bench.setBoardRange(range);
    bench.setValue(rms);
    bench.setFrequency(hertz);
    bench.setOffset(offset);
    bench.setAcCoupled(coupled);
    // Ten seconds on: the capacitor has long taken up the DC.
    const QString differences = Differences(
        OneSecond(bench, 10 * SampleRate), SineThroughTheBoard(rms, range, hertz, offset, coupled));
    QVERIFY2(differences.isEmpty(), qPrintable(differences));
}

// Through the capacitor a DC value shows at first, then decays to the card's zero with the time
// constant of the corner; a change of the value, later, comes through and decays the same way.
void TestDemo::aCoupledInputLetsADcChangeDecay() {
    DemoBench bench;
    bench.setMode(DemoBench::Mode::DcValue);
    bench.setBoardRange(2);
    bench.setValue(1.5);  // 8000 raw units on A
    const double frames = SampleRate / (2 * M_PI * DemoBench::CouplingCornerHz);
    const auto expectAfter = [&](std::uint64_t from, double stepA) {
        for (const double constants : {0.0, 1.0, 3.0, 30.0}) {
            const auto index = from + static_cast<std::uint64_t>(std::lround(constants * frames));
            const StereoFrame frame = bench.frame(index);
            const double left = stepA * std::exp(-std::round(constants * frames) / frames);
            QVERIFY2(std::abs(frame.a - DemoBench::ZeroA - left) <= 7 &&
                         std::abs(frame.b - DemoBench::ZeroB - 0.995 * left) <= 7,
                     qPrintable(QStringLiteral("%1 time constants: %2 %3")
                                    .arg(constants)
                                    .arg(frame.a)
                                    .arg(frame.b)));
        }
    };
    QVERIFY(std::abs(bench.frame(1000).a - DemoBench::ZeroA - 8000) <= 6);
    bench.setAcCoupled(true);
    expectAfter(1000, 8000);
    bench.frame(500000);
    bench.setValue(0.75);
    expectAfter(500000, -4000);
}

void TestDemo::benchWindowSetsTheSineAndTheCoupling() {
    DemoCard card(sim::SimWaveInput::Delivery::Manual);
    card.bench.setLineInGain(1.0);  // as the instrument's start-up turns Line In up
    demo::DemoBenchWindow window(card, nullptr);
    auto* sine = window.findChild<QRadioButton*>(QStringLiteral("DemoSine"));
    auto* value = window.findChild<QDoubleSpinBox*>(QStringLiteral("DemoValue"));
    auto* frequency = window.findChild<QSpinBox*>(QStringLiteral("DemoFrequency"));
    auto* offset = window.findChild<QDoubleSpinBox*>(QStringLiteral("DemoOffset"));
    auto* coupled = window.findChild<QCheckBox*>(QStringLiteral("DemoAcCoupled"));
    QVERIFY(sine && value && frequency && offset && coupled);
    QCOMPARE(frequency->value(), 50);
    QCOMPARE(offset->value(), 0.0);
    QVERIFY(!coupled->isChecked());
    sine->click();
    QCOMPARE(card.bench.mode(), DemoBench::Mode::Sine);
    value->setValue(1.0);
    frequency->setValue(10);
    offset->setValue(0.5);
    QString differences = Differences(OneSecond(card.bench, 10 * SampleRate),
                                      SineThroughTheBoard(1.0, 2, 10, 0.5, false));
    QVERIFY2(differences.isEmpty(), qPrintable(differences));
    coupled->click();
    differences = Differences(OneSecond(card.bench, 30 * SampleRate),
                              SineThroughTheBoard(1.0, 2, 10, 0.5, true));
    QVERIFY2(differences.isEmpty(), qPrintable(differences));
}

void TestDemo::startsOnTheGenerator() {
    DemoCard card(sim::SimWaveInput::Delivery::Manual);
    MemorySettingsStore settings;
    ScriptedDialogs dialogs;
    TSoundMeter window(InstrumentServices{card.waveInput, card.mixers, settings, dialogs, {}});
    QVERIFY(dialogs.boxes.shown().isEmpty());
    QCOMPARE(window.controls().WaveInDevices->currentText(),
             QStringLiteral("Demo signal generator"));
    QCOMPARE(window.state().Device.LineIn, 1);  // "Line In"
    window.controls().StartStop->click();
    card.waveInput.deliverFrames(FramesPerBuffer);
    QCoreApplication::processEvents();
    // A: a 50 Hz sine with a mean and a frequency; B: a steady level.
    QCOMPARE(window.controls().LFrequency->text(), QStringLiteral("50 "));
    QVERIFY(window.readouts().a.reading > 1000);
    QVERIFY(std::abs(window.controls().DisplayR->text().trimmed().toInt() - 1200) <= 6);  // noise
    QCOMPARE(window.controls().RFrequency->text(), QStringLiteral("0 "));
}

// The bench's level slider, as the desktop's sound settings: the signal follows at once, and the
// window's watch sees the level moved; setting it back restores both.
void TestDemo::lineInLevelActsOnTheSignal() {
    DemoCard card(sim::SimWaveInput::Delivery::Manual);
    MemorySettingsStore settings;
    ScriptedDialogs dialogs;
    TSoundMeter window(InstrumentServices{card.waveInput, card.mixers, settings, dialogs, {}});
    demo::DemoBenchWindow bench(card, nullptr);
    auto* slider = bench.findChild<QSlider*>(QStringLiteral("DemoLineInLevel"));
    QVERIFY(slider != nullptr);
    QCOMPARE(slider->value(), 100);  // start-up turned it fully up
    const auto levelB = [&] {
        card.waveInput.deliverFrames(FramesPerBuffer);
        QCoreApplication::processEvents();
        return window.controls().DisplayR->text().trimmed().toInt();
    };
    window.controls().StartStop->click();
    QVERIFY(std::abs(levelB() - 1200) <= 6);
    slider->setValue(50);
    QVERIFY(std::abs(levelB() - 600) <= 6);
    QVERIFY(window.levelWatch().moved());
    QVERIFY(window.levelWatch().restore());
    QCoreApplication::processEvents();
    QCOMPARE(slider->value(), 100);
    QVERIFY(std::abs(levelB() - 1200) <= 6);
}

void TestDemo::changingToTheIdleCardAndBack() {
    DemoCard card(sim::SimWaveInput::Delivery::Manual);
    MemorySettingsStore settings;
    ScriptedDialogs dialogs;
    TSoundMeter window(InstrumentServices{card.waveInput, card.mixers, settings, dialogs, {}});
    QComboBox* devices = window.controls().WaveInDevices;
    QCOMPARE(devices->count(), 2);
    const auto measure = [&] {
        window.controls().StartStop->click();
        card.waveInput.deliverFrames(FramesPerBuffer);
        QCoreApplication::processEvents();
        window.controls().StartStop->click();
        QCoreApplication::processEvents();
    };
    for (const int device : {1, 0}) {
        devices->setCurrentIndex(device);
        window.WaveInDevicesChange(device);
        measure();
        // Each card with its own mixer and line-in; the idle one reads its hum.
        QVERIFY2(dialogs.boxes.shown().isEmpty(), qPrintable(dialogs.boxes.texts().join('|')));
        QCOMPARE(window.state().Device.MixerIndex, device);
        QVERIFY(window.state().Device.LineIn >= 0);
        const int readingB = window.controls().DisplayR->text().trimmed().toInt();
        QVERIFY2(device == 1 ? std::abs(readingB) <= 3 : std::abs(readingB - 1200) <= 6,
                 qPrintable(window.controls().DisplayR->text()));
    }
}

void TestDemo::aWholeCalibrationCompletesWithTheSuggestedValues() {
    // A person follows the questions with the bench window: grounded for the zero step, then
    // the suggested value on each range, and types exactly that value.
    DemoCard card(sim::SimWaveInput::Delivery::Immediate);
    MemorySettingsStore settings;
    ScriptedDialogs dialogs;
    const std::array<double, 4> suggested{0.15, 1.5, 10, 1};
    dialogs.onConfirm = [&card, suggested](const QString& text, Answer answer) {
        if (answer != Answer::Ok) {
            return;
        }
        if (text == QString::fromLatin1(calibrationmessages::ZeroQuestion)) {
            card.bench.setMode(DemoBench::Mode::Grounded);
        }
        for (int range = FirstRange; range <= LastRange; ++range) {
            if (text == calibrationmessages::RangeQuestion(range)) {
                card.bench.setMode(DemoBench::Mode::DcValue);
                card.bench.setBoardRange(range);
                card.bench.setValue(suggested[static_cast<std::size_t>(range - 1)]);
            }
        }
    };
    dialogs.entries = {QStringLiteral("0.15"), QStringLiteral("1.5"), QStringLiteral("10"),
                       QStringLiteral("1")};
    TSoundMeter window(InstrumentServices{card.waveInput, card.mixers, settings, dialogs, {}});
    window.controls().Calibrate->click();
    const QStringList texts = dialogs.boxes.texts();
    QCOMPARE(texts.last(), QStringLiteral("Calibration was completed!"));
    QVERIFY(!texts.contains(QString::fromLatin1(calibrationmessages::OutOfOptimalRange)));
    QVERIFY(!texts.contains(QString::fromLatin1(calibrationmessages::OutOfSuggestedRange)));
    // The zero offsets are the card's own, within the generator's noise.
    QVERIFY(std::abs(window.state().ZeroLeft - DemoBench::ZeroA) <= 1);
    QVERIFY(std::abs(window.state().ZeroRight - DemoBench::ZeroB) <= 1);
    QVERIFY(window.state().Calibrated);
    // Measured with the bench at 1.5 V on the 3 V range, the reading is 1.5 V.
    window.controls().RawData->click();
    window.controls().L3->click();
    window.controls().R3->click();
    card.bench.setBoardRange(2);
    card.bench.setValue(1.5);
    card.waveInput.setDelivery(sim::SimWaveInput::Delivery::Manual);
    window.controls().StartStop->click();
    window.controls().ACactiveL->click();  // DC
    card.waveInput.deliverFrames(FramesPerBuffer);
    QCoreApplication::processEvents();
    QCOMPARE(window.controls().DisplayL->text(), QStringLiteral("1.500V "));
}

void TestDemo::aSineCalibratesOneRangeOfACoupledInput() {
    // The bench's 1.000 V RMS sine on 0.5 V of DC, through the 3 V range into an input that
    // blocks DC; 1001.3 Hz holds whole periods in a block, so each block reads what all do.
    DemoCard card(sim::SimWaveInput::Delivery::Manual);
    card.bench.setMode(DemoBench::Mode::Sine);
    card.bench.setBoardRange(2);
    card.bench.setValue(1.0);
    card.bench.setOffset(0.5);
    card.bench.setFrequency(93.0 * SampleRate / FramesPerBuffer);
    card.bench.setAcCoupled(true);
    MemorySettingsStore settings;
    ScriptedDialogs dialogs;
    auto window = std::make_unique<TSoundMeter>(
        InstrumentServices{card.waveInput, card.mixers, settings, dialogs, {}});
    const auto block = [&] {
        card.waveInput.deliverFrames(FramesPerBuffer);
        QCoreApplication::processEvents();
    };
    window->controls().StartStop->click();
    for (int i = 0; i < 4; ++i) {
        block();  // the coupling capacitor charges
    }
    for (QAction* action : window->actions()) {
        if (action->objectName() == QLatin1String("CalibrateWithSine")) {
            action->trigger();
        }
    }
    auto* sine = window->findChild<QWidget*>(QStringLiteral("AcCalibrationWindow"));
    QVERIFY(sine);
    sine->findChild<QLineEdit*>(QStringLiteral("AcValue"))->setText(QStringLiteral("1.000"));
    sine->findChild<QPushButton*>(QStringLiteral("AcCalibrate"))->click();
    for (int i = 0; i < AcSettleBlocks + AcCalibrationBlocks + 1; ++i) {
        block();
    }
    QVERIFY2(window->state().AcFactor[2] != CalFactorPair{},
             qPrintable(sine->findChild<QLabel*>(QStringLiteral("AcStatus"))->text()));
    // The rectified mean, 2 sqrt(2) / pi of the RMS, and the true RMS in the tooltip.
    const SoundMeterControls* ui = &window->controls();
    for (QLabel* display : {ui->DisplayL, ui->DisplayR}) {
        QCOMPARE(display->text(), QStringLiteral("0.900V "));
        QCOMPARE(display->toolTip(), QStringLiteral("True RMS of the AC part: 1.000V"));
    }
    ui->L03->click();
    block();
    QVERIFY(!ui->DisplayL->text().contains(QLatin1Char('V')));  // not calibrated: raw
    ui->L3->click();

    window.reset();
    window = std::make_unique<TSoundMeter>(
        InstrumentServices{card.waveInput, card.mixers, settings, dialogs, {}});
    ui = &window->controls();
    QVERIFY(ui->L3->isChecked() && ui->R3->isChecked());
    ui->StartStop->click();
    block();
    QCOMPARE(ui->DisplayL->text(), QStringLiteral("0.900V "));
    QVERIFY2(dialogs.boxes.shown().isEmpty(), qPrintable(dialogs.boxes.texts().join('|')));
}

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"

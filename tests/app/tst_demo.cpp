#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

#include "app/demo/demobench.h"
#include "app/soundmeter.h"
#include "calibration/calibrationprocedure.h"
#include "scripteddialogs.h"
#include "support/memorysettingsstore.h"

using namespace veruziva;
using demo::DemoBench;
using demo::DemoCard;

class TestDemo : public QObject {
    Q_OBJECT

private slots:
    void startsOnTheGenerator();
    void aWholeCalibrationCompletesWithTheSuggestedValues();
    void changingToTheIdleCardAndBack();
    void lineInLevelActsOnTheSignal();
};

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

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"

#include <QtTest>
#include <cmath>
#include <vector>

#include "calibration/accalibration.h"
#include "calibration/storedsettings.h"
#include "support/memorysettingsstore.h"
#include "support/scriptedmessageboxes.h"

using namespace veruziva;
using veruziva::sim::ScriptedMessageBoxes;

namespace {

// Blocks of a sine on channel A (B grounded), its amplitude changed by `stepPercent` from the
// last quarter of the blocks on.
AcRmsSums SineBlocks(double amplitude, double frequency, double offset, double stepPercent,
                     int blocks) {
    AcRmsSums sums;
    std::vector<StereoFrame> frames(FramesPerBuffer);
    for (int block = 0; block < blocks; ++block) {
        const double gain = block >= blocks * 3 / 4 ? 1.0 + stepPercent / 100 : 1.0;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const double n = static_cast<double>(block) * FramesPerBuffer + static_cast<double>(i);
            const double value =
                offset + gain * amplitude * std::sin(2 * M_PI * frequency * n / SampleRate + 0.3);
            frames[i] = {static_cast<std::int16_t>(std::clamp(std::lround(value), -32768L, 32767L)),
                         0};
        }
        sums.addBlock(frames);
    }
    return sums;
}

// Which calibration is in force on each range, A's four then B's: D(C), A(C) or - (raw).
QString InForce(const CalibrationState& state) {
    QString text;
    for (const Side side : {Side::Left, Side::Right}) {
        for (int r = FirstRange; r <= LastRange; ++r) {
            const CalibrationMethod method = MadeOf(state.Made[r], side).method;
            text += !RangeInForce(state, r, side)     ? QLatin1Char('-')
                    : method == CalibrationMethod::Ac ? QLatin1Char('A')
                                                      : QLatin1Char('D');
        }
        text += side == Side::Left ? QStringLiteral("/") : QString();
    }
    return text;
}

// A complete DC calibration as files of every version hold it: factor 1e-4 V per raw unit.
void PlantDcCalibration(MemorySettingsStore& store) {
    const QStringList ranges{"0.3V", "3.0V", "30 V", "3.0A"};
    for (const QString& range : ranges) {
        store.plant(QStringLiteral("Raw Value  %1").arg(range), 10000);
        store.plant(QStringLiteral("Raw Factor %1 left").arg(range), 10000);
        store.plant(QStringLiteral("Raw Factor %1 right").arg(range), 10000);
    }
    store.plant(QStringLiteral("Sound device name"), QStringLiteral("Card X"));
}

}  // namespace

class TestAcCalibration : public QObject {
    Q_OBJECT

private slots:
    void factorFromASine_data();
    void factorFromASine();
    void storedCalibrationsInForce_data();
    void storedCalibrationsInForce();
    void savedAndLoadedAgain();
};

void TestAcCalibration::factorFromASine_data() {
    QTest::addColumn<double>("amplitude");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("offset");
    QTest::addColumn<double>("stepPercent");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("refused");  // the refusal's telling words; empty: accepted
    QTest::newRow("mains, 1 V") << 10000.0 << 50.0 << 0.0 << 0.0 << 16 << 1.0 << "";
    QTest::newRow("997 Hz on a DC offset") << 3000.0 << 997.3 << 5000.0 << 0.0 << 16 << 0.2 << "";
    QTest::newRow("20 Hz") << 20000.0 << 20.0 << -800.0 << 0.0 << 16 << 2.5 << "";
    QTest::newRow("3 kHz, 1 A") << 16000.0 << 3000.0 << 0.0 << 0.0 << 16 << 1.0 << "";
    QTest::newRow("steady within 1 %") << 10000.0 << 50.0 << 0.0 << 0.8 << 16 << 1.0 << "";
    QTest::newRow("unsteady") << 10000.0 << 50.0 << 0.0 << 3.0 << 16 << 1.0 << "not steady";
    QTest::newRow("clipped") << 33000.0 << 50.0 << 0.0 << 0.0 << 16 << 1.0 << "clips";
    QTest::newRow("offset clips") << 20000.0 << 50.0 << 13000.0 << 0.0 << 16 << 1.0 << "clips";
    QTest::newRow("too small") << 400.0 << 50.0 << 0.0 << 0.0 << 16 << 0.01 << "too small";
    QTest::newRow("just large enough") << 430.0 << 50.0 << 0.0 << 0.0 << 16 << 0.01 << "";
    QTest::newRow("no value") << 10000.0 << 50.0 << 0.0 << 0.0 << 16 << 0.0 << "Type the RMS";
    QTest::newRow("too few blocks") << 10000.0 << 50.0 << 0.0 << 0.0 << 15 << 1.0 << "too few";
}

void TestAcCalibration::factorFromASine() {
    QFETCH(double, amplitude);
    QFETCH(double, frequency);
    QFETCH(double, offset);
    QFETCH(double, stepPercent);
    QFETCH(int, blocks);
    QFETCH(double, value);
    QFETCH(QString, refused);
    const AcRmsSums sums = SineBlocks(amplitude, frequency, offset, stepPercent, blocks);
    const AcFactorResult result = sums.result(Side::Left, value);
    if (!refused.isEmpty()) {
        QVERIFY2(result.refusal.contains(refused), qPrintable(result.refusal));
        QCOMPARE(result.factor, 0.0);
        return;
    }
    QVERIFY2(result.refusal.isEmpty(), qPrintable(result.refusal));
    // The sine's RMS is its amplitude over root 2, the offset removed, whatever part of a
    // period the span ends in; a step in the last quarter weighs that quarter's share of the
    // Hann window, 1/4 - 1/(2 pi).
    const double share = 0.25 - 1 / (2 * M_PI);
    const double rms = amplitude / std::sqrt(2.0) *
                       std::sqrt(1 - share + share * std::pow(1 + stepPercent / 100, 2));
    QVERIFY2(std::abs(result.factor * rms / value - 1) < 2e-5,
             qPrintable(QString::number(result.factor * rms / value - 1, 'g', 8)));
    QVERIFY(result.spreadPercent <= AcSteadyPercent);
    QVERIFY(!sums.result(Side::Right, value).refusal.isEmpty());  // B grounded: too small
}

void TestAcCalibration::storedCalibrationsInForce_data() {
    QTest::addColumn<QVariantMap>("values");
    QTest::addColumn<bool>("dcStored");
    QTest::addColumn<QString>("inForce");
    QTest::addColumn<bool>("calibrated");
    QTest::addColumn<int>("errors");
    const QVariantMap none;
    QTest::newRow("earlier version: all DC") << none << true << "DDDD/DDDD" << true << 0;
    QTest::newRow("nothing stored") << none << false << "----/----" << false << 0;
    QTest::newRow("AC on A's 3 V only")
        << QVariantMap{{"AC factor 3.0V left", "0.000333"}, {"Calibration 3.0V left", "AC"}}
        << false << "-A--/----" << false << 0;
    QTest::newRow("AC later than DC")
        << QVariantMap{{"AC factor 3.0V left", "0.000333"}, {"Calibration 3.0V left", "AC"}} << true
        << "DADD/DDDD" << true << 0;
    QTest::newRow("DC later than AC")
        << QVariantMap{{"AC factor 3.0V left", "0.000333"}, {"Calibration 3.0V left", "DC"}} << true
        << "DDDD/DDDD" << true << 0;
    QTest::newRow("AC factor unreadable")
        << QVariantMap{{"AC factor 3.0V left", "abc"}, {"Calibration 3.0V left", "AC"}} << true
        << "D-DD/DDDD" << false << 1;
    QTest::newRow("method unknown")
        << QVariantMap{{"AC factor 30 V right", "0.01"}, {"Calibration 30 V right", "XY"}} << false
        << "----/--A-" << false << 1;
    QTest::newRow("made on another device")
        << QVariantMap{{"Calibration 0.3V right", "DC"},
                       {"Calibration device 0.3V right", "Card Y"}}
        << true << "DDDD/-DDD" << false << 0;
}

void TestAcCalibration::storedCalibrationsInForce() {
    QFETCH(QVariantMap, values);
    QFETCH(bool, dcStored);
    QFETCH(QString, inForce);
    QFETCH(bool, calibrated);
    QFETCH(int, errors);
    MemorySettingsStore store;
    if (dcStored) {
        PlantDcCalibration(store);
    }
    for (auto value = values.cbegin(); value != values.cend(); ++value) {
        store.plant(value.key(), value.value());
    }
    CalibrationState state;
    ScriptedMessageBoxes boxes;
    LoadCalibrationAtStartup(store, state, boxes);
    KeepCalibrationsOfDevice(state, "Card X");  // the device in use
    QCOMPARE(InForce(state), inForce);
    QCOMPARE(state.Calibrated, calibrated);
    QCOMPARE(static_cast<int>(boxes.shown().size()), errors);
    if (inForce.at(1) == QLatin1Char('A')) {
        QCOMPARE(state.CalFactor[2].Left, 0.000333);
    }
}

void TestAcCalibration::savedAndLoadedAgain() {
    // A DC calibration, then a sine on B's 30 V range: each range comes back as it was made,
    // the ranges of the board too; a file without the new values is read as it always was.
    MemorySettingsStore store;
    PlantDcCalibration(store);
    CalibrationState state;
    ScriptedMessageBoxes boxes;
    LoadCalibrationAtStartup(store, state, boxes);
    const std::int64_t when =
        QDateTime(QDate(2026, 12, 9), QTime(20, 30), Qt::UTC).toMSecsSinceEpoch();
    ApplyAcFactor(state, 3, Side::Right, 0.0123456789012345, when, "Card X");
    QVERIFY(SaveAcCalibration(store, state, 0, boxes));
    // On another card: the DC ranges of the earlier file do not pass for calibrations of it.
    CalibrationState other = state;
    ForgetRangesInForce(other);  // the window changed to it
    other.Device.SoundDeviceName = "Card Y";
    MemorySettingsStore otherStore;
    PlantDcCalibration(otherStore);
    ApplyAcFactor(other, 1, Side::Left, 0.002, when, "Card Y");
    QVERIFY(SaveAcCalibration(otherStore, other, 1, boxes));
    LoadCalibrationAtStartup(otherStore, other, boxes);
    KeepCalibrationsOfDevice(other, "Card Y");
    QCOMPARE(InForce(other), QStringLiteral("A---/----"));
    QVERIFY(SaveRanges(store, {2, 3}, boxes));
    QCOMPARE(store.values().value("Calibration time 30 V right"), QVariant("2026-12-09T20:30:00Z"));
    CalibrationState again;
    LoadCalibrationAtStartup(store, again, boxes);
    QCOMPARE(InForce(again), QStringLiteral("DDDD/DDAD"));
    QCOMPARE(again.CalFactor[3].Right, 0.0123456789012345);
    QCOMPARE(again.Made[3].Right, (RangeCalibration{CalibrationMethod::Ac, when, "Card X"}));
    QCOMPARE(again.CalFactor[3].Left, state.CalFactor[3].Left);
    QVERIFY(again.StoredRanges && *again.StoredRanges == (RangeSelection{2, 3}));
    QVERIFY(boxes.shown().empty());
}

QTEST_GUILESS_MAIN(TestAcCalibration)
#include "tst_accalibration.moc"

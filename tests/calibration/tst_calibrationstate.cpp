#include <QtTest>

#include "calibration/calibrationstate.h"

using namespace veruziva;

namespace {

// A complete stored calibration: every range 1.5 units applied, read as 10000 raw units.
CalibrationState StoredCalibration() {
    CalibrationState state;
    for (int r = FirstRange; r <= LastRange; ++r) {
        state.RawCalibration[r] = {15000, 10000, 10000};
    }
    return state;
}

}  // namespace

class TestCalibrationState : public QObject {
    Q_OBJECT

private slots:
    void rangeTablesCheckTheirIndex();
    void rangeFullScale();
    void startupDefaultsKeepTheRawRecords();
    void deriveFactor_data();
    void deriveFactor();
    void derivation_data();
    void derivation();
};

void TestCalibrationState::rangeTablesCheckTheirIndex() {
    CalibrationState state;
    state.CalFactor[4].Right = 2.0;
    QCOMPARE(state.CalFactor[4].Right, 2.0);
    QVERIFY_THROWS_EXCEPTION(RangeCheckError, state.CalFactor[0]);
    QVERIFY_THROWS_EXCEPTION(RangeCheckError, state.RawCalibration[5]);
    QVERIFY_THROWS_EXCEPTION(RangeCheckError, RangeFullScale(0));
}

void TestCalibrationState::rangeFullScale() {
    QCOMPARE(RangeFullScale(1), 0.3);
    QCOMPARE(RangeFullScale(2), 3.0);
    QCOMPARE(RangeFullScale(3), 30.0);
    QCOMPARE(RangeFullScale(4), 3.0);
}

void TestCalibrationState::startupDefaultsKeepTheRawRecords() {
    CalibrationState state = StoredCalibration();
    state.CalFactor[2] = {1.0, 2.0};
    state.Device.SoundDevice = 3;
    state.Device.MixerIndex = 2;
    state.Device.LineIn = 5;
    state.ZeroLeft = 12;
    state.ZeroRight = -7;
    ApplyStartupDefaults(state);
    QCOMPARE(state.CalFactor[2], CalFactorPair{});
    QCOMPARE(state.Device.SoundDevice, 0);
    QCOMPARE(state.Device.MixerIndex, 0);
    QCOMPARE(state.Device.LineIn, -1);
    QCOMPARE(state.ZeroLeft, 0);
    QCOMPARE(state.ZeroRight, 0);
    QCOMPARE(state.RawCalibration, StoredCalibration().RawCalibration);
}

void TestCalibrationState::deriveFactor_data() {
    QTest::addColumn<int>("rawValue");
    QTest::addColumn<int>("rawFactor");
    QTest::addColumn<int>("zero");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << 15000 << 10000 << 0 << 1.5e-4;
    QTest::newRow("zero offset subtracted") << 15000 << 8222 << 12 << 15000.0 / 82100000.0;
    QTest::newRow("mean below the zero: its distance") << 15000 << 10 << 20 << 0.15;
    QTest::newRow("negative mean (an inverting input)") << 15000 << -6500 << 1500 << 1.875e-4;
    QTest::newRow("raw factor equal to the zero: none") << 15000 << 20 << 20 << 0.0;
    QTest::newRow("largest divisor that fits") << 15000 << 214748 << 0 << 15000.0 / 2147480000.0;
    QTest::newRow("divisor beyond 32 bits: none") << 15000 << 214749 << 0 << 0.0;
    QTest::newRow("negative divisor beyond 32 bits: none") << 15000 << 0 << 214749 << 0.0;
    QTest::newRow("difference beyond 32 bits: none") << 15000 << 2147483647 << -2 << 0.0;
}

void TestCalibrationState::deriveFactor() {
    QFETCH(int, rawValue);
    QFETCH(int, rawFactor);
    QFETCH(int, zero);
    QFETCH(double, expected);
    QCOMPARE(DeriveCalFactor(rawValue, rawFactor, zero), expected);
}

void TestCalibrationState::derivation_data() {
    QTest::addColumn<int>("changedRange");
    QTest::addColumn<int>("rawValue");
    QTest::addColumn<int>("rawFactorLeft");
    QTest::addColumn<int>("zeroLeft");
    QTest::addColumn<bool>("factorsDerived");
    QTest::addColumn<bool>("calibrated");
    QTest::newRow("complete") << 1 << 15000 << 10000 << 0 << true << true;
    QTest::newRow("fourth value missing") << 4 << 0 << 10000 << 0 << false << false;
    QTest::newRow("first value missing") << 1 << 0 << 10000 << 0 << false << false;
    QTest::newRow("mean below zero offset") << 3 << 15000 << 100 << 200 << true << true;
    QTest::newRow("raw factor equal to zero offset") << 2 << 15000 << 200 << 200 << true << false;
    QTest::newRow("divisor beyond 32 bits") << 2 << 15000 << 300000 << 0 << true << false;
    QTest::newRow("negative stored value") << 2 << -15000 << 10000 << 0 << true << false;
}

void TestCalibrationState::derivation() {
    QFETCH(int, changedRange);
    QFETCH(int, rawValue);
    QFETCH(int, rawFactorLeft);
    QFETCH(int, zeroLeft);
    QFETCH(bool, factorsDerived);
    QFETCH(bool, calibrated);
    CalibrationState state = StoredCalibration();
    state.RawCalibration[changedRange].RawValue = rawValue;
    state.RawCalibration[changedRange].RawFactorLeft = rawFactorLeft;
    state.ZeroLeft = zeroLeft;
    state.Calibrated = !calibrated;
    DeriveCalFactors(state);
    QCOMPARE(state.Calibrated, calibrated);
    // Channel B is untouched by the changes: its factors show whether any were derived.
    QCOMPARE(state.CalFactor[1].Right > 0.0, factorsDerived);
    if (!factorsDerived) {
        for (int r = FirstRange; r <= LastRange; ++r) {
            QCOMPARE(state.CalFactor[r], CalFactorPair{});
        }
    }
}

QTEST_APPLESS_MAIN(TestCalibrationState)
#include "tst_calibrationstate.moc"

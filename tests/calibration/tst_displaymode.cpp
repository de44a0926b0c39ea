#include <QtTest>

#include "calibration/displaymode.h"
#include "measurement/readouts.h"

using namespace veruziva;

namespace {

CalibrationState CalibratedState() {
    CalibrationState state;
    for (int r = FirstRange; r <= LastRange; ++r) {
        state.CalFactor[r] = {1e-4 * r, 2e-4 * r};
    }
    state.Calibrated = true;
    state.RawDisplay = false;
    state.ZeroLeft = 12;
    state.ZeroRight = -7;
    return state;
}

}  // namespace

class TestDisplayMode : public QObject {
    Q_OBJECT

private slots:
    void rawDisplay_data();
    void rawDisplay();
    void calibratedDisplay_data();
    void calibratedDisplay();
    void rawDataClick_data();
    void rawDataClick();
    void lookAtRawValuesKeepsTheCalibration();
};

void TestDisplayMode::rawDisplay_data() {
    QTest::addColumn<bool>("calibrated");
    QTest::addColumn<bool>("rawDisplay");
    QTest::newRow("calibrated, raw chosen") << true << true;
    QTest::newRow("not calibrated") << false << false;
    QTest::newRow("not calibrated, raw chosen") << false << true;
}

void TestDisplayMode::rawDisplay() {
    QFETCH(bool, calibrated);
    QFETCH(bool, rawDisplay);
    CalibrationState state = CalibratedState();
    state.Calibrated = calibrated;
    state.RawDisplay = rawDisplay;
    const DisplayParameters display = DeriveDisplayParameters(state, {3, 4});
    for (const ChannelDisplay& channel : {display.a, display.b}) {
        QVERIFY(!channel.calibrated);
        QCOMPARE(channel.scopeFactor, 0.0078125);
        QCOMPARE(channel.precision, 5);
        QCOMPARE(channel.decimals, 0);
        QCOMPARE(channel.unitLetter, ' ');
        QCOMPARE(channel.zero, 0);
    }
    QCOMPARE(state.ZeroLeft, 12);
    QCOMPARE(state.ZeroRight, -7);
}

void TestDisplayMode::calibratedDisplay_data() {
    QTest::addColumn<int>("rangeA");
    QTest::addColumn<int>("rangeB");
    QTest::addColumn<int>("decimalsA");
    QTest::addColumn<char>("unitA");
    QTest::addColumn<char>("unitB");
    QTest::newRow("0.3 V / 3 V") << 1 << 2 << 3 << 'V' << 'V';
    QTest::newRow("30 V / 3 A") << 3 << 4 << 2 << 'V' << 'A';
    QTest::newRow("3 A / 30 V") << 4 << 3 << 3 << 'A' << 'V';
}

void TestDisplayMode::calibratedDisplay() {
    QFETCH(int, rangeA);
    QFETCH(int, rangeB);
    QFETCH(int, decimalsA);
    QFETCH(char, unitA);
    QFETCH(char, unitB);
    const CalibrationState state = CalibratedState();
    const DisplayParameters display = DeriveDisplayParameters(state, {rangeA, rangeB});
    QVERIFY(display.a.calibrated);
    QCOMPARE(display.a.factor, state.CalFactor[rangeA].Left);
    QCOMPARE(display.b.factor, state.CalFactor[rangeB].Right);
    QCOMPARE(display.a.scopeFactor, 120 * state.CalFactor[rangeA].Left / RangeFullScale(rangeA));
    QCOMPARE(display.b.scopeFactor, 120 * state.CalFactor[rangeB].Right / RangeFullScale(rangeB));
    QCOMPARE(display.a.precision, 4);
    QCOMPARE(display.a.decimals, decimalsA);
    QCOMPARE(display.b.decimals, rangeB == 3 ? 2 : 3);
    QCOMPARE(display.a.unitLetter, unitA);
    QCOMPARE(display.b.unitLetter, unitB);
    QCOMPARE(display.a.zero, 12);
    QCOMPARE(display.b.zero, -7);
    // A reading at the range's full scale spans 120 scope pixels.
    const double fullScaleRaw = RangeFullScale(rangeA) / display.a.factor;
    QCOMPARE(fullScaleRaw * display.a.scopeFactor, 120.0);
}

void TestDisplayMode::rawDataClick_data() {
    QTest::addColumn<bool>("calibrated");
    QTest::addColumn<bool>("rawBefore");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("rawAfter");
    QTest::newRow("calibrated display to raw") << true << false << "Raw" << true;
    QTest::newRow("raw back to calibrated") << true << true << "Cal" << false;
    QTest::newRow("not calibrated: nothing changes") << false << true << "" << true;
    QTest::newRow("not calibrated, raw not chosen") << false << false << "Raw" << true;
}

void TestDisplayMode::rawDataClick() {
    QFETCH(bool, calibrated);
    QFETCH(bool, rawBefore);
    QFETCH(QString, caption);
    QFETCH(bool, rawAfter);
    CalibrationState state;
    state.Calibrated = calibrated;
    state.RawDisplay = rawBefore;
    const auto newCaption = RawDataClick(state);
    QCOMPARE(newCaption.has_value(), !caption.isEmpty());
    if (newCaption) {
        QCOMPARE(QString::fromLatin1(newCaption->data(), qsizetype(newCaption->size())), caption);
    }
    QCOMPARE(state.RawDisplay, rawAfter);
}

void TestDisplayMode::lookAtRawValuesKeepsTheCalibration() {
    // Switching to "Raw" and back to "Cal" must show the same calibrated reading as before.
    CalibrationState state = CalibratedState();
    const std::vector<StereoFrame> block(FramesPerBuffer, StereoFrame{1012, -1007});
    auto reading = [&](const DisplayParameters& display) {
        Readouts readouts;
        ShowMeasurement(readouts, MeasureBlock(block, MakePassSettings(display, false, false)),
                        display, ".");
        return readouts;
    };
    const Readouts before = reading(DeriveDisplayParameters(state, {2, 2}));
    QCOMPARE(before.a.readingText, std::string("0.200V "));   // (1012 - 12) x 2e-4
    QCOMPARE(before.b.readingText, std::string("-0.400V "));  // (-1007 + 7) x 4e-4
    QCOMPARE(RawDataClick(state), std::optional<std::string_view>("Raw"));
    const Readouts raw = reading(DeriveDisplayParameters(state, {2, 2}));
    QCOMPARE(raw.a.readingText, std::string("1012  "));
    QCOMPARE(RawDataClick(state), std::optional<std::string_view>("Cal"));
    const Readouts after = reading(DeriveDisplayParameters(state, {2, 2}));
    QCOMPARE(after.a.readingText, before.a.readingText);
    QCOMPARE(after.b.readingText, before.b.readingText);
}

QTEST_APPLESS_MAIN(TestDisplayMode)
#include "tst_displaymode.moc"

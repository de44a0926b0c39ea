#include <QtTest>

#include "calibration/filedescription.h"

using namespace veruziva;

namespace {

constexpr std::int64_t Made = 1'800'000'000'000;  // 2027-01-15T08:00:00Z

// A complete DC calibration on "Line In": each range's factor its number x 1e-4 on A, x 2e-4
// on B.
CalibrationState DcEverywhere() {
    CalibrationState state;
    for (int r = FirstRange; r <= LastRange; ++r) {
        state.CalFactor[r] = {r * 1e-4, r * 2e-4};
    }
    MarkDcCalibration(state, Made, "Line In");
    state.Calibrated = true;
    return state;
}

QStringList Lines(const FileMetadata& metadata) {
    QStringList lines;
    for (const auto& [key, value] : metadata) {
        lines.append(key + QStringLiteral(": ") + value);
    }
    return lines;
}

const QStringList Head{"Software: Veruziva 0.1.0", "Source: Line In", "Sample rate: 44100 Hz",
                       "Format: 16-bit stereo"};

}  // namespace

Q_DECLARE_METATYPE(CalibrationState)
Q_DECLARE_METATYPE(MeasurementContext)

class TestFileDescription : public QObject {
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
};

void TestFileDescription::lines_data() {
    QTest::addColumn<CalibrationState>("state");
    QTest::addColumn<MeasurementContext>("context");
    QTest::addColumn<QStringList>("expected");

    const MeasurementContext context{
        "Veruziva 0.1.0", "Line In", {1, 4}, std::array<bool, 2>{true, false}, false};
    const QStringList dcLines{
        "Calibration A 0.3 V: DC, factor 0.0001, made 2027-01-15T08:00:00Z, on Line In",
        "Calibration A 3 V: DC, factor 0.0002, made 2027-01-15T08:00:00Z, on Line In",
        "Calibration A 30 V: DC, factor 0.0003, made 2027-01-15T08:00:00Z, on Line In",
        "Calibration A 3 A: DC, factor 0.0004, made 2027-01-15T08:00:00Z, on Line In",
        "Calibration B 0.3 V: DC, factor 0.0002, made 2027-01-15T08:00:00Z, on Line In",
        "Calibration B 3 V: DC, factor 0.0004, made 2027-01-15T08:00:00Z, on Line In",
        "Calibration B 30 V: DC, factor 0.0006, made 2027-01-15T08:00:00Z, on Line In",
        "Calibration B 3 A: DC, factor 0.0008, made 2027-01-15T08:00:00Z, on Line In"};
    QTest::newRow("DC on every range, B's level moved")
        << DcEverywhere() << context
        << Head + QStringList{"Range A: 0.3 V",
                              "Range B: 3 A",
                              "Unit A: V",
                              "Unit B: A",
                              "Level as calibrated A: yes",
                              "Level as calibrated B: no"} +
               dcLines;
    MeasurementContext raw = context;
    raw.rawDisplay = true;
    QTest::newRow("DC on every range, raw display")
        << DcEverywhere() << raw
        << Head +
               QStringList{"Range A: 0.3 V",
                           "Range B: 3 A",
                           "Unit A: raw units",
                           "Unit B: raw units",
                           "Level as calibrated A: yes",
                           "Level as calibrated B: no"} +
               dcLines;

    // Another device chosen: the factors stay, for the stored values, and none is in force.
    CalibrationState forgotten = DcEverywhere();
    ForgetRangesInForce(forgotten);
    QTest::newRow("calibrations of another device")
        << forgotten << context
        << Head + QStringList{"Range A: 0.3 V",
                              "Range B: 3 A",
                              "Unit A: raw units",
                              "Unit B: raw units",
                              "Level as calibrated A: yes",
                              "Level as calibrated B: no"};

    // A sine on A's 3 V range alone, on another device: B and A's other ranges read raw.
    CalibrationState ac;
    ApplyAcFactor(ac, 2, Side::Left, 1.0 / 3.0, Made + 250, "USB Audio");
    const MeasurementContext onRange2{"Veruziva 0.1.0", "Line In", {2, 2}, std::nullopt, false};
    QTest::newRow("AC on one range, the level not checked")
        << ac << onRange2
        << Head + QStringList{"Range A: 3 V",
                              "Range B: 3 V",
                              "Unit A: V",
                              "Unit B: raw units",
                              "Level as calibrated A: not checked",
                              "Level as calibrated B: not checked",
                              "Calibration A 3 V: AC, factor 0.333333333, made "
                              "2027-01-15T08:00:00Z, on USB Audio"};
    MeasurementContext onRange1 = onRange2;
    onRange1.ranges = {1, 2};
    QTest::newRow("AC on another range than A's")
        << ac << onRange1
        << Head + QStringList{"Range A: 0.3 V",
                              "Range B: 3 V",
                              "Unit A: raw units",
                              "Unit B: raw units",
                              "Level as calibrated A: not checked",
                              "Level as calibrated B: not checked",
                              "Calibration A 3 V: AC, factor 0.333333333, made "
                              "2027-01-15T08:00:00Z, on USB Audio"};

    // Nothing known of where and when, nor of the device in use.
    CalibrationState unknown = DcEverywhere();
    MarkDcCalibration(unknown, 0, "");
    unknown.Made[3].Right.method = CalibrationMethod::None;
    MeasurementContext nowhere = context;
    nowhere.device.clear();
    nowhere.ranges = {3, 3};
    QTest::newRow("nothing known")
        << unknown << nowhere
        << QStringList{"Software: Veruziva 0.1.0",
                       "Source: unknown",
                       "Sample rate: 44100 Hz",
                       "Format: 16-bit stereo",
                       "Range A: 30 V",
                       "Range B: 30 V",
                       "Unit A: V",
                       "Unit B: V",
                       "Level as calibrated A: yes",
                       "Level as calibrated B: no",
                       "Calibration A 0.3 V: DC, factor 0.0001, made unknown, on unknown",
                       "Calibration A 3 V: DC, factor 0.0002, made unknown, on unknown",
                       "Calibration A 30 V: DC, factor 0.0003, made unknown, on unknown",
                       "Calibration A 3 A: DC, factor 0.0004, made unknown, on unknown",
                       "Calibration B 0.3 V: DC, factor 0.0002, made unknown, on unknown",
                       "Calibration B 3 V: DC, factor 0.0004, made unknown, on unknown",
                       "Calibration B 30 V: unknown, factor 0.0006, made unknown, on unknown",
                       "Calibration B 3 A: DC, factor 0.0008, made unknown, on unknown"};
}

void TestFileDescription::lines() {
    QFETCH(CalibrationState, state);
    QFETCH(MeasurementContext, context);
    QTEST(Lines(DescribeMeasurement(state, context)), "expected");
}

QTEST_GUILESS_MAIN(TestFileDescription)
#include "tst_filedescription.moc"

#include <QtTest>
#include <vector>

#include "measurement/readouts.h"

using namespace veruziva;

namespace {

using Frames = std::vector<StereoFrame>;

// A: a square between 1500 and -500, rising every 64 frames (689.06 Hz), measured AC;
// B: the card's bottom limit throughout, measured DC.
Frames SquareAndLimit() {
    Frames frames;
    for (int i = 0; i < FramesPerBuffer; ++i) {
        frames.push_back({static_cast<std::int16_t>(i % 64 < 32 ? 1500 : -500), -32768});
    }
    return frames;
}

// A from 1000 up to 3000, wholly above zero; B its negative, wholly below.
Frames AboveAndBelowZero() {
    Frames frames;
    for (int i = 0; i < FramesPerBuffer; ++i) {
        const auto x = static_cast<std::int16_t>(1000 + i % 2001);
        frames.push_back({x, static_cast<std::int16_t>(-x)});
    }
    return frames;
}

// Raw, or 0.1 mV a raw unit on a range with four digits and three decimals.
ChannelDisplay ChannelIn(bool calibrated) {
    ChannelDisplay display;
    if (calibrated) {
        display.calibrated = true;
        display.factor = 1e-4;
        display.precision = 4;
        display.decimals = 3;
        display.unitLetter = 'V';
    }
    return display;
}

}  // namespace

Q_DECLARE_METATYPE(Frames)

class TestReadings : public QObject {
    Q_OBJECT

private slots:
    void readings_data();
    void readings();
};

void TestReadings::readings_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<bool>("calibrated");
    QTest::addColumn<double>("valueA");
    QTest::addColumn<QString>("textA");
    QTest::addColumn<double>("valueB");
    QTest::addColumn<QString>("textB");
    const Frames square = SquareAndLimit();
    QTest::newRow("mean raw") << "mean" << square << false << 1000.0 << "1000  " << -32768.0
                              << "-32768  ";
    QTest::newRow("mean calibrated")
        << "mean" << square << true << 0.1 << "0.100V " << -3.2768 << "-3.277V ";
    QTest::newRow("freq") << "freq" << square << false << 689.0 << "689 " << 0.0 << "0 ";
    QTest::newRow("freq not scaled") << "freq" << square << true << 689.0 << "689 " << 0.0 << "0 ";
    QTest::newRow("bar") << "bar" << square << true << 11.0 << "11" << 256.0 << "256";
    QTest::newRow("rms raw") << "rms" << square << false << 1000.0 << "1000  " << 0.0 << "0  ";
    QTest::newRow("rms calibrated")
        << "rms" << square << true << 0.1 << "0.100V " << 0.0 << "0.000V ";
    QTest::newRow("over") << "over" << square << true << 0.0 << "0" << 1.0 << "1";
    QTest::newRow("pp raw") << "pp" << square << false << 2000.0 << "2000  " << 0.0 << "0  ";
    QTest::newRow("pp calibrated")
        << "pp" << square << true << 0.2 << "0.200V " << 0.0 << "0.000V ";
    QTest::newRow("pp above and below zero")
        << "pp" << AboveAndBelowZero() << false << 2000.0 << "2000  " << 2000.0 << "2000  ";
}

void TestReadings::readings() {
    QFETCH(QString, id);
    QFETCH(Frames, frames);
    QFETCH(bool, calibrated);
    const std::size_t index = ReadingIndex(id.toStdString());
    QVERIFY(index < ReadingCount);
    const DisplayParameters display{ChannelIn(calibrated), ChannelIn(calibrated)};
    Readouts readouts;
    ShowMeasurement(readouts, MeasureBlock(frames, PassSettings{{true, 0}, {false, 0}}), display,
                    ".");
    QTEST(readouts.a.values[index], "valueA");
    QTEST(QString::fromStdString(ReadoutText(readouts, readouts.a, index)), "textA");
    QTEST(readouts.b.values[index], "valueB");
    QTEST(QString::fromStdString(ReadoutText(readouts, readouts.b, index)), "textB");
}

QTEST_APPLESS_MAIN(TestReadings)

#include "tst_readings.moc"

#include <QtTest>

#include "measurement/readouts.h"

using namespace veruziva;

namespace {

ChannelDisplay Calibrated(double factor, int decimals, char unit) {
    ChannelDisplay display;
    display.calibrated = true;
    display.factor = factor;
    display.precision = 4;
    display.decimals = decimals;
    display.unitLetter = unit;
    return display;
}

}  // namespace

Q_DECLARE_METATYPE(ChannelDisplay)

class TestReadouts : public QObject {
    Q_OBJECT

private slots:
    void readingText_data();
    void readingText();
    void frequencyText_data();
    void frequencyText();
    void initialTexts();
    void showMeasurementWritesBothChannels();
};

void TestReadouts::readingText_data() {
    QTest::addColumn<qint64>("mean");
    QTest::addColumn<ChannelDisplay>("display");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");
    QTest::newRow("raw silence") << qint64{0} << ChannelDisplay{} << "."
                                 << "0  ";
    QTest::newRow("raw mean") << qint64{1234} << ChannelDisplay{} << "."
                              << "1234  ";
    QTest::newRow("raw negative") << qint64{-32768} << ChannelDisplay{} << "."
                                  << "-32768  ";
    QTest::newRow("raw ignores the factor")
        << qint64{1000} << ChannelDisplay{false, 0.5, 1.0, 5, 0, ' ', 0} << "."
        << "1000  ";
    QTest::newRow("1.5 V on 3 V") << qint64{10000} << Calibrated(1.5e-4, 3, 'V') << "."
                                  << "1.500V ";
    QTest::newRow("12.5 V on 30 V") << qint64{10000} << Calibrated(12.5e-4, 2, 'V') << "."
                                    << "12.50V ";
    QTest::newRow("3 A range") << qint64{-5000} << Calibrated(1e-4, 3, 'A') << "."
                               << "-0.500A ";
    QTest::newRow("decimal comma") << qint64{10000} << Calibrated(1.5e-4, 3, 'V') << ","
                                   << "1,500V ";
    QTest::newRow("absurd factor") << qint64{30000} << Calibrated(1.0, 3, 'V') << "."
                                   << "3E4V ";
}

void TestReadouts::readingText() {
    QFETCH(qint64, mean);
    QFETCH(ChannelDisplay, display);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    ChannelMeasurement measurement;
    measurement.mean = mean;
    const std::string text =
        ReadingText(Reading(measurement, display), display, separator.toStdString());
    QCOMPARE(QString::fromStdString(text), expected);
}

void TestReadouts::frequencyText_data() {
    QTest::addColumn<bool>("ac");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<QString>("expected");
    QTest::newRow("AC box clear") << false << 0.0 << "0 ";
    QTest::newRow("no crossing") << true << 0.0 << "0 ";
    QTest::newRow("440 Hz") << true << 440.0 << "440 ";
    QTest::newRow("highest") << true << 22050.0 << "22050 ";
}

void TestReadouts::frequencyText() {
    QFETCH(bool, ac);
    QFETCH(double, frequency);
    QFETCH(QString, expected);
    const std::optional<double> value = ac ? std::optional<double>(frequency) : std::nullopt;
    QCOMPARE(QString::fromStdString(FrequencyText(value, ",")), expected);
}

void TestReadouts::initialTexts() {
    const Readouts readouts;
    QCOMPARE(readouts.a.readingText, std::string("0  "));
    QCOMPARE(readouts.b.frequencyText, std::string("0 "));
    QCOMPARE(readouts.a.barPosition, 0);
}

void TestReadouts::showMeasurementWritesBothChannels() {
    BlockMeasurement measurement;
    measurement.a.mean = 10000;
    measurement.a.barPosition = 200;
    measurement.a.frequency = 50.0;
    measurement.b.mean = -2000;
    measurement.b.barPosition = 15;
    measurement.a.acRms = 6666.0;  // in volts on A, raw on B
    measurement.b.acRms = 321.5;
    measurement.b.overloaded = true;
    DisplayParameters display{Calibrated(1.5e-4, 3, 'V'), ChannelDisplay{}};
    Readouts readouts;
    ShowMeasurement(readouts, measurement, display, ".");
    QCOMPARE(readouts.a.readingText, std::string("1.500V "));
    QCOMPARE(readouts.a.reading, 1.5);
    QCOMPARE(readouts.a.frequencyText, std::string("50 "));
    QCOMPARE(readouts.a.barPosition, 200);
    QCOMPARE(readouts.b.readingText, std::string("-2000  "));
    QCOMPARE(readouts.b.frequencyText, std::string("0 "));
    QCOMPARE(readouts.b.barPosition, 15);
    QCOMPARE(readouts.a.rms, 0.9999);
    QCOMPARE(readouts.b.rms, 321.5);
    QCOMPARE(readouts.a.rmsText, std::string("1.000V "));
    QCOMPARE(readouts.b.rmsText, std::string("322  "));
    QCOMPARE(readouts.a.overloaded, false);
    QCOMPARE(readouts.b.overloaded, true);
}

QTEST_APPLESS_MAIN(TestReadouts)
#include "tst_readouts.moc"

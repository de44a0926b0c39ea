#include <QtTest>
#include <limits>

#include "measurement/numberformat.h"
#include "platform/runtimeerror.h"

using namespace veruziva;

class TestNumberFormat : public QObject {
    Q_OBJECT

private slots:
    void roundHalfEven_data();
    void roundHalfEven();
    void roundToInt32_data();
    void roundToInt32();
    void formatFixed_data();
    void formatFixed();
    void formatGeneral_data();
    void formatGeneral();
    void textToNumber_data();
    void textToNumber();
    void textToNumberLengthLimit_data();
    void textToNumberLengthLimit();
};

void TestNumberFormat::roundHalfEven_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");
    QTest::newRow("2.5 to even 2") << 2.5 << 2.0;
    QTest::newRow("3.5 to even 4") << 3.5 << 4.0;
    QTest::newRow("0.5 to 0") << 0.5 << 0.0;
    QTest::newRow("-2.5 to -2") << -2.5 << -2.0;
    QTest::newRow("-3.5 to -4") << -3.5 << -4.0;
    QTest::newRow("just below a half") << 2.4999999 << 2.0;
    QTest::newRow("just above a half") << 2.5000001 << 3.0;
    QTest::newRow("1.5 V x 10000") << 1.5 * 10000 << 15000.0;
}

void TestNumberFormat::roundHalfEven() {
    QFETCH(double, value);
    QFETCH(double, expected);
    QCOMPARE(RoundHalfEven(value), expected);
}

void TestNumberFormat::roundToInt32_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("expected");
    QTest::newRow("largest") << 2147483647.4 << true << 2147483647;
    QTest::newRow("half above the largest rounds up, out") << 2147483647.5 << false << 0;
    QTest::newRow("smallest, half to even") << -2147483648.5 << true << -2147483647 - 1;
    QTest::newRow("below the smallest") << -2147483649.0 << false << 0;
    QTest::newRow("entry 214748.3647 V") << 214748.3647 * 10000 << true << 2147483647;
    QTest::newRow("entry 214748.37 V") << 214748.37 * 10000 << false << 0;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << false << 0;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false << 0;
}

void TestNumberFormat::roundToInt32() {
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(int, expected);
    const auto result = RoundToInt32(value);
    QCOMPARE(result.has_value(), fits);
    if (fits) {
        QCOMPARE(*result, expected);
    }
}

void TestNumberFormat::formatFixed_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("precision");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1.5 V on 3 V") << 1.5 << 4 << 3 << "."
                                  << "1.500";
    QTest::newRow("12.5 V on 30 V") << 12.5 << 4 << 2 << "."
                                    << "12.50";
    QTest::newRow("raw mean") << 1234.0 << 5 << 0 << "."
                              << "1234";
    QTest::newRow("raw zero") << 0.0 << 5 << 0 << "."
                              << "0";
    QTest::newRow("raw extreme") << -32768.0 << 5 << 0 << "."
                                 << "-32768";
    QTest::newRow("calibrated zero") << 0.0 << 4 << 3 << "."
                                     << "0.000";
    QTest::newRow("negative") << -0.25 << 4 << 3 << "."
                              << "-0.250";
    QTest::newRow("precision cuts decimals") << 123.456 << 4 << 3 << "."
                                             << "123.500";
    QTest::newRow("precision cuts, 30 V") << 29.996 << 4 << 2 << "."
                                          << "30.00";
    QTest::newRow("rounding adds a digit") << 9.9996 << 4 << 3 << "."
                                           << "10.000";
    QTest::newRow("four integer digits") << 999.95 << 4 << 3 << "."
                                         << "1000.000";
    QTest::newRow("exact tie to even") << 0.0625 << 4 << 3 << "."
                                       << "0.062";
    QTest::newRow("small value keeps digits") << 0.001234 << 2 << 5 << "."
                                              << "0.00120";
    QTest::newRow("rounds to zero, no sign") << -0.0004 << 4 << 3 << "."
                                             << "0.000";
    QTest::newRow("integer part too long") << 12345.6 << 4 << 3 << "."
                                           << "1.235E4";
    QTest::newRow("rounds past precision") << 9999.5 << 4 << 3 << "."
                                           << "1E4";
    QTest::newRow("decimal comma") << 1.5 << 4 << 3 << ","
                                   << "1,500";
    QTest::newRow("decimal comma, scientific") << -12345.6 << 4 << 3 << ","
                                               << "-1,235E4";
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 4 << 3 << "."
                                  << "NAN";
    QTest::newRow("infinity") << -std::numeric_limits<double>::infinity() << 4 << 3 << "."
                              << "-INF";
}

void TestNumberFormat::formatFixed() {
    QFETCH(double, value);
    QFETCH(int, precision);
    QFETCH(int, decimals);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    const std::string text = FormatFixed(value, precision, decimals, separator.toStdString());
    QCOMPARE(QString::fromStdString(text), expected);
}

void TestNumberFormat::formatGeneral_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");
    QTest::newRow("whole number") << 440.0 << "."
                                  << "440";
    QTest::newRow("zero") << 0.0 << "."
                          << "0";
    QTest::newRow("quarter") << 0.25 << "."
                             << "0.25";
    QTest::newRow("decimal comma") << 1.25 << ","
                                   << "1,25";
    QTest::newRow("hour") << 3600.0 << "."
                          << "3600";
    QTest::newRow("negative") << -2.5 << "."
                              << "-2.5";
    QTest::newRow("15 digits hide binary noise") << 0.1 + 0.2 << "."
                                                 << "0.3";
    QTest::newRow("factor") << 1.5 / 8222 << "."
                            << "0.000182437363171978";
    QTest::newRow("smallest fixed") << 0.00001 << "."
                                    << "0.00001";
    QTest::newRow("below 0.00001 is scientific") << 1.5e-7 << "."
                                                 << "1.5E-7";
    QTest::newRow("15 integer digits") << 123456789012345.0 << "."
                                       << "123456789012345";
    QTest::newRow("16 integer digits") << 1234567890123456.0 << "."
                                       << "1.23456789012346E15";
    QTest::newRow("large") << 1e20 << "."
                           << "1E20";
    QTest::newRow("trailing zeros dropped") << 10.5 << "."
                                            << "10.5";
}

void TestNumberFormat::formatGeneral() {
    QFETCH(double, value);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(FormatGeneral(value, separator.toStdString())), expected);
}

void TestNumberFormat::textToNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("point") << "1.5" << 1.5;
    QTest::newRow("comma is a point") << "1,5" << 1.5;
    QTest::newRow("sign dropped") << "-1.5" << 1.5;
    QTest::newRow("plus dropped") << "+7" << 7.0;
    QTest::newRow("letters only") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("zero") << "0" << 0.0;
    QTest::newRow("unit and blanks") << " 2 V" << 2.0;
    QTest::newRow("grouping blank") << "12 000" << 12000.0;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("trailing point") << "5." << 5.0;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("second point ends the number") << "1.2.3" << 1.2;
    QTest::newRow("comma then point") << "1,000.5" << 1.0;
    QTest::newRow("exponent letter dropped") << "1e3" << 13.0;
    QTest::newRow("half up to even later") << "2.5" << 2.5;
    QTest::newRow("non-ASCII digits dropped") << QString::fromUtf8(
                                                     "\xd9\xa3"
                                                     "4")
                                              << 4.0;
}

void TestNumberFormat::textToNumber() {
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(TextToNumber(text.toStdString()), expected);
}

void TestNumberFormat::textToNumberLengthLimit_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("expected");
    QTest::newRow("255 digits") << QString(255, QLatin1Char('1')).replace(0, 2, "0.") << true
                                << 0.1111111111111111;
    QTest::newRow("256 characters") << QString(256, QLatin1Char('1')) << false << 0.0;
    QTest::newRow("255 two-byte characters") << QString(254, QChar(0xE9)) + "7" << true << 7.0;
    QTest::newRow("256 two-byte characters") << QString(256, QChar(0xE9)) << false << 0.0;
}

void TestNumberFormat::textToNumberLengthLimit() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, expected);
    if (accepted) {
        QCOMPARE(TextToNumber(text.toStdString()), expected);
        return;
    }
    try {
        TextToNumber(text.toStdString());
        QFAIL("a text over 255 characters must not convert");
    } catch (const RangeCheckError& error) {
        QCOMPARE(QString::fromLatin1(error.what()), QStringLiteral("Range check error"));
    }
}

QTEST_APPLESS_MAIN(TestNumberFormat)
#include "tst_numberformat.moc"

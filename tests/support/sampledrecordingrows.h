#pragma once

#include <QTest>

namespace veruziva {

// The sampled recordings made both through the recording control and through the window, as
// rows of the current test's data table: the recording time as typed, its unit, the sampling
// period, the rows the file gets, and the last of them, which holds `readings` ("A;B").
inline void AddSampledRecordingRows(const QString& readings) {
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("last");
    QTest::newRow("1 min at 1/4 s") << "1" << 1 << 0 << 240 << "60;" + readings;
    QTest::newRow("20 s at 15 s") << "20" << 0 << 3 << 1 << "15;" + readings;
}

}  // namespace veruziva

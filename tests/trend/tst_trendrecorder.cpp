#include <QtTest>
#include <cmath>

#include "trend/trendcsv.h"
#include "trend/trendrecorder.h"
#include "trend/trendspans.h"

using namespace veruziva;

namespace {

constexpr std::int64_t T0 = 1'800'000'000'000;  // 2027-01-15 08:00:00 UTC, 10:00 in the tests

// Every 100 ms: A a sawtooth 0 .. 9 per second in volts, clipping on 3; B = -2 A in amperes.
void FeedSawtooth(TrendRecorder& recorder, std::int64_t from, int count) {
    for (int i = 0; i < count; ++i) {
        const double a = i % 10;
        recorder.add({from + 100 * std::int64_t{i}, a, -2 * a, 'V', 'A', i % 10 == 3, false});
    }
}

}  // namespace

class TestTrendRecorder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void statistics_data();
    void statistics();
    void resetForgetsEverything();
    void columns_data();
    void columns();
    void markersInOrderAndCut();
    void timeGoingBackIsHeld();
    void twentyFourHoursAndNoMore();
    void spanTexts_data();
    void spanTexts();
    void csvPoints();
    void csvBucketMeans();
    void saveErrors_data();
    void saveErrors();

private:
    TrendRecorder m_threeHours;
    QTemporaryDir m_dir;
};

void TestTrendRecorder::initTestCase() {
    FeedSawtooth(m_threeHours, T0, 3 * 36000);
}

void TestTrendRecorder::statistics_data() {
    QTest::addColumn<QList<double>>("readings");
    QTest::addColumn<QString>("units");
    QTest::addColumn<QString>("overloads");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("average");
    QTest::addColumn<double>("rms");
    QTest::addColumn<int>("clipped");
    QTest::addColumn<int>("count");
    QTest::addColumn<char>("unit");

    QTest::newRow("volts") << QList<double>{1, 2, 3, 4} << "VVVV"
                           << "0100" << 1.0 << 4.0 << 2.5 << std::sqrt(7.5) << 1 << 4 << 'V';
    QTest::newRow("around zero") << QList<double>{-3, 3, -3, 3} << "AAAA"
                                 << "1111" << -3.0 << 3.0 << 0.0 << 3.0 << 4 << 4 << 'A';
    QTest::newRow("a unit change starts again")
        << QList<double>{5, 7, 100, 300} << "VV  "
        << "1000" << 100.0 << 300.0 << 200.0 << std::sqrt(50000.0) << 0 << 2 << ' ';
}

void TestTrendRecorder::statistics() {
    QFETCH(QList<double>, readings);
    QFETCH(QString, units);
    QFETCH(QString, overloads);
    TrendRecorder recorder;
    for (qsizetype i = 0; i < readings.size(); ++i) {
        // The blocks' own RMS: the reading on A (so its mean square is the readings'), 0.5 on B.
        recorder.add({T0 + 93 * i, readings[i], 0.25, units[i].toLatin1(), 'V',
                      overloads[i] == QLatin1Char('1'), i == 0, readings[i], 0.5});
    }
    const TrendStatistics a = recorder.statistics(TrendChannel::A);
    QTEST(a.minimum, "minimum");
    QTEST(a.maximum, "maximum");
    QTEST(a.average, "average");
    QTEST(a.rms, "rms");
    QTEST(a.signalRms, "rms");
    QTEST(static_cast<int>(a.overloads), "clipped");
    QTEST(static_cast<int>(a.count), "count");
    QTEST(a.unit, "unit");
    const TrendStatistics b = recorder.statistics(TrendChannel::B);
    QCOMPARE(b.minimum, 0.25);
    QCOMPARE(b.rms, 0.25);
    QCOMPARE(b.signalRms, 0.5);
    QCOMPARE(b.overloads, 1);
    QCOMPARE(b.count, 4);
}

void TestTrendRecorder::resetForgetsEverything() {
    TrendRecorder recorder;
    FeedSawtooth(recorder, T0, 50);
    recorder.mark(T0 + 100, QStringLiteral("Range 3 V"));
    recorder.reset();
    QVERIFY(recorder.empty());
    QVERIFY(!recorder.latest());
    QVERIFY(!recorder.firstMs());
    QCOMPARE(recorder.statistics(TrendChannel::A).count, 0);
    QCOMPARE(recorder.statistics(TrendChannel::B).count, 0);
    QVERIFY(recorder.markers(T0, T0 + 5000).empty());
    QVERIFY(recorder.columns(T0, T0 + 5000, 5).columns[0][0].empty());
    QVERIFY(recorder.rows(T0, T0 + 5000).rows.empty());

    // What comes after a reset is all there is.
    recorder.add({T0 + 10'000, 2, 3, 'V', 'V', false, false});
    QCOMPARE(recorder.statistics(TrendChannel::A).maximum, 2.0);
    QCOMPARE(recorder.statistics(TrendChannel::A).count, 1);
    QCOMPARE(*recorder.firstMs(), T0 + 10'000);
}

void TestTrendRecorder::columns_data() {
    QTest::addColumn<qint64>("from");  // after T0
    QTest::addColumn<qint64>("to");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("column");
    QTest::addColumn<qint64>("resolution");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("clipped");

    // The last minute of three hours: every point, 1 s per column; the oldest point held is
    // 2048 s old.
    QTest::newRow("points") << qint64{10'740'000} << qint64{10'800'000} << 60 << 0 << qint64{0}
                            << 10 << 1;
    QTest::newRow("points, last column")
        << qint64{10'740'000} << qint64{10'800'000} << 60 << 59 << qint64{0} << 10 << 1;
    // An hour back: the 1 s buckets (two hours held), a minute per column.
    QTest::newRow("1 s buckets") << qint64{3'600'000} << qint64{7'200'000} << 60 << 0
                                 << qint64{1000} << 600 << 60;
    // Three hours back: only the 10 s buckets reach there.
    QTest::newRow("10 s buckets") << qint64{0} << qint64{3'600'000} << 60 << 1 << qint64{10'000}
                                  << 600 << 60;
    // Before anything held: the longest history answers, with nothing.
    QTest::newRow("before the first point")
        << qint64{-60'000} << qint64{-1} << 60 << 30 << qint64{10'000} << 0 << 0;
}

void TestTrendRecorder::columns() {
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(int, count);
    QFETCH(int, column);
    QFETCH(int, points);
    const TrendColumns result = m_threeHours.columns(T0 + from, T0 + to, count);
    QCOMPARE(static_cast<int>(result.columns.size()), count);
    QTEST(static_cast<qint64>(result.resolutionMs), "resolution");
    const TrendExtent& a = result.columns[static_cast<std::size_t>(column)][0];
    const TrendExtent& b = result.columns[static_cast<std::size_t>(column)][1];
    QCOMPARE(static_cast<int>(a.count), points);
    QCOMPARE(static_cast<int>(b.count), points);
    QTEST(static_cast<int>(a.overloads), "clipped");
    QCOMPARE(b.overloads, 0);
    if (points > 0) {
        QCOMPARE(a.minimum, 0.0);
        QCOMPARE(a.maximum, 9.0);
        QCOMPARE(a.mean, 4.5);
        QCOMPARE(b.minimum, -18.0);
        QCOMPARE(b.maximum, 0.0);
        QCOMPARE(b.mean, -9.0);
    }
}

void TestTrendRecorder::markersInOrderAndCut() {
    TrendRecorder recorder;
    recorder.mark(T0 + 2000, QStringLiteral("Raw"));
    recorder.mark(T0 + 1000, QStringLiteral("Calibrated"));
    recorder.mark(T0 + 5000, QString(100, QLatin1Char('x')));
    const std::vector<TrendMarker> first = recorder.markers(T0, T0 + 2000);
    QCOMPARE(first.size(), std::size_t{2});
    QCOMPARE(first[0].text, QStringLiteral("Calibrated"));
    QCOMPARE(first[0].msSinceEpoch, T0 + 1000);
    QCOMPARE(first[1].text, QStringLiteral("Raw"));
    const std::vector<TrendMarker> last = recorder.markers(T0 + 2001, T0 + 9000);
    QCOMPARE(last.size(), std::size_t{1});
    QCOMPARE(last[0].text, QString(80, QLatin1Char('x')));
}

void TestTrendRecorder::timeGoingBackIsHeld() {
    TrendRecorder recorder;
    recorder.add({T0 + 1000, 1, 1, 'V', 'V', false, false});
    recorder.add({T0 + 500, 2, 2, 'V', 'V', false, false});
    QCOMPARE(recorder.latest()->msSinceEpoch, T0 + 1000);
    const TrendRows rows = recorder.rows(T0, T0 + 2000);
    QCOMPARE(rows.rows.size(), std::size_t{2});
    QCOMPARE(rows.rows[1].msSinceEpoch, T0 + 1000);
    QCOMPARE(rows.rows[1].a, 2.0);
}

void TestTrendRecorder::twentyFourHoursAndNoMore() {
    // 25 hours, one point a second: the first hour falls out.
    TrendRecorder recorder;
    recorder.mark(T0 + 1000, QStringLiteral("gone"));
    recorder.mark(T0 + 3'700'000, QStringLiteral("kept"));
    for (std::int64_t s = 0; s < 25 * 3600; ++s) {
        recorder.add({T0 + 1000 * s, 1, 2, 'V', 'V', false, false});
    }
    QCOMPARE(*recorder.firstMs(), T0 + 3'600'000);
    const TrendRows rows = recorder.rows(T0, T0 + 25 * 3'600'000);
    QCOMPARE(rows.resolutionMs, 10'000);
    QCOMPARE(rows.rows.size(), std::size_t{8640});
    QCOMPARE(rows.rows.front().msSinceEpoch, T0 + 3'600'000);
    QCOMPARE(rows.rows.back().msSinceEpoch, T0 + 89'990'000);
    const std::vector<TrendMarker> markers = recorder.markers(T0, T0 + 25 * 3'600'000);
    QCOMPARE(markers.size(), std::size_t{1});
    QCOMPARE(markers[0].text, QStringLiteral("kept"));
    // The statistics are of everything since the reset, the fallen-out hour too.
    QCOMPARE(recorder.statistics(TrendChannel::A).count, 25 * 3600);
    QVERIFY(TrendRecorder::budgetBytes() > 1'000'000);
    QVERIFY(TrendRecorder::budgetBytes() < 3 * 1024 * 1024);
}

void TestTrendRecorder::spanTexts_data() {
    QTest::addColumn<qint64>("span");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 min") << qint64{60'000} << "1 min";
    QTest::newRow("30 min") << qint64{1'800'000} << "30 min";
    QTest::newRow("1 h") << qint64{3'600'000} << "1 h";
    QTest::newRow("24 h") << qint64{86'400'000} << "24 h";
}

void TestTrendRecorder::spanTexts() {
    QFETCH(qint64, span);
    QTEST(TrendSpanText(span), "text");
    QVERIFY(std::find(TrendSpansMs.begin(), TrendSpansMs.end(), span) != TrendSpansMs.end());
}

void TestTrendRecorder::csvPoints() {
    TrendRecorder recorder;
    recorder.add({T0, 1.5, -0.25, 'V', 'A', false, false});
    recorder.add({T0 + 100, 1.25, -0.5, 'V', 'A', true, false});
    recorder.add({T0 + 1250, 512, -0.5, ' ', 'A', false, false});
    recorder.add({T0 + 9000, 1, 1, 'V', 'V', false, false});
    QCOMPARE(QString::fromUtf8(TrendCsv(recorder.rows(T0, T0 + 2000))),
             QStringLiteral("time;elapsed_s;A [V];B [A]\n"
                            "2027-01-15T10:00:00.000+02:00;0.000;1.5;-0.25\n"
                            "2027-01-15T10:00:00.100+02:00;0.100;1.25;-0.5\n"
                            "time;elapsed_s;A [raw];B [A]\n"
                            "2027-01-15T10:00:01.250+02:00;1.250;512;-0.5\n"));
}

void TestTrendRecorder::csvBucketMeans() {
    QCOMPARE(QString::fromUtf8(TrendCsv(m_threeHours.rows(T0, T0 + 20'000))),
             QStringLiteral("time;elapsed_s;A [V] mean of 10 s;B [A] mean of 10 s\n"
                            "2027-01-15T10:00:00.000+02:00;0.000;4.5;-9\n"
                            "2027-01-15T10:00:10.000+02:00;10.000;4.5;-9\n"
                            "2027-01-15T10:00:20.000+02:00;20.000;4.5;-9\n"));
}

void TestTrendRecorder::saveErrors_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error");
    QTest::newRow("written") << "trend.csv" << QString();
    QTest::newRow("a full disk") << "/dev/full"
                                 << "Could not save /dev/full: Disk full";
    QTest::newRow("no access") << "/sys/trend.csv"
                               << "Could not save /sys/trend.csv: File access denied";
    QTest::newRow("no such folder")
        << "/nonexistent/trend.csv"
        << "Could not save /nonexistent/trend.csv: I/O error 2: No such file or directory "
           "(/nonexistent/trend.csv)";
}

void TestTrendRecorder::saveErrors() {
    QFETCH(QString, file);
    QFETCH(QString, error);
    const QString path = file.startsWith(QLatin1Char('/')) ? file : m_dir.filePath(file);
    const std::optional<QString> result = SaveTrendCsv(path, m_threeHours, T0, T0 + 20'000);
    QCOMPARE(result.value_or(QString()), error);
    if (error.isEmpty()) {
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), TrendCsv(m_threeHours.rows(T0, T0 + 20'000)));
    }
}

QTEST_GUILESS_MAIN(TestTrendRecorder)
#include "tst_trendrecorder.moc"

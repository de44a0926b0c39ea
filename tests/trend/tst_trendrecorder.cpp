#include <malloc.h>
#include <time.h>

#include <QtTest>
#include <cmath>

#include "support/filesizelimit.h"
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
    void resetForgetsWhatFellOut();
    void columns_data();
    void columns();
    void unitsNeverMix_data();
    void unitsNeverMix();
    void levelMoved_data();
    void levelMoved();
    void anyTimeIsTaken_data();
    void anyTimeIsTaken();
    void markersInOrderAndCut();
    void timeGoingBackIsHeld();
    void twentyFourHoursAndNoMore();
    void memoryStaysBounded();
    void spanTexts_data();
    void spanTexts();
    void csvPoints();
    void csvBucketMeans();
    void csvMetadataForReaders_data();
    void csvMetadataForReaders();
    void csvTimeZones_data();
    void csvTimeZones();
    void saveErrors_data();
    void saveErrors();
    void saveOnAFullDisk();

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

void TestTrendRecorder::resetForgetsWhatFellOut() {
    // Three hours fill the points and the 1 s buckets; after a reset, 50 minutes fit the 1 s
    // buckets again, so the last hour is drawn a second a column, not 10 s.
    TrendRecorder recorder;
    FeedSawtooth(recorder, T0, 3 * 36000);
    recorder.reset();
    FeedSawtooth(recorder, T0 + 4 * 3'600'000, 30000);
    const std::int64_t last = recorder.latest()->msSinceEpoch;
    QCOMPARE(recorder.columns(last - 3'600'000, last, 60).resolutionMs, 1000);
    QCOMPARE(recorder.rows(last - 3'600'000, last).resolutionMs, 1000);
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

void TestTrendRecorder::unitsNeverMix_data() {
    QTest::addColumn<qint64>("from");  // after the change on B
    QTest::addColumn<qint64>("resolution");
    // Every 100 ms for an hour: A 1 V throughout, B 2 V then 0.5 A from 5.5 s after `from`.
    QTest::newRow("points") << qint64{3'590'000} << qint64{0};
    QTest::newRow("1 s buckets") << qint64{0} << qint64{1000};
}

void TestTrendRecorder::unitsNeverMix() {
    QFETCH(qint64, from);
    TrendRecorder recorder;
    for (int i = 0; i < 36000; ++i) {
        const bool volts = 100 * std::int64_t{i} < from + 5500;
        recorder.add({T0 + 100 * i, 1, volts ? 2 : 0.5, 'V', volts ? 'V' : 'A', false, false});
    }
    // One column over the change: B in amperes, its volts left out.
    const TrendColumns one = recorder.columns(T0 + from, T0 + from + 9999, 1);
    QTEST(static_cast<qint64>(one.resolutionMs), "resolution");
    QCOMPARE(one.units, (std::array<char, 2>{'V', 'A'}));
    QCOMPARE(one.otherUnits, (std::array<std::string, 2>{"", "V"}));
    QCOMPARE(one.columns[0][1].mean, 0.5);
    QCOMPARE(one.columns[0][1].maximum, 0.5);
    QCOMPARE(one.columns[0][1].count, 45);
    QCOMPARE(one.columns[0][0].count, 100);
    // The second the change falls in: a row (point or bucket) in each unit, none mixed.
    const TrendRows rows = recorder.rows(T0 + from + 5000, T0 + from + 5999);
    QTEST(static_cast<qint64>(rows.resolutionMs), "resolution");
    QCOMPARE(rows.rows.size(), rows.resolutionMs == 0 ? std::size_t{10} : std::size_t{2});
    for (const TrendRow& row : rows.rows) {
        const bool volts = row.msSinceEpoch < T0 + from + 5500;
        QCOMPARE(row.unitB, volts ? 'V' : 'A');
        QCOMPARE(row.b, volts ? 2.0 : 0.5);
    }
}

void TestTrendRecorder::levelMoved_data() {
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("resolution");
    // Every 100 ms for an hour; A read at a moved level from 2.5 s to 4.5 s after `from`.
    QTest::newRow("points") << qint64{3'590'000} << qint64{0};
    QTest::newRow("1 s buckets") << qint64{0} << qint64{1000};
}

void TestTrendRecorder::levelMoved() {
    QFETCH(qint64, from);
    const auto moved = [&](std::int64_t ms) { return ms >= from + 2500 && ms < from + 4500; };
    TrendRecorder recorder;
    for (int i = 0; i < 36000; ++i) {
        const std::int64_t ms = 100 * std::int64_t{i};
        // A 1 V, 50 V while moved; B 2 V.
        TrendSample sample{T0 + ms, moved(ms) ? 50.0 : 1.0, 2, 'V', 'V', false, false, 0.5, 0};
        sample.levelMovedA = moved(ms);
        recorder.add(sample);
    }
    const TrendStatistics a = recorder.statistics(TrendChannel::A);
    QCOMPARE(a.maximum, 1.0);
    QCOMPARE(a.average, 1.0);
    QCOMPARE(a.rms, 1.0);
    QCOMPARE(a.count, 35980);
    QCOMPARE(a.levelMoved, 20);
    QCOMPARE(recorder.statistics(TrendChannel::B).levelMoved, 0);
    // Ten columns of a second: the moved ones count their blocks and draw none.
    const TrendColumns columns = recorder.columns(T0 + from, T0 + from + 9999, 10);
    QTEST(static_cast<qint64>(columns.resolutionMs), "resolution");
    const std::array<int, 10> movedBlocks = {0, 0, 5, 10, 5, 0, 0, 0, 0, 0};
    for (std::size_t x = 0; x < 10; ++x) {
        QCOMPARE(columns.columns[x][0].levelMoved, movedBlocks[x]);
        QCOMPARE(columns.columns[x][0].count, 10 - movedBlocks[x]);
        QCOMPARE(columns.columns[x][0].maximum, x == 3 ? 0.0 : 1.0);
        QCOMPARE(columns.columns[x][1].levelMoved, 0);
    }
    // The export marks them; a bucket holds moved or valid readings, not both.
    const TrendRows rows = recorder.rows(T0 + from + 2000, T0 + from + 2999);
    QCOMPARE(rows.rows.size(), rows.resolutionMs == 0 ? std::size_t{10} : std::size_t{2});
    for (const TrendRow& row : rows.rows) {
        QCOMPARE(row.levelMovedA, moved(row.msSinceEpoch - T0));
        QCOMPARE(row.a, row.levelMovedA ? 50.0 : 1.0);
        QVERIFY(!row.levelMovedB);
    }
}

void TestTrendRecorder::anyTimeIsTaken_data() {
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<qint64>("to");   // ten columns from the first time to this one
    QTest::addColumn<int>("kept");    // the last readings, those of the last 24 hours
    QTest::addColumn<int>("rows");    // held from the first time on (10 s means: some fell out)
    QTest::addColumn<int>("column");  // the one that holds the last reading
    QTest::addColumn<int>("inColumn");
    constexpr qint64 Earliest = std::numeric_limits<qint64>::min();
    constexpr qint64 Latest = std::numeric_limits<qint64>::max();
    QList<qint64> earliest;
    QList<qint64> latest;
    QList<qint64> fromZero{Earliest};
    for (qint64 i = 0; i < 1000; ++i) {
        earliest.append(Earliest + 100 * i);
        latest.append(Latest - 99'900 + 100 * i);
        fromZero.append(100 * i);
    }
    QTest::newRow("the earliest") << earliest << earliest.back() << 1000 << 1000 << 9 << 100;
    QTest::newRow("the latest") << latest << Latest << 1000 << 1000 << 9 << 100;
    QTest::newRow("around 0, all times shown") << fromZero << Latest << 1000 << 10 << 5 << 1000;
    QTest::newRow("the earliest, 0 and the latest")
        << QList<qint64>{Earliest, 0, Latest} << Latest << 1 << 1 << 9 << 1;
}

void TestTrendRecorder::anyTimeIsTaken() {
    QFETCH(QList<qint64>, times);
    QFETCH(qint64, to);
    QFETCH(int, kept);
    QFETCH(int, column);
    TrendRecorder recorder;
    for (qsizetype i = 0; i < times.size(); ++i) {
        recorder.add({times[i], static_cast<double>(i), 1, 'V', 'V', false, false});
    }
    QCOMPARE(*recorder.firstMs(), times[times.size() - kept]);
    QTEST(static_cast<int>(recorder.rows(times.front(), to).rows.size()), "rows");
    const TrendColumns columns = recorder.columns(times.front(), to, 10);
    const TrendExtent& last = columns.columns[static_cast<std::size_t>(column)][0];
    QTEST(static_cast<int>(last.count), "inColumn");
    QCOMPARE(last.maximum, static_cast<double>(times.size() - 1));
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
}

void TestTrendRecorder::memoryStaysBounded() {
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizer's allocator does not report to mallinfo2()");
#endif
    // 25 hours of blocks, and ten times the markers kept with the longest texts: the heap holds
    // what the user guide says, about 2 MB.
    const std::size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
    auto recorder = std::make_unique<TrendRecorder>();
    for (int i = 0; i < 25 * 38'772; ++i) {
        recorder->add({T0 + std::llround(i * 92.88), 1, 2, 'V', 'A', false, false});
        if (i % 379 == 0) {
            recorder->mark(T0 + std::llround(i * 92.88), QString(200, QLatin1Char('m')));
        }
    }
    const std::size_t held = mallinfo2().uordblks + mallinfo2().hblkhd - before;
    QVERIFY2(held < 2'400'000, qPrintable(QString::number(held)));
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
    recorder.add({T0 + 100, 1.25, -0.5, 'V', 'A', true, false, 0, 0, false, true});
    recorder.add({T0 + 200, 1.25, -0.5, 'V', 'A', true, false, 0, 0, true, true});
    recorder.add({T0 + 1250, 512, -0.5, ' ', 'A', false, false, 0, 0, true, false});
    recorder.add({T0 + 9000, 1, 1, 'V', 'V', false, false});
    QCOMPARE(QString::fromUtf8(TrendCsv(recorder.rows(T0, T0 + 2000))),
             QStringLiteral("time;elapsed_s;A [V];B [A];level_moved\n"
                            "2027-01-15T10:00:00.000+02:00;0.000;1.5;-0.25;\n"
                            "2027-01-15T10:00:00.100+02:00;0.100;1.25;-0.5;B\n"
                            "2027-01-15T10:00:00.200+02:00;0.200;1.25;-0.5;AB\n"
                            "time;elapsed_s;A [raw];B [A];level_moved\n"
                            "2027-01-15T10:00:01.250+02:00;1.250;512;-0.5;A\n"));
}

void TestTrendRecorder::csvBucketMeans() {
    QCOMPARE(QString::fromUtf8(TrendCsv(m_threeHours.rows(T0, T0 + 20'000))),
             QStringLiteral("time;elapsed_s;A [V] mean of 10 s;B [A] mean of 10 s;level_moved\n"
                            "2027-01-15T10:00:00.000+02:00;0.000;4.5;-9;\n"
                            "2027-01-15T10:00:10.000+02:00;10.000;4.5;-9;\n"
                            "2027-01-15T10:00:20.000+02:00;20.000;4.5;-9;\n"));
}

void TestTrendRecorder::csvMetadataForReaders_data() {
    QTest::addColumn<FileMetadata>("metadata");
    QTest::addColumn<QByteArray>("lines");
    QTest::newRow("none") << FileMetadata{} << QByteArray();
    QTest::newRow("two pairs") << FileMetadata{{"Software", "Veruziva 0.1.0"}, {"Unit A", "V"}}
                               << QByteArray("# Software: Veruziva 0.1.0\n# Unit A: V\n");
    // A line break would start a row of the table; a ';' is no separator in a comment.
    QTest::newRow("a line break and a ';'")
        << FileMetadata{{"Source", "Line In;\r\nrear"}, {"Unit B", "raw units"}}
        << QByteArray("# Source: Line In;  rear\n# Unit B: raw units\n");
}

void TestTrendRecorder::csvMetadataForReaders() {
    QFETCH(FileMetadata, metadata);
    QFETCH(QByteArray, lines);
    TrendRecorder recorder;
    recorder.add({T0, 1.5, -0.25, 'V', 'A', false, false});
    recorder.add({T0 + 100, 1.25, -0.5, 'V', 'A', true, false, 0, 0, false, true});
    const QByteArray csv = TrendCsv(recorder.rows(T0, T0 + 1000), metadata);
    QCOMPARE(csv, lines + TrendCsv(recorder.rows(T0, T0 + 1000)));
    // The Debian package's interpreter, which python3-pandas is for, before any other on PATH.
    const QString interpreter = QFile::exists(QStringLiteral("/usr/bin/python3"))
                                    ? QStringLiteral("/usr/bin/python3")
                                    : QStringLiteral("python3");
    if (metadata.empty()) {
        return;  // the table as it always was: read the same way
    }
    const QString path = m_dir.filePath(QStringLiteral("pandas.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(csv);
    file.close();
    QProcess python;
    python.start(interpreter,
                 {"-c",
                  "import sys\n"
                  "try:\n"
                  "    import pandas\n"
                  "except ImportError:\n"
                  "    print('no pandas')\n"
                  "    sys.exit(0)\n"
                  "t = pandas.read_csv(sys.argv[1], sep=';', comment='#')\n"
                  "print('|'.join(t.columns), len(t), list(t['A [V]']), list(t['level_moved']))\n",
                  path});
    QVERIFY(python.waitForFinished(60'000));
    QCOMPARE(python.readAllStandardError(), QByteArray());
    const QByteArray read = python.readAllStandardOutput();
    if (read == "no pandas\n") {
        QSKIP("python3-pandas is not installed (scripts/install-deps test installs it)");
    }
    QCOMPARE(read, QByteArray("time|elapsed_s|A [V]|B [A]|level_moved 2 [1.5, 1.25] [nan, 'B']\n"));
}

void TestTrendRecorder::csvTimeZones_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("time");
    // 2027-01-15 08:00:00.250 UTC.
    QTest::newRow("UTC") << QByteArray("UTC0") << "2027-01-15T08:00:00.250+00:00";
    QTest::newRow("two hours east") << QByteArray("XYZ-2") << "2027-01-15T10:00:00.250+02:00";
    QTest::newRow("five hours west") << QByteArray("EST5") << "2027-01-15T03:00:00.250-05:00";
    QTest::newRow("five and a half east")
        << QByteArray("IST-5:30") << "2027-01-15T13:30:00.250+05:30";
    QTest::newRow("three and a half west")
        << QByteArray("NST3:30") << "2027-01-15T04:30:00.250-03:30";
}

void TestTrendRecorder::csvTimeZones() {
    QFETCH(QByteArray, zone);
    const QByteArray zoneBefore = qgetenv("TZ");
    qputenv("TZ", zone);
    ::tzset();
    const QString time = IsoLocalTime(T0 + 250);
    qputenv("TZ", zoneBefore);
    ::tzset();
    QTEST(time, "time");
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

void TestTrendRecorder::saveOnAFullDisk() {
    // An hour of 10 s means, 18 kB: the disk is full after 4 kB of them.
    const QString path = m_dir.filePath(QStringLiteral("full.csv"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("time;elapsed_s;A [V];B [A]\n");
    old.close();
    std::optional<QString> result;
    {
        const sim::FileSizeLimit full(4000);
        result = SaveTrendCsv(path, m_threeHours, T0, T0 + 3'600'000);
    }
    QCOMPARE(result.value_or(QString()), QStringLiteral("Could not save %1: Disk full").arg(path));
    // The file is as it was: no row cut in half, no new file beside it.
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("time;elapsed_s;A [V];B [A]\n"));
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("*full*")}, QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("full.csv")});
}

QTEST_GUILESS_MAIN(TestTrendRecorder)
#include "tst_trendrecorder.moc"

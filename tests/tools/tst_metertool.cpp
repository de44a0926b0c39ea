#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "calibration/accalibration.h"
#include "calibration/qsettingsstore.h"
#include "calibration/storedsettings.h"
#include "platform/captureformat.h"
#include "pulseserver.h"
#include "support/chartframe.h"
#include "support/filesizelimit.h"
#include "support/scriptedmessageboxes.h"

using namespace veruziva;

namespace {

using Frames = std::vector<StereoFrame>;
using FrameFunction = std::function<StereoFrame(int)>;

struct ToolResult {
    int exitCode = -1;
    QStringList lines;  // standard output, line by line, trailing blanks kept
    QString errors;
};

// `input` goes to the tool's standard input; `child` runs in the tool's process before it starts.
ToolResult RunTool(const QStringList& arguments, const QProcessEnvironment& environment = {},
                   const QByteArray& input = {}, const std::function<void()>& child = {}) {
    QProcess process;
    if (child) {
        process.setChildProcessModifier(child);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("LC_ALL");
    env.insert("LC_NUMERIC", "C");
    for (const QString& key : environment.keys()) {
        env.insert(key, environment.value(key));
    }
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(METER_TOOL), arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    ToolResult result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.lines = QString::fromLocal8Bit(process.readAllStandardOutput()).split('\n');
    if (result.lines.last().isEmpty()) {
        result.lines.removeLast();
    }
    result.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// The private sound server's fed source, by number, as the tool lists it.
QString ServerDevice(const QProcessEnvironment& environment) {
    const ToolResult listed = RunTool({"--list"}, environment);
    return listed.lines.value(0) == QStringLiteral("device;name;source")
               ? listed.lines.filter(QRegularExpression(";vzpipe$")).value(0).section(';', 0, 0)
               : QString();
}

// Writes a WAV file of `count` frames with libsndfile.
void WriteWav(const QString& path, int count, const FrameFunction& frame, int channels = 2,
              int rate = SampleRate, int subtype = SF_FORMAT_PCM_16) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | subtype;
    SNDFILE* file = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    QVERIFY2(file, sf_strerror(nullptr));
    std::vector<short> samples;
    for (int i = 0; i < count; ++i) {
        const StereoFrame f = frame(i);
        samples.push_back(f.a);
        if (channels == 2) {
            samples.push_back(f.b);
        }
    }
    QCOMPARE(sf_writef_short(file, samples.data(), count), sf_count_t{count});
    sf_close(file);
}

FrameFunction Constant(std::int16_t a, std::int16_t b) {
    return [=](int) { return StereoFrame{a, b}; };
}

// Writes a settings file of the program with one calibration of all four ranges.
void WriteCalibration(const QString& path, std::int32_t rawValue, std::int32_t rawFactor,
                      std::int32_t zeroLeft, bool complete = true) {
    CalibrationState state;
    state.ZeroLeft = zeroLeft;
    for (int r = FirstRange; r <= LastRange; ++r) {
        state.RawCalibration[r] = {complete || r < LastRange ? rawValue * r : 0, rawFactor,
                                   rawFactor};
    }
    QSettingsStore store(path);
    sim::ScriptedMessageBoxes boxes;
    QVERIFY(SaveSettings(store, state, 0, boxes));
}

void WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A sampled recording's rows, `count` of them every `period` seconds from one period on: A
// 1.000 V for the first half, 2.000 V for the second; B -0.500.
QByteArray Rows(int count, double period, const QByteArray& header = "time;A[V];B[A]") {
    QByteArray rows = header + "\r\n";
    for (int row = 1; row <= count; ++row) {
        rows += QByteArray::number(row * period) + (row <= count / 2 ? ";1.000" : ";2.000") +
                ";-0.500\r\n";
    }
    return rows;
}

// 40 blocks: A 1000 then 2000 from block 20, B 500; one sample of the last four blocks of the
// channel that clips (0: A, 1: B) at the card's limit.
void WriteSteps(const QString& path, int clipping) {
    WriteWav(path, 40 * FramesPerBuffer, [=](int i) {
        const bool clip = i / FramesPerBuffer >= 36 && i % FramesPerBuffer == 0;
        return StereoFrame{static_cast<std::int16_t>(clip && clipping == 0      ? 32767
                                                     : i / FramesPerBuffer < 20 ? 1000
                                                                                : 2000),
                           static_cast<std::int16_t>(clip && clipping == 1 ? 32767 : 500)};
    });
}

}  // namespace

class TestMeterTool : public QObject {
    Q_OBJECT

private slots:
    void help();
    void silence();
    void sine441();
    void plotPictures_data();
    void plotPictures();
    void plotFailures_data();
    void plotFailures();
    void plotFromAPipe_data();
    void plotFromAPipe();
    void plotOverADay_data();
    void plotOverADay();
    void plotOnAFullDisk();
    void extraColumns_data();
    void extraColumns();
    void readingsOption_data();
    void readingsOption();
    void dcLevels_data();
    void dcLevels();
    void partialLastBlock();
    void calibratedReadings_data();
    void calibratedReadings();
    void decimalSeparatorFollowsTheLocale();
    void incompleteCalibrationReadsRaw();
    void calibrateWithASine_data();
    void calibrateWithASine();
    void spectra_data();
    void spectra();
    void waveformMeasurements_data();
    void waveformMeasurements();
    void badUsage_data();
    void badUsage();
    void badInput_data();
    void badInput();
    void unwritableOutput();
    void scopePicture_data();
    void scopePicture();
    void scopeCalibrated();
    void scopeBadUsage_data();
    void scopeBadUsage();
    void scopeUnwritablePicture();
    void liveDevicesAreListed();
    void liveCaptureMatchesTheFile_data();
    void liveCaptureMatchesTheFile();
    void liveFailures_data();
    void liveFailures();
    void recordsAWavFile();
    void recordsRowsToStandardOutput();
    void stalledInputEndsTheCapture();
    void interruptEndsTheRecordingCleanly_data();
    void interruptEndsTheRecordingCleanly();
    void closedErrorPipeLeavesATrueRecording();
    void stoppedServer_data();
    void stoppedServer();
    void recordingFailures_data();
    void recordingFailures();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QProcessEnvironment liveInput(const FrameFunction& frame, int frames);
    QTemporaryDir m_dir;
};

void TestMeterTool::help() {
    const ToolResult result = RunTool({"--help"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.lines.front().startsWith("Usage: veruziva-meter"));
    QVERIFY(result.errors.isEmpty());
}

void TestMeterTool::silence() {
    WriteWav(path("silence.wav"), 2 * FramesPerBuffer, Constant(0, 0));
    const ToolResult result = RunTool({path("silence.wav")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.lines, QStringList({"block;A;B;fA;fB;barA;barB", "0;0  ;0  ;0 ;0 ;0;0",
                                        "1;0  ;0  ;0 ;0 ;0;0"}));
}

void TestMeterTool::sine441() {
    // 441 Hz is a period of exactly 100 frames.
    WriteWav(path("sine.wav"), 3 * FramesPerBuffer, [](int i) {
        const double phase = 2 * M_PI * (i % 100) / 100.0;
        return StereoFrame{static_cast<std::int16_t>(std::lround(10000 * std::sin(phase))),
                           static_cast<std::int16_t>(std::lround(-20000 * std::sin(phase)))};
    });
    const ToolResult result = RunTool({path("sine.wav")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.lines.size(), 4);
    for (int block = 0; block < 3; ++block) {
        const QStringList fields = result.lines[block + 1].split(';');
        QCOMPARE(fields[0], QString::number(block));
        // The mean magnitude of a sine is 2/pi of its amplitude.
        QVERIFY2(std::abs(fields[1].trimmed().toInt() - 6366) <= 3, qPrintable(fields[1]));
        QVERIFY2(std::abs(fields[2].trimmed().toInt() - 12732) <= 6, qPrintable(fields[2]));
        QCOMPARE(fields[3], QStringLiteral("441 "));
        QCOMPARE(fields[4], QStringLiteral("441 "));
        QCOMPARE(fields[5], QStringLiteral("78"));   // 10000 div 128
        QCOMPARE(fields[6], QStringLiteral("156"));  // 20000 div 128
    }
    // As DC the sine averages out and no frequency is counted.
    const ToolResult dc = RunTool({"--dc", "ab", path("sine.wav")});
    QCOMPARE(dc.lines[1].section(';', 3, 4), QStringLiteral("0 ;0 "));
    QVERIFY(std::abs(dc.lines[1].section(';', 1, 1).trimmed().toInt()) <= 2);
}

void TestMeterTool::dcLevels_data() {
    QTest::addColumn<QString>("dc");
    QTest::addColumn<QString>("expected");
    QTest::newRow("AC reads magnitudes") << ""
                                         << "0;1000  ;500  ;0 ;0 ;7;3";
    QTest::newRow("DC on A") << "a"
                             << "0;1000  ;500  ;0 ;0 ;7;3";
    QTest::newRow("DC on B") << "b"
                             << "0;1000  ;-500  ;0 ;0 ;7;3";
    QTest::newRow("DC on both") << "ab"
                                << "0;1000  ;-500  ;0 ;0 ;7;3";
}

void TestMeterTool::dcLevels() {
    QFETCH(QString, dc);
    QFETCH(QString, expected);
    WriteWav(path("dc.wav"), FramesPerBuffer, Constant(1000, -500));
    const QStringList arguments =
        dc.isEmpty() ? QStringList{path("dc.wav")} : QStringList{"--dc", dc, path("dc.wav")};
    const ToolResult result = RunTool(arguments);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.lines.value(1), expected);
}

void TestMeterTool::plotPictures_data() {
    QTest::addColumn<QByteArray>("recording");  // empty: steps.wav
    QTest::addColumn<int>("clipping");          // the channel that clips, -1: none
    QTest::addColumn<bool>("rightAxis");        // B in another unit than A: its own axis
    // Where the first time tick lies, a fraction of the plot's width in: the ticks are whole
    // seconds or minutes from the recording's start, not from its first row.
    QTest::addColumn<double>("firstTick");
    QByteArray comma = Rows(40, 0.25);
    comma.replace('.', ',');
    // 0.25 s to 10 s: a tick a second, the first at 1 s.
    QTest::newRow("rows, decimal point") << Rows(40, 0.25) << -1 << true << 0.75 / 9.75;
    QTest::newRow("rows, decimal comma") << comma << -1 << true << 0.75 / 9.75;
    QTest::newRow("rows, volts on both")
        << Rows(40, 0.25, "time;A[V];B[V]") << -1 << false << 0.75 / 9.75;
    // Joined at any period: a row every 15 s (15 s to 10 min: a tick a minute), every hour.
    QTest::newRow("rows every 15 s") << Rows(40, 15) << -1 << true << 45.0 / 585;
    QTest::newRow("rows every hour") << Rows(20, 3600) << -1 << true << 3600.0 / 68400;
    // 40 blocks from 0 s to 3.62 s: a tick every half second, the first at the start.
    QTest::newRow("WAV, B clips") << QByteArray() << 1 << false << 0.0;
    QTest::newRow("WAV, A clips") << QByteArray() << 0 << false << 0.0;
}

void TestMeterTool::plotPictures() {
    QFETCH(QByteArray, recording);
    QFETCH(int, clipping);
    QFETCH(bool, rightAxis);
    QString input = path("rows.csv");
    if (recording.isEmpty()) {
        input = path("steps.wav");
        WriteSteps(input, clipping);
    } else {
        WriteFile(input, recording);
    }
    const ToolResult result = RunTool({"--dc", "ab", "--plot", input, path("plot.png")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.errors.isEmpty(), qPrintable(result.errors));
    const QImage image(path("plot.png"));
    QCOMPARE(image.size(), QSize(1000, 500));
    // What it was measured with: the calibration only when the tool measured it.
    QCOMPARE(image.text("Software"), QStringLiteral("veruziva-meter (Veruziva 0.1.0)"));
    QCOMPARE(image.text("Source"), QFileInfo(input).fileName());
    QCOMPARE(image.text("Unit A"), recording.isEmpty() ? QStringLiteral("raw units") : QString());
    const QRect plot = sim::FindPlot(image, qRgb(0, 0, 0));
    QVERIFY2(plot.width() > 700 && plot.height() > 300, qPrintable(QDebug::toString(plot)));
    // A's line (its full colour on the light theme): in the left third lower, in the right
    // third higher up (the step lies between), and through every column: no gaps.
    // Rows of A's pixels per third: [0] top, [1] bottom.
    std::array<std::array<int, 2>, 2> rows{{{image.height(), -1}, {image.height(), -1}}};
    int columnsWithA = 0;
    for (int x = plot.left(); x <= plot.right(); ++x) {
        bool a = false;
        for (int y = plot.top(); y <= plot.bottom(); ++y) {
            if (image.pixel(x, y) != qRgb(150, 130, 0)) {
                continue;
            }
            a = true;
            if (x < plot.left() + plot.width() / 3 || x >= plot.left() + 2 * plot.width() / 3) {
                auto& third = rows[x < plot.left() + plot.width() / 3 ? 0 : 1];
                third[0] = std::min(third[0], y);
                third[1] = std::max(third[1], y);
            }
        }
        columnsWithA += a ? 1 : 0;
    }
    QVERIFY(rows[0][1] >= 0 && rows[1][1] >= 0);
    // Each level is a flat line (a few rows where the step joins them), 1.0 well below 2.0.
    QVERIFY2(rows[0][1] - rows[1][0] > 100, "the step up is drawn higher");
    QVERIFY2(rows[1][1] < rows[0][1] - 100, "the right half stays up");
    QVERIFY2(columnsWithA == plot.width(), qPrintable(QString::number(columnsWithA)));
    // Clipped blocks are marked under the plot, in the strip of their channel: A's two rows
    // under the frame, B's under it.
    for (const int channel : {0, 1}) {
        const QRect strip(plot.left(), plot.bottom() + 3 + 4 * channel, plot.width(), 1);
        int red = 0;
        for (int x = strip.left(); x <= strip.right(); ++x) {
            red += image.pixel(x, strip.top()) == qRgb(255, 0, 0) ? 1 : 0;
        }
        QCOMPARE(red > 0, channel == clipping);
    }
    // B's own axis on the right, its labels in its colour (0, 130, 150).
    int labelsB = 0;
    for (int y = plot.top(); y <= plot.bottom(); ++y) {
        for (int x = plot.right() + 2; x < image.width(); ++x) {
            labelsB += image.pixel(x, y) == qRgb(0, 130, 150) ? 1 : 0;
        }
    }
    QCOMPARE(labelsB > 8, rightAxis);
    // The first column with more grid than not.
    int tick = plot.left();
    while (tick < plot.right() && [&] {
        int grid = 0;
        for (int y = plot.top(); y <= plot.bottom(); ++y) {
            grid += image.pixel(tick, y) == qRgb(200, 200, 200) ? 1 : 0;
        }
        return grid < plot.height() / 2;
    }()) {
        ++tick;
    }
    QFETCH(double, firstTick);
    const double expected = plot.left() + firstTick * plot.width();
    QVERIFY2(std::abs(tick - expected) <= 2,
             qPrintable(QStringLiteral("%1, not %2").arg(tick).arg(expected)));
}

void TestMeterTool::plotFailures_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("not sampled rows")
        << QByteArray("block;A;B\n0;1;2\n") << "plot.png" << 2 << "is not a sampled recording";
    QTest::newRow("a broken row") << QByteArray("time;A[V];B[V]\r\n0.25;1.0;x\r\n") << "plot.png"
                                  << 2 << "line 2: not a row of readings: 0.25;1.0;x";
    // A row of 2000 bytes is one line: the next line's number is 3.
    QTest::newRow("a broken row after a long one")
        << QByteArray("time;A[V];B[V]\r\n0.25;1.0;" + QByteArray(2000, ' ') +
                      "2.0\r\n0.5;1.0;x\r\n")
        << "plot.png" << 2 << ", line 3: not a row of readings: 0.5;1.0;x\n";
    QTest::newRow("no rows") << QByteArray("time;A[V];B[V]\r\n") << "plot.png" << 2
                             << "holds no rows";
    QTest::newRow("full disk") << QByteArray("time;A[V];B[V]\r\n0.25;1.0;2.0\r\n") << "/dev/full"
                               << 1 << "cannot write the picture /dev/full: Disk full";
    // Times a recording cannot hold: more than its longest capturing time, 599940 s.
    const QString beyond = "the time %1 is not one of a recording (0 to 599940 s from its start)";
    for (const char* time :
         {"1e16", "1700000000000000000", "9223372036854775.807", "599940.25", "-0.25"}) {
        QTest::newRow(time) << QByteArray("time;A[V];B[V]\r\n0.25;1;2\r\n") + time + ";1;2\r\n"
                            << "plot.png" << 2
                            << ", line 3: " + beyond.arg(QString::fromLatin1(time));
    }
    // The picture would replace the recording, by any of its names.
    for (const char* same : {"input.csv", "./input.csv", "link.csv"}) {
        QTest::newRow(same) << QByteArray("time;A[V];B[V]\r\n0.25;1.0;2.0\r\n") << same << 2
                            << QStringLiteral(
                                   "the picture %1 is the recording %2 itself; name "
                                   "another picture file")
                                   .arg(path(same), path("input.csv"));
    }
}

void TestMeterTool::plotFailures() {
    QFETCH(QByteArray, content);
    QFETCH(QString, output);
    WriteFile(path("input.csv"), content);
    QFile::remove(path("link.csv"));
    QVERIFY(QFile::link(path("input.csv"), path("link.csv")));
    const ToolResult result =
        RunTool({"--plot", path("input.csv"), output.startsWith('/') ? output : path(output)});
    QTEST(result.exitCode, "exitCode");
    QFETCH(QString, message);
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));
    QCOMPARE(ReadFile(path("input.csv")), content);
}

void TestMeterTool::plotFromAPipe_data() {
    QTest::addColumn<bool>("wav");
    QTest::newRow("rows") << false;
    QTest::newRow("WAV") << true;
}

void TestMeterTool::plotFromAPipe() {
    // What comes through a pipe can be read only once.
    QFETCH(bool, wav);
    WriteSteps(path("piped.wav"), -1);
    const QByteArray recording = wav ? ReadFile(path("piped.wav")) : Rows(40, 0.25);
    QFile::remove(path("piped.png"));
    const ToolResult result = RunTool({"--plot", "/dev/stdin", path("piped.png")}, {}, recording);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.errors.isEmpty(), qPrintable(result.errors));
    const QImage piped(path("piped.png"));
    QCOMPARE(piped.size(), QSize(1000, 500));
    // The same picture as from the file.
    WriteFile(path("piped.csv"), recording);
    const QString file = path(wav ? "piped.wav" : "piped.csv");
    QCOMPARE(RunTool({"--plot", file, path("file.png")}).exitCode, 0);
    QCOMPARE(piped, QImage(path("file.png")));
}

void TestMeterTool::plotOverADay_data() {
    QTest::addColumn<int>("hours");
    QTest::addColumn<bool>("said");
    QTest::newRow("23 hours") << 23 << false;
    QTest::newRow("24 hours") << 24 << false;
    QTest::newRow("25 hours") << 25 << true;
}

void TestMeterTool::plotOverADay() {
    QFETCH(int, hours);
    QFETCH(bool, said);
    // A row a minute from 0 s.
    QByteArray rows = "time;A[V];B[V]\r\n";
    for (int minute = 0; minute <= hours * 60; ++minute) {
        rows += QByteArray::number(minute * 60) + ";1;2\r\n";
    }
    WriteFile(path("day.csv"), rows);
    const ToolResult result = RunTool({"--plot", path("day.csv"), path("day.png")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.errors, said ? QStringLiteral("veruziva-meter: the recording spans more than "
                                                  "24 hours; the picture shows its last 24 hours\n")
                                 : QString());
}

void TestMeterTool::plotOnAFullDisk() {
    // The picture is written whole or not at all: a picture of that name stays as it was.
    QTemporaryDir dir;
    const QString picture = dir.filePath("old.png");
    WriteFile(path("rows.csv"), Rows(40, 0.25));
    WriteFile(picture, "old");
    const ToolResult result = RunTool({"--plot", path("rows.csv"), picture}, {}, {},
                                      [] { sim::FileSizeLimit::Apply(1000); });
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(
        result.errors,
        QStringLiteral("veruziva-meter: cannot write the picture %1: Disk full\n").arg(picture));
    QCOMPARE(ReadFile(picture), QByteArray("old"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.png"});
}

void TestMeterTool::extraColumns_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("line");
    // A: a square wave between the card's limits (period 512 frames): its RMS about the mean is
    // 32767.5, and it clips. B: 1000 DC, no AC part.
    QTest::newRow("rms") << QStringList{"--rms"} << "block;A;B;fA;fB;barA;barB;rmsA;rmsB"
                         << "0;32767  ;1000  ;86 ;0 ;256;7;32768  ;0  ";
    QTest::newRow("overload") << QStringList{"--overload"}
                              << "block;A;B;fA;fB;barA;barB;overA;overB"
                              << "0;32767  ;1000  ;86 ;0 ;256;7;1;0";
    QTest::newRow("both") << QStringList{"--overload", "--rms"}
                          << "block;A;B;fA;fB;barA;barB;rmsA;rmsB;overA;overB"
                          << "0;32767  ;1000  ;86 ;0 ;256;7;32768  ;0  ;1;0";
}

void TestMeterTool::extraColumns() {
    QFETCH(QStringList, options);
    WriteWav(path("limits.wav"), FramesPerBuffer, [](int i) {
        return StereoFrame{static_cast<std::int16_t>(i % 512 < 256 ? 32767 : -32768), 1000};
    });
    const ToolResult result = RunTool(options << path("limits.wav"));
    QCOMPARE(result.exitCode, 0);
    QTEST(result.lines.value(0), "header");
    QTEST(result.lines.value(1), "line");
}

void TestMeterTool::readingsOption_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("error");
    // The block of extraColumns; the columns come in the table's order, whatever the option's.
    QTest::newRow("one") << QStringList{"--readings", "over"}
                         << "block;A;B;fA;fB;barA;barB;overA;overB"
                         << "0;32767  ;1000  ;86 ;0 ;256;7;1;0"
                         << "";
    QTest::newRow("two, any order") << QStringList{"--readings", "over,rms"}
                                    << "block;A;B;fA;fB;barA;barB;rmsA;rmsB;overA;overB"
                                    << "0;32767  ;1000  ;86 ;0 ;256;7;32768  ;0  ;1;0"
                                    << "";
    QTest::newRow("a default one and --rms")
        << QStringList{"--rms", "--readings", "freq,rms"} << "block;A;B;fA;fB;barA;barB;rmsA;rmsB"
        << "0;32767  ;1000  ;86 ;0 ;256;7;32768  ;0  "
        << "";
    QTest::newRow("unknown") << QStringList{"--readings", "rms,volume"} << ""
                             << ""
                             << "--readings takes names of readings: mean, freq, bar, rms, "
                                "over";
}

void TestMeterTool::readingsOption() {
    QFETCH(QStringList, options);
    QFETCH(QString, error);
    WriteWav(path("limits.wav"), FramesPerBuffer, [](int i) {
        return StereoFrame{static_cast<std::int16_t>(i % 512 < 256 ? 32767 : -32768), 1000};
    });
    const ToolResult result = RunTool(options << path("limits.wav"));
    QCOMPARE(result.exitCode, error.isEmpty() ? 0 : 2);
    QVERIFY2(result.errors.contains(error), qPrintable(result.errors));
    QTEST(result.lines.value(0), "header");
    QTEST(result.lines.value(1), "line");
}

void TestMeterTool::partialLastBlock() {
    // 4096 frames of silence, then 100 frames at 1000: the last block reads 1000, not 24.
    WriteWav(path("partial.wav"), FramesPerBuffer + 100, [](int i) {
        return i < FramesPerBuffer ? StereoFrame{0, 0} : StereoFrame{1000, 1000};
    });
    const ToolResult result = RunTool({"--dc", "ab", path("partial.wav")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.lines.size(), 3);
    QCOMPARE(result.lines[2], QStringLiteral("1;1000  ;1000  ;0 ;0 ;7;7"));
}

void TestMeterTool::calibratedReadings_data() {
    QTest::addColumn<QString>("ranges");
    QTest::addColumn<QString>("expected");
    // Each range r was calibrated with r x 1.5 applied, read as 10000 raw units, with zero
    // offsets of 0 on A and -10 on B: B's factor is 15000 r / (10010 x 10000) and its
    // zero-corrected mean -9990.
    QTest::newRow("default ranges") << ""
                                    << "0;1.500V ;-1.497V ;0 ;0 ;78;78";
    QTest::newRow("3 V and 30 V") << "2,3"
                                  << "0;3.000V ;-4.49V ;0 ;0 ;78;78";
    QTest::newRow("3 A on B") << "1,4"
                              << "0;1.500V ;-5.988A ;0 ;0 ;78;78";
}

void TestMeterTool::calibratedReadings() {
    QFETCH(QString, ranges);
    QFETCH(QString, expected);
    WriteCalibration(path("calibration.conf"), 15000, 10000, 0);
    {
        // Channel B gets a zero offset of -10.
        QSettings file(path("calibration.conf"), QSettings::IniFormat);
        file.setValue("Zero right", -10);
    }
    WriteWav(path("levels.wav"), FramesPerBuffer, Constant(10000, -10000));
    QStringList arguments{"--dc", "ab", "--calibration", path("calibration.conf")};
    if (!ranges.isEmpty()) {
        arguments << "--range" << ranges;
    }
    const ToolResult result = RunTool(arguments << path("levels.wav"));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.lines.value(1), expected);
    QVERIFY2(result.errors.isEmpty(), qPrintable(result.errors));
}

void TestMeterTool::decimalSeparatorFollowsTheLocale() {
    WriteCalibration(path("comma.conf"), 15000, 10000, 0);
    WriteWav(path("comma.wav"), FramesPerBuffer, Constant(10000, 5000));
    QProcessEnvironment german;
    german.insert("LC_NUMERIC", "de_DE.UTF-8");
    const ToolResult result =
        RunTool({"--dc", "ab", "--calibration", path("comma.conf"), path("comma.wav")}, german);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.lines.value(1), QStringLiteral("0;1,500V ;0,750V ;0 ;0 ;78;39"));
}

void TestMeterTool::incompleteCalibrationReadsRaw() {
    WriteCalibration(path("incomplete.conf"), 15000, 10000, 0, false);
    WriteWav(path("raw.wav"), FramesPerBuffer, Constant(10000, 5000));
    const ToolResult result =
        RunTool({"--calibration", path("incomplete.conf"), "--range", "2,2", path("raw.wav")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.lines.value(1), QStringLiteral("0;10000  ;5000  ;0 ;0 ;78;39"));
    QVERIFY(result.errors.contains("no complete calibration"));
}

namespace {

// A sine on A of 64 frames a period (a block holds whole periods) and `amplitude`, from the
// middle of the blocks a calibration measures `later` when that is given; 3000 on B.
FrameFunction Sine(int amplitude, int later = 0) {
    return [=](int i) {
        const double phase = std::sin(2 * M_PI * (i % 64) / 64.0);
        const int a =
            later != 0 && i / FramesPerBuffer >= AcCalibrationBlocks / 2 ? later : amplitude;
        return StereoFrame{
            static_cast<std::int16_t>(std::clamp(std::lround(a * phase), -32768L, 32767L)),
            static_cast<std::int16_t>(std::lround(3000 * phase))};
    };
}

// The RMS about the mean of A over the blocks a calibration measures.
double RawRmsOfA(const FrameFunction& frame) {
    long double sum = 0;
    long double squares = 0;
    const int count = AcCalibrationBlocks * FramesPerBuffer;
    for (int i = 0; i < count; ++i) {
        sum += frame(i).a;
        squares += static_cast<long double>(frame(i).a) * frame(i).a;
    }
    return static_cast<double>(std::sqrt(squares / count - (sum / count) * (sum / count)));
}

}  // namespace

void TestMeterTool::calibrateWithASine_data() {
    QTest::addColumn<FrameFunction>("frame");
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("live");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const int all = AcCalibrationBlocks * FramesPerBuffer;
    QTest::newRow("sine") << Sine(10000) << all << false << 0 << "";
    QTest::newRow("sine, live") << Sine(10000) << 4 * all << true << 0 << "";
    QTest::newRow("clipped") << Sine(40000) << all << false << 1 << "clips";
    QTest::newRow("tiny") << Sine(300) << all << false << 1 << "too small";
    QTest::newRow("amplitude steps") << Sine(10000, 10400) << all << false << 1 << "not steady";
    QTest::newRow("too short") << Sine(10000) << all - 1 << false << 2
                               << "too short to calibrate with";
}

void TestMeterTool::calibrateWithASine() {
    QFETCH(FrameFunction, frame);
    QFETCH(int, frames);
    QFETCH(bool, live);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QString settings = path("ac.conf");
    QFile::remove(settings);
    if (exitCode != 0) {
        WriteCalibration(settings, 15000, 10000, 0);
    }
    const QByteArray before = ReadFile(settings);
    QStringList input{path("ac.wav")};
    QProcessEnvironment environment;
    if (live) {
        environment = liveInput(frame, frames);
        input = QStringList{
            "--device",
            RunTool({"--list"}, environment).lines.filter("vzlive").value(0).section(';', 0, 0)};
    } else {
        WriteWav(path("ac.wav"), frames, frame);
    }
    const double applied = 1.25;
    const ToolResult result = RunTool(
        QStringList{"--calibrate-ac", "2", "1.25", "--channels", "a", "--calibration", settings} +
            input,
        environment);
    QVERIFY2(result.exitCode == exitCode, qPrintable(result.errors));
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));
    if (exitCode != 0) {
        QCOMPARE(ReadFile(settings), before);
        QVERIFY(result.lines.isEmpty());
        return;
    }
    QCOMPARE(result.lines.size(), 2);  // the header and channel A
    QSettingsStore store(settings);
    QVERIFY(store.open());
    const double factor = store.readText(AcFactorValueName(2, Side::Left)).value.toDouble();
    const double expected = applied / RawRmsOfA(frame);
    QVERIFY2(std::abs(factor / expected - 1) < 1e-6, qPrintable(QString::number(factor)));
    QCOMPARE(store.readText(AcFactorValueName(2, Side::Right)).status,
             SettingsStore::ReadStatus::Missing);
    // Made on the live device, which the settings now name; a recording on no known device.
    const QString device = store.readText(MadeOnValueName(2, Side::Left)).value;
    QCOMPARE(device, live ? store.readText(SoundDeviceNameValue).value : QString());
    QCOMPARE(device.isEmpty(), !live);
    store.close();

    WriteWav(path("ac.wav"), frames, frame);
    const ToolResult read =
        RunTool({"--calibration", settings, "--range", "2,1", "--rms", path("ac.wav")});
    QCOMPARE(read.exitCode, 0);
    const QStringList fields = read.lines.value(1).split(';');
    QCOMPARE(fields.size(), 9);
    QVERIFY2(fields[7].endsWith("V ") && std::abs(fields[7].chopped(2).toDouble() - applied) < 2e-3,
             qPrintable(fields[7]));
    QVERIFY2(fields[8].trimmed().toInt() > 2000, qPrintable(fields[8]));  // raw: no unit
    QVERIFY2(read.errors.contains("no calibration of channel B's 0.3 V range"),
             qPrintable(read.errors));
}

namespace {

// The RMS of a sine whose peaks reach full scale: 0 dBFS.
const double FullScaleRms = 32768 / std::sqrt(2.0);

// Sines on A, each its frequency in Hz and its level in dBFS; B silent.
FrameFunction Tones(const QList<QPair<double, double>>& tones) {
    return [=](int i) {
        double a = 0;
        for (const auto& [hz, dbfs] : tones) {
            a += FullScaleRms * std::sqrt(2.0) * std::pow(10, dbfs / 20) *
                 std::sin(2 * M_PI * hz * i / SampleRate);
        }
        return StereoFrame{static_cast<std::int16_t>(std::lround(a)), 0};
    };
}

// The figures the tool printed, by name: --distortion's "A.frequency_hz" and the others of its
// lines ("A.tone" 0 after "A no tone", else 1); --spectrum's "rows" under its header, "peak_hz"
// and "peak_A" of A's highest row, and "averages" of its comment lines.
QMap<QString, double> Figures(const QStringList& lines) {
    QMap<QString, double> figures;
    const bool spectrum = lines.contains("frequency;A;B");
    for (const QString& line : lines) {
        if (!spectrum) {
            const QStringList words = line.split(' ');
            figures[words[0] + ".tone"] = words.value(1) == "no" ? 0 : 1;
            for (const QString& word : words.filter("=")) {
                figures[words[0] + '.' + word.section('=', 0, 0)] = word.section('=', 1).toDouble();
            }
        } else if (line.startsWith("# Averages: ")) {
            figures["averages"] = line.section(' ', 2, 2).toDouble();
        } else if (!line.startsWith('#') && line != "frequency;A;B") {
            figures["rows"] += 1;
            const double level = line.section(';', 1, 1).toDouble();
            if (!figures.contains("peak_A") || level > figures["peak_A"]) {
                figures["peak_A"] = level;
                figures["peak_hz"] = line.section(';', 0, 0).toDouble();
            }
        }
    }
    return figures;
}

using Expected = QList<std::tuple<QString, double, double>>;  // figure, value, tolerance

}  // namespace

void TestMeterTool::spectra_data() {
    QTest::addColumn<QStringList>("arguments");  // "CAL" the calibration; "LIVE": live input
    QTest::addColumn<FrameFunction>("frame");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("message");  // an error's, with status 2; empty: success
    QTest::addColumn<Expected>("expected");
    const FrameFunction harmonics = Tones({{1000, -6}, {2000, -66}, {3000, -76}});
    const double thd =
        20 * std::log10(std::hypot(std::pow(10, -60 / 20.0), std::pow(10, -70 / 20.0)));
    const Expected measured{{"A.frequency_hz", 1000, 0.01},
                            {"A.thd_db", thd, 0.1},
                            {"A.level_dbfs", -6, 0.01},
                            {"B.tone", 0, 0}};
    const int threeSeconds = 3 * SampleRate;
    QTest::newRow("distortion") << QStringList{"--distortion"} << harmonics << threeSeconds << ""
                                << measured;
    QTest::newRow("distortion, live") << QStringList{"--distortion", "LIVE", "--blocks", "16"}
                                      << harmonics << 24 * FramesPerBuffer << "" << measured;
    // Range 2 reads 3 V per 10000 raw units.
    QTest::newRow("distortion in volts")
        << QStringList{"--distortion", "--calibration", "CAL", "--range", "2,1"} << harmonics
        << threeSeconds << ""
        << Expected{{"A.level_v", FullScaleRms * std::pow(10, -6 / 20.0) * 3e-4, 1e-4}};
    QTest::newRow("the smaller tone named")
        << QStringList{"--distortion", "--fundamental", "2500", "--window", "hann"}
        << Tones({{1000, -6}, {2500, -30}}) << threeSeconds << ""
        << Expected{{"A.frequency_hz", 2500, 0.01}, {"A.level_dbfs", -30, 0.01}};
    // 186 bins of 8192 frames: 1001.22 Hz, on a bin; the file holds two spans of the four.
    const double onBin = 186.0 * SampleRate / 8192;
    const Expected spectrum{{"rows", 4096, 0}, {"peak_hz", onBin, 0.01}, {"peak_A", -6, 0.01}};
    QTest::newRow("spectrum") << QStringList{"--spectrum", "8192", "--average", "4"}
                              << Tones({{onBin, -6}}) << 20000 << ""
                              << spectrum + Expected{{"averages", 2, 0}};
    QTest::newRow("spectrum, live")
        << QStringList{"--spectrum", "8192", "--average", "2", "LIVE"} << Tones({{onBin, -6}})
        << 24 * FramesPerBuffer << "" << spectrum + Expected{{"averages", 2, 0}};
    QTest::newRow("too short to measure") << QStringList{"--distortion"} << harmonics
                                          << FramesPerBuffer - 1 << "too short" << Expected{};
    QTest::newRow("too short a span")
        << QStringList{"--spectrum", "8192"} << harmonics << 8191 << "too short" << Expected{};
    QTest::newRow("bad size") << QStringList{"--spectrum", "5000"} << harmonics << threeSeconds
                              << "--spectrum takes a size of 4096, 8192" << Expected{};
    QTest::newRow("bad window") << QStringList{"--distortion", "--window", "hamming"} << harmonics
                                << threeSeconds << "--window takes rectangular, hann" << Expected{};
}

void TestMeterTool::spectra() {
    QFETCH(QStringList, arguments);
    QFETCH(FrameFunction, frame);
    QFETCH(int, frames);
    QFETCH(QString, message);
    QFETCH(Expected, expected);
    WriteCalibration(path("spectra.conf"), 15000, 10000, 0);
    arguments.replaceInStrings(QRegularExpression("^CAL$"), path("spectra.conf"));
    QProcessEnvironment environment;
    if (arguments.contains("LIVE")) {
        environment = liveInput(frame, frames);
        const QString device =
            RunTool({"--list"}, environment).lines.filter("vzlive").value(0).section(';', 0, 0);
        arguments.replace(arguments.indexOf("LIVE"), "--device");
        arguments.insert(arguments.indexOf("--device") + 1, device);
    } else {
        WriteWav(path("spectra.wav"), frames, frame);
        arguments << path("spectra.wav");
    }
    const ToolResult result = RunTool(arguments, environment);
    QVERIFY2(result.exitCode == (message.isEmpty() ? 0 : 2), qPrintable(result.errors));
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));
    const QMap<QString, double> figures = Figures(result.lines);
    for (const auto& [name, value, tolerance] : expected) {
        QVERIFY2(figures.contains(name) && std::abs(figures[name] - value) <= tolerance,
                 qPrintable(QStringLiteral("%1: %2, not %3 within %4")
                                .arg(name)
                                .arg(figures.value(name))
                                .arg(value)
                                .arg(tolerance)));
    }
    QVERIFY(!message.isEmpty() || !figures.isEmpty());
    QVERIFY(message.isEmpty() || result.lines.isEmpty());
}

namespace {

// A square of 98.7 frames a period on A, high (10000) 30 % of it, with ramps of 10 frames; B at
// 500.
StereoFrame SquareAndDc(int i) {
    const double p = std::fmod(i, 98.7);
    const double high = 0.3 * 98.7;
    const double a = p < 10          ? -10000 + 2000 * p
                     : p < high      ? 10000
                     : p < high + 10 ? 10000 - 2000 * (p - high)
                                     : -10000;
    return StereoFrame{static_cast<std::int16_t>(std::lround(a)), 500};
}

}  // namespace

void TestMeterTool::waveformMeasurements_data() {
    QTest::addColumn<QStringList>("arguments");  // "CAL" the calibration; "LIVE": live input
    QTest::addColumn<QString>("message");        // an error's, with status 2; empty: success
    QTest::addColumn<QString>("header");         // empty: not looked at
    QTest::addColumn<int>("blocks");
    QTest::addColumn<Expected>("expected");  // block 0's fields by column; NaN: empty
    const double none = std::nan("");
    const Expected square{{"freqA[Hz]", SampleRate / 98.7, 1e-3},
                          {"freqB[Hz]", none, 0},
                          {"duty+A[%]", 30, 0.01},
                          {"duty+B[%]", none, 0},
                          {"maxA[raw]", 10000, 0},
                          {"maxB[raw]", 500, 0}};
    QTest::newRow("named") << QStringList{"--measure", "freq,duty+,max"} << ""
                           << "block;freqA[Hz];freqB[Hz];duty+A[%];duty+B[%];maxA[raw];maxB[raw]"
                           << 4 << square;
    QTest::newRow("live") << QStringList{"--measure", "freq,duty+,max", "LIVE", "--blocks", "2"}
                          << ""
                          << "" << 2 << square;
    // Range 2 reads 3 V per 10000 raw units.
    QTest::newRow("in volts") << QStringList{"--measure", "pp,rise", "--calibration",
                                             "CAL",       "--range", "2,1"}
                              << ""
                              << "block;ppA[V];ppB[V];riseA[s];riseB[s]" << 4
                              << Expected{{"ppA[V]", 6, 1e-9},
                                          {"riseA[s]", 0.8 * 10 / SampleRate, 0.01e-6}};
    QTest::newRow("all") << QStringList{"--measure", "all"} << ""
                         << "" << 4
                         << Expected{{"fallA[s]", 0.8 * 10 / SampleRate, 0.01e-6},
                                     {"acrmsB[raw]", 0, 0},
                                     {"meanB[raw]", 500, 0}};
    QTest::newRow("unknown name") << QStringList{"--measure", "freq,jitter"}
                                  << "--measure takes names of measurements: "
                                  << "" << 0 << Expected{};
    QTest::newRow("with --window") << QStringList{"--measure", "freq", "--window", "hann"}
                                   << "--measure takes only --calibration"
                                   << "" << 0 << Expected{};
}

void TestMeterTool::waveformMeasurements() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QFETCH(QString, header);
    QFETCH(int, blocks);
    QFETCH(Expected, expected);
    WriteCalibration(path("measure.conf"), 15000, 10000, 0);
    arguments.replaceInStrings(QRegularExpression("^CAL$"), path("measure.conf"));
    QProcessEnvironment environment;
    if (arguments.contains("LIVE")) {
        environment = liveInput(SquareAndDc, 24 * FramesPerBuffer);
        arguments[arguments.indexOf("LIVE")] =
            "--device=" +
            RunTool({"--list"}, environment).lines.filter("vzlive").value(0).section(';', 0, 0);
    } else {
        WriteWav(path("measure.wav"), 3 * FramesPerBuffer + 100, SquareAndDc);
        arguments << path("measure.wav");
    }
    const ToolResult result = RunTool(arguments, environment);
    QVERIFY2(result.exitCode == (message.isEmpty() ? 0 : 2), qPrintable(result.errors));
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));
    QCOMPARE(result.lines.size(), message.isEmpty() ? blocks + 1 : 0);
    if (!header.isEmpty()) {
        QCOMPARE(result.lines.value(0), header);
    }
    const QStringList columns = result.lines.value(0).split(';');
    const QStringList fields = result.lines.value(1).split(';');
    for (const auto& [column, value, tolerance] : expected) {
        const QString field = fields.value(columns.indexOf(column), "missing");
        QVERIFY2(std::isnan(value)
                     ? field.isEmpty()
                     : !field.isEmpty() && std::abs(field.toDouble() - value) <= tolerance,
                 qPrintable(QStringLiteral("%1: '%2', not %3").arg(column, field).arg(value)));
    }
}

void TestMeterTool::badUsage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("no file") << QStringList{} << "no recording named";
    QTest::newRow("--plot without a picture")
        << QStringList{"--plot", "a.csv"} << "--plot needs a recording and a picture file";
    QTest::newRow("--plot live") << QStringList{"--plot", "a.csv", "--device", "0", "b.png"}
                                 << "--plot takes only the MEASURE options";
    QTest::newRow("two files") << QStringList{"a.wav", "b.wav"} << "one recording at a time";
    QTest::newRow("--serve without a device")
        << QStringList{"--serve", "5025"} << "--serve needs --device N";
    QTest::newRow("--serve on no port") << QStringList{"--serve", "localhost:http", "--device", "0"}
                                        << "--serve takes [ADDRESS:]PORT";
    QTest::newRow("--serve on the usual port, with blocks")
        << QStringList{"--serve", "--blocks", "2", "--device", "0"}
        << "--serve takes only --device, --calibration, --range and --dc";
    QTest::newRow("--serve with blocks")
        << QStringList{"--serve", "5025", "--device", "0", "--blocks", "2"}
        << "--serve takes only --device, --calibration, --range and --dc";
    QTest::newRow("unknown option") << QStringList{"--frobnicate", "a.wav"} << "frobnicate";
    QTest::newRow("bad --dc") << QStringList{"--dc", "c", "a.wav"} << "--dc takes a, b or ab";
    QTest::newRow("--range without --calibration")
        << QStringList{"--range", "1,2", "a.wav"} << "--range needs --calibration";
    QTest::newRow("range out of 1 to 4")
        << QStringList{"--calibration", "x.conf", "--range", "5,1", "a.wav"}
        << "--range takes two ranges";
    QTest::newRow("one range only")
        << QStringList{"--calibration", "x.conf", "--range", "2", "a.wav"}
        << "--range takes two ranges";
    QTest::newRow("missing value") << QStringList{"a.wav", "--dc"} << "Missing value";
    QTest::newRow("--devices with a file")
        << QStringList{"--devices", "a.wav"}
        << "--devices and --line-in take only --calibration FILE";
    QTest::newRow("--devices and --line-in")
        << QStringList{"--devices", "--line-in"}
        << "--devices and --line-in take only --calibration FILE";
    QTest::newRow("--calibrate-ac without --calibration")
        << QStringList{"--calibrate-ac", "3V", "1.5", "a.wav"}
        << "--calibrate-ac needs --calibration FILE";
    QTest::newRow("--calibrate-ac on range 5")
        << QStringList{"--calibrate-ac", "5", "1.5", "--calibration", "x.conf", "a.wav"}
        << "--calibrate-ac takes a range from 1 to 4, or 0.3V, 3V, 30V or 3A, not '5'";
    QTest::newRow("--calibrate-ac with a zero sine")
        << QStringList{"--calibrate-ac", "0.3V", "0", "--calibration", "x.conf", "a.wav"}
        << "the sine's RMS as a number above 0, not '0'";
    QTest::newRow("--channels alone")
        << QStringList{"--channels", "a", "a.wav"} << "--channels belongs to --calibrate-ac";
    QTest::newRow("--window without --distortion or --spectrum")
        << QStringList{"--window", "hann", "a.wav"}
        << "--fundamental, --window and --average belong to --distortion and --spectrum";
    QTest::newRow("--spectrum with --blocks")
        << QStringList{"--spectrum", "4096", "--device", "0", "--blocks", "2"}
        << "--spectrum takes only --window, --average, --calibration, --range and --device";
    QTest::newRow("recording without --device")
        << QStringList{"--wav", "x.wav", "--seconds", "1"}
        << "--wav, --csv, --period and --seconds need --device";
}

void TestMeterTool::badUsage() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const ToolResult result = RunTool(arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));
    QVERIFY(result.lines.isEmpty());
}

void TestMeterTool::badInput_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << "absent.wav"
                                  << "cannot read";
    QTest::newRow("not a sound file") << "text.wav"
                                      << "cannot read";
    QTest::newRow("truncated header") << "truncated.wav"
                                      << "cannot read";
    QTest::newRow("48000 frames/s") << "rate.wav"
                                    << "48000 frames/s";
    QTest::newRow("mono") << "mono.wav"
                          << "1 channel(s)";
    QTest::newRow("24-bit") << "deep.wav"
                            << "24 bit";
    QTest::newRow("missing calibration file") << "nocal"
                                              << "cannot read calibration file";
}

void TestMeterTool::badInput() {
    QFETCH(QString, file);
    QFETCH(QString, message);
    {
        QFile text(path("text.wav"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("block;A;B\nthis is not a recording\n");
    }
    WriteWav(path("good.wav"), FramesPerBuffer, Constant(1, 1));
    QFile good(path("good.wav"));
    QVERIFY(good.open(QIODevice::ReadOnly));
    QFile truncated(path("truncated.wav"));
    QVERIFY(truncated.open(QIODevice::WriteOnly));
    truncated.write(good.read(30));
    truncated.close();
    WriteWav(path("rate.wav"), 100, Constant(1, 1), 2, 48000);
    WriteWav(path("mono.wav"), 100, Constant(1, 1), 1);
    WriteWav(path("deep.wav"), 100, Constant(1, 1), 2, SampleRate, SF_FORMAT_PCM_24);

    const QStringList arguments =
        file == "nocal" ? QStringList{"--calibration", path("absent.conf"), path("good.wav")}
                        : QStringList{path(file)};
    const ToolResult result = RunTool(arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));
    QVERIFY(result.errors.startsWith("veruziva-meter: "));
    QVERIFY(result.lines.isEmpty());
}

void TestMeterTool::unwritableOutput() {
    WriteWav(path("full.wav"), FramesPerBuffer, Constant(0, 0));
    QProcess process;
    process.setStandardOutputFile("/dev/full");
    process.start(QStringLiteral(METER_TOOL), {path("full.wav")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardError().contains("cannot write the results"));
    // A picture that cannot be written is a failure too, not an empty file and success.
    const ToolResult picture = RunTool({"--scope", "0", "/dev/full", path("full.wav")});
    QCOMPARE(picture.exitCode, 1);
    QVERIFY2(picture.errors.contains("cannot write the picture /dev/full: Disk full"),
             qPrintable(picture.errors));
}

void TestMeterTool::scopePicture_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QRgb>("colour");
    // Block 1: A = -12800 (y = 232) in frames 0 to 499, 12800 (y = 32) in 500 to 999, then 0
    // (y = 132, under B's trace); B = 0 throughout (y = 132).
    const QRgb yellow = 0xFFFFFF00;
    const QRgb aqua = 0xFF00FFFF;
    const QRgb teal = 0xFF008080;
    QTest::newRow("1:1 shows frames 0 to 265") << QStringList{} << 100 << 232 << yellow;
    QTest::newRow("B drawn over A at y = 132") << QStringList{} << 100 << 132 << aqua;
    QTest::newRow("1:8 reaches frame 800") << QStringList{"--step", "8"} << 100 << 32 << yellow;
    QTest::newRow("1:8 frame 1600 under B") << QStringList{"--step", "8"} << 200 << 132 << aqua;
    QTest::newRow("trigger on A starts after the step")
        << QStringList{"--trigger", "a", "--level", "100"} << 0 << 32 << yellow;
    QTest::newRow("trigger on A: the low part not shown")
        << QStringList{"--trigger", "a", "--level", "100"} << 100 << 232 << teal;
    QTest::newRow("trigger on B, never crossed")
        << QStringList{"--trigger", "b"} << 100 << 232 << yellow;
}

void TestMeterTool::scopePicture() {
    QFETCH(QStringList, options);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QRgb, colour);
    WriteWav(path("scope.wav"), 2 * FramesPerBuffer, [](int i) {
        const int inBlock = i - FramesPerBuffer;
        std::int16_t a = inBlock < 500 ? -12800 : inBlock < 1000 ? 12800 : 0;
        return StereoFrame{a, 0};
    });
    const QString picture = path("scope.png");
    QFile::remove(picture);
    const ToolResult result =
        RunTool(QStringList{"--scope", "1", picture} + options + QStringList{path("scope.wav")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.errors.isEmpty(), qPrintable(result.errors));
    QCOMPARE(result.lines.size(), 3);  // the table is printed as usual
    const QImage image(picture);
    QCOMPARE(image.size(), QSize(265, 266));
    QCOMPARE(image.pixel(x, y), colour);
}

void TestMeterTool::scopeCalibrated() {
    // 3 V on the 3 V range (10000 raw units) is drawn 121 pixels above centre: y = 12.
    WriteCalibration(path("scope.conf"), 15000, 10000, 0);
    WriteWav(path("fullscale.wav"), FramesPerBuffer, Constant(10000, 0));
    const ToolResult result =
        RunTool({"--calibration", path("scope.conf"), "--range", "2,2", "--scope", "0",
                 path("fullscale.png"), path("fullscale.wav")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.lines.value(1).section(';', 1, 1), QStringLiteral("3.000V "));
    const QImage image(path("fullscale.png"));
    QCOMPARE(image.pixel(50, 12), 0xFFFFFF00u);
    // A file of an earlier version: calibrated by DC, when and where not recorded.
    QCOMPARE(image.text("Source"), QStringLiteral("fullscale.wav"));
    QCOMPARE(image.text("Range A"), QStringLiteral("3 V"));
    QCOMPARE(image.text("Unit A"), QStringLiteral("V"));
    QCOMPARE(image.text("Level as calibrated A"), QStringLiteral("not checked"));
    QCOMPARE(image.text("Calibration B 3 A"),
             QStringLiteral("DC, factor 0.0006, made unknown, on unknown"));
}

void TestMeterTool::scopeBadUsage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no picture file")
        << QStringList{"--scope", "0"} << 2 << "--scope needs a block number and a picture file";
    QTest::newRow("picture but no recording")
        << QStringList{"--scope", "0", "p.png"} << 2 << "no recording named";
    QTest::newRow("negative block")
        << QStringList{"--scope", "-1", "p.png", "a.wav"} << 2 << "--scope takes a block number";
    QTest::newRow("bad step") << QStringList{"--scope", "0", "p.png", "--step", "3", "a.wav"} << 2
                              << "--step takes 1 or 8";
    QTest::newRow("bad source") << QStringList{"--scope", "0", "p.png", "--trigger", "c", "a.wav"}
                                << 2 << "--trigger takes a or b";
    QTest::newRow("level too high")
        << QStringList{"--scope", "0", "p.png", "--trigger", "a", "--level", "16001", "a.wav"} << 2
        << "--level takes a level from 0 to 16000";
    QTest::newRow("level without trigger")
        << QStringList{"--scope", "0", "p.png", "--level", "5", "a.wav"} << 2
        << "--level needs --trigger";
    QTest::newRow("step without scope")
        << QStringList{"--step", "8", "a.wav"} << 2 << "need --scope";
    QTest::newRow("block beyond the recording")
        << QStringList{"--scope", "2", "p.png", "short.wav"} << 2
        << "there is no block 2: the recording has 2 block(s)";
}

void TestMeterTool::scopeBadUsage() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    WriteWav(path("short.wav"), FramesPerBuffer + 1, Constant(0, 0));
    for (QString& argument : arguments) {
        if (argument.endsWith(".wav") || argument.endsWith(".png")) {
            argument = path(argument);
        }
    }
    const ToolResult result = RunTool(arguments);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));
    QVERIFY(!QFile::exists(path("p.png")));
}

void TestMeterTool::scopeUnwritablePicture() {
    WriteWav(path("picture.wav"), FramesPerBuffer, Constant(0, 0));
    const ToolResult result =
        RunTool({"--scope", "0", path("no/such/folder/p.png"), path("picture.wav")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.errors.contains("cannot write the picture"), qPrintable(result.errors));
}

// An ALSA configuration with a capture input fed from a raw file (ALSA's file plugin), and
// the same frames as a WAV file for the file mode.
QProcessEnvironment TestMeterTool::liveInput(const FrameFunction& frame, int frames) {
    std::vector<StereoFrame> data;
    for (int i = 0; i < frames; ++i) {
        data.push_back(frame(i));
    }
    QFile raw(path("live.raw"));
    raw.open(QIODevice::WriteOnly);
    raw.write(reinterpret_cast<const char*>(data.data()),
              static_cast<qint64>(data.size() * sizeof(StereoFrame)));
    raw.close();
    WriteWav(path("live.wav"), frames, frame);
    QFile config(path("live.conf"));
    config.open(QIODevice::WriteOnly);
    config.write(
        QStringLiteral("pcm.vzlive {\n type file\n slave.pcm \"null\"\n file \"/dev/null\"\n"
                       " infile \"%1\"\n hint { show on description \"Live file\" }\n}\n"
                       "ctl.vzlive { type hw card 0 }\n")
            .arg(path("live.raw"))
            .toUtf8());
    config.close();
    QProcessEnvironment environment;
    environment.insert("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" + path("live.conf"));
    return environment;
}

void TestMeterTool::liveDevicesAreListed() {
    const QProcessEnvironment environment = liveInput(Constant(1, 2), FramesPerBuffer);
    const ToolResult result = RunTool({"--list"}, environment);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.lines.value(0), QStringLiteral("device;name;alsa"));
    QVERIFY2(result.lines.filter(QRegularExpression("^\\d+;P\\d+: Live file;vzlive$")).size() == 1,
             qPrintable(result.lines.join('|')));
}

void TestMeterTool::liveCaptureMatchesTheFile_data() {
    QTest::addColumn<QStringList>("options");
    QTest::newRow("notified flow") << QStringList{};
    QTest::newRow("polled grabs") << QStringList{"--grab"};
    QTest::newRow("DC on A") << QStringList{"--dc", "a"};
}

void TestMeterTool::liveCaptureMatchesTheFile() {
    QFETCH(QStringList, options);
    // A 441 Hz sine on A (period 100 frames) and a slow ramp on B.
    const QProcessEnvironment environment = liveInput(
        [](int i) {
            return StereoFrame{static_cast<std::int16_t>(
                                   std::lround(9000 * std::sin(2 * M_PI * (i % 100) / 100.0))),
                               static_cast<std::int16_t>(i / 8 - 3000)};
        },
        8 * FramesPerBuffer);
    const ToolResult listed = RunTool({"--list"}, environment);
    const QString device = listed.lines.filter("vzlive").value(0).section(';', 0, 0);
    QVERIFY(!device.isEmpty());
    const ToolResult live =
        RunTool(options + QStringList{"--device", device, "--blocks", "5"}, environment);
    QVERIFY2(live.exitCode == 0, qPrintable(live.errors));
    QCOMPARE(live.lines.size(), 6);
    const ToolResult file =
        RunTool(options.filter(QRegularExpression("^(?!--grab)")) << path("live.wav"));
    if (options.contains("--grab")) {
        // Grabs restart the input each time: each is a whole block of the file in order.
        QCOMPARE(live.lines.value(1).section(';', 3), file.lines.value(1).section(';', 3));
    } else {
        QCOMPARE(live.lines, file.lines.mid(0, 6));
    }
}

void TestMeterTool::liveFailures_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no such device") << QStringList{"--device", "99", "--blocks", "2"} << 1
                                    << "Problem with WaveInOpen! Application will terminate.";
    QTest::newRow("no such device, polled")
        << QStringList{"--device", "99", "--blocks", "2", "--grab"} << 1
        << "Problem with WaveInOpen via hard way! Application will terminate.";
    QTest::newRow("no block count")
        << QStringList{"--device", "0"} << 2 << "--device needs --blocks";
    QTest::newRow("negative device") << QStringList{"--device", "-1", "--blocks", "1"} << 2
                                     << "--device takes a device number from 0, not '-1'";
    QTest::newRow("zero blocks") << QStringList{"--device", "0", "--blocks", "0"} << 2
                                 << "--device needs --blocks";
    QTest::newRow("blocks without device")
        << QStringList{"--blocks", "3", "a.wav"} << 2 << "need --device";
    QTest::newRow("device and a file") << QStringList{"--device", "0", "--blocks", "1", "a.wav"}
                                       << 2 << "no recording file with it";
    QTest::newRow("list with more")
        << QStringList{"--list", "a.wav"} << 2 << "--list takes no other arguments";
}

void TestMeterTool::liveFailures() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const ToolResult result = RunTool(arguments, liveInput(Constant(1, 2), FramesPerBuffer));
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));
}

namespace {

// The live input's device number.
QString LiveDevice(const QProcessEnvironment& environment) {
    return RunTool({"--list"}, environment).lines.filter("vzlive").value(0).section(';', 0, 0);
}

}  // namespace

void TestMeterTool::recordsAWavFile() {
    // The file input delivers at once: the recording is cut exactly at its 2 s.
    const QProcessEnvironment environment = liveInput(
        [](int i) {
            return StereoFrame{static_cast<std::int16_t>(i % 30000), 777};
        },
        10 * FramesPerBuffer);
    const ToolResult result =
        RunTool({"--device", LiveDevice(environment), "--wav", path("rec.wav"), "--seconds", "2"},
                environment);
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.errors.contains("The size of the WAV file will be 344kB. Proceed?"));
    const QByteArray file = ReadFile(path("rec.wav"));
    QCOMPARE(file.size(), 44 + 2 * 176400);
    // Read back by a program that no one here wrote: the samples are the input's, in order.
    SF_INFO info{};
    SNDFILE* sound = sf_open(path("rec.wav").toLocal8Bit().constData(), SFM_READ, &info);
    QVERIFY(sound);
    QCOMPARE(info.frames, sf_count_t{88200});
    std::vector<short> samples(2 * 88200);
    sf_readf_short(sound, samples.data(), 88200);
    sf_close(sound);
    for (int frame = 0; frame < 10 * FramesPerBuffer; frame += 997) {
        QCOMPARE(samples[static_cast<std::size_t>(2 * frame)], static_cast<short>(frame % 30000));
        QCOMPARE(samples[static_cast<std::size_t>(2 * frame + 1)], short{777});
    }
}

void TestMeterTool::recordsRowsToStandardOutput() {
    // Rows are sampled by a clock, so the input must come in real time: the private pulse
    // server's feeder counts its rounds of 30000 frames on channel B.
    PulseServer server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    const QProcessEnvironment environment;
    const QString device = ServerDevice(environment);
    QVERIFY(!device.isEmpty());
    const ToolResult result = RunTool(
        {"--device", device, "--dc", "ab", "--csv", "-", "--period", "0.25", "--seconds", "1"},
        environment);
    server.stop();
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.lines.size(), 5);
    QCOMPARE(result.lines.front(), QStringLiteral("time;A[ ];B[ ]\r"));
    int lastRound = 0;
    QSet<int> means;
    for (int row = 1; row <= 4; ++row) {
        const QStringList fields = result.lines[row].chopped(1).split(';');
        QCOMPARE(fields.size(), 3);
        QCOMPARE(fields[0], QString::number(0.25 * row));
        // A is the mean of a block of the rising ramp; B the round the block was in.
        bool numbers = false;
        const int a = fields[1].toInt(&numbers);
        QVERIFY2(numbers && a >= -15000 && a < 15000, qPrintable(result.lines[row]));
        means.insert(a);
        const int round = fields[2].toInt(&numbers);
        QVERIFY2(numbers && round >= lastRound, qPrintable(result.lines.join('|')));
        lastRound = round;
    }
    // Each row took the latest reading, not one held from the start.
    QVERIFY2(means.size() >= 2, qPrintable(result.lines.join('|')));
}

void TestMeterTool::stalledInputEndsTheCapture() {
    // The sound server suspends its source: no block comes, and the tool says so and fails
    // instead of waiting for ever.
    PulseServer server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString device = ServerDevice(environment);
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(METER_TOOL), {"--device", device, "--blocks", "100000"});
    QVERIFY(tool.waitForStarted());
    QByteArray lines;
    while (lines.count('\n') < 2 && tool.waitForReadyRead(10000)) {
        lines += tool.readAllStandardOutput();
    }
    QVERIFY2(lines.count('\n') >= 2, qPrintable(tool.readAllStandardError()));
    QVERIFY(server.suspendSource(true));
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitCode(), 1);
    const QString errors = QString::fromLocal8Bit(tool.readAllStandardError());
    QVERIFY2(errors.contains("no data from the input device for 2 seconds"), qPrintable(errors));
}

// The tool records with its standard error into a pipe whose reader has gone (`2>&1 | head -1`);
// a level move makes it write there. It records on, and the file ends true.
void TestMeterTool::closedErrorPipeLeavesATrueRecording() {
    PulseServer server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString device = ServerDevice(environment);
    QTemporaryDir settings;
    int errors[2] = {-1, -1};
    QVERIFY(::pipe2(errors, O_CLOEXEC) == 0);
    QProcess tool;
    QProcessEnvironment env = environment;
    env.insert("XDG_CONFIG_HOME", settings.path());
    tool.setProcessEnvironment(env);
    // Standard error is our pipe; SIGPIPE as from a shell (this test ignores it, and that would
    // be inherited).
    const int writeEnd = errors[1];
    tool.setChildProcessModifier([writeEnd] {
        ::dup2(writeEnd, STDERR_FILENO);
        ::signal(SIGPIPE, SIG_DFL);
    });
    tool.start(QStringLiteral(METER_TOOL),
               {"--device", device, "--wav", path("piped.wav"), "--seconds", "2"});
    QVERIFY(tool.waitForStarted());
    ::close(errors[1]);
    // The reader takes the first line, then goes (`2>&1 | head -1`).
    QByteArray read;
    char byte = 0;
    while (!read.contains('\n') && ::read(errors[0], &byte, 1) == 1) {
        read += byte;
    }
    ::close(errors[0]);
    QVERIFY2(read.contains("Proceed?"), read.constData());
    QVERIFY(server.pactl({"set-source-volume", "vzpipe", "30000"}));
    QVERIFY(tool.waitForFinished(20000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
    const QByteArray file = ReadFile(path("piped.wav"));
    QCOMPARE(file.size(), 44 + 2 * 176400);
    QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 40), quint32{2 * 176400});
}

void TestMeterTool::stoppedServer_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("said");  // on standard output or error
    // No server at all: ALSA, without the server's own plugin devices, which could not open.
    QTest::newRow("no server, --devices")
        << QStringList{"--devices"}
        << "audio: ALSA without the sound server's devices (no sound server answers: ";
    // The listing falls back to ALSA, without the devices that go through the stopped server.
    QTest::newRow("--devices") << QStringList{"--devices"}
                               << "audio: ALSA without the sound server's devices (a sound "
                                  "server is there but does not answer: the sound server did "
                                  "not answer in time)";
    QTest::newRow("--list") << QStringList{"--list"}
                            << "veruziva-meter: the sound server does not answer (is it stopped "
                               "or hung?): its inputs are not available";
    // A recording ended by SIGTERM ends while the server is still stopped, its file true.
    QTest::newRow("recording, SIGTERM")
        << QStringList{"--wav", "stalled.wav", "--seconds", "60"} << QString();
}

// A sound server that is stopped (hung, or its machine suspended) keeps its socket and answers
// nothing: the tool ends all the same, while the server is still stopped, and says why.
void TestMeterTool::stoppedServer() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    PulseServer server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" + server.alsaConfig());
    QTemporaryDir settings;
    environment.insert("XDG_CONFIG_HOME", settings.path());
    const bool recording = arguments.contains("--wav");
    if (recording) {
        arguments = QStringList{"--device", ServerDevice(environment)} + arguments;
        arguments[arguments.indexOf("stalled.wav")] = path("stalled.wav");
    }
    const bool gone = QString(QTest::currentDataTag()).startsWith("no server");
    if (gone) {
        server.stop();
    }
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(METER_TOOL), arguments);
    QVERIFY(tool.waitForStarted());
    if (recording) {
        tool.setReadChannel(QProcess::StandardError);
        QByteArray errors;
        while (!errors.contains("Proceed?") && tool.waitForReadyRead(10000)) {
            errors += tool.readAllStandardError();
        }
        QVERIFY(errors.contains("Proceed?"));
        QTest::qWait(500);
    }
    if (!gone) {
        server.pause(true);
    }
    if (recording) {
        ::kill(static_cast<pid_t>(tool.processId()), SIGTERM);
    }
    // Well before the client library's own limit of 30 s.
    const bool ended = tool.waitForFinished(15000);
    if (!gone) {
        server.pause(false);
    }
    QVERIFY2(ended, "the tool waited for the stopped server");
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    const QString output =
        QString::fromLocal8Bit(tool.readAllStandardOutput() + tool.readAllStandardError());
    QVERIFY2(said.isEmpty() || output.contains(said), qPrintable(output));
    QVERIFY2(!output.contains("vzpulse"), qPrintable(output));
    if (recording) {
        const QByteArray file = ReadFile(path("stalled.wav"));
        QVERIFY(file.size() > 44);
        QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 40),
                 static_cast<quint32>(file.size() - 44));
    }
}

void TestMeterTool::interruptEndsTheRecordingCleanly_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("Ctrl+C") << SIGINT;
    QTest::newRow("the terminal closed") << SIGHUP;
}

void TestMeterTool::interruptEndsTheRecordingCleanly() {
    QFETCH(int, signal);
    const QProcessEnvironment environment = liveInput(Constant(5, 6), 4 * FramesPerBuffer);
    QFile::remove(path("interrupted.csv"));  // the row before left its own
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(environment);
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(METER_TOOL),
               {"--device", LiveDevice(environment), "--csv", path("interrupted.csv"), "--period",
                "0.25", "--seconds", "60"});
    QVERIFY(tool.waitForStarted());
    // Interrupted once it has written a row: a slow start (a sanitizer's) must not end it sooner.
    QTRY_VERIFY_WITH_TIMEOUT(ReadFile(path("interrupted.csv")).count("\r\n") >= 2, 20000);
    ::kill(static_cast<pid_t>(tool.processId()), signal);
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(ReadFile(path("interrupted.csv"))).split("\r\n");
    QCOMPARE(lines.front(), QStringLiteral("time;A[ ];B[ ]"));
    QVERIFY2(lines.size() >= 3 && lines.size() < 20, qPrintable(lines.join('|')));
    QCOMPARE(lines.last(), QString());  // the last row is complete
}

void TestMeterTool::recordingFailures_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("a full disk") << QStringList{"--wav", "/dev/full", "--seconds", "1"} << 1
                                 << "Disk full";
    QTest::newRow("no access") << QStringList{"--csv", "/sys/x.csv", "--period",
                                              "1",     "--seconds",  "2"}
                               << 1 << "File access denied";
    QTest::newRow("longer than a WAV file holds")
        << QStringList{"--wav", "x.wav", "--seconds", "12180"} << 1 << "Integer overflow";
    QTest::newRow("no period") << QStringList{"--csv", "x.csv", "--seconds", "2"} << 2
                               << "--period takes";
    QTest::newRow("odd period") << QStringList{"--csv", "x.csv", "--period", "2", "--seconds", "2"}
                                << 2 << "--period takes";
    QTest::newRow("both kinds") << QStringList{"--csv", "x.csv", "--wav", "y.wav", "--seconds", "2"}
                                << 2 << "record either";
    QTest::newRow("neither kind") << QStringList{"--seconds", "2"} << 2
                                  << "record either --wav FILE or --csv FILE";
    QTest::newRow("with a block count")
        << QStringList{"--wav", "x.wav", "--seconds", "1", "--blocks", "2"} << 2
        << "a recording takes no --blocks or --grab";
    QTest::newRow("a period for a WAV file")
        << QStringList{"--wav", "x.wav", "--period", "1", "--seconds", "1"} << 2
        << "--period belongs to --csv";
    QTest::newRow("and a file to measure")
        << QStringList{"--wav", "x.wav", "--seconds", "1", "a.wav"} << 2
        << "--device captures live: no recording file with it";
    QTest::newRow("no time") << QStringList{"--wav", "x.wav"} << 2 << "--seconds takes";
    // The time is taken as given or refused: beyond 9999 s only whole minutes.
    QTest::newRow("beyond 9999 s, not whole minutes")
        << QStringList{"--wav", "x.wav", "--seconds", "10000"} << 2 << "--seconds takes";
    QTest::newRow("a fraction") << QStringList{"--wav", "x.wav", "--seconds", "1.5"} << 2
                                << "--seconds takes";
    QTest::newRow("not a number") << QStringList{"--wav", "x.wav", "--seconds", "nan"} << 2
                                  << "--seconds takes";
    QTest::newRow("no file name") << QStringList{"--wav", "", "--seconds", "1"} << 2
                                  << "take a file name";
    QTest::newRow("a named pipe") << QStringList{"--csv", "fifo", "--period", "1", "--seconds", "2"}
                                  << 1 << "Not a file";
}

void TestMeterTool::recordingFailures() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QProcessEnvironment environment = liveInput(Constant(1, 2), 4 * FramesPerBuffer);
    QFile::remove(path("fifo"));
    QCOMPARE(::mkfifo(path("fifo").toLocal8Bit().constData(), 0600), 0);
    for (QString& argument : arguments) {
        if (argument == "fifo") {
            argument = path("fifo");
        }
    }
    const ToolResult result =
        RunTool(QStringList{"--device", LiveDevice(environment)} + arguments, environment);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));
}

QTEST_GUILESS_MAIN(TestMeterTool)
#include "tst_metertool.moc"

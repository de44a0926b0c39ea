#include <signal.h>
#include <sys/resource.h>

#include <QtTest>
#include <vector>

#include "platform/captureformat.h"
#include "recording/recordingcontrol.h"
#include "support/sampledrecordingrows.h"
#include "support/scriptedmessageboxes.h"
#include "wavcheck.h"

using namespace veruziva;
using namespace veruziva::recordingmessages;
using sim::ScriptedMessageBoxes;

namespace {

class FakeTimer : public RecordingTimer {
public:
    void start(int intervalMs) override {
        interval = intervalMs;
        active = true;
    }
    void stop() override { active = false; }
    int interval = 0;
    bool active = false;
};

// The window around the recording: the capture's Start/Stop, the caption, the readouts.
struct Window {
    ScriptedMessageBoxes boxes;
    FakeTimer timer;
    bool running = false;
    int toggles = 0;
    bool recording = false;
    QString readingA = QStringLiteral("1234  ");
    QString readingB = QStringLiteral("-56  ");
    QString separator = QStringLiteral(".");
    std::int64_t nowMs = 0;
    RecordingControl control{
        boxes, timer,
        RecordingHooks{[this] { return running; },
                       [this] {
                           running = !running;
                           ++toggles;
                       },
                       [this](bool on) { recording = on; }, [this] { return readingA; },
                       [this] { return readingB; }, [this] { return separator; },
                       [this] { return nowMs; }}};
    // A sampling period in which a block was measured.
    void tick() {
        control.BlockMeasured();
        control.MyTimerTimer();
    }
};

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<std::byte> Block(int frames = FramesPerBuffer) {
    return std::vector<std::byte>(static_cast<std::size_t>(frames) * 4, std::byte{7});
}

CaptureDefinition Continual(const QString& file, const QString& time, int unit = 0) {
    CaptureDefinition definition;
    definition.recordType = CaptureDefinition::Continual;
    definition.nameOfFile = file;
    definition.captureTime = time;
    definition.timeMeasure = unit;
    return definition;
}

CaptureDefinition Sampled(const QString& file, const QString& time, int period, int unit = 0) {
    CaptureDefinition definition;
    definition.nameOfFile = file;
    definition.captureTime = time;
    definition.samplingPeriod = period;
    definition.timeMeasure = unit;
    return definition;
}

}  // namespace

class TestRecordingControl : public QObject {
    Q_OBJECT

private slots:
    void continualStartStartsTheCaptureAndTheEndStopsIt();
    void theTimerEndsARecordingWhoseInputStalled_data();
    void theTimerEndsARecordingWhoseInputStalled();
    void sizeQuestion_data();
    void sizeQuestion();
    void cancelCreatesNoFile();
    void longestContinualRecording_data();
    void longestContinualRecording();
    void stopSavingEarlyLeavesATrueHeader();
    void diskFullDuringARecording();
    void sampledRows_data();
    void sampledRows();
    void sampledHeaderAndComma();
    void shortTimeEndsAfterItsFirstRow();
    void theEndDoesNotRestartACaptureTheUserStopped();
    void filesThatCannotBeCreated_data();
    void filesThatCannotBeCreated();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestRecordingControl::continualStartStartsTheCaptureAndTheEndStopsIt() {
    Window w;
    w.control.SavingClick(Continual(path("one.wav"), "1"), {});
    QVERIFY(w.running);
    QVERIFY(w.recording);
    QVERIFY(w.control.SavingActive());
    QCOMPARE(w.timer.interval, 1000 + ContinualGraceMs);
    QVERIFY(w.timer.active);
    // 44100 frames: the eleventh block of 4096 completes the second and ends the recording.
    for (int block = 0; block < 10; ++block) {
        w.control.AppendBlock(Block());
    }
    QVERIFY(w.recording);
    w.control.AppendBlock(Block());
    QVERIFY(!w.recording);
    QVERIFY(!w.running);
    QVERIFY(!w.timer.active);
    QVERIFY(wavcheck::Problem(path("one.wav"), 176400).isEmpty());
    w.control.AppendBlock(Block());  // after the end: nothing
    w.control.MyTimerTimer();
    const QString problem = wavcheck::Problem(path("one.wav"), 176400);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(w.toggles, 2);
}

void TestRecordingControl::theTimerEndsARecordingWhoseInputStalled_data() {
    // Blocks (continual) or sampling periods with a measured block (sampled), the input
    // stalling after the first ones; the file then says less than the time, and a box says so
    // once, when the recording ends.
    QTest::addColumn<bool>("continual");
    QTest::addColumn<bool>("stalled");
    QTest::addColumn<QString>("said");
    QTest::newRow("continual, stalled")
        << true << true
        << "The input device delivered nothing for a while during the recording: %1 holds 0.3 s "
           "of signal recorded over 2.0 s, its parts joined where the input stopped.";
    QTest::newRow("continual, never stalled") << true << false << "";
    QTest::newRow("sampled, stalled")
        << false << true
        << "The input device delivered nothing for a while during the recording: %1 has no row "
           "for 1 of its 4 sampling periods.";
    QTest::newRow("sampled, never stalled") << false << false << "";
}

void TestRecordingControl::theTimerEndsARecordingWhoseInputStalled() {
    QFETCH(bool, continual);
    QFETCH(bool, stalled);
    QFETCH(QString, said);
    Window w;
    const QString file =
        path(QStringLiteral("%1.%2").arg(QTest::currentDataTag(), continual ? "wav" : "csv"));
    w.control.SavingClick(continual ? Continual(file, "1") : Sampled(file, "1", 0), {});
    w.boxes.clear();
    for (int block = 0; block < 3; ++block) {
        if (continual) {
            w.control.AppendBlock(Block());
        } else {
            w.tick();
        }
    }
    if (stalled) {
        w.control.InputStalled();
    }
    w.nowMs = 2000;
    while (w.recording) {
        w.control.MyTimerTimer();  // the continual recording's end; the sampled one's periods
    }
    QVERIFY(!w.running);
    QCOMPARE(w.boxes.texts(), said.isEmpty() ? QStringList{} : QStringList{said.arg(file)});
    if (continual) {
        const QString problem = wavcheck::Problem(file, 3 * 16384);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
}

void TestRecordingControl::sizeQuestion_data() {
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QString>("question");
    QTest::newRow("1 s") << "1" << 0 << "The size of the WAV file will be 172kB. Proceed?";
    QTest::newRow("1 min") << "1" << 1 << "The size of the WAV file will be 10335kB. Proceed?";
}

void TestRecordingControl::sizeQuestion() {
    QFETCH(QString, time);
    QFETCH(int, unit);
    QFETCH(QString, question);
    Window w;
    w.control.SavingClick(Continual(path("q.wav"), time, unit), {});
    QCOMPARE(w.boxes.shown().front().kind, ScriptedMessageBoxes::Kind::Confirm);
    QCOMPARE(w.boxes.texts(), QStringList{question});
}

void TestRecordingControl::cancelCreatesNoFile() {
    Window w;
    w.boxes.queueAnswer(Answer::Cancel);
    w.control.SavingClick(Continual(path("refused.wav"), "5"), {});
    QCOMPARE(w.boxes.texts().last(), QStringLiteral("O.K. Data will not be saved."));
    QVERIFY(!QFile::exists(path("refused.wav")));
    QVERIFY(!w.recording);
    QVERIFY(!w.running);
    QCOMPARE(w.toggles, 2);  // started for the question, stopped again
    QVERIFY(!w.timer.active);
}

void TestRecordingControl::longestContinualRecording_data() {
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("202 min") << "202" << true;
    QTest::newRow("203 min") << "203" << false;
}

void TestRecordingControl::longestContinualRecording() {
    QFETCH(QString, minutes);
    QFETCH(bool, accepted);
    Window w;
    w.boxes.queueAnswer(Answer::Cancel);
    w.control.SavingClick(Continual(path("long.wav"), minutes, 1), {});
    if (accepted) {
        QCOMPARE(w.boxes.texts().front(), SizeQuestion(202u * 60u * 176400u));
    } else {
        QCOMPARE(w.boxes.texts(), QStringList{"Integer overflow"});
        QCOMPARE(w.boxes.shown().front().kind, ScriptedMessageBoxes::Kind::Error);
        QVERIFY(w.running);  // the capture keeps running
        QVERIFY(!w.recording);
    }
    QVERIFY(!QFile::exists(path("long.wav")));
}

void TestRecordingControl::stopSavingEarlyLeavesATrueHeader() {
    Window w;
    w.control.SavingClick(Continual(path("early.wav"), "10"), {});
    QCOMPARE(wavcheck::Le32(Read(path("early.wav")), 40), 1764000u);  // the plan, while it runs
    for (int block = 0; block < 21; ++block) {
        w.control.AppendBlock(Block());
    }
    w.control.AppendBlock(Block(1000));  // the partial block of the stop
    w.control.SavingClick({}, {});       // Stop saving after about 2 s
    QVERIFY(!w.recording);
    QVERIFY(!w.running);
    const QString problem = wavcheck::Problem(path("early.wav"), 21 * 16384 + 4000);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestRecordingControl::diskFullDuringARecording() {
    // The file may not grow past 100002 bytes: the disk is full mid-recording.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100002;  // not on a frame boundary
    setrlimit(RLIMIT_FSIZE, &small);
    Window w;
    w.control.SavingClick(Continual(path("full.wav"), "10"), {});
    for (int block = 0; block < 20; ++block) {
        w.control.AppendBlock(Block());
    }
    setrlimit(RLIMIT_FSIZE, &old);
    // One box, the recording over with its file closed and its header true; the capture goes on.
    QCOMPARE(w.boxes.texts(), (QStringList{SizeQuestion(1764000), "Disk full"}));
    QVERIFY(!w.recording);
    QVERIFY(!w.timer.active);
    QVERIFY(w.running);
    // Six blocks and the whole frames of the seventh that fitted; nothing else.
    const QString problem = wavcheck::Problem(path("full.wav"), 100000 - 44);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestRecordingControl::sampledRows_data() {
    AddSampledRecordingRows("1234;-56");
    QTest::newRow("2 hours at 1 hod.") << "120" << 1 << 7 << 2 << "7200;1234;-56";
}

void TestRecordingControl::sampledRows() {
    QFETCH(QString, time);
    QFETCH(int, unit);
    QFETCH(int, period);
    QFETCH(int, rows);
    QFETCH(QString, last);
    Window w;
    w.control.SavingClick(Sampled(path("rows.csv"), time, period, unit), {});
    QCOMPARE(w.timer.interval, SamplingInterval(period));
    QCOMPARE(w.control.SampleRows(), static_cast<std::uint32_t>(rows));
    int ticks = 0;
    while (w.recording && ticks < 1000) {
        w.tick();
        ++ticks;
    }
    QCOMPARE(ticks, rows);  // it ends by itself after its last row
    QVERIFY(!w.running);
    const QStringList lines =
        QString::fromUtf8(Read(path("rows.csv"))).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), rows + 1);
    QCOMPARE(lines.front(), QStringLiteral("time;A[ ];B[ ]"));
    QCOMPARE(lines.last(), last);
    if (period == 0) {
        QCOMPARE(lines.mid(1, 5), QStringList({"0.25;1234;-56", "0.5;1234;-56", "0.75;1234;-56",
                                               "1;1234;-56", "1.25;1234;-56"}));
    }
}

void TestRecordingControl::sampledHeaderAndComma() {
    Window w;
    w.separator = QStringLiteral(",");
    w.readingA = QStringLiteral("1,234V ");
    w.readingB = QStringLiteral("0,512A ");
    w.control.SavingClick(Sampled(path("comma.csv"), "1", 1), {true, true, false, true});
    w.tick();
    w.readingA = QStringLiteral("12,34A ");  // a range change during the recording
    w.tick();
    QCOMPARE(Read(path("comma.csv")),
             QByteArray("time;A[V];B[A]\r\n0,5;1,234;0,512\r\n1;12,34;0,512\r\n"));
    QVERIFY(!w.recording);
    // A separator of several bytes (Arabic) is not written: the file keeps single bytes.
    w.separator = QString(QChar(0x066B));
    w.readingA = QStringLiteral("1") + w.separator + QStringLiteral("234V ");
    w.control.SavingClick(Sampled(path("arabic.csv"), "1", 1), {true, true, false, true});
    w.tick();
    QCOMPARE(Read(path("arabic.csv")), QByteArray("time;A[V];B[A]\r\n0.5;1.234;0,512\r\n"));
}

void TestRecordingControl::shortTimeEndsAfterItsFirstRow() {
    Window w;
    w.control.SavingClick(Sampled(path("short.csv"), "10", 4), {});  // 10 s at "1 min."
    QCOMPARE(w.control.SampleRows(), 1u);
    w.tick();
    QVERIFY(!w.recording);
    QCOMPARE(Read(path("short.csv")), QByteArray("time;A[ ];B[ ]\r\n60;1234;-56\r\n"));
}

void TestRecordingControl::theEndDoesNotRestartACaptureTheUserStopped() {
    Window w;
    w.control.SavingClick(Sampled(path("stopped.csv"), "1", 0), {});
    w.running = false;  // the user pressed Stop during the recording
    for (int tick = 0; tick < 4; ++tick) {
        w.tick();
    }
    QVERIFY(!w.recording);
    QVERIFY(!w.running);
    QCOMPARE(w.toggles, 1);  // only the start's
}

void TestRecordingControl::filesThatCannotBeCreated_data() {
    QTest::addColumn<int>("recordType");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("WAV in a folder without access") << 0 << "/sys/x.wav"
                                                    << "File access denied";
    QTest::newRow("WAV on a full disk") << 0 << "/dev/full"
                                        << "Disk full";
    QTest::newRow("CSV on a full disk") << 1 << "/dev/full"
                                        << "Disk full";
    QTest::newRow("CSV where no folder is") << 1 << "/nonexistent/x.csv"
                                            << "I/O error 2: ";
}

void TestRecordingControl::filesThatCannotBeCreated() {
    QFETCH(int, recordType);
    QFETCH(QString, file);
    QFETCH(QString, message);
    Window w;
    CaptureDefinition definition = recordType == 0 ? Continual(file, "1") : Sampled(file, "1", 0);
    w.control.SavingClick(definition, {});
    QVERIFY2(w.boxes.texts().last().startsWith(message), qPrintable(w.boxes.texts().last()));
    QCOMPARE(w.boxes.shown().last().kind, ScriptedMessageBoxes::Kind::Error);
    // The recording does not start; the capture started for it keeps running.
    QVERIFY(!w.recording);
    QVERIFY(!w.control.SavingActive());
    QVERIFY(!w.timer.active);
    QVERIFY(w.running);
}

QTEST_GUILESS_MAIN(TestRecordingControl)
#include "tst_recordingcontrol.moc"

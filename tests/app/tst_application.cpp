#include <signal.h>

#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "../recording/wavcheck.h"
#include "app/application.h"
#include "app/blockrate.h"
#include "app/soundmeter.h"
#include "base/endsignals.h"
#include "platform/runtimeerror.h"
#include "scripteddialogs.h"
#include "support/memorysettingsstore.h"
#include "support/simbench.h"

using namespace veruziva;

namespace {

// An object whose events fail the way an action does when the runtime raises an error.
class FailingAction : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            throw RangeCheckError();
        }
        return QObject::event(event);
    }
};

// A machine with one card, its mixer and a line input; the card delivers a ramp on A.
struct OneCard : sim::SimBench {
    MemorySettingsStore settings;
    OneCard() : SimBench({"Line In"}, LineControls::None) {
        addCard("Card", [](std::uint64_t frame) {
            return StereoFrame{static_cast<std::int16_t>(frame % 1000), 5};
        });
    }
};

int argc = 1;
char name[] = "tst_application";
char* argv[] = {name, nullptr};

}  // namespace

class TestApplication : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void generalErrorHandlerShowsTheErrorAndGoesOn();
    void startUpFailureEndsTheProgramWhenTheLoopStarts();
    void closeEndsTheProgram();
    void endingSignalsCompleteTheRecording_data();
    void endingSignalsCompleteTheRecording();
    void brokenPipeIsOnlyAFailedWrite();
    void blockRate_data();
    void blockRate();
    void cleanupTestCase();

private:
    VeruzivaApplication* m_application = nullptr;
};

void TestApplication::initTestCase() {
    m_application = new VeruzivaApplication(argc, argv);
}

void TestApplication::init() {
    // An end requested twice by an earlier program (Close, then the window closing) leaves a
    // quit waiting that would end the next one at once.
    QCoreApplication::processEvents();
}

void TestApplication::cleanupTestCase() {
    delete m_application;
}

void TestApplication::generalErrorHandlerShowsTheErrorAndGoesOn() {
    ScriptedDialogs dialogs;
    m_application->setErrorBoxes(&dialogs);
    FailingAction action;
    QCoreApplication::postEvent(&action, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&action, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    QCOMPARE(dialogs.boxes.texts(), QStringList({"Range check error", "Range check error"}));
    QCOMPARE(dialogs.boxes.shown().front().kind, sim::ScriptedMessageBoxes::Kind::Error);
    m_application->setErrorBoxes(nullptr);
}

void TestApplication::startUpFailureEndsTheProgramWhenTheLoopStarts() {
    // No input device: the first message is shown, start-up runs on, and the program ends as
    // soon as its event loop runs; no later message is seen.
    sim::SimWaveInput waveInput;
    sim::SimMixerService mixers;
    MemorySettingsStore settings;
    ScriptedDialogs dialogs;
    bool loopRan = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    const int status =
        RunProgram(*m_application, waveInput, mixers, settings, dialogs, [&](TSoundMeter& window) {
            loopRan = window.isVisible();
            watchdog.start(5000);
        });
    QCOMPARE(status, 0);  // not the watchdog's
    QVERIFY(loopRan);
    QCOMPARE(dialogs.boxes.texts(), QStringList{"Input devices are not available"});
}

void TestApplication::closeEndsTheProgram() {
    OneCard card;
    sim::SimWaveInput& waveInput = card.waveInput;
    ScriptedDialogs dialogs;
    const int status = RunProgram(
        *m_application, waveInput, card.mixers, card.settings, dialogs, [](TSoundMeter& window) {
            QTimer::singleShot(50, &window, [&window] { window.controls().Close->click(); });
            QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        });
    QCOMPARE(status, 0);
    QVERIFY(dialogs.boxes.shown().isEmpty());
    QVERIFY(!waveInput.isOpen());  // the capture device is closed on the way out
}

void TestApplication::endingSignalsCompleteTheRecording_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestApplication::endingSignalsCompleteTheRecording() {
    // The desktop ends the program during a recording: it ends as Close does, and the WAV
    // file tells the truth about the two blocks it holds.
    QFETCH(int, signal);
    const QTemporaryDir dir;
    OneCard card;
    sim::SimWaveInput& waveInput = card.waveInput;
    ScriptedDialogs dialogs;
    dialogs.definition.recordType = CaptureDefinition::Continual;
    dialogs.definition.captureTime = QStringLiteral("10");
    dialogs.definition.nameOfFile = dir.filePath("ended.wav");
    const int status = RunProgram(*m_application, waveInput, card.mixers, card.settings, dialogs,
                                  [&](TSoundMeter& window) {
                                      window.controls().Saving->click();
                                      waveInput.deliverFrames(2 * FramesPerBuffer);
                                      QTimer::singleShot(50, [signal] { ::raise(signal); });
                                      QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
                                  });
    QCOMPARE(status, 0);
    const QString problem = wavcheck::Problem(dir.filePath("ended.wav"), 2 * 16384);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestApplication::brokenPipeIsOnlyAFailedWrite() {
    // Output into a pipe whose reader has gone: the program lives on (a recording in progress
    // is not cut off with its header untrue), and it does not end either.
    int ended = 0;
    {
        const EndSignals ending([&ended] { ++ended; });
        ::raise(SIGPIPE);
        QCoreApplication::processEvents();
    }
    QCOMPARE(ended, 0);
}

void TestApplication::blockRate_data() {
    QTest::addColumn<QList<int>>("shownAtMs");
    QTest::addColumn<QString>("summary");
    QTest::newRow("none") << QList<int>{} << "veruziva: 0 blocks shown in 0.0 s (0.00 a second)";
    QTest::newRow("one") << QList<int>{500} << "veruziva: 1 blocks shown in 0.0 s (0.00 a second)";
    QTest::newRow("every block") << QList<int>{0, 93, 186, 279, 372}
                                 << "veruziva: 5 blocks shown in 0.4 s (10.75 a second)";
    QTest::newRow("one lost") << QList<int>{0, 93, 279, 372}
                              << "veruziva: 4 blocks shown in 0.4 s (8.06 a second)";
}

void TestApplication::blockRate() {
    // What --statistics prints at the end: blocks shown, and their rate from first to last.
    QFETCH(QList<int>, shownAtMs);
    QFETCH(QString, summary);
    BlockRate rate;
    const BlockRate::Clock::time_point start{};
    for (const int ms : shownAtMs) {
        rate.blockShown(start + std::chrono::milliseconds(ms));
    }
    QCOMPARE(QString::fromStdString(rate.summary()), summary);
}

QTEST_APPLESS_MAIN(TestApplication)
#include "tst_application.moc"

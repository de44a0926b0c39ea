#include <QtTest>
#include <atomic>
#include <cmath>
#include <deque>
#include <map>
#include <optional>

#include "calibration/calibrationprocedure.h"
#include "calibration/storedsettings.h"
#include "capture/captureengine.h"
#include "measurement/numberformat.h"
#include "platform/fatalerrors.h"
#include "platform/sim/simwaveinput.h"
#include "support/memorysettingsstore.h"
#include "support/scriptedmessageboxes.h"

using namespace veruziva;
using namespace veruziva::calibrationmessages;

namespace {

struct Levels {
    int a = 0;
    int b = 0;
};

// The person at the bench: answers the questions from a script, applies to the inputs what
// each question asks for, and types the scripted values.
class Bench : public MessageBoxes, public ValueEntry {
public:
    // Every box, in order; a value dialog shows as "[value]".
    QStringList log;
    std::deque<Answer> answers;  // for confirmations; Yes / OK when empty
    std::deque<std::optional<QString>> entries;
    Levels zero{12, -7};
    std::map<int, std::deque<Levels>> rangeLevels;  // per range, one per time it is asked
    std::atomic<int> levelA{0};
    std::atomic<int> levelB{0};
    std::function<void()> onQuestion;

    void showMessage(const QString& text) override { log << text; }
    void showError(const QString& text) override { log << "error: " + text; }
    Answer confirm(const QString& text, ConfirmButtons buttons) override {
        log << text;
        if (onQuestion) {
            onQuestion();
        }
        Answer answer = buttons == ConfirmButtons::YesNo ? Answer::Yes : Answer::Ok;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        if (answer == Answer::Ok && text == ZeroQuestion) {
            apply(zero);
        }
        for (int range = FirstRange; range <= LastRange; ++range) {
            if (answer == Answer::Ok && text == RangeQuestion(range) &&
                !rangeLevels[range].empty()) {
                apply(rangeLevels[range].front());
                rangeLevels[range].pop_front();
            }
        }
        return answer;
    }
    void ShowCalibrationValue(double& value) override {
        log << "[value]";
        if (entries.empty()) {
            return;
        }
        const auto entry = entries.front();
        entries.pop_front();
        if (entry) {
            value = TextToNumber(entry->toStdString());
        }
    }
    // What is applied reaches the inputs three blocks later, as a real input settles: only the
    // fourth grab after a question sees it.
    void apply(Levels levels) {
        pending = levels;
        grabsSinceApplied = 0;
    }
    void grabbing() {
        if (pending && ++grabsSinceApplied == 4) {
            levelA = pending->a;
            levelB = pending->b;
            pending.reset();
        }
    }
    std::optional<Levels> pending;
    int grabsSinceApplied = 0;
    // A reading that gives the wanted ratio for an entry on a range.
    Levels readingFor(int range, double entry, int ratio = 16000) const {
        const double corrected = ratio * entry / RangeFullScale(range);
        return {zero.a + static_cast<int>(std::lround(corrected)),
                zero.b + static_cast<int>(std::lround(corrected))};
    }
};

// The capture as the procedure sees it, with the bench's inputs settling between grabs.
class SettlingInput : public PolledInput {
public:
    SettlingInput(CaptureEngine& engine, Bench& bench) : m_engine(engine), m_bench(bench) {}
    void CloseWaveIn() override { m_engine.CloseWaveIn(); }
    void OpenWaveInPolled() override { m_engine.OpenWaveInPolled(); }
    void OpenWaveIn() override { m_engine.OpenWaveIn(); }
    void GrabBlock() override {
        m_bench.grabbing();
        m_engine.GrabBlock();
    }
    std::span<const StereoFrame> GrabbedFrames() const override { return m_engine.GrabbedFrames(); }

private:
    CaptureEngine& m_engine;
    Bench& m_bench;
};

// The procedure over the real capture engine on the in-memory service.
struct Rig {
    Bench bench;
    sim::SimWaveInput service;
    sim::ScriptedMessageBoxes fatalBoxes;
    FatalErrors fatal{fatalBoxes, nullptr};
    CaptureEngine engine{service, fatal, [](WaveInHandle, WaveInEvent) {}};
    SettlingInput input{engine, bench};
    CalibrationState state;
    MemorySettingsStore store;
    std::vector<bool> rangeButtons;
    bool buttonsEnabled = false;
    int dispatches = 0;

    Rig() {
        service.addDevice("Bench", [this](std::uint64_t) {
            return StereoFrame{static_cast<std::int16_t>(bench.levelA.load()),
                               static_cast<std::int16_t>(bench.levelB.load())};
        });
        service.setDelivery(sim::SimWaveInput::Delivery::Immediate);
        engine.OpenWaveIn();
        bench.onQuestion = [this] { atLastQuestion = state; };
    }
    // The state as the last question found it: what a run measured before it was cancelled.
    CalibrationState atLastQuestion;
    void run() {
        CalibrationHooks hooks;
        hooks.setRangeButtonsEnabled = [this](bool enabled) {
            rangeButtons.push_back(enabled);
            buttonsEnabled = enabled;
        };
        hooks.rangeButtonsEnabled = [this] { return buttonsEnabled; };
        hooks.dispatchEvents = [this] { ++dispatches; };
        hooks.selectedDevice = [] { return 0; };
        CalibrationProcedure(state, input, bench, bench, store, hooks).CalibrateClick();
    }
    // Scripts every range with an entry and a reading that passes.
    void scriptAllRanges(const std::array<const char*, 4>& entriesPerRange) {
        for (int range = FirstRange; range <= LastRange; ++range) {
            const QString entry =
                QString::fromLatin1(entriesPerRange[static_cast<std::size_t>(range - 1)]);
            bench.entries.push_back(entry);
            bench.rangeLevels[range].push_back(
                bench.readingFor(range, TextToNumber(entry.toStdString())));
        }
    }
};

}  // namespace

Q_DECLARE_METATYPE(Levels)

class TestCalibrationProcedure : public QObject {
    Q_OBJECT

private slots:
    void declinedRunChangesNothing();
    void cancelInTheZeroStep_data();
    void cancelInTheZeroStep();
    void zeroCheck_data();
    void zeroCheck();
    void cancelKeepsTheCalibrationInForce();
    void zeroEntriesAreAskedAgain_data();
    void zeroEntriesAreAskedAgain();
    void entriesAreReadAsNumbers_data();
    void entriesAreReadAsNumbers();
    void suggestedRangeWarning_data();
    void suggestedRangeWarning();
    void ratioWindow_data();
    void ratioWindow();
    void workedExampleOnRange2();
    void completeRunIsSavedAndRestored();
    void entriesThatCannotBeStored_data();
    void entriesThatCannotBeStored();
    void failedSave();
};

void TestCalibrationProcedure::declinedRunChangesNothing() {
    Rig rig;
    rig.state.ZeroLeft = 5;
    rig.state.Calibrated = true;
    rig.state.CalFactor[2] = {1.0, 2.0};
    rig.state.RawCalibration[3] = {1, 2, 3};
    const CalibrationState before = rig.state;
    const WaveInHandle handle = rig.engine.Handle();
    rig.bench.answers = {Answer::No};
    rig.run();
    QCOMPARE(rig.bench.log, QStringList({Opening, Declined}));
    QCOMPARE(rig.state.ZeroLeft, before.ZeroLeft);
    QCOMPARE(rig.state.CalFactor, before.CalFactor);
    QCOMPARE(rig.state.RawCalibration, before.RawCalibration);
    QVERIFY(rig.state.Calibrated);
    QCOMPARE(rig.engine.Handle(), handle);  // the input was not touched
    QVERIFY(rig.store.writeOrder().isEmpty());
    QVERIFY(rig.rangeButtons.empty());
}

void TestCalibrationProcedure::cancelInTheZeroStep_data() {
    QTest::addColumn<bool>("okAtRange1");
    QTest::newRow("cancel at the first range") << false;
    QTest::newRow("OK at the first range") << true;
}

void TestCalibrationProcedure::cancelInTheZeroStep() {
    QFETCH(bool, okAtRange1);
    Rig rig;
    rig.bench.answers = {Answer::Yes, Answer::Cancel, okAtRange1 ? Answer::Ok : Answer::Cancel};
    rig.bench.entries = {QStringLiteral("0.15")};
    rig.bench.rangeLevels[1] = {rig.bench.readingFor(1, 0.15)};
    rig.state.CalFactor[4] = {9.0, 9.0};
    rig.state.RawDisplay = true;
    rig.run();
    QStringList expected{Opening, ZeroQuestion, RangeQuestion(1)};
    if (okAtRange1) {
        // Measured (the zero offsets stayed 0) but without the completion message.
        expected << RawValues(8012, 7993) << "[value]";
    }
    expected << NotCompleted;
    QCOMPARE(rig.bench.log, expected);
    QVERIFY(!rig.state.Calibrated);
    QVERIFY(rig.state.RawDisplay);
    QCOMPARE(rig.state.CalFactor[4], (CalFactorPair{9.0, 9.0}));  // as before the run
    QCOMPARE(rig.state.CalFactor[1], CalFactorPair{});
    QCOMPARE(rig.rangeButtons, (std::vector<bool>{false, false}));  // disabled, as before
    QVERIFY(rig.store.writeOrder().isEmpty());
    QVERIFY(rig.service.notifies());  // back in notified mode
    QVERIFY(!rig.service.isRunning());
}

void TestCalibrationProcedure::zeroCheck_data() {
    QTest::addColumn<Levels>("zero");
    QTest::addColumn<bool>("passes");
    QTest::newRow("2000 passes") << Levels{2000, 0} << true;
    QTest::newRow("-2000 passes") << Levels{0, -2000} << true;
    QTest::newRow("2001 cancels") << Levels{2001, 0} << false;
    QTest::newRow("-2001 on B cancels") << Levels{5, -2001} << false;
}

void TestCalibrationProcedure::zeroCheck() {
    QFETCH(Levels, zero);
    QFETCH(bool, passes);
    Rig rig;
    rig.bench.zero = zero;
    rig.bench.answers = {Answer::Yes, Answer::Ok, Answer::Cancel};
    rig.run();
    QStringList expected{Opening, ZeroQuestion, ZeroValues(zero.a, zero.b)};
    if (!passes) {
        expected << NotZeroed;
    }
    // Either way the first range question follows (cancelled here).
    expected << RangeQuestion(1) << NotCompleted;
    QCOMPARE(rig.bench.log, expected);
}

void TestCalibrationProcedure::cancelKeepsTheCalibrationInForce() {
    // A calibrated instrument: a run cancelled half-way leaves the calibration, the display
    // and the range buttons as they were, as the stored settings still are.
    Rig rig;
    rig.scriptAllRanges({"0.15", "1.5", "10", "1"});
    rig.run();
    QVERIFY(rig.state.Calibrated);
    rig.state.RawDisplay = false;
    const CalibrationState before = rig.state;
    rig.bench.log.clear();
    rig.bench.zero = {30, 40};
    rig.bench.answers = {Answer::Yes, Answer::Ok, Answer::Ok, Answer::Cancel};
    rig.scriptAllRanges({"0.2", "2", "20", "2"});
    rig.run();
    QCOMPARE(rig.bench.log.last(), QString::fromLatin1(NotCompleted));
    QVERIFY(rig.state.Calibrated);
    QVERIFY(!rig.state.RawDisplay);
    QCOMPARE(rig.state.ZeroLeft, before.ZeroLeft);
    QCOMPARE(rig.state.ZeroRight, before.ZeroRight);
    QCOMPARE(rig.state.CalFactor, before.CalFactor);
    QCOMPARE(rig.state.RawCalibration, before.RawCalibration);
    QCOMPARE(rig.rangeButtons, (std::vector<bool>{false, true, false, true}));
    QCOMPARE(rig.store.writeOrder().size(), 42);  // only the first, completed run wrote
}

void TestCalibrationProcedure::zeroEntriesAreAskedAgain_data() {
    QTest::addColumn<QString>("entry");
    QTest::newRow("0") << "0";
    QTest::newRow("letters only") << "abc";
    QTest::newRow("nothing") << "";
}

void TestCalibrationProcedure::zeroEntriesAreAskedAgain() {
    QFETCH(QString, entry);
    Rig rig;
    rig.bench.answers = {Answer::Yes, Answer::Ok, Answer::Ok, Answer::Cancel};
    rig.bench.rangeLevels[1] = {rig.bench.readingFor(1, 0.15)};
    rig.bench.entries = {entry, entry, QStringLiteral("0.15")};
    rig.run();
    const QStringList values = rig.bench.log.mid(rig.bench.log.indexOf("[value]"), 6);
    QCOMPARE(values, QStringList({"[value]", EnteredZero, "[value]", EnteredZero, "[value]",
                                  RangeCompleted(1, false)}));
    QCOMPARE(rig.state.CalibrationValue, 0.15);
}

void TestCalibrationProcedure::entriesAreReadAsNumbers_data() {
    QTest::addColumn<QString>("entry");
    QTest::newRow("sign dropped") << "-1.5";
    QTest::newRow("comma as point") << "1,5";
    QTest::newRow("unit typed") << "1.5 V";
}

void TestCalibrationProcedure::entriesAreReadAsNumbers() {
    QFETCH(QString, entry);
    Rig rig;
    rig.bench.answers = {Answer::Yes, Answer::Ok, Answer::Ok, Answer::Ok, Answer::Cancel};
    rig.bench.rangeLevels[1] = {rig.bench.readingFor(1, 0.15)};
    rig.bench.rangeLevels[2] = {rig.bench.readingFor(2, 1.5)};
    rig.bench.entries = {QStringLiteral("0.15"), entry};
    rig.run();
    QCOMPARE(rig.state.CalibrationValue, 1.5);
    QCOMPARE(rig.atLastQuestion.RawCalibration[2].RawValue, 15000);
    QVERIFY(rig.bench.log.contains(RangeCompleted(2, false)));
}

void TestCalibrationProcedure::suggestedRangeWarning_data() {
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("warns");
    QTest::newRow("0.3 V: full scale") << 1 << "0.3" << false;
    QTest::newRow("0.3 V: above") << 1 << "0.31" << true;
    QTest::newRow("0.3 V: 0.029") << 1 << "0.029" << true;
    QTest::newRow("0.3 V: 0.03, as 0.1 x 0.3 is that double exactly") << 1 << "0.03" << false;
    QTest::newRow("3 V: 3.1") << 2 << "3.1" << true;
    QTest::newRow("3 V: 3") << 2 << "3" << false;
    QTest::newRow("3 V: 0.3, as 0.1 x 3 rounds up") << 2 << "0.3" << true;
    QTest::newRow("3 V: 0.31") << 2 << "0.31" << false;
    QTest::newRow("30 V: 3, as 0.1 x 30 is exact") << 3 << "3" << false;
    QTest::newRow("30 V: 2.9") << 3 << "2.9" << true;
    QTest::newRow("3 A: 1") << 4 << "1" << false;
    QTest::newRow("3 A: 0.3, as 0.1 x 3 rounds up") << 4 << "0.3" << true;
}

void TestCalibrationProcedure::suggestedRangeWarning() {
    QFETCH(int, range);
    QFETCH(QString, entry);
    QFETCH(bool, warns);
    Rig rig;
    std::array<const char*, 4> entries{"0.15", "1.5", "10", "1"};
    const QByteArray text = entry.toLatin1();
    entries[static_cast<std::size_t>(range - 1)] = text.constData();
    rig.scriptAllRanges(entries);
    rig.run();
    QCOMPARE(rig.bench.log.count(OutOfSuggestedRange), warns ? 1 : 0);
    if (warns) {
        // The warning follows that range's value dialog, and the range is still done.
        const qsizetype at = rig.bench.log.indexOf(OutOfSuggestedRange);
        QCOMPARE(rig.bench.log.at(at - 1), QStringLiteral("[value]"));
        QCOMPARE(rig.bench.log.at(at + 1), RangeCompleted(range, range == 4));
    }
    QVERIFY(rig.state.Calibrated);
}

void TestCalibrationProcedure::ratioWindow_data() {
    QTest::addColumn<int>("ratio");
    QTest::addColumn<bool>("passes");
    QTest::newRow("8000") << 8000 << true;
    QTest::newRow("24000") << 24000 << true;
    QTest::newRow("7999") << 7999 << false;
    QTest::newRow("24001") << 24001 << false;
    QTest::newRow("-8000, a negative reading") << -8000 << true;
}

void TestCalibrationProcedure::ratioWindow() {
    QFETCH(int, ratio);
    QFETCH(bool, passes);
    // With the full-scale value entered, the ratio is the zero-corrected reading itself.
    Rig rig;
    rig.bench.zero = {0, 0};
    rig.bench.rangeLevels[1] = {Levels{ratio, 16000}, Levels{16000, 16000}};
    rig.bench.entries = {QStringLiteral("0.3"), QStringLiteral("0.3")};
    // Range 1 once (or twice when refused), then Cancel at the next question.
    rig.bench.answers = {Answer::Yes, Answer::Ok, Answer::Ok};
    if (!passes) {
        rig.bench.answers.push_back(Answer::Ok);
    }
    rig.bench.answers.push_back(Answer::Cancel);
    rig.run();
    QCOMPARE(rig.bench.log.count(OutOfOptimalRange), passes ? 0 : 1);
    // A failed check asks the same range again; a passed one goes on to the next.
    QCOMPARE(rig.bench.log.count(RangeQuestion(1)), passes ? 1 : 2);
    QCOMPARE(rig.bench.log.count(RangeQuestion(2)), 1);  // reached once range 1 is done
    QCOMPARE(rig.bench.log.count(RangeCompleted(1, false)), 1);
}

void TestCalibrationProcedure::workedExampleOnRange2() {
    Rig rig;
    rig.bench.zero = {12, -7};
    rig.bench.rangeLevels[1] = {rig.bench.readingFor(1, 0.15)};
    rig.bench.rangeLevels[2] = {Levels{-8210, 8166}};
    rig.bench.entries = {QStringLiteral("0.15"), QStringLiteral("1.5")};
    rig.bench.answers = {Answer::Yes, Answer::Ok, Answer::Ok, Answer::Ok, Answer::Cancel};
    rig.run();
    const RawCalibrationRecord& record = rig.atLastQuestion.RawCalibration[2];
    QCOMPARE(record.RawFactorLeft, -8210);  // stored with its sign, shown as a magnitude
    QCOMPARE(record.RawFactorRight, 8166);
    QCOMPARE(record.RawValue, 15000);
    QCOMPARE(rig.atLastQuestion.CalFactor[2].Left, 1.5 / 8222);
    QCOMPARE(rig.atLastQuestion.CalFactor[2].Right, 1.5 / 8173);
    QVERIFY(rig.bench.log.contains(RawValues(8210, 8166)));
    QVERIFY(rig.bench.log.contains(
        QStringLiteral("Calibration of the 3.0V range was completed. Calibration will continue.")));
    QCOMPARE(RangeQuestion(2),
             QStringLiteral("Set manually 3.0V range at BOTH channels.\nConnect BOTH inputs with "
                            "approximately 1.5V DC and press OK.\nThen wait for the next "
                            "message.\nTo cancel calibration press Cancel."));
}

void TestCalibrationProcedure::completeRunIsSavedAndRestored() {
    // Channel B is an inverting input with a zero offset of 1500: its means are negative and
    // below the offset, so it reads the same after the restart only if the stored record keeps
    // the sign of the mean.
    Rig rig;
    rig.state.Device.SoundDevice = 0;
    rig.state.Device.LineIn = 3;
    rig.bench.zero = {12, 1500};
    rig.scriptAllRanges({"0.15", "1.5", "10", "1"});
    for (auto& [range, levels] : rig.bench.rangeLevels) {
        levels.front().b = 2 * rig.bench.zero.b - levels.front().b;
    }
    rig.run();
    QStringList expected{Opening, ZeroQuestion, ZeroValues(12, 1500)};
    for (int range = FirstRange; range <= LastRange; ++range) {
        expected << RangeQuestion(range)
                 << RawValues(std::abs(rig.state.RawCalibration[range].RawFactorLeft),
                              std::abs(rig.state.RawCalibration[range].RawFactorRight))
                 << "[value]" << RangeCompleted(range, range == LastRange);
    }
    expected << Completed;
    QCOMPARE(rig.bench.log, expected);
    QVERIFY(rig.state.Calibrated);
    QCOMPARE(rig.rangeButtons, (std::vector<bool>{false, true}));
    QCOMPARE(rig.dispatches, 4);
    // The 18 values, then how, when and on which device each range of each channel was made.
    QCOMPARE(rig.store.writeOrder().size(), 18 + 3 * 8);
    QCOMPARE(rig.store.writeOrder()[18], QStringLiteral("Calibration 0.3V left"));
    QCOMPARE(rig.store.values().value("Calibration 3.0A right"), QVariant("DC"));
    QVERIFY(rig.service.notifies());
    // The next start derives the same factors from what was stored.
    CalibrationState restarted;
    sim::ScriptedMessageBoxes quiet;
    LoadCalibrationAtStartup(rig.store, restarted, quiet);
    QVERIFY(restarted.Calibrated);
    QCOMPARE(restarted.Device.LineIn, 3);
    for (int range = FirstRange; range <= LastRange; ++range) {
        QVERIFY(qFuzzyCompare(restarted.CalFactor[range].Left, rig.state.CalFactor[range].Left));
        QVERIFY(qFuzzyCompare(restarted.CalFactor[range].Right, rig.state.CalFactor[range].Right));
    }
}

void TestCalibrationProcedure::entriesThatCannotBeStored_data() {
    QTest::addColumn<QString>("entry");
    QTest::newRow("RawValue beyond 32 bits") << "300000";
    QTest::newRow("ratio beyond 32 bits") << "0." + QString(200, '0') + "1";
}

void TestCalibrationProcedure::entriesThatCannotBeStored() {
    QFETCH(QString, entry);
    Rig rig;
    rig.bench.rangeLevels[1] = {rig.bench.readingFor(1, 0.15), rig.bench.readingFor(1, 0.15)};
    rig.scriptAllRanges({"0.15", "1.5", "10", "1"});
    rig.bench.entries.push_front(entry);  // the first entry on range 1 cannot be stored
    rig.run();
    QCOMPARE(rig.bench.log.count(OutOfOptimalRange), 1);
    QCOMPARE(rig.bench.log.count(RangeQuestion(1)), 2);
    // Asked again, the range is done and the run completes normally.
    QVERIFY(rig.state.Calibrated);
    QCOMPARE(rig.bench.log.last(), QString::fromLatin1(Completed));
    QCOMPARE(rig.rangeButtons.back(), true);
}

void TestCalibrationProcedure::failedSave() {
    Rig rig;
    rig.store.failWritesFrom("Zero left");
    rig.scriptAllRanges({"0.15", "1.5", "10", "1"});
    rig.run();
    QCOMPARE(rig.bench.log.last(), QStringLiteral("error: Failed to set data for 'Zero left'"));
    QVERIFY(!rig.bench.log.contains(Completed));
    QVERIFY(rig.state.Calibrated);
    QCOMPARE(rig.rangeButtons, std::vector<bool>{false});
}

QTEST_GUILESS_MAIN(TestCalibrationProcedure)
#include "tst_calibrationprocedure.moc"

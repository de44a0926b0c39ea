#include <QtTest>

#include "app/dialogs.h"
#include "app/soundmeter.h"
#include "calibration/calibrationprocedure.h"
#include "calibration/storedsettings.h"
#include "capture/captureengine.h"
#include "capture/inputselection.h"
#include "platform/runtimeerror.h"
#include "recording/recordingcontrol.h"

using namespace veruziva;

// Every text the program shows, against the text written out in full: a slip in a message
// constant (the tests elsewhere compare with the same constants) is caught here.
class TestMessages : public QObject {
    Q_OBJECT

private slots:
    void textIsExactly_data();
    void textIsExactly();
};

void TestMessages::textIsExactly_data() {
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const QString& shown, const char* expected) {
        QTest::newRow(name) << shown << QString::fromUtf8(expected);
    };
    const auto text = [](const char* constant) { return QString::fromLatin1(constant); };
    using namespace capturemessages;
    row("prepare", text(PrepareHeader),
        "Problem with WaveInPrepareHdr! Application will terminate.");
    row("open", text(OpenNotified), "Problem with WaveInOpen! Application will terminate.");
    row("open polled", text(OpenPolled),
        "Problem with WaveInOpen via hard way! Application will terminate.");
    row("1st add", text(FirstAddNotified),
        "The 1st WaveInAddBuffer NOT successful! Application will termiante.");
    row("1st add polled", text(FirstAddPolled),
        "The 1st WaveInAddBuffer NOT successful! Application will terminate;");
    row("2nd add", text(SecondAdd),
        "The 2nd WaveInAddBuffer NOT successful! Application will terminate.");
    row("give back unprepare", text(GiveBackUnprepare),
        "Problem with WaveInUnprepareHdr(3). Application will terminate.");
    row("give back add", text(GiveBackAdd),
        "Problem with WaveInAddBuffer(4). Application will terminate.");
    row("grab unprepare", text(GrabUnprepare),
        "Problem with WaveInUnprepareHdr(H 3). Application will terminate. ");
    row("grab add", text(GrabAdd),
        "Problem with WaveInAddBuffer(H 4). Application will terminate.");
    row("close unprepare", text(CloseUnprepare),
        "Problem with final WaveInUnprepareHdr! Application will terminate.");
    row("grab time-out", text(GrabTimeout),
        "Problem with WaveInStart(H 2): no data from the input device for 2 seconds. Application "
        "will terminate.");
    row("grab incomplete", text(GrabIncomplete),
        "Problem with WaveInStart(H 2): the input device stopped in the middle of a block. "
        "Application will terminate.");
    using namespace selectionmessages;
    row("no devices", text(NoInputDevices), "Input devices are not available");
    row("no mixer", text(NoMixer), "Mixer device NOT available.... Set up AUDIO properly!");
    row("no line-in", text(NoLineIn),
        "LineIn device NOT available.... Try another mixer or set up AUDIO properly!");
    row("get level", text(GetLevelFailed),
        "Problem getting LineIn volume... Set AUDIO properly, please!");
    row("set level", text(SetLevelFailed),
        "Problem setting LineIn volume... Set AUDIO properly, please!");
    row("stored device missing", StoredDeviceMissing(QStringLiteral("1: USB")),
        "The input device used at the last calibration (1: USB) is not available. Another input "
        "device is chosen; the readings are raw until that device is back or a new calibration "
        "is done.");
    row("calibrated without line-in", text(CalibratedWithoutLineIn),
        "The mixer of this input device has no line input, so its recording level is not set. The "
        "calibration was made at the level the mixer had then: keep it there, or calibrate again.");
    using namespace calibrationmessages;
    row("opening", text(Opening), "Do you have manual switch board and is it connected properly?");
    row("declined", text(Declined), "Nothing to do... Try to read help, then try again!");
    row("zero question", text(ZeroQuestion),
        "Set manually the same range at BOTH channel switches, connect inputs with ground and "
        "press OK. Then wait for the next message.");
    row("zero values", ZeroValues(12, -7),
        "Zero values in both channels were as follows: \nL= 12, R=-7");
    row("not zeroed", text(NotZeroed),
        "Channels seem not to be zeroed properly. Check your hardware, read help, then try "
        "again...");
    row("range question", RangeQuestion(1),
        "Set manually 0.3V range at BOTH channels.\nConnect BOTH inputs with approximately 0.15V "
        "DC and press OK.\nThen wait for the next message.\nTo cancel calibration press Cancel.");
    row("raw values", RawValues(8210, 8166),
        "In this step raw values in channels were as follows: \nL= 8210, R=8166");
    row("entered zero", text(EnteredZero), "You entered ZERO! This is not what was expected...");
    row("out of suggested range", text(OutOfSuggestedRange),
        "Entered value is out of suggested range! Callibration will not be optimal!");
    row("raw value zero", RawValueZero(0, 5),
        "Raw value in L or R channel equals to zero! \nL=0 R=5 - something is wrong! We will not "
        "continue... ");
    row("out of optimal range", text(OutOfOptimalRange),
        "One or both channels seems out of the optimal range. Check audio setup and start "
        "calibration again.");
    row("range completed", RangeCompleted(2, false),
        "Calibration of the 3.0V range was completed. Calibration will continue.");
    row("last range completed", RangeCompleted(4, true),
        "Calibration of the 3A range was completed. Calibration will be finished.");
    row("not completed", text(NotCompleted), "Calibration was not completed!");
    row("completed", text(Completed), "Calibration was completed!");
    row("invalid data type", InvalidDataTypeText(QStringLiteral("Zero left")),
        "Invalid data type for 'Zero left'");
    row("failed to set", FailedToSetDataText(QStringLiteral("Zero left")),
        "Failed to set data for 'Zero left'");
    row("size question", recordingmessages::SizeQuestion(352800),
        "The size of the WAV file will be 344kB. Proceed?");
    row("not saved", text(recordingmessages::NotSaved), "O.K. Data will not be saved.");
    row("range check", text(RangeCheckErrorText), "Range check error");
    row("integer overflow", text(IntegerOverflowText), "Integer overflow");
    row("caption", text(MainWindowCaption), "Veruziva & Multimeter");
    row("box title", text(ApplicationTitle), "Veruziva and multimeter");
}

void TestMessages::textIsExactly() {
    QFETCH(QString, shown);
    QFETCH(QString, expected);
    QCOMPARE(shown, expected);
}

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"

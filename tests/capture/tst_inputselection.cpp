#include <QtTest>

#include "calibration/calibrationstate.h"
#include "capture/captureengine.h"
#include "capture/devicebox.h"
#include "capture/inputselection.h"
#include "mixer/audiomixer.h"
#include "platform/fatalerrors.h"
#include "support/scriptedmessageboxes.h"
#include "support/simbench.h"

using namespace veruziva;
using namespace veruziva::selectionmessages;

namespace {

class ListBox : public DeviceBox {
public:
    void insertItem(int index, const QString& name) override { items.insert(index, name); }
    void setCurrentIndex(int index) override { current = index; }
    int currentIndex() const override { return current; }
    QStringList items;
    int current = -1;
};

StereoFrame Silence(std::uint64_t) {
    return {};
}

// Input devices and mixers by name; each mixer's recording destination (1) has the given
// source lines, each with a volume and a mute of its own.
struct Machine : sim::SimBench {
    sim::ScriptedMessageBoxes boxes;
    int endRequests = 0;
    FatalErrors fatal{boxes, [this] { ++endRequests; }};
    CalibrationState state;
    ListBox box;

    void addDevice(const std::string& name) { waveInput.addDevice(name, Silence); }
    // The volume control of a recording line (controls are numbered in the order added).
    std::vector<std::int32_t> lineVolume(unsigned mixer, int line) const {
        return mixers.values(mixer, static_cast<std::uint32_t>(1 + 2 * line));
    }
};

// The component, the engine and the selection over a machine, built after it is set up.
struct Selection {
    TAudioMixer component;
    CaptureEngine engine;
    InputSelection selection;
    explicit Selection(Machine& m)
        : component(m.mixers),
          engine(m.waveInput, m.fatal, nullptr),
          selection(m.waveInput, component, engine, m.state.Device, FlagsOf(m.state), m.box,
                    m.boxes, m.fatal) {}
};

}  // namespace

class TestInputSelection : public QObject {
    Q_OBJECT

private slots:
    void namesMatch_data();
    void namesMatch();
    void lineInKeys_data();
    void lineInKeys();
    void firstStartFindsDeviceMixerAndLineIn();
    void startUpTakesTheFirstMatchingMixer();
    void lineInIsSetOnTheDevicesOwnMixer();
    void storedLineInAtStartUp_data();
    void storedLineInAtStartUp();
    void calibratedStartUsesTheStoredNumbers();
    void storedDeviceThatIsGone_data();
    void storedDeviceThatIsGone();
    void calibratedWithoutLineIn();
    void startUpFailures_data();
    void startUpFailures();
    void noInputDevice();
    void deviceWithoutCapabilities();
    void deviceChange();
    void deviceChangeTakesTheLastMatchingMixer();
    void deviceChangeWithoutMatchingMixer();
    void deviceChangeToTheCurrentDevice();
    void deviceChangeProblemsAreOnlyReported();
    void mixerThatCannotBeOpenedHasNoName();
};

void TestInputSelection::namesMatch_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("mixer");
    QTest::addColumn<bool>("match");
    QTest::newRow("first five agree") << "0: HDA Intel PCH: ALC892"
                                      << "0: HDA Intel PCH" << true;
    QTest::newRow("letter case differs") << "Realtek HD"
                                         << "realtek HD" << false;
    QTest::newRow("differs in the fifth") << "0: HDA"
                                          << "0: HXA" << false;
    QTest::newRow("differs after the fifth") << "SB Live! Wave"
                                             << "SB LiX" << true;
    QTest::newRow("short names whole") << "Abc"
                                       << "Abc" << true;
    QTest::newRow("short against long") << "Abc"
                                        << "Abcde" << false;
    QTest::newRow("card 1 and card 10") << "1: HDA"
                                        << "10: HDA" << false;
}

void TestInputSelection::namesMatch() {
    QFETCH(QString, device);
    QFETCH(QString, mixer);
    QFETCH(bool, match);
    QCOMPARE(NamesMatch(device.toStdString(), mixer.toStdString()), match);
}

void TestInputSelection::lineInKeys_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("atStartUp");
    QTest::addColumn<bool>("atDeviceChange");
    QTest::newRow("Line In") << "Line In" << true << true;
    QTest::newRow("any case") << "line" << true << true;
    QTest::newRow("anywhere") << "Rear Line Jack" << true << true;
    QTest::newRow("Czech") << "Vstup" << true << true;
    QTest::newRow("French") << "Entree ligne" << true << true;
    QTest::newRow("Dutch only at a change") << "Lijningang" << false << true;
    QTest::newRow("microphone") << "Microphone" << false << false;
    QTest::newRow("only a to z upper-cased") << QString::fromUtf8("Ëntr") << false << false;
}

void TestInputSelection::lineInKeys() {
    QFETCH(QString, name);
    QFETCH(bool, atStartUp);
    QFETCH(bool, atDeviceChange);
    QCOMPARE(NameHoldsKey(name.toStdString(), StartupLineInKeys), atStartUp);
    QCOMPARE(NameHoldsKey(name.toStdString(), DeviceChangeLineInKeys), atDeviceChange);
}

void TestInputSelection::firstStartFindsDeviceMixerAndLineIn() {
    Machine m;
    m.addDevice("Webcam");
    m.addDevice("Sound Blaster");
    const unsigned other = m.addMixer("Other mixer", {"Mic"});
    const unsigned blaster = m.addMixer("Sound Blaster Mixer", {"Mic", "CD", "Line In", "Aux"});
    Selection s(m);
    QVERIFY(s.selection.CheckDevicesAvailable());
    s.selection.StartUp();
    QVERIFY(m.boxes.shown().isEmpty());
    QCOMPARE(m.box.items, QStringList({"Webcam", "Sound Blaster"}));
    QCOMPARE(m.box.current, 1);
    QCOMPARE(m.state.Device.SoundDevice, 1);
    QCOMPARE(m.state.Device.MixerIndex, 1);
    QCOMPARE(m.state.Device.LineIn, 2);
    QCOMPARE(s.engine.SoundDevice(), 1);
    QCOMPARE(m.lineVolume(blaster, 2), (std::vector<std::int32_t>{65535, 65535}));
    QCOMPARE(m.mixers.values(blaster, 2 + 2 * 2), (std::vector<std::int32_t>{0, 0}));  // unmuted
    QCOMPARE(m.lineVolume(other, 0), (std::vector<std::int32_t>{100, 100}));
    QCOMPARE(s.selection.MixerNames(),
             (std::vector<std::string>{"Other mixer", "Sound Blaster Mixer"}));
}

void TestInputSelection::startUpTakesTheFirstMatchingMixer() {
    Machine m;
    m.addDevice("Sound Blaster");
    m.addMixer("Sound One", {"Line"});
    m.addMixer("Sound Two", {"Line"});
    Selection s(m);
    s.selection.StartUp();
    QCOMPARE(m.state.Device.MixerIndex, 0);
    QVERIFY(m.fatal.endRequested() == false);
}

void TestInputSelection::lineInIsSetOnTheDevicesOwnMixer() {
    // Onboard card first, USB card second: the USB card's line-in is turned up, not a line of
    // the last mixer enumerated.
    Machine m;
    m.addDevice("0: Onboard");
    m.addDevice("1: USB Audio");
    const unsigned onboard = m.addMixer("0: Onboard", {"Mic", "Line"});
    const unsigned usb = m.addMixer("1: USB Audio", {"Line", "Mic"});
    m.addMixer("2: HDMI", {"Mic", "Line"});
    m.box.current = -1;
    Selection s(m);
    s.selection.StartUp();
    QCOMPARE(m.state.Device.SoundDevice, 0);
    QCOMPARE(m.state.Device.MixerIndex, 0);
    QCOMPARE(m.state.Device.LineIn, 1);
    QCOMPARE(s.component.ProductName(), std::string("0: Onboard"));
    QCOMPARE(m.lineVolume(onboard, 1), (std::vector<std::int32_t>{65535, 65535}));
    QCOMPARE(m.lineVolume(usb, 1), (std::vector<std::int32_t>{100, 100}));
    // A device change to the USB card finds its own line-in, on its own mixer.
    s.selection.WaveInDevicesChange(1, {});
    QCOMPARE(m.state.Device.MixerIndex, 1);
    QCOMPARE(m.state.Device.LineIn, 0);
    QCOMPARE(m.lineVolume(usb, 0), (std::vector<std::int32_t>{65535, 65535}));
}

void TestInputSelection::storedLineInAtStartUp_data() {
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<int>("lineIn");
    QTest::newRow("line 0 without a key keeps the stored number") << "Mic" << 3;
    QTest::newRow("line 0 with a key replaces it") << "Line" << 0;
}

void TestInputSelection::storedLineInAtStartUp() {
    QFETCH(QString, firstLine);
    QFETCH(int, lineIn);
    Machine m;
    m.addDevice("Card");
    m.addMixer("Card", {firstLine.toStdString(), "Line In", "CD", "Aux"});
    m.state.Device.LineIn = 3;  // loaded, calibration incomplete
    Selection s(m);
    s.selection.StartUp();
    QCOMPARE(m.state.Device.LineIn, lineIn);
}

void TestInputSelection::calibratedStartUsesTheStoredNumbers() {
    Machine m;
    m.addDevice("Card A");
    m.addDevice("Card B");
    m.addMixer("Card A", {"Line"});
    const unsigned second = m.addMixer("Mixer of B", {"Mic", "Aux", "Monitor"});
    m.state.Calibrated = true;
    m.state.Device.SoundDevice = 1;
    m.state.Device.MixerIndex = 1;
    m.state.Device.LineIn = 2;  // no name matching, no search: used as stored
    Selection s(m);
    s.selection.StartUp();
    QVERIFY(m.boxes.shown().isEmpty());
    QCOMPARE(m.box.current, 1);
    QCOMPARE(m.state.Device.SoundDevice, 1);
    QCOMPARE(m.state.Device.LineIn, 2);
    QCOMPARE(m.lineVolume(second, 2), (std::vector<std::int32_t>{65535, 65535}));
    QVERIFY(m.state.Calibrated);
}

void TestInputSelection::storedDeviceThatIsGone_data() {
    QTest::addColumn<int>("storedDevice");
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QString>("message");
    // The USB card of the last calibration is unplugged: no device has its number.
    QTest::newRow("no device of its number") << 1 << "" << StoredDeviceMissing("device 1");
    QTest::newRow("named, no device of its number")
        << 1 << "1: USB Bench" << StoredDeviceMissing("1: USB Bench");
    // Another input has come to bear its number: the calibration is not applied to it.
    QTest::newRow("another device has its number")
        << 0 << "1: USB Bench" << StoredDeviceMissing("1: USB Bench");
    QTest::newRow("its number and name") << 0 << "Onboard" << QString();
    // A sound server's source keeps its name while its place in the list (and tag) changes.
    QTest::newRow("its source name") << 0 << "alsa_input.onboard" << QString();
    QTest::newRow("its former list name") << 0 << "1: Onboard" << StoredDeviceMissing("1: Onboard");
}

void TestInputSelection::storedDeviceThatIsGone() {
    QFETCH(int, storedDevice);
    QFETCH(QString, storedName);
    QFETCH(QString, message);
    Machine m;
    m.addDevice("Onboard");
    if (storedName.startsWith("alsa_input") || storedName.startsWith("1: Onboard")) {
        m.waveInput.setIdentity("alsa_input.onboard");
    }
    const unsigned onboard = m.addMixer("Onboard", {"Mic", "Line"});
    m.state.Calibrated = true;
    m.state.Device.SoundDevice = storedDevice;
    m.state.Device.SoundDeviceName = storedName.toStdString();
    m.state.Device.MixerIndex = storedDevice;
    m.state.Device.LineIn = 0;
    Selection s(m);
    s.selection.StartUp();
    QCOMPARE(m.boxes.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
    QVERIFY(!m.fatal.endRequested());
    QCOMPARE(m.state.Calibrated, message.isEmpty());
    QCOMPARE(m.state.Device.SoundDevice, 0);
    QCOMPARE(m.box.current, 0);
    // Chosen anew, the line-in is found by name; calibrated, the stored one is used.
    QCOMPARE(m.state.Device.LineIn, message.isEmpty() ? 0 : 1);
    QCOMPARE(m.lineVolume(onboard, m.state.Device.LineIn),
             (std::vector<std::int32_t>{65535, 65535}));
}

void TestInputSelection::calibratedWithoutLineIn() {
    // A calibration completed on a device whose mixer has no line input never locks the
    // program out: it starts on that device, says once why no level is set, and sets none.
    Machine m;
    m.addDevice("USB Bench");
    const unsigned mixer = m.addMixer("USB Bench", {"Mic"});
    m.state.Calibrated = true;
    m.state.Device.LineIn = -1;
    Selection s(m);
    s.selection.StartUp();
    QCOMPARE(m.boxes.texts(), QStringList{CalibratedWithoutLineIn});
    QVERIFY(!m.fatal.endRequested());
    QVERIFY(m.state.Calibrated);
    QCOMPARE(m.lineVolume(mixer, 0), (std::vector<std::int32_t>{100, 100}));
}

void TestInputSelection::startUpFailures_data() {
    QTest::addColumn<QString>("deviceName");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("calibrated");
    QTest::addColumn<int>("storedLineIn");
    QTest::addColumn<QString>("message");
    QTest::newRow("no mixer matches") << "Other" << QStringList{"Line"} << false << -1 << NoMixer;
    QTest::newRow("no line-in") << "Card" << QStringList{"Mic", "CD"} << false << -1 << NoLineIn;
    QTest::newRow("stored line-in that does not exist: level not readable")
        << "Card" << QStringList{"Mic"} << false << 5 << GetLevelFailed;
    QTest::newRow("calibrated, stored line-in gone: level not settable")
        << "Card" << QStringList{"Mic"} << true << 5 << SetLevelFailed;
}

void TestInputSelection::startUpFailures() {
    QFETCH(QString, deviceName);
    QFETCH(QStringList, lines);
    QFETCH(bool, calibrated);
    QFETCH(int, storedLineIn);
    QFETCH(QString, message);
    Machine m;
    m.addDevice(deviceName.toStdString());
    std::vector<std::string> names;
    for (const QString& line : lines) {
        names.push_back(line.toStdString());
    }
    const unsigned mixer = m.addMixer("Card", names);
    // The recording destination's own level: what line -1 would write.
    const std::uint32_t ownVolume = m.mixers.addVolume(mixer, 1, -1, 40);
    const std::uint32_t ownMute = m.mixers.addMute(mixer, 1, -1, 1);
    m.state.Calibrated = calibrated;
    m.state.Device.LineIn = storedLineIn;
    Selection s(m);
    s.selection.StartUp();
    // Only the first message is seen; the end is requested and the steps ran on.
    QCOMPARE(m.boxes.texts(), QStringList{message});
    QVERIFY(m.fatal.endRequested());
    QVERIFY(m.endRequests >= 1);
    QCOMPARE(m.box.current, m.state.Device.SoundDevice);
    // An ending start-up leaves every level as it was.
    QCOMPARE(m.mixers.values(mixer, ownVolume), (std::vector<std::int32_t>{40, 40}));
    QCOMPARE(m.mixers.values(mixer, ownMute), (std::vector<std::int32_t>{1, 1}));
    for (int line = 0; line < static_cast<int>(names.size()); ++line) {
        QCOMPARE(m.lineVolume(mixer, line), (std::vector<std::int32_t>{100, 100}));
    }
}

void TestInputSelection::noInputDevice() {
    Machine m;
    m.addMixer("Card", {"Line"});
    Selection s(m);
    QVERIFY(!s.selection.CheckDevicesAvailable());
    QCOMPARE(m.boxes.texts(), QStringList{NoInputDevices});
    QVERIFY(m.fatal.endRequested());
}

void TestInputSelection::deviceWithoutCapabilities() {
    Machine m;
    m.addDevice("Broken");
    m.addDevice("Card");
    m.addMixer("Card", {"Line"});
    m.waveInput.failCall(sim::SimWaveInput::Call::DeviceCaps, wave::Error);
    Selection s(m);
    s.selection.StartUp();
    // Later devices keep their own positions; the unreadable one matches no mixer.
    QCOMPARE(m.box.items, QStringList({"Input device 0 (unavailable)", "Card"}));
    QCOMPARE(m.state.Device.SoundDevice, 1);
    QVERIFY(m.boxes.shown().isEmpty());
}

void TestInputSelection::deviceChange() {
    Machine m;
    m.addDevice("Card A");
    m.addDevice("Card B");
    m.addMixer("Card A", {"Line"});
    const unsigned b = m.addMixer("Card B", {"Mic", "Lijn in", "Line"});
    Selection s(m);
    s.selection.StartUp();
    s.engine.OpenWaveIn();
    const WaveInHandle before = s.engine.Handle();
    m.state.Calibrated = true;
    m.state.RawDisplay = false;
    int dispatched = 0;
    s.selection.WaveInDevicesChange(1, [&] { ++dispatched; });
    QCOMPARE(dispatched, 1);
    QCOMPARE(m.state.Device.SoundDevice, 1);
    QCOMPARE(s.engine.SoundDevice(), 1);
    QVERIFY(s.engine.Handle() != before);  // closed and opened on the new device
    QVERIFY(m.waveInput.isOpen());
    QVERIFY(!s.engine.Running());
    QVERIFY(!m.state.Calibrated);
    QVERIFY(m.state.RawDisplay);
    QCOMPARE(m.state.Device.LineIn, 1);  // "Lijn" is a key at a device change
    QCOMPARE(m.lineVolume(b, 1), (std::vector<std::int32_t>{65535, 65535}));
    QVERIFY(m.boxes.shown().isEmpty());
}

void TestInputSelection::deviceChangeTakesTheLastMatchingMixer() {
    Machine m;
    m.addDevice("Card A");
    m.addDevice("Sound B");
    m.addMixer("Card A", {"Line"});
    m.addMixer("Sound One", {"Line"});
    m.addMixer("Sound Two", {"Mic", "Line"});
    Selection s(m);
    s.selection.StartUp();
    s.selection.WaveInDevicesChange(1, {});
    QCOMPARE(m.state.Device.MixerIndex, 2);
    QCOMPARE(s.component.ProductName(), std::string("Sound Two"));
    QCOMPARE(m.state.Device.LineIn, 1);
}

void TestInputSelection::deviceChangeWithoutMatchingMixer() {
    Machine m;
    m.addDevice("Card A");
    m.addDevice("Lonely");
    m.addMixer("Card A", {"Line"});
    Selection s(m);
    s.selection.StartUp();
    s.engine.OpenWaveIn();
    const WaveInHandle before = s.engine.Handle();
    m.box.current = 1;  // the user picked it
    int dispatched = 0;
    s.selection.WaveInDevicesChange(1, [&] { ++dispatched; });
    QCOMPARE(m.box.current, 0);  // back to the device in use
    QCOMPARE(m.state.Device.SoundDevice, 0);
    QCOMPARE(s.engine.Handle(), before);
    QVERIFY(m.waveInput.isOpen());
    QCOMPARE(dispatched, 1);
    QVERIFY(m.boxes.shown().isEmpty());
}

void TestInputSelection::deviceChangeToTheCurrentDevice() {
    Machine m;
    m.addDevice("Card A");
    m.addMixer("Card A", {"Line"});
    Selection s(m);
    s.selection.StartUp();
    m.state.Calibrated = true;
    int dispatched = 0;
    s.selection.WaveInDevicesChange(0, [&] { ++dispatched; });
    QCOMPARE(dispatched, 0);  // nothing, and no events handled
    QVERIFY(m.state.Calibrated);
}

void TestInputSelection::deviceChangeProblemsAreOnlyReported() {
    Machine m;
    m.addDevice("Card A");
    m.addDevice("Card B");
    m.addMixer("Card A", {"Line"});
    const unsigned b = m.mixers.addDevice("Card B");  // no recording destination at all
    m.mixers.addDestination(b, "Volume Control");
    Selection s(m);
    s.selection.StartUp();
    s.selection.WaveInDevicesChange(1, {});
    QCOMPARE(m.boxes.texts(), QStringList({NoLineIn, SetLevelFailed}));
    QVERIFY(!m.fatal.endRequested());
    QCOMPARE(m.state.Device.SoundDevice, 1);
}

void TestInputSelection::mixerThatCannotBeOpenedHasNoName() {
    // Mixer 1 fails to open: it must not be named after mixer 0, or a device change (where the
    // last match wins) would pair Alpha with the dead mixer.
    Machine m;
    m.addDevice("Alpha card");
    m.addDevice("Bravo card");
    const unsigned a = m.addMixer("Alpha card", {"Line"});
    m.addMixer("Bravo card", {"Line"});
    // Mixer 0 opens at creation and at enumeration; then mixer 1 fails all three tries.
    m.mixers.failCall(sim::SimMixerService::Call::OpenWithNotifications, mixer::Error, 2, 2);
    m.mixers.failCall(sim::SimMixerService::Call::Open, mixer::Error, 0, 1);
    Selection s(m);
    s.selection.StartUp();
    QCOMPARE(s.selection.MixerNames(), (std::vector<std::string>{"Alpha card", ""}));
    s.selection.WaveInDevicesChange(1, {});  // Bravo: no mixer of that name can be used
    QCOMPARE(m.state.Device.SoundDevice, 0);
    m.state.Device.SoundDevice = 1;  // as if Bravo were in use; back to Alpha
    s.selection.WaveInDevicesChange(0, {});
    QCOMPARE(m.state.Device.MixerIndex, 0);
    QCOMPARE(m.lineVolume(a, 0), (std::vector<std::int32_t>{65535, 65535}));
}

QTEST_GUILESS_MAIN(TestInputSelection)
#include "tst_inputselection.moc"

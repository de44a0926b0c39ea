#include <QtTest>

#include "calibration/qsettingsstore.h"
#include "calibration/storedsettings.h"
#include "support/memorysettingsstore.h"
#include "support/scriptedmessageboxes.h"

using namespace veruziva;
using veruziva::sim::ScriptedMessageBoxes;

namespace {

// A state in which every stored variable holds a value of its own.
CalibrationState DistinctState() {
    CalibrationState state;
    state.Device.SoundDevice = 1;
    state.Device.MixerIndex = 2;
    state.Device.LineIn = 3;
    state.ZeroLeft = -12;
    state.ZeroRight = 7;
    state.Device.SoundDeviceName = " 0: HDA Intel PCH: ALC892 Analog\n";
    for (int r = FirstRange; r <= LastRange; ++r) {
        state.RawCalibration[r] = {1000 * r, 8000 + r, 9000 + r};
    }
    return state;
}

QStringList AllNames() {
    QStringList names;
    for (const char* name : StoredValueNames) {
        names.append(QString::fromLatin1(name));
    }
    return names;
}

// What a save writes: the 17, then the name of the device.
QStringList WrittenNames() {
    return AllNames() << QString::fromLatin1(SoundDeviceNameValue);
}

}  // namespace

class TestStoredSettings : public QObject {
    Q_OBJECT

private slots:
    void init();

    void valueNamesAreExact();
    void saveWritesEveryValueInOrder();
    void loadReadsEveryValue();
    void missingValuesKeepTheirDefaults();
    void wrongTypeIsReportedAndSkipped();
    void soundDeviceOutOfRangeIsIgnored_data();
    void soundDeviceOutOfRangeIsIgnored();
    void storeThatCannotBeOpened();
    void failedWriteEndsTheSave();

    void fileRoundTrip();
    void fileWithWrongNamesIsNotRead();
    void fileValuesOfTheWrongType_data();
    void fileValuesOfTheWrongType();
    void filesOfTheEarlierLayoutReadAndWrittenAlike();
    void nativeLocation();
    void unwritableLocationFailsTheSave();
    void firstRunIsNotCalibrated();
    void startupDerivesTheStoredCalibration();

private:
    QTemporaryDir m_dir;
    ScriptedMessageBoxes m_boxes;
};

void TestStoredSettings::init() {
    m_boxes.clear();
}

void TestStoredSettings::valueNamesAreExact() {
    QCOMPARE(AllNames().size(), 17);
    QCOMPARE(AllNames().mid(0, 5),
             QStringList({"Sound device", "Mixer", "LINE IN", "Zero left", "Zero right"}));
    QCOMPARE(AllNames().at(7), QStringLiteral("Raw Value  30 V"));
    QCOMPARE(AllNames().at(11), QStringLiteral("Raw Factor 30 V left"));
    QCOMPARE(AllNames().at(16), QStringLiteral("Raw Factor 3.0A right"));
}

void TestStoredSettings::saveWritesEveryValueInOrder() {
    MemorySettingsStore store;
    const CalibrationState state = DistinctState();
    QVERIFY(SaveSettings(store, state, 4, m_boxes));
    QCOMPARE(store.writeOrder(), WrittenNames());
    // "Sound device" comes from the device box, not from SoundDevice.
    QCOMPARE(store.values().value("Sound device").toInt(), 4);
    QCOMPARE(store.values().value("LINE IN").toInt(), 3);
    QCOMPARE(store.values().value("Zero left").toInt(), -12);
    QCOMPARE(store.values().value("Raw Value  30 V").toInt(), 3000);
    QCOMPARE(store.values().value("Raw Factor 0.3V left").toInt(), 8001);
    QCOMPARE(store.values().value("Raw Factor 3.0A right").toInt(), 9004);
    QCOMPARE(store.values().value("Sound device name").toString(),
             QStringLiteral("0: HDA Intel PCH: ALC892 Analog"));
    QVERIFY(m_boxes.shown().isEmpty());
}

void TestStoredSettings::loadReadsEveryValue() {
    MemorySettingsStore store;
    const CalibrationState saved = DistinctState();
    QVERIFY(SaveSettings(store, saved, saved.Device.SoundDevice, m_boxes));
    CalibrationState loaded;
    LoadSettings(store, loaded, m_boxes);
    QCOMPARE(loaded.Device.SoundDevice, saved.Device.SoundDevice);
    QCOMPARE(loaded.Device.MixerIndex, saved.Device.MixerIndex);
    QCOMPARE(loaded.Device.LineIn, saved.Device.LineIn);
    QCOMPARE(loaded.ZeroLeft, saved.ZeroLeft);
    QCOMPARE(loaded.ZeroRight, saved.ZeroRight);
    QCOMPARE(loaded.RawCalibration, saved.RawCalibration);
}

void TestStoredSettings::missingValuesKeepTheirDefaults() {
    MemorySettingsStore store;
    store.plant("Raw Value  3.0V", 15000);
    store.plant("Zero right", 5);
    CalibrationState state;
    LoadCalibrationAtStartup(store, state, m_boxes);
    QCOMPARE(state.RawCalibration[2].RawValue, 15000);
    QCOMPARE(state.ZeroRight, 5);
    QCOMPARE(state.Device.LineIn, -1);
    QCOMPARE(state.Device.SoundDevice, 0);
    QVERIFY(!state.Calibrated);
    QVERIFY(m_boxes.shown().isEmpty());
}

void TestStoredSettings::wrongTypeIsReportedAndSkipped() {
    MemorySettingsStore store;
    QVERIFY(SaveSettings(store, DistinctState(), 1, m_boxes));
    store.plant("Mixer", QStringLiteral("two"));
    store.plant("Raw Factor 30 V left", 1.5);
    store.plant("Sound device name", 3);
    CalibrationState state;
    LoadSettings(store, state, m_boxes);
    QCOMPARE(m_boxes.texts(), QStringList({"Invalid data type for 'Mixer'",
                                           "Invalid data type for 'Raw Factor 30 V left'",
                                           "Invalid data type for 'Sound device name'"}));
    QCOMPARE(m_boxes.shown().front().kind, ScriptedMessageBoxes::Kind::Error);
    QCOMPARE(state.Device.MixerIndex, 0);
    QCOMPARE(state.RawCalibration[3].RawFactorLeft, 0);
    // The values after the bad ones are still read.
    QCOMPARE(state.Device.LineIn, 3);
    QCOMPARE(state.RawCalibration[4].RawFactorLeft, 8004);
}

void TestStoredSettings::soundDeviceOutOfRangeIsIgnored_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("first device") << 0 << 0;
    QTest::newRow("a later device") << 3 << 3;
    QTest::newRow("highest") << 254 << 254;
    QTest::newRow("negative") << -1 << 0;
    QTest::newRow("absurd") << 100000 << 0;
}

void TestStoredSettings::soundDeviceOutOfRangeIsIgnored() {
    QFETCH(int, stored);
    QFETCH(int, expected);
    MemorySettingsStore store;
    store.plant("Sound device", stored);
    CalibrationState state;
    LoadSettings(store, state, m_boxes);
    QCOMPARE(state.Device.SoundDevice, expected);
    QVERIFY(m_boxes.shown().isEmpty());
}

void TestStoredSettings::storeThatCannotBeOpened() {
    MemorySettingsStore store;
    store.plant("Zero left", 99);
    store.setOpenSucceeds(false);
    CalibrationState state;
    LoadSettings(store, state, m_boxes);
    QCOMPARE(state.ZeroLeft, 0);
    QVERIFY(m_boxes.shown().isEmpty());
    // A save that cannot even open the store says so instead of failing silently.
    QVERIFY(!SaveSettings(store, state, 0, m_boxes));
    QCOMPARE(m_boxes.texts(), QStringList{"Failed to set data for 'Sound device'"});
}

void TestStoredSettings::failedWriteEndsTheSave() {
    MemorySettingsStore store;
    store.failWritesFrom("Zero left");
    QVERIFY(!SaveSettings(store, DistinctState(), 1, m_boxes));
    QCOMPARE(m_boxes.texts(), QStringList{"Failed to set data for 'Zero left'"});
    QCOMPARE(store.writeOrder(), AllNames().mid(0, 3));
}

void TestStoredSettings::fileRoundTrip() {
    const QString path = m_dir.filePath("roundtrip.conf");
    const CalibrationState saved = DistinctState();
    {
        QSettingsStore store(path);
        QVERIFY(SaveSettings(store, saved, 2, m_boxes));
    }
    QSettingsStore store(path);
    CalibrationState loaded;
    LoadSettings(store, loaded, m_boxes);
    QVERIFY(m_boxes.shown().isEmpty());
    QCOMPARE(loaded.Device.SoundDevice, 2);
    QCOMPARE(loaded.Device.LineIn, saved.Device.LineIn);
    QCOMPARE(loaded.ZeroLeft, saved.ZeroLeft);
    QCOMPARE(loaded.RawCalibration, saved.RawCalibration);
    QCOMPARE(loaded.Device.SoundDeviceName, std::string("0: HDA Intel PCH: ALC892 Analog"));
    // The file holds exactly the 17 names and the device's.
    QSettings file(path, QSettings::IniFormat);
    QStringList keys = file.allKeys();
    QStringList expected = WrittenNames();
    keys.sort();
    expected.sort();
    QCOMPARE(keys, expected);
}

void TestStoredSettings::fileWithWrongNamesIsNotRead() {
    const QString path = m_dir.filePath("wrongnames.conf");
    {
        QSettings file(path, QSettings::IniFormat);
        file.setValue("Raw Value 0.3V", 111);       // one blank after "Value"
        file.setValue("Raw Value  30V", 222);       // no blank before the V
        file.setValue("Raw Factor 30V left", 333);  // no blank before the V
        file.setValue("raw value  3.0V", 444);      // letter case
        file.setValue("Raw Value  3.0A", 555);      // exact
    }
    QSettingsStore store(path);
    CalibrationState state;
    LoadSettings(store, state, m_boxes);
    QCOMPARE(state.RawCalibration[1].RawValue, 0);
    QCOMPARE(state.RawCalibration[3].RawValue, 0);
    QCOMPARE(state.RawCalibration[3].RawFactorLeft, 0);
    QCOMPARE(state.RawCalibration[2].RawValue, 0);
    QCOMPARE(state.RawCalibration[4].RawValue, 555);
}

void TestStoredSettings::fileValuesOfTheWrongType_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("expected");
    QTest::newRow("integer") << QByteArray("Zero%20left=-12") << true << -12;
    QTest::newRow("letters") << QByteArray("Zero%20left=twelve") << false << 0;
    QTest::newRow("decimal fraction") << QByteArray("Zero%20left=1.5") << false << 0;
    QTest::newRow("trailing text") << QByteArray("Zero%20left=12abc") << false << 0;
    QTest::newRow("beyond 32 bits") << QByteArray("Zero%20left=4294967296") << false << 0;
    QTest::newRow("list") << QByteArray("Zero%20left=1, 2") << false << 0;
    QTest::newRow("empty") << QByteArray("Zero%20left=") << false << 0;
    QTest::newRow("quoted integer") << QByteArray("Zero%20left=\"-12\"") << true << -12;
    QTest::newRow("CR LF line end") << QByteArray("Zero%20left=-12\r") << true << -12;
    QTest::newRow("an integer object")
        << QByteArray("Zero%20left=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\f)") << false << 0;
    // A serialized object claiming 31 GB, once found by fuzzing: refused, nothing allocated.
    QTest::newRow("a huge object")
        << QByteArray("Zero%20left=@Variant(\\0\\0\\0\\t:0\\x87\\x3\\xc0)") << false << 0;
    QTest::newRow("bytes") << QByteArray("Zero%20left=@ByteArray(12)") << false << 0;
}

void TestStoredSettings::fileValuesOfTheWrongType() {
    QFETCH(QByteArray, line);
    QFETCH(bool, accepted);
    QFETCH(int, expected);
    const QString path = m_dir.filePath(QStringLiteral("type%1.conf").arg(QTest::currentDataTag()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[General]\nZero%20right=7\n" + line + "\nMixer=3\n");
    file.close();
    QSettingsStore store(path);
    CalibrationState state;
    LoadSettings(store, state, m_boxes);
    QCOMPARE(state.ZeroLeft, expected);
    QCOMPARE(state.ZeroRight, 7);
    QCOMPARE(state.Device.MixerIndex, 3);
    QCOMPARE(m_boxes.texts(),
             accepted ? QStringList{} : QStringList{"Invalid data type for 'Zero left'"});
}

void TestStoredSettings::filesOfTheEarlierLayoutReadAndWrittenAlike() {
    // Qt's INI layout, as a calibration of the program writes it: read back exactly, and what
    // this store writes reads back the same through Qt's own reader.
    const QString earlier = m_dir.filePath(QStringLiteral("earlier.conf"));
    {
        QSettings qt(earlier, QSettings::IniFormat);
        qt.setValue(QStringLiteral("Raw Value  30 V"), 45000);
        qt.setValue(QStringLiteral("Zero right"), -7);
    }
    QSettingsStore store(earlier);
    QVERIFY(store.open());
    QCOMPARE(store.readInteger(QStringLiteral("Raw Value  30 V")).value, 45000);
    QCOMPARE(store.readInteger(QStringLiteral("Zero right")).value, -7);
    QVERIFY(store.writeInteger(QStringLiteral("Raw Factor 3.0A left"), 8166));
    store.close();
    QSettings qt(earlier, QSettings::IniFormat);
    QCOMPARE(qt.value(QStringLiteral("Raw Factor 3.0A left")).toInt(), 8166);
    QCOMPARE(qt.value(QStringLiteral("Raw Value  30 V")).toInt(), 45000);
    QCOMPARE(qt.value(QStringLiteral("Zero right")).toInt(), -7);
    QCOMPARE(qt.allKeys().size(), 3);
}

void TestStoredSettings::nativeLocation() {
    qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toLocal8Bit());
    QSettingsStore store;
    QCOMPARE(store.fileName(), m_dir.filePath("config/Zoruzoz/Veruziva.conf"));
    QVERIFY(SaveSettings(store, DistinctState(), 1, m_boxes));
    QVERIFY(QFile::exists(m_dir.filePath("config/Zoruzoz/Veruziva.conf")));
    qunsetenv("XDG_CONFIG_HOME");
}

void TestStoredSettings::unwritableLocationFailsTheSave() {
    // A folder that cannot exist: its parent is a plain file (this holds for root as well).
    QFile blocker(m_dir.filePath("plainfile"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettingsStore store(m_dir.filePath("plainfile/Veruziva.conf"));
    QVERIFY(!SaveSettings(store, DistinctState(), 1, m_boxes));
    QCOMPARE(m_boxes.texts(), QStringList{"Failed to set data for 'Sound device'"});
    // Loading from there finds nothing and says nothing.
    m_boxes.clear();
    CalibrationState state;
    LoadCalibrationAtStartup(store, state, m_boxes);
    QVERIFY(!state.Calibrated);
    QVERIFY(m_boxes.shown().isEmpty());
}

void TestStoredSettings::firstRunIsNotCalibrated() {
    QSettingsStore store(m_dir.filePath("firstrun/Veruziva.conf"));
    CalibrationState state;
    LoadCalibrationAtStartup(store, state, m_boxes);
    QVERIFY(!state.Calibrated);
    QCOMPARE(state.Device.LineIn, -1);
    for (int r = FirstRange; r <= LastRange; ++r) {
        QCOMPARE(state.CalFactor[r], CalFactorPair{});
    }
    QVERIFY(m_boxes.shown().isEmpty());
}

void TestStoredSettings::startupDerivesTheStoredCalibration() {
    const QString path = m_dir.filePath("calibrated.conf");
    CalibrationState saved;
    saved.ZeroLeft = 12;
    saved.ZeroRight = -7;
    saved.Device.LineIn = 2;
    for (int r = FirstRange; r <= LastRange; ++r) {
        saved.RawCalibration[r] = {15000, 8210, 8166};
    }
    {
        QSettingsStore store(path);
        QVERIFY(SaveSettings(store, saved, 1, m_boxes));
    }
    QSettingsStore store(path);
    CalibrationState state;
    state.CalFactor[1] = {5.0, 5.0};  // stale factors are cleared first
    LoadCalibrationAtStartup(store, state, m_boxes);
    QVERIFY(state.Calibrated);
    QCOMPARE(state.Device.SoundDevice, 1);
    QCOMPARE(state.Device.LineIn, 2);
    QCOMPARE(state.CalFactor[2].Left, 15000.0 / ((8210 - 12) * 10000.0));
    QCOMPARE(state.CalFactor[2].Right, 15000.0 / ((8166 + 7) * 10000.0));
}

QTEST_GUILESS_MAIN(TestStoredSettings)
#include "tst_storedsettings.moc"

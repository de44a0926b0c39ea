#include <QtTest>
#include <map>
#include <set>
#include <thread>

#include "capture/inputlevelwatch.h"
#include "mixer/audiomixer.h"
#include "platform/pulse/pulsemixerservice.h"
#include "platform/pulse/pulsewaveinput.h"
#include "pulseserver.h"
#include "sourcelevel.h"

using namespace veruziva;

namespace {

SourceLevel LevelOf(const PulseServer& server, const QString& source) {
    return SourceLevel::Of(
        [&server](const QStringList& arguments) { return server.pactl(arguments); }, source);
}

}  // namespace

// The sound server's sources as devices and mixers, on a private server: a fed source whose name
// marks it a line input, a microphone, and an output's monitor.
class TestPulseMixer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void devicesAndMixersInTheInstrumentsOrder();
    void changeMessages_data();
    void changeMessages();
    void stereoLevelsReachTheServer();
    void meterToolSaysWhenTheLevelMoves_data();
    void meterToolSaysWhenTheLevelMoves();
    void sourceGoneIsALineChange();
    void serverRestartIsALineChangeAndTheWatchFollows();
    void startUpSetsTheLineInAndNothingElse_data();
    void startUpSetsTheLineInAndNothingElse();  // last: it unloads the line-in source

private:
    PulseServer m_server;
};

void TestPulseMixer::initTestCase() {
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
}

void TestPulseMixer::cleanupTestCase() {
    m_server.stop();
}

void TestPulseMixer::devicesAndMixersInTheInstrumentsOrder() {
    std::shared_ptr<pulse::SoundServer> server = pulse::SoundServer::Find();
    QVERIFY(server);
    pulse::PulseWaveInput waveInput(server);
    pulse::PulseMixerService mixers(server);
    // The microphone was loaded first, yet the line input leads: start-up takes the first device.
    const QStringList expected{"0: Bench line in;vzpipe", "1: Bench microphone;vzmic",
                               "2: Monitor of Null Output;vznull.monitor"};
    QStringList devices;
    for (unsigned device = 0; device < waveInput.deviceCount(); ++device) {
        WaveInCaps caps;
        QCOMPARE(waveInput.deviceCaps(device, caps), wave::NoError);
        MixerCaps mixer;
        QCOMPARE(mixers.caps(device, mixer), mixer::NoError);
        QCOMPARE(mixer.productName, caps.productName);
        devices << QString::fromStdString(caps.productName + ";" + caps.systemName);
    }
    QCOMPARE(devices, expected);
    QCOMPARE(mixers.deviceCount(), waveInput.deviceCount());
}

void TestPulseMixer::changeMessages_data() {
    QTest::addColumn<QStringList>("pactl");   // empty: the component's own write
    QTest::addColumn<std::uint32_t>("type");  // of every control that gets a message
    QTest::addColumn<bool>("moved");
    QTest::newRow("volume") << QStringList{"set-source-volume", "vzpipe", "30000"}
                            << mixer::VolumeControl << true;
    QTest::newRow("one channel") << QStringList{"set-source-volume", "vzpipe", "65536", "50000"}
                                 << mixer::VolumeControl << true;
    QTest::newRow("boosted") << QStringList{"set-source-volume", "vzpipe", "120%"}
                             << mixer::VolumeControl << true;
    QTest::newRow("mute") << QStringList{"set-source-mute", "vzpipe", "1"} << mixer::MuteControl
                          << true;
    QTest::newRow("the component's own write") << QStringList{} << mixer::VolumeControl << false;
}

// The server's events for the line input's source, as the component's events, on the thread
// that opened it; and the watch of the level the program set.
void TestPulseMixer::changeMessages() {
    QFETCH(QStringList, pactl);
    QFETCH(std::uint32_t, type);
    QFETCH(bool, moved);
    std::shared_ptr<pulse::SoundServer> server = pulse::SoundServer::Find();
    QVERIFY(server);
    pulse::PulseMixerService mixers(server);
    TAudioMixer component(mixers);
    QCOMPARE(component.ProductName(), std::string("0: Bench line in"));
    QVERIFY(component.Notifying());
    QVERIFY(component.SetLineLevel(1, 0, 65535, 65535, 0));
    InputLevelWatch watch(component, [] { return 0; });
    watch.levelSet();
    QTest::qWait(200);  // the messages of that write, which move nothing
    QVERIFY(!watch.moved());

    std::map<std::int32_t, std::uint32_t> types;  // of every control, by id
    const TMixerDestination* recording = component.Destinations()->DestinationAt(1);
    for (int line = -1; line < recording->Connections.ConnectionCount(); ++line) {
        const TMixerControls& controls =
            line < 0 ? recording->Controls : recording->Connections.ConnectionAt(line)->Controls;
        for (int k = 0; k < controls.ControlCount(); ++k) {
            types[static_cast<std::int32_t>(controls.ControlAt(k)->controlId)] =
                controls.ControlAt(k)->type;
        }
    }
    std::set<std::uint32_t> seen;
    const std::thread::id thread = std::this_thread::get_id();
    component.OnControlChange = [&](TAudioMixer&, std::int32_t, std::int32_t id) {
        QCOMPARE(std::this_thread::get_id(), thread);
        seen.insert(types.count(id) != 0 ? types.at(id) : 0);
        watch.check();
    };
    if (pactl.isEmpty()) {
        QVERIFY(component.SetLineLevel(1, 0, 40000, 40000, -1));
        watch.levelSet();  // the program's own setting
    } else {
        QVERIFY(m_server.pactl(pactl));
    }
    QTRY_VERIFY(!seen.empty());
    QTest::qWait(100);
    QCOMPARE(seen, std::set<std::uint32_t>{type});
    QCOMPARE(watch.moved(), moved);
    if (moved) {
        QVERIFY(watch.restore());
        QCOMPARE(LevelOf(m_server, "vzpipe"), (SourceLevel{{65536, 65536}, false}));
    }
}

// Left and right written apart reach the server apart, and read back so.
void TestPulseMixer::stereoLevelsReachTheServer() {
    std::shared_ptr<pulse::SoundServer> server = pulse::SoundServer::Find();
    QVERIFY(server);
    pulse::PulseMixerService mixers(server);
    TAudioMixer component(mixers);
    QVERIFY(component.SetLineLevel(1, 0, 30000, 50000, 0));
    QCOMPARE(LevelOf(m_server, "vzpipe"), (SourceLevel{{30000, 50001}, false}));
    LineLevel level;
    QVERIFY(component.GetLineLevel(1, 0, level));
    QCOMPARE(level.left, 30000);
    QCOMPARE(level.right, 50000);
    QVERIFY(level.stereo);
    QVERIFY(component.SetLineLevel(1, 0, 65535, 65535, 0));
}

void TestPulseMixer::meterToolSaysWhenTheLevelMoves_data() {
    QTest::addColumn<QString>("volume");
    QTest::addColumn<QString>("said");
    QTest::newRow("down") << "32768"
                          << "50 % / 50 %";
    QTest::newRow("boosted") << "120%"
                             << "120 % / 120 %";
}

// The tool's live mode says on standard error when the level moves, and when it is back.
void TestPulseMixer::meterToolSaysWhenTheLevelMoves() {
    QFETCH(QString, volume);
    QFETCH(QString, said);
    QTemporaryDir settings;
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", settings.path());
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(METER_TOOL), {"--device", "0", "--blocks", "40"});
    QVERIFY(tool.waitForStarted());
    // Its stream is there once it watches the level.
    QTRY_VERIFY_WITH_TIMEOUT(
        !m_server.pactl({"list", "short", "source-outputs"}).value_or(QString()).isEmpty(), 10000);
    const SourceLevel before = LevelOf(m_server, "vzpipe");
    QVERIFY(m_server.pactl({"set-source-volume", "vzpipe", volume}));
    QTest::qWait(500);
    QVERIFY(m_server.pactl({"set-source-volume", "vzpipe", QString::number(before.volumes[0]),
                            QString::number(before.volumes[1])}));
    QVERIFY(tool.state() == QProcess::NotRunning || tool.waitForFinished(30000));
    // What it said tells why it failed (a sanitizer's report among it).
    const QByteArray standardError = tool.readAllStandardError();
    QVERIFY2(tool.exitCode() == 0, standardError.constData());
    const QStringList errors =
        QString::fromLocal8Bit(standardError).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(errors, (QStringList{
                         "veruziva-meter: the input level of \"Bench line in\" has moved (volume " +
                             said + ", live): calibrated readings do not hold at this level",
                         "veruziva-meter: the input level of \"Bench line in\" is back"}));
}

// A source that goes away (its card unplugged) changes every line of its mixer.
void TestPulseMixer::sourceGoneIsALineChange() {
    const std::optional<QString> module = m_server.pactl(
        {"load-module", "module-null-source", "source_name=vzgone", "description=Going"});
    QVERIFY(module);
    std::shared_ptr<pulse::SoundServer> server = pulse::SoundServer::Find();
    QVERIFY(server);
    pulse::PulseMixerService mixers(server);
    TAudioMixer component(mixers);
    for (int mixer = 0; mixer < component.MixerCount(); ++mixer) {
        component.setMixerId(mixer);
        if (component.ProductName().find("Going") != std::string::npos) {
            break;
        }
    }
    QVERIFY(component.ProductName().find("Going") != std::string::npos);
    QVERIFY(component.Notifying());
    QList<std::int32_t> lines;
    component.OnLineChange = [&lines](TAudioMixer&, std::int32_t, std::int32_t id) { lines << id; };
    QVERIFY(m_server.pactl({"unload-module", module->trimmed()}));
    QTRY_COMPARE(lines.size(), 2);
    const TMixerDestinations* destinations = component.Destinations();
    QCOMPARE(lines,
             (QList<std::int32_t>{
                 static_cast<std::int32_t>(destinations->DestinationAt(0)->LineInfo.lineId),
                 static_cast<std::int32_t>(destinations->DestinationAt(1)->LineInfo.lineId)}));
}

// The server restarted (as after a crash or an update) with its own volume: going away and coming
// back is a line change, the level then reads as moved, and the events of the new server come.
void TestPulseMixer::serverRestartIsALineChangeAndTheWatchFollows() {
    std::shared_ptr<pulse::SoundServer> server = pulse::SoundServer::Find();
    QVERIFY(server);
    pulse::PulseMixerService mixers(server);
    TAudioMixer component(mixers);
    QVERIFY(component.Notifying());
    QVERIFY(component.SetLineLevel(1, 0, 40000, 40000, 0));
    InputLevelWatch watch(component, [] { return 0; });
    watch.levelSet();
    int lines = 0;
    int controls = 0;
    component.OnLineChange = [&](TAudioMixer&, std::int32_t, std::int32_t) {
        ++lines;
        watch.check();
    };
    component.OnControlChange = [&](TAudioMixer&, std::int32_t, std::int32_t) {
        ++controls;
        watch.check();
    };
    m_server.stop();
    QTRY_COMPARE(lines, 2);   // gone: each destination
    QVERIFY(!watch.moved());  // nothing to read: nothing said of the level
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    QTRY_COMPARE_WITH_TIMEOUT(lines, 4, 10000);  // back
    QVERIFY(watch.moved());                      // the new server's 100 %, not the 40000 kept
    // Events come from the new server, and the kept level can be set again.
    controls = 0;
    QVERIFY(m_server.pactl({"set-source-volume", "vzpipe", "20000"}));
    QTRY_VERIFY(controls > 0);
    QVERIFY(watch.restore());
    QCOMPARE(LevelOf(m_server, "vzpipe"), (SourceLevel{{40001, 40001}, false}));
}

void TestPulseMixer::startUpSetsTheLineInAndNothingElse_data() {
    QTest::addColumn<bool>("withLineIn");
    QTest::newRow("a line-in source") << true;
    QTest::newRow("only a microphone") << false;
}

void TestPulseMixer::startUpSetsTheLineInAndNothingElse() {
    QFETCH(bool, withLineIn);
    // The desktop's microphone muted at 40 %, the line input low and muted.
    QVERIFY(m_server.pactl({"set-source-volume", "vzmic", "26214"}));
    QVERIFY(m_server.pactl({"set-source-mute", "vzmic", "1"}));
    QVERIFY(m_server.pactl({"set-source-volume", "vzpipe", "19661"}));
    QVERIFY(m_server.pactl({"set-source-mute", "vzpipe", "1"}));
    if (!withLineIn) {
        QVERIFY(m_server.pactl({"unload-module", "module-pipe-source"}));
    }
    const SourceLevel microphone = LevelOf(m_server, "vzmic");
    const SourceLevel monitor = LevelOf(m_server, "vznull.monitor");
    QCOMPARE(microphone, (SourceLevel{{26214, 26214}, true}));

    QTemporaryDir settings;
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", settings.path());
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(METER_TOOL), {"--line-in"});
    QVERIFY(tool.waitForFinished(30000));
    const QString output = QString::fromLocal8Bit(tool.readAllStandardOutput());
    const QString errors = QString::fromLocal8Bit(tool.readAllStandardError());
    QVERIFY2(output.startsWith("audio: sound server"), qPrintable(output));
    if (withLineIn) {
        QCOMPARE(tool.exitCode(), 0);
        QVERIFY2(output.contains("line-in: source 0 \"Bench line in\"") &&
                     output.contains("set: volume 65535,65535, mute 0"),
                 qPrintable(output));
        QCOMPARE(LevelOf(m_server, "vzpipe"), (SourceLevel{{65536, 65536}, false}));
    } else {
        // Start-up ends; it turns up neither the microphone nor anything else.
        QCOMPARE(tool.exitCode(), 1);
        QVERIFY2(errors.contains("LineIn device NOT available"), qPrintable(errors));
        QVERIFY2(output.contains("start-up: would end"), qPrintable(output));
    }
    QCOMPARE(LevelOf(m_server, "vzmic"), microphone);
    QCOMPARE(LevelOf(m_server, "vznull.monitor"), monitor);
}

QTEST_GUILESS_MAIN(TestPulseMixer)
#include "tst_pulsemixer.moc"

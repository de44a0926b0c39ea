#include <QtTest>

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

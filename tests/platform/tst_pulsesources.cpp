#include <QtTest>

#include "calibration/calibrationstate.h"
#include "capture/captureengine.h"
#include "capture/devicebox.h"
#include "capture/inputselection.h"
#include "mixer/audiomixer.h"
#include "platform/fatalerrors.h"
#include "platform/pulse/pulsemixerservice.h"
#include "platform/sim/simwaveinput.h"
#include "support/scriptedmessageboxes.h"

using namespace veruziva;
using namespace veruziva::pulse;

namespace {

// The sources of a `LC_ALL=C pactl list sources` listing.
std::vector<SourceInfo> ParseListing(const QString& text) {
    std::vector<SourceInfo> sources;
    bool inPorts = false;
    for (const QString& line : text.split('\n')) {
        const QString field = line.trimmed();
        const QString value = field.section(": ", 1).trimmed();
        if (line.startsWith("Source #")) {
            sources.emplace_back();
            sources.back().index = line.mid(8).toUInt();
            continue;
        }
        if (sources.empty()) {
            continue;
        }
        SourceInfo& source = sources.back();
        if (inPorts && line.startsWith("\t\t")) {
            source.ports.push_back({field.section(": ", 0, 0).toStdString(),
                                    field.section(": ", 1).section(" (", 0, 0).toStdString()});
            continue;
        }
        inPorts = field == "Ports:";
        if (field.startsWith("Name:")) {
            source.name = value.toStdString();
        } else if (field.startsWith("Description:")) {
            source.description = value.toStdString();
        } else if (field.startsWith("Mute:")) {
            source.mute = value == "yes";
        } else if (field.startsWith("Volume:")) {
            QRegularExpressionMatchIterator volumes =
                QRegularExpression(": (\\d+) /").globalMatch(field);
            while (volumes.hasNext()) {
                source.volume.push_back(volumes.next().captured(1).toUInt());
            }
        } else if (field.startsWith("Monitor of Sink:")) {
            source.monitor = value != "n/a";
        } else if (field.startsWith("Active Port:")) {
            source.activePort = value.toStdString();
        }
    }
    return sources;
}

// A server holding the listing's sources, carrying out changes as the server would.
class ListedServer : public SourceAccess {
public:
    explicit ListedServer(std::vector<SourceInfo> sources)
        : m_state(std::move(sources)), m_listed(ListSources(InstrumentOrder(m_state))) {}
    const std::vector<ListedSource>& sources() override { return m_listed; }
    std::optional<SourceInfo> source(const std::string& name) override {
        SourceInfo* found = find(name);
        return found != nullptr ? std::optional(*found) : std::nullopt;
    }
    bool apply(const std::string& name, const SourceChange& change) override {
        SourceInfo* found = find(name);
        if (found == nullptr) {
            return false;
        }
        if (change.port) {
            found->activePort = *change.port;
        }
        found->mute = change.mute.value_or(found->mute);
        found->volume = change.volume.value_or(found->volume);
        return true;
    }
    const std::vector<SourceInfo>& state() const { return m_state; }

private:
    SourceInfo* find(const std::string& name) {
        for (SourceInfo& source : m_state) {
            if (source.name == name) {
                return &source;
            }
        }
        return nullptr;
    }
    std::vector<SourceInfo> m_state;
    std::vector<ListedSource> m_listed;
};

class ListBox : public DeviceBox {
public:
    void insertItem(int, const QString&) override {}
    void setCurrentIndex(int index) override { m_current = index; }
    int currentIndex() const override { return m_current; }

private:
    int m_current = -1;
};

StereoFrame Silence(std::uint64_t) {
    return {};
}

}  // namespace

// Start-up on the sources of real desktops, through the server's mixer service and the program's
// own mixer component and selection: which source, which port, and what is written where.
class TestPulseSources : public QObject {
    Q_OBJECT

private slots:
    void startUpOnDesktops_data();
    void startUpOnDesktops();
    void levelsMapLinearlyOntoTheServersVolume_data();
    void levelsMapLinearlyOntoTheServersVolume();
    void namesAreCutBetweenCharacters_data();
    void namesAreCutBetweenCharacters();
};

void TestPulseSources::startUpOnDesktops_data() {
    QTest::addColumn<QString>("listing");
    QTest::addColumn<QStringList>("devices");  // in the instrument's order
    QTest::addColumn<QString>("lineIn");       // the line-in line, or none: start-up ends
    QTest::addColumn<QString>("port");         // the port made active
    QTest::newRow("HDA desktop") << "hda-desktop.txt"
                                 << QStringList{"0: Built-in Audio Analog Stereo",
                                                "1: Monitor of Built-in Audio An"}
                                 << "Line In"
                                 << "analog-input-linein";
    QTest::newRow("HDA desktop, German")
        << "hda-german.txt" << QStringList{"0: Eingebautes Tonsystem Analog"} << "Line-Eingang"
        << "analog-input-linein";
    QTest::newRow("laptop: microphones only")
        << "laptop.txt"
        << QStringList{"0: Built-in Audio Analog Stereo", "1: Monitor of Built-in Audio An"} << ""
        << "";
    QTest::newRow("laptop and a USB sound card")
        << "laptop-usb.txt"
        << QStringList{"0: USB Sound Device Analog Mono", "1: Built-in Audio Analog Stereo",
                       "2: Monitor of USB Sound Device "}
        << "Line In"
        << "analog-input-linein";
}

void TestPulseSources::startUpOnDesktops() {
    QFETCH(QString, listing);
    QFETCH(QStringList, devices);
    QFETCH(QString, lineIn);
    QFETCH(QString, port);
    QFile file(QFINDTESTDATA("sources/" + listing));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const std::vector<SourceInfo> before = ParseListing(QString::fromUtf8(file.readAll()));
    QVERIFY(!before.empty());
    auto server = std::make_shared<ListedServer>(before);
    QStringList listed;
    sim::SimWaveInput waveInput;
    for (const ListedSource& source : server->sources()) {
        listed << QString::fromStdString(source.deviceName);
        waveInput.addDevice(source.deviceName, Silence);
    }
    QCOMPARE(listed, devices);

    PulseMixerService mixers(server);
    TAudioMixer component(mixers);
    sim::ScriptedMessageBoxes boxes;
    FatalErrors fatal(boxes, nullptr);
    CaptureEngine engine(waveInput, fatal, nullptr);
    CalibrationState state;
    ListBox box;
    InputSelection selection(waveInput, component, engine, state.Device, FlagsOf(state), box, boxes,
                             fatal);
    selection.StartUp();

    const std::string chosen = server->sources().front().sourceName;
    QCOMPARE(state.Device.SoundDevice, 0);
    QCOMPARE(state.Device.MixerIndex, 0);
    for (std::size_t k = 0; k < before.size(); ++k) {
        const SourceInfo& now = server->state()[k];
        if (lineIn.isEmpty() || now.name != chosen) {
            // Untouched: another source, or a start-up that ends.
            QCOMPARE(now.activePort, before[k].activePort);
            QCOMPARE(now.volume, before[k].volume);
            QCOMPARE(now.mute, before[k].mute);
            continue;
        }
        QCOMPARE(QString::fromStdString(now.activePort), port);
        QCOMPARE(now.volume, std::vector<std::uint32_t>(before[k].volume.size(), 65536));
        QVERIFY(!now.mute);
    }
    if (lineIn.isEmpty()) {
        QCOMPARE(boxes.texts(), QStringList{selectionmessages::NoLineIn});
        QVERIFY(fatal.endRequested());
        return;
    }
    QCOMPARE(boxes.texts(), QStringList{});
    const TMixerConnections& lines = component.Destinations()->DestinationAt(1)->Connections;
    QCOMPARE(QString::fromStdString(lines.ConnectionAt(state.Device.LineIn)->LineInfo.name),
             lineIn);
    // The other ports read muted, as they are not in use; muting one leaves the line-in live.
    for (int line = 0; line < lines.ConnectionCount(); ++line) {
        LineLevel level;
        QVERIFY(component.GetLineLevel(1, line, level));
        QCOMPARE(level.mute, line == state.Device.LineIn ? 0 : 1);
        QCOMPARE(level.left, 65535);
        QVERIFY(component.SetLineLevel(1, line, -1, -1, 1) || line == state.Device.LineIn);
        if (line != state.Device.LineIn) {
            QVERIFY(component.GetLineLevel(1, state.Device.LineIn, level));
            QCOMPARE(level.mute, 0);
        }
    }
    // Muting the line-in mutes the source; unmuting a microphone's port switches to it.
    QVERIFY(component.SetLineLevel(1, state.Device.LineIn, -1, -1, 1));
    QVERIFY(server->source(chosen)->mute);
    const int other = state.Device.LineIn == 0 ? 1 : 0;
    QVERIFY(component.SetLineLevel(1, other, -1, -1, 0));
    QCOMPARE(server->source(chosen)->activePort, server->source(chosen)->ports[other].name);
    QVERIFY(!server->source(chosen)->mute);
}

void TestPulseSources::levelsMapLinearlyOntoTheServersVolume_data() {
    QTest::addColumn<std::int32_t>("level");
    QTest::addColumn<std::uint32_t>("volume");
    QTest::newRow("muted") << 0 << 0u;
    QTest::newRow("one step") << 1 << 1u;
    QTest::newRow("10 %") << 6554 << 6554u;
    QTest::newRow("half") << 32768 << 32769u;
    QTest::newRow("one step below full") << 65534 << 65535u;
    QTest::newRow("100 %") << 65535 << 65536u;
    // A desktop's slider boosts past 100 %: above the controls' maximum, not full.
    QTest::newRow("120 %") << 78642 << 78643u;
    QTest::newRow("150 %") << 98303 << 98305u;
}

void TestPulseSources::levelsMapLinearlyOntoTheServersVolume() {
    QFETCH(std::int32_t, level);
    QFETCH(std::uint32_t, volume);
    QCOMPARE(ServerVolume(level), volume);
    QCOMPARE(LevelOfServerVolume(volume), level);
}

void TestPulseSources::namesAreCutBetweenCharacters_data() {
    // A description as the server gives it, and the device name: at most 31 bytes, never half
    // a character (é is 2 bytes, € 3, 𝄞 4).
    // The line's short name is cut at 15 bytes alike.
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("shortName");
    QTest::newRow("fits") << "Entrée ligne"
                          << "0: Entrée ligne"
                          << "Entrée ligne";
    QTest::newRow("2 bytes across the cut") << "Entrée ligne analogique stéréo"
                                            << "0: Entrée ligne analogique st"
                                            << "Entrée ligne a";
    QTest::newRow("2 bytes ending at the cut") << "Entrée ligne analogique séxyz"
                                               << "0: Entrée ligne analogique sé"
                                               << "Entrée ligne a";
    QTest::newRow("3 bytes across the cuts") << "Eingang Analog€ 12345 €€€"
                                             << "0: Eingang Analog€ 12345 €"
                                             << "Eingang Analog";
    QTest::newRow("4 bytes across the cut") << "Line in 12345678901234567𝄞"
                                            << "0: Line in 12345678901234567"
                                            << "Line in 1234567";
}

void TestPulseSources::namesAreCutBetweenCharacters() {
    QFETCH(QString, description);
    QFETCH(QString, device);
    QFETCH(QString, shortName);
    SourceInfo source;
    source.name = "alsa_input.test";
    source.description = description.toStdString();
    source.ports.push_back({"analog-input-linein", description.toStdString()});
    const std::vector<ListedSource> listed = ListSources({source});
    QCOMPARE(listed.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(listed.front().deviceName), device);
    const SourceMixer mixer(source);
    QCOMPARE(QString::fromStdString(mixer.source(1, 0)->shortName), shortName);
    QCOMPARE(QString::fromStdString(mixer.source(1, 0)->name), description);
}

QTEST_GUILESS_MAIN(TestPulseSources)
#include "tst_pulsesources.moc"

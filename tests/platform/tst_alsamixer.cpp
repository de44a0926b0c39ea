#include <QtTest>

#include "mixer/audiomixer.h"
#include "platform/alsa/alsamixerservice.h"

using namespace veruziva;

namespace {

// The ALSA configuration of a test card: a capture PCM (never opened here) and, as its control
// device, the test control plugin with the given layout, its state and its write log.
QString CardConfig(const QString& name, const QString& layout, const QString& description,
                   const QString& folder) {
    return QStringLiteral(
               "pcm.%1 { type file slave.pcm \"null\" file \"/dev/null\" infile \"/dev/zero\" "
               "hint { show on description \"%3\" } }\n"
               "ctl.%1 { type vzctl layout \"%2\" state \"%4/%1.state\" log \"%4/%1.log\" }\n")
        .arg(name, layout, description, folder);
}

QString PluginType() {
    return QStringLiteral("ctl_type.vzctl { lib \"%1\" }\n").arg(QStringLiteral(CTL_PLUGIN));
}

// The plugin's state file as element name -> values.
QMap<QString, QString> State(const QString& path) {
    QMap<QString, QString> state;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            const qsizetype equals = line.indexOf('=');
            if (equals > 0) {
                state.insert(QString::fromUtf8(line.left(equals)),
                             QString::fromUtf8(line.mid(equals + 1)));
            }
        }
    }
    return state;
}

QString ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString TypeName(std::uint32_t type) {
    const QMap<std::uint32_t, QString> names{
        {mixer::VolumeControl, "volume"}, {mixer::MuteControl, "mute"}, {mixer::MuxControl, "mux"}};
    return names.value(type, QString::number(type, 16));
}

// A line as "id name (channels, connections)", then its controls as "- id name: type
// minimum..maximum flags/items", a list's entries after it as "[lineId name, ...]".
QStringList Described(MixerService& service, MixerHandle handle, const MixerLine& line) {
    QStringList described{
        QStringLiteral("%1 %2 (%3, %4)")
            .arg(QString::number(line.lineId, 16), QString::fromStdString(line.name))
            .arg(line.channels)
            .arg(line.connections)};
    std::vector<MixerControlInfo> infos;
    service.lineControls(handle, line.lineId, infos);
    for (const MixerControlInfo& info : infos) {
        QString control = QStringLiteral("- %1 %2: %3 %4..%5 %6/%7")
                              .arg(info.controlId)
                              .arg(QString::fromStdString(info.name), TypeName(info.type))
                              .arg(info.minimum)
                              .arg(info.maximum)
                              .arg(info.flags)
                              .arg(info.items);
        std::vector<MixerListText> texts;
        if (service.listTexts(handle, info.controlId, 1, info.items, texts) == mixer::NoError) {
            QStringList entries;
            for (const MixerListText& text : texts) {
                entries << QString::number(text.lineId, 16) + " " +
                               QString::fromStdString(text.name);
            }
            control += " [" + entries.join(", ") + "]";
        }
        described << control;
    }
    return described;
}

}  // namespace

class TestAlsaMixer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void mixersAreTheInputsControlDevices();
    void hdaLayout();
    void ac97Layout();
    void usbLayout();
    void volumeMapsOntoTheElementRange();
    void linesAndControlsOfEachLayout_data();
    void linesAndControlsOfEachLayout();
    void valuesReachTheirElement_data();
    void valuesReachTheirElement();
    void changeMessages_data();
    void changeMessages();
    void unpluggedCardIsALineChange();
    void startUpSelectsLineOnEachLayout_data();
    void startUpSelectsLineOnEachLayout();

private:
    int mixerNamed(const char* ctl);
    QTemporaryDir m_dir;
    alsa::AlsaMixerService m_service;
};

void TestAlsaMixer::initTestCase() {
    QFile config(m_dir.filePath("asound.conf"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write((PluginType() + CardConfig("vzhda", "hda", "HDA test card", m_dir.path()) +
                  CardConfig("vzac97", "ac97", "AC97 test card", m_dir.path()) +
                  CardConfig("vzusb", "usb", "USB test card", m_dir.path()) +
                  // Without a state file the test device sends no events.
                  "pcm.vzquiet { type file slave.pcm \"null\" file \"/dev/null\" infile "
                  "\"/dev/zero\" hint { show on description \"Quiet test card\" } }\n"
                  "ctl.vzquiet { type vzctl layout \"usb\" }\n")
                     .toUtf8());
    config.close();
    qputenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + config.fileName()).toLocal8Bit());
}

int TestAlsaMixer::mixerNamed(const char* ctl) {
    const auto& mixers = m_service.mixers();
    for (std::size_t i = 0; i < mixers.size(); ++i) {
        if (mixers[i].ctlName == ctl) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TestAlsaMixer::mixersAreTheInputsControlDevices() {
    // A card without events cannot send change messages: the third try opens it without.
    QVERIFY(mixerNamed("vzquiet") >= 0);
    TAudioMixer quiet(m_service);
    quiet.setMixerId(mixerNamed("vzquiet"));
    QCOMPARE(quiet.MixerId(), mixerNamed("vzquiet"));
    QVERIFY(!quiet.Notifying());
    QVERIFY(mixerNamed("vzhda") >= 0);
    QVERIFY(mixerNamed("vzac97") >= 0);
    QVERIFY(mixerNamed("vzusb") >= 0);
    MixerCaps caps;
    QCOMPARE(m_service.caps(static_cast<unsigned>(mixerNamed("vzac97")), caps), mixer::NoError);
    QVERIFY(QString::fromStdString(caps.productName).endsWith(": AC97 test card"));
    QCOMPARE(caps.destinations, 2u);
    QCOMPARE(m_service.caps(m_service.deviceCount(), caps), mixer::BadDeviceId);
}

void TestAlsaMixer::hdaLayout() {
    TAudioMixer component(m_service);
    component.setMixerId(mixerNamed("vzhda"));
    const TMixerDestination* recording = component.Destinations()->DestinationAt(1);
    QVERIFY(recording != nullptr);
    QStringList sources;
    for (int i = 0; i < recording->Connections.ConnectionCount(); ++i) {
        sources << QString::fromStdString(recording->Connections.ConnectionAt(i)->LineInfo.name);
    }
    QCOMPARE(sources, QStringList({"Front Mic", "Rear Mic", "Line"}));  // no gain stages
    QStringList playback;
    const TMixerDestination* play = component.Destinations()->DestinationAt(0);
    for (int i = 0; i < play->Connections.ConnectionCount(); ++i) {
        playback << QString::fromStdString(play->Connections.ConnectionAt(i)->LineInfo.name);
    }
    QVERIFY(playback.filter("Boost").isEmpty());
    // The recording destination's own controls: the capture master and the source selector.
    QCOMPARE(recording->Controls.ControlCount(), 3);
    QCOMPARE(recording->Controls.ControlAt(2)->type, mixer::MuxControl);
    QCOMPARE(recording->Controls.ControlAt(2)->items, 3u);

    LineLevel level;
    QVERIFY(component.GetLineLevel(1, 2, level));  // "Line": not selected, capture switch off
    QCOMPARE(level.mute, 1);
    QVERIFY(!level.isSelection);  // a mute control of its own
    QCOMPARE(level.left, (20 * 65535 + 31) / 63);
    QVERIFY(level.stereo);
    QVERIFY(component.SetLineLevel(1, 2, 65535, 65535, 0));
    const auto state = State(m_dir.filePath("vzhda.state"));
    QCOMPARE(state.value("Capture Volume"), QStringLiteral("63,63"));
    QCOMPARE(state.value("Capture Switch"), QStringLiteral("1,1"));
    QCOMPARE(state.value("Input Source").section(',', 0, 0), QStringLiteral("2"));
    QVERIFY(component.GetLineLevel(1, 2, level));
    QCOMPARE(level.mute, 0);
    QCOMPARE(level.left, 65535);
    QVERIFY(component.GetLineLevel(1, 0, level));  // "Front Mic" is not the source now
    QCOMPARE(level.mute, 1);
    QVERIFY(!ReadAll(m_dir.filePath("vzhda.log")).contains("Boost"));
    // Muting the line turns the capture switch off.
    QVERIFY(component.SetLineLevel(1, 2, -1, -1, 1));
    QCOMPARE(State(m_dir.filePath("vzhda.state")).value("Capture Switch"), QStringLiteral("0,0"));
}

void TestAlsaMixer::ac97Layout() {
    TAudioMixer component(m_service);
    component.setMixerId(mixerNamed("vzac97"));
    const TMixerDestination* recording = component.Destinations()->DestinationAt(1);
    QCOMPARE(recording->Connections.ConnectionCount(), 8);  // the exclusive capture switches
    int line = -1;
    for (int i = 0; i < recording->Connections.ConnectionCount(); ++i) {
        if (recording->Connections.ConnectionAt(i)->LineInfo.name == "Line") {
            line = i;
        }
    }
    QVERIFY(line >= 0);
    QVERIFY(component.SetLineLevel(1, line, 65535, 65535, 0));
    const auto state = State(m_dir.filePath("vzac97.state"));
    QCOMPARE(state.value("Capture Volume"), QStringLiteral("15,15"));
    QCOMPARE(state.value("Capture Switch"), QStringLiteral("1,1"));
    QCOMPARE(state.value("Capture Source"), QStringLiteral("4,4"));
    QCOMPARE(state.value("Line Playback Volume"), QStringLiteral("10,10"));  // playback untouched
    LineLevel level;
    QVERIFY(component.GetLineLevel(1, line, level));
    QCOMPARE(level.mute, 0);
}

void TestAlsaMixer::usbLayout() {
    TAudioMixer component(m_service);
    component.setMixerId(mixerNamed("vzusb"));
    const TMixerDestination* recording = component.Destinations()->DestinationAt(1);
    QCOMPARE(recording->Controls.ControlCount(), 0);  // no master, no selector
    QCOMPARE(recording->Connections.ConnectionCount(), 2);
    int line = -1;
    int mic = -1;
    for (int i = 0; i < 2; ++i) {
        const std::string& name = recording->Connections.ConnectionAt(i)->LineInfo.name;
        (name == "Line" ? line : mic) = i;
    }
    LineLevel level;
    QVERIFY(component.GetLineLevel(1, mic, level));
    QVERIFY(!level.stereo);  // a mono element
    QCOMPARE(level.left, level.right);
    QCOMPARE(level.mute, 0);  // its switch is on
    QVERIFY(component.SetLineLevel(1, line, 65535, 65535, 0));
    const auto state = State(m_dir.filePath("vzusb.state"));
    QCOMPARE(state.value("Line Capture Volume"), QStringLiteral("127,127"));
    QCOMPARE(state.value("Line Capture Switch"), QStringLiteral("1,1"));
    QCOMPARE(state.value("Mic Capture Volume").section(',', 0, 0), QStringLiteral("30"));
}

void TestAlsaMixer::volumeMapsOntoTheElementRange() {
    TAudioMixer component(m_service);
    component.setMixerId(mixerNamed("vzusb"));
    const TMixerDestination* recording = component.Destinations()->DestinationAt(1);
    const int line = recording->Connections.ConnectionAt(0)->LineInfo.name == "Line" ? 0 : 1;
    const QList<QPair<int, QString>> cases{
        {0, "0,0"}, {65535, "127,127"}, {32768, "64,64"}, {70000, "127,127"}, {-5, "0,0"}};
    for (const auto& [value, expected] : cases) {
        QVERIFY(component.SetLineLevel(1, line, value, value, -1));
        QCOMPARE(State(m_dir.filePath("vzusb.state")).value("Line Capture Volume"), expected);
    }
}

void TestAlsaMixer::linesAndControlsOfEachLayout_data() {
    QTest::addColumn<QString>("ctl");
    QTest::addColumn<QStringList>("expected");  // the destinations, each followed by its sources
    QTest::newRow("HDA codec")
        << "vzhda"
        << QStringList{
               "ffff0000 Playback (2, 0)",
               "- 1 Master Volume: volume 0..65535 0/0",
               "- 2 Master Mute: mute 0..1 1/0",
               "ffff0001 Recording (2, 3)",
               "- 9 Capture Volume: volume 0..65535 0/0",
               "- 10 Capture Mute: mute 0..1 1/0",
               "- 11 Capture Source: mux 0..1 3/3 [1 Front Mic, 10001 Rear Mic, 20001 Line]",
               "1 Front Mic (2, 0)",
               "- 3 Front Mic Volume: volume 0..65535 0/0",
               "- 4 Front Mic Mute: mute 0..1 1/0",
               "10001 Rear Mic (2, 0)",
               "- 5 Rear Mic Volume: volume 0..65535 0/0",
               "- 6 Rear Mic Mute: mute 0..1 1/0",
               "20001 Line (2, 0)",
               "- 7 Line Volume: volume 0..65535 0/0",
               "- 8 Line Mute: mute 0..1 1/0"};
    QTest::newRow("AC97 codec")
        << "vzac97"
        << QStringList{"ffff0000 Playback (2, 1)",
                       "- 1 Master Volume: volume 0..65535 0/0",
                       "- 2 Master Mute: mute 0..1 1/0",
                       "0 Line (2, 0)",
                       "- 3 Line Volume: volume 0..65535 0/0",
                       "- 4 Line Mute: mute 0..1 1/0",
                       "ffff0001 Recording (2, 8)",
                       "- 21 Capture Volume: volume 0..65535 0/0",
                       "- 22 Capture Mute: mute 0..1 1/0",
                       "- 23 Capture Source: mux 0..1 3/8 [1 Line, 10001 CD, 20001 Mic, 30001 "
                       "Video, 40001 Phone, 50001 Aux, 60001 Mix, 70001 Mix Mono]",
                       "1 Line (2, 0)",
                       "- 5 Line Volume: volume 0..65535 0/0",
                       "- 6 Line Mute: mute 0..1 1/0",
                       "10001 CD (2, 0)",
                       "- 7 CD Volume: volume 0..65535 0/0",
                       "- 8 CD Mute: mute 0..1 1/0",
                       "20001 Mic (2, 0)",
                       "- 9 Mic Volume: volume 0..65535 0/0",
                       "- 10 Mic Mute: mute 0..1 1/0",
                       "30001 Video (2, 0)",
                       "- 11 Video Volume: volume 0..65535 0/0",
                       "- 12 Video Mute: mute 0..1 1/0",
                       "40001 Phone (2, 0)",
                       "- 13 Phone Volume: volume 0..65535 0/0",
                       "- 14 Phone Mute: mute 0..1 1/0",
                       "50001 Aux (2, 0)",
                       "- 15 Aux Volume: volume 0..65535 0/0",
                       "- 16 Aux Mute: mute 0..1 1/0",
                       "60001 Mix (2, 0)",
                       "- 17 Mix Volume: volume 0..65535 0/0",
                       "- 18 Mix Mute: mute 0..1 1/0",
                       "70001 Mix Mono (2, 0)",
                       "- 19 Mix Mono Volume: volume 0..65535 0/0",
                       "- 20 Mix Mono Mute: mute 0..1 1/0"};
    QTest::newRow("USB device") << "vzusb"
                                << QStringList{"ffff0000 Playback (2, 0)",
                                               "ffff0001 Recording (2, 2)",
                                               "1 Line (2, 0)",
                                               "- 1 Line Volume: volume 0..65535 0/0",
                                               "- 2 Line Mute: mute 0..1 1/0",
                                               "10001 Mic (1, 0)",
                                               "- 3 Mic Volume: volume 0..65535 1/0",
                                               "- 4 Mic Mute: mute 0..1 1/0"};
}

void TestAlsaMixer::linesAndControlsOfEachLayout() {
    QFETCH(QString, ctl);
    QFETCH(QStringList, expected);
    MixerHandle handle = 0;
    QCOMPARE(m_service.open(handle, static_cast<unsigned>(mixerNamed(qPrintable(ctl))), nullptr),
             mixer::NoError);
    QStringList lines;
    for (std::uint32_t destination = 0; destination < 2; ++destination) {
        MixerLine line;
        QCOMPARE(m_service.lineByDestination(handle, destination, line), mixer::NoError);
        lines << Described(m_service, handle, line);
        for (std::uint32_t source = 0; source < line.connections; ++source) {
            MixerLine connection;
            QCOMPARE(m_service.lineBySource(handle, destination, source, connection),
                     mixer::NoError);
            lines << Described(m_service, handle, connection);
        }
    }
    QCOMPARE(m_service.close(handle), mixer::NoError);
    QCOMPARE(lines, expected);
}

void TestAlsaMixer::valuesReachTheirElement_data() {
    QTest::addColumn<QString>("ctl");
    QTest::addColumn<std::uint32_t>("controlId");  // as listed by linesAndControlsOfEachLayout
    QTest::addColumn<QList<std::int32_t>>("values");
    QTest::addColumn<QString>("element");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QList<std::int32_t>>("readBack");
    using Values = QList<std::int32_t>;
    QTest::newRow("playback volume, per channel")
        << "vzac97" << 3u << Values{65535, 0} << "Line Playback Volume"
        << "31,0" << Values{65535, 0};
    QTest::newRow("playback volume, all channels")
        << "vzac97" << 3u << Values{65535} << "Line Playback Volume"
        << "31,31" << Values{65535};
    QTest::newRow("playback unmuted") << "vzac97" << 4u << Values{0} << "Line Playback Switch"
                                      << "1,1" << Values{0};
    QTest::newRow("playback muted") << "vzac97" << 4u << Values{1} << "Line Playback Switch"
                                    << "0,0" << Values{1};
    QTest::newRow("capture master volume, per channel")
        << "vzhda" << 9u << Values{0, 65535} << "Capture Volume"
        << "0,63" << Values{0, 65535};
    QTest::newRow("capture master unmuted") << "vzhda" << 10u << Values{0} << "Capture Switch"
                                            << "1,1" << Values{0};
}

void TestAlsaMixer::valuesReachTheirElement() {
    QFETCH(QString, ctl);
    QFETCH(std::uint32_t, controlId);
    QFETCH(QList<std::int32_t>, values);
    QFETCH(QString, element);
    QFETCH(QString, state);
    QFETCH(QList<std::int32_t>, readBack);
    MixerHandle handle = 0;
    QCOMPARE(m_service.open(handle, static_cast<unsigned>(mixerNamed(qPrintable(ctl))), nullptr),
             mixer::NoError);
    const auto channels = static_cast<std::uint32_t>(values.size());
    QCOMPARE(m_service.setControlValues(handle, controlId, channels, 0,
                                        std::vector<std::int32_t>(values.begin(), values.end())),
             mixer::NoError);
    QCOMPARE(State(m_dir.filePath(ctl + ".state")).value(element), state);
    std::vector<std::int32_t> read;
    QCOMPARE(m_service.controlValues(handle, controlId, channels, 0, read), mixer::NoError);
    QCOMPARE(QList<std::int32_t>(read.begin(), read.end()), readBack);
    QCOMPARE(m_service.close(handle), mixer::NoError);
}

void TestAlsaMixer::changeMessages_data() {
    // On the HDA card, with the line input live at full level: its controls as numbered above.
    QTest::addColumn<bool>("outside");  // by another opening of the card, else the component
    QTest::addColumn<std::uint32_t>("controlId");
    QTest::addColumn<QList<std::int32_t>>("values");
    QTest::addColumn<QList<std::int32_t>>("changed");  // the controls that get a message
    using Values = QList<std::int32_t>;
    QTest::newRow("capture volume, another program")
        << true << 9u << Values{20000, 20000} << Values{3, 5, 7, 9};
    QTest::newRow("capture switch off, another program")
        << true << 10u << Values{1} << Values{8, 10};
    QTest::newRow("another source selected, another program")
        << true << 11u << Values{1, 0, 0} << Values{4, 8, 11};
    QTest::newRow("capture volume, the component")
        << false << 9u << Values{0, 0} << Values{3, 5, 7, 9};
    QTest::newRow("the same volume again") << true << 9u << Values{65535, 65535} << Values{};
}

void TestAlsaMixer::changeMessages() {
    QFETCH(bool, outside);
    QFETCH(std::uint32_t, controlId);
    QFETCH(QList<std::int32_t>, values);
    QFETCH(QList<std::int32_t>, changed);
    TAudioMixer component(m_service);
    component.setMixerId(mixerNamed("vzhda"));
    QVERIFY(component.Notifying());
    QVERIFY(component.SetLineLevel(1, 2, 65535, 65535, 0));
    QList<std::int32_t> seen;
    component.OnControlChange = [&seen](TAudioMixer&, std::int32_t, std::int32_t id) {
        seen << id;
    };
    QTest::qWait(100);  // the messages of that setting
    seen.clear();

    alsa::AlsaMixerService other;
    MixerHandle handle = 0;
    MixerService& writer = outside ? static_cast<MixerService&>(other) : m_service;
    if (outside) {
        QCOMPARE(other.open(handle, static_cast<unsigned>(mixerNamed("vzhda")), nullptr),
                 mixer::NoError);
    } else {
        QVERIFY(m_service.open(handle, static_cast<unsigned>(mixerNamed("vzhda")), nullptr) ==
                mixer::NoError);
    }
    const auto channels = static_cast<std::uint32_t>(values.size() == 2 ? 2 : 1);
    const auto items = static_cast<std::uint32_t>(values.size() == 3 ? 3 : 0);
    QCOMPARE(writer.setControlValues(handle, controlId, channels, items,
                                     std::vector<std::int32_t>(values.begin(), values.end())),
             mixer::NoError);
    QVERIFY(seen.isEmpty());  // from the event loop, never inside a call
    if (changed.isEmpty()) {
        QTest::qWait(200);
    } else {
        QTRY_VERIFY(!seen.isEmpty());
        QTest::qWait(50);
    }
    std::sort(seen.begin(), seen.end());
    QCOMPARE(seen, changed);
    writer.close(handle);
}

void TestAlsaMixer::unpluggedCardIsALineChange() {
    TAudioMixer component(m_service);
    component.setMixerId(mixerNamed("vzusb"));
    QVERIFY(component.Notifying());
    QVERIFY(component.SetLineLevel(1, 0, 65535, 65535, 0));  // the device's state file is there
    QList<std::int32_t> lines;
    component.OnLineChange = [&lines](TAudioMixer&, std::int32_t, std::int32_t id) { lines << id; };
    QVERIFY(QFile::remove(m_dir.filePath("vzusb.state")));  // the test device's unplugging
    QTRY_COMPARE(lines, (QList<std::int32_t>{static_cast<std::int32_t>(0xFFFF0000),
                                             static_cast<std::int32_t>(0xFFFF0001)}));
    QTest::qWait(100);  // and nothing after it
    QCOMPARE(lines.size(), 2);
}

void TestAlsaMixer::startUpSelectsLineOnEachLayout_data() {
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("expected");  // element=values after start-up's level setting
    QTest::newRow("HDA codec") << "hda"
                               << QStringList{"Capture Volume=63,63", "Capture Switch=1,1",
                                              "Input Source=2,0", "Line Boost Volume=0,0",
                                              "Rear Mic Boost Volume=1,1"};
    QTest::newRow("AC97 codec") << "ac97"
                                << QStringList{"Capture Volume=15,15", "Capture Switch=1,1",
                                               "Capture Source=4,4", "Line Playback Volume=10,10"};
    QTest::newRow("USB device") << "usb"
                                << QStringList{"Line Capture Volume=127,127",
                                               "Line Capture Switch=1,1",
                                               "Mic Capture Volume=30,30"};
}

void TestAlsaMixer::startUpSelectsLineOnEachLayout() {
    QFETCH(QString, layout);
    QFETCH(QStringList, expected);
    // The tool in a process of its own, seeing only this card (and no stored settings).
    QTemporaryDir folder;
    QFile config(folder.filePath("asound.conf"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(
        (PluginType() + CardConfig("vzcard", layout, "Test card", folder.path())).toUtf8());
    config.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" + config.fileName());
    environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
    auto run = [&](const QString& option) {
        QProcess tool;
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral(METER_TOOL), {option});
        tool.waitForFinished(30000);
        return std::pair{tool.exitCode(), QString::fromLocal8Bit(tool.readAllStandardOutput())};
    };
    // Looking changes nothing.
    const auto [lookCode, looked] = run("--devices");
    QCOMPARE(lookCode, 0);
    QVERIFY2(looked.contains("line-in: source") && looked.contains("\"Line\"") &&
                 looked.contains("start-up: would succeed"),
             qPrintable(looked));
    // The number --device takes, then the name as the program shows it (its own tag first).
    QVERIFY2(looked.contains("\ninput devices:\n  0: \"P0: Test card\" (vzcard)\n"),
             qPrintable(looked));
    QVERIFY(ReadAll(folder.filePath("vzcard.log")).isEmpty());
    // Start-up's selection turns the line-in up and makes it the capture source.
    const auto [code, output] = run("--line-in");
    QCOMPARE(code, 0);
    QVERIFY2(output.contains("set: volume 65535,65535, mute 0"), qPrintable(output));
    const QString state = ReadAll(folder.filePath("vzcard.state"));
    for (const QString& line : expected) {
        QVERIFY2(state.contains(line + "\n"), qPrintable(line + " in\n" + state));
    }
    QVERIFY2(!ReadAll(folder.filePath("vzcard.log")).contains("Boost"), "a gain stage was written");
}

QTEST_GUILESS_MAIN(TestAlsaMixer)
#include "tst_alsamixer.moc"

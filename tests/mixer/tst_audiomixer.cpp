#include <QtTest>

#include "mixer/audiomixer.h"
#include "platform/sim/simmixerservice.h"

using namespace veruziva;
using sim::SimMixerService;
using Call = SimMixerService::Call;

namespace {

// A sound card as the tests use it: destination 0 playback, destination 1 recording with a
// selector over "Mic", "CD" and "Line In"; "Mic" has its own volume and mute, "CD" only a volume,
// "Line In" nothing of its own, "Aux" is mono with a uniform volume.
struct Card {
    SimMixerService service;
    unsigned device = 0;
    std::uint32_t micVolume = 0;
    std::uint32_t micMute = 0;
    std::uint32_t cdVolume = 0;
    std::uint32_t auxVolume = 0;
    std::uint32_t selector = 0;
    std::uint32_t recordVolume = 0;

    explicit Card(std::uint32_t selectorType = mixer::MuxControl, std::uint16_t manufacturer = 2) {
        device = service.addDevice("Sim Card", manufacturer);
        service.addDestination(device, "Volume Control");
        service.addSource(device, 0, "Wave");
        service.addDestination(device, "Recording Control");
        service.addSource(device, 1, "Mic");
        service.addSource(device, 1, "CD");
        service.addSource(device, 1, "Line In");
        service.addSource(device, 1, "Aux", 1);
        micVolume = service.addVolume(device, 1, 0, 1000);
        micMute = service.addMute(device, 1, 0, 1);
        cdVolume = service.addVolume(device, 1, 1, 2000);
        auxVolume = service.addVolume(device, 1, 3, 3000, true);
        recordVolume = service.addVolume(device, 1, -1, 4000);
        selector = service.addSelector(device, 1, selectorType, {"Mic", "CD", "Line In"}, "CD");
    }
};

}  // namespace

class TestAudioMixer : public QObject {
    Q_OBJECT

private slots:
    void noMixerDevice();
    void snapshotAndProperties();
    void manufacturer_data();
    void manufacturer();
    void numberBeyondTheLastChangesNothing();
    void openTries_data();
    void openTries();
    void changeMessages_data();
    void changeMessages();
    void linesTheServiceFailsToReportAreSkipped();
    void ownVolumeAndMute();
    void sourceGovernedByAMux();
    void sourceGovernedByAMultipleSelect();
    void levelArgumentsThatLeaveThingsAlone();
    void monoLines();
    void destinationItself();
    void closedMixerHasNoSnapshot();
    void controlBeyondTheValueBuffer_data();
    void controlBeyondTheValueBuffer();
};

void TestAudioMixer::noMixerDevice() {
    SimMixerService service;
    TAudioMixer component(service);
    QCOMPARE(component.MixerCount(), 0);
    QCOMPARE(component.MixerId(), -1);
    QVERIFY(component.Destinations() != nullptr);
    QCOMPARE(component.Destinations()->DestinationCount(), 0);
    LineLevel level;
    QVERIFY(!component.GetLineLevel(1, 0, level));
    QVERIFY(!component.SetLineLevel(1, 0, 65535, 65535, 0));
    QCOMPARE(service.calls(Call::OpenWithNotifications), 0);
}

void TestAudioMixer::snapshotAndProperties() {
    Card card;
    TAudioMixer component(card.service);
    QCOMPARE(component.MixerCount(), 1);
    QCOMPARE(component.MixerId(), 0);
    QCOMPARE(component.ProductName(), std::string("Sim Card"));
    QCOMPARE(component.NumberOfLine(), 2);
    QCOMPARE(component.DriverVersion(), 0x0105u);
    QCOMPARE(component.ProductId(), std::uint16_t{100});
    const TMixerDestination* recording = component.Destinations()->DestinationAt(1);
    QVERIFY(recording != nullptr);
    QCOMPARE(recording->LineInfo.name, std::string("Recording Control"));
    QCOMPARE(recording->Connections.ConnectionCount(), 4);
    QCOMPARE(recording->Connections.ConnectionAt(2)->LineInfo.name, std::string("Line In"));
    QVERIFY(recording->Connections.ConnectionAt(4) == nullptr);
    QCOMPARE(recording->Connections.ConnectionAt(0)->Controls.ControlCount(), 2);
    QCOMPARE(recording->Controls.ControlCount(), 2);
    QVERIFY(recording->Controls.ControlAt(2) == nullptr);
    QVERIFY(component.Destinations()->DestinationAt(2) == nullptr);
    QCOMPARE(card.service.openNotifications(), std::vector<bool>{true});
}

void TestAudioMixer::manufacturer_data() {
    QTest::addColumn<int>("identifier");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 is Microsoft") << 1 << "Microsoft";
    QTest::newRow("2") << 2 << "2 = Unknown";
    QTest::newRow("0") << 0 << "0 = Unknown";
}

void TestAudioMixer::manufacturer() {
    QFETCH(int, identifier);
    QFETCH(QString, text);
    Card card(mixer::MuxControl, static_cast<std::uint16_t>(identifier));
    TAudioMixer component(card.service);
    QCOMPARE(QString::fromStdString(component.Manufacturer()), text);
}

void TestAudioMixer::numberBeyondTheLastChangesNothing() {
    Card card;
    card.service.addDevice("Second");
    TAudioMixer component(card.service);
    component.setMixerId(1);
    QCOMPARE(component.ProductName(), std::string("Second"));
    component.setMixerId(component.MixerCount());
    component.setMixerId(-1);
    QCOMPARE(component.MixerId(), 1);
    QCOMPARE(component.ProductName(), std::string("Second"));
    QCOMPARE(card.service.openMixers(), 1);
}

void TestAudioMixer::openTries_data() {
    QTest::addColumn<int>("notifiedFailures");
    QTest::addColumn<bool>("plainFails");
    QTest::addColumn<int>("mixerId");
    QTest::addColumn<QString>("opens");  // n = with notifications, p = plain
    QTest::newRow("first try") << 0 << false << 0 << "n";
    QTest::newRow("second try") << 1 << false << 0 << "nn";
    QTest::newRow("without notifications") << 2 << false << 0 << "nnp";
    QTest::newRow("all three fail") << 2 << true << -1 << "nnp";
}

void TestAudioMixer::openTries() {
    QFETCH(int, notifiedFailures);
    QFETCH(bool, plainFails);
    QFETCH(int, mixerId);
    QFETCH(QString, opens);
    Card card;
    card.service.addDevice("Second");
    TAudioMixer component(card.service);
    card.service.failCall(Call::OpenWithNotifications, mixer::Error, 0, notifiedFailures);
    if (plainFails) {
        card.service.failCall(Call::Open, mixer::Error);
    }
    component.setMixerId(1);
    QCOMPARE(component.MixerId(), mixerId < 0 ? -1 : 1);
    QString seen;
    for (const bool notified : card.service.openNotifications()) {
        seen += notified ? 'n' : 'p';
    }
    QCOMPARE(seen, "n" + opens);  // the first open is the creation's, on mixer 0
    if (mixerId < 0) {
        // Closed, with an empty snapshot; the properties keep their earlier values.
        QVERIFY(component.Destinations() != nullptr);
        QCOMPARE(component.Destinations()->DestinationCount(), 0);
        QCOMPARE(component.ProductName(), std::string("Sim Card"));
        QCOMPARE(card.service.openMixers(), 0);
    } else {
        QCOMPARE(component.ProductName(), std::string("Second"));
    }
}

void TestAudioMixer::changeMessages_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("withMessages");  // the first two open tries succeed
    QTest::addColumn<QString>("expected");   // "line" or "control", then the id's name; "" none
    QTest::newRow("volume set by another program") << "outside volume" << true << "control cd";
    QTest::newRow("selector set by another program") << "outside selector" << true << "control sel";
    QTest::newRow("the component's own write") << "own write" << true << "control mic";
    QTest::newRow("a value written unchanged") << "same value" << true << "";
    QTest::newRow("a line changed") << "line" << true << "line linein";
    QTest::newRow("opened by the third try") << "outside volume" << false << "";
    QTest::newRow("after CloseMixer") << "closed" << true << "";
}

void TestAudioMixer::changeMessages() {
    QFETCH(QString, change);
    QFETCH(bool, withMessages);
    QFETCH(QString, expected);
    Card card;
    if (!withMessages) {
        card.service.failCall(Call::OpenWithNotifications, mixer::Error, 0, 2);
    }
    TAudioMixer component(card.service);
    QCOMPARE(component.Notifying(), withMessages);
    QStringList seen;
    const auto record = [&](const QString& kind) {
        return
            [&seen, &component, kind](TAudioMixer& sender, std::int32_t mixerH, std::int32_t id) {
                QVERIFY(&sender == &component);
                QVERIFY(mixerH > 0);
                seen << kind + ' ' + QString::number(id);
            };
    };
    component.OnLineChange = record("line");
    component.OnControlChange = record("control");
    const QMap<QString, std::uint32_t> ids{{"cd", card.cdVolume},
                                           {"sel", card.selector},
                                           {"mic", card.micVolume},
                                           {"linein", card.service.lineId(card.device, 1, 2)}};
    if (change == "outside volume") {
        card.service.setFromOutside(card.device, card.cdVolume, {1, 2});
    } else if (change == "outside selector") {
        card.service.setFromOutside(card.device, card.selector, {0, 0, 1});
    } else if (change == "own write") {
        QVERIFY(component.SetLineLevel(1, 0, 5, 5, -1));
    } else if (change == "same value") {
        QVERIFY(component.SetLineLevel(1, 0, 1000, 1000, 1));
    } else if (change == "line") {
        card.service.lineChangedOutside(card.device, 1, 2);
    } else if (change == "closed") {
        component.CloseMixer();
        card.service.setFromOutside(card.device, card.cdVolume, {1, 2});
    }
    // Never from inside the call that made the change: from the event loop.
    QVERIFY(seen.isEmpty());
    QCoreApplication::processEvents();
    const QStringList parts = expected.split(' ');
    QCOMPARE(seen, expected.isEmpty()
                       ? QStringList{}
                       : QStringList{parts[0] + ' ' + QString::number(ids.value(parts[1]))});
}

void TestAudioMixer::linesTheServiceFailsToReportAreSkipped() {
    Card card;
    card.service.hideLine(card.device, 0, -1);  // destination 0 cannot be read
    card.service.hideLine(card.device, 1, 1);   // nor the source "CD"
    TAudioMixer component(card.service);
    const TMixerDestination* first = component.Destinations()->DestinationAt(0);
    QCOMPARE(component.Destinations()->DestinationCount(), 1);
    QCOMPARE(first->LineInfo.name, std::string("Recording Control"));  // moved up
    QCOMPARE(first->Connections.ConnectionCount(), 3);
    QCOMPARE(first->Connections.ConnectionAt(1)->LineInfo.name, std::string("Line In"));
    // A failed control query leaves that line without controls.
    Card other;
    other.service.failCall(Call::LineControls, mixer::Error);
    TAudioMixer second(other.service);
    QCOMPARE(second.Destinations()
                 ->DestinationAt(0)
                 ->Connections.ConnectionAt(0)
                 ->Controls.ControlCount(),
             0);
    QCOMPARE(second.Destinations()->DestinationAt(1)->Controls.ControlCount(), 2);
}

void TestAudioMixer::ownVolumeAndMute() {
    Card card;
    TAudioMixer component(card.service);
    QVERIFY(component.SetLineLevel(1, 0, 65535, 65535, 0));
    QCOMPARE(card.service.values(card.device, card.micVolume),
             (std::vector<std::int32_t>{65535, 65535}));
    QCOMPARE(card.service.values(card.device, card.micMute), (std::vector<std::int32_t>{0, 0}));
    LineLevel level;
    QVERIFY(component.GetLineLevel(1, 0, level));
    QCOMPARE(level.left, 65535);
    QCOMPARE(level.right, 65535);
    QCOMPARE(level.mute, 0);
    QVERIFY(level.stereo);
    QVERIFY(!level.isSelection);
    QVERIFY(!level.volumeDisabled);
    QVERIFY(!level.muteDisabled);
    // Its own mute decides: the selector is neither read for it nor written.
    QCOMPARE(card.service.values(card.device, card.selector), (std::vector<std::int32_t>{0, 1, 0}));
}

void TestAudioMixer::sourceGovernedByAMux() {
    Card card;
    TAudioMixer component(card.service);
    LineLevel level;
    QVERIFY(component.GetLineLevel(1, 1, level));  // "CD": its own volume, selected in the mux
    QCOMPARE(level.left, 2000);
    QCOMPARE(level.mute, 1);
    QVERIFY(level.isSelection);
    QVERIFY(component.GetLineLevel(1, 2, level));  // "Line In": nothing of its own
    QCOMPARE(level.left, -1);
    QCOMPARE(level.mute, 0);
    QVERIFY(level.isSelection);
    QVERIFY(level.volumeDisabled);
    // Mute 1 on a mux-governed source selects it alone.
    QVERIFY(component.SetLineLevel(1, 2, -1, -1, 1));
    QCOMPARE(card.service.values(card.device, card.selector), (std::vector<std::int32_t>{0, 0, 1}));
    // Mute 0 leaves the mux with nothing selected.
    QVERIFY(component.SetLineLevel(1, 2, -1, -1, 0));
    QCOMPARE(card.service.values(card.device, card.selector), (std::vector<std::int32_t>{0, 0, 0}));
    // A source that the selector does not list keeps mute -1.
    QVERIFY(component.GetLineLevel(1, 3, level));
    QCOMPARE(level.mute, -1);
    QVERIFY(!level.isSelection);
}

void TestAudioMixer::sourceGovernedByAMultipleSelect() {
    Card card(mixer::MixerControl);
    TAudioMixer component(card.service);
    QVERIFY(component.SetLineLevel(1, 2, -1, -1, 1));
    // Only that source's entry changes.
    QCOMPARE(card.service.values(card.device, card.selector), (std::vector<std::int32_t>{0, 1, 1}));
    LineLevel level;
    QVERIFY(component.GetLineLevel(1, 2, level));
    QCOMPARE(level.mute, 1);
    QVERIFY(level.isSelection);
}

void TestAudioMixer::levelArgumentsThatLeaveThingsAlone() {
    Card card;
    TAudioMixer component(card.service);
    QVERIFY(component.SetLineLevel(1, 0, 30000, -1, -1));  // right -1: left on both channels
    QCOMPARE(card.service.values(card.device, card.micVolume),
             (std::vector<std::int32_t>{30000, 30000}));
    QCOMPARE(card.service.values(card.device, card.micMute), (std::vector<std::int32_t>{1, 1}));
    QVERIFY(component.SetLineLevel(1, 0, -1, 5, 0));  // left -1: volume untouched
    QCOMPARE(card.service.values(card.device, card.micVolume),
             (std::vector<std::int32_t>{30000, 30000}));
    QCOMPARE(card.service.values(card.device, card.micMute), (std::vector<std::int32_t>{0, 0}));
    QVERIFY(component.SetLineLevel(1, 2, 100, 200, -1));  // mute -1: selection untouched
    QCOMPARE(card.service.values(card.device, card.selector), (std::vector<std::int32_t>{0, 1, 0}));
    // Levels are written as given, without clamping.
    QVERIFY(component.SetLineLevel(1, 1, 70000, 12, -1));
    QCOMPARE(card.service.values(card.device, card.cdVolume),
             (std::vector<std::int32_t>{70000, 12}));
}

void TestAudioMixer::monoLines() {
    Card card;
    TAudioMixer component(card.service);
    QVERIFY(component.SetLineLevel(1, 3, 40000, 10, -1));  // "Aux": one channel
    QCOMPARE(card.service.values(card.device, card.auxVolume), std::vector<std::int32_t>{40000});
    LineLevel level;
    QVERIFY(component.GetLineLevel(1, 3, level));
    QCOMPARE(level.left, 40000);
    QCOMPARE(level.right, 40000);
    QVERIFY(!level.stereo);
}

void TestAudioMixer::destinationItself() {
    Card card;
    TAudioMixer component(card.service);
    LineLevel level;
    QVERIFY(component.GetLineLevel(1, -1, level));
    QCOMPARE(level.left, 4000);
    QCOMPARE(level.mute, -1);  // no selector search for a destination
    QVERIFY(component.SetLineLevel(1, -1, 65535, 65535, 0));
    QCOMPARE(card.service.values(card.device, card.recordVolume),
             (std::vector<std::int32_t>{65535, 65535}));
    QCOMPARE(card.service.values(card.device, card.selector), (std::vector<std::int32_t>{0, 1, 0}));
    QVERIFY(!component.GetLineLevel(2, -1, level));
    QVERIFY(!component.SetLineLevel(1, 4, 1, 1, 0));
}

void TestAudioMixer::closedMixerHasNoSnapshot() {
    Card card;
    TAudioMixer component(card.service);
    component.CloseMixer();
    QVERIFY(component.Destinations() == nullptr);
    QCOMPARE(component.MixerId(), -1);
    LineLevel level;
    level.left = 77;
    QVERIFY(!component.GetLineLevel(1, 0, level));
    QCOMPARE(level.left, 77);  // untouched
    QVERIFY(!component.SetLineLevel(1, 0, 1, 1, 1));
    QCOMPARE(card.service.openMixers(), 0);
}

void TestAudioMixer::controlBeyondTheValueBuffer_data() {
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("mute");
    QTest::newRow("101 values fit") << 101 << 1;
    QTest::newRow("102 values are beyond the component") << 102 << -1;
}

void TestAudioMixer::controlBeyondTheValueBuffer() {
    QFETCH(int, entries);
    QFETCH(int, mute);
    SimMixerService service;
    const unsigned device = service.addDevice("Wide");
    service.addDestination(device, "Play");
    service.addDestination(device, "Record");
    std::vector<std::string> names;
    for (int i = 0; i < entries; ++i) {
        names.push_back("Source " + std::to_string(i));
        service.addSource(device, 1, names.back());
    }
    service.addSelector(device, 1, mixer::MuxControl, names, "Source 0");
    TAudioMixer component(service);
    LineLevel level;
    QVERIFY(component.GetLineLevel(1, 0, level));
    QCOMPARE(level.mute, mute);
    QCOMPARE(level.isSelection, mute != -1);
}

QTEST_GUILESS_MAIN(TestAudioMixer)
#include "tst_audiomixer.moc"

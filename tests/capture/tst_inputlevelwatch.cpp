#include <QtTest>

#include "capture/inputlevelwatch.h"
#include "support/simbench.h"

using namespace veruziva;
using sim::SimMixerService;

// Which channels' readings a change to the line-in marks: the channel whose volume moved, both
// for a mute; nothing for what cannot be read (a card unplugged) or for the level set back.
class TestInputLevelWatch : public QObject {
    Q_OBJECT

private slots:
    void marksTheChannelsMoved_data();
    void marksTheChannelsMoved();
};

void TestInputLevelWatch::marksTheChannelsMoved_data() {
    QTest::addColumn<QList<int>>("volume");  // set from outside; empty: left as it is
    QTest::addColumn<int>("mute");           // set from outside; -1: left as it is
    QTest::addColumn<bool>("unreadable");    // every read fails after the change
    QTest::addColumn<QString>("moved");
    QTest::newRow("A's volume") << QList<int>{30000, 65535} << -1 << false << "A";
    QTest::newRow("B's volume") << QList<int>{65535, 1} << -1 << false << "B";
    QTest::newRow("both volumes") << QList<int>{0, 0} << -1 << false << "AB";
    QTest::newRow("muted") << QList<int>{} << 1 << false << "AB";
    QTest::newRow("muted and A's volume") << QList<int>{2, 65535} << 1 << false << "AB";
    QTest::newRow("the same values written again") << QList<int>{65535, 65535} << 0 << false << "";
    QTest::newRow("unplugged: nothing can be read") << QList<int>{} << -1 << true << "";
    QTest::newRow("moved, then nothing can be read") << QList<int>{1, 1} << -1 << true << "";
}

void TestInputLevelWatch::marksTheChannelsMoved() {
    QFETCH(QList<int>, volume);
    QFETCH(int, mute);
    QFETCH(bool, unreadable);
    QFETCH(QString, moved);
    sim::SimBench bench;
    const unsigned card = bench.addMixer("Card");
    TAudioMixer mixer(bench.mixers);
    mixer.setMixerId(0);
    QVERIFY(mixer.SetLineLevel(1, 0, 65535, 65535, 0));
    InputLevelWatch watch(mixer, [] { return 0; });
    int changes = 0;
    watch.onMovedChanged = [&] { ++changes; };
    watch.levelSet();
    constexpr std::uint32_t VolumeControl = 1;  // the line's controls, in the order added
    constexpr std::uint32_t MuteControl = 2;
    if (!volume.isEmpty()) {
        bench.mixers.setFromOutside(card, VolumeControl, {volume[0], volume[1]});
    }
    if (mute >= 0) {
        bench.mixers.setFromOutside(card, MuteControl, {mute, mute});
    }
    if (unreadable) {
        bench.mixers.failCall(SimMixerService::Call::ControlValues, mixer::Error, 0, 1000);
    }
    watch.check();
    const auto movedNow = [&] {
        return QString(watch.moved(0) ? "A" : "") + QString(watch.moved(1) ? "B" : "");
    };
    QCOMPARE(movedNow(), moved);
    QCOMPARE(watch.moved(), !moved.isEmpty());
    QCOMPARE(changes, moved.isEmpty() ? 0 : 1);
    if (!moved.isEmpty()) {
        QVERIFY(watch.restore());
        QCOMPARE(movedNow(), QString());
        QCOMPARE(bench.mixers.values(card, VolumeControl),
                 (std::vector<std::int32_t>{65535, 65535}));
        QCOMPARE(bench.mixers.values(card, MuteControl), (std::vector<std::int32_t>{0, 0}));
    }
}

QTEST_GUILESS_MAIN(TestInputLevelWatch)
#include "tst_inputlevelwatch.moc"

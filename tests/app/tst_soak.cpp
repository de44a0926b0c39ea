#include <QtTest>
#include <fstream>
#include <string>

#include "app/soundmeter.h"
#include "scripteddialogs.h"
#include "support/memorysettingsstore.h"
#include "support/simbench.h"

using namespace veruziva;
using sim::SimWaveInput;

namespace {

// The frame index, 30 bits of it, spread over the two channels.
StereoFrame Numbered(std::uint64_t frame) {
    return {static_cast<std::int16_t>(frame & 0x7FFF),
            static_cast<std::int16_t>((frame >> 15) & 0x7FFF)};
}

std::uint64_t Number(StereoFrame frame) {
    return static_cast<std::uint64_t>(frame.a) | static_cast<std::uint64_t>(frame.b) << 15;
}

// Resident memory of this process in kB.
long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;  // its quarantine holds freed memory: resident size says nothing
#else
constexpr bool Sanitized = false;
#endif

}  // namespace

class TestSoak : public QObject {
    Q_OBJECT

private slots:
    void hundredThousandBlocks();
};

void TestSoak::hundredThousandBlocks() {
    // The input delivers each buffer the moment it is given back: the window runs flat out,
    // 100000 blocks being about 2.6 hours of signal (fewer under the sanitizers, which slow
    // every block: VERUZIVA_SOAK_BLOCKS).
    const std::uint64_t blocks = qEnvironmentVariableIsSet("VERUZIVA_SOAK_BLOCKS")
                                     ? qEnvironmentVariable("VERUZIVA_SOAK_BLOCKS").toULongLong()
                                     : 100000;
    QVERIFY(blocks >= 10000);
    sim::SimBench card({"Line In"}, sim::SimBench::LineControls::Volume);
    card.addCard("Soak Card", Numbered);
    SimWaveInput& waveInput = card.waveInput;
    MemorySettingsStore settings;
    ScriptedDialogs dialogs;
    TSoundMeter window(InstrumentServices{waveInput, card.mixers, settings, dialogs, [] {}});
    waveInput.setDelivery(SimWaveInput::Delivery::Immediate);

    std::uint64_t expected = 0;  // the first frame of the next block
    std::uint64_t faults = 0;
    QString firstFault;
    long residentAtWarmUp = 0;
    window.setBlockObserver([&](std::span<const StereoFrame> frames) {
        // Each block exactly once and in order: its frames are the next ones, without a gap.
        for (std::size_t i = 0; i < frames.size(); i += 97) {
            if (Number(frames[i]) != (expected + i) % (std::uint64_t{1} << 30)) {
                if (faults++ == 0) {
                    firstFault = QStringLiteral("block at frame %1: frame %2 is %3")
                                     .arg(expected)
                                     .arg(i)
                                     .arg(Number(frames[i]));
                }
                break;
            }
        }
        if (Number(frames.back()) != (expected + frames.size() - 1) % (std::uint64_t{1} << 30)) {
            ++faults;
        }
        expected += frames.size();
        if (expected == 10000 * FramesPerBuffer) {
            residentAtWarmUp = ResidentKb();
        }
        if (expected == blocks * FramesPerBuffer) {
            window.StartStopClick();  // the other slot may already hold one more block
        }
    });
    window.show();
    window.StartStopClick();
    while (waveInput.isRunning()) {
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();  // the stop's empty block, if any

    QVERIFY2(faults == 0, qPrintable(firstFault));
    // Every frame the input delivered was processed, once.
    QCOMPARE(expected, waveInput.framesDelivered());
    QVERIFY(expected >= blocks * FramesPerBuffer);
    QCOMPARE(window.blocksProcessed(),
             static_cast<long long>((expected + FramesPerBuffer - 1) / FramesPerBuffer));
    QVERIFY(dialogs.boxes.texts().isEmpty());
    const long resident = ResidentKb();
    qInfo("resident memory: %ld kB after 10000 blocks, %ld kB after %llu", residentAtWarmUp,
          resident, static_cast<unsigned long long>(blocks));
    if (!Sanitized) {
        // Flat: a leak of even 20 bytes a block would show as 1.8 MB.
        QVERIFY2(resident - residentAtWarmUp < 1024, qPrintable(QString::number(resident)));
    }
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"

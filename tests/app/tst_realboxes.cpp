#include <signal.h>
#include <sys/resource.h>

#include <QApplication>
#include <QButtonGroup>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "../recording/wavcheck.h"
#include "app/application.h"
#include "app/qtdialogs.h"
#include "app/soundmeter.h"
#include "platform/runtimeerror.h"
#include "recording/dialog/datacapturedialog.h"
#include "support/memorysettingsstore.h"
#include "support/simbench.h"

using namespace veruziva;
using sim::SimWaveInput;

namespace {

// Answers the real message boxes as a user would, a while after each opens, and keeps their
// texts. Each box runs its own event loop meanwhile, in which the capture goes on.
class BoxAnswerer : public QObject {
public:
    struct Seen {
        QString text;
        long long blocksAtOpen = 0;  // what `progress` said when the box opened
        long long blocksAtClose = 0;
    };
    BoxAnswerer(int openMs, std::function<long long()> progress)
        : m_openMs(openMs), m_progress(std::move(progress)) {
        m_poll.setInterval(20);
        connect(&m_poll, &QTimer::timeout, this, [this] { look(); });
        m_poll.start();
    }
    QStringList texts() const {
        QStringList list;
        for (const Seen& box : seen) {
            list.append(box.text);
        }
        return list;
    }
    std::vector<Seen> seen;

private:
    void look() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box == nullptr || !box->isVisible()) {
                continue;
            }
            if (box != m_current) {
                m_current = box;
                m_opened.start();
                seen.push_back({box->text(), m_progress(), 0});
            } else if (m_opened.elapsed() >= m_openMs) {
                m_current = nullptr;
                seen.back().blocksAtClose = m_progress();
                box->button(box->buttons().contains(box->button(QMessageBox::Ok))
                                ? QMessageBox::Ok
                                : QMessageBox::Yes)
                    ->click();
            }
        }
    }
    QTimer m_poll;
    QPointer<QMessageBox> m_current;
    QElapsedTimer m_opened;
    int m_openMs;
    std::function<long long()> m_progress;
};

// The window on a paced in-memory input, with the program's real boxes and dialogs.
struct Bench : sim::SimBench {
    MemorySettingsStore settings;
    QtDialogs dialogs;
    std::unique_ptr<TSoundMeter> window;

    Bench() : SimBench({"Line In"}, LineControls::None) {
        addCard("Sim Card", [](std::uint64_t frame) {
            return StereoFrame{static_cast<std::int16_t>(frame % 64),
                               static_cast<std::int16_t>(frame % 100 < 50 ? 3000 : -3000)};
        });
        waveInput.setDelivery(SimWaveInput::Delivery::Paced);
        window = std::make_unique<TSoundMeter>(
            InstrumentServices{waveInput, mixers, settings, dialogs, [] {}});
        dialogs.setMainWindow(window.get());
        dialogs.createWindows();
        window->show();
    }
    ~Bench() { window.reset(); }

    TDataCapture* definition() const { return window->findChild<TDataCapture*>(); }
    void define(CaptureDefinition::RecordType type, const QString& file, const QString& seconds) {
        TDataCapture* dialog = definition();
        dialog->SamplingType()->button(type)->click();
        dialog->NameOfFile()->setText(file);
        dialog->CaptureTime()->setText(seconds);
    }
    // Waits, with events running, until `blocks` more blocks have been processed.
    bool runBlocks(long long blocks) {
        const long long target = window->blocksProcessed() + blocks;
        QElapsedTimer waited;
        waited.start();
        while (window->blocksProcessed() < target && waited.elapsed() < 10000) {
            QTest::qWait(20);
        }
        return window->blocksProcessed() >= target;
    }
};

// The files the program writes may not grow past `bytes` (SIGXFSZ ignored): a disk that
// fills up mid-recording.
class SmallDisk {
public:
    explicit SmallDisk(rlim_t bytes) {
        ::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit small = m_old;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~SmallDisk() { setrlimit(RLIMIT_FSIZE, &m_old); }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

private:
    rlimit m_old{};
};

}  // namespace

class TestRealBoxes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void diskFullWhileRecording_data();
    void diskFullWhileRecording();
    void errorWhileABlockIsHeld();

private:
    QTemporaryDir m_dir;
    VeruzivaApplication* m_application = nullptr;
};

namespace {
int argc = 1;
char name[] = "tst_realboxes";
char* argv[] = {name, nullptr};
}  // namespace

void TestRealBoxes::initTestCase() {
    m_application = new VeruzivaApplication(argc, argv);
}

void TestRealBoxes::cleanupTestCase() {
    delete m_application;
}

void TestRealBoxes::diskFullWhileRecording_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("limit");
    QTest::newRow("continual") << int(CaptureDefinition::Continual) << "full.wav" << 100002;
    QTest::newRow("sampled") << int(CaptureDefinition::Sampled) << "full.csv" << 60;
}

void TestRealBoxes::diskFullWhileRecording() {
    // The disk fills up during a recording: "Disk full" is shown once, and while the box is
    // open the capture goes on, block after block, with nothing read after it was given back.
    QFETCH(int, type);
    QFETCH(QString, file);
    QFETCH(int, limit);
    Bench bench;
    BoxAnswerer answerer(700, [&bench] { return bench.window->blocksProcessed(); });
    bench.define(static_cast<CaptureDefinition::RecordType>(type), m_dir.filePath(file),
                 QStringLiteral("30"));
    {
        const SmallDisk disk(static_cast<rlim_t>(limit));
        bench.window->controls().Saving->click();  // the size question is answered OK
        QTRY_VERIFY_WITH_TIMEOUT(!bench.window->recording().SavingActive(), 15000);
    }
    QVERIFY(bench.runBlocks(5));
    const QStringList texts = answerer.texts();
    QCOMPARE(texts.count(QStringLiteral("Disk full")), 1);
    QCOMPARE(texts.filter(QStringLiteral("Application will terminate")).size(), 0);
    QVERIFY(!bench.window->endRequested());
    QVERIFY(bench.window->engine().Running());
    // The capture went on while the box was open (0.7 s: about seven blocks).
    const BoxAnswerer::Seen& full = answerer.seen.back();
    QCOMPARE(full.text, QStringLiteral("Disk full"));
    QVERIFY2(full.blocksAtClose - full.blocksAtOpen >= 3,
             qPrintable(QString::number(full.blocksAtClose - full.blocksAtOpen)));
    if (type == CaptureDefinition::Continual) {
        const QString problem = wavcheck::Problem(m_dir.filePath(file), 100000 - 44);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    } else {
        // Whole rows only: the row the disk cut off is not left half written.
        QFile csv(m_dir.filePath(file));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray text = csv.readAll();
        QVERIFY2(text.endsWith("\r\n") && text.count('\n') >= 2, text.constData());
    }
}

void TestRealBoxes::errorWhileABlockIsHeld() {
    // A runtime error in the middle of a block: the general error handler's box opens only
    // once the block is given back, and the capture goes on under it and after it.
    Bench bench;
    m_application->setErrorBoxes(&bench.dialogs);
    BoxAnswerer answerer(500, [&bench] { return bench.window->blocksProcessed(); });
    bench.window->setBlockObserver([&bench](std::span<const StereoFrame>) {
        if (bench.window->blocksProcessed() == 3) {
            throw RangeCheckError();
        }
    });
    bench.window->controls().StartStop->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.seen.size(), std::size_t(1), 5000);
    QVERIFY(bench.runBlocks(10));
    m_application->setErrorBoxes(nullptr);
    QCOMPARE(answerer.texts(), QStringList{"Range check error"});
    QVERIFY(answerer.seen.front().blocksAtClose - answerer.seen.front().blocksAtOpen >= 2);
    QVERIFY(bench.window->engine().Running());
    QVERIFY(!bench.window->endRequested());
}

QTEST_APPLESS_MAIN(TestRealBoxes)
#include "tst_realboxes.moc"

#include <QAction>
#include <QtTest>

#include "analysis/liveanalysis.h"
#include "app/storedsampleclock.h"
#include "app/views.h"
#include "calibration/accalibration.h"
#include "instrument/blockhandler.h"
#include "scripteddialogs.h"
#include "support/memorysettingsstore.h"
#include "trend/trendrecorder.h"

using namespace veruziva;

namespace {

// What the test table's views were told, in order.
QStringList Told;

class LoggingSink : public BlockSink {
public:
    explicit LoggingSink(const char* name) : m_name(QString::fromLatin1(name)) {}
    void blockMeasured(const MeasuredBlock& /*block*/) override { Told << m_name; }

private:
    QString m_name;
};

template <const char* Name>
std::unique_ptr<BlockSink> MakeSink(const ViewParts& /*parts*/) {
    return std::make_unique<LoggingSink>(Name);
}

template <const char* Name>
QWidget* MakeWindow(const ViewParts& parts, BlockSink* sink) {
    Told << QStringLiteral("made %1 with a sink: %2").arg(Name).arg(sink != nullptr);
    auto* window = new QWidget(&parts.window, Qt::Window);
    window->setObjectName(QString::fromLatin1(Name));
    return window;
}

void Opened(QWidget& window) {
    Told << QStringLiteral("opened ") + window.objectName();
}

constexpr char Scope[] = "Scope";
constexpr char Analyzer[] = "Analyzer";

// Two views: one fed by a sink, one without.
const ViewEntry TwoViews[] = {
    {"OpenScope", "Scope...", Qt::CTRL | Qt::Key_K, MakeSink<Scope>, MakeWindow<Scope>, Opened},
    {"OpenAnalyzer", "Analyzer...", Qt::CTRL | Qt::SHIFT | Qt::Key_A, nullptr, MakeWindow<Analyzer>,
     nullptr},
};

std::span<const ViewEntry> Table(const QString& name) {
    return name == QLatin1String("program") ? ViewTable() : std::span<const ViewEntry>(TwoViews);
}

struct Parts {
    TrendRecorder trend;
    ScriptedDialogs dialogs;
    QWidget window;
    CalibrationState state;
    MemorySettingsStore store;
    AcCalibration acCalibration{state, store, dialogs, {}};
    LiveAnalysis analysis;
    StoredSampleClock clock{state, store, dialogs};
    ViewParts parts{trend, dialogs, dialogs, window, acCalibration, analysis, clock, {}};
};

struct Block : BlockView {
    BlockSettings blockSettings() override { return {}; }
    void blockMeasured(std::span<const StereoFrame> /*frames*/, const Readouts&) override {}
};

}  // namespace

class TestViews : public QObject {
    Q_OBJECT

private slots:
    void menuFromTheTable_data();
    void menuFromTheTable();
};

void TestViews::menuFromTheTable_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("actions");  // text, object name, shortcut
    QTest::addColumn<QStringList>("told");     // by the first block, then opening each twice
    QTest::newRow("program") << "program"
                             << QStringList{"Trend... OpenTrend Ctrl+T",
                                            "Analyzer... OpenAnalyzer Ctrl+Y",
                                            "Scope... OpenScope Ctrl+J",
                                            "Calibrate with a sine... CalibrateWithSine Ctrl+K"}
                             << QStringList{};
    QTest::newRow("two views") << "two views"
                               << QStringList{"Scope... OpenScope Ctrl+K",
                                              "Analyzer... OpenAnalyzer Ctrl+Shift+A"}
                               << QStringList{"Scope", "made Scope with a sink: 1", "opened Scope",
                                              "opened Scope", "made Analyzer with a sink: 0"};
}

void TestViews::menuFromTheTable() {
    QFETCH(QString, table);
    QFETCH(QStringList, actions);
    QFETCH(QStringList, told);
    Told.clear();
    Parts parts;
    Views views(Table(table), parts.parts);
    views.addActions();
    Block view;
    BlockHandler blocks(view, ".");
    views.addSinks(blocks);
    blocks.measure(std::vector<StereoFrame>(FramesPerBuffer, StereoFrame{1000, 500}));
    QStringList made;
    for (const QAction* action : parts.window.actions()) {
        made << QStringList{action->text(), action->objectName(), action->shortcut().toString()}
                    .join(QLatin1Char(' '));
    }
    QCOMPARE(made, actions);
    for (QAction* action : parts.window.actions()) {
        QVERIFY(!views.window(action->objectName().toStdString()));
        action->trigger();
        QWidget* window = views.window(action->objectName().toStdString());
        QVERIFY(window && window->isVisible());
        action->trigger();
        QCOMPARE(views.window(action->objectName().toStdString()), window);
    }
    QCOMPARE(Told, told);
    if (table == QLatin1String("program")) {
        const std::optional<TrendSample> latest = parts.trend.latest();  // the trend's sink fed it
        QVERIFY(latest);
        QCOMPARE(latest->values[TrendMean][0], 1000.0);
        QCOMPARE(parts.analysis.analyzer().framesHeld(), FramesPerBuffer);  // and the analyzer's
        // The analyzer's clock correction: stored, then in force; not stored, the old one stays.
        QVERIFY(parts.clock.store(12.5));
        QCOMPARE(parts.store.values().value("Sample clock ppm").toString(), "12.5");
        QCOMPARE(parts.state.SampleClockPpm, 12.5);
        parts.store.failWritesFrom(QStringLiteral("Sample clock ppm"));
        QVERIFY(!parts.clock.store(-3.0));
        QCOMPARE(parts.clock.ppm(), 12.5);
    }
}

QTEST_MAIN(TestViews)
#include "tst_views.moc"

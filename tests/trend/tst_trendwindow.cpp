#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QtTest>
#include <deque>
#include <optional>

#include "support/chartframe.h"
#include "support/filesizelimit.h"
#include "support/scriptedmessageboxes.h"
#include "support/scriptedtrendfiles.h"
#include "support/twoscreens.h"
#include "trend/window/trendchartwidget.h"
#include "trend/window/trendwindow.h"

using namespace veruziva;

namespace {

constexpr std::int64_t T0 = 1'800'000'000'000;  // 10:00:00 in the tests' time zone

using sim::ScriptedTrendFiles;

QStringList RowTexts(const QTableWidget* table, int row) {
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column) {
        texts.append(table->item(row, column)->text());
    }
    return texts;
}

}  // namespace

class TestTrendWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowAndStatistics();
    void spans_data();
    void spans();
    void hideChannelAndManualScale();
    void resetClearsTheTable();
    void hoverReadout();
    void exports_data();
    void exports();
    void chartAtTheScreensRatio_data();
    void chartAtTheScreensRatio();

private:
    void feed(int count);

    QTemporaryDir m_dir;
    TrendRecorder m_recorder;
    ScriptedTrendFiles m_files;
    sim::ScriptedMessageBoxes m_boxes;
    std::unique_ptr<TrendWindow> m_window;
};

void TestTrendWindow::init() {
    m_recorder.reset();
    m_boxes.clear();
    m_window = std::make_unique<TrendWindow>(m_recorder, m_files, m_boxes);
    m_window->setMetadata([] {
        return FileMetadata{{"Software", "Veruziva 0.1.0"}, {"Source", "Line In"}};
    });
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestTrendWindow::cleanup() {
    m_window.reset();
}

// A: 1, 2, 3, 4 V over and over, the 2 clipping; B: 2.5 A.
void TestTrendWindow::feed(int count) {
    for (int i = 0; i < count; ++i) {
        m_window->add(
            {T0 + 100 * i, 1.0 + i % 4, 2.5, 'V', 'A', i % 4 == 1, false, i % 2 ? 4.0 : 3.0, 0});
    }
    m_window->refresh();
}

void TestTrendWindow::windowAndStatistics() {
    QCOMPARE(m_window->objectName(), QStringLiteral("TrendWindow"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Trend"));
    QVERIFY(m_window->isWindow());
    QCOMPARE(RowTexts(m_window->Statistics(), 0), QStringList({"", "", "", "", "", "", ""}));
    feed(600);
    QCOMPARE(RowTexts(m_window->Statistics(), 0),
             QStringList({"1 V", "4 V", "2.5 V", "2.73861 V", "150", "3.53553 V", "0"}));
    QCOMPARE(RowTexts(m_window->Statistics(), 1),
             QStringList({"2.5 A", "2.5 A", "2.5 A", "2.5 A", "0", "0 A", "0"}));
    // The live view ends at the newest reading.
    QCOMPARE(m_window->Chart()->view().t1Ms, T0 + 59'900);
    // Ten blocks read at a moved level on A, one clipped: counted, out of the figures.
    for (int i = 0; i < 10; ++i) {
        TrendSample moved{T0 + 60'000 + 100 * i, 40, 2.5, 'V', 'A', i == 0, false, 9, 0};
        moved.levelMovedA = true;
        m_window->add(moved);
    }
    m_window->refresh();
    QCOMPARE(RowTexts(m_window->Statistics(), 0),
             QStringList({"1 V", "4 V", "2.5 V", "2.73861 V", "151", "3.53553 V", "10"}));
    QCOMPARE(RowTexts(m_window->Statistics(), 1),
             QStringList({"2.5 A", "2.5 A", "2.5 A", "2.5 A", "0", "0 A", "0"}));
}

void TestTrendWindow::spans_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("span");
    QTest::newRow("1 min") << "1 min" << qint64{60'000};
    QTest::newRow("15 min") << "15 min" << qint64{900'000};
    QTest::newRow("6 h") << "6 h" << qint64{21'600'000};
    QTest::newRow("24 h") << "24 h" << qint64{86'400'000};
}

void TestTrendWindow::spans() {
    QFETCH(QString, text);
    QFETCH(qint64, span);
    QCOMPARE(m_window->Span()->count(), 9);
    QCOMPARE(m_window->Span()->currentText(), QStringLiteral("5 min"));
    feed(10);
    m_window->Span()->setCurrentText(text);
    const TrendChartView view = m_window->Chart()->view();
    QCOMPARE(view.t1Ms, T0 + 900);
    QCOMPARE(view.t1Ms - view.t0Ms, span);
}

void TestTrendWindow::hideChannelAndManualScale() {
    feed(40);
    m_window->ShowB()->setChecked(false);
    QCOMPARE(m_window->Chart()->view().show, (std::array<bool, 2>{true, false}));
    m_window->ShowA()->setChecked(false);
    m_window->ShowB()->setChecked(true);
    QCOMPARE(m_window->Chart()->view().show, (std::array<bool, 2>{false, true}));
    // Manual scaling starts from the autoscaled range of what is shown: B alone, 2.5 +- 5 %.
    QVERIFY(m_window->Chart()->view().autoScale);
    m_window->AutoScale()->setChecked(false);
    const TrendChartView view = m_window->Chart()->view();
    QVERIFY(!view.autoScale);
    QCOMPARE(view.minimum, 2.375);
    QCOMPARE(view.maximum, 2.625);
}

void TestTrendWindow::resetClearsTheTable() {
    feed(40);
    QCOMPARE(m_window->Statistics()->item(1, 0)->text(), QStringLiteral("2.5 A"));
    m_window->findChild<QPushButton*>(QStringLiteral("Reset"))->click();
    QVERIFY(m_recorder.empty());
    QCOMPARE(RowTexts(m_window->Statistics(), 0), QStringList({"", "", "", "", "", "", ""}));
    QCOMPARE(RowTexts(m_window->Statistics(), 1), QStringList({"", "", "", "", "", "", ""}));
}

void TestTrendWindow::hoverReadout() {
    // Raw readings on A for the first half minute, volts from there; B read at a moved level
    // over the last second.
    for (int i = 0; i < 600; ++i) {
        TrendSample sample{
            T0 + 100 * i, i < 300 ? 512.0 : 5.0, -0.125, i < 300 ? ' ' : 'V', 'A', false, false};
        sample.levelMovedB = i >= 590;
        m_window->add(sample);
    }
    m_window->Span()->setCurrentText(QStringLiteral("1 min"));
    const QRect plot = m_window->Chart()->plot();
    m_window->showHover(plot.right());
    QCOMPARE(m_window->HoverReadout()->text(),
             QStringLiteral("10:00:59   A 5 V   B - (level moved)"));
    // The column that holds 10:00:10 (the span starts at 09:59:59.900).
    m_window->showHover(plot.left() +
                        static_cast<int>(10'100 * std::int64_t{plot.width()} / 60'000));
    const QString raw = m_window->HoverReadout()->text();
    QVERIFY2(raw.startsWith(QStringLiteral("10:00:")) &&
                 raw.endsWith(QStringLiteral("   A 512 raw   B -0.125 A")),
             qPrintable(raw));
    m_window->showHover(plot.left() - 1);
    QCOMPARE(m_window->HoverReadout()->text(), QString());
}

void TestTrendWindow::exports_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("answer");  // empty: cancelled
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("full");  // writes fail past 1000 bytes: a full disk
    QTest::newRow("PNG") << "SavePng"
                         << "chart.png"
                         << "chart.png" << QString() << false;
    QTest::newRow("CSV") << "SaveCsv"
                         << "readings.csv"
                         << "readings.csv" << QString() << false;
    QTest::newRow("PNG cancelled") << "SavePng" << QString() << QString() << QString() << false;
    QTest::newRow("PNG on a full disk")
        << "SavePng"
        << "/dev/full" << QString() << "Could not save /dev/full: Disk full" << false;
    QTest::newRow("CSV on a full disk")
        << "SaveCsv"
        << "/dev/full" << QString() << "Could not save /dev/full: Disk full" << false;
    QTest::newRow("CSV without access")
        << "SaveCsv"
        << "/sys/readings.csv" << QString()
        << "Could not save /sys/readings.csv: File access denied" << false;
    // Over a file of that name: it stays as it was, nothing is left beside it.
    QTest::newRow("PNG over a file, the disk full") << "SavePng"
                                                    << "old.png"
                                                    << "old.png"
                                                    << "Could not save %1: Disk full" << true;
    QTest::newRow("CSV over a file, the disk full") << "SaveCsv"
                                                    << "old.csv"
                                                    << "old.csv"
                                                    << "Could not save %1: Disk full" << true;
}

void TestTrendWindow::exports() {
    QFETCH(QString, button);
    QFETCH(QString, answer);
    QFETCH(QString, file);
    QFETCH(QString, error);
    QFETCH(bool, full);
    for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden)) {
        QFile::remove(m_dir.filePath(name));
    }
    feed(30);
    m_files.answers.clear();
    const QString path = answer.startsWith('/') ? answer : m_dir.filePath(answer);
    if (!answer.isEmpty()) {
        m_files.answers.push_back(path);
    }
    if (full) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    {
        std::optional<sim::FileSizeLimit> limit;
        if (full) {
            limit.emplace(1000);
        }
        m_window->findChild<QPushButton*>(button)->click();
    }
    QCOMPARE(m_boxes.texts(), error.isEmpty()
                                  ? QStringList()
                                  : QStringList{error.replace(QStringLiteral("%1"), path)});
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
             file.isEmpty() ? QStringList() : QStringList{file});
    if (full) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
    } else if (file.endsWith(QStringLiteral(".png"))) {
        const QImage image(m_dir.filePath(file));
        QVERIFY(image.width() >= 800 && image.height() >= 400);
        QCOMPARE(image.pixel(0, 0), QRgb{0xFFFFFFFF});  // light: white paper
        QCOMPARE(image.textKeys(), QStringList({"Software", "Source"}));
        QCOMPARE(image.text(QStringLiteral("Source")), QStringLiteral("Line In"));
    } else if (!file.isEmpty()) {
        QFile csv(m_dir.filePath(file));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QCOMPARE(lines.size(), 34);  // two of metadata, the header, 30 rows, the last line's end
        QCOMPARE(lines[0], QByteArray("# Software: Veruziva 0.1.0"));
        QCOMPARE(lines[1], QByteArray("# Source: Line In"));
        QCOMPARE(lines[2], QByteArray("time;elapsed_s;A [V];B [A];level_moved"));
        QCOMPARE(lines[4], QByteArray("2027-01-15T10:00:00.100+02:00;0.100;2;2.5;"));
    }
}

void TestTrendWindow::chartAtTheScreensRatio_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("ratio 1") << QStringLiteral("one") << qreal{1};
    QTest::newRow("ratio 2") << QStringLiteral("two") << qreal{2};
}

void TestTrendWindow::chartAtTheScreensRatio() {
    // On the screen: a column a device pixel, lines a device pixel wide. For print: the size in
    // logical pixels, as on any screen.
    QFETCH(QString, screen);
    QFETCH(qreal, ratio);
    for (QScreen* s : QGuiApplication::screens()) {
        if (s->name() == screen) {
            m_window->windowHandle()->setScreen(s);
        }
    }
    TrendChartWidget* chart = m_window->Chart();
    QCOMPARE(chart->devicePixelRatioF(), ratio);
    feed(600);
    const QImage shown = chart->grab().toImage();
    QCOMPARE(shown.size(), chart->size() * ratio);
    const QRect plot = sim::FindPlot(shown, QRgb{0xFFFFFFFF});
    QCOMPARE(plot.width(), qRound(chart->plot().width() * ratio));
    const int middle = plot.top() + plot.height() / 2;
    QCOMPARE(shown.pixel(plot.left() - 1, middle), QRgb{0xFFFFFFFF});
    QVERIFY(shown.pixel(plot.left() - 2, middle) != QRgb{0xFFFFFFFF});
    m_files.answers = {m_dir.filePath(QStringLiteral("print.png"))};
    m_window->findChild<QPushButton*>(QStringLiteral("SavePng"))->click();
    QCOMPARE(QImage(m_dir.filePath(QStringLiteral("print.png"))).size(),
             chart->size().expandedTo(QSize(800, 400)));
}

QTEST_MAIN_WRAPPER(TestTrendWindow, sim::UseTwoScreens(); QTEST_MAIN_SETUP())
#include "tst_trendwindow.moc"

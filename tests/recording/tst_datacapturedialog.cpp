#include <QButtonGroup>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "recording/dialog/datacapturedialog.h"

using namespace veruziva;

class TestDataCaptureDialog : public QObject {
    Q_OBJECT

private slots:
    void defaults();
    void recordTypeResetsTheFileName();
    void browse();
    void closeKeepsTheValues();
};

void TestDataCaptureDialog::defaults() {
    TDataCapture dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Data capture definition"));
    QCOMPARE(dialog.size(), QSize(440, 118));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
    const CaptureDefinition definition = dialog.definition();
    QCOMPARE(definition.recordType, int(CaptureDefinition::Sampled));
    QCOMPARE(definition.samplingPeriod, 0);
    QCOMPARE(definition.captureTime, QStringLiteral("1"));
    QCOMPARE(definition.timeMeasure, 0);
    QCOMPARE(definition.nameOfFile, QStringLiteral("captured.csv"));
    QVERIFY(dialog.SamplingPeriodBox()->isEnabled());
    QStringList items;
    for (QAbstractButton* button : dialog.SamplingPeriod()->buttons()) {
        items << button->text();
    }
    QCOMPARE(items, QStringList({"1/4 s", "1/2 s", "1 s", "15 s", "1 min.", "5 min.", "15 min.",
                                 "1 hod."}));
    QCOMPARE(dialog.SamplingTypeBox()->title(), QStringLiteral("Record type:"));
}

void TestDataCaptureDialog::recordTypeResetsTheFileName() {
    TDataCapture dialog;
    dialog.setFileChooser([] { return QStringLiteral("/home/bench/run-7.csv"); });
    dialog.BrowseClick();
    QCOMPARE(dialog.NameOfFile()->text(), QStringLiteral("/home/bench/run-7.csv"));
    dialog.SamplingType()->button(0)->click();
    QCOMPARE(dialog.NameOfFile()->text(), QStringLiteral("captured.wav"));
    QVERIFY(!dialog.SamplingPeriodBox()->isEnabled());
    dialog.NameOfFile()->setText(QStringLiteral("mine.wav"));
    dialog.SamplingType()->button(0)->click();  // the same item again: no change, no reset
    QCOMPARE(dialog.NameOfFile()->text(), QStringLiteral("mine.wav"));
    dialog.SamplingType()->button(1)->click();
    QCOMPARE(dialog.NameOfFile()->text(), QStringLiteral("captured.csv"));
    QVERIFY(dialog.SamplingPeriodBox()->isEnabled());
    dialog.setRecordTypeEnabled(false);
    QVERIFY(!dialog.SamplingTypeBox()->isEnabled());
}

void TestDataCaptureDialog::browse() {
    TDataCapture dialog;
    dialog.setFileChooser([] { return QString(); });  // cancelled
    dialog.findChild<QPushButton*>("Browse")->click();
    QCOMPARE(dialog.NameOfFile()->text(), QStringLiteral("captured.csv"));
    dialog.setFileChooser([] { return QStringLiteral("relative name without extension"); });
    dialog.findChild<QPushButton*>("Browse")->click();
    QCOMPARE(dialog.definition().nameOfFile, QStringLiteral("relative name without extension"));
}

void TestDataCaptureDialog::closeKeepsTheValues() {
    TDataCapture dialog;
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.CaptureTime()->setText(QStringLiteral("12"));
        dialog.TimeMeasure()->button(1)->click();
        dialog.SamplingPeriod()->button(3)->click();
        dialog.findChild<QPushButton*>("Close")->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    const CaptureDefinition definition = dialog.definition();
    QCOMPARE(definition.captureTime, QStringLiteral("12"));
    QCOMPARE(definition.timeMeasure, 1);
    QCOMPARE(definition.samplingPeriod, 3);
}

QTEST_MAIN(TestDataCaptureDialog)
#include "tst_datacapturedialog.moc"

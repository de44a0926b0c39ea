#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "calibration/dialog/calibrationdialog.h"
#include "platform/runtimeerror.h"

using namespace veruziva;

namespace {

// The next widget that the Tab key reaches.
QWidget* NextTabStop(QWidget* widget) {
    do {
        widget = widget->nextInFocusChain();
    } while ((widget->focusPolicy() & Qt::TabFocus) == 0);
    return widget;
}

// Runs `action` once the dialog is up, then shows it for `value`. The action must close the
// dialog; it records what it sees for the test to check afterwards.
void ShowAnd(TCalibration& dialog, double& value, const std::function<void()>& action) {
    QTimer::singleShot(0, &dialog, action);
    dialog.ShowFor(value);
}

}  // namespace

class TestCalibrationDialog : public QObject {
    Q_OBJECT

private slots:
    void layout();
    void bothButtonsTakeTheEntry_data();
    void bothButtonsTakeTheEntry();
    void enterAndEscapeDoNothing();
    void closingOtherwiseLeavesTheValue();
    void tooLongAnEntryIsRefusedAndTheDialogStays();
};

void TestCalibrationDialog::layout() {
    TCalibration dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Calibration"));
    QCOMPARE(dialog.size(), QSize(225, 48));
    QCOMPARE(dialog.CalValue()->text(), QStringLiteral("0"));
    QCOMPARE(dialog.CalValue()->geometry(), QRect(8, 16, 65, 21));
    QCOMPARE(dialog.OK()->geometry(), QRect(80, 16, 65, 25));
    QCOMPARE(dialog.Cancel()->geometry(), QRect(152, 16, 65, 25));
    QCOMPARE(dialog.findChild<QLabel*>("Label1")->text(),
             QStringLiteral("Enter real value in Volts or Amperes:"));
    QVERIFY(!dialog.OK()->isDefault() && !dialog.OK()->autoDefault());
    QVERIFY(!dialog.Cancel()->isDefault() && !dialog.Cancel()->autoDefault());
    // Tab order: OK, Cancel, the edit.
    QCOMPARE(NextTabStop(dialog.OK()), static_cast<QWidget*>(dialog.Cancel()));
    QCOMPARE(NextTabStop(dialog.Cancel()), static_cast<QWidget*>(dialog.CalValue()));
}

void TestCalibrationDialog::bothButtonsTakeTheEntry_data() {
    QTest::addColumn<bool>("cancelButton");
    QTest::newRow("OK") << false;
    QTest::newRow("Cancel behaves like OK") << true;
}

void TestCalibrationDialog::bothButtonsTakeTheEntry() {
    QFETCH(bool, cancelButton);
    TCalibration dialog;
    double value = 7.0;
    bool visible = false;
    QWidget* focus = nullptr;
    ShowAnd(dialog, value, [&] {
        visible = dialog.isVisible();
        focus = dialog.focusWidget();
        QTest::keyClicks(dialog.CalValue(), "-1,25 V");  // typed over the selected "0"
        (cancelButton ? dialog.Cancel() : dialog.OK())->click();
    });
    QVERIFY(visible);
    QCOMPARE(focus, static_cast<QWidget*>(dialog.CalValue()));
    QCOMPARE(value, 1.25);
    QVERIFY(!dialog.isVisible());
    // The edit keeps the last entry for the next time.
    QString shown;
    ShowAnd(dialog, value, [&] {
        shown = dialog.CalValue()->text();
        dialog.OK()->click();
    });
    QCOMPARE(shown, QStringLiteral("-1,25 V"));
}

void TestCalibrationDialog::enterAndEscapeDoNothing() {
    TCalibration dialog;
    double value = 3.0;
    bool stillOpen = false;
    ShowAnd(dialog, value, [&] {
        dialog.CalValue()->setText(QString());
        QTest::keyClicks(dialog.CalValue(), "5");
        QTest::keyClick(dialog.CalValue(), Qt::Key_Return);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        stillOpen = dialog.isVisible();
        dialog.OK()->click();
    });
    QVERIFY(stillOpen);
    QCOMPARE(value, 5.0);
}

void TestCalibrationDialog::closingOtherwiseLeavesTheValue() {
    TCalibration dialog;
    double value = 2.5;
    ShowAnd(dialog, value, [&] {
        dialog.CalValue()->setText(QStringLiteral("9"));
        dialog.close();  // the window system's close command
    });
    QCOMPARE(value, 2.5);
    QVERIFY(!dialog.isVisible());
}

void TestCalibrationDialog::tooLongAnEntryIsRefusedAndTheDialogStays() {
    TCalibration dialog;
    double value = 1.0;
    bool refused = false;
    bool stillOpen = false;
    ShowAnd(dialog, value, [&] {
        dialog.CalValue()->setText(QString(256, QLatin1Char('1')));
        try {
            dialog.OKClick();
        } catch (const RangeCheckError&) {
            refused = true;
        }
        stillOpen = dialog.isVisible() && dialog.result() == 0;  // not closed by the click
        dialog.close();
    });
    QVERIFY(refused);
    QVERIFY(stillOpen);
    QCOMPARE(value, 1.0);  // the refused entry never reached the caller
}

QTEST_MAIN(TestCalibrationDialog)
#include "tst_calibrationdialog.moc"

#include <QtTest>

#include "measurement/triggercontrols.h"

using namespace veruziva;

class TestTriggerControls : public QObject {
    Q_OBJECT

private slots:
    void clicks_data();
    void clicks();
};

void TestTriggerControls::clicks_data() {
    // A script of clicks: T = "Trigger" button, A / B = source buttons.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("aDown");
    QTest::addColumn<bool>("bDown");
    QTest::newRow("start-up") << ""
                              << "Trigger" << false << false << false;
    QTest::newRow("on: A becomes the source") << "T"
                                              << "Trig.disable" << true << true << false;
    QTest::newRow("source moved to B") << "TB"
                                       << "Trig.disable" << true << false << true;
    QTest::newRow("off keeps the down state") << "TBT"
                                              << "Trigger" << false << false << true;
    QTest::newRow("on again always selects A") << "TBTT"
                                               << "Trig.disable" << true << true << false;
    QTest::newRow("disabled source buttons ignore presses") << "B"
                                                            << "Trigger" << false << false << false;
    QTest::newRow("back to A") << "TBA"
                               << "Trig.disable" << true << true << false;
}

void TestTriggerControls::clicks() {
    QFETCH(QString, script);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    QFETCH(bool, aDown);
    QFETCH(bool, bDown);
    TriggerControls controls;
    for (const QChar click : script) {
        if (click == 'T') {
            controls.TriggerEnableClick();
        } else if (click == 'A') {
            controls.pressSourceA();
        } else {
            controls.pressSourceB();
        }
    }
    QCOMPARE(QString::fromLatin1(controls.caption().data(), qsizetype(controls.caption().size())),
             caption);
    QCOMPARE(controls.TriggerEnabled(), enabled);
    QCOMPARE(controls.sourceAEnabled(), enabled);
    QCOMPARE(controls.sourceBEnabled(), enabled);
    QCOMPARE(controls.sourceADown(), aDown);
    QCOMPARE(controls.sourceBDown(), bDown);
}

QTEST_APPLESS_MAIN(TestTriggerControls)
#include "tst_triggercontrols.moc"

#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

#include "app/aboutform.h"
#include "app/helpviewer.h"
#include "support/scriptedmessageboxes.h"

using namespace veruziva;

class TestAboutAndHelp : public QObject {
    Q_OBJECT

private slots:
    void aboutBox();
    void linksOpenAndTurnMaroon_data();
    void linksOpenAndTurnMaroon();
    void helpFileHasItsTopics_data();
    void helpFileHasItsTopics();
};

void TestAboutAndHelp::aboutBox() {
    TAboutForm about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Zoruzoz Veruziva & Multimeter"));
    QCOMPARE(about.size(), QSize(326, 117));
    QVERIFY(!(about.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(about.findChild<QLabel*>("ProgramIcon") != nullptr);
    QCOMPARE(about.findChild<QLabel*>("Credits2")->text(),
             QStringLiteral("Built with Qt, ALSA, libpulse and libsndfile."));
    QCOMPARE(about.webLink()->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(TAboutForm::WebTarget().toString().endsWith('/'));
    QVERIFY(TAboutForm::MailTarget().toString().startsWith("mailto:"));
    about.show();
    about.findChild<QPushButton*>("Close")->click();
    QCOMPARE(about.result(), int(QDialog::Accepted));
    QVERIFY(about.isHidden());
}

void TestAboutAndHelp::linksOpenAndTurnMaroon_data() {
    // Whether the desktop has a program for the link; where it has none, a box says where to go.
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QStringList>("said");
    QTest::newRow("opened") << true << QStringList{};
    QTest::newRow("nothing opens them")
        << false
        << QStringList{"No program here opens folders. The user guide is in " +
                           TAboutForm::WebTarget().toLocalFile(),
                       "No program here opens folders. The user guide is in " +
                           TAboutForm::WebTarget().toLocalFile(),
                       "No mail program is set up here. Write to veruziva@zoruzoz.org"};
}

void TestAboutAndHelp::linksOpenAndTurnMaroon() {
    QFETCH(bool, opens);
    QFETCH(QStringList, said);
    TAboutForm about;
    sim::ScriptedMessageBoxes boxes;
    about.setMessageBoxes(&boxes);
    QList<QUrl> opened;
    about.setUrlOpener([&](const QUrl& url) {
        opened.append(url);
        return opens;
    });
    const QColor maroon(128, 0, 0);
    QVERIFY(about.webLink()->palette().color(QPalette::WindowText) != maroon);
    QTest::mouseClick(about.webLink(), Qt::LeftButton);
    QTest::mouseClick(about.webLink(), Qt::LeftButton);
    QCOMPARE(opened, (QList<QUrl>{TAboutForm::WebTarget(), TAboutForm::WebTarget()}));
    QCOMPARE(about.webLink()->palette().color(QPalette::WindowText), maroon);
    QVERIFY(about.mailLink()->palette().color(QPalette::WindowText) != maroon);
    QTest::mouseClick(about.mailLink(), Qt::LeftButton);
    // A mail to the developers, with its subject.
    QCOMPARE(opened.last(),
             QUrl("mailto:veruziva@zoruzoz.org?subject=Veruziva%20%26%20Multimeter"));
    QCOMPARE(about.mailLink()->palette().color(QPalette::WindowText), maroon);
    QCOMPARE(boxes.texts(), said);
}

void TestAboutAndHelp::helpFileHasItsTopics_data() {
    QTest::addColumn<QString>("anchor");
    for (const char* anchor : {"Description", "Board", "Window", "Measuring", "Calibration",
                               "Recording", "Messages", "Devices", "Demo", "Files"}) {
        QTest::newRow(anchor) << anchor;
    }
}

void TestAboutAndHelp::helpFileHasItsTopics() {
    QFETCH(QString, anchor);
    HelpViewer viewer(QStringLiteral(HELP_FILE), nullptr);
    QTextDocument* document = viewer.browser()->document();
    QVERIFY(document->characterCount() > 1000);
    // Every topic the guide links to exists as an anchor.
    QVERIFY2(document->toHtml().contains(QStringLiteral("name=\"%1\"").arg(anchor)),
             qPrintable(anchor));
    // The start-up messages are explained with their exact texts.
    const QString text = document->toPlainText();
    for (const char* message :
         {"Input devices are not available",
          "Mixer device NOT available.... Set up AUDIO properly!",
          "LineIn device NOT available.... Try another mixer or set up AUDIO properly!"}) {
        QVERIFY2(text.contains(QString::fromLatin1(message)), message);
    }
}

QTEST_MAIN(TestAboutAndHelp)
#include "tst_aboutandhelp.moc"

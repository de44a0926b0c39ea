#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QtTest>

#include "app/aboutform.h"
#include "app/application.h"
#include "app/demo/demobench.h"
#include "app/soundmeter.h"
#include "calibration/dialog/calibrationdialog.h"
#include "recording/dialog/datacapturedialog.h"
#include "scripteddialogs.h"
#include "support/memorysettingsstore.h"

using namespace veruziva;

namespace {

// The room a widget's text needs, in pixels: a label as it lays itself out, a check box or a
// radio button its indicator and text, a button its text within a thin frame, a group box its
// title with the frame's indent.
int NeededWidth(const QWidget* widget) {
    const QFontMetrics metrics = widget->fontMetrics();
    if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
        return metrics.horizontalAdvance(group->title()) + 8;
    }
    if (qobject_cast<const QCheckBox*>(widget) != nullptr ||
        qobject_cast<const QRadioButton*>(widget) != nullptr) {
        const QStyle* style = widget->style();
        return style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget) +
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, widget) +
               metrics.horizontalAdvance(qobject_cast<const QAbstractButton*>(widget)->text());
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        int widest = 0;  // a button's text may have lines
        for (const QString& line : QString(button->text()).remove(QLatin1Char('&')).split('\n')) {
            widest = std::max(widest, metrics.horizontalAdvance(line));
        }
        return widest + 4;
    }
    return widget->sizeHint().width();
}

bool HasText(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return !label->text().isEmpty();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return !button->text().isEmpty();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
        return !group->title().isEmpty();
    }
    return false;
}

// Every text of a form whose widget is narrower than the text needs.
QStringList CutTexts(const QWidget& form) {
    QStringList cut;
    for (const QWidget* widget : form.findChildren<QWidget*>()) {
        if (HasText(widget) && NeededWidth(widget) > widget->width()) {
            cut.append(QStringLiteral("%1 (%2 px for %3)")
                           .arg(widget->objectName().isEmpty()
                                    ? QString::fromLatin1(widget->metaObject()->className())
                                    : widget->objectName())
                           .arg(NeededWidth(widget))
                           .arg(widget->width()));
        }
    }
    return cut;
}

}  // namespace

class TestForms : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SubstituteFormsFace(); }
    void noTextIsCutOff();
    void unitLettersInTheFourteenSegmentFace();
    void menusAndBoxesInAProportionalFace();
};

void TestForms::noTextIsCutOff() {
    demo::DemoCard card(sim::SimWaveInput::Delivery::Manual);
    MemorySettingsStore settings;
    ScriptedDialogs dialogs;
    TSoundMeter window(InstrumentServices{card.waveInput, card.mixers, settings, dialogs, [] {}});
    TDataCapture definition;
    TAboutForm about;
    TCalibration calibration;
    demo::DemoBenchWindow bench(card, nullptr);
    QStringList cut;
    for (QWidget* form :
         std::initializer_list<QWidget*>{&window, &definition, &about, &calibration, &bench}) {
        form->show();  // laid out as on the screen
        for (const QString& text : CutTexts(*form)) {
            cut.append(form->objectName() + "/" + text);
        }
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(", ")));
}

void TestForms::unitLettersInTheFourteenSegmentFace() {
    // Seven segments draw V as a U: the unit letter comes from the fourteen-segment face of the
    // readouts' family, the digits do not change, and the text stays what the readout says.
    demo::DemoCard card(sim::SimWaveInput::Delivery::Manual);
    MemorySettingsStore settings;
    ScriptedDialogs dialogs;
    TSoundMeter window(InstrumentServices{card.waveInput, card.mixers, settings, dialogs, [] {}});
    QLabel* display = window.controls().DisplayL;
    if (!display->font().family().startsWith("DSEG7")) {
        QSKIP("the readouts' face is not DSEG7 here");
    }
    QLabel plain(display->parentWidget());
    plain.setGeometry(display->geometry());
    plain.setFont(display->font());
    plain.setAlignment(display->alignment());
    plain.setPalette(display->palette());
    auto picture = [](QLabel* label, const QString& text) {
        label->setText(text);
        // An opaque readout grabs without an alpha channel; the pixels are what count.
        return label->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    QCOMPARE(picture(display, "1.500  "), picture(&plain, "1.500  "));
    QVERIFY(picture(display, "1.500V ") != picture(&plain, "1.500V "));
    QCOMPARE(display->text(), QStringLiteral("1.500V "));
    // Only the letter's place differs: the digits' columns are alike.
    const QImage ours = picture(display, "1.500V ");
    const QImage theirs = picture(&plain, "1.500V ");
    const int letter = QFontMetrics(display->font()).horizontalAdvance("V ");
    QCOMPARE(ours.copy(0, 0, ours.width() - letter - 2, ours.height()),
             theirs.copy(0, 0, theirs.width() - letter - 2, theirs.height()));
}

void TestForms::menusAndBoxesInAProportionalFace() {
    // The face menus, message boxes, help and the file dialog take: the desktop's default. With
    // only the readouts' faces installed it would be a monospaced one.
    const QFontInfo face(QApplication::font());
    QVERIFY2(!face.fixedPitch(), qPrintable(face.family()));
    QVERIFY(QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("iiii")) <
            QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("MMMM")));
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"

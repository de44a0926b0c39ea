#include "app/soundmeterlayout.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>

#include "app/appicon.h"
#include "app/oscilloscopeview.h"
#include "app/readoutlabel.h"
#include "measurement/oscilloscope.h"

namespace veruziva {

namespace {

const QColor Teal = QColor::fromRgb(ReadoutPanelRgb);
const QColor Lime(0, 255, 0);

// The seven-segment face of the readouts: NI7SEG when installed, else DSEG7, else the
// platform's choice.
QFont ReadoutFont(int pixelSize, bool bold) {
    QFont font;
    const QStringList families = QFontDatabase::families();
    for (const char* family : {"NI7SEG", "DSEG7 Classic", "DSEG7 Modern"}) {
        if (families.contains(QString::fromLatin1(family))) {
            font.setFamily(QString::fromLatin1(family));
            break;
        }
    }
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(true);
    return font;
}

// A teal panel holding a right-aligned lime label.
QFrame* ReadoutPanel(QWidget* parent, const QString& name, const QRect& geometry, QLabel*& label,
                     const QString& labelName, const QString& text, const QFont& font) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setGeometry(geometry);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, Teal);
    palette.setColor(QPalette::WindowText, Lime);
    panel->setPalette(palette);
    label = new ReadoutLabel(text, panel);
    label->setObjectName(labelName);
    label->setGeometry(4, 1, geometry.width() - 8, geometry.height() - 2);
    // A fixed size: a new reading then asks its panel for no new layout on every block.
    label->setFixedSize(label->size());
    label->setTextFormat(Qt::PlainText);  // never rich text: spares the check on every reading
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setFont(font);
    label->setPalette(palette);
    return panel;
}

QToolButton* SpeedButton(QWidget* parent, const QString& name, const QString& caption,
                         const QRect& geometry, bool checkable = true) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(caption);
    button->setGeometry(geometry);
    button->setCheckable(checkable);
    return button;
}

QPushButton* Button(QWidget* parent, const QString& name, const QString& caption,
                    const QRect& geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    return button;
}

QScrollBar* Bar(QWidget* parent, const QString& name, int minimum, int maximum,
                const QRect& geometry, const QString& tip) {
    auto* bar = new QScrollBar(Qt::Vertical, parent);
    bar->setObjectName(name);
    bar->setRange(minimum, maximum);
    bar->setPageStep(std::max(1, (maximum - minimum) / 16));
    bar->setSingleStep(std::max(1, (maximum - minimum) / 128));
    bar->setGeometry(geometry);
    bar->setToolTip(tip);
    return bar;
}

QLabel* Caption(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    return label;
}

}  // namespace

SoundMeterControls LayOutSoundMeter(QWidget& window, Oscilloscope& traces) {
    window.setObjectName(QStringLiteral("SoundMeter"));
    window.setWindowTitle(QString::fromLatin1(MainWindowCaption));
    window.setWindowIcon(AppIcon());
    window.setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    window.setFixedSize(520, 340);
    SoundMeterControls ui;

    // The scope group: the trace area, its indicator and switches, and the sliders.
    ui.Panel3 = new QFrame(&window);
    ui.Panel3->setObjectName(QStringLiteral("Panel3"));
    ui.Panel3->setGeometry(4, 4, 344, 302);
    ui.Panel3->setFrameStyle(QFrame::Panel | QFrame::Raised);
    ui.Panel3->setAutoFillBackground(true);
    QPalette silver = ui.Panel3->palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    ui.Panel3->setPalette(silver);
    QWidget* scope = ui.Panel3;

    ui.Synchronized = new QFrame(scope);
    ui.Synchronized->setObjectName(QStringLiteral("Synchronized"));
    ui.Synchronized->setGeometry(6, 8, 9, 9);
    ui.Synchronized->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ui.Synchronized->setAutoFillBackground(true);
    ui.Synchronized->setToolTip(QStringLiteral("Lit when the trace is triggered"));
    Caption(scope, QStringLiteral("Enable:"), QRect(20, 6, 44, 14));
    ui.ScopeL = new QCheckBox(QStringLiteral("A"), scope);
    ui.ScopeL->setObjectName(QStringLiteral("ScopeL"));
    ui.ScopeL->setGeometry(68, 5, 32, 16);
    ui.ScopeR = new QCheckBox(QStringLiteral("B"), scope);
    ui.ScopeR->setObjectName(QStringLiteral("ScopeR"));
    ui.ScopeR->setGeometry(100, 5, 32, 16);
    ui.TriggerEnable = Button(scope, QStringLiteral("TriggerEnable"), QStringLiteral("Trigger"),
                              QRect(132, 3, 76, 21));
    ui.TriggerL =
        SpeedButton(scope, QStringLiteral("TriggerL"), QStringLiteral("A"), QRect(212, 3, 24, 21));
    ui.TriggerR =
        SpeedButton(scope, QStringLiteral("TriggerR"), QStringLiteral("B"), QRect(238, 3, 24, 21));
    auto* triggerGroup = new QButtonGroup(&window);
    triggerGroup->addButton(ui.TriggerL);
    triggerGroup->addButton(ui.TriggerR);

    ui.Oscilloscope = new OscilloscopeView(traces, scope);
    ui.Oscilloscope->setObjectName(QStringLiteral("Oscilloscope"));
    ui.Oscilloscope->setGeometry(4, 30, Oscilloscope::Width, Oscilloscope::Height);

    Caption(scope, QStringLiteral("A  B"), QRect(274, 14, 34, 14))
        ->setToolTip(QStringLiteral("Trace offsets"));
    ui.LZero = Bar(scope, QStringLiteral("LZero"), -128, 128, QRect(274, 30, 15, 266),
                   QStringLiteral("Offset of trace A"));
    ui.RZero = Bar(scope, QStringLiteral("RZero"), -128, 128, QRect(291, 30, 15, 266),
                   QStringLiteral("Offset of trace B"));
    Caption(scope, QStringLiteral("A"), QRect(313, 14, 10, 14));
    ui.LGain = Bar(scope, QStringLiteral("LGain"), 0, 100, QRect(310, 30, 15, 124),
                   QStringLiteral("Attenuation of trace A"));
    Caption(scope, QStringLiteral("B"), QRect(313, 156, 10, 14));
    ui.RGain = Bar(scope, QStringLiteral("RGain"), 0, 100, QRect(310, 172, 15, 124),
                   QStringLiteral("Attenuation of trace B"));
    Caption(scope, QStringLiteral("A"), QRect(330, 14, 10, 14));
    ui.TrigLevelL = Bar(scope, QStringLiteral("TrigLevelL"), 0, 16000, QRect(327, 30, 15, 124),
                        QStringLiteral("Trigger level of A"));
    Caption(scope, QStringLiteral("B"), QRect(330, 156, 10, 14));
    ui.TrigLevelR = Bar(scope, QStringLiteral("TrigLevelR"), 0, 16000, QRect(327, 172, 15, 124),
                        QStringLiteral("Trigger level of B"));

    // One group per channel: reading, frequency, AC box and range buttons.
    const QFont valueFont = ReadoutFont(22, true);
    const QFont frequencyFont = ReadoutFont(13, false);
    auto channel = [&](bool a, int top) {
        const QString side = a ? QStringLiteral("L") : QStringLiteral("R");
        auto* group = new QGroupBox(
            a ? QStringLiteral("Channel A  ") : QStringLiteral("Channel B  "), &window);
        group->setObjectName(QStringLiteral("Channel") + side);
        group->setGeometry(352, top, 164, 100);
        QLabel*& display = a ? ui.DisplayL : ui.DisplayR;
        QLabel*& frequency = a ? ui.LFrequency : ui.RFrequency;
        (a ? ui.ValueL : ui.ValueR) =
            ReadoutPanel(group, QStringLiteral("Value") + side, QRect(6, 17, 152, 34), display,
                         QStringLiteral("Display") + side, QStringLiteral("0  "), valueFont);
        (a ? ui.FrequencyL : ui.FrequencyR) = ReadoutPanel(
            group, QStringLiteral("Frequency") + side, QRect(6, 54, 104, 20), frequency,
            side + QStringLiteral("Frequency"), QStringLiteral("0 "), frequencyFont);
        QCheckBox*& ac = a ? ui.ACactiveL : ui.ACactiveR;
        ac = new QCheckBox(group);
        ac->setObjectName(QStringLiteral("ACactive") + side);
        ac->setGeometry(114, 56, 18, 16);
        ac->setToolTip(QStringLiteral("AC measurement (frequency counter on)"));
        Caption(group, QStringLiteral("Hz"), QRect(134, 57, 24, 14));
        auto* rangeGroup = new QButtonGroup(&window);
        const QStringList captions{QStringLiteral("0.3 V"), QStringLiteral("3 V"),
                                   QStringLiteral("30 V"), QStringLiteral("3 A")};
        const QStringList names{QStringLiteral("03"), QStringLiteral("3"), QStringLiteral("30"),
                                QStringLiteral("3A")};
        for (int i = 0; i < 4; ++i) {
            QToolButton* button =
                SpeedButton(group, side + names[i], captions[i], QRect(6 + 38 * i, 77, 37, 19));
            rangeGroup->addButton(button, i + 1);  // the tag is the range number
        }
        (a ? ui.RangeGroupL : ui.RangeGroupR) = rangeGroup;
        return group;
    };
    ui.ChannelL = channel(true, 2);
    ui.ChannelR = channel(false, 104);
    ui.L03 = ui.ChannelL->findChild<QToolButton*>(QStringLiteral("L03"));
    ui.L3 = ui.ChannelL->findChild<QToolButton*>(QStringLiteral("L3"));
    ui.L30 = ui.ChannelL->findChild<QToolButton*>(QStringLiteral("L30"));
    ui.L3A = ui.ChannelL->findChild<QToolButton*>(QStringLiteral("L3A"));
    ui.R03 = ui.ChannelR->findChild<QToolButton*>(QStringLiteral("R03"));
    ui.R3 = ui.ChannelR->findChild<QToolButton*>(QStringLiteral("R3"));
    ui.R30 = ui.ChannelR->findChild<QToolButton*>(QStringLiteral("R30"));
    ui.R3A = ui.ChannelR->findChild<QToolButton*>(QStringLiteral("R3A"));

    // Level bars.
    Caption(&window, QStringLiteral("A"), QRect(354, 208, 10, 12));
    Caption(&window, QStringLiteral("B"), QRect(354, 224, 10, 12));
    for (const bool a : {true, false}) {
        QProgressBar*& bar = a ? ui.VUL : ui.VUR;
        bar = new QProgressBar(&window);
        bar->setObjectName(a ? QStringLiteral("VUL") : QStringLiteral("VUR"));
        bar->setRange(0, 128);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setGeometry(366, a ? 208 : 224, 150, 12);
    }

    ui.Calibrate = Button(&window, QStringLiteral("Calibrate"), QStringLiteral("Calibrate"),
                          QRect(352, 242, 80, 22));
    ui.StartStop = Button(&window, QStringLiteral("StartStop"), QStringLiteral("Start"),
                          QRect(436, 242, 80, 22));
    ui.Help =
        Button(&window, QStringLiteral("Help"), QStringLiteral("Help"), QRect(352, 266, 80, 22));
    ui.Saving = Button(&window, QStringLiteral("Saving"), QStringLiteral("Start saving"),
                       QRect(436, 266, 80, 22));
    ui.About =
        Button(&window, QStringLiteral("About"), QStringLiteral("About"), QRect(352, 290, 80, 22));
    ui.Close =
        Button(&window, QStringLiteral("Close"), QStringLiteral("Close"), QRect(436, 290, 80, 22));

    // The bottom row.
    ui.WaveInDevices = new QComboBox(&window);
    ui.WaveInDevices->setObjectName(QStringLiteral("WaveInDevices"));
    ui.WaveInDevices->setGeometry(4, 314, 200, 22);
    ui.WaveInDevices->setToolTip(QStringLiteral("Input device"));
    ui.SlowScope = SpeedButton(&window, QStringLiteral("SlowScope"), QStringLiteral("1:8"),
                               QRect(208, 314, 36, 22));
    ui.FastScope = SpeedButton(&window, QStringLiteral("FastScope"), QStringLiteral("1:1"),
                               QRect(246, 314, 36, 22));
    auto* stepGroup = new QButtonGroup(&window);
    stepGroup->addButton(ui.SlowScope);
    stepGroup->addButton(ui.FastScope);
    ui.RawData = SpeedButton(&window, QStringLiteral("RawData"), QStringLiteral("Raw"),
                             QRect(286, 314, 40, 22), false);
    ui.Definition = Button(&window, QStringLiteral("Definition"),
                           QStringLiteral("Saving definition"), QRect(330, 314, 118, 22));
    return ui;
}

}  // namespace veruziva

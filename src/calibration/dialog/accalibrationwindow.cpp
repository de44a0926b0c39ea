#include "calibration/dialog/accalibrationwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "calibration/accalibration.h"
#include "measurement/numberformat.h"

namespace veruziva {

AcCalibrationWindow::AcCalibrationWindow(AcCalibration& calibration, QWidget* parent)
    : QWidget(parent, Qt::Window), m_calibration(calibration) {
    setObjectName(QStringLiteral("AcCalibrationWindow"));
    setWindowTitle(QStringLiteral("Calibrate with a sine"));
    auto* layout = new QVBoxLayout(this);
    auto* how = new QLabel(
        QStringLiteral(
            "Set the board to the range below and apply a sine of known RMS to the chosen "
            "inputs through it: from a signal generator, or from a mains transformer's low "
            "voltage winding, its RMS measured with a multimeter at the same time. For the 3 A "
            "range, pass the current through the shunt and measure it with the multimeter's AC "
            "current range.\n"
            "Press Start in the main window, type the RMS and press Calibrate: about 1.5 s of "
            "the sine is measured. Only this range of the chosen channels changes; a later "
            "calibration of a range, with a sine or with DC values, replaces the earlier one."),
        this);
    how->setWordWrap(true);
    layout->addWidget(how);

    auto* form = new QFormLayout;
    auto* channels = new QHBoxLayout;
    m_channelA = new QCheckBox(QStringLiteral("A"), this);
    m_channelA->setObjectName(QStringLiteral("AcChannelA"));
    m_channelB = new QCheckBox(QStringLiteral("B"), this);
    m_channelB->setObjectName(QStringLiteral("AcChannelB"));
    m_channelA->setChecked(true);
    m_channelB->setChecked(true);
    channels->addWidget(m_channelA);
    channels->addWidget(m_channelB);
    channels->addStretch();
    form->addRow(QStringLiteral("Channels:"), channels);
    m_range = new QComboBox(this);
    m_range->setObjectName(QStringLiteral("AcRange"));
    for (int r = FirstRange; r <= LastRange; ++r) {
        m_range->addItem(RangeCaption(r), r);
    }
    m_range->setCurrentIndex(1);
    form->addRow(QStringLiteral("Range:"), m_range);
    m_value = new QLineEdit(this);
    m_value->setObjectName(QStringLiteral("AcValue"));
    m_value->setPlaceholderText(QStringLiteral("e.g. 1.000"));
    form->addRow(QStringLiteral("RMS applied (V, or A on 3 A):"), m_value);
    layout->addLayout(form);

    m_input = new QLabel(this);
    m_input->setObjectName(QStringLiteral("AcInput"));
    layout->addWidget(m_input);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("AcStatus"));
    m_status->setWordWrap(true);
    m_status->setMinimumHeight(48);
    layout->addWidget(m_status);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_calibrate = new QPushButton(QStringLiteral("Calibrate"), this);
    m_calibrate->setObjectName(QStringLiteral("AcCalibrate"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("AcClose"));
    buttons->addWidget(m_calibrate);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    // A wrapped label asks for too little height until it knows its width: give it both.
    constexpr int Width = 460;
    const QMargins margins = layout->contentsMargins();
    how->setMinimumHeight(how->heightForWidth(Width - margins.left() - margins.right()));
    resize(Width, sizeHint().height());

    connect(m_calibrate, &QPushButton::clicked, this, &AcCalibrationWindow::CalibrateClick);
    connect(m_value, &QLineEdit::returnPressed, this, &AcCalibrationWindow::CalibrateClick);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    m_calibration.onChanged = [this] { showState(); };
    showState();
}

AcCalibrationWindow::~AcCalibrationWindow() {
    m_calibration.onChanged = nullptr;
}

void AcCalibrationWindow::CalibrateClick() {
    if (m_calibration.measuring()) {
        m_calibration.cancel();
        return;
    }
    AcCalibration::Request request;
    request.range = m_range->currentData().toInt();
    request.a = m_channelA->isChecked();
    request.b = m_channelB->isChecked();
    // As the DC calibration reads its value, a comma as well as a point; a text without a
    // number reads 0 and is refused.
    request.appliedRms = TextToNumber(m_value->text().trimmed().toStdString());
    m_calibration.begin(request);
}

void AcCalibrationWindow::showState() {
    const std::array<double, 2> rms = m_calibration.lastRawRms();
    const QLocale locale;
    m_input->setText(QStringLiteral("Input now: A %1, B %2 raw units RMS")
                         .arg(locale.toString(std::round(rms[0]), 'f', 0),
                              locale.toString(std::round(rms[1]), 'f', 0)));
    if (m_status->text() != m_calibration.status()) {
        m_status->setText(m_calibration.status());
    }
    const QString caption =
        m_calibration.measuring() ? QStringLiteral("Cancel") : QStringLiteral("Calibrate");
    if (m_calibrate->text() != caption) {
        m_calibrate->setText(caption);
    }
}

}  // namespace veruziva

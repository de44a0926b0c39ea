#include "recording/dialog/datacapturedialog.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace veruziva {
namespace {

QRadioButton* Radio(QGroupBox* box, QButtonGroup* group, int id, const QString& text,
                    const QRect& geometry) {
    auto* button = new QRadioButton(text, box);
    button->setGeometry(geometry);
    group->addButton(button, id);
    return button;
}

}  // namespace

TDataCapture::TDataCapture(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_samplingTypeBox(new QGroupBox(QStringLiteral("Record type:"), this)),
      m_samplingPeriodBox(new QGroupBox(QStringLiteral("Sampling period:"), this)),
      m_timeMeasureBox(new QGroupBox(this)),
      m_samplingType(new QButtonGroup(this)),
      m_samplingPeriod(new QButtonGroup(this)),
      m_timeMeasure(new QButtonGroup(this)),
      m_captureTime(new QLineEdit(this)),
      m_nameOfFile(new QLineEdit(this)),
      m_chooseFile([this] {
          return QFileDialog::getSaveFileName(this, QString(), QString(), QString(), nullptr,
                                              QFileDialog::DontConfirmOverwrite);
      }) {
    setObjectName(QStringLiteral("DataCapture"));
    setWindowTitle(QStringLiteral("Data capture definition"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(440, 118);
    setWindowModality(Qt::WindowModal);

    m_samplingTypeBox->setObjectName(QStringLiteral("SamplingType"));
    m_samplingTypeBox->setGeometry(8, 8, 129, 57);
    Radio(m_samplingTypeBox, m_samplingType, 0, QStringLiteral("continual (WAV file)"),
          QRect(8, 16, 118, 17));
    Radio(m_samplingTypeBox, m_samplingType, 1, QStringLiteral("sampled"), QRect(8, 34, 118, 17));

    m_samplingPeriodBox->setObjectName(QStringLiteral("SamplingPeriod"));
    m_samplingPeriodBox->setGeometry(144, 8, 289, 57);
    for (int i = 0; i < static_cast<int>(SamplingPeriods.size()); ++i) {
        // Four columns, filled down then across.
        const int column = i / 2;
        const int row = i % 2;
        Radio(m_samplingPeriodBox, m_samplingPeriod, i,
              QString::fromLatin1(SamplingPeriods[static_cast<std::size_t>(i)].item),
              QRect(8 + 70 * column, 16 + 18 * row, 68, 17));
    }

    auto* timeLabel = new QLabel(QStringLiteral("Capturing time:"), this);
    timeLabel->setGeometry(8, 72, 80, 14);
    m_captureTime->setObjectName(QStringLiteral("CaptureTime"));
    m_captureTime->setGeometry(8, 88, 73, 21);
    m_timeMeasureBox->setObjectName(QStringLiteral("TimeMeasure"));
    m_timeMeasureBox->setGeometry(88, 64, 49, 49);
    Radio(m_timeMeasureBox, m_timeMeasure, 0, QStringLiteral("s"), QRect(6, 8, 40, 17));
    Radio(m_timeMeasureBox, m_timeMeasure, 1, QStringLiteral("min"), QRect(6, 26, 40, 17));

    auto* nameLabel = new QLabel(QStringLiteral("File name:"), this);
    nameLabel->setGeometry(144, 72, 80, 14);
    m_nameOfFile->setObjectName(QStringLiteral("NameOfFile"));
    m_nameOfFile->setGeometry(144, 88, 145, 21);
    auto* browse = new QPushButton(QStringLiteral("Browse"), this);
    browse->setObjectName(QStringLiteral("Browse"));
    browse->setGeometry(296, 88, 65, 25);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Close"));
    close->setGeometry(368, 88, 65, 25);
    for (QPushButton* button : {browse, close}) {
        button->setAutoDefault(false);
    }

    // The defaults of every run.
    m_nameOfFile->setText(QStringLiteral("captured.csv"));
    m_samplingType->button(CaptureDefinition::Sampled)->setChecked(true);
    m_captureTime->setText(QStringLiteral("1"));
    m_samplingPeriod->button(0)->setChecked(true);
    m_timeMeasure->button(0)->setChecked(true);
    m_samplingPeriodBox->setEnabled(true);

    connect(m_samplingType, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) {
            SamplingTypeClick(id);
        }
    });
    connect(browse, &QPushButton::clicked, this, &TDataCapture::BrowseClick);
    connect(close, &QPushButton::clicked, this, &TDataCapture::CloseClick);
}

void TDataCapture::SamplingTypeClick(int index) {
    const bool continual = index == CaptureDefinition::Continual;
    m_samplingPeriodBox->setEnabled(!continual);
    m_nameOfFile->setText(continual ? QStringLiteral("captured.wav")
                                    : QStringLiteral("captured.csv"));
}

void TDataCapture::BrowseClick() {
    const QString chosen = m_chooseFile ? m_chooseFile() : QString();
    if (!chosen.isEmpty()) {
        m_nameOfFile->setText(chosen);
    }
}

void TDataCapture::CloseClick() {
    done(QDialog::Accepted);
}

CaptureDefinition TDataCapture::definition() const {
    CaptureDefinition definition;
    definition.recordType = m_samplingType->checkedId();
    definition.samplingPeriod = m_samplingPeriod->checkedId();
    definition.captureTime = m_captureTime->text();
    definition.timeMeasure = m_timeMeasure->checkedId();
    definition.nameOfFile = m_nameOfFile->text();
    return definition;
}

void TDataCapture::setRecordTypeEnabled(bool enabled) {
    m_samplingTypeBox->setEnabled(enabled);
}

}  // namespace veruziva

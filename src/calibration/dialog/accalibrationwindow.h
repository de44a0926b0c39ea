#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace veruziva {

class AcCalibration;

// The calibration with a sine of known RMS: what to apply and how, the channels, the range and
// the RMS typed; the input's RMS as it runs, and the outcome.
class AcCalibrationWindow : public QWidget {
    Q_OBJECT

public:
    AcCalibrationWindow(AcCalibration& calibration, QWidget* parent);
    ~AcCalibrationWindow() override;

    void CalibrateClick();

private:
    void showState();

    AcCalibration& m_calibration;
    QCheckBox* m_channelA;
    QCheckBox* m_channelB;
    QComboBox* m_range;
    QLineEdit* m_value;
    QLabel* m_input;
    QLabel* m_status;
    QPushButton* m_calibrate;
};

}  // namespace veruziva

#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace veruziva {

// The calibration value dialog: one edit and two buttons that both take the entry.
class TCalibration : public QDialog {
    Q_OBJECT

public:
    explicit TCalibration(QWidget* parent = nullptr);

    // Shows the dialog modally with the last entry; both buttons store the entry, converted
    // with TextToNumber, in `value`. Closed by other means, `value` stays as it was.
    void ShowFor(double& value);
    // The handler of both buttons.
    void OKClick();

    QLineEdit* CalValue() const { return m_calValue; }
    QPushButton* OK() const { return m_ok; }
    QPushButton* Cancel() const { return m_cancel; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* m_calValue;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    double* m_value = nullptr;
};

}  // namespace veruziva

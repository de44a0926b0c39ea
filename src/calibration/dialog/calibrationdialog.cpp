#include "calibration/dialog/calibrationdialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "measurement/numberformat.h"

namespace veruziva {

TCalibration::TCalibration(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_calValue(new QLineEdit(QStringLiteral("0"), this)),
      m_ok(new QPushButton(QStringLiteral("OK"), this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel"), this)) {
    setObjectName(QStringLiteral("Calibration"));
    setWindowTitle(QStringLiteral("Calibration"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(225, 48);
    setWindowModality(Qt::WindowModal);
    auto* label = new QLabel(QStringLiteral("Enter real value in Volts or Amperes:"), this);
    label->setObjectName(QStringLiteral("Label1"));
    label->move(8, 0);
    label->adjustSize();  // sized to its text, as the form's labels are
    m_calValue->setObjectName(QStringLiteral("CalValue"));
    m_calValue->setGeometry(8, 16, 65, 21);
    m_ok->setObjectName(QStringLiteral("OK"));
    m_ok->setGeometry(80, 16, 65, 25);
    m_cancel->setObjectName(QStringLiteral("Cancel"));
    m_cancel->setGeometry(152, 16, 65, 25);
    // Neither button is the default or the cancel button: Enter and Escape do nothing.
    for (QPushButton* button : {m_ok, m_cancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
        connect(button, &QPushButton::clicked, this, &TCalibration::OKClick);
    }
    setTabOrder(m_ok, m_cancel);
    setTabOrder(m_cancel, m_calValue);
}

void TCalibration::ShowFor(double& value) {
    m_value = &value;
    // Typing starts in the edit, over the last entry.
    m_calValue->setFocus();
    m_calValue->selectAll();
    exec();
    m_value = nullptr;
}

void TCalibration::OKClick() {
    // A text the conversion refuses raises its error here and the dialog stays open.
    const double entered = TextToNumber(m_calValue->text().toStdString());
    if (m_value != nullptr) {
        *m_value = entered;
    }
    done(QDialog::Accepted);
}

void TCalibration::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace veruziva

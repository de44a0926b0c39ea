#include "app/qtdialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include "app/aboutform.h"
#include "app/helpviewer.h"

namespace veruziva {

QtDialogs::QtDialogs() = default;

QtDialogs::~QtDialogs() = default;

void QtDialogs::setMainWindow(QWidget* window) {
    m_window = window;
}

void QtDialogs::createWindows() {
    // In the program's order: capture definition, about box, calibration value.
    if (!m_dataCapture) {
        m_dataCapture = new TDataCapture(m_window);
    }
    if (!m_about) {
        auto* about = new TAboutForm(m_window);
        about->setMessageBoxes(this);
        m_about = about;
    }
    if (!m_calibration) {
        m_calibration = new TCalibration(m_window);
    }
}

// Boxes and dialogs block the instrument's window, not other windows of the program (the
// demo's bench must stay usable while the calibration asks for a value to be applied).
void QtDialogs::showMessage(const QString& text) {
    if (m_ending) {
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(ApplicationTitle), text,
                    QMessageBox::Ok, m_window);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}

Answer QtDialogs::confirm(const QString& text, ConfirmButtons buttons) {
    const bool yesNo = buttons == ConfirmButtons::YesNo;
    if (m_ending) {
        return yesNo ? Answer::No : Answer::Cancel;
    }
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("Confirm"), text,
        yesNo ? (QMessageBox::Yes | QMessageBox::No) : (QMessageBox::Ok | QMessageBox::Cancel),
        m_window);
    box.setWindowModality(Qt::WindowModal);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Ok:
            return Answer::Ok;
        default:
            return Answer::Cancel;
    }
}

void QtDialogs::showError(const QString& text) {
    if (m_ending) {
        return;
    }
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(ApplicationTitle), text,
                    QMessageBox::Ok, m_window);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}

void QtDialogs::showAbout() {
    createWindows();
    if (TAboutForm* about = m_about) {
        about->setWindowModality(Qt::WindowModal);
        about->exec();
    }
}

void QtDialogs::ShowCalibrationValue(double& value) {
    createWindows();
    if (TCalibration* dialog = m_calibration) {
        dialog->ShowFor(value);
    }
}

void QtDialogs::showCaptureDefinition() {
    createWindows();
    if (TDataCapture* dialog = m_dataCapture) {
        dialog->exec();
    }
}

CaptureDefinition QtDialogs::captureDefinition() const {
    return m_dataCapture ? m_dataCapture->definition() : CaptureDefinition{};
}

void QtDialogs::setRecordTypeEnabled(bool enabled) {
    if (m_dataCapture) {
        m_dataCapture->setRecordTypeEnabled(enabled);
    }
}

std::optional<QString> QtDialogs::askText(const QString& caption, const QString& label,
                                          const QString& text) {
    if (m_ending) {
        return std::nullopt;
    }
    QInputDialog dialog(m_window);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(label);
    dialog.setTextValue(text);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.textValue();
}

std::optional<QString> QtDialogs::askSaveFileName(const QString& caption, const QString& filter) {
    if (m_ending) {
        return std::nullopt;
    }
    QFileDialog dialog(m_window, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without its suffix gets the filter's, as "(*.png)" says.
    static const QRegularExpression suffix(QStringLiteral("\\(\\*\\.(\\w+)"));
    dialog.setDefaultSuffix(suffix.match(filter).captured(1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front();
}

void QtDialogs::showHelp(const QString& topic) {
    const QString file = FindHelpFile();
    if (file.isEmpty()) {
        return;  // no help file: nothing happens
    }
    if (!m_help) {
        m_help = new HelpViewer(file, m_window);
    }
    m_help->show();
    m_help->raise();
    m_help->showTopic(topic);
}

}  // namespace veruziva

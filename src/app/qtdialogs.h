#pragma once

#include <QPointer>
#include <memory>

#include "app/aboutform.h"
#include "app/dialogs.h"
#include "app/helpviewer.h"
#include "calibration/dialog/calibrationdialog.h"
#include "recording/dialog/datacapturedialog.h"

class QWidget;

namespace veruziva {

// The real boxes and dialogs. Once the end of the program has been requested, no further box
// is shown (it would close at once anyway).
class QtDialogs : public Dialogs {
public:
    QtDialogs();
    ~QtDialogs() override;

    // The window boxes are centred on; the dialogs are created with it as parent.
    void setMainWindow(QWidget* window) override;
    void createWindows() override;
    void setEnding(bool ending) override { m_ending = ending; }

    void showMessage(const QString& text) override;
    Answer confirm(const QString& text, ConfirmButtons buttons) override;
    void showError(const QString& text) override;
    void showAbout() override;
    void showHelp(const QString& topic) override;
    void ShowCalibrationValue(double& value) override;
    void showCaptureDefinition() override;
    CaptureDefinition captureDefinition() const override;
    void setRecordTypeEnabled(bool enabled) override;
    std::optional<QString> askText(const QString& caption, const QString& label,
                                   const QString& text) override;
    std::optional<QString> askSaveFileName(const QString& caption, const QString& filter) override;

    TAboutForm* aboutForm() const { return m_about; }

private:
    QPointer<QWidget> m_window;
    QPointer<TAboutForm> m_about;
    QPointer<HelpViewer> m_help;
    QPointer<TCalibration> m_calibration;
    QPointer<TDataCapture> m_dataCapture;
    bool m_ending = false;
};

}  // namespace veruziva

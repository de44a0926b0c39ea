#pragma once

#include <QDialog>
#include <functional>

#include "recording/capturedefinition.h"

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace veruziva {

// The capture definition dialog: how the next recording is made. It holds the definition in
// its controls for the whole run; the main window reads it at each start of a recording.
class TDataCapture : public QDialog {
    Q_OBJECT

public:
    explicit TDataCapture(QWidget* parent = nullptr);

    void SamplingTypeClick(int index);
    void BrowseClick();
    void CloseClick();

    // The save-file dialog: a full path, or nothing when the user cancels.
    void setFileChooser(std::function<QString()> chooser) { m_chooseFile = std::move(chooser); }
    CaptureDefinition definition() const;
    // The record type is locked while a recording runs.
    void setRecordTypeEnabled(bool enabled);

    QButtonGroup* SamplingType() const { return m_samplingType; }
    QButtonGroup* SamplingPeriod() const { return m_samplingPeriod; }
    QButtonGroup* TimeMeasure() const { return m_timeMeasure; }
    QGroupBox* SamplingTypeBox() const { return m_samplingTypeBox; }
    QGroupBox* SamplingPeriodBox() const { return m_samplingPeriodBox; }
    QLineEdit* CaptureTime() const { return m_captureTime; }
    QLineEdit* NameOfFile() const { return m_nameOfFile; }

private:
    QGroupBox* m_samplingTypeBox;
    QGroupBox* m_samplingPeriodBox;
    QGroupBox* m_timeMeasureBox;
    QButtonGroup* m_samplingType;
    QButtonGroup* m_samplingPeriod;
    QButtonGroup* m_timeMeasure;
    QLineEdit* m_captureTime;
    QLineEdit* m_nameOfFile;
    std::function<QString()> m_chooseFile;
};

}  // namespace veruziva

#pragma once

#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

#include "app/dialogs.h"
#include "measurement/numberformat.h"
#include "support/scriptedmessageboxes.h"

// The program's boxes and dialogs for tests: boxes are recorded and answered from a script,
// dialogs are counted.
class ScriptedDialogs : public veruziva::Dialogs {
public:
    void showMessage(const QString& text) override { boxes.showMessage(text); }
    veruziva::Answer confirm(const QString& text, veruziva::ConfirmButtons buttons) override {
        const veruziva::Answer answer = boxes.confirm(text, buttons);
        if (onConfirm) {
            onConfirm(text, answer);
        }
        return answer;
    }
    void showError(const QString& text) override { boxes.showError(text); }
    void showAbout() override { ++aboutShown; }
    void showHelp(const QString& topic) override { helpTopics.append(topic); }
    void showCaptureDefinition() override { ++definitionShown; }
    veruziva::CaptureDefinition captureDefinition() const override { return definition; }
    void setRecordTypeEnabled(bool enabled) override { recordTypeEnabled = enabled; }
    // The next scripted file name, none (cancelled) when the script is empty.
    std::optional<QString> askSaveFileName(const QString& caption, const QString&) override {
        saveCaptions.append(caption);
        if (saveNames.empty()) {
            return std::nullopt;
        }
        const QString name = saveNames.front();
        saveNames.pop_front();
        return name;
    }
    // The next scripted text, none (cancelled) when the script is empty.
    std::optional<QString> askText(const QString& caption, const QString&,
                                   const QString&) override {
        textCaptions.append(caption);
        if (texts.empty()) {
            return std::nullopt;
        }
        const QString text = texts.front();
        texts.pop_front();
        return text;
    }
    // The value dialog: the next scripted entry, converted as its buttons do; no entry left
    // (or nullopt) closes it without a button.
    void ShowCalibrationValue(double& value) override {
        ++valueDialogs;
        if (entries.empty()) {
            return;
        }
        const std::optional<QString> entry = entries.front();
        entries.pop_front();
        if (entry) {
            value = veruziva::TextToNumber(entry->toStdString());
        }
    }

    veruziva::sim::ScriptedMessageBoxes boxes;
    // Called after each confirmation with its answer (a test's bench applies what it asks for).
    std::function<void(const QString&, veruziva::Answer)> onConfirm;
    int aboutShown = 0;
    int valueDialogs = 0;
    int definitionShown = 0;
    veruziva::CaptureDefinition definition;
    bool recordTypeEnabled = true;
    std::deque<std::optional<QString>> entries;
    QStringList helpTopics;
    std::deque<QString> saveNames;
    QStringList saveCaptions;
    std::deque<QString> texts;
    QStringList textCaptions;
};

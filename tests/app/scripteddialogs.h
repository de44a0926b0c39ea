#pragma once

#include <QStringList>

#include "app/dialogs.h"
#include "platform/sim/scriptedmessageboxes.h"

// The program's boxes and dialogs for tests: boxes are recorded and answered from a script,
// dialogs are counted.
class ScriptedDialogs : public veruziva::Dialogs {
public:
    void showMessage(const QString& text) override { boxes.showMessage(text); }
    veruziva::Answer confirm(const QString& text, veruziva::ConfirmButtons buttons) override {
        return boxes.confirm(text, buttons);
    }
    void showError(const QString& text) override { boxes.showError(text); }
    void showAbout() override { ++aboutShown; }
    void showHelp(const QString& topic) override { helpTopics.append(topic); }

    veruziva::sim::ScriptedMessageBoxes boxes;
    int aboutShown = 0;
    QStringList helpTopics;
};

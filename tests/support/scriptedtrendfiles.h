#pragma once

#include <QStringList>
#include <deque>
#include <optional>

#include "trend/trendfiles.h"

namespace veruziva::sim {

// Answers the save dialogs from a script; nothing left: cancelled. Tests that use it link the
// trend library.
class ScriptedTrendFiles : public TrendFiles {
public:
    std::optional<QString> askSaveFileName(const QString& caption, const QString&) override {
        captions.append(caption);
        if (answers.empty()) {
            return std::nullopt;
        }
        const QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<QString> answers;
    QStringList captions;
};

}  // namespace veruziva::sim

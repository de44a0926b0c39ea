#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// A source's level as a sound server reports it to pactl: each channel's volume and the mute.
struct SourceLevel {
    QList<int> volumes;
    bool muted = false;
    bool operator==(const SourceLevel&) const = default;

    using Pactl = std::function<std::optional<QString>(const QStringList&)>;
    static SourceLevel Of(const Pactl& pactl, const QString& source) {
        SourceLevel level;
        const QString volume = pactl({"get-source-volume", source}).value_or(QString());
        QRegularExpressionMatchIterator values = QRegularExpression("(\\d+) /").globalMatch(volume);
        while (values.hasNext()) {
            level.volumes << values.next().captured(1).toInt();
        }
        level.muted = pactl({"get-source-mute", source}).value_or(QString()).contains("yes");
        return level;
    }
};

inline char* toString(const SourceLevel& level) {
    QStringList volumes;
    for (const int volume : level.volumes) {
        volumes << QString::number(volume);
    }
    return qstrdup(qPrintable(volumes.join(',') + (level.muted ? " muted" : " live")));
}

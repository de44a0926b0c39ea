#include "levelreport.h"

#include <QString>

#include "blockprinter.h"
#include "capture/inputselection.h"
#include "platform/lineinkeys.h"

namespace veruziva::meter {
namespace {

QString Percent(std::int32_t level) {
    return QString::number(static_cast<double>(level) * 100.0 / 65535.0, 'f', 0) +
           QStringLiteral(" %");
}

}  // namespace

std::string DescribeLevel(const LineLevel& level) {
    QStringList parts;
    if (level.left >= 0) {
        parts << QStringLiteral("volume ") + Percent(level.left) +
                     (level.stereo ? QStringLiteral(" / ") + Percent(level.right) : QString());
    }
    if (level.mute >= 0) {
        // A selector's entry reads non-zero when its source is the one recorded.
        const bool off = level.isSelection ? level.mute == 0 : level.mute != 0;
        parts << (level.isSelection ? (off ? QStringLiteral("not the selected source")
                                           : QStringLiteral("selected"))
                                    : (off ? QStringLiteral("muted") : QStringLiteral("live")));
    }
    return parts.join(QStringLiteral(", ")).toStdString();
}

LevelReport::LevelReport(MixerService& mixers, const std::string& deviceName, std::FILE* err)
    : m_mixer(mixers), m_watch(m_mixer, [this] { return m_line; }), m_err(err) {
    int found = -1;
    for (int i = 0; i < m_mixer.MixerCount() && found < 0; ++i) {
        m_mixer.setMixerId(i);
        if (m_mixer.MixerId() == i && NamesMatch(deviceName, m_mixer.ProductName())) {
            found = i;
        }
    }
    const TMixerDestination* recording =
        found >= 0 ? m_mixer.Destinations()->DestinationAt(LineInDestination) : nullptr;
    for (int line = 0; recording != nullptr && line < recording->Connections.ConnectionCount();
         ++line) {
        const std::string& name = recording->Connections.ConnectionAt(line)->LineInfo.name;
        if (NameHoldsKey(name, StartupLineInKeys)) {
            m_line = line;
            m_lineName = name;
            break;
        }
    }
    if (m_line < 0 || !m_mixer.Notifying()) {
        return;
    }
    m_watch.levelSet();
    const auto look = [this](TAudioMixer&, std::int32_t, std::int32_t) { m_watch.check(); };
    m_mixer.OnLineChange = look;
    m_mixer.OnControlChange = look;
    m_watch.onMovedChanged = [this] { report(); };
    m_watching = true;
}

void LevelReport::report() {
    Print(m_err, m_watch.moved()
                     ? QStringLiteral("veruziva-meter: the input level of \"%1\" has moved (%2): "
                                      "calibrated readings do not hold at this level\n")
                           .arg(QString::fromStdString(m_lineName),
                                QString::fromStdString(DescribeLevel(m_watch.current())))
                     : QStringLiteral("veruziva-meter: the input level of \"%1\" is back\n")
                           .arg(QString::fromStdString(m_lineName)));
    if (onMovedChanged) {
        onMovedChanged();
    }
}

}  // namespace veruziva::meter

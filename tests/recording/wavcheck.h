#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <cstdint>

// Checks for the WAV files the tests make, read by our own eyes and by sox.
namespace wavcheck {

inline std::uint32_t Le32(const QByteArray& bytes, int at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    }
    return value;
}

// What sox says about a file: "channels rate frames".
inline QString Soxi(const QString& path) {
    QString said;
    for (const char* option : {"-c", "-r", "-s"}) {
        QProcess soxi;
        soxi.start(QStringLiteral("soxi"), {QString::fromLatin1(option), path});
        soxi.waitForFinished();
        said += (said.isEmpty() ? "" : " ") +
                QString::fromLatin1(soxi.readAllStandardOutput()).trimmed();
    }
    return said;
}

// Empty when a finished recording holds dataBytes of samples, its header says so, and sox
// reads it as that many frames of 16-bit stereo at 44100; else what is wrong.
inline QString Problem(const QString& path, std::uint32_t dataBytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "cannot open " + path;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() != 44 + static_cast<qint64>(dataBytes)) {
        return QStringLiteral("file size %1").arg(bytes.size());
    }
    if (Le32(bytes, 40) != dataBytes || Le32(bytes, 4) != dataBytes + 36) {
        return QStringLiteral("header sizes %1, %2").arg(Le32(bytes, 4)).arg(Le32(bytes, 40));
    }
    const QString sox = Soxi(path);
    if (sox != QStringLiteral("2 44100 %1").arg(dataBytes / 4)) {
        return "sox reads " + sox;
    }
    return {};
}

}  // namespace wavcheck

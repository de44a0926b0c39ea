#pragma once

#include <QDir>
#include <QFile>

namespace veruziva::sim {

// Two offscreen screens side by side: "one" at a device pixel ratio of 1 (the primary) and
// "two" at 2, so that a test can move a window to a HiDPI screen and back. Call before the
// application is made.
inline void UseTwoScreens() {
    const QString path = QDir::temp().filePath(QStringLiteral("veruziva-two-screens.json"));
    QFile config(path);
    if (config.open(QIODevice::WriteOnly)) {
        config.write(R"({"screens": [
            {"name": "one", "x": 0, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96},
            {"name": "two", "x": 1280, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96}]})");
    }
    qputenv("QT_QPA_PLATFORM", QStringLiteral("offscreen:configfile=%1").arg(path).toLocal8Bit());
    qputenv("QT_SCREEN_SCALE_FACTORS", "one=1;two=2");
}

}  // namespace veruziva::sim
